#include "search/Archiv.h"

#include "about/FrmAbout.h"
#include "app/Anmeldung.h"
#include "app/EinstAg.h"
#include "app/EinstScan.h"
#include "app/EinstServ.h"
#include "app/Einstellungen.h"
#include "app/Ereignis.h"
#include "common/Format.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "common/Texte.h"
#include "common/Twips.h"
#include "search/Ergebnis.h"
#include "server/Verbindung.h"
#include "server/Verbindungstext.h"
#include "tools/Etikettendruck.h"
#include "tools/Vollstaendigkeitstest.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>

namespace archiv::search {

using namespace archiv::common;

Archiv::Archiv(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("archiv"));
    setWindowTitle(HauptTitel);

    auto *mitte = new QWidget(this);
    auto *g = new QGridLayout(mitte);
    auto *label = new QLabel(QStringLiteral("Firma:"), mitte);
    label->setObjectName(QStringLiteral("Label5"));
    m_firma = new QComboBox(mitte);
    m_firma->setObjectName(QStringLiteral("Firma"));
    m_firma->setMinimumWidth(300);
    m_neu = new QPushButton(QStringLiteral("Neu"), mitte);
    m_neu->setObjectName(QStringLiteral("BUNeu"));
    connect(m_neu, &QPushButton::clicked, this, [this] { app::ereignis([this] { neuerBeleg(true); }); });
    m_ende = new QPushButton(QStringLiteral("Beenden"), mitte);
    m_ende->setObjectName(QStringLiteral("BUEnd"));
    g->addWidget(label, 0, 0);
    g->addWidget(m_firma, 0, 1, 1, 2);
    sucheAnlegen(g);
    auto *knoepfe = new QHBoxLayout;
    knoepfe->addWidget(m_suchen);
    knoepfe->addWidget(m_alle);
    knoepfe->addWidget(m_plus);
    knoepfe->addWidget(m_loe);
    knoepfe->addWidget(m_wws);
    knoepfe->addStretch();
    knoepfe->addWidget(m_neu);
    knoepfe->addWidget(m_ende);
    g->addLayout(knoepfe, 9, 0, 1, 4);
    setCentralWidget(mitte);

    m_status = new QStatusBar(this);
    m_status->setObjectName(QStringLiteral("SBar1"));
    setStatusBar(m_status);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("timer1"));
    m_timer->setInterval(5000);
    connect(m_timer, &QTimer::timeout, this, &Archiv::timer1Abgelaufen);

    menueAnlegen();
    connect(m_ende, &QPushButton::clicked, this, &Archiv::beenden);
    connect(m_firma, &QComboBox::currentIndexChanged, this, [this] { app::ereignis([this] { firmaGewaehlt(); }); });
    resize(980, 620);
}

Archiv::~Archiv()
{
    // The result window is a window of its own, not a child.
    delete m_ergebnis;
}

void Archiv::menueAnlegen()
{
    auto eintrag = [this](QMenu *menue, const char *name, const QString &text) {
        QAction *a = menue->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    QMenu *dokument = menuBar()->addMenu(QStringLiteral("Dokument"));
    dokument->setObjectName(QStringLiteral("dokument"));
    m_menueNeu = eintrag(dokument, "neu", QStringLiteral("Neu/Bearbeiten"));
    connect(m_menueNeu, &QAction::triggered, this, [this] { app::ereignis([this] { neuerBeleg(false); }); });
    connect(eintrag(dokument, "vollst", QStringLiteral("Vollständigkeitstest")), &QAction::triggered, this, [this] {
        app::ereignis([this] {
            // One window for the program's life: it keeps its report.
            if (!m_vollst)
                m_vollst = new tools::Vollstaendigkeitstest(this);
            m_vollst->laden(firmaSchluessel());
            m_vollst->exec();
        });
    });
    connect(eintrag(dokument, "etik", QStringLiteral("Etikettendruck")), &QAction::triggered, this, [this] {
        app::ereignis([this] {
            tools::Etikettendruck fenster(firmaSchluessel(), this);
            fenster.laden();
            fenster.exec();
        });
    });
    QAction *ende = eintrag(dokument, "beenden", QStringLiteral("Beenden"));
    connect(ende, &QAction::triggered, this, &Archiv::beenden);

    QMenu *einst = menuBar()->addMenu(QStringLiteral("Einstellungen"));
    einst->setObjectName(QStringLiteral("einst"));
    connect(eintrag(einst, "einstallg", QStringLiteral("Allgemein")), &QAction::triggered, this, [this] { app::einstagZeigen(this); });
    connect(eintrag(einst, "server", QStringLiteral("Server")), &QAction::triggered, this, [this] { app::einstservZeigen(this); });
    connect(eintrag(einst, "scanner", QStringLiteral("Scanner")), &QAction::triggered, this, [this] { app::einstscanZeigen(this); });

    QAction *info = menuBar()->addAction(QStringLiteral("Info"));
    info->setObjectName(QStringLiteral("info"));
    connect(info, &QAction::triggered, this, [this] {
        if (!m_info)
            m_info = new about::FrmAbout(this);
        m_info->show();
        m_info->raise();
    });
}

QString Archiv::firmaSchluessel() const
{
    return m_firma->currentData().toString();
}

bool Archiv::laden()
{
    move(twipsZuPixel(100, logicalDpiX()), twipsZuPixel(100, logicalDpiY()));
    global::ScannerDa = true;
    m_neu->setVisible(global::ScannerDa);
    m_menueNeu->setVisible(global::ScannerDa);
    const bool verbunden = app::archivVerbinden(this);
    global::Zoomfaktor = 1;
    if (!verbunden)
        return false;

    app::ereignis([this] { firmenFuellen(); });
    global::MaxTreffer = 500;
    m_timer->start();

    show(); // the login dialog appears over the filled main window
    if (global::Anmeldung.isEmpty()) {
        app::Anmelden(firmaSchluessel());
        if (global::Anmeldung.isEmpty())
            meldung(HauptTitel, QStringLiteral("Anmeldung nicht möglich"), MeldungsSymbol::Information);
    }
    return true;
}

void Archiv::firmenFuellen()
{
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Firma"), QStringLiteral("Liste"));
    rs.Execute();
    const QSignalBlocker sperre(m_firma);
    m_firma->clear();
    while (rs.Next())
        m_firma->addItem(formatZahl(rs.GetData(1), QStringLiteral("0#")) + QStringLiteral("  ") + rs.GetData(2), rs.GetData(1));
    rs.Close();
    if (m_firma->count() > 0)
        m_firma->setCurrentIndex(0);
    firmaGewaehlt();
}

void Archiv::timer1Abgelaufen()
{
    if (global::Anmeldung.isEmpty())
        return;
    m_timer->stop();
    global::AnmeldRest -= 5;
    if (global::AnmeldRest <= 0) {
        app::Abmelden();
        m_status->clearMessage();
    } else {
        m_status->showMessage(global::AnmeldName + QStringLiteral("   ") + formatAllgemein(double(global::AnmeldRest)) +
                              QStringLiteral(" sec"));
    }
    m_timer->start();
}

void Archiv::beenden()
{
    close();
}

void Archiv::entladen()
{
    if (m_entladen)
        return;
    m_entladen = true;
    QApplication::beep();
    m_timer->stop();
    if (global::Archivverbindung && global::Archivverbindung->IsConnected())
        global::Archivverbindung->Disconnect();
}

void Archiv::closeEvent(QCloseEvent *event)
{
    entladen();
    event->accept();
    // Other windows (the result window) may still be open: the program ends.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

} // namespace archiv::search

#include "editor/Bild.h"

#include "app/DatumFeld.h"
#include "app/Einstellungen.h"
#include "app/Drucken.h"
#include "app/EinstScan.h"
#include "app/Ereignis.h"
#include "app/Sanduhr.h"
#include "common/Format.h"
#include "common/Kennungen.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "common/Texte.h"
#include "common/Twips.h"
#include "editor/Doksliste.h"
#include "editor/Editorbilder.h"
#include "editor/Seitenansicht.h"
#include "editor/Vorschaurahmen.h"
#include "imaging/Seitenbearbeitung.h"
#include "server/Verbindung.h"

#include <QAction>

#include <algorithm>
#include <QSignalBlocker>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QToolBar>
#include <QToolButton>

namespace archiv::editor {

using namespace archiv::common;

namespace {

bool imBearbeitungsmodus()
{
    return global::Modus == modus::Bearbeiten;
}

// The window's designed size in twips, before a stored placement.
constexpr double DesignBreite = 14400;
constexpr double DesignHoehe = 11400;

} // namespace

Bild::Bild(QString firma, QWidget *parent) : QDialog(parent), m_firma(std::move(firma))
{
    setObjectName(QStringLiteral("bild"));
    setWindowTitle(QStringLiteral("Dokumentansicht"));
    setSizeGripEnabled(true);

    m_tab1 = new QTabWidget(this);
    m_tab1->setObjectName(QStringLiteral("Tab1"));
    for (const auto &[text, schluessel] :
         {std::pair{"Dokument", "dokument"}, std::pair{"Beleg", "beleg"}, std::pair{"Vorschau", "vorschau"}}) {
        const int i = m_tab1->addTab(new QWidget, QString::fromUtf8(text));
        m_tab1->tabBar()->setTabData(i, QString::fromUtf8(schluessel));
    }
    connect(m_tab1, &QTabWidget::currentChanged, this,
            [this](int i) { app::ereignis([&] { tabGewechselt(m_tab1->tabBar()->tabData(i).toString()); }); });
    // A click on the tab already selected counts as a change too: after a
    // double-click on a thumbnail, one click brings "Vorschau" back.
    connect(m_tab1->tabBar(), &QTabBar::tabBarClicked, this, [this](int i) {
        if (i >= 0 && i == m_tab1->currentIndex())
            app::ereignis([&] { tabGewechselt(m_tab1->tabBar()->tabData(i).toString()); });
    });

    m_frBeleg = new QFrame(this);
    m_frBeleg->setObjectName(QStringLiteral("FRBeleg"));
    m_frDokument = new QFrame(this);
    m_frDokument->setObjectName(QStringLiteral("FRDokument"));
    m_fransicht = new Vorschaurahmen(this);
    m_fransicht->hide();
    connect(m_fransicht, &Vorschaurahmen::doppelklick, this, [this](int i) { app::ereignis([&] { vorschauDoppelklick(i); }); });
    connect(m_fransicht, &Vorschaurahmen::abgelegt, this, [this](int von, int auf) { app::ereignis([&] { seiteVerschieben(von, auf); }); });
    connect(m_fransicht, &Vorschaurahmen::weggeworfen, this, [this](int index) {
        app::ereignis([&] {
            seiteLoeschen(index + 1);
            vorschau_refresh();
        });
    });

    auto knopf = [this](const char *name, const QString &text, QWidget *eltern) {
        auto *k = new QPushButton(text, eltern);
        k->setObjectName(QLatin1String(name));
        k->setAutoDefault(false);
        return k;
    };
    // The four buttons at the right share one left edge; their tops are designed.
    m_buClose = knopf("BUClose", QStringLiteral("Schliessen"), this);
    m_buSpeich = knopf("BUSpeich", QStringLiteral("Speichern"), this);
    m_buScan = knopf("BUScan", QStringLiteral("Scannen"), this);
    m_buScandatabase = knopf("BUScandatabase", QStringLiteral("Scan Dokumente"), this);
    m_buDatei = knopf("BUDatei", QStringLiteral("Datei…"), this);
    m_buDatei->setToolTip(QStringLiteral("Empfangene Dateien (PDF, E-Rechnung, Bild) unverändert zum Beleg nehmen; "
                                         "Dateien lassen sich auch auf die Seitenansicht ziehen."));
    connect(m_buDatei, &QPushButton::clicked, this, [this] { app::ereignis([this] { dateiWaehlen(); }); });
    double oben = 500;
    for (QPushButton *k : {m_buClose, m_buSpeich, m_buScan, m_buScandatabase, m_buDatei}) {
        k->setGeometry(twips(0, oben, KnopfBreite, 400));
        oben += 500;
    }
    connect(m_buClose, &QPushButton::clicked, this, [this] { app::ereignis([this] { schliessen(); }); });
    connect(m_buSpeich, &QPushButton::clicked, this, [this] { app::ereignis([this] { speichern(); }); });

    m_buSubeleg = knopf("BUSubeleg", QStringLiteral("Suche WWS-Beleg"), m_frBeleg);
    m_buNeu = knopf("BUNeu", QStringLiteral("neuer WWS-Beleg"), m_frBeleg);
    connect(m_buNeu, &QPushButton::clicked, this, [this] { app::ereignis([this] { buNeu(); }); });
    m_budoknreinf = knopf("budoknreinf", QStringLiteral("Anfügen"), m_frDokument);
    connect(m_budoknreinf, &QPushButton::clicked, this, [this] { app::ereignis([this] { dokumentAnfuegen(); }); });
    connect(m_buSubeleg, &QPushButton::clicked, this, [this] { app::ereignis([this] { belegSuchen(); }); });
    connect(m_buScan, &QPushButton::clicked, this, [this] { app::ereignis([this] { scannen(); }); });
    connect(m_buScandatabase, &QPushButton::clicked, this, [this] { app::ereignis([this] { scanDokumenteHolen(); }); });
    // The right button on "Scannen": the scanner settings.
    m_buScan->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_buScan, &QPushButton::customContextMenuRequested, this, [this] { app::einstscanZeigen(this); });
    m_budoknrloe = knopf("budoknrloe", QStringLiteral("Löschen"), m_frDokument);

    kopfAnlegen();
    dokumentAnlegen();

    const double dpi = logicalDpiX();
    resize(twipsZuPixel(DesignBreite, dpi), twipsZuPixel(DesignHoehe, dpi));
}

Bild::~Bild()
{
    // Pages of the scan store never saved go back to it.
    genommeneAbgleichen(true);
}

QRect Bild::twips(double links, double oben, double breite, double hoehe) const
{
    const double dpi = logicalDpiX();
    return {twipsZuPixel(links, dpi), twipsZuPixel(oben, dpi), twipsZuPixel(breite, dpi), twipsZuPixel(hoehe, dpi)};
}

void Bild::kopfAnlegen()
{
    auto beschriftung = [this](const QString &text, double oben) {
        auto *l = new QLabel(text, m_frBeleg);
        l->setGeometry(twips(200, oben + 40, 1700, 300));
        return l;
    };
    beschriftung(QStringLiteral("Belegart:"), 200);
    m_belart = new QComboBox(m_frBeleg);
    m_belart->setObjectName(QStringLiteral("Belart"));
    m_belart->setGeometry(twips(1950, 200, 3500, 330));
    connect(m_belart, &QComboBox::currentIndexChanged, this, [this] { app::ereignis([this] { Belart_Click(); }); });

    beschriftung(QStringLiteral("Belegnummer:"), 650);
    m_belnr = new QLineEdit(m_frBeleg);
    m_belnr->setObjectName(QStringLiteral("Belnr"));
    m_belnr->setGeometry(twips(1950, 650, 2200, 330));
    connect(m_belnr, &QLineEdit::textChanged, this, [this] { Zustand(); });

    beschriftung(QStringLiteral("Belegdatum:"), 1100);
    m_beldat = new app::DatumFeld(m_frBeleg);
    m_beldat->setObjectName(QStringLiteral("Beldat"));
    m_beldat->setGeometry(twips(1950, 1100, 1500, 330));
    connect(m_beldat, &QLineEdit::textChanged, this, [this] { Zustand(); });
    m_belzeit = new QTimeEdit(m_frBeleg);
    m_belzeit->setObjectName(QStringLiteral("belzeit"));
    m_belzeit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_belzeit->setGeometry(twips(3550, 1100, 1300, 330));

    m_buSubeleg->setGeometry(twips(5800, 650, 2200, 380));
    m_buNeu->setGeometry(twips(5800, 1100, 2200, 380));

    // Row 0 is the designed template of the property rows; it stays hidden.
    zeilenAnlegen();
}

void Bild::dokumentAnlegen()
{
    m_label2 = new QLabel(QStringLiteral("Dokumentversion:"), m_frDokument);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->setGeometry(twips(50, 90, 1650, 300));
    m_doks = new Doksliste(m_frDokument);
    m_doks->setGeometry(twips(1700, 40, 3000, 340));
    connect(m_doks, &QComboBox::currentIndexChanged, this, [this](int zeile) {
        if (!global::DoksSperre)
            app::ereignis([&] { dokumentGewaehlt(zeile); });
    });
    m_budoknreinf->setGeometry(twips(4800, 30, 900, 360));
    m_budoknrloe->setGeometry(twips(5750, 30, 900, 360));

    m_tool1 = new QToolBar(m_frDokument);
    m_tool1->setObjectName(QStringLiteral("Tool1"));
    m_tool1->setIconSize(QSize(20, 20));
    const QStringList texte{"Drehen",        "Verkleinern", "Vergrössern", "Löschen", "Zoom auf Breite",
                            "Zoom auf Höhe", "Drucken",     "Kopieren",    "Beenden"};
    for (int n = 1; n <= 9; ++n) {
        QAction *a = m_tool1->addAction(werkzeugBild(n), texte.at(n - 1));
        a->setObjectName(QStringLiteral("Tool1_%1").arg(n));
        a->setToolTip(texte.at(n - 1));
        a->setCheckable(n == 5 || n == 6);
        connect(a, &QAction::triggered, this, [this, n] { app::ereignis([&] { werkzeug(n); }); });
        m_werkzeuge << a;
    }
    // At least the designed width, and wide enough for all nine items (with
    // a larger system font they would otherwise fall behind an overflow mark).
    const QRect werkzeuge = twips(6700, 0, 4000, 450);
    m_tool1->setGeometry(werkzeuge.x(), werkzeuge.y(), qMax(werkzeuge.width(), m_tool1->sizeHint().width()), werkzeuge.height());

    m_image1 = new Seitenansicht(m_frDokument);
    m_image1->setObjectName(QStringLiteral("Image1"));
    connect(m_image1, &Seitenansicht::dateienAbgelegt, this,
            [this](const QStringList &pfade) { app::ereignis([&] { dateienAufnehmen(pfade); }); });
    m_hinweis = new QLabel(m_frDokument);
    m_hinweis->setObjectName(QStringLiteral("LabHinweis"));
    m_hinweis->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    m_hinweis->hide();
    m_trefferZurueck = new QPushButton(QStringLiteral("Zurück"), m_frDokument);
    m_trefferZurueck->setObjectName(QStringLiteral("BUTrefferZurueck"));
    m_trefferZurueck->setToolTip(QStringLiteral("Voriger Treffer der Volltextsuche"));
    m_trefferWeiter = new QPushButton(QStringLiteral("Weiter"), m_frDokument);
    m_trefferWeiter->setObjectName(QStringLiteral("BUTrefferWeiter"));
    m_trefferWeiter->setToolTip(QStringLiteral("Nächster Treffer der Volltextsuche"));
    for (QPushButton *k : {m_trefferZurueck, m_trefferWeiter}) {
        k->setAutoDefault(false);
        k->hide();
    }
    connect(m_trefferZurueck, &QPushButton::clicked, this, [this] { app::ereignis([this] { trefferSpringen(-1); }); });
    connect(m_trefferWeiter, &QPushButton::clicked, this, [this] { app::ereignis([this] { trefferSpringen(1); }); });
    connect(m_image1, &Seitenansicht::taste, this, [this](int code) { app::ereignis([&] { taste(code); }); });
    // The hidden work view of scanning and barcode reading.
    auto *image2 = new Seitenansicht(this);
    image2->setObjectName(QStringLiteral("Image2"));
    image2->hide();

    m_scroll1 = new QScrollBar(Qt::Horizontal, m_frDokument);
    m_scroll1->setObjectName(QStringLiteral("Scroll1"));
    m_scroll1->setMinimum(1);
    m_scroll1->setPageStep(1);
    // Value changes and thumb drags alike show the page at once.
    m_scroll1->setTracking(true);
    connect(m_scroll1, &QScrollBar::valueChanged, this, [this](int v) { app::ereignis([&] { scrollWert(v); }); });
    m_labseit = new QLabel(m_frDokument);
    m_labseit->setObjectName(QStringLiteral("labseit"));
    m_labseit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

QAction *Bild::werkzeugAktion(int nummer) const
{
    return m_werkzeuge.value(nummer - 1);
}

void Bild::laden()
{
    global::Geaendert = false;
    global::Zoomtype = app::einstellung(QStringLiteral("Allgemein"), QStringLiteral("Zoomtype"), QStringLiteral("H"));
    werkzeugAktion(5)->setChecked(global::Zoomtype == QLatin1String("B"));
    werkzeugAktion(6)->setChecked(global::Zoomtype == QLatin1String("H"));
    global::ZoomWert = 1;

    typenLaden();

    m_frDokument->show();
    m_frBeleg->hide();
    global::DokId.clear();
    neu();

    // "left|top|width|height"; anything unreadable leaves the designed size.
    const QStringList teile = app::einstellung(QStringLiteral("Bild"), QStringLiteral("size")).split(u'|');
    if (teile.size() == 4) {
        const int l = int(zahlWert(teile.at(0))), o = int(zahlWert(teile.at(1)));
        const int b = int(zahlWert(teile.at(2))), h = int(zahlWert(teile.at(3)));
        if (b > 0 && h > 0) {
            move(l, o);
            resize(b, h);
        }
    }
    layoutAnwenden();
}

void Bild::typenLaden()
{
    {
        const QSignalBlocker sperre(m_belart);
        m_belart->clear();
        server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Belart"), QStringLiteral("Belart"));
        rs.Execute(QStringList{m_firma});
        while (rs.Next())
            m_belart->addItem(rs.GetData(3), rs.GetData(2));
        rs.Close();
        m_belart->setCurrentIndex(-1);
    }
    global::AktBelart.clear();
}

void Bild::firmaSetzen(const QString &firma)
{
    if (firma.isEmpty() || firma == m_firma)
        return;
    m_firma = firma;
    typenLaden();
}

void Bild::aktivieren()
{
    const QScopedValueRollback sperre(global::DoksSperre, true);
    m_doks->setCurrentIndex(global::AktDok - 1);
}

void Bild::seiteLoeschen(int seite)
{
    if (zeigtOriginal() || seite < 1 || seite > m_image1->seiten().anzahl())
        return;
    m_image1->seiten().loeschen(seite - 1);
    m_image1->seitenGeaendert();
    genommeneAbgleichen();
    global::SeitenAnz = m_image1->seiten().anzahl();
    global::AktSeite = qMin(seite, global::SeitenAnz);
    if (global::AktSeite > 0) {
        m_image1->waehlen(global::AktSeite - 1);
        seitenText();
        const QSignalBlocker sperre(m_scroll1);
        m_scroll1->setRange(1, global::SeitenAnz);
        m_scroll1->setValue(global::AktSeite);
        Zoomen(global::Zoomtype);
    }
    Zustand();
    global::Geaendert = true;
}

void Bild::seitenDrucken()
{
    // Printing draws copies: the pages a later save stores stay as they are,
    // and so does the page shown. An original prints its own rendering at
    // print resolution.
    if (zeigtOriginal()) {
        imaging::Seitenliste seiten;
        try {
            const app::Sanduhr sanduhr;
            seiten = einvoice::druckseiten(*m_original);
        } catch (const imaging::BildFehler &e) {
            meldung(HauptTitel, QStringLiteral("Das Dokument kann nicht gedruckt werden.\n") + QString::fromUtf8(e.what()),
                    MeldungsSymbol::Ausruf);
            return;
        }
        app::seitenDrucken(seiten, this);
        return;
    }
    app::seitenDrucken(m_image1->seiten(), this);
}

bool Bild::event(QEvent *e)
{
    if (e->type() == QEvent::WindowActivate)
        aktivieren();
    return QDialog::event(e);
}

void Bild::Zustand()
{
    Editorstand s;
    s.modus = global::Modus;
    s.aktBelart = global::AktBelart;
    s.datumGesetzt = m_beldat->datum().isValid();
    // A number the save takes from the label counter counts as given.
    s.belnr = m_nummerVergeben && global::DokId.isEmpty() && m_belnr->text().isEmpty() ? QStringLiteral("0") : m_belnr->text();
    s.seiten = m_image1->seiten().anzahl();
    s.dokId = global::DokId;
    s.dokAnz = global::DokAnz;
    const Steuerung z = editor::Zustand(s);
    m_buSpeich->setEnabled(z.speichernAn);
    m_image1->setVisible(z.seitenansichtSichtbar);
    m_labseit->setVisible(z.seitenanzeigeSichtbar);
    m_scroll1->setVisible(z.seitenanzeigeSichtbar);
    for (int n : {1, 2, 3, 5, 6})
        werkzeugAktion(n)->setEnabled(z.werkzeugeAn);
    werkzeugAktion(4)->setVisible(z.loeschenAngeboten);
    // A received original is shown, never changed.
    const bool original = zeigtOriginal();
    werkzeugAktion(1)->setEnabled(z.werkzeugeAn && !original);
    werkzeugAktion(4)->setEnabled(!original);
    werkzeugAktion(1)->setToolTip(original ? originalSperrText() : QStringLiteral("Drehen"));
    werkzeugAktion(4)->setToolTip(original ? originalSperrText() : QStringLiteral("Löschen"));
    m_fransicht->setToolTip(original ? originalSperrText() : QString());
    m_buDatei->setVisible(global::Modus == modus::Bearbeiten);
    werkzeugAktion(7)->setEnabled(z.druckenAn);
    werkzeugAktion(8)->setVisible(z.druckenAn);
    werkzeugAktion(9)->setEnabled(true);
    // Viewing changes nothing: every field of the header follows the mode.
    for (QWidget *feld : std::initializer_list<QWidget *>{m_belnr, m_beldat, m_belzeit, m_belart})
        feld->setEnabled(z.kopfAn);
    m_buNeu->setVisible(z.neuSichtbar);
    m_buSubeleg->setVisible(z.neuSichtbar);
    m_budoknreinf->setVisible(z.dokumentKnoepfeSichtbar);
    m_budoknrloe->setVisible(z.dokumentKnoepfeSichtbar);
}

void Bild::neu()
{
    m_belnr->clear();
    m_beldat->setzeDatum(QDate::currentDate());
    m_belzeit->setTime(QTime::currentTime());
    m_image1->leeren();
    m_original.reset();
    m_neueOriginale.clear();
    m_nummerVergeben = false;
    m_belnr->setPlaceholderText(QString());
    hinweisZeigen();
    const bool bearbeiten = imBearbeitungsmodus();
    m_buSpeich->setEnabled(true);
    m_buSpeich->setVisible(bearbeiten);
    m_buSubeleg->setVisible(bearbeiten);
    m_buNeu->setVisible(bearbeiten);
    m_buClose->setEnabled(true);
    m_buSubeleg->setEnabled(true);
    m_buScan->setVisible(bearbeiten && global::ScannerDa);
    m_buScandatabase->setVisible(bearbeiten && global::ScannerDa);
    // Everything of the Beleg before goes: a new Beleg starts without a
    // current document, version or loaded values, however the editor was
    // used before.
    global::DokId.clear();
    global::SeitenAnz = 0;
    global::AktSeite = 0;
    global::DokAnz = 0;
    global::AktDok = 0;
    m_version = 0;
    m_geladen.clear();
    genommeneAbgleichen();
    {
        // A new Beleg has no stored documents to list.
        const QSignalBlocker sperre(m_doks);
        m_doks->leeren();
    }
    QCoreApplication::processEvents();
    Zustand();
}

void Bild::buNeu()
{
    // Pages not saved yet are not dropped without a word.
    if (imBearbeitungsmodus() && global::Geaendert) {
        if (!nachfrageSpeichern())
            return;
        global::Geaendert = false;
    }
    global::AktDok = 0;
    neu();
}

void Bild::rahmenAnzeigen(QFrame *rahmen)
{
    for (QFrame *f : {m_frBeleg, m_frDokument, static_cast<QFrame *>(m_fransicht)})
        f->setVisible(f == rahmen);
}

void Bild::tabZeigen(const QString &schluessel)
{
    for (int i = 0; i < m_tab1->count(); ++i)
        if (m_tab1->tabBar()->tabData(i).toString() == schluessel) {
            const QSignalBlocker sperre(m_tab1);
            m_tab1->setCurrentIndex(i);
        }
    rahmenAnzeigen(schluessel == QLatin1String("beleg") ? m_frBeleg : m_frDokument);
}

void Bild::tabGewechselt(const QString &schluessel)
{
    rahmenAnzeigen(nullptr);
    if (schluessel == QLatin1String("dokument"))
        m_frDokument->show();
    else if (schluessel == QLatin1String("beleg"))
        m_frBeleg->show();
    else if (schluessel == QLatin1String("vorschau") && global::SeitenAnz > 0)
        vorschau_refresh();
}

void Bild::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    layoutAnwenden();
}

void Bild::layoutAnwenden()
{
    const double dpi = logicalDpiX();
    // The column as wide as its widest caption needs (a larger system font).
    int knopfBreite = 0;
    for (QPushButton *k : {m_buClose, m_buSpeich, m_buScan, m_buScandatabase, m_buDatei})
        knopfBreite = qMax(knopfBreite, k->sizeHint().width());
    const std::optional<Editorlayout> l = editor::layout(pixelZuTwips(width(), dpi), pixelZuTwips(height(), dpi), pixelZuTwips(knopfBreite, dpi));
    // Too small or minimised: everything keeps its last valid size.
    if (!l || isMinimized())
        return;
    m_tab1->setGeometry(twips(l->tab1.links, l->tab1.oben, l->tab1.breite, l->tab1.hoehe));
    for (QPushButton *k : {m_buClose, m_buSpeich, m_buScan, m_buScandatabase, m_buDatei}) {
        k->setGeometry(twipsZuPixel(l->knopfLinks, dpi), k->y(), twipsZuPixel(l->knopfBreite, dpi), k->height());
        k->raise();
    }
    for (QFrame *f : {m_frBeleg, m_frDokument, static_cast<QFrame *>(m_fransicht)}) {
        f->setFrameShape(QFrame::NoFrame);
        f->setGeometry(twips(l->rahmen.links, l->rahmen.oben, l->rahmen.breite, l->rahmen.hoehe));
        f->raise();
    }
    m_fransicht->anordnen(l->spinLinks, l->muellLinks);
    // Image1 lies inside FRDokument; its place is computed from the frame's.
    const QRect bild = twips(l->image1.links - l->rahmen.links, l->image1.oben - l->rahmen.oben, l->image1.breite, l->image1.hoehe);
    m_image1->setGeometry(bild);
    const int zeileOben = bild.bottom() + 1 + twipsZuPixel(80, dpi);
    const int zeilenHoehe = twipsZuPixel(260, dpi);
    const int textBreite = twipsZuPixel(2000, dpi);
    // The mark of an e-invoice with findings sits between scroll bar and page counter.
    const int hinweisBreite = m_hinweis->isVisible() ? m_hinweis->sizeHint().width() + twipsZuPixel(100, dpi) : 0;
    // The full-text jumps, while there are marks, left of that.
    const bool treffer = !m_image1->markierungen().isEmpty();
    const int knopf = qMax(m_trefferZurueck->sizeHint().width(), m_trefferWeiter->sizeHint().width());
    const int trefferBreite = treffer ? 2 * knopf + twipsZuPixel(150, dpi) : 0;
    m_scroll1->setGeometry(bild.left(), zeileOben,
                           qMax(0, bild.width() - textBreite - hinweisBreite - trefferBreite - twipsZuPixel(100, dpi)), zeilenHoehe);
    m_hinweis->setGeometry(bild.right() + 1 - textBreite - hinweisBreite, zeileOben, hinweisBreite, zeilenHoehe);
    const int trefferLinks = bild.right() + 1 - textBreite - hinweisBreite - trefferBreite;
    const int knopfHoehe = qMax(zeilenHoehe, m_trefferWeiter->sizeHint().height());
    m_trefferZurueck->setGeometry(trefferLinks, zeileOben, knopf, knopfHoehe);
    m_trefferWeiter->setGeometry(trefferLinks + knopf + twipsZuPixel(50, dpi), zeileOben, knopf, knopfHoehe);
    m_trefferZurueck->setVisible(treffer);
    m_trefferWeiter->setVisible(treffer);
    m_labseit->setGeometry(bild.right() + 1 - textBreite, zeileOben, textBreite, zeilenHoehe);
    Zoomen(global::Zoomtype);
}

void Bild::Zoomen(const QString &art)
{
    if (global::SeitenAnz == 0)
        return;
    m_image1->zoomen(art, global::ZoomWert);
}

void Bild::seitenText()
{
    m_labseit->setText(QStringLiteral("Seite %1 von %2").arg(global::AktSeite).arg(global::SeitenAnz));
}

void Bild::scrollWert(int wert)
{
    global::AktSeite = wert;
    if (wert == 0)
        return;
    const app::Sanduhr sanduhr;
    seitenText();
    // The label is painted before the possibly slow page.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_image1->waehlen(wert - 1);
    Zoomen(global::Zoomtype);
    m_image1->verticalScrollBar()->setValue(0);
}

void Bild::trefferSpringen(int richtung)
{
    QList<int> seiten = m_image1->markierungen().keys();
    std::sort(seiten.begin(), seiten.end());
    const int jetzt = global::AktSeite - 1;
    int ziel = -1;
    for (int s : std::as_const(seiten))
        if (richtung > 0 ? s > jetzt && ziel < 0 : s < jetzt)
            ziel = s;
    if (ziel < 0 || ziel >= global::SeitenAnz)
        return;
    {
        const QSignalBlocker sperre(m_scroll1);
        m_scroll1->setValue(ziel + 1);
    }
    scrollWert(ziel + 1);
}

void Bild::taste(int code)
{
    if (code == Qt::Key_Left && global::AktSeite > 1)
        --global::AktSeite;
    else if (code == Qt::Key_Right && global::AktSeite < global::SeitenAnz)
        ++global::AktSeite;
    else
        return;
    seitenText();
    {
        // The arrow keys leave the scroll bar's value as it was.
        const QSignalBlocker sperre(m_scroll1);
        m_scroll1->setRange(1, qMax(1, global::SeitenAnz));
    }
    m_image1->waehlen(global::AktSeite - 1);
    Zoomen(global::Zoomtype);
}

void Bild::vorschauDoppelklick(int i)
{
    tabZeigen(QStringLiteral("dokument"));
    global::AktSeite = i + 1;
    seitenText();
    {
        const QSignalBlocker sperre(m_scroll1);
        m_scroll1->setValue(global::AktSeite);
    }
    m_image1->waehlen(i);
    Zoomen(global::Zoomtype);
}

void Bild::seiteVerschieben(int von, int auf)
{
    if (zeigtOriginal() || von == auf || !m_fransicht->bild(von) || von >= m_image1->seiten().anzahl() || auf >= m_image1->seiten().anzahl())
        return;
    // The moved page is the thumbnail's copy, as the strip was built.
    const imaging::KodierteSeite seite = m_fransicht->bild(von)->seite();
    imaging::Seitenliste &liste = m_image1->seiten();
    liste.loeschen(von);
    liste.einfuegen(auf, seite);
    m_image1->seitenGeaendert();
    Zustand();
    vorschau_refresh();
    global::Geaendert = true;
}

void Bild::vorschau_refresh()
{
    const int aktuell = qMax(0, m_image1->seiten().aktuell());
    const app::Sanduhr sanduhr;
    m_fransicht->aufbauen(m_image1->seiten());
    m_image1->waehlen(aktuell);
    Zoomen(global::Zoomtype);
    m_fransicht->show();
}

void Bild::werkzeug(int nummer)
{
    switch (nummer) {
    case 1:
        if (!zeigtOriginal() && global::SeitenAnz > 0 && m_image1->seiten().aktuell() >= 0) {
            m_image1->seiten().drehen(m_image1->seiten().aktuell(), 90);
            m_image1->seitenGeaendert();
            Zoomen(global::Zoomtype);
            global::Geaendert = true;
        }
        break;
    case 2:
    case 3:
        global::ZoomWert = nummer == 2 ? global::ZoomWert / 1.5 : global::ZoomWert * 1.5;
        Zoomen(global::Zoomtype);
        break;
    case 5:
    case 6: {
        const QString art = nummer == 5 ? QStringLiteral("B") : QStringLiteral("H");
        global::ZoomWert = 1;
        Zoomen(art);
        global::Zoomtype = art;
        werkzeugAktion(5)->setChecked(nummer == 5);
        werkzeugAktion(6)->setChecked(nummer == 6);
        break;
    }
    case 4: seiteLoeschen(global::AktSeite); break;
    case 7: seitenDrucken(); break;
    case 8:
        if (m_image1->seiten().aktuell() >= 0) {
            const app::Sanduhr sanduhr;
            imaging::inZwischenablage(m_image1->seiten().seite(m_image1->seiten().aktuell()));
        }
        break;
    case 9: close(); break;
    default: break;
    }
}

void Bild::schliessen()
{
    if (imBearbeitungsmodus() && global::Geaendert && !nachfrageSpeichern())
        return;
    global::Geaendert = false;
    close();
}

void Bild::closeEvent(QCloseEvent *event)
{
    if (!m_entladen) {
        if (imBearbeitungsmodus() && global::Geaendert && !nachfrageSpeichern()) {
            event->ignore();
            return;
        }
        global::Geaendert = false;
        app::setzeEinstellung(QStringLiteral("Bild"), QStringLiteral("size"),
                              QStringLiteral("%1|%2|%3|%4").arg(x()).arg(y()).arg(width()).arg(height()));
        genommeneAbgleichen(true);
        m_entladen = true;
    }
    QDialog::closeEvent(event);
}

void Bild::reject()
{
    if (m_entladen)
        QDialog::reject();
    else
        close();
}

void Bild::zeigen(QWidget *besitzer, const QString &firma, const QString &dokId)
{
    Bild b(firma, besitzer);
    b.laden();
    if (!dokId.isEmpty()) {
        const app::Sanduhr sanduhr;
        b.belegLaden(dokId, true, Dokumentwahl::Neuestes);
    }
    b.exec();
}

} // namespace archiv::editor

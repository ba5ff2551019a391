#include "scan/Scandatabase.h"

#include "app/Ereignis.h"
#include "app/Sanduhr.h"
#include "common/Feld.h"
#include "common/Format.h"
#include "common/Kennungen.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "imaging/Seitenliste.h"
#include "scan/Uebernahme.h"
#include "server/ErgebnisMenge.h"
#include "server/KlassenMethoden.h"
#include "server/Verbindung.h"

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

namespace archiv::scan {

using namespace archiv::common;

namespace {

const QString Titel = QStringLiteral("Tessam Archivsystem - Scandokumente");

} // namespace

// Busy while a command runs: the pointer and the buttons, restored however
// the command ends.
struct Scandatabase::Beschaeftigt
{
    explicit Beschaeftigt(Scandatabase *f) : fenster(f) { fenster->setbusy(false); }
    ~Beschaeftigt() { fenster->setbusy(true); }
    Scandatabase *fenster;
    app::Sanduhr sanduhr;
};

Scandatabase::Scandatabase(QWidget *parent) : QDialog(parent), m_editormodus(global::Startmodus == modus::Archiv)
{
    setObjectName(QStringLiteral("scandatabase"));
    setWindowTitle(Titel);
    m_liste = new QTreeWidget(this);
    m_liste->setObjectName(QStringLiteral("LIBelege"));
    m_liste->setHeaderLabels({QStringLiteral("Belegnummer"), QStringLiteral("Seite"), QStringLiteral("WWS Datum"), QStringLiteral("WWS Beleg")});
    m_liste->headerItem()->setToolTip(0, QStringLiteral("Gescannte Belege"));
    m_liste->setRootIsDecorated(false);
    m_liste->setUniformRowHeights(true);
    m_liste->setContextMenuPolicy(Qt::CustomContextMenu);
    m_liste->setColumnWidth(0, 160);
    m_liste->setColumnWidth(1, 50);
    m_liste->setColumnWidth(2, 90);
    m_vorschau = new QLabel(this);
    m_vorschau->setObjectName(QStringLiteral("Image2"));
    m_vorschau->setAlignment(Qt::AlignCenter);
    m_vorschau->setMinimumSize(200, 200);

    const auto knopf = [this](const char *name, const QString &text, auto aktion) {
        auto *k = new QPushButton(text, this);
        k->setObjectName(QLatin1String(name));
        connect(k, &QPushButton::clicked, this, [aktion] { app::ereignis(aktion); });
        m_knoepfe << k;
        return k;
    };
    QPushButton *akt = knopf("BUAkt", QStringLiteral("Aktualisieren"), [this] {
        const Beschaeftigt b(this);
        aktualisieren();
    });
    QPushButton *suche = knopf("BU_Belegsuche", QStringLiteral("Belegsuche"), [this] { belegsuche(); });
    QPushButton *uebern = knopf("buuebern", QStringLiteral("Übernehmen alles"), [this] { uebernahmealle(); });
    QPushButton *loeall = knopf("buloeall", QStringLiteral("Alles löschen"), [this] { allesLoeschen(); });
    QPushButton *zu = knopf("BUClose", QStringLiteral("Schließen"), [this] { reject(); });

    auto *knoepfe = new QVBoxLayout;
    for (QPushButton *k : {akt, suche, uebern, loeall, zu})
        knoepfe->addWidget(k);
    knoepfe->addStretch();
    auto *g = new QGridLayout(this);
    g->addWidget(m_liste, 0, 0);
    g->addLayout(knoepfe, 0, 1);
    g->addWidget(m_vorschau, 1, 0, 1, 2);
    g->setRowStretch(0, 2);
    g->setRowStretch(1, 3);
    resize(760, 700);

    m_popup = new QMenu(this);
    m_popup->setObjectName(QStringLiteral("popup"));
    const auto eintrag = [this](const char *name, const QString &text, auto aktion) {
        QAction *a = m_popup->addAction(text);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, [aktion] { app::ereignis(aktion); });
        return a;
    };
    eintrag("bearb", QStringLiteral("Bearbeiten"), [this] { bearbeiten(); });
    eintrag("loe", QStringLiteral("Löschen"), [this] { loeschen(); });
    eintrag("zuordloe", QStringLiteral("Belegzuordnung löschen"), [this] { belegzuordnungloeschen(); });
    eintrag("uebeinz", QStringLiteral("Übernehmen einzeln"), [this] { uebernahmeeinzeln(); });

    connect(m_liste, &QTreeWidget::currentItemChanged, this, [this] { vorschauladen(m_liste->indexOfTopLevelItem(m_liste->currentItem())); });
    connect(m_liste, &QTreeWidget::itemDoubleClicked, this, [this] { app::ereignis([this] { uebernahmeeinzeln(); }); });
    connect(m_liste, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint &p) { popupZeigen(p); });

    if (m_editormodus) {
        // The editor picks a Belegnummer here: no transfer, no clearing.
        uebern->hide();
        loeall->hide();
    }
    const Beschaeftigt b(this);
    aktualisieren();
}

void Scandatabase::setbusy(bool bereit)
{
    for (QPushButton *k : std::as_const(m_knoepfe))
        k->setEnabled(bereit);
}

void Scandatabase::aktualisieren()
{
    const int zeile = m_liste->indexOfTopLevelItem(m_liste->currentItem());
    {
        const QSignalBlocker sperre(m_liste);
        m_liste->clear();
        server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Scandat"), QStringLiteral("Liste"));
        rs.Execute();
        while (rs.Next()) {
            auto *item = new QTreeWidgetItem(
                m_liste, {rs.GetData(2), formatAllgemein(rs.GetData(3)), formatDatum(rs.GetData(4)).left(10), rs.GetData(5)});
            item->setData(0, Qt::UserRole, formatAllgemein(rs.GetData(1)) + u'|' + rs.GetData(2) + u'|' + formatAllgemein(rs.GetData(3)));
        }
        rs.Close();
        m_vorschau->clear();
        // The row number selected before, whatever record it holds now.
        if (zeile >= 0 && zeile < m_liste->topLevelItemCount())
            m_liste->setCurrentItem(m_liste->topLevelItem(zeile));
    }
    vorschauladen(zeile);
}

void Scandatabase::vorschauladen(int zeile)
{
    if (zeile < 0 || zeile >= m_liste->topLevelItemCount())
        return;
    const QString id = Feld(m_liste->topLevelItem(zeile)->data(0, Qt::UserRole).toString(), QStringLiteral("|"), 1);
    if (id.isEmpty())
        return;
    server::Objekt scan = global::Archivverbindung->OpenId(QStringLiteral("AR.Scandat"), id);
    if (scan.istLeer())
        return;
    server::Datenstrom dok = scan.strom(QStringLiteral("dok"));
    try {
        imaging::Seitenliste seite;
        seite.laden(dok.Read(dok.groesse()), QStringLiteral("tmparchiv.tif"), 0, 1);
        m_bild = seite.seite(0).bild().convertToFormat(QImage::Format_Grayscale8);
    } catch (const std::exception &) {
        m_bild = QImage();
    }
    const QSize platz = m_vorschau->size() * 0.97;
    m_vorschau->setPixmap(m_bild.isNull() ? QPixmap()
                                          : QPixmap::fromImage(m_bild.scaled(platz, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void Scandatabase::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (!m_bild.isNull())
        m_vorschau->setPixmap(QPixmap::fromImage(m_bild.scaled(m_vorschau->size() * 0.97, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

std::optional<QString> Scandatabase::auswahl(int feld, bool melden)
{
    // A current row without a selection (the list took the focus) is no choice.
    if (!m_liste->currentItem() || !m_liste->currentItem()->isSelected()) {
        if (melden)
            meldung(Titel, QStringLiteral("Kein Scan-Dokument ausgewählt"), MeldungsSymbol::Information);
        return std::nullopt;
    }
    return Feld(m_liste->currentItem()->data(0, Qt::UserRole).toString(), QStringLiteral("|"), feld);
}

void Scandatabase::popupZeigen(const QPoint &punkt)
{
    QTreeWidgetItem *item = m_liste->itemAt(punkt);
    if (!item)
        return;
    if (item != m_liste->currentItem())
        m_liste->setCurrentItem(item);
    const QString id = auswahl(1, false).value_or(QString());
    const server::Objekt scan = global::Archivverbindung->OpenId(QStringLiteral("AR.Scandat"), id);
    findChild<QAction *>(QStringLiteral("zuordloe"))->setEnabled(!scan.istLeer() && scan.refId(QStringLiteral("IDDokumente")).toLongLong() > 0);
    if (isVisible())
        m_popup->popup(m_liste->viewport()->mapToGlobal(punkt));
}

Scanbearbeitung::Scanbearbeitung(const QString &id, const QString &belegnummer, const QString &seite, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("scanbearb"));
    setWindowTitle(QStringLiteral("Scan bearbeiten"));
    m_id = new QLineEdit(id, this);
    m_id->setObjectName(QStringLiteral("idtxt"));
    m_id->setReadOnly(true);
    m_dokument = new QLineEdit(belegnummer, this);
    m_dokument->setObjectName(QStringLiteral("DokumentTxt"));
    m_dokument->setMaxLength(100);
    m_alt = new QLineEdit(belegnummer, this);
    m_alt->setObjectName(QStringLiteral("olddokument"));
    m_alt->hide();
    m_seite = new QSpinBox(this);
    m_seite->setObjectName(QStringLiteral("SeiteTxt"));
    m_seite->setRange(1, 9999);
    m_seite->setValue(qMax(1, seite.toInt()));
    auto *speichernKnopf = new QPushButton(QStringLiteral("Speichern"), this);
    speichernKnopf->setObjectName(QStringLiteral("BUSpeich"));
    speichernKnopf->setDefault(true);
    auto *zu = new QPushButton(QStringLiteral("Schliessen"), this);
    zu->setObjectName(QStringLiteral("BUClose"));
    auto *g = new QGridLayout(this);
    g->addWidget(new QLabel(QStringLiteral("Scan:"), this), 0, 0);
    g->addWidget(m_id, 0, 1);
    g->addWidget(new QLabel(QStringLiteral("Belegnummer:"), this), 1, 0);
    g->addWidget(m_dokument, 1, 1);
    g->addWidget(new QLabel(QStringLiteral("Seite:"), this), 2, 0);
    g->addWidget(m_seite, 2, 1);
    auto *knoepfe = new QHBoxLayout;
    knoepfe->addStretch();
    knoepfe->addWidget(speichernKnopf);
    knoepfe->addWidget(zu);
    g->addLayout(knoepfe, 3, 0, 1, 2);
    connect(speichernKnopf, &QPushButton::clicked, this, [this] { app::ereignis([this] {
                if (speichern())
                    accept();
            }); });
    connect(zu, &QPushButton::clicked, this, &QDialog::reject);
    m_dokument->setFocus();
    m_dokument->selectAll();
}

bool Scanbearbeitung::speichern()
{
    server::Objekt scan = global::Archivverbindung->OpenId(QStringLiteral("AR.Scandat"), m_id->text());
    if (scan.istLeer()) {
        meldung(Titel, QStringLiteral("Den Scan %1 gibt es nicht mehr.").arg(m_id->text()), MeldungsSymbol::Information);
        return true;
    }
    const QString neu = m_dokument->text().trimmed();
    scan.set(QStringLiteral("dokument"), neu);
    scan.set(QStringLiteral("seite"), QString::number(m_seite->value()));
    if (neu != m_alt->text())
        scan.setRef(QStringLiteral("IDDokumente"), QString());
    if (scan.SYS_Save() != 1) {
        meldung(Titel, QStringLiteral("Speichern Fehlgeschlagen\n") + scan.letzterFehler(), MeldungsSymbol::Kritisch);
        return false;
    }
    return true;
}

void Scandatabase::bearbeiten()
{
    const std::optional<QString> id = auswahl(1);
    if (!id)
        return;
    Scanbearbeitung dialog(*id, auswahl(2, false).value_or(QString()), auswahl(3, false).value_or(QString()), this);
    dialog.exec();
    const Beschaeftigt b(this);
    aktualisieren();
}

void Scandatabase::loeschen()
{
    const std::optional<QString> gewaehlt = auswahl(2);
    if (!gewaehlt)
        return;
    const QString nummer = *gewaehlt;
    const Beschaeftigt b(this);
    global::Archivverbindung->ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("BelegLoeschen"), {nummer});
    aktualisieren();
}

void Scandatabase::belegzuordnungloeschen()
{
    const std::optional<QString> gewaehlt = auswahl(2);
    if (!gewaehlt)
        return;
    const QString nummer = *gewaehlt;
    const Beschaeftigt b(this);
    global::Archivverbindung->ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("ZuordnungLoeschen"), {nummer});
    aktualisieren();
}

void Scandatabase::uebernahmeeinzeln()
{
    const std::optional<QString> gewaehlt = auswahl(2);
    if (!gewaehlt)
        return;
    const QString nummer = *gewaehlt;
    if (m_editormodus) {
        global::ScanBarcode = nummer;
        accept();
        return;
    }
    Uebernahmebericht bericht;
    {
        const Beschaeftigt b(this);
        bericht = ScanBelegUebernahme(*global::Archivverbindung, nummer, true);
        aktualisieren();
    }
    uebernahmeMelden(bericht.uebernommen, bericht.fehler);
}

void Scandatabase::uebernahmealle()
{
    Uebernahmebericht bericht;
    {
        const Beschaeftigt b(this);
        bericht = ScanBelegUebernahme(*global::Archivverbindung, QString(), true);
        aktualisieren();
    }
    uebernahmeMelden(bericht.uebernommen, bericht.fehler);
}

void Scandatabase::uebernahmeMelden(int, const QStringList &fehler)
{
    if (!fehler.isEmpty())
        meldung(Titel,
                QStringLiteral("%1 Seiten konnten nicht übernommen werden; sie bleiben im Scanspeicher.\n").arg(fehler.size()) +
                    fehler.mid(0, 10).join(u'\n'),
                MeldungsSymbol::Ausruf);
}

void Scandatabase::belegsuche()
{
    const Beschaeftigt b(this);
    global::Archivverbindung->ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("ScanBelegSuche"), {QStringLiteral("1")});
    aktualisieren();
}

void Scandatabase::allesLoeschen()
{
    if (meldung(Titel, QStringLiteral("Wirklich alle Scans löschen"), MeldungsSymbol::Frage, MeldungsKnoepfe::OkAbbrechen) != Antwort::Ok)
        return;
    const Beschaeftigt b(this);
    global::Archivverbindung->ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("ClearAll"));
    aktualisieren();
}

} // namespace archiv::scan

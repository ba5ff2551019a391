#include "scan/Scandatabase.h"

#include "app/EinstScan.h"
#include "app/EinstServ.h"
#include "app/Einstellungen.h"
#include "app/Ereignis.h"
#include "app/Dateiauswahl.h"
#include "app/Sanduhr.h"
#include "app/Scanneroptionen.h"
#include "common/Feld.h"
#include "common/Format.h"
#include "common/Kennungen.h"
#include "common/Meldung.h"
#include "common/Original.h"
#include "einvoice/Originalansicht.h"
#include "imaging/TiffDatei.h"
#include "common/Programmzustand.h"
#include "common/Twips.h"
#include "imaging/Scanlauf.h"
#include "lookup/SuBeleg.h"
#include "imaging/Seitenbearbeitung.h"
#include "imaging/Seitenliste.h"
#include "scan/Stapelscan.h"
#include "scan/Uebernahme.h"
#include "server/ErgebnisMenge.h"
#include "server/KlassenMethoden.h"
#include "server/Verbindung.h"
#include "server/Zugang.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
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

Scanlayout scanlayout(double breite, double hoehe)
{
    constexpr double Rand = 40, Abstand = 120, ListeHoehe = 3600, TitelHoehe = 300, KnopfHoehe = 400, KnopfSchritt = 480;
    Scanlayout l;
    l.titel = QRectF(Rand, Rand, breite - 2 * Rand, TitelHoehe);
    l.liste = QRectF(Rand, Rand + TitelHoehe, breite - 2 * Rand, ListeHoehe - TitelHoehe);
    const double unten = l.liste.bottom() + Abstand;
    l.vorschau = QRectF(Rand, unten, breite - 1800 - Abstand - Rand, hoehe - ListeHoehe - Rand - Abstand - 140);
    l.scannen = QRectF(breite - 1500, unten, 1300, KnopfHoehe);
    for (int i = 0; i < 6; ++i)
        l.knoepfe << QRectF(breite - 1800, unten + (i + 1) * KnopfSchritt, 1600, KnopfHoehe);
    return l;
}

Scanvorgabe::Scanvorgabe(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("scanvorgabe"));
    setWindowTitle(Titel);
    m_text = new QLineEdit(QStringLiteral("Stapel ") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm")), this);
    m_text->setObjectName(QStringLiteral("VorgabeTxt"));
    m_text->setMaxLength(100);
    m_text->selectAll();
    auto *ok = new QPushButton(QStringLiteral("Scannen"), this);
    ok->setObjectName(QStringLiteral("BUOk"));
    ok->setDefault(true);
    auto *abbrechen = new QPushButton(QStringLiteral("Abbrechen"), this);
    abbrechen->setObjectName(QStringLiteral("BUAbbrechen"));
    auto *g = new QGridLayout(this);
    auto *hinweis = new QLabel(QStringLiteral("Belegnummer des Stapels (z. B. ER4711) oder ein Name für den Scanlauf:"), this);
    hinweis->setWordWrap(true);
    g->addWidget(hinweis, 0, 0, 1, 3);
    g->addWidget(m_text, 1, 0, 1, 3);
    g->setColumnStretch(0, 1);
    g->addWidget(ok, 2, 1);
    g->addWidget(abbrechen, 2, 2);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(abbrechen, &QPushButton::clicked, this, [this] {
        m_text->clear();
        reject();
    });
    setMinimumWidth(420);
}

QString Scanvorgabe::text() const
{
    return result() == QDialog::Accepted ? m_text->text().trimmed() : QString();
}

Scandatabase::Scandatabase(QWidget *parent) : QDialog(parent), m_editormodus(global::Startmodus == modus::Archiv)
{
    setObjectName(QStringLiteral("scandatabase"));
    setWindowTitle(Titel);
    QAction *beenden = menueAnlegen();
    listeAnlegen();
    knoepfeAnlegen();
    popupAnlegen();

    const double dpi = logicalDpiX();
    setMinimumSize(twipsZuPixel(ScanMinBreite, dpi), twipsZuPixel(ScanMinHoehe, dpi) + m_menue->sizeHint().height());
    resize(twipsZuPixel(12000, dpi), twipsZuPixel(10500, dpi) + m_menue->sizeHint().height());

    if (m_editormodus) {
        // The editor picks a Belegnummer here: no scanning, no transfer, no
        // clearing, and leaving the program is the editor's business.
        m_scannen->hide();
        findChild<QPushButton *>(QStringLiteral("buuebern"))->hide();
        findChild<QPushButton *>(QStringLiteral("buloeall"))->hide();
        beenden->setVisible(false);
        const Beschaeftigt b(this);
        aktualisieren();
    }
}

QAction *Scandatabase::menueAnlegen()
{
    m_menue = new QMenuBar(this);
    QMenu *datei = m_menue->addMenu(QStringLiteral("Datei"));
    datei->setObjectName(QStringLiteral("datei"));
    const auto menuepunkt = [this, datei](const char *name, const QString &text, auto aktion) {
        QAction *a = datei->addAction(text);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, [aktion] { app::ereignis(aktion); });
        return a;
    };
    menuepunkt("einstscaner", QStringLiteral("Einstellungen Scanner"), [this] { app::einstscanZeigen(this); });
    menuepunkt("einstserver", QStringLiteral("Einstellungen Server"), [this] { app::einstservZeigen(this); });
    datei->addSeparator();
    return menuepunkt("beenden", QStringLiteral("Beenden"), [this] { done(QDialog::Rejected); });
}

void Scandatabase::listeAnlegen()
{
    m_listeTitel = new QLabel(QStringLiteral("Gescannte Belege"), this);
    m_listeTitel->setObjectName(QStringLiteral("LIBelegeTitel"));
    m_listeTitel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont fett = m_listeTitel->font();
    fett.setBold(true);
    m_listeTitel->setFont(fett);
    m_liste = new QTreeWidget(this);
    m_liste->setObjectName(QStringLiteral("LIBelege"));
    m_liste->setHeaderLabels(
        {QStringLiteral("Belegnummer"), QStringLiteral("Seite"), QStringLiteral("WWS Datum"), QStringLiteral("WWS Beleg"), QStringLiteral("Datei")});
    m_liste->setRootIsDecorated(false);
    m_liste->setUniformRowHeights(true);
    m_liste->setContextMenuPolicy(Qt::CustomContextMenu);
    m_liste->setColumnWidth(0, 160);
    m_liste->setColumnWidth(1, 50);
    m_liste->setColumnWidth(2, 90);
    m_vorschau = new QLabel(this);
    m_vorschau->setObjectName(QStringLiteral("Image2"));
    m_vorschau->setAlignment(Qt::AlignCenter);
    m_vorschau->setFrameShape(QFrame::StyledPanel);
    m_vorschau->setAutoFillBackground(true);
    m_vorschau->installEventFilter(this);

    connect(m_liste, &QTreeWidget::currentItemChanged, this, [this] { vorschauladen(m_liste->indexOfTopLevelItem(m_liste->currentItem())); });
    // A double-click transfers the row's Beleg; a page without a Belegnummer
    // has none to transfer (an empty number would mean every Beleg) and
    // opens the edit dialog, where its number is typed or looked up.
    connect(m_liste, &QTreeWidget::itemDoubleClicked, this, [this] {
        app::ereignis([this] {
            if (auswahl(2, false).value_or(QString()).trimmed().isEmpty())
                bearbeiten();
            else
                uebernahmeeinzeln();
        });
    });
    connect(m_liste, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint &p) { popupZeigen(p); });
}

void Scandatabase::knoepfeAnlegen()
{
    const auto knopf = [this](const char *name, const QString &text, auto aktion) {
        auto *k = new QPushButton(text, this);
        k->setObjectName(QLatin1String(name));
        connect(k, &QPushButton::clicked, this, [aktion] { app::ereignis(aktion); });
        return k;
    };
    m_scannen = knopf("BUScan", QStringLiteral("Scannen"), [this] { scannen(); });
    m_knoepfe << knopf("BUDateien", QStringLiteral("Dateien…"), [this] { dateienWaehlen(); });
    m_knoepfe.last()->setToolTip(QStringLiteral("Empfangene Dateien (PDF, E-Rechnung, Bild) unverändert in den Scanspeicher nehmen"));
    m_knoepfe << knopf("BUAkt", QStringLiteral("Aktualisieren"), [this] {
        const Beschaeftigt b(this);
        aktualisieren();
    });
    m_knoepfe << knopf("BU_Belegsuche", QStringLiteral("Belegsuche"), [this] { belegsuche(); });
    m_knoepfe << knopf("buuebern", QStringLiteral("Übernehmen alles"), [this] { uebernahmealle(); });
    m_knoepfe << knopf("buloeall", QStringLiteral("Alles löschen"), [this] { allesLoeschen(); });
    m_knoepfe << knopf("BUClose", QStringLiteral("Schliessen"), [this] { done(QDialog::Rejected); });
}

void Scandatabase::popupAnlegen()
{
    m_popup = new QMenu(this);
    m_popup->setObjectName(QStringLiteral("popup"));
    const auto eintrag = [this](const char *name, const QString &text, auto aktion) {
        QAction *a = m_popup->addAction(text);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, [aktion] { app::ereignis(aktion); });
    };
    eintrag("bearb", QStringLiteral("Bearbeiten"), [this] { bearbeiten(); });
    eintrag("loe", QStringLiteral("Löschen"), [this] { loeschen(); });
    eintrag("zuordloe", QStringLiteral("Belegzuordnung löschen"), [this] { belegzuordnungloeschen(); });
    eintrag("uebeinz", QStringLiteral("Übernehmen einzeln"), [this] { uebernahmeeinzeln(); });
}

Scandatabase::~Scandatabase()
{
    entladen();
}

bool Scandatabase::laden()
{
    if (!app::archivVerbinden(this))
        return false;
    m_eigeneVerbindung = true;
    {
        const Beschaeftigt b(this);
        aktualisieren();
    }
    anordnen();
    global::Startmodus = modus::Scandatabase;
    return true;
}

void Scandatabase::done(int r)
{
    entladen();
    QDialog::done(r);
}

void Scandatabase::entladen()
{
    // At a scan station the window is the program: closing it ends the
    // connection it opened, once.
    if (!m_eigeneVerbindung)
        return;
    m_eigeneVerbindung = false;
    QApplication::beep();
    if (global::Archivverbindung && global::Archivverbindung->IsConnected())
        global::Archivverbindung->Disconnect();
}

QRect Scandatabase::pixel(const QRectF &t) const
{
    const double dpi = logicalDpiX();
    const int oben = m_menue->isVisible() ? m_menue->height() : 0;
    return {twipsZuPixel(t.left(), dpi), twipsZuPixel(t.top(), dpi) + oben, twipsZuPixel(t.width(), dpi), twipsZuPixel(t.height(), dpi)};
}

void Scandatabase::anordnen()
{
    const double dpi = logicalDpiX();
    const int oben = m_menue->isVisible() ? m_menue->height() : 0;
    const Scanlayout l = scanlayout(pixelZuTwips(width(), dpi), pixelZuTwips(height() - oben, dpi));
    m_menue->setGeometry(0, 0, width(), m_menue->sizeHint().height());
    m_listeTitel->setGeometry(pixel(l.titel));
    m_liste->setGeometry(pixel(l.liste));
    // A caption wider than the column (a larger system font) moves the
    // column to the left rather than cutting the caption.
    int breit = 0;
    for (QPushButton *k : std::as_const(m_knoepfe))
        breit = qMax(breit, k->sizeHint().width());
    const int mehr = qMax(0, breit - pixel(l.knoepfe.value(0)).width());
    for (int i = 0; i < m_knoepfe.size(); ++i)
        m_knoepfe[i]->setGeometry(pixel(l.knoepfe.value(i)).adjusted(-mehr, 0, 0, 0));
    m_scannen->setGeometry(pixel(l.scannen).adjusted(-mehr, 0, 0, 0));
    if (m_vorschauPlatz.isEmpty())
        m_vorschau->setGeometry(pixel(l.vorschau).adjusted(0, 0, -mehr, 0));
    vorschauEinpassen();
}

void Scandatabase::dateienWaehlen()
{
    const QStringList pfade = app::empfangeneDateienWaehlen(this, QStringLiteral("Dateien in den Scanspeicher übernehmen"));
    if (!pfade.isEmpty())
        dateienAblegen(pfade);
}

void Scandatabase::dateienAblegen(const QStringList &pfade)
{
    QStringList fehler;
    int abgelegt = 0;
    {
        const Beschaeftigt b(this);
        for (const QString &pfad : pfade) {
            common::original::Datei d = common::original::lesen(pfad);
            if (!d.gelesen()) {
                fehler << d.fehler;
                continue;
            }
            try {
                dateiAblegen(*global::Archivverbindung, d.name, d.doktyp, d.inhalt);
                ++abgelegt;
            } catch (const std::exception &e) {
                fehler << QStringLiteral("%1: %2").arg(d.name, QString::fromUtf8(e.what()));
            }
        }
        aktualisieren();
    }
    QString text = abgelegt == 1 ? QStringLiteral("1 Datei in den Scanspeicher übernommen.")
                                 : QStringLiteral("%1 Dateien in den Scanspeicher übernommen.").arg(abgelegt);
    if (abgelegt > 0)
        text += QStringLiteral("\nBitte jeder Datei mit \"Bearbeiten\" ihre Belegnummer geben.");
    if (!fehler.isEmpty())
        text += QStringLiteral("\n\nNicht übernommen:\n") + fehler.mid(0, 10).join(u'\n');
    meldung(Titel, text, fehler.isEmpty() ? MeldungsSymbol::Information : MeldungsSymbol::Ausruf);
}

void Scandatabase::setbusy(bool bereit)
{
    for (QPushButton *k : std::as_const(m_knoepfe))
        k->setEnabled(bereit);
    m_scannen->setEnabled(bereit);
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
            // A digital record shows its kind in place of a page number.
            const QString art = rs.GetData(7);
            const QString seite = art.isEmpty() ? formatAllgemein(rs.GetData(3)) : common::original::artName(art);
            const QString datei = rs.GetData(6).isEmpty() ? QString() : rs.GetData(6);
            auto *item = new QTreeWidgetItem(m_liste, {rs.GetData(2), seite, formatDatum(rs.GetData(4)).left(10), rs.GetData(5), datei});
            item->setData(1, Qt::UserRole, art);
            item->setData(0, Qt::UserRole, formatAllgemein(rs.GetData(1)) + u'|' + rs.GetData(2) + u'|' + formatAllgemein(rs.GetData(3)));
        }
        rs.Close();
        m_vorschau->clear();
        m_vorschau->hide();
        m_seite = imaging::Seite();
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
        const QString art = scan.get(QStringLiteral("doktyp"));
        if (!art.isEmpty()) {
            // A received file: its first page as it is drawn for the screen.
            const einvoice::Original o = einvoice::original(scan.get(QStringLiteral("dateiname")), art, dok.Read(dok.groesse()));
            const einvoice::Bildschirmseiten b = einvoice::bildschirmseiten(o, 100);
            m_seite = imaging::TiffDatei::dekodieren(b.seiten.constFirst());
        } else {
            imaging::Seitenliste seite;
            seite.laden(dok.Read(dok.groesse()), QStringLiteral("tmparchiv.tif"), 0, 1);
            m_seite = seite.seite(0);
        }
    } catch (const std::exception &) {
        m_seite = imaging::Seite();
    }
    global::VorschauZoom = 1;
    vorschauEinpassen();
    m_vorschau->show();
}

void Scandatabase::vorschauEinpassen()
{
    // The page fitted into 97 % of the view, keeping its proportions.
    const QSize platz = m_vorschau->size() * 0.97;
    m_vorschau->setPixmap(QPixmap::fromImage(imaging::vorschau(m_seite, platz)));
}

void Scandatabase::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    anordnen();
}

bool Scandatabase::eventFilter(QObject *objekt, QEvent *event)
{
    // A pressed mouse button shows the preview over the whole window; the
    // release puts it back.
    if (objekt == m_vorschau && event->type() == QEvent::MouseButtonPress && m_vorschauPlatz.isEmpty()) {
        const QRect g = m_vorschau->geometry();
        m_vorschauPlatz = QStringLiteral("%1|%2|%3|%4").arg(g.left()).arg(g.top()).arg(g.height()).arg(g.width());
        const double dpi = logicalDpiX();
        const int rand = twipsZuPixel(100, dpi);
        m_vorschau->setGeometry(0, 0, width() - rand, height() - rand);
        m_vorschau->raise();
        vorschauEinpassen();
        return true;
    }
    if (objekt == m_vorschau && event->type() == QEvent::MouseButtonRelease && !m_vorschauPlatz.isEmpty()) {
        const auto zahl = [this](int i) { return Feld(m_vorschauPlatz, QStringLiteral("|"), i).toInt(); };
        m_vorschau->setGeometry(zahl(1), zahl(2), zahl(4), zahl(3));
        m_vorschauPlatz.clear();
        vorschauEinpassen();
        return true;
    }
    return QDialog::eventFilter(objekt, event);
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
    auto *beleg = new QPushButton(QStringLiteral("Beleg …"), this);
    beleg->setObjectName(QStringLiteral("BUBeleg"));
    beleg->setToolTip(QStringLiteral("Den Beleg im Archiv suchen, zu dem die Seite gehört"));
    beleg->setAutoDefault(false);
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
    g->addWidget(beleg, 1, 2);
    g->addWidget(new QLabel(QStringLiteral("Seite:"), this), 2, 0);
    g->addWidget(m_seite, 2, 1);
    auto *knoepfe = new QHBoxLayout;
    knoepfe->addStretch();
    knoepfe->addWidget(speichernKnopf);
    knoepfe->addWidget(zu);
    g->addLayout(knoepfe, 3, 0, 1, 3);
    connect(beleg, &QPushButton::clicked, this, [this] { app::ereignis([this] { belegWaehlen(); }); });
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
    if (!m_belegId.isEmpty() && neu == m_belegNummer)
        scan.setRef(QStringLiteral("IDDokumente"), m_belegId);
    else if (neu != m_alt->text())
        scan.setRef(QStringLiteral("IDDokumente"), QString());
    if (scan.SYS_Save() != 1) {
        meldung(Titel, QStringLiteral("Speichern Fehlgeschlagen\n") + scan.letzterFehler(), MeldungsSymbol::Kritisch);
        return false;
    }
    return true;
}

void Scanbearbeitung::belegWaehlen()
{
    lookup::SuBeleg suche(m_dokument->text(), this);
    if (suche.exec() != QDialog::Accepted)
        return;
    m_belegId = suche.belegId();
    m_belegNummer = suche.schluessel();
    m_dokument->setText(m_belegNummer);
}

void Scandatabase::bearbeiten()
{
    const std::optional<QString> id = auswahl(1);
    if (!id)
        return;
    Scanbearbeitung dialog(*id, auswahl(2, false).value_or(QString()), auswahl(3, false).value_or(QString()), this);
    const double dpi = logicalDpiX();
    dialog.move(geometry().left() + twipsZuPixel(300, dpi), geometry().top() + twipsZuPixel(2000, dpi));
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
    uebernahmeMelden(bericht);
}

void Scandatabase::uebernahmealle()
{
    Uebernahmebericht bericht;
    {
        const Beschaeftigt b(this);
        bericht = ScanBelegUebernahme(*global::Archivverbindung, QString(), true);
        aktualisieren();
    }
    uebernahmeMelden(bericht);
}

void Scandatabase::uebernahmeMelden(const Uebernahmebericht &bericht)
{
    const bool fehler = bericht.fehlgeschlagen > 0 || !bericht.fehler.isEmpty();
    meldung(Titel, berichtText(bericht), fehler ? MeldungsSymbol::Ausruf : MeldungsSymbol::Information);
}

void Scandatabase::belegsuche()
{
    Belegsuchbericht bericht;
    {
        const Beschaeftigt b(this);
        bericht = scan::belegsuche(*global::Archivverbindung);
        aktualisieren();
    }
    meldung(Titel, berichtText(bericht), MeldungsSymbol::Information);
}

void Scandatabase::allesLoeschen()
{
    if (meldung(Titel, QStringLiteral("Wirklich alle Scans löschen"), MeldungsSymbol::Frage, MeldungsKnoepfe::OkAbbrechen) != Antwort::Ok)
        return;
    const Beschaeftigt b(this);
    global::Archivverbindung->ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("ClearAll"));
    aktualisieren();
}

void Scandatabase::scannen()
{
    app::Scannereinstellungen scanner = app::scannereinstellungen();
    if (scanner.quelle.isEmpty()) {
        meldung(Titel, QStringLiteral("Keine Scanquelle definiert"), MeldungsSymbol::Ausruf);
        return;
    }
    QString vorgabe;
    {
        Scanvorgabe dialog(this);
        dialog.exec();
        vorgabe = dialog.text();
    }
    if (vorgabe.isEmpty() || !app::scanneroptionenFragen(this, scanner))
        return;
    // Storing pages needs a login: asked once before the batch, not for
    // every page once it has begun.
    if (!server::hatSitzung() && !server::anmelden()) {
        meldung(Titel, QStringLiteral("Ohne Anmeldung werden keine Seiten im Scanspeicher gespeichert."), MeldungsSymbol::Ausruf);
        return;
    }
    const bool barcodes = zahlWert(app::einstellung(QStringLiteral("Allgemein"), QStringLiteral("Barcode"))) > 0;
    Stapelablage ablage(*global::Archivverbindung, barcodes, scanner.folgeseiten, [this](const QString &id, const QString &schluessel, int nummer, const imaging::Seite &bild) {
        global::ScanSeite = nummer - 1;
        // The list grows as the pages arrive; the reload after the
        // acquisition brings the server's view.
        auto *item = new QTreeWidgetItem(m_liste, {schluessel, QString::number(nummer), QString(), QString()});
        item->setData(0, Qt::UserRole, id + u'|' + schluessel + u'|' + QString::number(nummer));
        m_liste->scrollToItem(item);
        m_seite = bild;
        global::VorschauZoom = 1;
        vorschauEinpassen();
        m_vorschau->show();
    });
    {
        const Beschaeftigt b(this);
        for (;;) {
            // Page numbers count on from the store as listed now.
            QList<std::pair<QString, int>> bisher;
            for (int i = 0; i < m_liste->topLevelItemCount(); ++i)
                bisher.append({m_liste->topLevelItem(i)->text(0), m_liste->topLevelItem(i)->text(1).toInt()});
            ablage.neueErfassung(bisher);
            const bool ok = erfassen(scanner, ablage);
            if (!ok)
                meldung(Titel, QStringLiteral("Scanner nicht bereit"), MeldungsSymbol::Ausruf);
            nichtAbgelegteMelden(ablage);
            aktualisieren();
            if (meldung(Titel, QStringLiteral("Weiter Scannen"), MeldungsSymbol::Frage, MeldungsKnoepfe::JaNein) != Antwort::Ja)
                break;
        }
        // The last page scanned for the expected Belegnummer.
        for (int i = 0; i < m_liste->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = m_liste->topLevelItem(i);
            if (item->text(0) == vorgabe && item->text(1).toInt() == ablage.letzte(vorgabe)) {
                m_liste->setCurrentItem(item);
                break;
            }
        }
    }
}

void Scandatabase::nichtAbgelegteMelden(Stapelablage &ablage)
{
    // Pages that did not reach the store are still here: tried again as
    // long as the user wants, else named so that they are scanned again.
    while (ablage.fehlgeschlagen() > 0) {
        const Antwort a = meldung(Titel,
                                  QStringLiteral("%1 Seiten konnten nicht im Scanspeicher gespeichert werden:\n%2\n\nErneut versuchen?")
                                      .arg(ablage.fehlgeschlagen())
                                      .arg(ablage.grund()),
                                  MeldungsSymbol::Frage, MeldungsKnoepfe::JaNein);
        if (a != Antwort::Ja) {
            meldung(Titel,
                    QStringLiteral("%1 Seiten sind nicht gespeichert; bitte diese Seiten erneut scannen.").arg(ablage.fehlgeschlagen()),
                    MeldungsSymbol::Kritisch);
            ablage.verwerfen();
            return;
        }
        ablage.wiederholen();
    }
}

bool Scandatabase::erfassen(const app::Scannereinstellungen &scanner, Stapelablage &ablage)
{
    imaging::Scanlauf::Optionen optionen;
    const bool barcodes = zahlWert(app::einstellung(QStringLiteral("Allgemein"), QStringLiteral("Barcode"))) > 0;
    optionen.barcodes = barcodes ? imaging::Scanlauf::Barcodes::JedeSeite : imaging::Scanlauf::Barcodes::Keine;
    optionen.drehen = scanner.drehen;
    optionen.alsTiff = true;
    imaging::Scanlauf lauf(imaging::Seitenquelle::oeffnen(scanner.quelle), scanner.geraet, optionen);
    connect(&lauf, &imaging::Scanlauf::seite, this, [&ablage](const imaging::Seite &seite, const QStringList &codes, const QByteArray &tiff) {
        ablage.annehmen({tiff, codes, seite});
    });
    // The window repaints while the pages arrive; input waits.
    return lauf.ausfuehren() == imaging::Seitenquelle::Ok;
}

} // namespace archiv::scan

#include "search/Ergebnis.h"
#include "search/Ausgabe.h"
#include "search/InfoDvd.h"

#include "app/Drucken.h"
#include "app/Ereignis.h"
#include "app/Sanduhr.h"
#include "common/Feld.h"
#include "common/Format.h"
#include "common/Kennungen.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "common/Texte.h"
#include "common/Twips.h"
#include "imaging/Seite.h"
#include "imaging/Seitenliste.h"
#include "search/TrefferModell.h"
#include "server/KlassenMethoden.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"

#include <QApplication>
#include <QCursor>
#include <QDateTime>
#include <QDebug>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QSplitter>
#include <QStandardPaths>
#include <QTimer>
#include <QStyle>
#include <QTreeView>
#include <QTreeWidget>

namespace archiv::search {

using namespace archiv::common;

namespace {

// The tree's two pictures: 1 the Beleg clicked, 2 a linked Beleg.
QIcon baumBild(int art)
{
    QPixmap p(14, 14);
    p.fill(Qt::transparent);
    QPainter maler(&p);
    maler.setPen(QColor(80, 80, 80));
    maler.setBrush(Qt::white);
    maler.drawRect(2, 1, 9, 12);
    maler.drawLine(4, 4, 9, 4);
    maler.drawLine(4, 7, 9, 7);
    if (art == 2) {
        maler.setPen(QPen(QColor(40, 110, 200), 2));
        maler.drawLine(7, 12, 12, 12);
        maler.drawLine(12, 12, 12, 8);
    }
    return QIcon(p);
}

} // namespace

Ergebnis::Ergebnis(QWidget *hauptfenster, std::function<QString()> firma) : QWidget(nullptr), m_firma(std::move(firma))
{
    setObjectName(QStringLiteral("Ergebnis"));
    setWindowTitle(QStringLiteral("Tessam Archivsystem - Ergebnis"));
    m_modell = new TrefferModell(this);
    m_liste = new QTreeView(this);
    m_liste->setObjectName(QStringLiteral("list"));
    m_liste->setRootIsDecorated(false);
    m_liste->setUniformRowHeights(true);
    m_liste->setModel(m_modell);
    m_liste->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_liste->setContextMenuPolicy(Qt::CustomContextMenu);
    const double dpi = logicalDpiX();
    // Column widths as designed, in pixels at 96 DPI; the date column is a
    // little wider so that date and time show in full.
    for (const auto &[spalte, breite] : QList<std::pair<int, int>>{{0, 30}, {1, 120}, {2, 130}, {3, 400}, {4, 30}})
        m_liste->setColumnWidth(spalte, twipsZuPixel(breite * 15, dpi));
    // Type/number and date/time in full once the hits are there (a long
    // number, a larger font), never narrower than designed.
    const auto anpassen = [this, dpi] {
        for (const auto &[spalte, breite] : QList<std::pair<int, int>>{{1, 120}, {2, 130}}) {
            m_liste->resizeColumnToContents(spalte);
            m_liste->setColumnWidth(spalte, qMax(twipsZuPixel(breite * 15, dpi), m_liste->columnWidth(spalte)));
        }
        // Which pages matched, only after a full-text search: then as wide
        // as its pages need (the last column would otherwise get only the
        // room the others leave).
        const bool fundstellen = m_modell->mitFundstellen();
        m_liste->setColumnHidden(TrefferModell::SpalteFundstelle, !fundstellen);
        m_liste->header()->setStretchLastSection(!fundstellen);
        if (fundstellen) {
            // Measured from the texts: the list may not be on screen yet.
            const QFontMetrics fm(m_liste->font());
            const int rand = 2 * m_liste->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_liste) + 12;
            int breite = QFontMetrics(m_liste->header()->font()).horizontalAdvance(m_modell->headerData(TrefferModell::SpalteFundstelle, Qt::Horizontal, Qt::DisplayRole).toString()) + rand;
            for (int r = 0; r < m_modell->rowCount(); ++r)
                breite = qMax(breite, fm.horizontalAdvance(m_modell->zeile(r).fundstelle) + rand);
            m_liste->setColumnWidth(TrefferModell::SpalteFundstelle, breite);
        }
        // Shown before the text, which gives it its room (the whole text is
        // its tooltip), so the window keeps its width.
        m_liste->setColumnWidth(3, twipsZuPixel(400 * 15, dpi) - (fundstellen ? m_liste->columnWidth(TrefferModell::SpalteFundstelle) : 0));
    };
    m_liste->setColumnHidden(TrefferModell::SpalteFundstelle, true);
    m_liste->header()->moveSection(TrefferModell::SpalteFundstelle, 3);
    connect(m_modell, &QAbstractItemModel::modelReset, this, anpassen);
    m_baum = new QTreeWidget(this);
    m_baum->setObjectName(QStringLiteral("tree1"));
    m_baum->setHeaderLabel(QStringLiteral("Verbundene Dokumente"));
    // Long chains of links run to the right: the column grows with its
    // nodes and the tree scrolls sideways.
    m_baum->header()->setStretchLastSection(false);
    m_baum->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_baum->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_baum->viewport()->installEventFilter(this);
    m_liste->viewport()->installEventFilter(this);
    auto *teiler = new QSplitter(this);
    teiler->addWidget(m_liste);
    teiler->addWidget(m_baum);
    teiler->setStretchFactor(0, 3);
    teiler->setStretchFactor(1, 2);
    teiler->setSizes({740, 360});
    auto *l = new QHBoxLayout(this);
    l->setContentsMargins(4, 4, 4, 4);
    l->addWidget(teiler);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("timer1"));
    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    for (QTimer *t : {m_timer1, m_timer2}) {
        t->setInterval(1);
        t->setSingleShot(true);
    }

    popupAnlegen();
    klicksVerbinden();

    if (hauptfenster)
        move(hauptfenster->x() + twipsZuPixel(4000, dpi), twipsZuPixel(200, dpi));
    resize(1120, 520);
}

void Ergebnis::popupAnlegen()
{
    m_popup = new QMenu(this);
    m_popup->setObjectName(QStringLiteral("popup1"));
    auto eintrag = [](QMenu *m, const char *name, const QString &text) {
        QAction *a = m->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    QAction *dokbe = eintrag(m_popup, "popup1_dokbe", QStringLiteral("Bearbeiten"));
    QMenu *speich = m_popup->addMenu(QStringLiteral("Speichern als"));
    speich->menuAction()->setObjectName(QStringLiteral("popup1f_speich"));
    connect(eintrag(speich, "sptif", QStringLiteral("als TIF")), &QAction::triggered, this, [this] { app::ereignis([this] { speichals(QStringLiteral("tif")); }); });
    connect(eintrag(speich, "sppdf", QStringLiteral("als PDF")), &QAction::triggered, this, [this] { app::ereignis([this] { speichals(QStringLiteral("pdf")); }); });
    connect(eintrag(speich, "sporiginal", QStringLiteral("wie gespeichert (Original)")), &QAction::triggered, this,
            [this] { app::ereignis([this] { speichals(QString::fromLatin1(ausgabe::OriginalFormat)); }); });
    eintrag(m_popup, "popup1_mail", QStringLiteral("Senden(Mail)")); // no action, as it never had one
    connect(eintrag(m_popup, "medrucken", QStringLiteral("Drucken")), &QAction::triggered, this, [this] { app::ereignis([this] { drucken(); }); });
    connect(eintrag(m_popup, "meinfodvd", QStringLiteral("Info DVD")), &QAction::triggered, this, [this] { app::ereignis([this] { infoDvd(); }); });
    connect(eintrag(m_popup, "infoid", QStringLiteral("Info ID")), &QAction::triggered, this, [this] { app::ereignis([this] { infoId(global::ErgZeile); }); });
    connect(dokbe, &QAction::triggered, this, [this] {
        global::Modus = modus::Bearbeiten;
        Q_EMIT bearbeiten(global::ErgZeile);
    });
}

void Ergebnis::klicksVerbinden()
{
    // Clicks are handled after the list's own event has returned.
    connect(m_liste, &QTreeView::clicked, this, [this](const QModelIndex &i) {
        if (!i.isValid())
            return;
        global::ErgZeile = i.row();
        global::ErgSpalte = i.column() + 1;
        m_timer2->start();
    });
    // Moving through the list with the keys shows the tree as a click does.
    connect(m_liste->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex &i) {
        if (!i.isValid() || m_listeMaus || zahlWert(Feld(m_modell->zeile(i.row()).daten, QStringLiteral("|"), 1)) == 0)
            return;
        global::ErgZeile = i.row();
        app::ereignis([this] { baumAufbauen(); });
    });
    connect(m_timer2, &QTimer::timeout, this, [this] { app::ereignis([this] { zeileGeklickt(global::ErgZeile, global::ErgSpalte); }); });
    // A double-click or Return on a row opens its newest document, as its
    // status cell does (that cell opens it on its own click already).
    connect(m_liste, &QTreeView::activated, this, [this](const QModelIndex &i) {
        if (!i.isValid() || i.column() + 1 == 5)
            return;
        global::ErgZeile = i.row();
        app::ereignis([this, zeile = i.row()] { statusZelleOeffnen(zeile, 5); });
    });
    connect(m_liste, &QTreeView::customContextMenuRequested, this, [this](const QPoint &p) {
        const QModelIndex i = m_liste->indexAt(p);
        if (!i.isValid())
            return;
        global::ErgZeile = i.row();
        global::ErgSpalte = i.column() + 1;
        m_timer1->start();
    });
    connect(m_timer1, &QTimer::timeout, this, [this] { app::ereignis([this] { zeileRechtsGeklickt(global::ErgZeile, global::ErgSpalte); }); });
    connect(m_baum, &QTreeWidget::itemExpanded, this, &Ergebnis::knotenAufZu);
    connect(m_baum, &QTreeWidget::itemCollapsed, this, &Ergebnis::knotenAufZu);
    connect(m_baum, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { app::ereignis([&] { knotenGeklickt(int(m_knoten.indexOf(item)), Qt::LeftButton); }); });
}

void Ergebnis::leeren()
{
    m_modell->leeren();
    m_baum->clear();
    m_knoten.clear();
}

void Ergebnis::zeileGeklickt(int zeile, int spalte)
{
    m_timer2->stop();
    if (zeile < 0 || zeile >= m_modell->rowCount())
        return;
    global::ErgZeile = zeile;
    global::ErgSpalte = spalte;
    const QString id = Feld(m_modell->zeile(zeile).daten, QStringLiteral("|"), 1);
    if (zahlWert(id) == 0)
        return;
    baumAufbauen();
    if (spalte == 5)
        statusZelleOeffnen(zeile, spalte);
}

void Ergebnis::baumAufbauen()
{
    const int zeile = global::ErgZeile;
    const QString id = Feld(m_modell->zeile(zeile).daten, QStringLiteral("|"), 1);
    const QString firma = m_firma ? m_firma() : QString();
    m_baum->clear();
    m_knoten.clear();
    auto zelle = [&](int c) { return m_modell->index(zeile, c).data().toString(); };
    global::ErgZelle1 = zelle(0);
    auto *wurzel = new QTreeWidgetItem(m_baum, {zelle(0) + zelle(1) + QStringLiteral("  ") + zelle(2) + QStringLiteral("     ") + zelle(3)});
    wurzel->setIcon(0, baumBild(1));
    m_knoten << wurzel;
    global::KnotenDokId = {id};
    QList<Knoten> knoten;
    if (!id.isEmpty()) {
        const auto abfrage = [](const QString &f, const QString &beleg) {
            server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Extind"), QStringLiteral("GetEigenschVerkn"));
            rs.Execute(QStringList{f, beleg});
            protokoll::Zeilen z;
            while (rs.Next())
                z << QStringList{rs.GetData(1), rs.GetData(2), rs.GetData(3), rs.GetData(4), rs.GetData(5), rs.GetData(6)};
            rs.Close();
            return z;
        };
        holeElement(abfrage, firma, zelle(0), zelle(1), id, 0, 2, knoten, global::KnotenDokId);
    }
    for (const Knoten &k : knoten) {
        auto *item = new QTreeWidgetItem(m_knoten.value(k.eltern, wurzel), {k.text});
        item->setIcon(0, baumBild(2));
        m_knoten << item;
    }
    m_baum->expandAll();
    // Expanding by the program is no user's click on the tree.
    global::BaumKlickSperre = false;
}

void Ergebnis::statusZelleOeffnen(int zeile, int spalte)
{
    if (zeile < 0 || spalte != 5 || m_modell->zeile(zeile).statusMarke == 0)
        return;
    const QString daten = m_modell->zeile(zeile).daten;
    const QString id = Feld(daten, QStringLiteral("|"), 1);
    if (zahlWert(id) == 0)
        return;
    if (Feld(daten, QStringLiteral("|"), 2).isEmpty()) {
        meldung(HauptTitel, QStringLiteral("Kein Bilddokument vorhanden"), MeldungsSymbol::Information);
        return;
    }
    Q_EMIT oeffnen(id);
}

void Ergebnis::zeileRechtsGeklickt(int zeile, int spalte)
{
    m_timer1->stop();
    if (zeile < 0 || zeile >= m_modell->rowCount())
        return;
    global::ErgZeile = zeile;
    global::ErgSpalte = spalte;
    const bool pdf = zahlWert(Feld(m_modell->zeile(zeile).daten, QStringLiteral("|"), 2)) == bildstatus::Pdf;
    findChild<QAction *>(QStringLiteral("popup1_dokbe"))->setEnabled(!pdf);
    if (isVisible())
        m_popup->popup(QCursor::pos());
}

void Ergebnis::infoId(int zeile)
{
    if (zeile < 0 || zeile >= m_modell->rowCount() || m_modell->zeile(zeile).statusMarke == 0)
        return;
    const QString id = Feld(m_modell->zeile(zeile).daten, QStringLiteral("|"), 1);
    if (!id.isEmpty())
        meldung(HauptTitel, infoIdText(*global::Archivverbindung, id), MeldungsSymbol::Information);
}

QString infoIdText(server::Verbindung &v, const QString &id)
{
    QString text = QStringLiteral("Dokumentid = ") + id;
    try {
        const QString letzte = v.ClassMethods(QStringLiteral("AR.Dokumente")).call(QStringLiteral("LetzteAenderung"), {id}).wert();
        if (letzte.isEmpty())
            return text;
        // time|workstation|FIRMA||CODE: the user is the rest after the second bar.
        const QDateTime zeit = QDateTime::fromString(letzte.section(u'|', 0, 0), Qt::ISODateWithMs).toLocalTime();
        const QString benutzer = letzte.section(u'|', 2).section(QStringLiteral("||"), -1);
        text += QStringLiteral("\nLetzte Änderung: ") + zeit.toString(QStringLiteral("dd.MM.yyyy hh:mm"));
        if (!benutzer.isEmpty())
            text += QStringLiteral(", Benutzer ") + benutzer;
        text += QStringLiteral(", Arbeitsplatz ") + letzte.section(u'|', 1, 1);
    } catch (const server::ServerFehler &e) {
        qWarning().noquote() << "Info ID:" << e.meldung(); // the id alone is still worth showing
    }
    return text;
}

QString Ergebnis::zeilenFeld(int zeile, int feld) const
{
    if (zeile < 0 || zeile >= m_modell->rowCount())
        return {};
    return Feld(m_modell->zeile(zeile).daten, QStringLiteral("|"), feld);
}

void Ergebnis::speichals(const QString &format)
{
    const QString id = zeilenFeld(global::ErgZeile, 1);
    if (int(zahlWert(zeilenFeld(global::ErgZeile, 2))) == bildstatus::Keins || id.isEmpty())
        return;
    try {
        std::optional<ausgabe::Dokument> d;
        {
            const app::Sanduhr sanduhr;
            d = ausgabe::neuestesDokument(*global::Archivverbindung, id);
        }
        if (!d) {
            meldung(HauptTitel, QStringLiteral("Kein Bilddokument vorhanden"), MeldungsSymbol::Information);
            return;
        }
        const QString ziel = exportZiel(ausgabe::exportName(*d, format));
        if (ziel.isEmpty())
            return;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        const app::Sanduhr sanduhr;
        if (format == QLatin1String("pdf"))
            ausgabe::textHolen(*global::Archivverbindung, *d);
        ausgabe::exportieren(*d, format, ziel);
    } catch (const std::exception &e) {
        qWarning().noquote() << "Export:" << e.what();
        meldung(HauptTitel, QStringLiteral("Dokument konnte nicht gespeichert werden"), MeldungsSymbol::Ausruf);
    }
}

QString Ergebnis::exportZiel(const QString &vorschlag)
{
    QFileDialog d(this, QStringLiteral("Dokument Speichern"));
    d.setObjectName(QStringLiteral("File1"));
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setAcceptMode(QFileDialog::AcceptSave);
    d.setFileMode(QFileDialog::AnyFile);
    d.setDirectory(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    d.selectFile(vorschlag);
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty())
        return {};
    return d.selectedFiles().constFirst();
}

void Ergebnis::drucken()
{
    const QString id = zeilenFeld(global::ErgZeile, 1);
    if (id.isEmpty())
        return;
    imaging::Seitenliste seiten;
    try {
        const app::Sanduhr sanduhr;
        const std::optional<ausgabe::Dokument> d = ausgabe::neuestesDokument(*global::Archivverbindung, id);
        if (!d) {
            meldung(HauptTitel, QStringLiteral("Kein Bilddokument vorhanden"), MeldungsSymbol::Information);
            return;
        }
        if (d->original)
            seiten = einvoice::druckseiten(ausgabe::alsOriginal(*d));
        else
            seiten.laden(d->inhalt, QStringLiteral("dokument.") + d->doktyp);
    } catch (const imaging::BildFehler &e) {
        meldung(HauptTitel, QStringLiteral("Das Dokument kann nicht gedruckt werden.\n") + QString::fromUtf8(e.what()),
                MeldungsSymbol::Ausruf);
        return;
    }
    app::seitenDrucken(seiten, this);
}

void Ergebnis::infoDvd()
{
    const QString id = zeilenFeld(global::ErgZeile, 1);
    if (id.isEmpty())
        return;
    InfoDvd fenster(id, this);
    fenster.exec();
}

void Ergebnis::knotenAufZu()
{
    global::BaumKlickSperre = true;
}

bool Ergebnis::eventFilter(QObject *objekt, QEvent *ereignis)
{
    const QEvent::Type art = ereignis->type();
    if (objekt == m_baum->viewport() && art == QEvent::MouseButtonPress) {
        // A new press is a new click: only the click that belongs to an
        // expansion is swallowed. Qt expands on the press at the branch
        // arrow without any click, and on a double-click after its click.
        global::BaumKlickSperre = false;
    } else if (objekt == m_liste->viewport()) {
        if (art == QEvent::MouseButtonPress || art == QEvent::MouseButtonDblClick)
            m_listeMaus = true;
        else if (art == QEvent::MouseButtonRelease)
            m_listeMaus = false;
    }
    return QWidget::eventFilter(objekt, ereignis);
}

void Ergebnis::knotenGeklickt(int knoten, Qt::MouseButton knopf)
{
    if (global::BaumKlickSperre) {
        global::BaumKlickSperre = false;
        return;
    }
    if (knoten < 0 || knopf != Qt::LeftButton || knoten >= global::KnotenDokId.size() || global::KnotenDokId.at(knoten).isEmpty())
        return;
    // A copy: opening lets events run, which may rebuild the tree.
    Q_EMIT oeffnen(QString(global::KnotenDokId.at(knoten)));
}

} // namespace archiv::search

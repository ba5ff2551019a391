// The search part of the main window: types, index-property rows, the tab
// lists and the search buttons.
#include "search/Archiv.h"

#include "app/DatumFeld.h"
#include "app/Eigenschaftszeilen.h"
#include "app/Ereignis.h"
#include "app/Sanduhr.h"
#include "common/Feld.h"
#include "common/Format.h"
#include "common/Kennungen.h"
#include "common/Programmzustand.h"
#include "common/Twips.h"
#include "lookup/Suchdialog.h"
#include "search/Ergebnis.h"
#include "search/Suchkriterien.h"
#include "search/TrefferModell.h"
#include "server/Verbindung.h"

#include <QApplication>
#include <QComboBox>
#include <QDebug>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollArea>
#include <QTabBar>
#include <QToolButton>
#include <QTreeWidget>

namespace archiv::search {

using namespace archiv::common;

namespace {

QTreeWidget *liste(QWidget *eltern, const char *name, const QStringList &spalten)
{
    auto *l = new QTreeWidget(eltern);
    l->setObjectName(QLatin1String(name));
    l->setHeaderLabels(spalten);
    l->setRootIsDecorated(false);
    l->setUniformRowHeights(true);
    return l;
}

QStringList markierteDaten(const QTreeWidget *l)
{
    QStringList d;
    for (int i = 0; i < l->topLevelItemCount(); ++i)
        if (l->topLevelItem(i)->checkState(0) == Qt::Checked)
            d << l->topLevelItem(i)->data(0, Qt::UserRole).toString();
    return d;
}

// Which pages of the first hits the full-text words are on, for the result
// list's "Fundstelle", asked in parts of 500; a server that cannot say leaves
// the column away.
void fundstellenHolen(const QString &volltext, QList<Trefferzeile> &treffer)
{
    constexpr int Teil = 500, Hoechstens = 2000;
    try {
        for (qsizetype von = 0; von < qMin<qsizetype>(treffer.size(), Hoechstens); von += Teil) {
            QHash<QString, qsizetype> zeileVon;
            QStringList ids;
            for (qsizetype i = von; i < qMin<qsizetype>(treffer.size(), von + Teil); ++i) {
                const QString id = treffer.at(i).daten.section(u'|', 0, 0);
                zeileVon.insert(id, i);
                ids << id;
            }
            server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("VolltextFundstellen"));
            rs.Execute(QStringList{volltext, ids.join(u',')});
            while (rs.Next())
                if (const auto it = zeileVon.constFind(rs.GetData(1)); it != zeileVon.cend())
                    treffer[*it].fundstelle = rs.GetData(2);
            rs.Close();
        }
    } catch (const server::ServerFehler &e) {
        qWarning().noquote() << "Volltext:" << e.meldung();
    }
}

} // namespace

void Archiv::sucheAnlegen(QGridLayout *g)
{
    QWidget *mitte = centralWidget() ? centralWidget() : m_firma->parentWidget();
    m_belart = liste(mitte, "Belart", {QStringLiteral("Belegart")});
    m_belart->setMinimumWidth(220);
    connect(m_belart, &QTreeWidget::itemChanged, this, [this] {
        if (!m_typenSperre)
            app::ereignis([this] { typAuswahlGeaendert(); });
    });
    g->addWidget(m_belart, 1, 0, 8, 2);

    auto *datum = new QLabel(QStringLiteral("Datum:"), mitte);
    datum->setObjectName(QStringLiteral("Label3"));
    m_datvon = new app::DatumFeld(mitte);
    m_datvon->setObjectName(QStringLiteral("Datvon"));
    auto *bis = new QLabel(QStringLiteral("bis"), mitte);
    bis->setObjectName(QStringLiteral("Label4"));
    m_datbis = new app::DatumFeld(mitte);
    m_datbis->setObjectName(QStringLiteral("Datbis"));
    auto *daten = new QHBoxLayout;
    daten->addWidget(datum);
    daten->addWidget(m_datvon);
    daten->addWidget(bis);
    daten->addWidget(m_datbis);
    g->addLayout(daten, 1, 2);
    auto *nr = new QLabel(QStringLiteral("Belegnr.:"), mitte);
    nr->setObjectName(QStringLiteral("Label2"));
    m_belnr = new QLineEdit(mitte);
    m_belnr->setObjectName(QStringLiteral("Belnr"));
    m_belnr->setToolTip(QStringLiteral("Beleg1,Beleg2,Beleg3,.."));
    auto *nummern = new QHBoxLayout;
    nummern->addWidget(nr);
    nummern->addWidget(m_belnr);
    g->addLayout(nummern, 2, 2);
    // Words on the pages: every word must be in one document of the Beleg.
    auto *volltext = new QLabel(QStringLiteral("Volltext:"), mitte);
    volltext->setObjectName(QStringLiteral("LabVolltext"));
    m_volltext = new QLineEdit(mitte);
    m_volltext->setObjectName(QStringLiteral("Volltext"));
    m_volltext->setMaxLength(2000);
    m_volltext->setPlaceholderText(QStringLiteral("Wörter auf den Seiten"));
    m_volltext->setToolTip(QStringLiteral("Alle Wörter müssen im Dokument vorkommen.\nRohr* findet Wörter, die so beginnen;\n"
                                          "\"Müller & Söhne\" in Anführungszeichen findet die Wörter in dieser Folge.\n"
                                          "Groß- und Kleinschreibung, Umlaute und ß spielen keine Rolle."));
    auto *woerter = new QHBoxLayout;
    woerter->addWidget(volltext);
    woerter->addWidget(m_volltext);
    g->addLayout(woerter, 3, 2);
    // Both labels as wide as the wider, so the fields start at one edge.
    const int breit = qMax(nr->sizeHint().width(), volltext->sizeHint().width());
    nr->setMinimumWidth(breit);
    volltext->setMinimumWidth(breit);

    zeilenAnlegen(mitte, g);

    m_tab = new QTabBar(mitte);
    m_tab->setObjectName(QStringLiteral("TabStrip1"));
    m_tab->addTab(QStringLiteral("Mitarbeiter"));
    m_tab->addTab(QStringLiteral("Abteilung"));
    m_tab->addTab(QStringLiteral("Profitcenter"));
    m_pers = liste(mitte, "LIPers", {QStringLiteral("Mitarbeiter"), QStringLiteral("Beleganzahl")});
    m_abt = liste(mitte, "LIAbt", {QStringLiteral("Abteilung")});
    m_pc = liste(mitte, "LIPc", {QStringLiteral("Profitcenter")});
    g->addWidget(m_tab, 1, 3);
    for (QTreeWidget *l : {m_pers, m_abt, m_pc}) {
        g->addWidget(l, 2, 3, 7, 1);
        l->setMinimumWidth(240);
        l->hide();
    }
    m_tab->hide();
    connect(m_tab, &QTabBar::currentChanged, this, [this](int i) {
        const QString titel = m_tab->tabText(i);
        m_pers->setVisible(titel == QLatin1String("Mitarbeiter"));
        m_abt->setVisible(titel == QLatin1String("Abteilung"));
        m_pc->setVisible(titel == QLatin1String("Profitcenter"));
    });

    knoepfeAnlegen(mitte);
}

void Archiv::zeilenAnlegen(QWidget *mitte, QGridLayout *g)
{
    // The rows live on a surface of their own, placed in twips; row 1 takes
    // the place of the invisible template.
    auto *scroll = new QScrollArea(mitte);
    scroll->setWidgetResizable(false);
    scroll->setFrameShape(QFrame::NoFrame);
    m_zeilenFlaeche = new QWidget;
    m_zeilenFlaeche->setObjectName(QStringLiteral("Eigenschaften"));
    m_zeilenFlaeche->resize(460, 40);
    scroll->setWidget(m_zeilenFlaeche);
    g->addWidget(scroll, 4, 2, 5, 1);
    app::Eigenschaftszeilen::Anordnung anordnung;
    anordnung.bez = QRectF(0, 0, 2250, 360);
    anordnung.feld = QRectF(2325, 0, 3750, 360);
    anordnung.such = QRectF(6150, 0, 360, 360);
    anordnung.ersteZeile = 0;
    m_zeilen = new app::Eigenschaftszeilen(m_zeilenFlaeche, anordnung, this);
    // Lookup: the row's field takes SuchWert when a row was picked.
    connect(m_zeilen, &app::Eigenschaftszeilen::sucheGeklickt, this, [this](int i) {
        app::ereignis([this, i] {
            if (lookup::Suchdialog::zeigen(m_zeilen->code(i), firmaSchluessel(), this))
                m_zeilen->setzen(i, global::SuchWert);
        });
    });
}

void Archiv::knoepfeAnlegen(QWidget *mitte)
{
    const auto knopf = [mitte](const char *name, const QString &text) {
        auto *k = new QPushButton(text, mitte);
        k->setObjectName(QLatin1String(name));
        return k;
    };
    m_suchen = knopf("Busuch", QStringLiteral("Suchen"));
    m_alle = knopf("BUAlle", QStringLiteral("Alle"));
    m_plus = knopf("BUPlus", QStringLiteral("++"));
    m_loe = knopf("BULOE", QStringLiteral("Rücksetzen"));
    m_wws = knopf("BUWWS", QStringLiteral("Alle WWS"));
    connect(m_suchen, &QPushButton::clicked, this, [this] { app::ereignis([this] { busuch(); }); });
    connect(m_alle, &QPushButton::clicked, this, [this] { app::ereignis([this] { bualle(); }); });
    connect(m_plus, &QPushButton::clicked, this, [this] { app::ereignis([this] { buplus(); }); });
    connect(m_loe, &QPushButton::clicked, this, [this] { app::ereignis([this] { buloe(); }); });
    connect(m_wws, &QPushButton::clicked, this, [this] { app::ereignis([this] { buwws(); }); });
}

int Archiv::eigenschaftsZeilen() const
{
    return m_zeilen->anzahl();
}

void Archiv::firmaGewaehlt()
{
    const QString f = firmaSchluessel();
    if (f.isEmpty() || !global::Archivverbindung || !global::Archivverbindung->IsConnected())
        return;
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Belart"), QStringLiteral("Belart"));
    rs.Execute(QStringList{f});
    {
        const QSignalBlocker sperre(m_belart);
        m_belart->clear();
        while (rs.Next()) {
            auto *item = new QTreeWidgetItem(m_belart, {rs.GetData(3)});
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
            item->setData(0, Qt::UserRole, rs.GetData(1) + u',' + rs.GetData(2) + u',' + rs.GetData(5));
        }
    }
    rs.Close();
    typAuswahlGeaendert();
}

void Archiv::typAuswahlGeaendert()
{
    QStringList schluessel;
    for (int i = 0; i < m_belart->topLevelItemCount(); ++i)
        if (m_belart->topLevelItem(i)->checkState(0) == Qt::Checked)
            schluessel << Feld(m_belart->topLevelItem(i)->data(0, Qt::UserRole).toString(), QStringLiteral(","), 2);
    const QString t = schluessel.join(u',');
    m_zeilen->verbergen();
    m_tab->hide();
    m_pc->hide();
    m_abt->hide();
    m_pers->hide();
    if (schluessel.isEmpty())
        return;

    const QString f = firmaSchluessel();
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.BelartIndex"), QStringLiteral("ListeIndexart"));
    rs.Execute(QStringList{t, QString(), QStringLiteral("J")});
    int i = 0;
    while (rs.Next()) {
        const int code = int(zahlWert(rs.GetData(1)));
        if (istSchluesselliste(code)) {
            m_tab->show();
            m_pc->hide();
            m_abt->hide();
            m_pers->show();
            m_tab->setCurrentIndex(0);
            listeFuellen(code, f, t);
            continue;
        }
        if (i >= global::MaxEigenschaften)
            continue; // no place beyond row 100
        ++i;
        app::Eigenschaftszeilen::Eigenschaft e;
        e.code = code;
        e.bezeichnung = rs.GetData(2);
        e.art = rs.GetData(3) == QLatin1String("J") ? zeilenart::Auswahl : zeilenart::Text;
        e.suche = rs.GetData(4) == QLatin1String("J");
        m_zeilen->zeigen(i, e);
        global::SuchTyp[size_t(i)] = e.suche ? zeilenart::Suche : e.art;
        global::EigenId[size_t(i)] = code;
        if (e.art == zeilenart::Auswahl)
            auswahlFuellen(i, code, f);
    }
    rs.Close();
    m_zeilenFlaeche->resize(m_zeilenFlaeche->width(), m_zeilen->hoehe(i));
}

void Archiv::auswahlFuellen(int i, int code, const QString &firma)
{
    QList<app::Eigenschaftszeilen::Eintrag> eintraege;
    if (istFreierWert(code)) {
        server::ErgebnisMenge inhalte = global::Archivverbindung->ResultSet(QStringLiteral("AR.Extind"), QStringLiteral("Inhalte"));
        inhalte.Execute(QStringList{firma, QString::number(code)});
        while (inhalte.Next())
            eintraege.append({inhalte.GetData(1), QString()});
        inhalte.Close();
        m_zeilen->auswahlFuellen(i, eintraege, app::Eigenschaftszeilen::Liste::FreieWerte);
    } else if (code == eigenschaft::Kasse) {
        server::ErgebnisMenge kassen = global::Archivverbindung->ResultSet(QStringLiteral("AR.Kassa"), QStringLiteral("Liste"));
        kassen.Execute(QStringList{firma});
        while (kassen.Next())
            eintraege.append({formatAllgemein(kassen.GetData(1)), kassen.GetData(2)});
        kassen.Close();
        m_zeilen->auswahlFuellen(i, eintraege, app::Eigenschaftszeilen::Liste::Schluessel);
    }
}

void Archiv::listeFuellen(int code, const QString &firma, const QString &typen)
{
    const char *klasse = code == eigenschaft::Mitarbeiter ? "AR.Mitarb" : code == eigenschaft::Abteilung ? "AR.Abtnr1" : "AR.Abtnr2";
    QTreeWidget *ziel = code == eigenschaft::Mitarbeiter ? m_pers : code == eigenschaft::Abteilung ? m_abt : m_pc;
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QLatin1String(klasse), QStringLiteral("Liste"));
    rs.Execute(QStringList{firma, typen});
    ziel->clear();
    while (rs.Next()) {
        // Employees: the name under "Mitarbeiter", the count of Belege
        // (six digits, so that it sorts as text) under "Beleganzahl"; the
        // key is the row's data.
        const QStringList spalten = code == eigenschaft::Mitarbeiter
            ? QStringList{rs.GetData(2), formatZahl(rs.GetData(3), QStringLiteral("00000#"))}
            : QStringList{rs.GetData(1) + QStringLiteral("  ") + rs.GetData(2)};
        auto *item = new QTreeWidgetItem(ziel, spalten);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        item->setData(0, Qt::UserRole, rs.GetData(1));
    }
    rs.Close();
    if (code == eigenschaft::Mitarbeiter) {
        ziel->sortItems(1, Qt::DescendingOrder); // most Belege first
        ziel->resizeColumnToContents(0); // names in full; the list scrolls sideways
    }
}

Ergebnis *Archiv::ergebnis()
{
    if (!m_ergebnis) {
        m_ergebnis = new Ergebnis(this, [fenster = QPointer<Archiv>(this)] { return fenster ? fenster->firmaSchluessel() : QString(); });
        editorVerbinden(m_ergebnis);
    }
    return m_ergebnis;
}

int Archiv::Suchen(int grenze)
{
    QStringList typen;
    for (int i = 0; i < m_belart->topLevelItemCount(); ++i)
        if (m_belart->topLevelItem(i)->checkState(0) == Qt::Checked)
            typen << Feld(m_belart->topLevelItem(i)->data(0, Qt::UserRole).toString(), QStringLiteral(","), 1);
    QList<EigenschaftsZeile> zeilen;
    // Only the rows the current type selection shows: a value left in a
    // hidden row would narrow the search with nothing on screen to say so.
    for (int i = 1; i <= m_zeilen->anzahl(); ++i)
        if (m_zeilen->sichtbar(i)) {
            const bool auswahl = m_zeilen->art(i) == zeilenart::Auswahl;
            zeilen.append({global::SuchTyp[size_t(i)], m_zeilen->code(i), auswahl ? QString() : m_zeilen->wert(i),
                           auswahl ? m_zeilen->wert(i) : QString()});
        }
    const ListenAuswahl listen{!m_tab->isHidden(), markierteDaten(m_pc), markierteDaten(m_abt), markierteDaten(m_pers)};
    const QString k = kriterienString(zeilen, listen);

    Ergebnis *e = ergebnis();
    e->leeren();
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
    QStringList args{firmaSchluessel(), typen.join(u','), m_belnr->text(), m_datvon->wert(), m_datbis->wert(), k, QString::number(grenze)};
    // The full-text words go along only when there are any: a server of
    // before takes the search as it always did.
    global::Volltext = m_volltext->text().trimmed();
    if (!global::Volltext.isEmpty())
        args << global::Volltext;
    rs.Execute(args);
    QList<Trefferzeile> treffer;
    while (rs.Next())
        treffer << trefferZeile({rs.GetData(1), rs.GetData(2), rs.GetData(3), rs.GetData(4), rs.GetData(5), rs.GetData(6), rs.GetData(7)});
    rs.Close();
    if (!global::Volltext.isEmpty())
        fundstellenHolen(global::Volltext, treffer);
    const int n = int(treffer.size());
    e->modell()->setzen(std::move(treffer));
    return n;
}

void Archiv::suchenMit(int grenze, bool plusFrei)
{
    if (!m_datvon->pruefen() || !m_datbis->pruefen())
        return;
    if (plusFrei)
        m_plus->setEnabled(true);
    {
        app::Sanduhr sanduhr;
        global::MaxTreffer = grenze;
        global::Trefferzahl = Suchen(global::MaxTreffer);
        m_plus->setText(QStringLiteral("++  ") + QString::number(global::Trefferzahl));
        if (global::Trefferzahl < global::MaxTreffer)
            m_plus->setEnabled(false);
    }
    ergebnis()->show();
    ergebnis()->raise();
}

void Archiv::busuch()
{
    suchenMit(500, true);
}

void Archiv::buplus()
{
    suchenMit(global::MaxTreffer + 500, false);
}

void Archiv::bualle()
{
    suchenMit(50000, true);
}

void Archiv::buloe()
{
    {
        const QScopedValueRollback sperre(m_typenSperre, true);
        for (int i = 0; i < m_belart->topLevelItemCount(); ++i)
            m_belart->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    }
    typAuswahlGeaendert();
    m_suchen->setFocus();
}

void Archiv::buwws()
{
    {
        const QScopedValueRollback sperre(m_typenSperre, true);
        for (int i = 0; i < m_belart->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = m_belart->topLevelItem(i);
            if (Feld(item->data(0, Qt::UserRole).toString(), QStringLiteral(","), 3) == QLatin1String("J"))
                item->setCheckState(0, Qt::Checked);
        }
    }
    typAuswahlGeaendert();
    m_suchen->setFocus();
}

} // namespace archiv::search

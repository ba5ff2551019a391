#include "lookup/Suchdialog.h"

#include "app/Ereignis.h"
#include "app/Sanduhr.h"
#include "common/Format.h"
#include "common/Kennungen.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "server/Verbindung.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTreeWidget>

namespace archiv::lookup {

using namespace archiv::common;

namespace {

QStringList zeileLesen(server::ErgebnisMenge &rs, int spalten)
{
    QStringList z;
    for (int i = 1; i <= spalten; ++i)
        z << rs.GetData(i);
    return z;
}

} // namespace

Suchdialog::Suchdialog(Art art, QString firma, QWidget *parent) : QDialog(parent), m_art(art), m_firma(std::move(firma))
{
    setModal(true);
    auto *g = new QGridLayout(this);
    QString filterText;
    QStringList spalten;
    switch (art) {
    case Art::Kunde:
        setObjectName(QStringLiteral("SuKund"));
        setWindowTitle(QStringLiteral("Suche Kunden"));
        filterText = QStringLiteral("Kundengruppe:");
        spalten = {"Knr", "Kgrp", "Name", "Plz", "Ort"};
        break;
    case Art::Lieferant:
        setObjectName(QStringLiteral("SuLief"));
        setWindowTitle(QStringLiteral("Suche Lieferant"));
        filterText = QStringLiteral("Lief.-Typ:");
        spalten = {"Lnr", "Typ", "Name", "Plz", "Ort"};
        break;
    case Art::Artikel:
        setObjectName(QStringLiteral("SuArtikel"));
        setWindowTitle(QStringLiteral("Suche Artikel"));
        filterText = QStringLiteral("Abteilung:");
        spalten = {"Art.-Nr.", "Abteilung", "Bezeichnung"};
        break;
    }
    g->addWidget(new QLabel(filterText, this), 0, 0);
    if (art == Art::Lieferant) {
        m_typen = new QTreeWidget(this);
        m_typen->setObjectName(QStringLiteral("Lieftyp"));
        m_typen->setHeaderHidden(true);
        m_typen->setColumnCount(2);
        m_typen->setRootIsDecorated(false);
        m_typen->setMaximumHeight(110);
        g->addWidget(m_typen, 0, 1);
    } else {
        m_gruppe = new QComboBox(this);
        m_gruppe->setObjectName(art == Art::Kunde ? QStringLiteral("Kgrp") : QStringLiteral("Abtnr"));
        g->addWidget(m_gruppe, 0, 1);
    }
    g->addWidget(new QLabel(QStringLiteral("Kurzbez.:"), this), 1, 0);
    m_kurz = new QLineEdit(this);
    m_kurz->setObjectName(art == Art::Kunde           ? QStringLiteral("PKkbez")
                              : art == Art::Lieferant ? QStringLiteral("PLkbez")
                                                      : QStringLiteral("KBez"));
    g->addWidget(m_kurz, 1, 1);
    auto *suchen = new QPushButton(QStringLiteral("Suchen"), this);
    suchen->setObjectName(QStringLiteral("Busuch"));
    suchen->setDefault(true);
    auto *schliessen = new QPushButton(QStringLiteral("Schliessen"), this);
    schliessen->setObjectName(QStringLiteral("BUClose"));
    auto *knoepfe = new QVBoxLayout;
    knoepfe->addWidget(suchen);
    knoepfe->addWidget(schliessen);
    knoepfe->addStretch();
    g->addLayout(knoepfe, 0, 2, 2, 1);
    m_liste = new QTreeWidget(this);
    m_liste->setObjectName(QStringLiteral("liste"));
    m_liste->setHeaderLabels(spalten);
    m_liste->setRootIsDecorated(false);
    m_liste->setUniformRowHeights(true);
    g->addWidget(m_liste, 2, 0, 1, 3);
    resize(640, 420);

    connect(suchen, &QPushButton::clicked, this, [this] { app::ereignis([this] { this->suchen(); }); });
    connect(schliessen, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_liste, &QTreeWidget::itemActivated, this, [this] { waehlen(); });
    app::ereignis([this] { filterFuellen(); });
}

void Suchdialog::filterFuellen()
{
    const QString klasse = m_art == Art::Kunde ? QStringLiteral("AR.Kundgrp")
        : m_art == Art::Lieferant              ? QStringLiteral("AR.Lieftyp")
                                               : QStringLiteral("AR.Abtnr1");
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(klasse, QStringLiteral("Liste"));
    rs.Execute(QStringList{m_firma});
    if (m_gruppe) {
        m_gruppe->clear();
        m_gruppe->addItem(QString(), QString());
        while (rs.Next())
            m_gruppe->addItem(rs.GetData(1) + QStringLiteral("  ") + rs.GetData(2), rs.GetData(1));
    } else {
        m_typen->clear();
        while (rs.Next()) {
            auto *item = new QTreeWidgetItem(m_typen, {rs.GetData(1), rs.GetData(2)});
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
            item->setData(0, Qt::UserRole, rs.GetData(1));
        }
    }
    rs.Close();
}

void Suchdialog::suchen()
{
    const QString gruppe = m_gruppe ? m_gruppe->currentData().toString() : QString();
    if (m_art != Art::Lieferant && m_kurz->text().isEmpty() && gruppe.isEmpty()) {
        meldung(m_art == Art::Kunde ? QStringLiteral("Suche Kunde") : QStringLiteral("Suche Artikel"), QStringLiteral("Suche wonach ?"),
                MeldungsSymbol::Information);
        return;
    }
    const app::Sanduhr sanduhr;
    QStringList args{m_firma};
    QString klasse;
    int spalten = 5;
    switch (m_art) {
    case Art::Kunde:
        klasse = QStringLiteral("AR.Kund");
        args << m_kurz->text() << gruppe;
        break;
    case Art::Lieferant: {
        klasse = QStringLiteral("AR.Lief");
        QStringList markiert, alle;
        for (int i = 0; i < m_typen->topLevelItemCount(); ++i) {
            const QString s = m_typen->topLevelItem(i)->data(0, Qt::UserRole).toString();
            alle << s;
            if (m_typen->topLevelItem(i)->checkState(0) == Qt::Checked)
                markiert << s;
        }
        args << m_kurz->text() << (markiert.isEmpty() ? alle : markiert).join(u' ');
        break;
    }
    case Art::Artikel:
        klasse = QStringLiteral("AR.Artikel");
        args << gruppe << m_kurz->text(); // the department before the short name
        spalten = 3;
        break;
    }
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(klasse, QStringLiteral("Liste"));
    rs.Execute(args);
    m_liste->clear();
    QList<QTreeWidgetItem *> zeilen;
    while (rs.Next()) {
        QStringList z = zeileLesen(rs, spalten);
        const QString schluessel = z.first();
        z[0] = formatZahl(schluessel, QStringLiteral("00000#"));
        auto *item = new QTreeWidgetItem(z);
        item->setData(0, Qt::UserRole, schluessel);
        zeilen << item;
    }
    rs.Close();
    m_liste->addTopLevelItems(zeilen);
    // Names and places in full; the last column reaches to the edge.
    for (int c = 0; c < m_liste->columnCount() - 1; ++c)
        m_liste->resizeColumnToContents(c);
}

void Suchdialog::waehlen()
{
    QTreeWidgetItem *gewaehlt = m_liste->currentItem();
    if (!gewaehlt || !gewaehlt->isSelected())
        return;
    global::SuchWert = gewaehlt->data(0, Qt::UserRole).toString();
    accept();
}

bool Suchdialog::zeigen(int eigenId, const QString &firma, QWidget *besitzer)
{
    Art art;
    if (eigenId == common::eigenschaft::Kunde)
        art = Art::Kunde;
    else if (eigenId == common::eigenschaft::Lieferant)
        art = Art::Lieferant;
    else if (eigenId == common::eigenschaft::Artikel)
        art = Art::Artikel;
    else
        return false;
    Suchdialog d(art, firma, besitzer);
    return d.exec() == QDialog::Accepted;
}

} // namespace archiv::lookup

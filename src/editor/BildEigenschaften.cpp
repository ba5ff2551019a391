#include "editor/Bild.h"

#include "app/Ereignis.h"
#include "common/Kennungen.h"
#include "common/Format.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "common/Texte.h"
#include "common/Twips.h"
#include "lookup/Suchdialog.h"
#include "server/Verbindung.h"

#include <QComboBox>
#include <QScopedValueRollback>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QToolButton>
#include <QTreeView>

namespace archiv::editor {

using namespace archiv::common;

namespace {

// Row 0 (the template) sits at this top; row i lies 400 twips × i below.
constexpr double ZeileOben0 = 1150;
constexpr double Zeilenabstand = 400;

void hintergrund(QWidget *w, bool gelb)
{
    // A choice list colours its field only, not the list that drops down.
    if (auto *c = qobject_cast<QComboBox *>(w); c && c->lineEdit())
        w = c->lineEdit();
    QPalette p = w->palette();
    p.setColor(QPalette::Base, gelb ? QColor(0xFF, 0xFF, 0x00) : QColor(0xFF, 0xFF, 0xFF));
    w->setPalette(p);
}

} // namespace

void Bild::zeileAnlegen(int i)
{
    while (m_zeilen.size() <= i) {
        const int n = int(m_zeilen.size());
        Zeile z;
        z.bez = new QLabel(m_frBeleg);
        z.bez->setObjectName(QStringLiteral("EigenBez"));
        z.txt = new QLineEdit(m_frBeleg);
        z.txt->setObjectName(QStringLiteral("EigenTxt"));
        z.combo = new QComboBox(m_frBeleg);
        z.combo->setObjectName(QStringLiteral("EigenCombo"));
        z.combo->setEditable(true);
        z.combo->setInsertPolicy(QComboBox::NoInsert);
        auto *modell = new QStandardItemModel(0, 1, z.combo);
        z.combo->setModel(modell);
        auto *liste = new QTreeView(z.combo);
        liste->setRootIsDecorated(false);
        liste->setHeaderHidden(true);
        liste->setUniformRowHeights(true);
        z.combo->setView(liste);
        z.such = new QToolButton(m_frBeleg);
        z.such->setObjectName(QStringLiteral("EigenSuch"));
        z.such->setText(QStringLiteral("..."));
        z.bez->setGeometry(twips(200, ZeileOben0 + 40, 1700, 300));
        z.txt->setGeometry(twips(1950, ZeileOben0, 3500, 330));
        z.combo->setGeometry(twips(1950, ZeileOben0, 3500, 330));
        z.such->setGeometry(twips(5500, ZeileOben0, 400, 330));
        for (QWidget *w : std::initializer_list<QWidget *>{z.bez, z.txt, z.combo, z.such}) {
            w->setProperty("index", n);
            w->hide();
        }
        connect(z.such, &QToolButton::clicked, this, [this, n] { app::ereignis([&] { eigenSuchen(n); }); });
        m_zeilen.append(z);
    }
}

void Bild::Belart_Click()
{
    if (global::DoksSperre)
        return;
    const QString schluessel = m_belart->currentData().toString();
    if (schluessel != global::AktBelart && !global::DokId.isEmpty()) {
        meldung(HauptTitel, QStringLiteral("Kann nicht geändert werden"), MeldungsSymbol::Information);
        const QScopedValueRollback sperre(global::DoksSperre, true);
        m_belart->setCurrentIndex(m_belart->findData(global::AktBelart));
        return;
    }
    global::AktBelart = schluessel;
    for (const Zeile &z : m_zeilen)
        for (QWidget *w : std::initializer_list<QWidget *>{z.bez, z.txt, z.combo, z.such})
            w->hide();

    const bool bearbeiten = global::Modus == modus::Bearbeiten;
    const bool gespeichert = zahlWert(global::DokId) > 0;
    const Zeile vorlage = m_zeilen.first(); // a copy: rows are appended below
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.BelartIndex"), QStringLiteral("Liste"));
    // The company goes along: two companies may define one type code differently.
    rs.Execute(QStringList{global::AktBelart, m_firma, QString()});
    int i = 0;
    while (rs.Next() && i < global::MaxEigenschaften) {
        ++i;
        zeileAnlegen(i);
        Zeile &z = m_zeilen[i];
        const auto ja = [&rs](int spalte) { return rs.GetData(spalte) == QLatin1String("J"); };
        const int id = int(zahlWert(rs.GetData(2)));
        const bool aenderbar = bearbeiten && ((ja(9) && global::DokId.isEmpty()) || (ja(7) && gespeichert));
        const int oben = twips(0, ZeileOben0 + Zeilenabstand * i, 0, 0).y();
        global::EigenTyp[size_t(i)].clear();
        global::EigenId[size_t(i)] = 0;
        if (aenderbar && ja(5)) {
            if (ja(8)) {
                z.combo->setEditText(QString());
                z.combo->move(vorlage.txt->x(), oben);
                z.combo->show();
                z.combo->setEnabled(aenderbar);
                hintergrund(z.combo, aenderbar);
                global::EigenTyp[size_t(i)] = zeilenart::Auswahl;
                if (id == eigenschaft::Kasse)
                    fuelleAuswahl(z.combo, QStringLiteral("AR.Kassa"), {m_firma}, true);
                else if (id == eigenschaft::Mitarbeiter)
                    fuelleAuswahl(z.combo, QStringLiteral("AR.Mitarb"), {m_firma, QStringLiteral("N")}, true);
                else if (istFreierWert(id))
                    fuelleAuswahl(z.combo, QStringLiteral("AR.Extind"), {m_firma, QString::number(id)}, false);
            }
        } else if (ja(8)) {
            z.txt->clear();
            z.txt->move(vorlage.txt->x(), oben);
            z.txt->show();
            z.txt->setEnabled(aenderbar);
            hintergrund(z.txt, aenderbar);
            global::EigenTyp[size_t(i)] = zeilenart::Text;
        }
        if (!ja(8))
            continue; // takes a row number, shows nothing
        z.bez->setText(rs.GetData(3) + QStringLiteral(" :"));
        z.bez->move(vorlage.bez->x(), oben + (vorlage.bez->y() - vorlage.txt->y()));
        z.bez->show();
        if (ja(6)) {
            z.such->move(vorlage.such->x(), oben);
            z.such->setVisible(aenderbar);
        }
        global::EigenId[size_t(i)] = id;
    }
    global::EigenAnz = i;
    rs.Close();
    Zustand();
}

void Bild::fuelleAuswahl(QComboBox *combo, const QString &klasse, const QStringList &args, bool zweiSpalten)
{
    auto *modell = static_cast<QStandardItemModel *>(combo->model());
    const QString text = combo->currentText();
    modell->clear();
    modell->setColumnCount(zweiSpalten ? 2 : 1);
    // Free values start with an empty entry, so a value can be taken away.
    if (!zweiSpalten)
        modell->appendRow(new QStandardItem(QString()));
    server::ErgebnisMenge rs =
        global::Archivverbindung->ResultSet(klasse, zweiSpalten ? QStringLiteral("Liste") : QStringLiteral("Inhalte"));
    rs.Execute(args);
    while (rs.Next()) {
        QList<QStandardItem *> zeile{new QStandardItem(rs.GetData(1))};
        if (zweiSpalten)
            zeile << new QStandardItem(rs.GetData(2));
        modell->appendRow(zeile);
    }
    rs.Close();
    auto *liste = static_cast<QTreeView *>(combo->view());
    if (zweiSpalten) {
        liste->setColumnWidth(0, 60);
        liste->setColumnWidth(1, 200);
        liste->setMinimumWidth(280);
    }
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
}

void Bild::eigenSuchen(int i)
{
    if (i < 1 || i >= m_zeilen.size())
        return;
    // The field takes SuchWert only when a row was picked; closing the
    // lookup leaves what was typed.
    if (lookup::Suchdialog::zeigen(global::EigenId[size_t(i)], m_firma, this))
        m_zeilen[i].txt->setText(global::SuchWert);
}

QString Bild::eigenWert(int i) const
{
    if (i < 1 || i >= m_zeilen.size())
        return {};
    const QString &typ = global::EigenTyp[size_t(i)];
    if (typ == zeilenart::Auswahl)
        return m_zeilen[i].combo->currentText();
    if (typ == zeilenart::Text)
        return m_zeilen[i].txt->text();
    return {};
}

} // namespace archiv::editor

#include "app/Eigenschaftszeilen.h"

#include "common/Kennungen.h"
#include "common/Twips.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QToolButton>
#include <QTreeView>

namespace archiv::app {

using common::twipsZuPixel;

namespace {

// Property rows keep a pitch of 400 twips.
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

Eigenschaftszeilen::Eigenschaftszeilen(QWidget *flaeche, const Anordnung &anordnung, QObject *parent)
    : QObject(parent), m_flaeche(flaeche), m_anordnung(anordnung)
{
    anlegen(0);
}

QRect Eigenschaftszeilen::pixel(const QRectF &t, double verschiebung) const
{
    const double dpi = m_flaeche->logicalDpiY();
    return {twipsZuPixel(t.x(), dpi), twipsZuPixel(t.y() + verschiebung, dpi), twipsZuPixel(t.width(), dpi), twipsZuPixel(t.height(), dpi)};
}

double Eigenschaftszeilen::oben(int i) const
{
    return i == 0 ? 0 : m_anordnung.ersteZeile + Zeilenabstand * (i - 1);
}

void Eigenschaftszeilen::anlegen(int i)
{
    while (m_zeilen.size() <= i) {
        const int n = int(m_zeilen.size());
        Zeile z;
        z.bez = new QLabel(m_flaeche);
        z.bez->setObjectName(QStringLiteral("EigenBez"));
        z.txt = new QLineEdit(m_flaeche);
        z.txt->setObjectName(QStringLiteral("EigenTxt"));
        z.combo = new QComboBox(m_flaeche);
        z.combo->setObjectName(QStringLiteral("EigenCombo"));
        if (m_anordnung.auswahl == Auswahlliste::Tabelle) {
            z.combo->setEditable(true);
            z.combo->setInsertPolicy(QComboBox::NoInsert);
            z.combo->setModel(new QStandardItemModel(0, 1, z.combo));
            auto *liste = new QTreeView(z.combo);
            liste->setRootIsDecorated(false);
            liste->setHeaderHidden(true);
            liste->setUniformRowHeights(true);
            z.combo->setView(liste);
        }
        z.such = new QToolButton(m_flaeche);
        z.such->setObjectName(QStringLiteral("EigenSuch"));
        z.such->setText(m_anordnung.suchText);
        const double y = oben(n);
        z.bez->setGeometry(pixel(m_anordnung.bez, y));
        z.txt->setGeometry(pixel(m_anordnung.feld, y));
        z.combo->setGeometry(pixel(m_anordnung.feld, y));
        z.such->setGeometry(pixel(m_anordnung.such, y));
        for (QWidget *w : std::initializer_list<QWidget *>{z.bez, z.txt, z.combo, z.such}) {
            w->setProperty("index", n);
            w->hide();
        }
        connect(z.such, &QToolButton::clicked, this, [this, n] { Q_EMIT sucheGeklickt(n); });
        m_zeilen.append(z);
    }
}

void Eigenschaftszeilen::verbergen()
{
    for (Zeile &z : m_zeilen) {
        for (QWidget *w : std::initializer_list<QWidget *>{z.bez, z.txt, z.combo, z.such})
            w->hide();
        z.code = 0;
        z.art.clear();
    }
}

void Eigenschaftszeilen::zeigen(int i, const Eigenschaft &e)
{
    if (i < 1)
        return;
    anlegen(i);
    Zeile &z = m_zeilen[i];
    for (QWidget *w : std::initializer_list<QWidget *>{z.bez, z.txt, z.combo, z.such})
        w->hide();
    z.art = e.art;
    z.code = e.art.isEmpty() ? 0 : e.code;
    if (e.art.isEmpty())
        return; // takes a row number, shows nothing
    QWidget *feld = e.art == common::zeilenart::Auswahl ? static_cast<QWidget *>(z.combo) : z.txt;
    // The list is filled afresh: the row may have shown another property before.
    if (e.art == common::zeilenart::Auswahl) {
        z.combo->clear();
        z.combo->setEditText(QString());
    } else {
        z.txt->clear();
    }
    feld->setEnabled(e.aenderbar);
    if (m_anordnung.faerben)
        hintergrund(feld, e.aenderbar);
    feld->show();
    z.bez->setText(e.bezeichnung + QStringLiteral(" :"));
    z.bez->show();
    z.such->setVisible(e.suche && e.aenderbar);
}

void Eigenschaftszeilen::auswahlFuellen(int i, const QList<Eintrag> &eintraege, Liste liste)
{
    if (!gueltig(i))
        return;
    QComboBox *combo = m_zeilen[i].combo;
    const QString text = combo->currentText();
    const bool leererEintrag = liste == Liste::FreieWerte;
    if (m_anordnung.auswahl == Auswahlliste::Tabelle) {
        // Keys and names in two columns.
        const bool zweiSpalten = liste == Liste::Schluessel;
        auto *modell = static_cast<QStandardItemModel *>(combo->model());
        modell->clear();
        modell->setColumnCount(zweiSpalten ? 2 : 1);
        if (leererEintrag)
            modell->appendRow(new QStandardItem(QString()));
        for (const Eintrag &e : eintraege) {
            QList<QStandardItem *> zeile{new QStandardItem(e.wert)};
            if (zweiSpalten)
                zeile << new QStandardItem(e.name);
            modell->appendRow(zeile);
        }
        if (zweiSpalten) {
            auto *ansicht = static_cast<QTreeView *>(combo->view());
            ansicht->setColumnWidth(0, 60);
            ansicht->setColumnWidth(1, 200);
            ansicht->setMinimumWidth(280);
        }
    } else {
        combo->clear();
        if (leererEintrag)
            combo->addItem(QString(), QString());
        for (const Eintrag &e : eintraege)
            combo->addItem(e.name.isEmpty() ? e.wert : e.wert + QStringLiteral("  ") + e.name, e.wert);
    }
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
}

bool Eigenschaftszeilen::sichtbar(int i) const
{
    return gueltig(i) && !m_zeilen[i].bez->isHidden();
}

int Eigenschaftszeilen::code(int i) const
{
    return gueltig(i) ? m_zeilen[i].code : 0;
}

QString Eigenschaftszeilen::art(int i) const
{
    return gueltig(i) ? m_zeilen[i].art : QString();
}

QString Eigenschaftszeilen::wert(int i) const
{
    if (!gueltig(i))
        return {};
    const Zeile &z = m_zeilen[i];
    if (z.art == common::zeilenart::Auswahl) {
        if (z.combo->isEditable())
            return z.combo->currentText();
        const QString daten = z.combo->currentData().toString();
        return daten.isEmpty() ? z.combo->currentText() : daten;
    }
    if (z.art.isEmpty())
        return {};
    return z.txt->text();
}

void Eigenschaftszeilen::setzen(int i, const QString &wert)
{
    if (!gueltig(i))
        return;
    Zeile &z = m_zeilen[i];
    if (z.art == common::zeilenart::Auswahl)
        z.combo->setEditText(wert);
    else if (!z.art.isEmpty())
        z.txt->setText(wert);
}

void Eigenschaftszeilen::leeren()
{
    for (int i = 1; i < m_zeilen.size(); ++i) {
        m_zeilen[i].combo->setCurrentIndex(-1);
        m_zeilen[i].combo->setEditText(QString());
        m_zeilen[i].txt->clear();
    }
}

int Eigenschaftszeilen::hoehe(int n) const
{
    return twipsZuPixel(m_anordnung.bez.y() + oben(n) + Zeilenabstand, m_flaeche->logicalDpiY()) + 4;
}

QLineEdit *Eigenschaftszeilen::text(int i) const
{
    return gueltig(i) ? m_zeilen[i].txt : nullptr;
}

QComboBox *Eigenschaftszeilen::auswahl(int i) const
{
    return gueltig(i) ? m_zeilen[i].combo : nullptr;
}

} // namespace archiv::app

#pragma once

#include <QList>
#include <QObject>
#include <QRectF>
#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;
class QWidget;

namespace archiv::app {

// The rows of index properties that the main window and the editor show for
// a Beleg type: a label, a text field or a choice list, and a lookup button.
// Row 0 is an invisible template; row i lies 400 twips × i below it (plus
// the window's offset of row 1). Rows are created as they are needed and
// reused afterwards, so a type shown after another fills the same widgets.
class Eigenschaftszeilen : public QObject
{
    Q_OBJECT
public:
    // How the choice lists look: the main window's plain lists whose items
    // carry the value to search for, or the editor's lists that take typed
    // text and show key and name in two columns.
    enum class Auswahlliste { Einfach, Tabelle };

    // Where the template row's parts lie on the surface, in twips.
    struct Anordnung
    {
        QRectF bez;
        QRectF feld;
        QRectF such;
        double ersteZeile = 400; // row 1 below the template
        Auswahlliste auswahl = Auswahlliste::Einfach;
        bool faerben = false; // editable fields yellow, the others white
        QString suchText = QStringLiteral("…");
    };

    // One property as a row shows it.
    struct Eigenschaft
    {
        int code = 0;
        QString bezeichnung;
        QString art; // common::zeilenart; empty: takes the row, shows nothing
        bool suche = false; // has a lookup button
        bool aenderbar = true;
    };

    // One entry of a choice list: the value and, for the tables, a name.
    struct Eintrag
    {
        QString wert;
        QString name;
    };

    Eigenschaftszeilen(QWidget *flaeche, const Anordnung &anordnung, QObject *parent = nullptr);

    void verbergen(); // every row
    void zeigen(int i, const Eigenschaft &e);

    // What a choice list offers: keys with their names (cash desks,
    // employees), or the free values used so far, after an empty entry so
    // that a value can be taken away.
    enum class Liste { Schluessel, FreieWerte };

    // Fills row i's choice list afresh; what was typed stays.
    void auswahlFuellen(int i, const QList<Eintrag> &eintraege, Liste liste);

    int anzahl() const { return int(m_zeilen.size()) - 1; } // created rows, without the template
    bool sichtbar(int i) const;
    int code(int i) const;
    QString art(int i) const;
    // The value of row i: a choice list's value (the item's when one was
    // picked from a plain list), a text field's text.
    QString wert(int i) const;
    void setzen(int i, const QString &wert);
    void leeren(); // the values of every row
    // The height the surface needs to show rows 1 to n.
    int hoehe(int n) const;

    QLineEdit *text(int i) const;
    QComboBox *auswahl(int i) const;

Q_SIGNALS:
    void sucheGeklickt(int i);

private:
    struct Zeile
    {
        QLabel *bez;
        QLineEdit *txt;
        QComboBox *combo;
        QToolButton *such;
        int code = 0;
        QString art;
    };
    void anlegen(int i);
    bool gueltig(int i) const { return i >= 1 && i < m_zeilen.size(); }
    QRect pixel(const QRectF &twips, double verschiebung) const;
    double oben(int i) const;

    QWidget *m_flaeche;
    Anordnung m_anordnung;
    QList<Zeile> m_zeilen;
};

} // namespace archiv::app

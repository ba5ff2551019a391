#pragma once

#include <QComboBox>

namespace archiv::editor {

// The list Doks: one row per stored document of the Beleg, with the columns
// "Erst.Datum" and "Text", a picture for its type and its version text as
// row data. The closed box shows both columns of the current row.
class Doksliste : public QComboBox
{
    Q_OBJECT
    // What the closed box shows (its item text is the date alone).
    Q_PROPERTY(QString anzeige READ anzeige)
public:
    explicit Doksliste(QWidget *parent = nullptr);

    void leeren();
    // Number n from 1, date of creation, version text, "tif" or "pdf".
    void hinzufuegen(int n, const QString &daterst, const QString &doktext, const QString &doktyp);
    // Row zeile (from 0) shows document n; a row one past the end is added.
    void setzen(int zeile, int n, const QString &daterst, const QString &doktext, const QString &doktyp);
    // The row's text as the list builds it: date, line feed, number, text.
    QString zeilenText(int zeile) const;
    QString spalte(int zeile, int spalte) const;
    // The closed box's text: date, number and version text; cut with "…"
    // where the box is too narrow, the whole text then as its tooltip.
    QString anzeige() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace archiv::editor

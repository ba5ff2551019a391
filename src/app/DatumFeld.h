#pragma once

#include <QDate>
#include <QLineEdit>

namespace archiv::app {

// A date field that may be empty (the date edit of Qt cannot be): typed as
// TT.MM.JJJJ, read as "YYYY-MM-DD" or "" when empty or no date.
class DatumFeld : public QLineEdit
{
    Q_OBJECT
public:
    explicit DatumFeld(QWidget *parent = nullptr);

    QDate datum() const;
    QString wert() const; // "YYYY-MM-DD" or ""
    void setzeDatum(const QDate &datum);

    // True when the field is empty or holds a date. Otherwise the user is
    // told "Ungültiges Datum: …" and the focus stays in the field, so that a
    // search or save never runs as if the date had not been typed.
    bool pruefen();
};

} // namespace archiv::app

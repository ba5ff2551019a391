#pragma once

#include <QDialog>

class QLineEdit;
class QTreeWidget;

namespace archiv::lookup {

// The Beleg lookup of the scan store's edit dialog: the archived Belege a
// Belegnummer may name (type code + number, or the number alone in any
// type and company), to pick the one a page belongs to.
class SuBeleg : public QDialog
{
    Q_OBJECT
public:
    explicit SuBeleg(const QString &nummer, QWidget *parent = nullptr);

    void suchen(); // BUSuchen
    void waehlen(); // a row's choice: double-click, Return or BUOk
    QTreeWidget *liste() const { return m_liste; }

    // After a choice: the Beleg's object id and its key (type code + number).
    QString belegId() const { return m_id; }
    QString schluessel() const { return m_schluessel; }

private:
    QLineEdit *m_nummer;
    QTreeWidget *m_liste;
    QString m_id;
    QString m_schluessel;
};

} // namespace archiv::lookup

#pragma once

#include <QDialog>

class QTreeWidget;

namespace archiv::editor {

// The Belegnummern waiting in the scan store with their page counts; the
// editor takes the pages of the one picked. (The scan intake window takes
// this place once it is there.)
class Scanwahl : public QDialog
{
    Q_OBJECT
public:
    explicit Scanwahl(QWidget *parent = nullptr);
    QTreeWidget *liste() const { return m_liste; }

    // Shows the list modally; the Belegnummer picked, or "".
    static QString waehlen(QWidget *parent);

private:
    QTreeWidget *m_liste;
};

} // namespace archiv::editor

#pragma once

#include <QDialog>

class QTreeWidget;

namespace archiv::search {

// The backup volumes ("DVDs") that hold a Beleg, as the server records them.
class InfoDvd : public QDialog
{
    Q_OBJECT
public:
    InfoDvd(const QString &dokId, QWidget *parent = nullptr);
    QTreeWidget *liste() const { return m_liste; }

private:
    QTreeWidget *m_liste;
};

} // namespace archiv::search

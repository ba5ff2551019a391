#include "lookup/SuBelnr.h"

#include "app/Ereignis.h"
#include "common/Programmzustand.h"

#include <QScopeGuard>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace archiv::lookup {

SuBelnr::SuBelnr(Lader lader, QWidget *parent) : QDialog(parent), m_lader(std::move(lader))
{
    setObjectName(QStringLiteral("SuBelnr"));
    setWindowTitle(QStringLiteral("Datum"));
    setModal(true);
    m_beleg = new QTreeWidget(this);
    m_beleg->setObjectName(QStringLiteral("Beleg"));
    m_beleg->setHeaderLabels({QStringLiteral("Datum")});
    m_beleg->setRootIsDecorated(false);
    auto *l = new QVBoxLayout(this);
    l->addWidget(m_beleg);
    connect(m_beleg, &QTreeWidget::itemActivated, this, [this] { app::ereignis([this] { waehlen(); }); });
    resize(240, 260);
}

void SuBelnr::hinzufuegen(const QString &datum, const QString &dokId)
{
    auto *z = new QTreeWidgetItem(m_beleg, {datum});
    z->setData(0, Qt::UserRole, dokId);
}

void SuBelnr::leeren()
{
    m_beleg->clear();
}

void SuBelnr::waehlen()
{
    QTreeWidgetItem *z = m_beleg->currentItem();
    if (!z || !z->isSelected())
        return;
    m_beleg->setEnabled(false);
    const auto wieder = qScopeGuard([this] { m_beleg->setEnabled(true); });
    global::DokId = z->data(0, Qt::UserRole).toString();
    global::AktDok = 1;
    m_lader(global::DokId);
    accept();
}

} // namespace archiv::lookup

#include "editor/Scanwahl.h"

#include "common/Programmzustand.h"
#include "server/ErgebnisMenge.h"
#include "server/Verbindung.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QMap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace archiv::editor {

Scanwahl::Scanwahl(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("scandatabase"));
    setWindowTitle(QStringLiteral("Scan Dokumente"));
    m_liste = new QTreeWidget(this);
    m_liste->setObjectName(QStringLiteral("LIBelege"));
    m_liste->setHeaderLabels({QStringLiteral("Belegnummer"), QStringLiteral("Seiten")});
    m_liste->setRootIsDecorated(false);
    m_liste->header()->setStretchLastSection(false);
    m_liste->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    auto *knoepfe = new QDialogButtonBox(this);
    QPushButton *ok = knoepfe->addButton(QStringLiteral("Übernehmen"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("BUOK"));
    QPushButton *zu = knoepfe->addButton(QStringLiteral("Schliessen"), QDialogButtonBox::RejectRole);
    zu->setObjectName(QStringLiteral("BUClose"));
    connect(knoepfe, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(knoepfe, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_liste, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    auto *l = new QVBoxLayout(this);
    l->addWidget(m_liste);
    l->addWidget(knoepfe);
    resize(360, 320);

    QMap<QString, int> seiten;
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Scandat"), QStringLiteral("Liste"));
    rs.Execute();
    while (rs.Next())
        ++seiten[rs.GetData(2)];
    rs.Close();
    for (auto it = seiten.cbegin(); it != seiten.cend(); ++it)
        if (!it.key().isEmpty())
            new QTreeWidgetItem(m_liste, {it.key(), QString::number(it.value())});
}

QString Scanwahl::waehlen(QWidget *parent)
{
    Scanwahl d(parent);
    if (d.exec() != QDialog::Accepted || !d.m_liste->currentItem())
        return {};
    return d.m_liste->currentItem()->text(0);
}

} // namespace archiv::editor

#include "search/InfoDvd.h"

#include "common/Programmzustand.h"
#include "server/KlassenMethoden.h"
#include "server/Verbindung.h"

#include <QTreeWidget>
#include <QVBoxLayout>

namespace archiv::search {

InfoDvd::InfoDvd(const QString &dokId, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("infodvd"));
    setWindowTitle(QStringLiteral("Info - DVD    id=") + dokId);
    m_liste = new QTreeWidget(this);
    m_liste->setObjectName(QStringLiteral("list1"));
    m_liste->setHeaderLabels({QStringLiteral("Gesichert auf DVD mit ID")});
    m_liste->setRootIsDecorated(false);
    auto *l = new QVBoxLayout(this);
    l->addWidget(m_liste);
    resize(360, 240);

    const server::MethodenErgebnis dvds =
        global::Archivverbindung->ClassMethods(QStringLiteral("AR.Dokumente")).call(QStringLiteral("GetBackupinfo"), {dokId});
    for (int i = 1; i <= dvds.Count(); ++i)
        new QTreeWidgetItem(m_liste, {dvds.element(i)});
}

} // namespace archiv::search

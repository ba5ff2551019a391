#include "lookup/SuBeleg.h"

#include "app/Ereignis.h"
#include "app/Sanduhr.h"
#include "common/Format.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "common/Texte.h"
#include "server/ErgebnisMenge.h"
#include "server/Verbindung.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace archiv::lookup {

using namespace archiv::common;

SuBeleg::SuBeleg(const QString &nummer, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SuBeleg"));
    setWindowTitle(QStringLiteral("Beleg suchen"));
    setModal(true);
    m_nummer = new QLineEdit(nummer, this);
    m_nummer->setObjectName(QStringLiteral("Nummer"));
    m_nummer->setMaxLength(100);
    m_nummer->setPlaceholderText(QStringLiteral("z. B. ER11005 oder 11005"));
    auto *suchenKnopf = new QPushButton(QStringLiteral("Suchen"), this);
    suchenKnopf->setObjectName(QStringLiteral("BUSuchen"));
    m_liste = new QTreeWidget(this);
    m_liste->setObjectName(QStringLiteral("Belege"));
    m_liste->setHeaderLabels({QStringLiteral("Firma"), QStringLiteral("Belegart"), QStringLiteral("Nummer"), QStringLiteral("Datum"),
                              QStringLiteral("Text")});
    m_liste->setRootIsDecorated(false);
    m_liste->setUniformRowHeights(true);
    m_liste->setAllColumnsShowFocus(true);
    auto *ok = new QPushButton(QStringLiteral("Übernehmen"), this);
    ok->setObjectName(QStringLiteral("BUOk"));
    auto *zu = new QPushButton(QStringLiteral("Schliessen"), this);
    zu->setObjectName(QStringLiteral("BUClose"));

    auto *g = new QGridLayout(this);
    g->addWidget(new QLabel(QStringLiteral("Belegnummer:"), this), 0, 0);
    g->addWidget(m_nummer, 0, 1);
    g->addWidget(suchenKnopf, 0, 2);
    g->addWidget(m_liste, 1, 0, 1, 3);
    auto *knoepfe = new QHBoxLayout;
    knoepfe->addStretch();
    knoepfe->addWidget(ok);
    knoepfe->addWidget(zu);
    g->addLayout(knoepfe, 2, 0, 1, 3);

    // Return in the number field searches; in the list it picks.
    connect(m_nummer, &QLineEdit::returnPressed, this, [this] { app::ereignis([this] { suchen(); }); });
    connect(suchenKnopf, &QPushButton::clicked, this, [this] { app::ereignis([this] { suchen(); }); });
    connect(m_liste, &QTreeWidget::itemActivated, this, [this] { app::ereignis([this] { waehlen(); }); });
    connect(ok, &QPushButton::clicked, this, [this] { app::ereignis([this] { waehlen(); }); });
    connect(zu, &QPushButton::clicked, this, &QDialog::reject);
    resize(620, 320);
    if (!nummer.trimmed().isEmpty())
        app::ereignis([this] { suchen(); });
}

void SuBeleg::suchen()
{
    const app::Sanduhr sanduhr;
    m_liste->clear();
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Nummer"));
    rs.Execute(QStringList{m_nummer->text().trimmed()});
    while (rs.Next()) {
        const QString firma = rs.GetData(2) + (rs.GetData(3).isEmpty() ? QString() : u' ' + rs.GetData(3));
        auto *z = new QTreeWidgetItem(m_liste, {firma, rs.GetData(4), rs.GetData(5), formatDatum(rs.GetData(6)).left(10), rs.GetData(7)});
        z->setData(0, Qt::UserRole, rs.GetData(1));
    }
    rs.Close();
    for (int i = 0; i < m_liste->columnCount() - 1; ++i)
        m_liste->resizeColumnToContents(i);
    if (m_liste->topLevelItemCount() == 0) {
        meldung(HauptTitel, QStringLiteral("Keinen Beleg mit der Nummer %1 gefunden.").arg(m_nummer->text().trimmed()),
                MeldungsSymbol::Information);
        m_nummer->setFocus();
        return;
    }
    m_liste->setCurrentItem(m_liste->topLevelItem(0));
    m_liste->setFocus();
}

void SuBeleg::waehlen()
{
    QTreeWidgetItem *z = m_liste->currentItem();
    if (!z || !z->isSelected())
        return;
    m_id = z->data(0, Qt::UserRole).toString();
    m_schluessel = z->text(1) + z->text(2);
    accept();
}

} // namespace archiv::lookup

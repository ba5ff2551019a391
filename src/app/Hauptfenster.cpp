#include "app/Hauptfenster.h"

#include "app/Einstellungen.h"
#include "common/Format.h"
#include "common/Programmzustand.h"
#include "server/Verbindung.h"
#include "server/Verbindungstext.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QStatusBar>

namespace archiv::app {

QList<FirmenZeile> firmenLaden()
{
    QList<FirmenZeile> zeilen;
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Firma"), QStringLiteral("Liste"));
    rs.Execute();
    while (rs.Next())
        zeilen.append({common::formatZahl(rs.GetData(1), QStringLiteral("0#")) + QStringLiteral("  ") + rs.GetData(2), rs.GetData(1)});
    rs.Close();
    return zeilen;
}

Hauptfenster::Hauptfenster(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("archiv"));
    setWindowTitle(QStringLiteral("Tessam  Archivsystem"));
    auto *mitte = new QWidget(this);
    auto *form = new QFormLayout(mitte);
    m_firma = new QComboBox(mitte);
    m_firma->setObjectName(QStringLiteral("Firma"));
    m_firma->setMinimumWidth(320);
    auto *label = new QLabel(QStringLiteral("Firma:"), mitte);
    label->setObjectName(QStringLiteral("Label5"));
    form->addRow(label, m_firma);
    setCentralWidget(mitte);
    statusBar()->setObjectName(QStringLiteral("SBar1"));
    resize(640, 200);
}

bool Hauptfenster::starten()
{
    global::Verbindungstext = server::Verbindungsadresse::bauen(einstellung(QStringLiteral("Server"), QStringLiteral("arip")),
                                                                einstellung(QStringLiteral("Server"), QStringLiteral("arport")),
                                                                QStringLiteral("TSARCHIV"));
    global::Archivverbindung = std::make_shared<server::Verbindung>();
    if (!global::Archivverbindung->Connect(global::Verbindungstext) || !global::Archivverbindung->IsConnected())
        return false;
    m_firma->clear();
    for (const FirmenZeile &z : firmenLaden())
        m_firma->addItem(z.text, z.schluessel);
    m_firma->setCurrentIndex(0);
    return true;
}

} // namespace archiv::app

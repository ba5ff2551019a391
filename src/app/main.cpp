#include "app/Hauptfenster.h"
#include "app/MeldungsFenster.h"
#include "common/Programmzustand.h"
#include "server/Verbindung.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Archiv"));
    archiv::app::meldungsFensterEinrichten();
    archiv::app::Hauptfenster fenster;
    if (!fenster.starten())
        return 0; // unconnected: the program ends without a message
    fenster.show();
    const int ergebnis = app.exec();
    if (archiv::global::Archivverbindung && archiv::global::Archivverbindung->IsConnected())
        archiv::global::Archivverbindung->Disconnect();
    return ergebnis;
}

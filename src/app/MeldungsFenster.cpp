#include "app/MeldungsFenster.h"

#include "common/Meldung.h"

#include <QApplication>
#include <QMessageBox>

namespace archiv::app {

using namespace archiv::common;

void meldungsFensterEinrichten()
{
    setzeMeldungsAnzeige([](const MeldungsAnfrage &a) {
        QMessageBox::Icon symbol = QMessageBox::Information;
        switch (a.symbol) {
        case MeldungsSymbol::Information: symbol = QMessageBox::Information; break;
        case MeldungsSymbol::Ausruf: symbol = QMessageBox::Warning; break;
        case MeldungsSymbol::Kritisch: symbol = QMessageBox::Critical; break;
        case MeldungsSymbol::Frage: symbol = QMessageBox::Question; break;
        }
        QMessageBox::StandardButtons knoepfe = QMessageBox::Ok;
        switch (a.knoepfe) {
        case MeldungsKnoepfe::Ok: knoepfe = QMessageBox::Ok; break;
        case MeldungsKnoepfe::OkAbbrechen: knoepfe = QMessageBox::Ok | QMessageBox::Cancel; break;
        case MeldungsKnoepfe::JaNein: knoepfe = QMessageBox::Yes | QMessageBox::No; break;
        case MeldungsKnoepfe::JaNeinAbbrechen: knoepfe = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
        }
        QMessageBox box(symbol, a.titel, a.text, knoepfe, QApplication::activeWindow());
        switch (box.exec()) {
        case QMessageBox::Yes: return Antwort::Ja;
        case QMessageBox::No: return Antwort::Nein;
        case QMessageBox::Cancel: return Antwort::Abbrechen;
        default: return Antwort::Ok;
        }
    });
}

} // namespace archiv::app

#pragma once

#include <functional>

class QPrinter;
class QWidget;

namespace archiv::imaging {
class Seitenliste;
}

namespace archiv::app {

// Prints pages of a document the way every window does: the dialog
// "Dokument drucken" with the page range (1 to the page count), then the
// pages in that range, each fitted to 95 % of the sheet. Cancelling prints
// nothing and says nothing; a printer error says "Drucken fehlgeschlagen"
// with the reason. The pages themselves are never changed.
void seitenDrucken(const imaging::Seitenliste &seiten, QWidget *eltern);

// What prints without a dialog goes to the system's default printer;
// tests send it to a PDF file instead.
void setzeStandarddrucker(std::function<void(QPrinter &)> einrichten);
void standarddruckerEinrichten(QPrinter &drucker);

} // namespace archiv::app

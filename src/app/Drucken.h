#pragma once

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

} // namespace archiv::app

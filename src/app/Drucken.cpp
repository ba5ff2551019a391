#include "app/Drucken.h"

#include "app/Sanduhr.h"
#include "common/Meldung.h"
#include "common/Texte.h"
#include "imaging/Seitendruck.h"
#include "imaging/Seitenliste.h"

#include <QCoreApplication>
#include <QPrintDialog>
#include <QPrinter>

namespace archiv::app {

namespace {
std::function<void(QPrinter &)> &standarddrucker()
{
    static std::function<void(QPrinter &)> einrichten;
    return einrichten;
}
} // namespace

void setzeStandarddrucker(std::function<void(QPrinter &)> einrichten)
{
    standarddrucker() = std::move(einrichten);
}

void standarddruckerEinrichten(QPrinter &drucker)
{
    if (standarddrucker())
        standarddrucker()(drucker);
}

void seitenDrucken(const imaging::Seitenliste &seiten, QWidget *eltern)
{
    if (seiten.istLeer())
        return;
    QPrinter drucker;
    QPrintDialog dialog(&drucker, eltern);
    dialog.setObjectName(QStringLiteral("Print1"));
    dialog.setWindowTitle(QStringLiteral("Dokument drucken"));
    dialog.setOption(QAbstractPrintDialog::PrintPageRange);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setMinMax(1, seiten.anzahl());
    drucker.setFromTo(1, seiten.anzahl());
    if (dialog.exec() != QDialog::Accepted)
        return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const bool bereich = drucker.printRange() == QPrinter::PageRange;
    try {
        const Sanduhr sanduhr;
        imaging::seitenDrucken(seiten, drucker, bereich ? drucker.fromPage() : 1, bereich ? drucker.toPage() : seiten.anzahl());
    } catch (const std::exception &e) {
        common::meldung(common::HauptTitel, QStringLiteral("Drucken fehlgeschlagen\n") + QString::fromUtf8(e.what()),
                        common::MeldungsSymbol::Ausruf);
    }
}

} // namespace archiv::app

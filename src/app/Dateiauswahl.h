#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace archiv::app {

// The file dialog for received files (PDF, e-invoice XML, TIFF, photos; any
// file when the user switches the filter), several at once, starting in the
// download folder; objectName "DateiAuswahl". Empty when cancelled.
QStringList empfangeneDateienWaehlen(QWidget *eltern, const QString &titel);

} // namespace archiv::app

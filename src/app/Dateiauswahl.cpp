#include "app/Dateiauswahl.h"

#include <QFileDialog>
#include <QStandardPaths>

namespace archiv::app {

QStringList empfangeneDateienWaehlen(QWidget *eltern, const QString &titel)
{
    QFileDialog d(eltern, titel);
    d.setObjectName(QStringLiteral("DateiAuswahl"));
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setFileMode(QFileDialog::ExistingFiles);
    d.setNameFilters({QStringLiteral("Belege (*.pdf *.xml *.tif *.tiff *.png *.jpg *.jpeg)"), QStringLiteral("Alle Dateien (*)")});
    d.setDirectory(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
    if (d.exec() != QDialog::Accepted)
        return {};
    return d.selectedFiles();
}

} // namespace archiv::app

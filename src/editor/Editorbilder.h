#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace archiv::editor {

// A picture file of the editor by its bare name ("papergr.ico"): a file of
// that name in the working directory wins, otherwise the copy built into
// the program, so the pictures are there wherever it is started from.
QPixmap bildDatei(const QString &name);

// The Doks list's pictures: 1 a TIF document, 2 a PDF document.
QIcon dokumentBild(int nummer);

// The toolbar's pictures, items 1 to 9.
QIcon werkzeugBild(int nummer);

} // namespace archiv::editor

#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>

#include <chrono>
#include <functional>

// Reading the text of a stored document: the text layer of a PDF page
// (Poppler), OCR of a scanned page (Tesseract, German and English), the
// readable text of an e-invoice. Each word keeps its box on the page, in
// pixels of the page as stored (PDF: at 300 dpi), so that a hit can be
// marked where it is.
namespace archiv::archivd::volltext {

struct Wort
{
    QString text;
    QRect box;
};

struct Seitentext
{
    int seite = 0; // from 1
    QString text;
    QList<Wort> woerter;
};

// A page never takes longer than this, and the reader never more memory.
inline constexpr std::chrono::seconds SeitenFrist{60};
inline constexpr qint64 MaxSpeicher = 500LL * 1024 * 1024;

// The reading itself, in this process, each page handed over as soon as it
// is read: throws std::runtime_error for a file that cannot be read.
using Ablage = std::function<void(const Seitentext &)>;
void hierLesen(const QString &doktyp, const QByteArray &inhalt, const Ablage &ablage);
QList<Seitentext> hierLesen(const QString &doktyp, const QByteArray &inhalt);

// The same in a child process of its own ("archivd volltext-lesen"), bounded
// by MaxSpeicher and by SeitenFrist for each page: a file that crashes the
// reader, or a page that takes too long, fails the job, never the server.
QList<Seitentext> lesen(const QString &programm, const QString &doktyp, const QByteArray &inhalt);

// The child's side: the file on standard input, one JSON line per page on
// standard output; the exit code.
int lesemodus(const QString &doktyp);

} // namespace archiv::archivd::volltext

#include "common/Original.h"

#include "common/Kennungen.h"

#include <QFile>
#include <QFileInfo>

namespace archiv::common::original {

namespace {

// XML may begin with a byte order mark and blanks before its first "<".
bool istXml(const QByteArray &anfang)
{
    qsizetype i = anfang.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < anfang.size() && (anfang.at(i) == ' ' || anfang.at(i) == '\t' || anfang.at(i) == '\r' || anfang.at(i) == '\n'))
        ++i;
    if (i + 1 >= anfang.size() || anfang.at(i) != '<')
        return false;
    const char c = anfang.at(i + 1);
    return c == '?' || c == '!' || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

QString artAusInhalt(const QByteArray &anfang)
{
    // A PDF may have a few bytes of junk before its header; readers accept
    // it within the first kilobyte.
    if (anfang.left(1024).contains("%PDF-"))
        return doktyp::Pdf;
    if (anfang.startsWith(QByteArray("II*\0", 4)) || anfang.startsWith(QByteArray("MM\0*", 4)))
        return doktyp::Tif;
    if (anfang.startsWith("\x89PNG\r\n\x1a\n"))
        return doktyp::Png;
    if (anfang.startsWith("\xFF\xD8\xFF"))
        return doktyp::Jpg;
    if (istXml(anfang))
        return doktyp::Xml;
    return {};
}

QString artName(const QString &doktyp)
{
    if (doktyp == doktyp::Pdf)
        return QStringLiteral("PDF");
    if (doktyp == doktyp::Xml)
        return QStringLiteral("XML");
    if (doktyp == doktyp::Png)
        return QStringLiteral("PNG");
    if (doktyp == doktyp::Jpg)
        return QStringLiteral("JPEG");
    return QStringLiteral("TIFF");
}

QString endung(const QString &doktyp)
{
    for (QLatin1String t : {doktyp::Pdf, doktyp::Xml, doktyp::Png, doktyp::Jpg})
        if (doktyp == t)
            return t;
    return doktyp::Tif;
}

Datei lesen(const QString &pfad)
{
    Datei d;
    d.name = QFileInfo(pfad).fileName();
    QFile f(pfad);
    if (!f.open(QIODevice::ReadOnly)) {
        d.fehler = QStringLiteral("%1 lässt sich nicht lesen: %2").arg(d.name, f.errorString());
        return d;
    }
    if (f.size() > HoechstGroesse) {
        d.fehler = QStringLiteral("%1 ist zu groß (%2 MB; höchstens %3 MB).")
                       .arg(d.name)
                       .arg(f.size() / (1024 * 1024))
                       .arg(HoechstGroesse / (1024 * 1024));
        return d;
    }
    d.inhalt = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        d.fehler = QStringLiteral("%1 lässt sich nicht lesen: %2").arg(d.name, f.errorString());
        d.inhalt.clear();
        return d;
    }
    if (d.inhalt.isEmpty()) {
        d.fehler = QStringLiteral("%1 ist leer.").arg(d.name);
        return d;
    }
    d.doktyp = artAusInhalt(d.inhalt.left(4096));
    if (d.doktyp.isEmpty()) {
        d.fehler = QStringLiteral("%1 ist weder PDF noch XML, TIFF, PNG oder JPEG; das Archiv nimmt solche Dateien nicht auf.").arg(d.name);
        d.inhalt.clear();
    }
    return d;
}

} // namespace archiv::common::original

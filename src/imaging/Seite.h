#pragma once

#include <QImage>

#include <stdexcept>

namespace archiv::imaging {

// A file that cannot be read or written; the message names the file and
// what is wrong with it.
class BildFehler : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// One page: a bilevel image (index 0 white, 1 black) with its resolution.
class Seite
{
public:
    Seite() = default;
    // Any image is reduced to the bilevel form; grey and colour by a
    // threshold that suits the image (Otsu's). The picture as it came is
    // kept beside it as the page's original until the page is encoded, so
    // that barcodes are read from the grey a scanner delivered.
    explicit Seite(const QImage &bild, int dpiX = 300, int dpiY = 0);

    static Seite leer(int breite, int hoehe, int dpi);
    // Takes a Format_Mono image whose colour table is already white, black.
    static Seite ausBilevel(QImage bild, int dpiX, int dpiY);

    const QImage &bild() const { return m_bild; }
    // Grey or colour as delivered; null when the page came bilevel.
    const QImage &vorlage() const { return m_vorlage; }
    QImage &bild() { return m_bild; }
    int dpiX() const { return m_dpiX; }
    int dpiY() const { return m_dpiY; }
    int breite() const { return m_bild.width(); }
    int hoehe() const { return m_bild.height(); }
    bool istLeer() const { return m_bild.isNull(); }

    static QImage bilevel(const QImage &bild);
    // The grey value from which a pixel counts as white: Otsu's threshold
    // over the histogram, 128 for an image of one grey only.
    static int schwelle(const QImage &grau);

    friend bool operator==(const Seite &a, const Seite &b);

private:
    QImage m_bild;
    QImage m_vorlage;
    int m_dpiX = 300;
    int m_dpiY = 300;
};

} // namespace archiv::imaging

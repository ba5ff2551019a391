#include "imaging/PdfDatei.h"

#include "imaging/Seite.h"
#include "imaging/TiffDatei.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <poppler-qt6.h>

#include <cmath>
#include <optional>

namespace archiv::imaging {

namespace {

std::string punkte(double wert)
{
    return QString::number(wert, 'f', 4).toStdString();
}

[[noreturn]] void fehler(const QString &name, const QString &was)
{
    throw BildFehler(QStringLiteral("%1: %2").arg(name, was).toStdString());
}

// The page's one G4 image, when the page is nothing else.
std::optional<KodierteSeite> g4Bild(QPDFPageObjectHelper &seite)
{
    std::map<std::string, QPDFObjectHandle> bilder = seite.getImages();
    if (bilder.size() != 1)
        return std::nullopt;
    QPDFObjectHandle bild = bilder.begin()->second;
    QPDFObjectHandle dict = bild.getDict();
    QPDFObjectHandle filter = dict.getKey("/Filter");
    if (filter.isArray() && filter.getArrayNItems() == 1)
        filter = filter.getArrayItem(0);
    if (!filter.isName() || filter.getName() != "/CCITTFaxDecode")
        return std::nullopt;
    QPDFObjectHandle parms = dict.getKey("/DecodeParms");
    if (parms.isArray() && parms.getArrayNItems() == 1)
        parms = parms.getArrayItem(0);
    if (!parms.isDictionary())
        return std::nullopt;
    const auto zahl = [](QPDFObjectHandle o, long long vorgabe) { return o.isInteger() ? o.getIntValue() : vorgabe; };
    const long long k = zahl(parms.getKey("/K"), 0);
    const long long breite = zahl(dict.getKey("/Width"), 0);
    const long long hoehe = zahl(dict.getKey("/Height"), 0);
    if (k >= 0 || breite <= 0 || hoehe <= 0 || zahl(parms.getKey("/Columns"), 1728) != breite)
        return std::nullopt;
    const bool schwarzIst1 = parms.getKey("/BlackIs1").isBool() && parms.getKey("/BlackIs1").getBoolValue();
    QPDFObjectHandle decode = dict.getKey("/Decode");
    const bool umgekehrt = decode.isArray() && decode.getArrayNItems() == 2 && decode.getArrayItem(0).isNumber() &&
                           decode.getArrayItem(0).getNumericValue() > 0.5;
    // Rotation, or an image not filling the page: let the rasteriser decide.
    if (seite.getObjectHandle().getKey("/Rotate").isInteger() && seite.getObjectHandle().getKey("/Rotate").getIntValue() % 360 != 0)
        return std::nullopt;
    QPDFObjectHandle::Rectangle box = seite.getMediaBox().getArrayAsRectangle();
    const double bw = box.urx - box.llx, bh = box.ury - box.lly;
    if (bw <= 0 || bh <= 0)
        return std::nullopt;
    std::shared_ptr<Buffer> roh = bild.getRawStreamData();
    KodierteSeite s{QByteArray(reinterpret_cast<const char *>(roh->getBuffer()), qsizetype(roh->getSize())), int(breite), int(hoehe),
                    int(std::lround(breite * 72.0 / bw)), int(std::lround(hoehe * 72.0 / bh))};
    // The code's black runs are shown black unless exactly one of BlackIs1
    // and an inverting /Decode turns them white.
    if (schwarzIst1 != umgekehrt) {
        Seite seiteBild = TiffDatei::dekodieren(s);
        seiteBild.bild().invertPixels();
        return TiffDatei::kodieren(seiteBild);
    }
    return s;
}

} // namespace

bool PdfDatei::istPdf(const QByteArray &kopf)
{
    return kopf.left(1024).contains("%PDF-");
}

QByteArray PdfDatei::schreiben(const QList<KodierteSeite> &seiten)
{
    try {
        QPDF pdf;
        pdf.emptyPDF();
        QPDFPageDocumentHelper dokument(pdf);
        for (const KodierteSeite &s : seiten) {
            const double b = s.breite * 72.0 / s.dpiX;
            const double h = s.hoehe * 72.0 / s.dpiY;
            QPDFObjectHandle bild = QPDFObjectHandle::newStream(&pdf);
            bild.replaceDict(QPDFObjectHandle::parse("<< /Type /XObject /Subtype /Image /ColorSpace /DeviceGray /BitsPerComponent 1 "
                                                     "/Width " + std::to_string(s.breite) + " /Height " + std::to_string(s.hoehe) + " >>"));
            QPDFObjectHandle parms = QPDFObjectHandle::parse("<< /K -1 /Columns " + std::to_string(s.breite) +
                                                             " /Rows " + std::to_string(s.hoehe) + " >>");
            bild.replaceStreamData(std::string(s.g4.constData(), size_t(s.g4.size())), QPDFObjectHandle::newName("/CCITTFaxDecode"), parms);
            const std::string inhalt = "q " + punkte(b) + " 0 0 " + punkte(h) + " 0 0 cm /Im0 Do Q\n";
            QPDFObjectHandle inhaltStrom = QPDFObjectHandle::newStream(&pdf, inhalt);
            QPDFObjectHandle ressourcen = QPDFObjectHandle::newDictionary();
            QPDFObjectHandle xobjekte = QPDFObjectHandle::newDictionary();
            xobjekte.replaceKey("/Im0", bild);
            ressourcen.replaceKey("/XObject", xobjekte);
            QPDFObjectHandle seite = QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 " + punkte(b) + " " + punkte(h) + "] >>");
            seite.replaceKey("/Contents", inhaltStrom);
            seite.replaceKey("/Resources", ressourcen);
            dokument.addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(seite)), false);
        }
        QPDFWriter w(pdf);
        w.setOutputMemory();
        w.setStaticID(false);
        // The G4 data stays as it is; only our small content streams are compressed.
        w.setDecodeLevel(qpdf_dl_none);
        w.write();
        std::shared_ptr<Buffer> b = w.getBufferSharedPointer();
        return QByteArray(reinterpret_cast<const char *>(b->getBuffer()), qsizetype(b->getSize()));
    } catch (const std::exception &e) {
        fehler(QStringLiteral("PDF"), QString::fromUtf8(e.what()));
    }
}

QList<KodierteSeite> PdfDatei::lesen(const QByteArray &daten, const QString &name, int erste, int anzahl)
{
    QList<KodierteSeite> seiten;
    QList<int> zuRastern; // positions in seiten
    QList<int> seitenNummern;
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processMemoryFile(name.toLocal8Bit().constData(), daten.constData(), size_t(daten.size()));
        std::vector<QPDFPageObjectHelper> alle = QPDFPageDocumentHelper(pdf).getAllPages();
        for (int i = erste; i < int(alle.size()) && (anzahl < 0 || seiten.size() < anzahl); ++i) {
            std::optional<KodierteSeite> g4 = g4Bild(alle[size_t(i)]);
            seiten.append(g4 ? *g4 : KodierteSeite{});
            if (!g4) {
                zuRastern << int(seiten.size() - 1);
                seitenNummern << i;
            }
        }
        if (seiten.isEmpty() && erste >= int(alle.size()) && !alle.empty())
            return seiten;
        if (alle.empty())
            fehler(name, QStringLiteral("enthält keine Seite"));
    } catch (const BildFehler &) {
        throw;
    } catch (const std::exception &e) {
        fehler(name, QStringLiteral("keine lesbare PDF-Datei (%1)").arg(QString::fromUtf8(e.what())));
    }
    if (zuRastern.isEmpty())
        return seiten;
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::loadFromData(daten);
    if (!doc || doc->isLocked())
        fehler(name, QStringLiteral("lässt sich nicht darstellen"));
    for (int j = 0; j < zuRastern.size(); ++j) {
        std::unique_ptr<Poppler::Page> seite = doc->page(seitenNummern.at(j));
        if (!seite)
            fehler(name, QStringLiteral("Seite %1 fehlt").arg(seitenNummern.at(j) + 1));
        const QImage bild = seite->renderToImage(300, 300);
        if (bild.isNull())
            fehler(name, QStringLiteral("Seite %1 lässt sich nicht darstellen").arg(seitenNummern.at(j) + 1));
        seiten[zuRastern.at(j)] = TiffDatei::kodieren(Seite(bild, 300, 300));
    }
    return seiten;
}

} // namespace archiv::imaging

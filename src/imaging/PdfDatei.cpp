#include "imaging/PdfDatei.h"

#include "imaging/PdfRaster.h"
#include "imaging/Seite.h"
#include "imaging/TiffDatei.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>


#include <QDateTime>
#include <QFile>
#include <QHash>

#include <algorithm>
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
                    int(std::lround(breite * 72.0 / bw)), int(std::lround(hoehe * 72.0 / bh)), {}};
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

namespace {

// Hands the pages' G4 data to the writer when it writes them, without a
// copy of the whole document in between.
class G4Daten : public QPDFObjectHandle::StreamDataProvider
{
public:
    void hinzufuegen(QPDFObjGen og, const QByteArray &daten) { m_daten.insert({og.getObj(), og.getGen()}, daten); }
    void provideStreamData(QPDFObjGen const &og, Pipeline *pipeline) override
    {
        const QByteArray d = m_daten.value({og.getObj(), og.getGen()});
        pipeline->write(reinterpret_cast<const unsigned char *>(d.constData()), size_t(d.size()));
        pipeline->finish();
    }

private:
    QHash<std::pair<int, int>, QByteArray> m_daten;
};

// The words as text drawn invisibly (render mode 3) at their boxes, in
// Helvetica with WinAnsi encoding (German needs nothing beyond Latin-1;
// other characters become "?"), each word stretched to its box's width.
std::string textschicht(const QList<Textwort> &woerter, const KodierteSeite &s, double hoehe)
{
    std::string t = "BT 3 Tr\n";
    for (const Textwort &w : woerter) {
        if (w.text.isEmpty() || w.box.width() <= 0 || w.box.height() <= 0)
            continue;
        const double groesse = std::max(1.0, w.box.height() * 72.0 / s.dpiY);
        const double breite = w.box.width() * 72.0 / s.dpiX;
        const double x = w.box.x() * 72.0 / s.dpiX;
        const double y = hoehe - (w.box.y() + w.box.height()) * 72.0 / s.dpiY + groesse * 0.2;
        // Helvetica's letters are about half an em wide.
        const double dehnung = 100.0 * breite / std::max(1.0, 0.5 * groesse * double(w.text.size()));
        std::string text;
        for (const QChar c : w.text) {
            const char16_t u = c.unicode();
            const char b = u < 256 ? char(u) : '?';
            if (b == '(' || b == ')' || b == '\\')
                text += '\\';
            text += b;
        }
        t += "/F1 " + punkte(groesse) + " Tf " + punkte(dehnung) + " Tz 1 0 0 1 " + punkte(x) + " " + punkte(y) + " Tm (" + text + ") Tj\n";
    }
    return t + "ET\n";
}

void aufbauen(QPDF &pdf, const QList<KodierteSeite> &seiten, const Textschicht &texte = {})
{
    QPDFObjectHandle schrift;
    if (!texte.isEmpty()) {
        schrift = QPDFObjectHandle::newDictionary();
        schrift.replaceKey("/Type", QPDFObjectHandle::newName("/Font"));
        schrift.replaceKey("/Subtype", QPDFObjectHandle::newName("/Type1"));
        schrift.replaceKey("/BaseFont", QPDFObjectHandle::newName("/Helvetica"));
        schrift.replaceKey("/Encoding", QPDFObjectHandle::newName("/WinAnsiEncoding"));
        schrift = pdf.makeIndirectObject(schrift);
    }
    int nummer = 0;
    auto daten = std::make_shared<G4Daten>();
    {
        QPDFPageDocumentHelper dokument(pdf);
        for (const KodierteSeite &s : seiten) {
            const double b = s.breite * 72.0 / s.dpiX;
            const double h = s.hoehe * 72.0 / s.dpiY;
            // Dictionaries are built directly: parsing text for every page
            // costs more than the page data itself.
            QPDFObjectHandle bild = QPDFObjectHandle::newStream(&pdf);
            QPDFObjectHandle bildDict = QPDFObjectHandle::newDictionary();
            bildDict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
            bildDict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
            bildDict.replaceKey("/ColorSpace", QPDFObjectHandle::newName("/DeviceGray"));
            bildDict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(1));
            bildDict.replaceKey("/Width", QPDFObjectHandle::newInteger(s.breite));
            bildDict.replaceKey("/Height", QPDFObjectHandle::newInteger(s.hoehe));
            bild.replaceDict(bildDict);
            QPDFObjectHandle parms = QPDFObjectHandle::newDictionary();
            parms.replaceKey("/K", QPDFObjectHandle::newInteger(-1));
            parms.replaceKey("/Columns", QPDFObjectHandle::newInteger(s.breite));
            parms.replaceKey("/Rows", QPDFObjectHandle::newInteger(s.hoehe));
            bild = pdf.makeIndirectObject(bild);
            daten->hinzufuegen(bild.getObjGen(), s.g4);
            bild.replaceStreamData(daten, QPDFObjectHandle::newName("/CCITTFaxDecode"), parms);
            std::string inhalt = "q " + punkte(b) + " 0 0 " + punkte(h) + " 0 0 cm /Im0 Do Q\n";
            QPDFObjectHandle xobjekte = QPDFObjectHandle::newDictionary();
            xobjekte.replaceKey("/Im0", bild);
            QPDFObjectHandle ressourcen = QPDFObjectHandle::newDictionary();
            ressourcen.replaceKey("/XObject", xobjekte);
            const auto woerter = texte.constFind(nummer++);
            if (woerter != texte.cend() && !woerter->isEmpty()) {
                inhalt += textschicht(*woerter, s, h);
                QPDFObjectHandle schriften = QPDFObjectHandle::newDictionary();
                schriften.replaceKey("/F1", schrift);
                ressourcen.replaceKey("/Font", schriften);
            }
            QPDFObjectHandle seite = QPDFObjectHandle::newDictionary();
            seite.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
            seite.replaceKey("/MediaBox", QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(0, 0, b, h)));
            seite.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, inhalt));
            seite.replaceKey("/Resources", ressourcen);
            dokument.addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(seite)), false);
        }
    }
}

void einstellen(QPDFWriter &w)
{
    // The G4 data stays as it is; the content streams are a few bytes.
    w.setDecodeLevel(qpdf_dl_none);
    w.setCompressStreams(false);
}

} // namespace

void PdfDatei::schreiben(const QString &pfad, const QList<KodierteSeite> &seiten)
{
    const QString neu = pfad + QStringLiteral(".neu");
    try {
        QPDF pdf;
        pdf.emptyPDF();
        aufbauen(pdf, seiten);
        QPDFWriter w(pdf, QFile::encodeName(neu).constData());
        einstellen(w);
        w.write();
    } catch (const std::exception &e) {
        QFile::remove(neu);
        fehler(pfad, QString::fromUtf8(e.what()));
    }
    QFile::remove(pfad);
    if (!QFile::rename(neu, pfad)) {
        QFile::remove(neu);
        fehler(pfad, QStringLiteral("lässt sich nicht schreiben"));
    }
}

QByteArray PdfDatei::schreiben(const QList<KodierteSeite> &seiten, const Textschicht &text)
{
    try {
        QPDF pdf;
        pdf.emptyPDF();
        aufbauen(pdf, seiten, text);
        QPDFWriter w(pdf);
        w.setOutputMemory();
        einstellen(w);
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
    // The lossless path needs QPDF; a file QPDF cannot open (a damaged
    // cross-reference table, an encryption dictionary it does not know) may
    // still be one Poppler draws, so only what neither reads is refused.
    QString qpdfFehler;
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processMemoryFile(name.toLocal8Bit().constData(), daten.constData(), size_t(daten.size()));
        std::vector<QPDFPageObjectHelper> alle = QPDFPageDocumentHelper(pdf).getAllPages();
        if (alle.empty())
            qpdfFehler = QStringLiteral("enthält keine Seite");
        for (int i = erste; i < int(alle.size()) && (anzahl < 0 || seiten.size() < anzahl); ++i) {
            std::optional<KodierteSeite> g4 = g4Bild(alle[size_t(i)]);
            seiten.append(g4 ? *g4 : KodierteSeite{});
            if (!g4) {
                zuRastern << int(seiten.size() - 1);
                seitenNummern << i;
            }
        }
    } catch (const std::exception &e) {
        qpdfFehler = QString::fromUtf8(e.what());
    }
    if (!qpdfFehler.isEmpty()) {
        seiten.clear();
        zuRastern.clear();
        seitenNummern.clear();
    }
    if (qpdfFehler.isEmpty() && zuRastern.isEmpty())
        return seiten;

    // What our own writer did not make is drawn, in a process of its own.
    if (!qpdfFehler.isEmpty())
        return pdfraster::rastern(daten, name, {}, erste, anzahl);
    const QList<KodierteSeite> gezeichnet = pdfraster::rastern(daten, name, seitenNummern);
    for (int j = 0; j < zuRastern.size() && j < gezeichnet.size(); ++j)
        seiten[zuRastern.at(j)] = gezeichnet.at(j);
    return seiten;
}

} // namespace archiv::imaging

// The invoice XML inside a PDF (ZUGFeRD, Factur-X, XRechnung as an
// attachment), found through QPDF's embedded-file helpers.
#include "einvoice/Rechnungsleser.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFEFStreamObjectHelper.hh>
#include <qpdf/QPDFEmbeddedFileDocumentHelper.hh>
#include <qpdf/QPDFFileSpecObjectHelper.hh>

#include <variant>

namespace archiv::einvoice {

namespace {

// The names the standards give the invoice file, in order of preference.
const QStringList Rechnungsdateien{"factur-x.xml", "zugferd-invoice.xml", "ZUGFeRD-invoice.xml", "xrechnung.xml"};

// Collects a stream's decoded bytes, at most HoechstEingebettet of them: a
// compressed stream that unpacks to gigabytes stops there.
class Begrenzt : public Pipeline
{
public:
    struct ZuGross
    {
    };
    Begrenzt() : Pipeline("begrenzt", nullptr) { }
    void write(unsigned char const *daten, size_t laenge) override
    {
        if (size_t(m_daten.size()) + laenge > size_t(HoechstEingebettet))
            throw ZuGross{};
        m_daten.append(reinterpret_cast<const char *>(daten), qsizetype(laenge));
    }
    void finish() override { }
    QByteArray daten() const { return m_daten; }

private:
    QByteArray m_daten;
};

bool istPdf(const QByteArray &inhalt)
{
    return inhalt.left(1024).contains("%PDF-");
}

// The embedded invoice file's bytes, or the finding why there is none.
std::variant<std::pair<QString, QByteArray>, QString> eingebettet(const QByteArray &pdfDaten)
{
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processMemoryFile("eingang.pdf", pdfDaten.constData(), size_t(pdfDaten.size()));
        QPDFEmbeddedFileDocumentHelper anhaenge(pdf);
        if (!anhaenge.hasEmbeddedFiles())
            return QString();
        // Only the invoice names are looked at, however many files there are.
        const auto dateien = anhaenge.getEmbeddedFiles();
        for (const QString &name : Rechnungsdateien) {
            for (const auto &[schluessel, datei] : dateien) {
                const QString n = QString::fromStdString(datei->getFilename());
                if (n.compare(name, Qt::CaseInsensitive) != 0 && QString::fromStdString(schluessel).compare(name, Qt::CaseInsensitive) != 0)
                    continue;
                const QString zuGross = QStringLiteral("Die eingebettete Rechnung %1 ist größer als 20 MiB und wird nicht gelesen.").arg(n);
                QPDFEFStreamObjectHelper strom = datei->getEmbeddedFileStream();
                if (strom.getSize() > size_t(HoechstEingebettet))
                    return zuGross; // as the file says; the decoding below holds to it anyway
                Begrenzt ziel;
                bool gefiltert = false;
                try {
                    if (!strom.getObjectHandle().pipeStreamData(&ziel, &gefiltert, 0, qpdf_dl_generalized, true))
                        return QStringLiteral("Die eingebettete Rechnung %1 lässt sich nicht entpacken.").arg(n);
                } catch (const Begrenzt::ZuGross &) {
                    return zuGross;
                }
                return std::pair{n, ziel.daten()};
            }
        }
        return QString();
    } catch (const std::exception &e) {
        return QStringLiteral("Die PDF-Datei lässt sich nicht lesen: %1").arg(QString::fromLocal8Bit(e.what()));
    }
}

} // namespace

Leseergebnis lesen(const QByteArray &inhalt)
{
    if (inhalt.size() > HoechstGroesse || !istPdf(inhalt))
        return xmlLesen(inhalt);
    Leseergebnis e;
    e.art = Art::Pdf;
    const auto gefunden = eingebettet(inhalt);
    if (const auto *warum = std::get_if<QString>(&gefunden)) {
        if (!warum->isEmpty())
            e.befunde << *warum;
        return e;
    }
    const auto &[name, xml] = std::get<std::pair<QString, QByteArray>>(gefunden);
    Leseergebnis innen = xmlLesen(xml);
    e.art = innen.art == Art::Unbekannt ? Art::Pdf : Art::HybridPdf;
    e.eingebettet = innen.art;
    e.anhangName = name;
    e.rechnung = std::move(innen.rechnung);
    for (const QString &b : std::as_const(innen.befunde))
        e.befunde << name + QStringLiteral(": ") + b;
    return e;
}

} // namespace archiv::einvoice

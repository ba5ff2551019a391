#include "einvoice/Ansicht.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QDate>
#include <QPainter>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextDocument>

namespace archiv::einvoice {

QString betragText(const QString &betrag, const QString &waehrung)
{
    static const QRegularExpression Zahl(QStringLiteral("^(-?)([0-9]+)(?:\\.([0-9]+))?$"));
    const QRegularExpressionMatch m = Zahl.match(betrag.trimmed());
    if (!m.hasMatch())
        return betrag;
    QString ganz = m.captured(2);
    for (qsizetype i = ganz.size() - 3; i > 0; i -= 3)
        ganz.insert(i, u'.');
    QString nachkomma = m.captured(3);
    while (nachkomma.size() < 2)
        nachkomma += u'0';
    const QString text = m.captured(1) + ganz + u',' + nachkomma;
    return waehrung.isEmpty() ? text : text + u' ' + waehrung;
}

QString artText(const QString &typ)
{
    static const QHash<QString, QString> arten{
        {QStringLiteral("380"), QStringLiteral("Rechnung")},
        {QStringLiteral("381"), QStringLiteral("Gutschrift")},
        {QStringLiteral("384"), QStringLiteral("Korrigierte Rechnung")},
        {QStringLiteral("326"), QStringLiteral("Teilrechnung")},
        {QStringLiteral("389"), QStringLiteral("Selbst ausgestellte Rechnung")},
        {QStringLiteral("875"), QStringLiteral("Teilrechnung (Bau)")},
        {QStringLiteral("876"), QStringLiteral("Teilschlussrechnung (Bau)")},
        {QStringLiteral("877"), QStringLiteral("Schlussrechnung (Bau)")},
        {QStringLiteral("386"), QStringLiteral("Vorauszahlungsrechnung")},
        {QStringLiteral("387"), QStringLiteral("Mietrechnung")},
        {QStringLiteral("751"), QStringLiteral("Rechnungsinformation")},
    };
    return arten.value(typ, typ.isEmpty() ? QStringLiteral("Rechnung") : QStringLiteral("Rechnung (Art %1)").arg(typ));
}

namespace {

QString e(const QString &t)
{
    return t.toHtmlEscaped();
}

QString datumText(const QString &iso)
{
    const QDate d = QDate::fromString(iso, Qt::ISODate);
    return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : iso;
}

// A row of label and value, left out when the value is empty.
QString zeile(const char *name, const QString &wert)
{
    return wert.isEmpty() ? QString() : QStringLiteral("<tr><td>%1</td><td>%2</td></tr>").arg(QString::fromUtf8(name), e(wert));
}

QString partei(const char *titel, const Partei &p)
{
    QString h = QStringLiteral("<td valign=\"top\" width=\"50%\"><b>%1</b><br>%2").arg(QString::fromUtf8(titel), e(p.name));
    for (const QString &t : {p.anschrift.strasse, (p.anschrift.plz + u' ' + p.anschrift.ort).trimmed(), p.anschrift.land})
        if (!t.isEmpty())
            h += QStringLiteral("<br>") + e(t);
    if (!p.ustId.isEmpty())
        h += QStringLiteral("<br>USt-IdNr.: ") + e(p.ustId);
    if (!p.steuernummer.isEmpty())
        h += QStringLiteral("<br>Steuernummer: ") + e(p.steuernummer);
    return h + QStringLiteral("</td>");
}

} // namespace

QString alsHtml(const Rechnung &r)
{
    const QString w = r.waehrung;
    QString h = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body>");
    h += QStringLiteral("<h2>%1 %2</h2>").arg(e(artText(r.typ)), e(r.nummer));
    h += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"2\">") + zeile("Rechnungsdatum", datumText(r.datum)) +
        zeile("Fällig am", datumText(r.faellig)) + zeile("Leitweg-ID / Käuferreferenz", r.kaeuferReferenz) + zeile("Bestellung", r.bestellung) +
        zeile("Lieferschein", r.lieferschein) + zeile("Vorherige Rechnung", r.vorherigeRechnung) + zeile("Währung", w) + QStringLiteral("</table>");
    h += QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"4\"><tr>") + partei("Verkäufer", r.verkaeufer) +
        partei("Käufer", r.kaeufer) + QStringLiteral("</tr></table>");
    if (!r.positionen.isEmpty()) {
        h += QStringLiteral("<h3>Positionen</h3><table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"3\">"
                            "<tr><th>Pos.</th><th align=\"left\">Bezeichnung</th><th align=\"right\">Menge</th><th>Einheit</th>"
                            "<th align=\"right\">Netto</th></tr>");
        for (const Position &p : r.positionen) {
            QString name = e(p.name);
            if (!p.notiz.isEmpty())
                name += QStringLiteral("<br><i>") + e(p.notiz) + QStringLiteral("</i>");
            h += QStringLiteral("<tr><td>%1</td><td>%2</td><td align=\"right\">%3</td><td>%4</td><td align=\"right\">%5</td></tr>")
                     .arg(e(p.id), name, e(betragText(p.menge).replace(QLatin1String(",00"), QString())), e(p.einheit), e(betragText(p.betrag)));
        }
        h += QStringLiteral("</table>");
    }
    if (!r.steuern.isEmpty()) {
        h += QStringLiteral("<h3>Umsatzsteuer</h3><table border=\"1\" cellspacing=\"0\" cellpadding=\"3\"><tr><th>Kategorie</th>"
                            "<th align=\"right\">Satz</th><th align=\"right\">Basis</th><th align=\"right\">Steuer</th></tr>");
        for (const Steuerzeile &s : r.steuern)
            h += QStringLiteral("<tr><td>%1</td><td align=\"right\">%2 %</td><td align=\"right\">%3</td><td align=\"right\">%4</td></tr>")
                     .arg(e(s.kategorie), e(betragText(s.satz)), e(betragText(s.basis, w)), e(betragText(s.betrag, w)));
        h += QStringLiteral("</table>");
    }
    h += QStringLiteral("<h3>Summen</h3><table cellspacing=\"0\" cellpadding=\"2\">") + zeile("Summe der Positionen", betragText(r.summePositionen, w)) +
        zeile("Nettobetrag", betragText(r.summeNetto, w)) + zeile("Umsatzsteuer", betragText(r.summeSteuer, w)) +
        zeile("Bruttobetrag", betragText(r.summeBrutto, w)) + zeile("Zahlbetrag", betragText(r.zahlbetrag, w)) + QStringLiteral("</table>");
    if (!r.iban.isEmpty() || !r.zahlungsart.isEmpty())
        h += QStringLiteral("<h3>Zahlung</h3><table cellspacing=\"0\" cellpadding=\"2\">") + zeile("Zahlungsart (Code)", r.zahlungsart) +
            zeile("IBAN", r.iban) + QStringLiteral("</table>");
    if (!r.notizen.isEmpty()) {
        h += QStringLiteral("<h3>Bemerkungen</h3>");
        for (const QString &n : r.notizen)
            h += QStringLiteral("<p>") + e(n) + QStringLiteral("</p>");
    }
    if (!r.anhaenge.isEmpty()) {
        h += QStringLiteral("<h3>Anlagen (in der Originaldatei)</h3><ul>");
        for (const QString &a : r.anhaenge)
            h += QStringLiteral("<li>") + e(a) + QStringLiteral("</li>");
        h += QStringLiteral("</ul>");
    }
    return h + QStringLiteral("</body></html>");
}

QString bericht(const Leseergebnis &e)
{
    return e.befunde.join(u'\n');
}

QString alsHtml(const Leseergebnis &e)
{
    QString h;
    if (e.rechnung)
        h = alsHtml(*e.rechnung);
    else
        h = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body><h2>Keine lesbare elektronische Rechnung</h2>"
                           "<p>Die Datei ist unverändert archiviert.</p></body></html>");
    if (!e.befunde.isEmpty()) {
        QString teil = QStringLiteral("<h3>%1</h3><ul>").arg(e.rechnung ? QString::fromUtf8(MitHinweisen) : QStringLiteral("Prüfbericht"));
        for (const QString &b : e.befunde)
            teil += QStringLiteral("<li>") + b.toHtmlEscaped() + QStringLiteral("</li>");
        teil += QStringLiteral("</ul>");
        h.insert(h.lastIndexOf(QLatin1String("</body>")), teil);
    }
    return h;
}

namespace {

QString titel(const Leseergebnis &e)
{
    return e.rechnung ? artText(e.rechnung->typ) + u' ' + e.rechnung->nummer : QStringLiteral("Elektronische Rechnung");
}

} // namespace

namespace {

void pdfSchreiben(const Leseergebnis &e, QIODevice *ziel)
{
    QPdfWriter pdf(ziel);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setTitle(titel(e));
    pdf.setCreator(QStringLiteral("Tessam Archivsystem"));
    QTextDocument doc;
    doc.setHtml(alsHtml(e));
    doc.print(&pdf);
}

} // namespace

bool alsPdf(const Leseergebnis &e, const QString &pfad)
{
    QSaveFile datei(pfad);
    if (!datei.open(QIODevice::WriteOnly))
        return false;
    pdfSchreiben(e, &datei);
    return datei.commit();
}

QByteArray alsPdfDaten(const Leseergebnis &e)
{
    QByteArray daten;
    QBuffer puffer(&daten);
    puffer.open(QIODevice::WriteOnly);
    pdfSchreiben(e, &puffer);
    return daten;
}

QList<QImage> alsBilder(const Leseergebnis &e, int dpi)
{
    const QSizeF mm = QPageSize(QPageSize::A4).size(QPageSize::Millimeter);
    const QSize seite(qRound(mm.width() / 25.4 * dpi), qRound(mm.height() / 25.4 * dpi));
    QImage vorlage(seite, QImage::Format_RGB32);
    vorlage.setDotsPerMeterX(qRound(dpi / 0.0254));
    vorlage.setDotsPerMeterY(qRound(dpi / 0.0254));
    QTextDocument doc;
    // Fonts measured at the picture's resolution, so that a page of text is
    // as long as it is on paper.
    doc.documentLayout()->setPaintDevice(&vorlage);
    doc.setDocumentMargin(dpi * 0.6);
    doc.setPageSize(QSizeF(seite));
    doc.setHtml(alsHtml(e));
    // A readable invoice is a few pages; a file with thousands of lines
    // still ends somewhere.
    const int anzahl = qBound(1, doc.pageCount(), 200);
    QList<QImage> bilder;
    for (int i = 0; i < anzahl; ++i) {
        QImage bild = vorlage;
        bild.fill(Qt::white);
        QPainter p(&bild);
        p.translate(0, -i * seite.height());
        doc.drawContents(&p, QRectF(0, i * seite.height(), seite.width(), seite.height()));
        p.end();
        bilder.append(bild);
    }
    return bilder;
}

bool alsPdf(const Rechnung &r, const QString &pfad)
{
    // Written whole or not at all: a full disk leaves no half file.
    QSaveFile datei(pfad);
    if (!datei.open(QIODevice::WriteOnly))
        return false;
    {
        QPdfWriter pdf(&datei);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setTitle(artText(r.typ) + u' ' + r.nummer);
        pdf.setCreator(QStringLiteral("Tessam Archivsystem"));
        QTextDocument doc;
        doc.setHtml(alsHtml(r));
        doc.print(&pdf);
    }
    return datei.commit();
}

} // namespace archiv::einvoice

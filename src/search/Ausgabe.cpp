#include "search/Ausgabe.h"

#include "common/Dateiname.h"
#include "common/Original.h"
#include "editor/Bild.h"
#include "common/TempVerzeichnis.h"
#include "imaging/Bilddatei.h"
#include "imaging/Seitenliste.h"
#include "server/ErgebnisMenge.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"

#include <QDesktopServices>
#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>
#include <stdexcept>

namespace archiv::search::ausgabe {

namespace {

Betrachter &betrachter()
{
    static Betrachter b = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    return b;
}

void schreiben(const QString &ziel, const QByteArray &inhalt)
{
    // Written beside the target and renamed over it: a failed export leaves
    // no half file, and an existing one stays until the new one is whole.
    // (Not forced onto the disk: the archive keeps the original.)
    const QString neu = ziel + QStringLiteral(".neu");
    QFile datei(neu);
    if (!datei.open(QIODevice::WriteOnly) || datei.write(inhalt) != inhalt.size() || !datei.flush()) {
        const QString grund = datei.errorString();
        datei.remove();
        throw std::runtime_error(QStringLiteral("%1: %2").arg(ziel, grund).toStdString());
    }
    datei.close();
    if (::rename(QFile::encodeName(neu).constData(), QFile::encodeName(ziel).constData()) != 0) {
        QFile::remove(neu);
        throw std::runtime_error(QStringLiteral("%1 lässt sich nicht anlegen").arg(ziel).toStdString());
    }
}

} // namespace

std::optional<Dokument> neuestesDokument(server::Verbindung &v, const QString &dokId)
{
    server::Objekt beleg = v.OpenId(QStringLiteral("AR.Dokumente"), dokId);
    if (beleg.istLeer())
        return std::nullopt;
    server::Sammlung doks = beleg.sammlung(QStringLiteral("Doks"));
    if (doks.Count() == 0)
        return std::nullopt;
    server::Objekt element = doks.getat(doks.Count());
    server::Datenstrom dok = element.strom(QStringLiteral("dok"));
    Dokument d;
    d.belart = beleg.ref(QStringLiteral("IDBelart")).get(QStringLiteral("Belart"));
    d.belnr = beleg.get(QStringLiteral("Belnr"));
    d.dateiname = element.get(QStringLiteral("dateiname"));
    d.belegId = dokId;
    d.position = doks.Count();
    d.doktyp = common::original::endung(element.get(QStringLiteral("doktyp")));
    d.original = editor::istOriginalElement(d.doktyp, d.dateiname);
    d.inhalt = dok.Read(dok.groesse());
    if (d.inhalt.isEmpty())
        return std::nullopt;
    return d;
}

einvoice::Original alsOriginal(const Dokument &d)
{
    return einvoice::original(d.dateiname.isEmpty() ? exportName(d, OriginalFormat) : d.dateiname, d.doktyp, d.inhalt);
}

QString exportName(const Dokument &d, const QString &format)
{
    const QString endung = format == QLatin1String(OriginalFormat) ? d.doktyp : format;
    return common::dateiname(d.belart + u'_' + d.belnr) + u'.' + endung;
}

void textHolen(server::Verbindung &v, Dokument &d)
{
    d.text.clear();
    if (d.original || d.belegId.isEmpty() || d.position <= 0)
        return;
    try {
        server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("VolltextSeiten"));
        rs.Execute(QStringList{d.belegId, QString::number(d.position)});
        while (rs.Next()) {
            d.textBasis = rs.GetData(2).toInt();
            QList<imaging::Textwort> woerter;
            for (const QJsonValue &w : QJsonDocument::fromJson(rs.GetData(3).toUtf8()).array()) {
                const QJsonArray a = w.toArray();
                woerter.append({a.at(4).toString(), QRect(a.at(0).toInt(), a.at(1).toInt(), a.at(2).toInt(), a.at(3).toInt())});
            }
            d.text.insert(rs.GetData(1).toInt() - 1, woerter);
        }
        rs.Close();
    } catch (const server::ServerFehler &e) {
        // The export goes on without a text layer.
        qWarning().noquote() << "Textschicht:" << e.meldung();
        d.text.clear();
    }
}

void exportieren(const Dokument &d, const QString &format, const QString &ziel)
{
    if (format == QLatin1String("pdf") && !d.original && !d.text.isEmpty()) {
        const QList<imaging::KodierteSeite> seiten = imaging::Bilddatei::lesen(d.inhalt, QStringLiteral("dok.") + d.doktyp);
        // Boxes in each page's own pixels.
        imaging::Textschicht text;
        for (auto it = d.text.cbegin(); it != d.text.cend(); ++it) {
            if (it.key() < 0 || it.key() >= seiten.size())
                continue;
            const double skala = d.textBasis > 0 ? double(seiten.at(it.key()).dpiX) / d.textBasis : 1.0;
            QList<imaging::Textwort> woerter;
            for (const imaging::Textwort &w : it.value())
                woerter.append({w.text, QRect(qRound(w.box.x() * skala), qRound(w.box.y() * skala), qRound(w.box.width() * skala),
                                              qRound(w.box.height() * skala))});
            text.insert(it.key(), woerter);
        }
        schreiben(ziel, imaging::PdfDatei::schreiben(seiten, text));
        return;
    }
    if (format == d.doktyp || format == QLatin1String(OriginalFormat)) {
        schreiben(ziel, d.inhalt);
        return;
    }
    if (d.original) {
        const einvoice::Original o = alsOriginal(d);
        if (format == QLatin1String("pdf"))
            schreiben(ziel, einvoice::alsPdfDatei(o));
        else
            schreiben(ziel, imaging::Bilddatei::kodieren(einvoice::druckseiten(o).alle(), imaging::MehrseitigesTiff));
        return;
    }
    const QList<imaging::KodierteSeite> seiten = imaging::Bilddatei::lesen(d.inhalt, QStringLiteral("dok.") + d.doktyp);
    schreiben(ziel, imaging::Bilddatei::kodieren(seiten, format == QLatin1String("pdf") ? imaging::Pdf : imaging::MehrseitigesTiff));
}

bool pdfZeigen(const Dokument &d)
{
    const QString pfad = common::tempDatei(common::dateiname(d.belart + d.belnr) + QStringLiteral(".pdf"));
    schreiben(pfad, d.inhalt);
    QFile::setPermissions(pfad, QFile::ReadOwner | QFile::WriteOwner);
    return betrachter()(QUrl::fromLocalFile(pfad));
}

Betrachter setzeBetrachter(Betrachter b)
{
    Betrachter alt = betrachter();
    betrachter() = std::move(b);
    return alt;
}

} // namespace archiv::search::ausgabe

#include "search/Ausgabe.h"

#include "common/Dateiname.h"
#include "common/Original.h"
#include "editor/Bild.h"
#include "common/TempVerzeichnis.h"
#include "imaging/Bilddatei.h"
#include "imaging/Seitenliste.h"
#include "server/Verbindung.h"

#include <QDesktopServices>
#include <QFile>

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

void exportieren(const Dokument &d, const QString &format, const QString &ziel)
{
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

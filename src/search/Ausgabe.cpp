#include "search/Ausgabe.h"

#include "common/Dateiname.h"
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
    d.doktyp = element.get(QStringLiteral("doktyp")) == QLatin1String("pdf") ? QStringLiteral("pdf") : QStringLiteral("tif");
    d.inhalt = dok.Read(dok.groesse());
    if (d.inhalt.isEmpty())
        return std::nullopt;
    return d;
}

QString exportName(const Dokument &d, const QString &format)
{
    return common::dateiname(d.belart + u'_' + d.belnr) + u'.' + format;
}

void exportieren(const Dokument &d, const QString &format, const QString &ziel)
{
    if (format == d.doktyp) {
        schreiben(ziel, d.inhalt);
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

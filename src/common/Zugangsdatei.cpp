#include "common/Zugangsdatei.h"

#include <QFile>
#include <QSaveFile>

namespace archiv::common {

namespace {

// More than an enrolment file ever holds: a file this large is another one.
constexpr qint64 MaxGroesse = 16 * 1024;

} // namespace

bool Zugangsdatei::schreiben(const QString &pfad, QString *fehler) const
{
    QSaveFile f(pfad);
    if (!f.open(QIODevice::WriteOnly) || !f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        *fehler = QStringLiteral("%1 lässt sich nicht schreiben: %2").arg(pfad, f.errorString());
        return false;
    }
    const QString text = QStringLiteral("# Zugang zum Archivserver für den Arbeitsplatz %1\n"
                                        "# Im Programm Archiv: Einstellungen → Server → \"Zugangsdatei…\", oder archiv --zugangsdatei DATEI\n"
                                        "adresse=%2\nport=%3\nschluessel=%4\n")
                             .arg(schluessel.name, adresse, port, schluessel.text());
    f.write(text.toUtf8());
    if (!f.commit()) {
        *fehler = QStringLiteral("%1 lässt sich nicht schreiben: %2").arg(pfad, f.errorString());
        return false;
    }
    return true;
}

std::optional<Zugangsdatei> Zugangsdatei::lesen(const QString &pfad, QString *fehler)
{
    QFile f(pfad);
    if (!f.open(QIODevice::ReadOnly)) {
        *fehler = QStringLiteral("Die Zugangsdatei %1 lässt sich nicht lesen: %2").arg(pfad, f.errorString());
        return std::nullopt;
    }
    if (f.size() > MaxGroesse) {
        *fehler = QStringLiteral("%1 ist keine Zugangsdatei (zu groß).").arg(pfad);
        return std::nullopt;
    }
    return ausText(f.read(MaxGroesse), fehler);
}

std::optional<Zugangsdatei> Zugangsdatei::ausText(const QByteArray &text, QString *fehler)
{
    Zugangsdatei z;
    QString schluessel;
    for (const QByteArray &roh : text.left(MaxGroesse).split('\n')) {
        const QString zeile = QString::fromUtf8(roh).trimmed();
        if (zeile.isEmpty() || zeile.startsWith(u'#'))
            continue;
        const qsizetype gleich = zeile.indexOf(u'=');
        const QString name = zeile.left(gleich).trimmed().toLower();
        const QString wert = gleich < 0 ? QString() : zeile.mid(gleich + 1).trimmed();
        if (name == QLatin1String("adresse"))
            z.adresse = wert;
        else if (name == QLatin1String("port"))
            z.port = wert;
        else if (name == QLatin1String("schluessel") || name == QStringLiteral("schlüssel"))
            schluessel = wert;
    }
    bool ok = false;
    const int port = z.port.toInt(&ok);
    const auto schl = Zugangsschluessel::lesen(schluessel);
    if (z.adresse.isEmpty() || !ok || port < 1 || port > 65535 || !schl) {
        *fehler = QStringLiteral("Das ist keine vollständige Zugangsdatei: sie braucht Adresse, Port und Zugangsschlüssel des "
                                 "Archivservers, wie \"archivd client add\" sie schreibt.");
        return std::nullopt;
    }
    z.schluessel = *schl;
    return z;
}

} // namespace archiv::common

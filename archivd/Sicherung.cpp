#include "Sicherung.h"

#include "Fehler.h"
#include "common/Original.h"
#include "storage/BlobSpeicher.h"
#include "storage/Datenbank.h"
#include "storage/Verwaltungsspeicher.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <unistd.h>

namespace archiv::archivd {

namespace {

constexpr const char *Manifest = "MANIFEST.sha256";

QString csvFeld(const QString &wert)
{
    if (!wert.contains(u';') && !wert.contains(u'"') && !wert.contains(u'\n') && !wert.contains(u'\r'))
        return wert;
    QString w = wert;
    w.replace(u'"', QStringLiteral("\"\""));
    return u'"' + w + u'"';
}

QString csvZeile(const QStringList &felder)
{
    QStringList f;
    for (const QString &w : felder)
        f << csvFeld(w);
    return f.join(u';') + QStringLiteral("\r\n");
}

// One volume being written.
class Band
{
public:
    Band(const QString &ordner, QString name) : m_name(std::move(name)), m_dir(QDir(ordner).filePath(m_name))
    {
        if (QDir(m_dir).exists())
            throw AnfrageFehler::ungueltig(QStringLiteral("%1 gibt es schon").arg(m_dir));
        if (!QDir().mkpath(m_dir))
            throw AnfrageFehler::speicher(QStringLiteral("%1 lässt sich nicht anlegen").arg(m_dir));
        m_belegeCsv = csvZeile({"id", "firma", "belart", "belnr", "datum", "zeit", "privatjn", "text", "dateien", "storno"});
        m_werteCsv = csvZeile({"beleg", "firma", "eigenschaft", "wert"});
        m_dokumenteCsv = csvZeile({"beleg", "nr", "doktyp", "doktext", "daterst", "dateiname", "bericht", "datei", "sha256"});
    }

    const QString &name() const { return m_name; }
    qint64 bytes() const { return m_bytes; }
    const QList<qint64> &belege() const { return m_belege; }
    bool leer() const { return m_belege.isEmpty(); }

    // Writes a Beleg's files; false (and nothing of it kept in the volume's
    // lists) when one of its files cannot be read back as stored.
    bool aufnehmen(BlobSpeicher &blobs, const Verwaltungsspeicher::Sicherungsbeleg &b, QString *fehler)
    {
        QStringList pfade;
        QList<QByteArray> summen;
        for (const auto &d : b.dateien) {
            const QString pfad = QStringLiteral("belege/%1/%2.%3").arg(b.id).arg(d.nr).arg(common::original::endung(d.doktyp));
            const std::optional<QByteArray> summe = dateiSchreiben(blobs, d.blob, pfad);
            if (!summe || (!d.blob.isEmpty() && *summe != d.blob.toLatin1())) {
                QDir(QDir(m_dir).filePath(QStringLiteral("belege/%1").arg(b.id))).removeRecursively();
                *fehler = QStringLiteral("Beleg %1: Dokument %2 ist im Archiv %3").arg(b.id).arg(d.nr).arg(summe ? "beschädigt" : "nicht lesbar");
                return false;
            }
            pfade << pfad;
            summen << *summe;
        }
        m_bytes += b.bytes();
        for (qsizetype i = 0; i < pfade.size(); ++i)
            m_manifest += summen.at(i) + "  " + pfade.at(i).toUtf8() + '\n';
        m_belegeCsv += csvZeile(QStringList{QString::number(b.id)} + b.kopf + QStringList{pfade.join(u' '), b.storno});
        for (qsizetype i = 0; i < b.dateien.size(); ++i) {
            const auto &d = b.dateien.at(i);
            m_dokumenteCsv += csvZeile({QString::number(b.id), QString::number(d.nr), d.doktyp, d.doktext, d.daterst, d.dateiname, d.bericht,
                                        d.blob.isEmpty() ? QString() : pfade.at(i), d.blob});
        }
        for (const auto &[eigenschaft, wert] : b.werte)
            m_werteCsv += csvZeile({QString::number(b.id), b.kopf.value(0), eigenschaft, wert});
        m_belege << b.id;
        return true;
    }

    // The lists and the manifest, and everything on the disk for good.
    void abschliessen()
    {
        for (const auto &[name, inhalt] : {std::pair{QStringLiteral("belege.csv"), m_belegeCsv}, std::pair{QStringLiteral("indexwerte.csv"), m_werteCsv},
                                           std::pair{QStringLiteral("dokumente.csv"), m_dokumenteCsv}}) {
            const QByteArray daten = inhalt.toUtf8();
            schreiben(name, daten);
            m_manifest += QCryptographicHash::hash(daten, QCryptographicHash::Sha256).toHex() + "  " + name.toUtf8() + '\n';
        }
        QFile manifest(QDir(m_dir).filePath(QLatin1String(Manifest)));
        if (!manifest.open(QIODevice::WriteOnly) || manifest.write(m_manifest) != m_manifest.size() || !manifest.flush())
            throw AnfrageFehler::speicher(QStringLiteral("%1: %2").arg(manifest.fileName(), manifest.errorString()));
        if (::syncfs(manifest.handle()) != 0)
            throw AnfrageFehler::speicher(QStringLiteral("%1 lässt sich nicht auf die Platte bringen").arg(m_dir));
    }

private:
    std::optional<QByteArray> dateiSchreiben(BlobSpeicher &blobs, const QString &blob, const QString &pfad)
    {
        const QString ganz = QDir(m_dir).filePath(pfad);
        QDir().mkpath(QFileInfo(ganz).absolutePath());
        QFile datei(ganz);
        if (!datei.open(QIODevice::WriteOnly))
            throw AnfrageFehler::speicher(QStringLiteral("%1: %2").arg(ganz, datei.errorString()));
        QCryptographicHash summe(QCryptographicHash::Sha256);
        bool geschrieben = true;
        const bool da = blob.isEmpty() || blobs.lesen(blob, 0, std::numeric_limits<qint64>::max() / 2, [&](const QByteArray &teil) {
            summe.addData(teil);
            geschrieben = datei.write(teil) == teil.size();
            return geschrieben;
        });
        if (!geschrieben || !datei.flush())
            throw AnfrageFehler::speicher(QStringLiteral("%1: %2").arg(ganz, datei.errorString()));
        if (!da)
            return std::nullopt;
        return summe.result().toHex();
    }

    void schreiben(const QString &name, const QByteArray &daten)
    {
        QFile f(QDir(m_dir).filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(daten) != daten.size() || !f.flush())
            throw AnfrageFehler::speicher(QStringLiteral("%1: %2").arg(f.fileName(), f.errorString()));
    }

    QString m_name;
    QString m_dir;
    qint64 m_bytes = 0;
    QList<qint64> m_belege;
    QString m_belegeCsv;
    QString m_werteCsv;
    QString m_dokumenteCsv;
    QByteArray m_manifest;
};

} // namespace

Sicherungsbericht sichern(Datenbank &db, const Sicherungsauftrag &auftrag, const std::function<void(const QString &)> &fortschritt)
{
    // Changes after this moment are due for the next backup.
    // (In UTC, as the Belege's change marks: a clock turned back in autumn
    // must not make a change look older than the backup.)
    const QDateTime beginn = QDateTime::currentDateTime();
    const QString zeitpunkt = beginn.toUTC().toString(Qt::ISODateWithMs);
    const QString stamm = auftrag.name + u'-' + beginn.toString(QStringLiteral("yyyyMMdd-HHmmss")) + u'-';
    Verwaltungsspeicher verwaltung(db);
    BlobSpeicher blobs(db);
    Sicherungsbericht bericht;
    std::unique_ptr<Band> band;
    QElapsedTimer uhr;
    uhr.start();
    qint64 zuletzt = -1000;

    const auto bandAbschliessen = [&] {
        if (!band || band->leer())
            return;
        band->abschliessen();
        Transaktion t(db);
        verwaltung.sicherungVermerken(band->belege(), band->name(), zeitpunkt);
        t.bestaetigen();
        bericht.baende << band->name();
        band.reset();
    };

    qint64 ab = 0;
    for (;;) {
        const QList<Verwaltungsspeicher::Sicherungsbeleg> belege = verwaltung.faelligeBelege(ab, 200);
        if (belege.isEmpty())
            break;
        for (const auto &b : belege) {
            ab = b.id;
            if (band && !band->leer() && band->bytes() + b.bytes() > auftrag.bandGroesse)
                bandAbschliessen();
            if (!band)
                band = std::make_unique<Band>(auftrag.ziel, stamm + QString::number(bericht.baende.size() + 1));
            QString fehler;
            if (!band->aufnehmen(blobs, b, &fehler)) {
                bericht.fehler << fehler;
                continue;
            }
            ++bericht.belege;
            bericht.bytes += b.bytes();
            if (fortschritt && uhr.elapsed() - zuletzt >= 500) {
                zuletzt = uhr.elapsed();
                const double mb = double(bericht.bytes) / 1e6;
                fortschritt(QStringLiteral("Band %1: %2 Belege, %3 MB, %4 MB/s")
                                .arg(bericht.baende.size() + 1)
                                .arg(bericht.belege)
                                .arg(mb, 0, 'f', 1)
                                .arg(mb / qMax(0.001, uhr.elapsed() / 1000.0), 0, 'f', 1));
            }
        }
    }
    bandAbschliessen();
    if (band) // a volume that took no Beleg at all
        QDir(QDir(auftrag.ziel).filePath(band->name())).removeRecursively();
    return bericht;
}

Pruefbericht pruefen(const QString &ordner)
{
    Pruefbericht bericht;
    QFile manifest(QDir(ordner).filePath(QLatin1String(Manifest)));
    if (!manifest.open(QIODevice::ReadOnly)) {
        bericht.fehler = QStringLiteral("%1 fehlt oder ist nicht lesbar").arg(manifest.fileName());
        return bericht;
    }
    const QDir basis(ordner);
    while (!manifest.atEnd()) {
        const QByteArray zeile = manifest.readLine().trimmed();
        if (zeile.isEmpty())
            continue;
        const qsizetype trenner = zeile.indexOf("  ");
        const QString pfad = QString::fromUtf8(zeile.mid(trenner + 2));
        if (trenner != 64 || pfad.contains(QLatin1String("..")) || QDir::isAbsolutePath(pfad)) {
            bericht.fehler = QStringLiteral("%1: unlesbare Zeile \"%2\"").arg(manifest.fileName(), QString::fromUtf8(zeile.left(120)));
            return bericht;
        }
        ++bericht.dateien;
        QFile datei(basis.filePath(pfad));
        if (!datei.open(QIODevice::ReadOnly)) {
            bericht.fehlend << pfad;
            continue;
        }
        QCryptographicHash summe(QCryptographicHash::Sha256);
        summe.addData(&datei);
        if (summe.result().toHex() != zeile.left(64))
            bericht.beschaedigt << pfad;
    }
    return bericht;
}

} // namespace archiv::archivd

// The completeness test of one type and business year holding 100 000
// Belege (a demo archive with a year of Eingangsrechnungen added, every
// 1000th number missing, their files taken from the demo's): without and
// with reading every file back, beside sha256sum over the same files.
#include "BenchServer.h"
#include "server/KlassenMethoden.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

using namespace archiv;

namespace {

QTextStream aus(stdout);

// Runs the test to its end; the last line and the number of lines.
QString pruefen(server::Verbindung &v, const QString &typ, const QString &jahr, bool dateien, int *zeilen)
{
    server::KlassenMethoden m = v.ClassMethods(QStringLiteral("AR.Dokumente"));
    const QString auftrag =
        m.call(QStringLiteral("VTestStart"), {typ, jahr, QStringLiteral("1"), dateien ? QStringLiteral("1") : QStringLiteral("0")}).wert();
    *zeilen = 0;
    for (;;) {
        const QString r = m.call(QStringLiteral("VTestErg"), {auftrag}).wert();
        if (!r.section(u'|', 1).isEmpty())
            ++*zeilen;
        if (r.startsWith(QLatin1String("OK|")) || r.startsWith(QLatin1String("ERR|")))
            return r;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qputenv("ARCHIVD_BIN", ARCHIVD_PFAD);
    QTemporaryDir arbeit;
    const QString pfad = arbeit.filePath(QStringLiteral("archiv.sqlite"));
    if (test::ArchivServer::archivd(
            {QStringLiteral("demo"), QStringLiteral("--db"), pfad, QStringLiteral("--belege"), QStringLiteral("5000")}) != 0)
        return 1;
    const QString typ = QStringLiteral("ER");
    const QString jahr = QStringLiteral("2030");
    constexpr int Belege = 100000;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fuellen"));
        db.setDatabaseName(pfad);
        if (!db.open())
            return 1;
        QSqlQuery q(db);
        q.exec(QStringLiteral("SELECT id FROM ar_belart WHERE firma = 1 AND belart = 'ER'"));
        q.next();
        const qint64 belart = q.value(0).toLongLong();
        QList<std::pair<QString, qint64>> blobs;
        q.exec(QStringLiteral("SELECT DISTINCT dok_blob, dok_size FROM ar_dokuments WHERE dok_blob IS NOT NULL"));
        while (q.next())
            blobs.append({q.value(0).toString(), q.value(1).toLongLong()});
        db.transaction();
        QSqlQuery beleg(db), element(db);
        beleg.prepare(
            QStringLiteral("INSERT INTO ar_dokumente (firma, idbelart, belnr, datum, zeit, picsw) VALUES (1, ?, ?, ?, '10:00:00', 1)"));
        element.prepare(
            QStringLiteral("INSERT INTO ar_dokuments (parent_id, position, doktyp, dok_blob, dok_size) VALUES (?, 1, 'tif', ?, ?)"));
        const QDate anfang(2030, 1, 1);
        for (int i = 0, nr = 1; i < Belege; ++i, ++nr) {
            if (nr % 1000 == 0)
                ++nr; // a gap
            beleg.addBindValue(belart);
            beleg.addBindValue(QString::number(nr));
            beleg.addBindValue(anfang.addDays(i * 364 / Belege).toString(Qt::ISODate));
            beleg.exec();
            const auto &[blob, groesse] = blobs.at(i % blobs.size());
            element.addBindValue(beleg.lastInsertId());
            element.addBindValue(blob);
            element.addBindValue(groesse);
            element.exec();
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fuellen"));

    // The files of the type and year, written out for sha256sum.
    QTemporaryDir ordner;
    qint64 bytes = 0;
    int dateien = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
        db.setDatabaseName(pfad);
        if (!db.open())
            return 1;
        QSqlQuery q(db);
        q.exec(QStringLiteral("SELECT DISTINCT e.dok_blob FROM ar_dokuments e JOIN ar_dokumente d ON d.id = e.parent_id "
                              "JOIN ar_belart b ON b.id = d.idbelart WHERE b.firma = 1 AND b.belart = '%1' AND d.datum >= '%2-01-01' "
                              "AND d.datum < '%3-01-01' AND e.dok_blob IS NOT NULL")
                   .arg(typ, jahr)
                   .arg(jahr.toInt() + 1));
        QStringList ids;
        while (q.next())
            ids << q.value(0).toString();
        for (const QString &id : ids) {
            QFile f(QDir(ordner.path()).filePath(id));
            f.open(QIODevice::WriteOnly);
            QSqlQuery t(db);
            t.exec(QStringLiteral("SELECT data FROM blob_teile WHERE sha256 = '%1' ORDER BY nr").arg(id));
            while (t.next())
                bytes += f.write(t.value(0).toByteArray());
            ++dateien;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));

    const auto server = bench::archivServer(pfad);
    if (!server)
        return 1;
    server::Verbindung v;
    if (!v.Connect(server->verbindungstext()))
        return 1;
    int zeilen = 0;
    QElapsedTimer uhr;
    uhr.start();
    const QString ohne = pruefen(v, typ, jahr, false, &zeilen);
    aus << "completeness test " << typ << " " << jahr << " without file checks: " << uhr.nsecsElapsed() / 1e6 << " ms, " << zeilen
        << " lines; " << ohne << Qt::endl;
    uhr.restart();
    const QString mit = pruefen(v, typ, jahr, true, &zeilen);
    const double mitMs = uhr.nsecsElapsed() / 1e6;
    aus << "with every file read and hashed: " << mitMs << " ms; " << mit << Qt::endl;

    QProcess sha;
    sha.setWorkingDirectory(ordner.path());
    uhr.restart();
    sha.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("ls | xargs sha256sum > /dev/null")});
    sha.waitForFinished(-1);
    const double shaMs = uhr.nsecsElapsed() / 1e6;
    aus << dateien << " distinct files, " << bytes / 1048576.0 << " MiB; sha256sum over them: " << shaMs << " ms ("
        << bytes / 1048576.0 / (shaMs / 1000) << " MiB/s)" << Qt::endl;
    return 0;
}

#include "common/TempVerzeichnis.h"

#include <QDir>
#include <QMutex>
#include <QTemporaryFile>

#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace archiv::common {

namespace {

bool istPrivat(const QByteArray &pfad)
{
    struct stat st
    { };
    if (::lstat(pfad.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

} // namespace

QString privatesVerzeichnisAnlegen(const QString &wurzel)
{
    const QByteArray basis = QFile::encodeName(wurzel + QStringLiteral("/archiv-%1").arg(::getuid()));
    if (::mkdir(basis.constData(), 0700) == 0 || istPrivat(basis))
        if (istPrivat(basis))
            return QFile::decodeName(basis);
    // Someone else holds the predictable name: fall back to a random one.
    QByteArray muster = basis + "-XXXXXX";
    if (::mkdtemp(muster.data()) && istPrivat(muster))
        return QFile::decodeName(muster);
    throw std::runtime_error("Kein privates temporäres Verzeichnis: " + basis.toStdString());
}

QString privatesTempVerzeichnis()
{
    static QMutex mutex;
    static QString verzeichnis;
    QMutexLocker lock(&mutex);
    if (verzeichnis.isEmpty() || !istPrivat(QFile::encodeName(verzeichnis)))
        verzeichnis = privatesVerzeichnisAnlegen(QDir::tempPath());
    return verzeichnis;
}

QString tempDatei(const QString &name)
{
    return privatesTempVerzeichnis() + u'/' + name;
}

Arbeitsdatei::Arbeitsdatei(const QString &stamm, const QString &endung)
{
    QTemporaryFile datei(privatesTempVerzeichnis() + u'/' + stamm + QStringLiteral("-XXXXXX.") + endung);
    datei.setAutoRemove(false);
    if (!datei.open())
        throw std::runtime_error("Keine Arbeitsdatei im temporären Verzeichnis: " + datei.errorString().toStdString());
    m_pfad = datei.fileName();
}

Arbeitsdatei::~Arbeitsdatei()
{
    QFile::remove(m_pfad);
}

} // namespace archiv::common

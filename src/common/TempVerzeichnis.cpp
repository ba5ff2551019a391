#include "common/TempVerzeichnis.h"

#include <QDir>
#include <QMutex>

#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace archiv::common {

namespace {

bool istPrivat(const QByteArray &pfad)
{
    struct stat st {};
    if (::lstat(pfad.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

QString anlegen()
{
    const QByteArray basis = QFile::encodeName(QDir::tempPath() + QStringLiteral("/archiv-%1").arg(::getuid()));
    if (::mkdir(basis.constData(), 0700) == 0 || istPrivat(basis))
        if (istPrivat(basis))
            return QFile::decodeName(basis);
    // Someone else holds the predictable name: fall back to a random one.
    QByteArray muster = basis + "-XXXXXX";
    if (::mkdtemp(muster.data()) && istPrivat(muster))
        return QFile::decodeName(muster);
    throw std::runtime_error("Kein privates temporäres Verzeichnis: " + basis.toStdString());
}

} // namespace

QString privatesTempVerzeichnis()
{
    static QMutex mutex;
    static QString verzeichnis;
    QMutexLocker lock(&mutex);
    if (verzeichnis.isEmpty() || !istPrivat(QFile::encodeName(verzeichnis)))
        verzeichnis = anlegen();
    return verzeichnis;
}

QString tempDatei(const QString &name)
{
    return privatesTempVerzeichnis() + u'/' + name;
}

} // namespace archiv::common

#include "scan/Scanspeicher.h"

#include "common/Feld.h"

using archiv::common::Feld;
#include "server/KlassenMethoden.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"
#include "server/Zugang.h"

#include <QDebug>

namespace archiv::scan {

QList<Scanseite> scansNehmen(server::Verbindung &v, const QString &belegnummer)
{
    const server::MethodenErgebnis ergebnis = v.ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("Nehmen"), {belegnummer});
    QList<Scanseite> seiten;
    for (int i = 1; i <= ergebnis.Count(); ++i)
        if (const QString zeile = ergebnis.element(i); !zeile.isEmpty())
            seiten.append({Feld(zeile, QStringLiteral("|"), 1).toInt(), Feld(zeile, QStringLiteral("|"), 2), Feld(zeile, QStringLiteral("|"), 3)});
    return seiten;
}

void scansFreigeben(server::Verbindung &v, const QStringList &ids)
{
    if (ids.isEmpty() || !v.IsConnected())
        return;
    const server::OhneAnmeldung ohne;
    try {
        // In portions the server takes in one argument.
        constexpr qsizetype Portion = 500;
        for (qsizetype i = 0; i < ids.size(); i += Portion)
            v.ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("Freigeben"), {ids.mid(i, Portion).join(u',')});
    } catch (const server::ServerFehler &e) {
        qWarning().noquote() << "Scans nicht freigegeben:" << e.meldung();
    }
}

} // namespace archiv::scan

#include "Registry.h"

#include "Fehler.h"
#include "storage/abfragen/Abfragen.h"

namespace archiv::archivd {

namespace {

template<typename E>
const E &finden(const QList<E> &liste, const QString &klasse, const QString &name, int argumente, const char *was)
{
    for (const E &e : liste) {
        if (e.klasse.compare(klasse, Qt::CaseInsensitive) != 0 || e.name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (argumente < e.minArgs || argumente > e.maxArgs) {
            const QString erwartet = e.minArgs == e.maxArgs ? QString::number(e.minArgs)
                                                            : QStringLiteral("%1 bis %2").arg(e.minArgs).arg(e.maxArgs);
            throw AnfrageFehler::ungueltig(QStringLiteral("%1 \"%2\" von %3 erwartet %4 Argumente, nicht %5")
                                               .arg(QLatin1String(was), e.name, e.klasse, erwartet)
                                               .arg(argumente));
        }
        return e;
    }
    throw AnfrageFehler::unbekannt(QStringLiteral("unknown_%1").arg(QLatin1String(was)),
                                   QStringLiteral("%1 \"%2\" von %3 gibt es nicht").arg(QLatin1String(was), name, klasse));
}

} // namespace

const Registry &Registry::standard()
{
    static const Registry r = [] {
        Registry neu;
        registriereAlle(neu);
        return neu;
    }();
    return r;
}

void Registry::abfrage(AbfrageEintrag e)
{
    m_abfragen.append(std::move(e));
}

void Registry::methode(MethodenEintrag e)
{
    m_methoden.append(std::move(e));
}

const AbfrageEintrag &Registry::findeAbfrage(const QString &klasse, const QString &name, int argumente) const
{
    return finden(m_abfragen, klasse, name, argumente, "query");
}

const MethodenEintrag &Registry::findeMethode(const QString &klasse, const QString &name, int argumente) const
{
    return finden(m_methoden, klasse, name, argumente, "method");
}

} // namespace archiv::archivd

#include "storage/ObjektSpeicher.h"
#include "Zugang.h"
#include "storage/Zugangsspeicher.h"

#include "Fehler.h"
#include "common/Faltung.h"
#include "common/Kennungen.h"
#include "model/Modell.h"
#include "storage/Datenbank.h"
#include "volltext/Volltext.h"
#include "storage/Hochladungen.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QSet>
#include <QTime>

#include <mutex>

namespace archiv::archivd {

namespace {

QString alsText(const Mitglied &m, const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return {};
    if (m.typ == Typ::Zahl || m.art == MitgliedArt::Referenz)
        return QString::number(v.toLongLong());
    return v.toString();
}

template<typename Map>
bool nenntMitglied(const Map &m, QStringView name)
{
    for (auto it = m.cbegin(); it != m.cend(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

[[noreturn]] void keinObjekt(const Klasse &k, const QString &id)
{
    throw AnfrageFehler::unbekannt(QStringLiteral("unknown_id"), QStringLiteral("%1 mit der Id \"%2\" gibt es nicht").arg(k.name, id));
}

} // namespace

const ObjektSpeicher::Auswahl &ObjektSpeicher::auswahl(const Klasse &k)
{
    std::lock_guard lock(m_auswahlMutex);
    auto it = m_auswahl.find(&k);
    if (it != m_auswahl.end())
        return it->second;
    Auswahl a;
    QStringList spalten{QStringLiteral("id"), QStringLiteral("version")};
    for (const Mitglied &m : k.mitglieder) {
        switch (m.art) {
        case MitgliedArt::Eigenschaft:
        case MitgliedArt::Referenz:
            spalten << m.spalte();
            a.mitglieder << &m;
            break;
        case MitgliedArt::Strom:
            spalten << m.spalte() + QStringLiteral("_blob") << m.spalte() + QStringLiteral("_size");
            a.mitglieder << &m << &m;
            break;
        case MitgliedArt::Sammlung: break;
        }
    }
    a.spalten = spalten.join(QStringLiteral(", "));
    return m_auswahl.emplace(&k, std::move(a)).first->second;
}

QString ObjektSpeicher::idAusZeile(const Klasse &k, const QVariantList &zeile)
{
    if (!k.hatSchluessel())
        return QString::number(zeile.at(0).toLongLong());
    const Auswahl &a = auswahl(k);
    QStringList teile;
    for (const QString &s : k.schluessel)
        for (int i = 0; i < a.mitglieder.size(); ++i)
            if (a.mitglieder.at(i)->name == s) {
                teile << alsText(*a.mitglieder.at(i), zeile.at(i + 2));
                break;
            }
    return teile.join(QStringLiteral("||"));
}

std::optional<qint64> ObjektSpeicher::zeile(const Klasse &k, const QString &id)
{
    if (!k.hatSchluessel()) {
        bool ok = false;
        const qint64 n = id.toLongLong(&ok);
        if (!ok || n <= 0)
            return std::nullopt;
        if (!m_db.wert(QStringLiteral("SELECT id FROM %1 WHERE id = ?").arg(k.tabelle), {n}).isValid())
            return std::nullopt;
        return n;
    }
    const QStringList teile = id.split(QStringLiteral("||"));
    if (teile.size() != k.schluessel.size())
        return std::nullopt;
    QStringList bedingungen;
    QVariantList werte;
    for (int i = 0; i < teile.size(); ++i) {
        const Mitglied *m = k.mitglied(k.schluessel.at(i));
        if (m->typ == Typ::Zahl) {
            bool ok = false;
            const qint64 n = teile.at(i).toLongLong(&ok);
            if (!ok)
                return std::nullopt;
            werte << n;
        } else {
            werte << teile.at(i);
        }
        bedingungen << m->spalte() + QStringLiteral(" = ?");
    }
    const QVariant v = m_db.wert(QStringLiteral("SELECT id FROM %1 WHERE %2").arg(k.tabelle, bedingungen.join(QStringLiteral(" AND "))),
                                 werte);
    if (!v.isValid())
        return std::nullopt;
    return v.toLongLong();
}

QString ObjektSpeicher::oeffentlicheId(const Klasse &k, qint64 z)
{
    if (!k.hatSchluessel())
        return QString::number(z);
    const auto zeilen = m_db.abfragen(QStringLiteral("SELECT %1 FROM %2 WHERE id = ?").arg(auswahl(k).spalten, k.tabelle), {z});
    return zeilen.isEmpty() ? QString() : idAusZeile(k, zeilen.first());
}

protokoll::ObjektDaten ObjektSpeicher::ausZeile(const Klasse &k, const QVariantList &zeile, bool mitSammlungen)
{
    const Auswahl &a = auswahl(k);
    protokoll::ObjektDaten d;
    d.klasse = k.name;
    d.id = idAusZeile(k, zeile);
    d.version = zeile.at(1).toLongLong();
    for (int i = 0; i < a.mitglieder.size(); ++i) {
        const Mitglied &m = *a.mitglieder.at(i);
        const QVariant &v = zeile.at(i + 2);
        if (m.geschuetzt)
            continue;
        if (m.art == MitgliedArt::Eigenschaft) {
            d.props.insert(m.name, alsText(m, v));
        } else if (m.art == MitgliedArt::Referenz) {
            if (v.isNull() || !mitSammlungen)
                continue;
            const Klasse *ziel = Modell::instanz().klasse(m.ziel);
            const auto zz = m_db.abfragen(QStringLiteral("SELECT %1 FROM %2 WHERE id = ?").arg(auswahl(*ziel).spalten, ziel->tabelle),
                                          {v.toLongLong()});
            if (!zz.isEmpty()) {
                protokoll::ObjektDaten r = ausZeile(*ziel, zz.first(), false);
                d.refs.insert(m.name, {r.klasse, r.id, 0, r.props, {}, {}, {}});
            }
        } else if (m.art == MitgliedArt::Strom) {
            d.streams.insert(m.name, {v.isNull() ? QString() : v.toString(), zeile.at(i + 3).toLongLong()});
            ++i;
        }
    }
    if (mitSammlungen) {
        const qint64 z = zeile.at(0).toLongLong();
        for (const Mitglied &m : k.mitglieder) {
            if (m.art != MitgliedArt::Sammlung)
                continue;
            const Klasse *ek = Modell::instanz().klasse(m.ziel);
            QList<protokoll::ObjektDaten> elemente;
            const auto zeilen = m_db.abfragen(
                QStringLiteral("SELECT %1 FROM %2 WHERE parent_id = ? ORDER BY position").arg(auswahl(*ek).spalten, ek->tabelle), {z});
            for (const auto &ez : zeilen)
                elemente.append(ausZeile(*ek, ez, true));
            d.collections.insert(m.name, elemente);
        }
    }
    return d;
}

protokoll::ObjektDaten ObjektSpeicher::laden(const Klasse &k, const QString &id)
{
    const auto z = zeile(k, id);
    if (!z)
        keinObjekt(k, id);
    const auto zeilen = m_db.abfragen(QStringLiteral("SELECT %1 FROM %2 WHERE id = ?").arg(auswahl(k).spalten, k.tabelle), {*z});
    if (zeilen.isEmpty())
        keinObjekt(k, id);
    return ausZeile(k, zeilen.first(), true);
}

QVariant ObjektSpeicher::spaltenWert(const Klasse &k, const Mitglied &m, const QString &wert)
{
    if (wert.isEmpty())
        return QVariant(m.typ == Typ::Zahl ? QMetaType::fromType<qint64>() : QMetaType::fromType<QString>());
    switch (m.typ) {
    case Typ::Zahl: {
        bool ok = false;
        const qint64 n = wert.trimmed().toLongLong(&ok);
        if (!ok)
            throw AnfrageFehler::ungueltig(QStringLiteral("%1.%2: \"%3\" ist keine ganze Zahl").arg(k.name, m.name, wert));
        return n;
    }
    case Typ::Datum:
        if (!QDate::fromString(wert, QStringLiteral("yyyy-MM-dd")).isValid())
            throw AnfrageFehler::ungueltig(QStringLiteral("%1.%2: \"%3\" ist kein Datum (YYYY-MM-DD)").arg(k.name, m.name, wert));
        return wert;
    case Typ::Zeit:
        if (!QTime::fromString(wert, QStringLiteral("HH:mm:ss")).isValid())
            throw AnfrageFehler::ungueltig(QStringLiteral("%1.%2: \"%3\" ist keine Uhrzeit (HH:MM:SS)").arg(k.name, m.name, wert));
        return wert;
    case Typ::Text:
        if (wert.size() > m.maxLaenge)
            throw AnfrageFehler::ungueltig(
                QStringLiteral("%1.%2: höchstens %3 Zeichen, nicht %4").arg(k.name, m.name).arg(m.maxLaenge).arg(wert.size()));
        break;
    }
    return wert;
}

void ObjektSpeicher::historie(const Klasse &k, qint64 z, const QString &member, const QString &blob, qint64 groesse)
{
    m_db.ausfuehren(QStringLiteral("INSERT INTO stream_history (class, object_id, member, blob, size, replaced) "
                                   "VALUES (?, ?, ?, ?, ?, ?)"),
                    {k.name, z, member, blob, groesse, QDateTime::currentDateTimeUtc().toString(Qt::ISODate)});
}

ObjektSpeicher::Spalten ObjektSpeicher::spaltenSammeln(const Klasse &k, std::optional<qint64> z, const protokoll::SpeicherAnfrage &a)
{
    Spalten sp;
    if (z && (k.hatSchluessel() || !a.streams.isEmpty())) {
        const auto zeilen = m_db.abfragen(QStringLiteral("SELECT %1 FROM %2 WHERE id = ?").arg(auswahl(k).spalten, k.tabelle), {*z});
        if (!zeilen.isEmpty())
            sp.alt = zeilen.first();
    }
    for (auto it = a.props.cbegin(); it != a.props.cend(); ++it) {
        const Mitglied *m = k.mitglied(it.key());
        if (!m || m->art != MitgliedArt::Eigenschaft)
            throw AnfrageFehler::ungueltig(QStringLiteral("%1 hat keine Eigenschaft \"%2\"").arg(k.name, it.key()));
        if (m->geschuetzt)
            throw AnfrageFehler::ungueltig(QStringLiteral("%1.%2 kann nicht gesetzt werden").arg(k.name, m->name));
        const QVariant v = spaltenWert(k, *m, it.value());
        if (z && k.schluessel.contains(m->name) && alsText(*m, alterWert(k, sp.alt, m->spalte())) != alsText(*m, v))
            throw AnfrageFehler::ungueltig(QStringLiteral("%1.%2 ist Teil der Id und kann nicht geändert werden").arg(k.name, m->name));
        sp.namen << m->spalte();
        sp.werte << v;
        if (m->gefaltet) {
            sp.namen << m->gefalteteSpalte();
            sp.werte << (v.isNull() ? v : QVariant(common::gefaltet(v.toString())));
        }
    }
    for (auto it = a.refs.cbegin(); it != a.refs.cend(); ++it) {
        const Mitglied *m = k.mitglied(it.key());
        if (!m || m->art != MitgliedArt::Referenz)
            throw AnfrageFehler::ungueltig(QStringLiteral("%1 hat keine Referenz \"%2\"").arg(k.name, it.key()));
        QVariant v(QMetaType::fromType<qint64>());
        if (!it.value().isEmpty()) {
            const Klasse *ziel = Modell::instanz().klasse(m->ziel);
            const auto zz = zeile(*ziel, it.value());
            if (!zz)
                throw AnfrageFehler::ungueltig(
                    QStringLiteral("%1.%2: %3 mit der Id \"%4\" gibt es nicht").arg(k.name, m->name, ziel->name, it.value()));
            v = *zz;
        }
        sp.namen << m->spalte();
        sp.werte << v;
    }
    for (auto it = a.streams.cbegin(); it != a.streams.cend(); ++it) {
        const Mitglied *m = k.mitglied(it.key());
        if (!m || m->art != MitgliedArt::Strom)
            throw AnfrageFehler::ungueltig(QStringLiteral("%1 hat keinen Datenstrom \"%2\"").arg(k.name, it.key()));
        qint64 groesse = 0;
        QVariant blob(QMetaType::fromType<QString>());
        if (!it.value().isEmpty()) {
            const QVariant g = m_db.wert(QStringLiteral("SELECT size FROM blobs WHERE sha256 = ?"), {it.value()});
            if (!g.isValid())
                throw AnfrageFehler::ungueltig(QStringLiteral("%1.%2: Blob \"%3\" ist nicht vorhanden").arg(k.name, m->name, it.value()));
            groesse = g.toLongLong();
            blob = it.value();
            Hochladungen(m_db).gespeichert(it.value());
        }
        if (z)
            sp.ersetzteStroeme.append({m, blob});
        sp.namen << m->spalte() + QStringLiteral("_blob") << m->spalte() + QStringLiteral("_size");
        sp.werte << blob << groesse;
    }
    return sp;
}

QVariant ObjektSpeicher::alterWert(const Klasse &k, const QVariantList &alt, const QString &spalte)
{
    if (alt.isEmpty())
        return {};
    int i = 2;
    for (const Mitglied *m : auswahl(k).mitglieder) {
        if (m->spalte() == spalte || m->spalte() + QStringLiteral("_blob") == spalte)
            return alt.at(i);
        ++i;
    }
    return {};
}

qint64 ObjektSpeicher::einfuegen(const Klasse &k, const protokoll::SpeicherAnfrage &a, const Spalten &sp, qint64 eltern, qint64 position)
{
    if (k.hatSchluessel()) {
        QStringList teile;
        for (const QString &s : k.schluessel) {
            QString gefunden;
            for (auto it = a.props.cbegin(); it != a.props.cend(); ++it)
                if (it.key().compare(s, Qt::CaseInsensitive) == 0)
                    gefunden = it.value();
            if (gefunden.isEmpty())
                throw AnfrageFehler::ungueltig(QStringLiteral("%1: %2 fehlt").arg(k.name, s));
            teile << gefunden.trimmed();
        }
        if (zeile(k, teile.join(QStringLiteral("||"))))
            throw AnfrageFehler::konflikt(QStringLiteral("%1 mit der Id \"%2\" gibt es schon").arg(k.name, teile.join(QStringLiteral("||"))));
    }
    QStringList namen{QStringLiteral("version")};
    QStringList platz{QStringLiteral("1")};
    QVariantList alle;
    if (!k.besitzer.isEmpty()) {
        namen << QStringLiteral("parent_id") << QStringLiteral("position");
        platz << QStringLiteral("?") << QStringLiteral("?");
        alle << eltern << position;
    }
    for (const QString &n : sp.namen) {
        namen << n;
        platz << QStringLiteral("?");
    }
    alle << sp.werte;
    return m_db
        .wert(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING id")
                  .arg(k.tabelle, namen.join(QStringLiteral(", ")), platz.join(QStringLiteral(", "))),
              alle)
        .toLongLong();
}

void ObjektSpeicher::aktualisieren(const Klasse &k, qint64 id, const Spalten &sp, std::optional<qint64> version, qint64 position)
{
    // A replaced file stays on record.
    for (const auto &[m, blob] : sp.ersetzteStroeme) {
        const QVariant vorher = alterWert(k, sp.alt, m->spalte() + QStringLiteral("_blob"));
        if (!vorher.isNull() && vorher.toString() != blob.toString()) {
            const qint64 groesse = m_db.wert(QStringLiteral("SELECT size FROM blobs WHERE sha256 = ?"), {vorher}).toLongLong();
            historie(k, id, m->name, vorher.toString(), groesse);
        }
    }
    QStringList setzen{QStringLiteral("version = version + 1")};
    for (const QString &n : sp.namen)
        setzen << n + QStringLiteral(" = ?");
    QVariantList alle = sp.werte;
    QString bedingung = QStringLiteral("id = ?");
    alle << id;
    if (!k.besitzer.isEmpty()) {
        setzen << QStringLiteral("position = ?");
        alle.insert(sp.werte.size(), position);
    }
    if (version) {
        bedingung += QStringLiteral(" AND version = ?");
        alle << *version;
    }
    const qint64 n = m_db.ausfuehren(
        QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(k.tabelle, setzen.join(QStringLiteral(", ")), bedingung), alle);
    if (n == 0) {
        if (m_db.wert(QStringLiteral("SELECT id FROM %1 WHERE id = ?").arg(k.tabelle), {id}).isValid())
            throw AnfrageFehler::konflikt(QStringLiteral("%1 wurde inzwischen von einem anderen Arbeitsplatz gespeichert").arg(k.name));
        keinObjekt(k, QString::number(id));
    }
}

QStringList ObjektSpeicher::sammlungSchreiben(const Mitglied &m, qint64 id, const QList<protokoll::SpeicherAnfrage> &elemente)
{
    const Klasse *ek = Modell::instanz().klasse(m.ziel);
    QSet<qint64> vorhanden;
    for (const auto &r : m_db.abfragen(QStringLiteral("SELECT id FROM %1 WHERE parent_id = ?").arg(ek->tabelle), {id}))
        vorhanden.insert(r.at(0).toLongLong());
    QStringList ids;
    QSet<qint64> behalten;
    qint64 pos = 1;
    for (const protokoll::SpeicherAnfrage &e : elemente) {
        std::optional<qint64> ez;
        if (!e.id.isEmpty()) {
            bool ok = false;
            const qint64 n = e.id.toLongLong(&ok);
            if (!ok || !vorhanden.contains(n) || behalten.contains(n))
                throw AnfrageFehler::ungueltig(QStringLiteral("%1: Element \"%2\" gehört nicht zu diesem Objekt").arg(m.name, e.id));
            ez = n;
            behalten.insert(n);
        }
        ids << QString::number(schreiben(*ek, ez, e, std::nullopt, id, pos++, nullptr));
    }
    for (qint64 weg : vorhanden) {
        if (behalten.contains(weg))
            continue;
        // The element goes, its files stay on record.
        for (const Mitglied &em : ek->mitglieder) {
            if (em.art != MitgliedArt::Strom)
                continue;
            const auto r = m_db.abfragen(QStringLiteral("SELECT %1_blob, %1_size FROM %2 WHERE id = ?").arg(em.spalte(), ek->tabelle), {weg});
            if (!r.isEmpty() && !r.first().at(0).isNull())
                historie(*ek, weg, em.name, r.first().at(0).toString(), r.first().at(1).toLongLong());
        }
        m_db.ausfuehren(QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(ek->tabelle), {weg});
    }
    return ids;
}

qint64 ObjektSpeicher::schreiben(const Klasse &k, std::optional<qint64> z, const protokoll::SpeicherAnfrage &a,
                                 std::optional<qint64> version, qint64 eltern, qint64 position, QMap<QString, QStringList> *elementIds)
{
    const Spalten sp = spaltenSammeln(k, z, a);
    qint64 id = 0;
    if (z) {
        id = *z;
        aktualisieren(k, id, sp, version, position);
    } else {
        id = einfuegen(k, a, sp, eltern, position);
    }
    for (auto it = a.collections.cbegin(); it != a.collections.cend(); ++it) {
        const Mitglied *m = k.mitglied(it.key());
        if (!m || m->art != MitgliedArt::Sammlung)
            throw AnfrageFehler::ungueltig(QStringLiteral("%1 hat keine Sammlung \"%2\"").arg(k.name, it.key()));
        const QStringList ids = sammlungSchreiben(*m, id, *it);
        if (elementIds)
            elementIds->insert(m->name, ids);
    }
    return id;
}

protokoll::SpeicherAntwort ObjektSpeicher::speichernInTransaktion(const Klasse &k, const QString &id, const protokoll::SpeicherAnfrage &a)
{
    qint64 zeile = 0;
    return speichernInTransaktion(k, id, a, zeile);
}

protokoll::SpeicherAntwort ObjektSpeicher::speichernInTransaktion(const Klasse &k, const QString &id, const protokoll::SpeicherAnfrage &a,
                                                                  qint64 &neu)
{
    if (!k.besitzer.isEmpty())
        throw AnfrageFehler::ungueltig(QStringLiteral("%1 wird nur mit seinem %2 gespeichert").arg(k.name, k.besitzer));
    std::optional<qint64> z;
    if (!id.isEmpty()) {
        z = zeile(k, id);
        if (!z)
            keinObjekt(k, id);
        if (!a.version)
            throw AnfrageFehler::ungueltig(QStringLiteral("\"version\" fehlt: ein Objekt wird mit der gelesenen Version gespeichert"));
    }
    protokoll::SpeicherAntwort antwort;
    const std::optional<qint64> zaehlerVorher = z ? etikettenZaehler(k, *z, a) : std::nullopt;
    neu = schreiben(k, z, a, id.isEmpty() ? std::nullopt : a.version, 0, 0, &antwort.collections);
    if (zaehlerVorher)
        etikettenlaufVermerken(neu, *zaehlerVorher);
    if (!a.index.isEmpty()) {
        if (k.name != QLatin1String(BelegKlasse))
            throw AnfrageFehler::ungueltig(QStringLiteral("%1 hat keine Indexwerte").arg(k.name));
        indexSchreiben(neu, a.index);
    }
    if (!a.scans.isEmpty()) {
        if (k.name != QLatin1String(BelegKlasse))
            throw AnfrageFehler::ungueltig(QStringLiteral("%1 nimmt keine Scans auf").arg(k.name));
        scansEntnehmen(neu, a.scans);
    }
    // A save that changes the documents sets the picture state from them,
    // and so does a new Beleg that names none.
    if (k.name == QLatin1String(BelegKlasse) &&
        (nenntMitglied(a.collections, u"Doks") || (id.isEmpty() && !nenntMitglied(a.props, u"picsw"))))
        bildstatusSetzen(neu);
    antwort.id = oeffentlicheId(k, neu);
    antwort.version = m_db.wert(QStringLiteral("SELECT version FROM %1 WHERE id = ?").arg(k.tabelle), {neu}).toLongLong();
    return antwort;
}

namespace {

// The files a save stores: its streams and those of its elements.
void dateienSammeln(const protokoll::SpeicherAnfrage &a, QStringList &dateien)
{
    for (const QString &blob : a.streams)
        if (!blob.isEmpty() && !dateien.contains(blob))
            dateien << blob;
    for (const QList<protokoll::SpeicherAnfrage> &elemente : a.collections)
        for (const protokoll::SpeicherAnfrage &e : elemente)
            dateienSammeln(e, dateien);
}

} // namespace

void ObjektSpeicher::vermerken(const Klasse &k, const QString &id, const QString &aktion, qint64 version, qint64 beleg,
                               const QStringList &dateien)
{
    const Anfragekontext &anfrage = Anfragekontext::aktuell();
    Zugangsspeicher(m_db).vermerken({{}, anfrage.arbeitsplatz, anfrage.benutzer, k.name, id, aktion, version, beleg, dateien});
}

protokoll::SpeicherAntwort ObjektSpeicher::speichern(const Klasse &k, const QString &id, const protokoll::SpeicherAnfrage &a)
{
    Transaktion t(m_db);
    protokoll::SpeicherAntwort antwort = speichernVermerkt(k, id, a);
    t.bestaetigen();
    return antwort;
}

protokoll::SpeicherAntwort ObjektSpeicher::speichernVermerkt(const Klasse &k, const QString &id, const protokoll::SpeicherAnfrage &a)
{
    qint64 neu = 0;
    protokoll::SpeicherAntwort antwort = speichernInTransaktion(k, id, a, neu);
    const bool beleg = k.name == QLatin1String(BelegKlasse);
    // A Beleg saved by a workstation is due for the next backup volume
    // (bulk loads decide that themselves).
    if (beleg)
        geaendertVermerken(neu);
    QStringList dateien;
    dateienSammeln(a, dateien);
    vermerken(k, antwort.id, id.isEmpty() ? QStringLiteral("neu") : QStringLiteral("geändert"), antwort.version, belegVon(k, neu), dateien);
    // Every file a save brings is read for the full-text index, before the backlog.
    if (beleg) {
        const QList<protokoll::SpeicherAnfrage> elemente = a.collections.value(QStringLiteral("Doks"));
        const QStringList ids = antwort.collections.value(QStringLiteral("Doks"));
        for (qsizetype i = 0; i < elemente.size() && i < ids.size(); ++i) {
            const QString blob = elemente.at(i).streams.value(QStringLiteral("dok"));
            if (!blob.isEmpty())
                volltext::vormerken(m_db, ids.at(i).toLongLong(), blob, volltext::Vorrang::Speichern);
        }
    }
    return antwort;
}

void ObjektSpeicher::indexSchreiben(qint64 beleg, const QList<protokoll::Indexwert> &werte)
{
    if (werte.size() > MaxIndexwerte)
        throw AnfrageFehler::ungueltig(QStringLiteral("Indexwerte: höchstens %1 Einträge").arg(MaxIndexwerte));
    const Klasse &extind = *Modell::instanz().klasse(QStringLiteral("AR.Extind"));
    const QString belegId = oeffentlicheId(*Modell::instanz().klasse(QLatin1String(BelegKlasse)), beleg);
    for (const protokoll::Indexwert &w : werte) {
        bool firmaOk = false;
        bool eigenschaftOk = false;
        const qint64 firma = w.firma.toLongLong(&firmaOk);
        const qint64 eigenschaft = w.eigenschaft.toLongLong(&eigenschaftOk);
        if (!firmaOk || !eigenschaftOk)
            throw AnfrageFehler::ungueltig(
                QStringLiteral("Indexwert: Firma \"%1\" und Eigenschaft \"%2\" müssen Zahlen sein").arg(w.firma, w.eigenschaft));
        m_db.ausfuehren(QStringLiteral("DELETE FROM ar_extind WHERE iddokumente = ? AND firma = ? AND eigenschaft = ?"),
                        {beleg, firma, eigenschaft});
        QString wert = w.wert;
        while (!wert.isEmpty() && wert.back().isSpace())
            wert.chop(1);
        if (wert.isEmpty())
            continue;
        protokoll::SpeicherAnfrage a;
        a.props = {{QStringLiteral("Firma"), QString::number(firma)},
                   {QStringLiteral("Eigenschaft"), QString::number(eigenschaft)},
                   {QStringLiteral("Wert"), wert}};
        a.refs = {{QStringLiteral("IDDokumente"), belegId}};
        schreiben(extind, std::nullopt, a, std::nullopt, 0, 0, nullptr);
    }
}

std::optional<qint64> ObjektSpeicher::etikettenZaehler(const Klasse &k, qint64 zeile, const protokoll::SpeicherAnfrage &a)
{
    if (k.name != QLatin1String("AR.Belart"))
        return std::nullopt;
    bool gesetzt = false;
    for (auto it = a.props.cbegin(); it != a.props.cend(); ++it)
        gesetzt = gesetzt || it.key().compare(QLatin1String("lastbelnrbarc"), Qt::CaseInsensitive) == 0;
    if (!gesetzt)
        return std::nullopt;
    return m_db.wert(QStringLiteral("SELECT lastbelnrbarc FROM ar_belart WHERE id = ?"), {zeile}).toLongLong();
}

void ObjektSpeicher::etikettenlaufVermerken(qint64 belart, qint64 vorher)
{
    // A type's label counter moved on: the numbers after the old value up
    // to the new one were printed on its labels.
    const QList<SqlZeile> z = m_db.abfragen(QStringLiteral("SELECT firma, belart, lastbelnrbarc FROM ar_belart WHERE id = ?"), {belart});
    if (z.isEmpty() || z.first().at(2).toLongLong() <= vorher)
        return;
    m_db.ausfuehren(QStringLiteral("INSERT INTO ar_etikettenlauf (firma, belart, von, bis, zeitpunkt) VALUES (?, ?, ?, ?, ?)"),
                    {z.first().at(0), z.first().at(1), vorher + 1, z.first().at(2), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)});
}

void ObjektSpeicher::scansEntnehmen(qint64 beleg, const QStringList &scans)
{
    if (scans.size() > MaxScans)
        throw AnfrageFehler::ungueltig(QStringLiteral("Scans: höchstens %1 Einträge").arg(MaxScans));
    const Klasse &scandat = *Modell::instanz().klasse(QStringLiteral("AR.Scandat"));
    for (const QString &id : scans) {
        bool ok = false;
        const qint64 zeile = id.toLongLong(&ok);
        if (!ok)
            throw AnfrageFehler::ungueltig(QStringLiteral("Scans: \"%1\" ist keine Id").arg(id));
        // A record gone meanwhile (emptied by hand at the scan station) is
        // no reason to lose the Beleg's pages.
        if (m_db.ausfuehren(QStringLiteral("DELETE FROM ar_scandat WHERE id = ?"), {zeile}) > 0)
            vermerken(scandat, id, QStringLiteral("übernommen"), 0, beleg, {});
    }
}

void ObjektSpeicher::bildstatusSetzen(qint64 beleg)
{
    // What the search and the result window show of a Beleg's picture
    // follows from what is stored: the newest document with a file decides,
    // so a save of the header alone never hides a stored document.
    m_db.ausfuehren(QStringLiteral("UPDATE ar_dokumente SET picsw = COALESCE((SELECT CASE WHEN e.doktyp = 'pdf' THEN %1 ELSE %2 END "
                                   "FROM ar_dokuments e WHERE e.parent_id = ar_dokumente.id AND e.dok_blob IS NOT NULL "
                                   "ORDER BY e.position DESC LIMIT 1), %3) WHERE id = ?")
                        .arg(common::bildstatus::Pdf)
                        .arg(common::bildstatus::Tif)
                        .arg(common::bildstatus::Keins),
                    {beleg});
}

void ObjektSpeicher::geaendertVermerken(qint64 beleg)
{
    m_db.ausfuehren(QStringLiteral("UPDATE ar_dokumente SET aenderung = ? WHERE id = ?"),
                    {QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs), beleg});
}

void ObjektSpeicher::loeschen(const Klasse &k, const QString &id)
{
    if (!k.besitzer.isEmpty())
        throw AnfrageFehler::ungueltig(QStringLiteral("%1 wird nur mit seinem %2 gelöscht").arg(k.name, k.besitzer));
    Transaktion t(m_db);
    const auto z = zeile(k, id);
    if (!z)
        keinObjekt(k, id);
    const qint64 beleg = belegVon(k, *z);
    try {
        m_db.ausfuehren(QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(k.tabelle), {*z});
    } catch (const AnfrageFehler &f) {
        if (f.status() != 409)
            throw;
        throw AnfrageFehler::konflikt(QStringLiteral("%1 \"%2\" wird noch verwendet").arg(k.name, id));
    }
    vermerken(k, id, QStringLiteral("gelöscht"), 0, beleg, {});
    t.bestaetigen();
}

qint64 ObjektSpeicher::belegVon(const Klasse &k, qint64 zeile)
{
    if (k.name == QLatin1String(BelegKlasse))
        return zeile;
    if (k.name == QLatin1String("AR.Extind"))
        return m_db.wert(QStringLiteral("SELECT COALESCE(iddokumente, 0) FROM ar_extind WHERE id = ?"), {zeile}).toLongLong();
    return 0;
}

void ObjektSpeicher::gespeichertVermerken(const Klasse &k, const QString &id, const protokoll::SpeicherAnfrage &a, const QString &aktion)
{
    QStringList dateien;
    dateienSammeln(a, dateien);
    const std::optional<qint64> z = zeile(k, id);
    vermerken(k, id, aktion, 1, z ? belegVon(k, *z) : 0, dateien);
}

} // namespace archiv::archivd

#include "server/Objekt.h"

#include "server/HttpTransport.h"
#include "server/ObjektZustand.h"
#include "server/ServerFehler.h"

#include <QFile>
#include <QHash>
#include <QSet>

namespace archiv::server {

namespace {

std::shared_ptr<ObjektZustand> ausDaten(const std::shared_ptr<HttpTransport> &t, const protokoll::ObjektDaten &daten, bool element)
{
    auto z = std::make_shared<ObjektZustand>();
    z->transport = t;
    z->element = element;
    z->uebernehmen(daten);
    return z;
}

void pruefen(const std::shared_ptr<ObjektZustand> &d, const char *was)
{
    if (!d)
        throw ServerFehler(404, QStringLiteral("empty_object"), QStringLiteral("%1 auf einem leeren Objekt").arg(QLatin1String(was)));
}

} // namespace

void ObjektZustand::uebernehmen(const protokoll::ObjektDaten &daten)
{
    klasse = daten.klasse;
    id = daten.id;
    version = daten.version;
    for (auto it = daten.props.cbegin(); it != daten.props.cend(); ++it)
        props.insert(merke(it.key()), it.value());
    for (auto it = daten.refs.cbegin(); it != daten.refs.cend(); ++it)
        refs.insert(merke(it.key()), it.value());
    for (auto it = daten.collections.cbegin(); it != daten.collections.cend(); ++it) {
        auto s = std::make_shared<SammlungZustand>();
        s->name = it.key();
        for (const protokoll::ObjektDaten &e : *it)
            s->elemente.append(Objekt(ausDaten(transport, e, true)));
        sammlungen.insert(merke(it.key()), s);
    }
    for (auto it = daten.streams.cbegin(); it != daten.streams.cend(); ++it) {
        auto s = std::make_shared<StromZustand>();
        s->transport = transport;
        s->name = it.key();
        s->blob = it->blob;
        s->groesse = it->groesse;
        stroeme.insert(merke(it.key()), s);
    }
}

bool ObjektZustand::hatAenderungen() const
{
    if (!geaendert.isEmpty() || !refsGeaendert.isEmpty() || id.isEmpty())
        return true;
    for (const auto &s : stroeme)
        if (s->geaendert)
            return true;
    for (const auto &s : sammlungen) {
        if (s->geaendert)
            return true;
        for (const Objekt &e : s->elemente)
            if (e.d->hatAenderungen())
                return true;
    }
    return false;
}

protokoll::SpeicherAnfrage ObjektZustand::anfrage(bool alles) const
{
    protokoll::SpeicherAnfrage a;
    if (element)
        a.id = id;
    else if (!id.isEmpty())
        a.version = version;
    for (auto it = props.cbegin(); it != props.cend(); ++it)
        if (alles || geaendert.contains(it.key()))
            a.props.insert(namen.value(it.key()), it.value());
    for (auto it = refs.cbegin(); it != refs.cend(); ++it)
        if (alles || refsGeaendert.contains(it.key()))
            a.refs.insert(namen.value(it.key()), it->id);
    for (auto it = stroeme.cbegin(); it != stroeme.cend(); ++it)
        if ((*it)->geaendert)
            a.streams.insert((*it)->name, (*it)->blob);
    a.index = index;
    a.scans = scans;
    for (auto it = sammlungen.cbegin(); it != sammlungen.cend(); ++it) {
        bool senden = (*it)->geaendert;
        for (const Objekt &e : (*it)->elemente)
            senden = senden || e.d->hatAenderungen();
        if (!senden)
            continue;
        QList<protokoll::SpeicherAnfrage> elemente;
        for (const Objekt &e : (*it)->elemente)
            elemente.append(e.d->anfrage(e.d->id.isEmpty()));
        a.collections.insert((*it)->name, elemente);
    }
    return a;
}

void ObjektZustand::gespeichert()
{
    geaendert.clear();
    index.clear();
    scans.clear();
    refsGeaendert.clear();
    for (auto &s : stroeme)
        s->geaendert = false;
    for (auto &s : sammlungen) {
        s->geaendert = false;
        for (Objekt &e : s->elemente)
            e.d->gespeichert();
    }
}

QString Objekt::klasse() const
{
    return d ? d->klasse : QString();
}

QString Objekt::get(const QString &name) const
{
    return d ? d->props.value(name.toLower()) : QString();
}

void Objekt::set(const QString &name, const QString &wert)
{
    pruefen(d, "Setzen");
    const QString k = d->merke(name);
    d->props.insert(k, wert);
    d->geaendert.insert(k);
}

Objekt Objekt::ref(const QString &name) const
{
    if (!d)
        return {};
    const auto it = d->refs.constFind(name.toLower());
    if (it == d->refs.cend() || it->id.isEmpty())
        return {};
    return Objekt(ausDaten(d->transport, *it, false));
}

QString Objekt::refId(const QString &name) const
{
    return d ? d->refs.value(name.toLower()).id : QString();
}

void Objekt::setRef(const QString &name, const QString &id)
{
    pruefen(d, "Setzen");
    const QString k = d->merke(name);
    protokoll::ObjektDaten r;
    r.id = id;
    d->refs.insert(k, r);
    d->refsGeaendert.insert(k);
}

Sammlung Objekt::sammlung(const QString &name)
{
    pruefen(d, "Sammlung");
    const QString k = d->merke(name);
    auto &s = d->sammlungen[k];
    if (!s) {
        s = std::make_shared<SammlungZustand>();
        s->name = name;
    }
    Sammlung ergebnis;
    ergebnis.d = s;
    return ergebnis;
}

Datenstrom Objekt::strom(const QString &name)
{
    pruefen(d, "Datenstrom");
    const QString k = d->merke(name);
    auto &s = d->stroeme[k];
    if (!s) {
        s = std::make_shared<StromZustand>();
        s->transport = d->transport;
        s->name = name;
    }
    Datenstrom ergebnis;
    ergebnis.d = s;
    return ergebnis;
}

void Objekt::indexwertSetzen(const QString &firma, int eigenschaft, const QString &wert)
{
    pruefen(d, "indexwertSetzen");
    d->index.append({firma, QString::number(eigenschaft), wert});
}

void Objekt::scansEntnehmen(const QStringList &ids)
{
    pruefen(d, "scansEntnehmen");
    for (const QString &id : ids)
        if (!d->scans.contains(id))
            d->scans.append(id);
}

namespace {
std::function<void(const QString &)> &vorDemSpeichern()
{
    static std::function<void(const QString &)> haken;
    return haken;
}
} // namespace

void setzeVorDemSpeichern(std::function<void(const QString &klasse)> haken)
{
    vorDemSpeichern() = std::move(haken);
}

int Objekt::SYS_Save()
{
    if (!d)
        return 0;
    if (d->element) {
        d->letzterFehler = QStringLiteral("Ein Element wird mit seinem Objekt gespeichert");
        return 0;
    }
    try {
        const protokoll::SpeicherAnfrage a = d->anfrage(d->id.isEmpty());
        // A copy: the hook may take itself away while it runs.
        if (const auto haken = vorDemSpeichern())
            haken(d->klasse);
        const QString klasse = HttpTransport::kodiert(d->klasse);
        const QJsonObject json = d->id.isEmpty()
            ? d->transport->post(QStringLiteral("object/") + klasse, a.toJson())
            : d->transport->put(QStringLiteral("object/") + klasse + u'/' + HttpTransport::kodiert(d->id), a.toJson());
        const auto antwort = protokoll::SpeicherAntwort::fromJson(json);
        d->id = antwort.id;
        d->version = antwort.version;
        for (auto it = antwort.collections.cbegin(); it != antwort.collections.cend(); ++it) {
            const auto s = d->sammlungen.value(it.key().toLower());
            if (!s)
                continue;
            for (int i = 0; i < s->elemente.size() && i < it->size(); ++i)
                s->elemente[i].d->id = it->at(i);
        }
        d->gespeichert();
        d->letzterFehler.clear();
        d->letzterStatus = 200;
        return 1;
    } catch (const ServerFehler &e) {
        d->letzterFehler = e.meldung();
        d->letzterStatus = e.status();
        d->letzterCode = e.code();
        return 0;
    } catch (const protokoll::FormFehler &e) {
        d->letzterFehler = QString::fromStdString(e.what());
        d->letzterStatus = 0;
        return 0;
    }
}

int Objekt::letzterStatus() const
{
    return d ? d->letzterStatus : 0;
}

ServerFehler Objekt::letzterFehlerAlsAusnahme() const
{
    return ServerFehler(letzterStatus(), d && !d->letzterCode.isEmpty() ? d->letzterCode : QStringLiteral("save"), letzterFehler());
}

QString Objekt::SYS_Id() const
{
    return d ? d->id : QString();
}

qint64 Objekt::version() const
{
    return d ? d->version : 0;
}

void Objekt::versionSetzen(qint64 version)
{
    pruefen(d, "versionSetzen");
    d->version = version;
}

void Objekt::SYS_Close()
{
    d.reset();
}

void Objekt::SYS_DeleteId(const QString &id)
{
    pruefen(d, "SYS_DeleteId");
    d->transport->loeschen(QStringLiteral("object/") + HttpTransport::kodiert(d->klasse) + u'/' + HttpTransport::kodiert(id));
}

QString Objekt::letzterFehler() const
{
    return d ? d->letzterFehler : QString();
}

QString Objekt::call(const QString &name, const QStringList &args)
{
    static const QString setzen = QStringLiteral("SetObjectId");
    static const QString lesen = QStringLiteral("GetObjectId");
    if (name == QLatin1String("SYS_Id"))
        return SYS_Id();
    if (name == QLatin1String("SYS_Save"))
        return QString::number(SYS_Save());
    if (name == QLatin1String("SYS_Close")) {
        SYS_Close();
        return {};
    }
    if (name == QLatin1String("SYS_DeleteId")) {
        SYS_DeleteId(args.value(0));
        return {};
    }
    if (name.endsWith(setzen, Qt::CaseInsensitive) && name.size() > setzen.size()) {
        setRef(name.left(name.size() - setzen.size()), args.value(0));
        return {};
    }
    if (name.endsWith(lesen, Qt::CaseInsensitive) && name.size() > lesen.size())
        return refId(name.left(name.size() - lesen.size()));
    pruefen(d, "Methodenaufruf");
    const protokoll::AufrufAnfrage a{d->klasse, name, args, d->id};
    const auto e = protokoll::AufrufErgebnis::fromJson(d->transport->post(QStringLiteral("call"), a.toJson()));
    return e.liste ? e.liste->join(u'\n') : e.wert;
}

int Sammlung::Count() const
{
    return d ? int(d->elemente.size()) : 0;
}

Objekt Sammlung::getat(int i) const
{
    if (!d || i < 1 || i > d->elemente.size())
        throw ServerFehler(400, QStringLiteral("index"), QStringLiteral("Element %1 gibt es nicht (Count %2)").arg(i).arg(Count()));
    return d->elemente.at(i - 1);
}

void Sammlung::Insert(const Objekt &element)
{
    if (!d || !element.d)
        throw ServerFehler(400, QStringLiteral("empty_object"), QStringLiteral("Insert mit einem leeren Objekt"));
    element.d->element = true;
    d->elemente.append(element);
    d->geaendert = true;
}

qint64 Datenstrom::groesse() const
{
    return d->groesse;
}

void Datenstrom::Rewind()
{
    d->pos = 0;
}

QByteArray Datenstrom::Read(qint64 laenge)
{
    if (d->blob.isEmpty() || d->pos >= d->groesse || laenge <= 0)
        return {};
    if (!d->geladen) {
        d->inhalt = d->transport->blobHolen(d->blob);
        d->geladen = true;
    }
    const QByteArray teil = d->inhalt.mid(d->pos, laenge);
    d->pos += teil.size();
    return teil;
}

void Datenstrom::FileRead(const QString &pfad)
{
    QFile datei(pfad);
    if (!datei.open(QIODevice::ReadOnly))
        throw ServerFehler(0, QStringLiteral("file"), QStringLiteral("%1 lässt sich nicht lesen: %2").arg(pfad, datei.errorString()));
    Write(datei.readAll());
}

void Datenstrom::Write(const QByteArray &daten)
{
    const QJsonObject antwort = d->transport->blobSenden(daten);
    d->blob = protokoll::textFeld(antwort, "blob");
    d->groesse = daten.size();
    d->inhalt = daten;
    d->geladen = true;
    d->pos = 0;
    d->geaendert = true;
}

void Datenstrom::FileWrite(const QString &pfad)
{
    if (d->blob.isEmpty()) {
        QFile datei(pfad);
        if (!datei.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw ServerFehler(0, QStringLiteral("file"), QStringLiteral("%1 lässt sich nicht schreiben: %2").arg(pfad, datei.errorString()));
        return;
    }
    if (d->geladen) {
        QFile datei(pfad);
        if (!datei.open(QIODevice::WriteOnly | QIODevice::Truncate) || datei.write(d->inhalt) != d->inhalt.size())
            throw ServerFehler(0, QStringLiteral("file"), QStringLiteral("%1 lässt sich nicht schreiben: %2").arg(pfad, datei.errorString()));
        return;
    }
    d->transport->blobInDatei(d->blob, pfad);
}

} // namespace archiv::server

#include "common/Protokoll.h"

namespace archiv::protokoll {

namespace {

[[noreturn]] void fehler(const QString &text)
{
    throw FormFehler(text.toStdString());
}

QJsonObject mapJson(const QMap<QString, QString> &map)
{
    QJsonObject o;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        o.insert(it.key(), it.value());
    return o;
}

qint64 versionFeld(const QJsonValue &v)
{
    if (v.isString()) {
        bool ok = false;
        const qint64 n = v.toString().toLongLong(&ok);
        if (ok)
            return n;
    } else if (v.isDouble()) {
        return qint64(v.toDouble());
    }
    fehler(QStringLiteral("\"version\" is not a number"));
}

QJsonObject objektOhneWert(const QJsonValue &v, const char *name)
{
    if (v.isUndefined() || v.isNull())
        return {};
    if (!v.isObject())
        fehler(QStringLiteral("\"%1\" is not an object").arg(QLatin1String(name)));
    return v.toObject();
}

} // namespace

QString textFeld(const QJsonObject &json, const char *name, bool pflicht)
{
    const QJsonValue v = json.value(QLatin1String(name));
    if (v.isString())
        return v.toString();
    if (!pflicht && (v.isUndefined() || v.isNull()))
        return {};
    fehler(QStringLiteral("\"%1\" must be a string").arg(QLatin1String(name)));
}

QStringList textListe(const QJsonValue &wert, const char *name)
{
    if (wert.isUndefined() || wert.isNull())
        return {};
    if (!wert.isArray())
        fehler(QStringLiteral("\"%1\" is not an array").arg(QLatin1String(name)));
    QStringList liste;
    const QJsonArray a = wert.toArray();
    liste.reserve(a.size());
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!a.at(i).isString())
            fehler(QStringLiteral("\"%1\" item %2 is not a string").arg(QLatin1String(name)).arg(i + 1));
        liste.append(a.at(i).toString());
    }
    return liste;
}

QMap<QString, QString> textMap(const QJsonValue &wert, const char *name)
{
    QMap<QString, QString> map;
    const QJsonObject o = objektOhneWert(wert, name);
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (!it.value().isString())
            fehler(QStringLiteral("\"%1\" member \"%2\" is not a string").arg(QLatin1String(name), it.key()));
        map.insert(it.key(), it.value().toString());
    }
    return map;
}

QJsonObject ObjektDaten::toJson() const
{
    QJsonObject o{{"class", klasse}, {"id", id}, {"version", QString::number(version)}, {"props", mapJson(props)}};
    QJsonObject r;
    for (auto it = refs.cbegin(); it != refs.cend(); ++it)
        r.insert(it.key(), QJsonObject{{"class", it->klasse}, {"id", it->id}, {"props", mapJson(it->props)}});
    o.insert("refs", r);
    QJsonObject c;
    for (auto it = collections.cbegin(); it != collections.cend(); ++it) {
        QJsonArray elemente;
        for (const ObjektDaten &e : *it)
            elemente.append(e.toJson());
        c.insert(it.key(), elemente);
    }
    o.insert("collections", c);
    QJsonObject s;
    for (auto it = streams.cbegin(); it != streams.cend(); ++it)
        s.insert(it.key(), QJsonObject{{"blob", it->blob}, {"size", QString::number(it->groesse)}});
    o.insert("streams", s);
    return o;
}

ObjektDaten ObjektDaten::fromJson(const QJsonObject &json)
{
    ObjektDaten d;
    d.klasse = textFeld(json, "class", false);
    d.id = textFeld(json, "id", false);
    if (json.contains("version"))
        d.version = versionFeld(json.value("version"));
    d.props = textMap(json.value("props"), "props");
    const QJsonObject r = objektOhneWert(json.value("refs"), "refs");
    for (auto it = r.begin(); it != r.end(); ++it)
        d.refs.insert(it.key(), fromJson(objektOhneWert(it.value(), "refs")));
    const QJsonObject c = objektOhneWert(json.value("collections"), "collections");
    for (auto it = c.begin(); it != c.end(); ++it) {
        if (!it.value().isArray())
            fehler(QStringLiteral("collection \"%1\" is not an array").arg(it.key()));
        QList<ObjektDaten> elemente;
        for (const QJsonValue &e : it.value().toArray())
            elemente.append(fromJson(objektOhneWert(e, "collections")));
        d.collections.insert(it.key(), elemente);
    }
    const QJsonObject s = objektOhneWert(json.value("streams"), "streams");
    for (auto it = s.begin(); it != s.end(); ++it) {
        const QJsonObject so = objektOhneWert(it.value(), "streams");
        d.streams.insert(it.key(), {textFeld(so, "blob", false), textFeld(so, "size", false).toLongLong()});
    }
    return d;
}

QJsonObject SpeicherAnfrage::toJson() const
{
    QJsonObject o;
    if (!id.isEmpty())
        o.insert("id", id);
    if (version)
        o.insert("version", QString::number(*version));
    o.insert("props", mapJson(props));
    if (!refs.isEmpty())
        o.insert("refs", mapJson(refs));
    if (!collections.isEmpty()) {
        QJsonObject c;
        for (auto it = collections.cbegin(); it != collections.cend(); ++it) {
            QJsonArray elemente;
            for (const SpeicherAnfrage &e : *it)
                elemente.append(e.toJson());
            c.insert(it.key(), elemente);
        }
        o.insert("collections", c);
    }
    if (!streams.isEmpty()) {
        QJsonObject s;
        for (auto it = streams.cbegin(); it != streams.cend(); ++it)
            s.insert(it.key(), QJsonObject{{"blob", it.value()}});
        o.insert("streams", s);
    }
    if (!index.isEmpty()) {
        QJsonArray werte;
        for (const Indexwert &w : index)
            werte.append(QJsonObject{{"firma", w.firma}, {"eigenschaft", w.eigenschaft}, {"wert", w.wert}});
        o.insert("index", werte);
    }
    if (!scans.isEmpty())
        o.insert("scans", QJsonArray::fromStringList(scans));
    return o;
}

SpeicherAnfrage SpeicherAnfrage::fromJson(const QJsonObject &json)
{
    SpeicherAnfrage a;
    a.id = textFeld(json, "id", false);
    if (json.contains("version") && !json.value("version").isNull())
        a.version = versionFeld(json.value("version"));
    a.props = textMap(json.value("props"), "props");
    a.refs = textMap(json.value("refs"), "refs");
    const QJsonObject c = objektOhneWert(json.value("collections"), "collections");
    for (auto it = c.begin(); it != c.end(); ++it) {
        if (!it.value().isArray())
            fehler(QStringLiteral("collection \"%1\" is not an array").arg(it.key()));
        QList<SpeicherAnfrage> elemente;
        for (const QJsonValue &e : it.value().toArray()) {
            if (!e.isObject())
                fehler(QStringLiteral("an element of \"%1\" is not an object").arg(it.key()));
            elemente.append(fromJson(e.toObject()));
        }
        a.collections.insert(it.key(), elemente);
    }
    const QJsonObject s = objektOhneWert(json.value("streams"), "streams");
    for (auto it = s.begin(); it != s.end(); ++it)
        a.streams.insert(it.key(), textFeld(objektOhneWert(it.value(), "streams"), "blob"));
    const QJsonValue index = json.value("index");
    if (!index.isUndefined() && !index.isNull()) {
        if (!index.isArray())
            fehler(QStringLiteral("\"index\" is not an array"));
        for (const QJsonValue &w : index.toArray()) {
            if (!w.isObject())
                fehler(QStringLiteral("an entry of \"index\" is not an object"));
            const QJsonObject o = w.toObject();
            a.index.append({textFeld(o, "firma"), textFeld(o, "eigenschaft"), textFeld(o, "wert", false)});
        }
    }
    a.scans = textListe(json.value("scans"), "scans");
    return a;
}

QJsonObject SpeicherAntwort::toJson() const
{
    QJsonObject c;
    for (auto it = collections.cbegin(); it != collections.cend(); ++it)
        c.insert(it.key(), QJsonArray::fromStringList(*it));
    return {{"id", id}, {"version", QString::number(version)}, {"collections", c}};
}

SpeicherAntwort SpeicherAntwort::fromJson(const QJsonObject &json)
{
    SpeicherAntwort a;
    a.id = textFeld(json, "id");
    a.version = versionFeld(json.value("version"));
    const QJsonObject c = objektOhneWert(json.value("collections"), "collections");
    for (auto it = c.begin(); it != c.end(); ++it)
        a.collections.insert(it.key(), textListe(it.value(), "collections"));
    return a;
}

QJsonObject AbfrageAnfrage::toJson() const
{
    return {{"class", klasse}, {"query", abfrage}, {"args", QJsonArray::fromStringList(args)}};
}

AbfrageAnfrage AbfrageAnfrage::fromJson(const QJsonObject &json)
{
    return {textFeld(json, "class"), textFeld(json, "query"), textListe(json.value("args"), "args")};
}

QJsonObject AufrufAnfrage::toJson() const
{
    QJsonObject o{{"class", klasse}, {"method", methode}, {"args", QJsonArray::fromStringList(args)}};
    if (!id.isEmpty())
        o.insert("id", id);
    return o;
}

AufrufAnfrage AufrufAnfrage::fromJson(const QJsonObject &json)
{
    return {textFeld(json, "class"), textFeld(json, "method"), textListe(json.value("args"), "args"), textFeld(json, "id", false)};
}

QJsonObject zeilenJson(const Zeilen &zeilen)
{
    QJsonArray rows;
    for (const QStringList &z : zeilen)
        rows.append(QJsonArray::fromStringList(z));
    return {{"rows", rows}};
}

Zeilen zeilenAusJson(const QJsonObject &json)
{
    const QJsonValue rows = json.value("rows");
    if (!rows.isArray())
        fehler(QStringLiteral("\"rows\" is not an array"));
    Zeilen zeilen;
    const QJsonArray a = rows.toArray();
    zeilen.reserve(a.size());
    for (const QJsonValue &z : a)
        zeilen.append(textListe(z, "rows"));
    return zeilen;
}

QJsonObject AufrufErgebnis::toJson() const
{
    QJsonObject o{{"result", liste ? QJsonValue(QJsonArray::fromStringList(*liste)) : QJsonValue(wert)}};
    if (!sitzung.isEmpty())
        o.insert("session", sitzung);
    return o;
}

AufrufErgebnis AufrufErgebnis::fromJson(const QJsonObject &json)
{
    const QJsonValue r = json.value("result");
    AufrufErgebnis e;
    if (r.isArray())
        e.liste = textListe(r, "result");
    else if (r.isString())
        e.wert = r.toString();
    else if (!r.isNull() && !r.isUndefined())
        fehler(QStringLiteral("\"result\" is neither a string nor a list"));
    e.sitzung = textFeld(json, "session", false);
    return e;
}

QJsonObject FehlerDaten::toJson() const
{
    return {{"error", QJsonObject{{"code", code}, {"message", message}}}};
}

FehlerDaten FehlerDaten::fromJson(const QJsonObject &json)
{
    const QJsonObject e = json.value("error").toObject();
    return {e.value("code").toString(), e.value("message").toString()};
}

} // namespace archiv::protokoll

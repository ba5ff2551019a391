#include "search/Suchkriterien.h"

#include "common/Format.h"
#include "common/Kennungen.h"

namespace archiv::search {

using namespace archiv::common;

QString kriterienString(const QList<EigenschaftsZeile> &zeilen, const ListenAuswahl &listen)
{
    QStringList eintraege;
    for (const EigenschaftsZeile &z : zeilen) {
        QString wert = z.suchTyp == zeilenart::Auswahl                        ? z.comboText
            : (z.suchTyp == zeilenart::Text || z.suchTyp == zeilenart::Suche) ? z.text
                                                                              : QString();
        wert.replace(u',', u'`');
        if (!wert.isEmpty())
            eintraege << QString::number(z.eigenId) + u'|' + wert;
    }
    if (listen.sichtbar) {
        const auto liste = [&](const char *code, const QStringList &schluessel) {
            if (schluessel.isEmpty())
                return;
            QString e = QLatin1String(code) + u'|';
            for (const QString &s : schluessel)
                e += s + u'`';
            eintraege << e;
        };
        liste("16", listen.profitcenter);
        liste("17", listen.abteilungen);
        liste("3", listen.mitarbeiter);
    }
    return eintraege.join(u',');
}

Trefferzeile trefferZeile(const QStringList &s)
{
    const auto spalte = [&](int n) { return s.value(n - 1); };
    Trefferzeile z;
    z.text = spalte(2) + u'\n' + spalte(3) + u'\n' + formatDatum(spalte(4)) + u' ' + formatAllgemein(spalte(5)) + u'\n' + spalte(6);
    z.daten = formatAllgemein(spalte(1)) + u'|' + formatAllgemein(spalte(7));
    const int status = int(zahlWert(spalte(7)));
    if (hatStatusMarke(status))
        z.statusMarke = status;
    z.durchgestrichen = status == bildstatus::Storniert;
    return z;
}

void holeElement(const Verknuepfungsabfrage &abfrage, const QString &firma, const QString &c1, const QString &c2, const QString &id,
                 int elternKnoten, int ebene, QList<Knoten> &knoten, QStringList &knotenDokId)
{
    struct Rahmen
    {
        protokoll::Zeilen zeilen;
        qsizetype naechste = 0;
        int eltern;
        int ebene;
    };
    QList<Rahmen> stapel;
    stapel.append({abfrage(firma, id), 0, elternKnoten, ebene});
    while (!stapel.isEmpty()) {
        Rahmen &r = stapel.last();
        if (r.naechste >= r.zeilen.size()) {
            stapel.removeLast();
            continue;
        }
        const QStringList zeile = r.zeilen.at(r.naechste++);
        const QString a = zeile.value(2);
        const QString b = zeile.value(1);
        if (a.isEmpty() || a + b == c1 + c2)
            continue;
        const QString verknuepft = formatAllgemein(zeile.value(3));
        if (knotenDokId.contains(verknuepft))
            continue;
        const bool archiviert = zahlWert(verknuepft) > 0;
        const QString datum = archiviert ? formatDatum(zeile.value(4)) : QString();
        knoten.append({a + b + QStringLiteral("     ") + datum, 2, r.ebene, verknuepft, int(zahlWert(zeile.value(5))) + 1, r.eltern});
        knotenDokId.append(verknuepft);
        if (zahlWert(verknuepft) != 0) {
            // Node numbers count the root as 0, as knotenDokId does.
            const int neu = int(knotenDokId.size() - 1);
            const int tiefer = r.ebene + 1;
            stapel.append({abfrage(firma, verknuepft), 0, neu, tiefer});
        }
    }
}

QString lieferantenTypen(const QList<std::pair<QString, bool>> &typen)
{
    QStringList markiert, alle;
    for (const auto &[schluessel, an] : typen) {
        alle << schluessel;
        if (an)
            markiert << schluessel;
    }
    return (markiert.isEmpty() ? alle : markiert).join(u' ');
}

} // namespace archiv::search

#include "model/Modell.h"

namespace archiv::archivd {

namespace {

Mitglied text(const char *n, int maxLaenge = Mitglied::StandardLaenge)
{
    Mitglied m{QString::fromUtf8(n), MitgliedArt::Eigenschaft, Typ::Text, {}, false};
    m.maxLaenge = maxLaenge;
    return m;
}

// Lengths of the short texts: codes, flags, numbers kept as text, names.
constexpr int Code = 40;
constexpr int Schalter = 10; // "J"/"N" and the like
constexpr int Name = 200;
constexpr int Nummer = 60;
Mitglied zahl(const char *n)
{
    return {QString::fromUtf8(n), MitgliedArt::Eigenschaft, Typ::Zahl, {}, false};
}
Mitglied datum(const char *n)
{
    return {QString::fromUtf8(n), MitgliedArt::Eigenschaft, Typ::Datum, {}, false};
}
Mitglied zeit(const char *n)
{
    return {QString::fromUtf8(n), MitgliedArt::Eigenschaft, Typ::Zeit, {}, false};
}
Mitglied ref(const char *n, const char *ziel)
{
    return {QString::fromUtf8(n), MitgliedArt::Referenz, Typ::Zahl, QString::fromUtf8(ziel), false};
}
Mitglied sammlung(const char *n, const char *ziel)
{
    return {QString::fromUtf8(n), MitgliedArt::Sammlung, Typ::Text, QString::fromUtf8(ziel), false};
}
Mitglied strom(const char *n)
{
    return {QString::fromUtf8(n), MitgliedArt::Strom, Typ::Text, {}, false};
}
Mitglied geschuetzt(Mitglied m)
{
    m.geschuetzt = true;
    return m;
}
Mitglied gefaltet(Mitglied m)
{
    m.gefaltet = true;
    return m;
}

// Master data of the merchandise-management system: keyed by company and number.
Klasse stamm(const char *name, const char *tabelle, const char *schluessel, Typ schluesselTyp, QList<Mitglied> weitere)
{
    Mitglied k{QString::fromUtf8(schluessel), MitgliedArt::Eigenschaft, schluesselTyp, {}, false};
    k.maxLaenge = Code;
    QList<Mitglied> m{zahl("Firma"), k};
    m.append(weitere);
    return {Archiv, QString::fromUtf8(name), QString::fromUtf8(tabelle), {"Firma", k.name}, m, {}};
}

} // namespace

const Mitglied *Klasse::mitglied(const QString &n) const
{
    for (const Mitglied &m : mitglieder)
        if (m.name.compare(n, Qt::CaseInsensitive) == 0)
            return &m;
    return nullptr;
}

Modell::Modell()
{
    m_klassen = {
        {Archiv, "AR.Firma", "ar_firma", {"Firma"}, {zahl("Firma"), text("Name", Name), zahl("wjbeginn")}, {}},
        {Archiv,
         "AR.Belart",
         "ar_belart",
         {"Firma", "Belart"},
         {zahl("Firma"), text("Belart", Code), text("Bezeichnung", Name), text("Vollstaendig", Schalter), text("WWS", Schalter),
          text("Barcode", Schalter), zahl("lastbelnrbarc"), text("ERechnung", Schalter)},
         {}},
        {Archiv,
         "AR.BelartIndex",
         "ar_belartindex",
         {},
         {zahl("Firma"), text("Belart", Code), zahl("Eigenschaft"), text("Bezeichnung", Name), zahl("Reihenfolge"), text("Auswahl", Schalter),
          text("Suche", Schalter), text("Aendern", Schalter), text("Anzeige", Schalter), text("Neu", Schalter), text("Zielbelart", Code)},
         {}},
        {Archiv,
         "AR.Dokumente",
         "ar_dokumente",
         {},
         {zahl("Firma"), ref("IdBelart", "AR.Belart"), text("Belnr", Nummer), datum("Datum"), zeit("zeit"), text("privatjn", Schalter),
          zahl("picsw"), text("Text"), text("storno", Schalter), text("Aenderung", Code), sammlung("Doks", "AR.Dokuments")},
         {}},
        {Archiv,
         "AR.Dokuments",
         "ar_dokuments",
         {},
         {datum("daterst"), text("doktext", 1000), text("doktyp", Schalter), strom("dok"), text("dateiname", Name), text("bericht", 20000)},
         "AR.Dokumente"},
        {Archiv,
         "AR.Extind",
         "ar_extind",
         {},
         {zahl("Firma"), zahl("Eigenschaft"), ref("IDDokumente", "AR.Dokumente"), gefaltet(text("Wert"))},
         {}},
        {Archiv,
         "AR.Scandat",
         "ar_scandat",
         {},
         {strom("dok"), zahl("seite"), text("dokument", 100), ref("IDDokumente", "AR.Dokumente"), datum("Datum"), text("dateiname", Name),
          text("doktyp", Schalter)},
         {}},
        {Archiv, "AR.Sicherung", "ar_sicherung", {}, {ref("IDDokumente", "AR.Dokumente"), text("DVD", Name), datum("Datum")}, {}},
        stamm("AR.Kundgrp", "ar_kundgrp", "Kgrp", Typ::Text, {text("Name", Name)}),
        stamm("AR.Kund", "ar_kund", "Knr", Typ::Zahl,
              {text("Kgrp", Code), text("Name", Name), text("Kurzbez", Name), text("Plz", Code), text("Ort", Name)}),
        stamm("AR.Lieftyp", "ar_lieftyp", "Lieftyp", Typ::Text, {text("Name", Name)}),
        stamm("AR.Lief", "ar_lief", "Lnr", Typ::Zahl,
              {text("Lieftyp", Code), text("Name", Name), text("Kurzbez", Name), text("Plz", Code), text("Ort", Name), text("UstId", Code),
               text("Steuernr", Code)}),
        stamm("AR.Artikel", "ar_artikel", "Artnr", Typ::Zahl, {text("Abtnr", Code), text("Bezeichnung", Name), text("Kurzbez", Name)}),
        stamm("AR.Abtnr1", "ar_abtnr1", "Abtnr", Typ::Text, {text("Name", Name)}),
        stamm("AR.Abtnr2", "ar_abtnr2", "Abtnr", Typ::Text, {text("Name", Name)}),
        stamm("AR.Mitarb", "ar_mitarb", "Mitarb", Typ::Text, {text("Name", Name)}),
        stamm("AR.Kassa", "ar_kassa", "Kassa", Typ::Zahl, {text("Name", Name)}),
        {Wws,
         "TS.ParPersEdv",
         "ts_parpersedv",
         {"Firma", "Pcode"},
         {zahl("Firma"), text("Pcode", Code), text("pname", Name), text("aktiv", Schalter), geschuetzt(text("passwort", 1000))},
         {}},
    };
}

const Modell &Modell::instanz()
{
    static const Modell modell;
    return modell;
}

const Klasse *Modell::klasse(const QString &ns, const QString &name) const
{
    const Klasse *k = klasse(name);
    return k && k->ns == ns ? k : nullptr;
}

const Klasse *Modell::klasse(const QString &name) const
{
    for (const Klasse &k : m_klassen)
        if (k.name.compare(name, Qt::CaseInsensitive) == 0)
            return &k;
    return nullptr;
}

bool Modell::kenntNamensraum(const QString &ns) const
{
    return ns == QLatin1String(Archiv) || ns == QLatin1String(Wws);
}

} // namespace archiv::archivd

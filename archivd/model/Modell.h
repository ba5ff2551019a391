#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace archiv::archivd {

enum class MitgliedArt { Eigenschaft, Referenz, Sammlung, Strom };
enum class Typ { Text, Zahl, Datum, Zeit };

struct Mitglied
{
    QString name;
    MitgliedArt art = MitgliedArt::Eigenschaft;
    Typ typ = Typ::Text;
    QString ziel; // class of a reference or of a collection's elements
    bool geschuetzt = false; // never sent to or taken from a client
    // A case-folded copy is kept beside the value (column spalte() +
    // "_gefaltet") for searches that ignore case on every database.
    bool gefaltet = false;
    // The longest text the member takes (characters): numbers and codes are
    // short, free texts a few thousand characters.
    int maxLaenge = StandardLaenge;
    static constexpr int StandardLaenge = 4000;

    QString spalte() const { return name.toLower(); }
    QString gefalteteSpalte() const { return spalte() + QStringLiteral("_gefaltet"); }
};

struct Klasse
{
    QString ns;
    QString name;
    QString tabelle;
    QStringList schluessel; // members whose values, joined by "||", form the id
    QList<Mitglied> mitglieder;
    QString besitzer; // set for classes that live as elements of a collection

    // Member names are matched without regard to case: the client writes
    // IdBelart and IDBelart for the same reference.
    const Mitglied *mitglied(const QString &name) const;
    bool hatSchluessel() const { return !schluessel.isEmpty(); }
};

// The archive's classes. Every table of the schema belongs to one of them.
class Modell
{
public:
    static const Modell &instanz();

    const Klasse *klasse(const QString &ns, const QString &name) const;
    const Klasse *klasse(const QString &name) const;
    const QList<Klasse> &klassen() const { return m_klassen; }
    bool kenntNamensraum(const QString &ns) const;

private:
    Modell();
    QList<Klasse> m_klassen;
};

inline constexpr auto Archiv = "TSARCHIV";
inline constexpr auto Wws = "TESSAM";
// The class of an archived Beleg.
inline constexpr const char *BelegKlasse = "AR.Dokumente";

} // namespace archiv::archivd

#pragma once

#include "imaging/KodierteSeite.h"
#include "imaging/Seite.h"

#include <QList>
#include <QStringList>
#include <QString>

namespace archiv::imaging {

// The pages of one document in order, with a current item (-1 = none).
// Pages are held G4-encoded and decoded on demand with a small cache, so a
// long document costs about its file size in memory.
class Seitenliste
{
public:
    int anzahl() const { return int(m_seiten.size()); }
    bool istLeer() const { return m_seiten.isEmpty(); }

    int aktuell() const { return m_aktuell; }
    void setzeAktuell(int index); // -1 = none; out of range is clamped

    Seite seite(int index) const; // decoded
    const KodierteSeite &kodiert(int index) const;
    QList<KodierteSeite> alle() const;

    void einfuegen(int index, const Seite &seite);
    void einfuegen(int index, const KodierteSeite &seite);
    void anhaengen(const Seite &seite) { einfuegen(anzahl(), seite); }
    void loeschen(int index, int anzahl = 1);
    void verschieben(int von, int nach);
    void ersetzen(int index, const Seite &seite);
    void drehen(int index, int grad); // 90 (a quarter turn clockwise), 180, 270
    void leeren();
    // The origins of the pages that carry one (scan-store records), in
    // page order; and forgetting them once the pages are filed.
    QStringList herkuenfte() const;
    void herkunftVergessen();

    // Replaces the contents with pages of a TIFF or PDF file (erste from 0,
    // anzahl -1 = all); the current item becomes the first page.
    void laden(const QString &pfad, int erste = 0, int anzahl = -1);
    void laden(const QByteArray &daten, const QString &name, int erste = 0, int anzahl = -1);
    // The whole list in one file; format 29 (multi-page TIFF G4), 26 (TIFF) or 149 (PDF).
    void speichern(const QString &pfad, int format) const;

    // What the list holds in memory: the encoded pages, and the pages kept
    // decoded in the cache (their count and image bytes).
    qint64 kodierteBytes() const;
    int dekodierteSeiten() const { return int(m_cache.size()); }
    qint64 dekodierteBytes() const;

private:
    struct Eintrag
    {
        KodierteSeite seite;
        quint64 nummer;
    };
    void pruefeIndex(int index, const char *was) const;
    static quint64 neueNummer();

    QList<Eintrag> m_seiten;
    int m_aktuell = -1;
    mutable QList<std::pair<quint64, Seite>> m_cache; // most recent first
};

} // namespace archiv::imaging

#include "imaging/Seitenliste.h"

#include "imaging/Bilddatei.h"
#include "imaging/Seitenbearbeitung.h"
#include "imaging/TiffDatei.h"

#include <atomic>

namespace archiv::imaging {

namespace {
constexpr qsizetype CacheGroesse = 4;
}

quint64 Seitenliste::neueNummer()
{
    static std::atomic<quint64> zaehler{0};
    return ++zaehler;
}

void Seitenliste::pruefeIndex(int index, const char *was) const
{
    if (index < 0 || index >= anzahl())
        throw BildFehler(
            QStringLiteral("%1: Seite %2 gibt es nicht (%3 Seiten)").arg(QLatin1String(was)).arg(index + 1).arg(anzahl()).toStdString());
}

void Seitenliste::setzeAktuell(int index)
{
    m_aktuell = m_seiten.isEmpty() || index < 0 ? -1 : qMin(index, anzahl() - 1);
}

Seite Seitenliste::seite(int index) const
{
    pruefeIndex(index, "Seite");
    const quint64 nummer = m_seiten.at(index).nummer;
    for (qsizetype i = 0; i < m_cache.size(); ++i)
        if (m_cache.at(i).first == nummer) {
            m_cache.move(i, 0);
            return m_cache.first().second;
        }
    Seite s = TiffDatei::dekodieren(m_seiten.at(index).seite);
    m_cache.prepend({nummer, s});
    if (m_cache.size() > CacheGroesse)
        m_cache.removeLast();
    return s;
}

const KodierteSeite &Seitenliste::kodiert(int index) const
{
    pruefeIndex(index, "Seite");
    return m_seiten.at(index).seite;
}

QList<KodierteSeite> Seitenliste::alle() const
{
    QList<KodierteSeite> l;
    l.reserve(m_seiten.size());
    for (const Eintrag &e : m_seiten)
        l.append(e.seite);
    return l;
}

void Seitenliste::einfuegen(int index, const Seite &seite)
{
    einfuegen(index, TiffDatei::kodieren(seite));
}

void Seitenliste::einfuegen(int index, const KodierteSeite &seite)
{
    if (index < 0 || index > anzahl())
        throw BildFehler(QStringLiteral("Einfügen: Position %1 bei %2 Seiten").arg(index).arg(anzahl()).toStdString());
    m_seiten.insert(index, {seite, neueNummer()});
    if (m_aktuell < 0)
        m_aktuell = index;
}

void Seitenliste::loeschen(int index, int n)
{
    pruefeIndex(index, "Löschen");
    n = qMin(n, anzahl() - index);
    m_seiten.remove(index, n);
    if (m_seiten.isEmpty())
        m_aktuell = -1;
    else if (m_aktuell >= index + n)
        m_aktuell -= n;
    else if (m_aktuell >= index)
        m_aktuell = qMin(index, anzahl() - 1);
}

void Seitenliste::verschieben(int von, int nach)
{
    pruefeIndex(von, "Verschieben");
    pruefeIndex(nach, "Verschieben");
    m_seiten.move(von, nach);
}

void Seitenliste::ersetzen(int index, const Seite &seite)
{
    pruefeIndex(index, "Ersetzen");
    KodierteSeite neu = TiffDatei::kodieren(seite);
    neu.herkunft = m_seiten.at(index).seite.herkunft;
    m_seiten[index] = {std::move(neu), neueNummer()};
}

void Seitenliste::drehen(int index, int grad)
{
    ersetzen(index, gedreht(seite(index), grad));
}

QStringList Seitenliste::herkuenfte() const
{
    QStringList h;
    for (const Eintrag &e : m_seiten)
        if (!e.seite.herkunft.isEmpty())
            h << e.seite.herkunft;
    return h;
}

void Seitenliste::herkunftVergessen()
{
    for (Eintrag &e : m_seiten)
        e.seite.herkunft.clear();
}

void Seitenliste::leeren()
{
    m_seiten.clear();
    m_cache.clear();
    m_aktuell = -1;
}

void Seitenliste::laden(const QByteArray &daten, const QString &name, int erste, int anzahl)
{
    const QList<KodierteSeite> seiten = Bilddatei::lesen(daten, name, erste, anzahl);
    leeren();
    for (const KodierteSeite &s : seiten)
        m_seiten.append({s, neueNummer()});
    m_aktuell = m_seiten.isEmpty() ? -1 : 0;
}

void Seitenliste::laden(const QString &pfad, int erste, int anzahl)
{
    const QList<KodierteSeite> seiten = Bilddatei::lesen(pfad, erste, anzahl);
    leeren();
    for (const KodierteSeite &s : seiten)
        m_seiten.append({s, neueNummer()});
    m_aktuell = m_seiten.isEmpty() ? -1 : 0;
}

void Seitenliste::speichern(const QString &pfad, int format) const
{
    Bilddatei::schreiben(pfad, format == EinseitigesTiff ? alle().mid(0, 1) : alle(), format);
}

qint64 Seitenliste::kodierteBytes() const
{
    qint64 summe = 0;
    for (const Eintrag &e : m_seiten)
        summe += e.seite.g4.size();
    return summe;
}

qint64 Seitenliste::dekodierteBytes() const
{
    qint64 summe = 0;
    for (const auto &[nummer, seite] : m_cache)
        summe += seite.bild().sizeInBytes();
    return summe;
}

} // namespace archiv::imaging

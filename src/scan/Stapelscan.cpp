#include "scan/Stapelscan.h"

#include "server/KlassenMethoden.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"
#include "server/Zugang.h"
#include "common/Protokoll.h"

#include <QDate>
#include <QDebug>

#include <optional>

namespace archiv::scan {

QString belegAusBarcodes(server::Verbindung &v, const QStringList &barcodes, qsizetype kurz)
{
    server::KlassenMethoden scandat = v.ClassMethods(QStringLiteral("AR.Scandat"));
    for (const QString &code : barcodes) {
        if (code.size() <= kurz)
            continue;
        const QString beleg = scandat.call(QStringLiteral("GetBelegFromBarcode"), {code}).wert();
        if (!beleg.isEmpty())
            return beleg;
    }
    return {};
}

Seitenzaehler::Seitenzaehler(const QList<std::pair<QString, int>> &liste)
{
    for (const auto &[schluessel, seite] : liste)
        m_hoechste[schluessel] = qMax(m_hoechste.value(schluessel), seite);
}

int Seitenzaehler::naechste(const QString &schluessel)
{
    const int seite = m_hoechste.value(schluessel) + 1;
    m_hoechste[schluessel] = seite;
    m_letzte[schluessel] = seite;
    return seite;
}

void Seitenzaehler::zuruecknehmen(const QString &schluessel)
{
    m_hoechste[schluessel] = qMax(0, m_hoechste.value(schluessel) - 1);
    m_letzte[schluessel] = m_hoechste.value(schluessel);
}

QString dateiAblegen(server::Verbindung &v, const QString &dateiname, const QString &doktyp, const QByteArray &inhalt)
{
    server::Objekt scan = v.New(QStringLiteral("AR.Scandat"));
    scan.strom(QStringLiteral("dok")).Write(inhalt);
    scan.set(QStringLiteral("seite"), QStringLiteral("1"));
    scan.set(QStringLiteral("dateiname"), dateiname);
    scan.set(QStringLiteral("doktyp"), doktyp);
    scan.set(QStringLiteral("Datum"), QDate::currentDate().toString(Qt::ISODate));
    if (scan.SYS_Save() != 1)
        throw scan.letzterFehlerAlsAusnahme();
    const QString id = scan.SYS_Id();
    scan.SYS_Close();
    return id;
}

QString scanAblegen(server::Verbindung &v, const QByteArray &tiff, int seite, const QString &schluessel)
{
    server::Objekt scan = v.New(QStringLiteral("AR.Scandat"));
    scan.strom(QStringLiteral("dok")).Write(tiff);
    scan.set(QStringLiteral("seite"), QString::number(seite));
    scan.set(QStringLiteral("dokument"), schluessel);
    if (scan.SYS_Save() != 1)
        throw scan.letzterFehlerAlsAusnahme();
    const QString id = scan.SYS_Id();
    scan.SYS_Close();
    return id;
}

Stapelablage::Stapelablage(server::Verbindung &v, bool barcodes, bool folgeseiten, Abgelegt abgelegt)
    : m_v(v), m_barcodes(barcodes), m_folgeseiten(folgeseiten), m_abgelegt(std::move(abgelegt))
{
}

void Stapelablage::neueErfassung(const QList<std::pair<QString, int>> &liste)
{
    m_zaehler = Seitenzaehler(liste);
    ++m_erfassung;
    m_position = 0;
}

QString Stapelablage::schluesselFuer(const Seite &seite)
{
    if (seite.schluessel)
        return *seite.schluessel;
    QString schluessel = m_barcodes ? belegAusBarcodes(m_v, seite.codes, KurzerBarcode) : QString();
    // A page whose predecessor's key is not known yet (its lookup failed:
    // it is tried again before this one) stays unassigned rather than
    // being put to a Beleg it may not belong to.
    if (schluessel.isEmpty() && m_folgeseiten && seite.position > 0)
        schluessel = m_schluessel.value({seite.erfassung, seite.position - 1});
    m_schluessel.insert({seite.erfassung, seite.position}, schluessel);
    return schluessel;
}

void Stapelablage::annehmen(Seite seite)
{
    if (seite.position < 0) {
        seite.erfassung = m_erfassung;
        seite.position = m_position++;
    }
    m_wartend.append(std::move(seite));
    // Storing a page may show the login dialog, whose event loop brings the
    // next pages here: they wait for the one being stored.
    if (m_laeuft)
        return;
    m_laeuft = true;
    while (!m_wartend.isEmpty())
        ablegen(m_wartend.takeFirst());
    m_laeuft = false;
}

void Stapelablage::wiederholen()
{
    m_ohneAnmeldung = false;
    const QList<Seite> nochmals = std::exchange(m_fehlgeschlagen, {});
    for (const Seite &s : nochmals)
        annehmen(s);
}

void Stapelablage::ablegen(Seite seite)
{
    std::optional<server::OhneAnmeldung> ohne;
    if (m_ohneAnmeldung)
        ohne.emplace();
    try {
        const QString schluessel = schluesselFuer(seite);
        seite.schluessel = schluessel;
        const int nummer = m_zaehler.naechste(schluessel);
        QString id;
        try {
            id = scanAblegen(m_v, seite.tiff, nummer, schluessel);
        } catch (...) {
            m_zaehler.zuruecknehmen(schluessel);
            throw;
        }
        m_letzte[schluessel] = nummer;
        if (m_abgelegt)
            m_abgelegt(id, schluessel, nummer, seite.bild);
    } catch (const std::exception &e) {
        const auto *f = dynamic_cast<const server::ServerFehler *>(&e);
        m_grund = f ? f->meldung() : QString::fromUtf8(e.what());
        // Declined or failed: the rest of the batch does not ask again.
        if (f && f->code() == QLatin1String(protokoll::AnmeldungNoetig))
            m_ohneAnmeldung = true;
        qWarning().noquote() << "Seite nicht im Scanspeicher:" << m_grund;
        seite.bild = imaging::Seite();
        m_fehlgeschlagen.append(std::move(seite));
    }
}

} // namespace archiv::scan

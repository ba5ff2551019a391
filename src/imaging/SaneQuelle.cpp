#include "imaging/SaneQuelle.h"

#include "imaging/OrdnerQuelle.h"

#include <QMutex>
#include <QScopeGuard>

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <cmath>
#include <chrono>
#include <cstring>
#include <optional>
#include <csignal>
#include <thread>

namespace archiv::imaging {

namespace {

void saneBereit()
{
    static const bool bereit = [] {
        // Backends hand pages from a reader thread or process over a pipe;
        // a scan cancelled or ended early closes it while the reader still
        // writes. That must be an error for the reader, never the end of
        // the whole program.
        std::signal(SIGPIPE, SIG_IGN);
        SANE_Int version = 0;
        const bool ok = sane_init(&version, nullptr) == SANE_STATUS_GOOD;
        if (ok)
            std::atexit([] { sane_exit(); });
        return ok;
    }();
    Q_UNUSED(bereit);
}

QString statusText(SANE_Status s)
{
    return QString::fromUtf8(sane_strstatus(s));
}

// An open device, closed whatever happens.
class Geraet
{
public:
    explicit Geraet(const QString &name)
    {
        saneBereit();
        m_status = sane_open(name.toUtf8().constData(), &m_handle);
    }
    ~Geraet()
    {
        if (m_handle)
            sane_close(m_handle);
    }
    SANE_Handle handle() const { return m_handle; }
    SANE_Status status() const { return m_status; }

    int option(const char *name, const SANE_Option_Descriptor **beschreibung) const
    {
        SANE_Int anzahl = 0;
        if (sane_control_option(m_handle, 0, SANE_ACTION_GET_VALUE, &anzahl, nullptr) != SANE_STATUS_GOOD)
            return -1;
        for (SANE_Int i = 1; i < anzahl; ++i) {
            const SANE_Option_Descriptor *d = sane_get_option_descriptor(m_handle, i);
            if (d && d->name && std::strcmp(d->name, name) == 0 && SANE_OPTION_IS_ACTIVE(d->cap) && SANE_OPTION_IS_SETTABLE(d->cap)) {
                *beschreibung = d;
                return i;
            }
        }
        return -1;
    }

    // Sets a numeric option, clamped to its range; value in the option's unit.
    void zahl(const char *name, double wert) const
    {
        const SANE_Option_Descriptor *d = nullptr;
        const int i = option(name, &d);
        if (i < 0 || (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED) || d->size != sizeof(SANE_Word))
            return;
        if (d->constraint_type == SANE_CONSTRAINT_RANGE) {
            const SANE_Range *r = d->constraint.range;
            const double min = d->type == SANE_TYPE_FIXED ? SANE_UNFIX(r->min) : r->min;
            const double max = d->type == SANE_TYPE_FIXED ? SANE_UNFIX(r->max) : r->max;
            wert = std::clamp(wert, min, max);
        } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
            // The nearest value the device offers.
            const SANE_Word *liste = d->constraint.word_list;
            double best = wert, abstand = 1e300;
            for (SANE_Int k = 1; k <= liste[0]; ++k) {
                const double v = d->type == SANE_TYPE_FIXED ? SANE_UNFIX(liste[k]) : liste[k];
                if (std::fabs(v - wert) < abstand) {
                    abstand = std::fabs(v - wert);
                    best = v;
                }
            }
            wert = best;
        }
        SANE_Word w = d->type == SANE_TYPE_FIXED ? SANE_FIX(wert) : SANE_Word(std::lround(wert));
        sane_control_option(m_handle, i, SANE_ACTION_SET_VALUE, &w, nullptr);
    }

    // A value of -1000..1000 mapped onto the option's range.
    void anteil(const char *name, int wert) const
    {
        const SANE_Option_Descriptor *d = nullptr;
        if (option(name, &d) < 0 || d->constraint_type != SANE_CONSTRAINT_RANGE)
            return;
        const SANE_Range *r = d->constraint.range;
        const double min = d->type == SANE_TYPE_FIXED ? SANE_UNFIX(r->min) : r->min;
        const double max = d->type == SANE_TYPE_FIXED ? SANE_UNFIX(r->max) : r->max;
        zahl(name, min + (std::clamp(wert, -1000, 1000) + 1000) / 2000.0 * (max - min));
    }

    // Sets a string option to the first offered value that matches one of
    // the wishes (case-insensitive, a wish may be a part of the value).
    QString text(const char *name, const QStringList &wuensche) const
    {
        const SANE_Option_Descriptor *d = nullptr;
        const int i = option(name, &d);
        if (i < 0 || d->type != SANE_TYPE_STRING || d->constraint_type != SANE_CONSTRAINT_STRING_LIST)
            return {};
        for (const QString &wunsch : wuensche)
            for (const SANE_String_Const *s = d->constraint.string_list; *s; ++s) {
                const QString wert = QString::fromUtf8(*s);
                if (wert.contains(wunsch, Qt::CaseInsensitive)) {
                    QByteArray puffer = wert.toUtf8();
                    puffer.resize(qMax<qsizetype>(puffer.size() + 1, d->size));
                    sane_control_option(m_handle, i, SANE_ACTION_SET_VALUE, puffer.data(), nullptr);
                    return wert;
                }
            }
        return {};
    }

    // A numeric option's value; 0 when the device has none.
    double zahlWert(const char *name) const
    {
        const SANE_Option_Descriptor *d = nullptr;
        const int i = option(name, &d);
        if (i < 0 || (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED) || d->size != sizeof(SANE_Word))
            return 0;
        SANE_Word w = 0;
        if (sane_control_option(m_handle, i, SANE_ACTION_GET_VALUE, &w, nullptr) != SANE_STATUS_GOOD)
            return 0;
        return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : double(w);
    }

    QString textWert(const char *name) const
    {
        const SANE_Option_Descriptor *d = nullptr;
        const int i = option(name, &d);
        if (i < 0 || d->type != SANE_TYPE_STRING)
            return {};
        QByteArray puffer(d->size + 1, '\0');
        sane_control_option(m_handle, i, SANE_ACTION_GET_VALUE, puffer.data(), nullptr);
        return QString::fromUtf8(puffer.constData());
    }

    // Sets any option from its text (a switch "1"/"0", a number, a string);
    // an option the device does not have or a value it refuses is left.
    void setzen(const QString &name, const QString &wert) const
    {
        const QByteArray n = name.toUtf8();
        const SANE_Option_Descriptor *d = nullptr;
        const int i = option(n.constData(), &d);
        if (i < 0)
            return;
        bool ok = false;
        switch (d->type) {
        case SANE_TYPE_BOOL: {
            SANE_Bool b = wert == QLatin1String("1") ? SANE_TRUE : SANE_FALSE;
            sane_control_option(m_handle, i, SANE_ACTION_SET_VALUE, &b, nullptr);
            break;
        }
        case SANE_TYPE_INT:
        case SANE_TYPE_FIXED: {
            const double zahlwert = wert.toDouble(&ok);
            if (ok)
                zahl(n.constData(), zahlwert);
            break;
        }
        case SANE_TYPE_STRING: {
            QByteArray puffer = wert.toUtf8();
            if (puffer.size() >= d->size)
                return;
            puffer.resize(d->size);
            sane_control_option(m_handle, i, SANE_ACTION_SET_VALUE, puffer.data(), nullptr);
            break;
        }
        default:
            break;
        }
    }

    // The options a user can set (active, settable by software, a single
    // value), with their groups and current values.
    QList<Geraeteoption> beschreibungen() const
    {
        QList<Geraeteoption> liste;
        SANE_Int anzahl = 0;
        if (sane_control_option(m_handle, 0, SANE_ACTION_GET_VALUE, &anzahl, nullptr) != SANE_STATUS_GOOD)
            return liste;
        QString gruppe;
        for (SANE_Int i = 1; i < anzahl; ++i) {
            const SANE_Option_Descriptor *d = sane_get_option_descriptor(m_handle, i);
            if (!d)
                continue;
            if (d->type == SANE_TYPE_GROUP) {
                gruppe = QString::fromUtf8(d->title);
                continue;
            }
            if (!d->name || !*d->name || !SANE_OPTION_IS_ACTIVE(d->cap) || !SANE_OPTION_IS_SETTABLE(d->cap) || d->type == SANE_TYPE_BUTTON)
                continue;
            if ((d->type == SANE_TYPE_BOOL || d->type == SANE_TYPE_INT || d->type == SANE_TYPE_FIXED) && d->size != sizeof(SANE_Word))
                continue; // tables such as gamma curves
            if (auto o = beschreibung(i, d)) {
                o->gruppe = gruppe;
                liste << *o;
            }
        }
        return liste;
    }

    double einheitProZoll(const char *name) const
    {
        const SANE_Option_Descriptor *d = nullptr;
        if (option(name, &d) < 0)
            return 0;
        return d->unit == SANE_UNIT_MM ? 25.4 : 0; // pixel units: left to the device
    }

private:
    std::optional<Geraeteoption> beschreibung(SANE_Int i, const SANE_Option_Descriptor *d) const
    {
        Geraeteoption o;
        o.name = QString::fromUtf8(d->name);
        o.titel = QString::fromUtf8(d->title ? d->title : d->name);
        o.beschreibung = QString::fromUtf8(d->desc ? d->desc : "");
        o.einheit = einheitText(d->unit);
        QByteArray puffer(qMax<SANE_Int>(d->size, sizeof(SANE_Word)) + 1, '\0');
        if (sane_control_option(m_handle, i, SANE_ACTION_GET_VALUE, puffer.data(), nullptr) != SANE_STATUS_GOOD)
            return std::nullopt;
        const auto zahlText = [d](SANE_Word w) {
            return d->type == SANE_TYPE_FIXED ? QString::number(SANE_UNFIX(w), 'g', 6) : QString::number(w);
        };
        SANE_Word w = 0;
        std::memcpy(&w, puffer.constData(), sizeof w);
        switch (d->type) {
        case SANE_TYPE_BOOL:
            o.art = Geraeteoption::Art::Schalter;
            o.wert = w ? QStringLiteral("1") : QStringLiteral("0");
            return o;
        case SANE_TYPE_INT:
        case SANE_TYPE_FIXED:
            o.art = d->type == SANE_TYPE_FIXED ? Geraeteoption::Art::Kommazahl : Geraeteoption::Art::Ganzzahl;
            o.wert = zahlText(w);
            if (d->constraint_type == SANE_CONSTRAINT_RANGE) {
                const SANE_Range *r = d->constraint.range;
                o.bereich = true;
                o.min = d->type == SANE_TYPE_FIXED ? SANE_UNFIX(r->min) : r->min;
                o.max = d->type == SANE_TYPE_FIXED ? SANE_UNFIX(r->max) : r->max;
                o.schritt = d->type == SANE_TYPE_FIXED ? SANE_UNFIX(r->quant) : r->quant;
            } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
                for (SANE_Int k = 1; k <= d->constraint.word_list[0]; ++k)
                    o.auswahl << zahlText(d->constraint.word_list[k]);
            }
            return o;
        case SANE_TYPE_STRING:
            o.art = Geraeteoption::Art::Text;
            o.wert = QString::fromUtf8(puffer.constData());
            if (d->constraint_type == SANE_CONSTRAINT_STRING_LIST)
                for (const SANE_String_Const *t = d->constraint.string_list; *t; ++t)
                    o.auswahl << QString::fromUtf8(*t);
            return o;
        default:
            return std::nullopt;
        }
    }

    static QString einheitText(SANE_Unit u)
    {
        switch (u) {
        case SANE_UNIT_PIXEL:
            return QStringLiteral("Pixel");
        case SANE_UNIT_BIT:
            return QStringLiteral("Bit");
        case SANE_UNIT_MM:
            return QStringLiteral("mm");
        case SANE_UNIT_DPI:
            return QStringLiteral("dpi");
        case SANE_UNIT_PERCENT:
            return QStringLiteral("%");
        case SANE_UNIT_MICROSECOND:
            return QStringLiteral("µs");
        default:
            return {};
        }
    }

    SANE_Handle m_handle = nullptr;
    SANE_Status m_status = SANE_STATUS_INVAL;
};

} // namespace

QStringList SaneQuelle::geraete()
{
    saneBereit();
    const SANE_Device **liste = nullptr;
    QStringList namen;
    if (sane_get_devices(&liste, SANE_TRUE) != SANE_STATUS_GOOD || !liste)
        return namen;
    for (int i = 0; liste[i]; ++i)
        namen << QString::fromUtf8(liste[i]->name);
    return namen;
}

namespace {

bool istEinzug(const QString &quelle)
{
    return quelle.contains(QLatin1String("ADF"), Qt::CaseInsensitive) || quelle.contains(QLatin1String("Feeder"), Qt::CaseInsensitive) ||
        quelle.contains(QLatin1String("Duplex"), Qt::CaseInsensitive);
}

// The scan options from the settings, as far as the device has them; true
// when the device feeds sheets (a scan then runs until the feeder is empty).
bool einstellen(Geraet &g, const Scaneinstellungen &e)
{
    if (!e.einzug.isEmpty())
        g.text(SANE_NAME_SCAN_SOURCE, {e.einzug});
    // Bilevel where the device has it; otherwise grey, reduced here.
    if (g.text(SANE_NAME_SCAN_MODE, {SANE_VALUE_SCAN_MODE_LINEART, QStringLiteral("Binary"), QStringLiteral("Halftone")}).isEmpty()) {
        g.text(SANE_NAME_SCAN_MODE, {SANE_VALUE_SCAN_MODE_GRAY});
        g.zahl(SANE_NAME_BIT_DEPTH, 1);
    }
    bool ok = false;
    const double dpi = e.dpi.trimmed().toDouble(&ok);
    if (ok && dpi > 0)
        g.zahl(SANE_NAME_SCAN_RESOLUTION, dpi);
    g.anteil(SANE_NAME_BRIGHTNESS, e.helligkeit);
    g.anteil(SANE_NAME_CONTRAST, e.kontrast);
    if (const double f = g.einheitProZoll(SANE_NAME_SCAN_BR_X); f > 0) {
        g.zahl(SANE_NAME_SCAN_TL_X, 0);
        g.zahl(SANE_NAME_SCAN_TL_Y, 0);
        g.zahl(SANE_NAME_SCAN_BR_X, 9 * f);
        g.zahl(SANE_NAME_SCAN_BR_Y, 12 * f);
    }
    // The user's choices in the device's options dialog come last.
    for (const auto &[name, wert] : e.geraeteoptionen)
        g.setzen(name, wert);
    return istEinzug(g.textWert(SANE_NAME_SCAN_SOURCE));
}

// One frame as a picture; null for a format we do not take.
QImage alsBild(const SANE_Parameters &p, const QByteArray &daten, int zeilen)
{
    const int b = p.pixels_per_line;
    const int bpl = p.bytes_per_line;
    if (p.format == SANE_FRAME_GRAY && p.depth == 1) {
        // SANE lineart: a set bit is black, as on our pages.
        QImage bild(b, zeilen, QImage::Format_Mono);
        bild.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        for (int y = 0; y < zeilen; ++y)
            std::memcpy(bild.scanLine(y), daten.constData() + qsizetype(y) * bpl, size_t(qMin(bpl, bild.bytesPerLine())));
        return bild;
    }
    if (p.format == SANE_FRAME_GRAY && p.depth == 8)
        return QImage(reinterpret_cast<const uchar *>(daten.constData()), b, zeilen, bpl, QImage::Format_Grayscale8).copy();
    if (p.format == SANE_FRAME_RGB && p.depth == 8)
        return QImage(reinterpret_cast<const uchar *>(daten.constData()), b, zeilen, bpl, QImage::Format_RGB888).copy();
    return {};
}

} // namespace

int SaneQuelle::erfassen(const Scaneinstellungen &e, const ProSeite &proSeite)
{
    m_fehler.clear();
    Geraet g(m_geraet);
    if (g.status() != SANE_STATUS_GOOD) {
        m_fehler = QStringLiteral("%1: %2").arg(m_geraet, statusText(g.status()));
        return NichtBereit;
    }
    // Every way out ends the device's scan, also the failures.
    bool leseFehler = false;
    const auto abbrechen = qScopeGuard([&g, &leseFehler] {
        // A backend whose reading thread ended with an error is still
        // leaving it: cancelling that thread in the middle of its exit can
        // leave a C library lock held by the cancelled thread, and the
        // program then hangs in its next locale call or at its exit (seen
        // with the SANE test backend under load, with 50 ms). Half a second,
        // only after an error (an empty feeder, a jam), lets it go.
        if (leseFehler)
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        sane_cancel(g.handle());
    });
    const bool feeder = einstellen(g, e);
    // The resolution the device scans at (the settings' or the options
    // dialog's, as far as the device has it).
    bool ok = false;
    double dpi = g.zahlWert(SANE_NAME_SCAN_RESOLUTION);
    if (dpi <= 0)
        dpi = e.dpi.trimmed().toDouble(&ok);
    ok = dpi > 0;

    int seiten = 0;
    for (;;) {
        const SANE_Status start = sane_start(g.handle());
        if (start == SANE_STATUS_NO_DOCS) {
            if (seiten > 0)
                break;
            m_fehler = QStringLiteral("%1: keine Vorlagen im Einzug").arg(m_geraet);
            return KeineVorlagen;
        }
        if (start != SANE_STATUS_GOOD) {
            m_fehler = QStringLiteral("%1: %2").arg(m_geraet, statusText(start));
            return start == SANE_STATUS_CANCELLED ? Abgebrochen : NichtBereit;
        }
        SANE_Parameters p{};
        sane_get_parameters(g.handle(), &p);
        QByteArray daten;
        SANE_Status status = SANE_STATUS_GOOD;
        QByteArray block(64 * 1024, Qt::Uninitialized);
        for (;;) {
            SANE_Int gelesen = 0;
            status = sane_read(g.handle(), reinterpret_cast<SANE_Byte *>(block.data()), SANE_Int(block.size()), &gelesen);
            if (gelesen > 0)
                daten.append(block.constData(), gelesen);
            if (status != SANE_STATUS_GOOD)
                break;
        }
        leseFehler = status != SANE_STATUS_EOF;
        if (status == SANE_STATUS_NO_DOCS && daten.isEmpty()) {
            if (seiten > 0)
                break;
            m_fehler = QStringLiteral("%1: keine Vorlagen im Einzug").arg(m_geraet);
            return KeineVorlagen;
        }
        if (status != SANE_STATUS_EOF) {
            m_fehler = QStringLiteral("%1: %2").arg(m_geraet, statusText(status));
            return NichtBereit;
        }
        const int bpl = p.bytes_per_line;
        const int zeilen = bpl > 0 ? int(daten.size() / bpl) : 0;
        if (zeilen <= 0 || p.pixels_per_line <= 0) {
            m_fehler = QStringLiteral("%1: leere Seite geliefert").arg(m_geraet);
            return NichtBereit;
        }
        const QImage bild = alsBild(p, daten, zeilen);
        if (bild.isNull()) {
            m_fehler = QStringLiteral("%1: Bildformat wird nicht unterstützt (Format %2, Tiefe %3)").arg(m_geraet).arg(p.format).arg(p.depth);
            return NichtBereit;
        }
        const int aufloesung = ok && dpi > 0 ? int(dpi) : 300;
        proSeite(Seite(bild, aufloesung));
        ++seiten;
        if (!feeder)
            break;
    }
    return Ok;
}

QList<Geraeteoption> SaneQuelle::optionen(const Scaneinstellungen &e)
{
    Geraet g(m_geraet);
    if (g.status() != SANE_STATUS_GOOD) {
        m_fehler = QStringLiteral("%1: %2").arg(m_geraet, statusText(g.status()));
        return {};
    }
    einstellen(g, e);
    return g.beschreibungen();
}

QStringList Seitenquelle::quellen()
{
    return SaneQuelle::geraete();
}

std::unique_ptr<Seitenquelle> Seitenquelle::oeffnen(const QString &name)
{
    if (name.startsWith(QLatin1String(OrdnerQuelle::Praefix)))
        return std::make_unique<OrdnerQuelle>(name.mid(int(qstrlen(OrdnerQuelle::Praefix))));
    return std::make_unique<SaneQuelle>(name);
}

} // namespace archiv::imaging

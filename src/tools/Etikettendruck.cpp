#include "tools/Etikettendruck.h"

#include "app/Ereignis.h"
#include "app/Sanduhr.h"
#include "common/Etikett.h"
#include "common/Format.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "common/Twips.h"
#include "imaging/Barcode.h"
#include "server/ErgebnisMenge.h"
#include "server/Verbindung.h"

#include <QComboBox>
#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPagedPaintDevice>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>

namespace archiv::tools {

using namespace archiv::common;

namespace {

const QString Titel = QStringLiteral("Archivserver - Etikettendruck");

// The sheet, in twips.
constexpr double ErsteZeile = 850, ErsteSpalte = 670, Spaltenschritt = 1582, Zeilenschritt = 567;
constexpr double Zeilenende = 12000, Seitenende = 16500;
constexpr double BarcodeBreite = 1200, BarcodeHoehe = 300;

} // namespace

QList<Etikettplatz> etikettenLayout(qint64 start, qint64 anzahl)
{
    QList<Etikettplatz> plaetze;
    plaetze.reserve(qMax<qint64>(0, anzahl));
    int seite = 0;
    double x = ErsteSpalte, y = ErsteZeile;
    for (qint64 n = start; n < start + anzahl; ++n) {
        plaetze.append({seite, x, y, n});
        x += Spaltenschritt;
        if (x + 1300 > Zeilenende) {
            x = ErsteSpalte;
            y += Zeilenschritt;
        }
        if (y + 500 > Seitenende) {
            x = ErsteSpalte;
            y = ErsteZeile;
            ++seite;
        }
    }
    return plaetze;
}

void etikettenZeichnen(QPagedPaintDevice &geraet, qint64 start, qint64 anzahl)
{
    QPainter p(&geraet);
    if (!p.isActive())
        throw std::runtime_error("Der Drucker lässt sich nicht öffnen");
    // Twips relative to the page, whatever margins the device keeps.
    const double dpi = geraet.logicalDpiX();
    const QPointF rand = geraet.pageLayout().paintRectPixels(qRound(dpi)).topLeft();
    const auto px = [dpi](double twips) { return twips * dpi / TwipsProZoll; };
    QFont schrift(QStringLiteral("Arial"));
    schrift.setPointSizeF(10);
    p.setFont(schrift);
    const QSize symbolPixel(qRound(px(BarcodeBreite)), qRound(px(BarcodeHoehe)));
    int seite = 0;
    for (const Etikettplatz &e : etikettenLayout(start, anzahl)) {
        if (e.seite != seite) {
            geraet.newPage();
            seite = e.seite;
        }
        const QPointF ecke(px(e.links) - rand.x(), px(e.oben) - rand.y());
        p.drawText(QRectF(ecke.x() + px(400), ecke.y(), px(1000), px(250)), Qt::AlignLeft | Qt::AlignTop, QString::number(e.nummer));
        const QImage symbol = imaging::ean13Bild(etikett::code(e.nummer), symbolPixel.width(), symbolPixel.height());
        p.drawImage(QRectF(ecke.x(), ecke.y() + px(250), symbolPixel.width(), symbolPixel.height()), symbol);
    }
}

std::optional<QString> etikettenBereichPruefen(qint64 start, qint64 anzahl)
{
    if (start < 1 || anzahl < 1)
        return QStringLiteral("Bitte eine Startnummer ab 1 und eine Anzahl ab 1 angeben.");
    if (start + anzahl - 1 > etikett::HoechsteNummer)
        return QStringLiteral("Etikettennummern gehen von 1 bis %1; der Lauf %2 bis %3 ist nicht möglich.")
            .arg(etikett::HoechsteNummer)
            .arg(start)
            .arg(start + anzahl - 1);
    return std::nullopt;
}

std::optional<QString> etikettenReservieren(server::Verbindung &v, const QString &firma, const QString &belart, qint64 start, qint64 anzahl)
{
    if (const auto fehler = etikettenBereichPruefen(start, anzahl))
        return fehler;
    const qint64 ende = start + anzahl - 1;
    server::Objekt typ = v.OpenId(QStringLiteral("AR.Belart"), firma + QStringLiteral("||") + belart);
    if (typ.istLeer())
        return QStringLiteral("Die Belegart %1 gibt es nicht.").arg(belart);
    const qint64 zuletzt = typ.get(QStringLiteral("lastbelnrbarc")).toLongLong();
    if (start <= zuletzt)
        return QStringLiteral("Etiketten bis zur Nummer %1 sind schon gedruckt; die nächste freie Nummer ist %2.").arg(zuletzt).arg(zuletzt + 1);
    typ.set(QStringLiteral("lastbelnrbarc"), QString::number(ende));
    // The version read above: a run another workstation reserved meanwhile
    // makes this save fail.
    if (typ.SYS_Save() != 1)
        return QStringLiteral("Die Nummern wurden eben an einem anderen Arbeitsplatz vergeben; bitte neu aufbauen.\n") + typ.letzterFehler();
    return std::nullopt;
}

std::optional<qint64> naechsteNummerReservieren(server::Verbindung &v, const QString &firma, const QString &belart, QString *fehler)
{
    constexpr int Versuche = 5;
    for (int versuch = 1;; ++versuch) {
        server::Objekt typ = v.OpenId(QStringLiteral("AR.Belart"), firma + QStringLiteral("||") + belart);
        if (typ.istLeer()) {
            *fehler = QStringLiteral("Die Belegart %1 gibt es nicht.").arg(belart);
            return std::nullopt;
        }
        const qint64 nummer = typ.get(QStringLiteral("lastbelnrbarc")).toLongLong() + 1;
        if (const auto f = etikettenBereichPruefen(nummer, 1)) {
            *fehler = *f;
            return std::nullopt;
        }
        typ.set(QStringLiteral("lastbelnrbarc"), QString::number(nummer));
        if (typ.SYS_Save() == 1)
            return nummer;
        // Only a newer counter is worth another try; anything else is said.
        if (typ.letzterStatus() != 409 || versuch == Versuche) {
            *fehler = QStringLiteral("Für die Belegart %1 ließ sich keine Nummer vergeben.\n").arg(belart) + typ.letzterFehler();
            return std::nullopt;
        }
    }
}

Etikettendruck::Etikettendruck(QString firma, QWidget *parent) : QDialog(parent), m_firma(std::move(firma))
{
    setObjectName(QStringLiteral("etikett"));
    setWindowTitle(Titel);
    m_belart = new QComboBox(this);
    m_belart->setObjectName(QStringLiteral("LIBelart"));
    m_belart->setMinimumWidth(220);
    m_start = new QLineEdit(this);
    m_start->setObjectName(QStringLiteral("Belnrstart"));
    m_start->setValidator(new QIntValidator(1, int(etikett::HoechsteNummer), m_start));
    m_anzahl = new QLineEdit(this);
    m_anzahl->setObjectName(QStringLiteral("Etanz"));
    m_anzahl->setValidator(new QIntValidator(0, int(etikett::HoechsteNummer), m_anzahl));
    auto *aufbau = new QPushButton(QStringLiteral("Aufbau"), this);
    aufbau->setObjectName(QStringLiteral("BUAufbau"));
    auto *druck = new QPushButton(QStringLiteral("Drucken"), this);
    druck->setObjectName(QStringLiteral("BUDruck"));
    auto *aus = new QPushButton(QStringLiteral("Ausstieg"), this);
    aus->setObjectName(QStringLiteral("BUAusstieg"));
    m_drucker.setPageSize(QPageSize(QPageSize::A4));
    m_drucker.setFullPage(true);
    m_vorschau = new QPrintPreviewWidget(&m_drucker, this);
    m_vorschau->setObjectName(QStringLiteral("VSPrinter1"));
    m_vorschau->setMinimumSize(480, 520);

    auto *g = new QGridLayout(this);
    g->addWidget(new QLabel(QStringLiteral("Belegart:"), this), 0, 0);
    g->addWidget(m_belart, 0, 1);
    g->addWidget(new QLabel(QStringLiteral("Nummer ab:"), this), 1, 0);
    g->addWidget(m_start, 1, 1);
    g->addWidget(new QLabel(QStringLiteral("Anzahl:"), this), 2, 0);
    g->addWidget(m_anzahl, 2, 1);
    auto *knoepfe = new QVBoxLayout;
    for (QPushButton *k : {aufbau, druck, aus})
        knoepfe->addWidget(k);
    knoepfe->addStretch();
    g->addLayout(knoepfe, 3, 0, 1, 2);
    g->addWidget(m_vorschau, 0, 2, 5, 1);
    g->setColumnStretch(2, 1);
    g->setRowStretch(4, 1);

    connect(m_belart, &QComboBox::currentIndexChanged, this, [this] { app::ereignis([this] { typGewaehlt(); }); });
    connect(aufbau, &QPushButton::clicked, this, [this] { app::ereignis([this] { aufbauen(); }); });
    connect(druck, &QPushButton::clicked, this, [this] { app::ereignis([this] { drucken(); }); });
    connect(aus, &QPushButton::clicked, this, &QDialog::hide);
    connect(m_vorschau, &QPrintPreviewWidget::paintRequested, this, [this](QPrinter *drucker) {
        if (m_aufbauAnzahl > 0)
            etikettenZeichnen(*drucker, m_aufbauStart, m_aufbauAnzahl);
    });
    resize(900, 640);
}

void Etikettendruck::laden()
{
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Belart"), QStringLiteral("Belart"));
    rs.Execute(QStringList{m_firma});
    const QSignalBlocker sperre(m_belart);
    m_belart->clear();
    int er = -1;
    while (rs.Next()) {
        if (rs.GetData(6) != QLatin1String("J"))
            continue;
        m_belart->addItem(rs.GetData(3), rs.GetData(2));
        if (rs.GetData(1) == QLatin1String("ER"))
            er = m_belart->count() - 1;
    }
    rs.Close();
    // "ER" when the company prints labels for it; otherwise the user
    // chooses (the box would take its first row by itself).
    m_belart->setCurrentIndex(er);
    typGewaehlt();
}

void Etikettendruck::typGewaehlt()
{
    if (m_belart->currentIndex() < 0)
        return;
    const server::Objekt typ =
        global::Archivverbindung->OpenId(QStringLiteral("AR.Belart"), m_firma + QStringLiteral("||") + m_belart->currentData().toString());
    if (!typ.istLeer())
        m_start->setText(formatAllgemein(QString::number(typ.get(QStringLiteral("lastbelnrbarc")).toLongLong() + 1)));
}

bool Etikettendruck::aufbauen()
{
    const qint64 anzahl = m_anzahl->text().toLongLong();
    if (m_belart->currentIndex() < 0 || anzahl == 0 || m_belart->currentText().isEmpty())
        return false;
    const qint64 start = m_start->text().toLongLong();
    if (const auto fehler = etikettenBereichPruefen(start, anzahl)) {
        meldung(Titel, *fehler, MeldungsSymbol::Ausruf);
        return false;
    }
    QPrintDialog dialog(&m_drucker, this);
    dialog.setObjectName(QStringLiteral("Print1"));
    dialog.setWindowTitle(QStringLiteral("Etiketten drucken"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    m_aufbauStart = start;
    m_aufbauAnzahl = anzahl;
    m_aufbauBelart = m_belart->currentData().toString();
    m_vorschau->updatePreview();
    return true;
}

bool Etikettendruck::drucken()
{
    // What is printed is what was laid out; its numbers are reserved first.
    if (m_aufbauAnzahl <= 0) {
        meldung(Titel, QStringLiteral("Bitte die Etiketten zuerst mit \"Aufbau\" aufbauen."), MeldungsSymbol::Information);
        return false;
    }
    {
        const app::Sanduhr sanduhr;
        if (const auto fehler = etikettenReservieren(*global::Archivverbindung, m_firma, m_aufbauBelart, m_aufbauStart, m_aufbauAnzahl)) {
            meldung(Titel, *fehler, MeldungsSymbol::Ausruf);
            typGewaehlt();
            return false;
        }
        try {
            etikettenZeichnen(m_drucker, m_aufbauStart, m_aufbauAnzahl);
        } catch (const std::exception &e) {
            meldung(Titel,
                    QStringLiteral("Drucken fehlgeschlagen\n%1\nDie Nummern %2 bis %3 sind vergeben; bitte ab %4 neu drucken.")
                        .arg(QString::fromUtf8(e.what()))
                        .arg(m_aufbauStart)
                        .arg(m_aufbauStart + m_aufbauAnzahl - 1)
                        .arg(m_aufbauStart + m_aufbauAnzahl),
                    MeldungsSymbol::Ausruf);
            typGewaehlt();
            return false;
        }
    }
    m_aufbauAnzahl = 0;
    hide();
    return true;
}

} // namespace archiv::tools

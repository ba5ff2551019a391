#include "tools/Vollstaendigkeitstest.h"

#include "app/Drucken.h"
#include "app/Ereignis.h"
#include "app/Sanduhr.h"
#include "common/Feld.h"
#include "common/Texte.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "server/ErgebnisMenge.h"
#include "server/KlassenMethoden.h"
#include "server/Verbindung.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPagedPaintDevice>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QScopeGuard>

namespace archiv::tools {

using namespace archiv::common;

namespace {

const QString Abbruch = QStringLiteral("*** ABBRUCH durch Benutzer ***");

} // namespace

void vollstaendigkeitDrucken(QPagedPaintDevice &geraet, const QString &belart, const QString &bericht, const QDate &datum)
{
    QPainter p(&geraet);
    if (!p.isActive())
        throw std::runtime_error("Der Drucker lässt sich nicht öffnen");
    const QRect platz = p.viewport();
    QFont gross(QStringLiteral("Arial"));
    gross.setPointSizeF(14);
    QFont normal(QStringLiteral("Arial"));
    normal.setPointSizeF(10);
    p.setFont(gross);
    int y = QFontMetrics(gross, &geraet).ascent();
    p.drawText(0, y, QStringLiteral("Vollständigkeitsliste Belege           Belegart: ") + belart + QStringLiteral("       ") +
                         datum.toString(QStringLiteral("dd.MM.yyyy")));
    p.setFont(normal);
    const QFontMetrics fm(normal, &geraet);
    y += QFontMetrics(gross, &geraet).descent() + fm.lineSpacing(); // the empty line
    for (const QString &zeile : bericht.split(u'\n')) {
        if (y + fm.lineSpacing() > platz.height()) {
            geraet.newPage();
            y = 0;
        }
        y += fm.lineSpacing();
        p.drawText(0, y, zeile);
    }
}

Vollstaendigkeitstest::Vollstaendigkeitstest(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("vollsttst"));
    setWindowTitle(QStringLiteral("Archiv - Vollständigkeitstest"));
    m_belart = new QComboBox(this);
    m_belart->setObjectName(QStringLiteral("LIBelart"));
    m_belart->setMinimumWidth(220);
    m_jahr = new QComboBox(this);
    m_jahr->setObjectName(QStringLiteral("WJahr"));
    m_jahr->setEditable(true);
    m_jahr->setInsertPolicy(QComboBox::NoInsert);
    // The years one tests most: this one and the nine before; any other is
    // typed.
    for (int jahr = QDate::currentDate().year(), i = 0; i < 10; ++i)
        m_jahr->addItem(QString::number(jahr - i));
    m_jahr->setCurrentIndex(-1);
    m_dateien = new QCheckBox(QStringLiteral("Dateien lesen und prüfen"), this);
    m_dateien->setObjectName(QStringLiteral("CHDateien"));
    m_start = new QPushButton(QStringLiteral("Starten"), this);
    m_start->setObjectName(QStringLiteral("BUStart"));
    m_ausgabe = new QPlainTextEdit(this);
    m_ausgabe->setObjectName(QStringLiteral("Ausgabe"));
    m_ausgabe->setReadOnly(true);
    m_ausgabe->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto *druck = new QPushButton(QStringLiteral("Drucken"), this);
    druck->setObjectName(QStringLiteral("BUDruck"));
    auto *zu = new QPushButton(QStringLiteral("Schliessen"), this);
    zu->setObjectName(QStringLiteral("BUClose"));

    auto *g = new QGridLayout(this);
    g->addWidget(new QLabel(QStringLiteral("Belegart:"), this), 0, 0);
    g->addWidget(m_belart, 0, 1);
    g->addWidget(new QLabel(QStringLiteral("Wirtschaftsjahr:"), this), 1, 0);
    g->addWidget(m_jahr, 1, 1);
    g->addWidget(m_dateien, 2, 1);
    g->addWidget(m_start, 0, 2);
    g->addWidget(m_ausgabe, 3, 0, 1, 4);
    auto *knoepfe = new QHBoxLayout;
    knoepfe->addStretch();
    knoepfe->addWidget(druck);
    knoepfe->addWidget(zu);
    g->addLayout(knoepfe, 4, 0, 1, 4);
    g->setColumnStretch(3, 1);
    g->setRowStretch(3, 1);
    connect(m_start, &QPushButton::clicked, this, [this] { app::ereignis([this] { starten(); }); });
    connect(druck, &QPushButton::clicked, this, [this] { app::ereignis([this] { drucken(); }); });
    connect(zu, &QPushButton::clicked, this, &QDialog::hide);
    resize(720, 560);
}

void Vollstaendigkeitstest::laden(const QString &firma)
{
    if (firma == m_firma && m_belart->count() > 0)
        return;
    m_firma = firma;
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Belart"), QStringLiteral("Belart"));
    rs.Execute(QStringList{firma});
    m_belart->clear();
    while (rs.Next())
        if (rs.GetData(4) == QLatin1String("J"))
            m_belart->addItem(rs.GetData(3), rs.GetData(2));
    rs.Close();
    m_belart->setCurrentIndex(-1);
}

void Vollstaendigkeitstest::starten()
{
    m_ausgabe->show();
    m_start->setEnabled(false);
    const auto frei = qScopeGuard([this] { m_start->setEnabled(true); });
    const app::Sanduhr sanduhr;
    m_ausgabe->clear();
    server::KlassenMethoden methoden = global::Archivverbindung->ClassMethods(QStringLiteral("AR.Dokumente"));
    m_auftrag =
        methoden
            .call(QStringLiteral("VTestStart"), {m_belart->currentData().toString(), m_jahr->currentText(), m_firma,
                                                m_dateien->isChecked() ? QStringLiteral("1") : QStringLiteral("0")})
            .wert();
    int zeilen = 0;
    for (;;) {
        QString r = methoden.call(QStringLiteral("VTestErg"), {m_auftrag}).wert();
        if (zeilen > MaxZeilen) {
            methoden.call(QStringLiteral("vtestcancel"), {m_auftrag});
            r = QStringLiteral("ERR|") + Abbruch;
        }
        const QString status = Feld(r, QStringLiteral("|"), 1);
        const QString text = Feld(r, QStringLiteral("|"), 2);
        if (!text.isEmpty()) {
            if (zeilen < MaxZeilen || status == QLatin1String("ERR"))
                m_ausgabe->appendPlainText(text);
            ++zeilen;
        }
        if (status == QLatin1String("OK") || status == QLatin1String("ERR"))
            break;
        QCoreApplication::processEvents();
    }
}

void Vollstaendigkeitstest::drucken()
{
    QPrinter drucker;
    app::standarddruckerEinrichten(drucker);
    try {
        const app::Sanduhr sanduhr;
        vollstaendigkeitDrucken(drucker, m_belart->currentText(), m_ausgabe->toPlainText(), QDate::currentDate());
    } catch (const std::exception &e) {
        meldung(HauptTitel, QStringLiteral("Drucken fehlgeschlagen\n") + QString::fromUtf8(e.what()), MeldungsSymbol::Ausruf);
    }
}

} // namespace archiv::tools

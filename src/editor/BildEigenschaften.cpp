#include "editor/Bild.h"

#include "app/Eigenschaftszeilen.h"
#include "app/Ereignis.h"
#include "common/Format.h"
#include "common/Kennungen.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "common/Texte.h"
#include "common/Twips.h"
#include "lookup/Suchdialog.h"
#include "server/Verbindung.h"

#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QStandardItemModel>
#include <QToolButton>
#include <QTreeView>

namespace archiv::editor {

using namespace archiv::common;

namespace {

// Row 0 (the template) sits at this top; row i lies 400 twips × i below.
constexpr double ZeileOben0 = 1150;

} // namespace

void Bild::zeilenAnlegen()
{
    app::Eigenschaftszeilen::Anordnung anordnung;
    anordnung.bez = QRectF(200, ZeileOben0 + 40, 1700, 300);
    anordnung.feld = QRectF(1950, ZeileOben0, 3500, 330);
    anordnung.such = QRectF(5500, ZeileOben0, 400, 330);
    anordnung.ersteZeile = 400;
    anordnung.auswahl = app::Eigenschaftszeilen::Auswahlliste::Tabelle;
    anordnung.faerben = true;
    anordnung.suchText = QStringLiteral("...");
    m_zeilen = new app::Eigenschaftszeilen(m_frBeleg, anordnung, this);
    connect(m_zeilen, &app::Eigenschaftszeilen::sucheGeklickt, this, [this](int i) { app::ereignis([&] { eigenSuchen(i); }); });
}

void Bild::Belart_Click()
{
    if (global::DoksSperre)
        return;
    const QString schluessel = m_belart->currentData().toString();
    if (schluessel != global::AktBelart && !global::DokId.isEmpty()) {
        meldung(HauptTitel, QStringLiteral("Kann nicht geändert werden"), MeldungsSymbol::Information);
        const QScopedValueRollback sperre(global::DoksSperre, true);
        m_belart->setCurrentIndex(m_belart->findData(global::AktBelart));
        return;
    }
    global::AktBelart = schluessel;
    m_zeilen->verbergen();
    m_geladen.clear();

    const bool bearbeiten = global::Modus == modus::Bearbeiten;
    const bool gespeichert = zahlWert(global::DokId) > 0;
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.BelartIndex"), QStringLiteral("Liste"));
    // The company goes along: two companies may define one type code differently.
    rs.Execute(QStringList{global::AktBelart, m_firma, QString()});
    int i = 0;
    while (rs.Next() && i < global::MaxEigenschaften) {
        ++i;
        const auto ja = [&rs](int spalte) { return rs.GetData(spalte) == QLatin1String("J"); };
        app::Eigenschaftszeilen::Eigenschaft e;
        e.code = int(zahlWert(rs.GetData(2)));
        e.bezeichnung = rs.GetData(3);
        e.aenderbar = bearbeiten && ((ja(9) && global::DokId.isEmpty()) || (ja(7) && gespeichert));
        // Shown rows only; a choice list where the value can be changed.
        if (ja(8))
            e.art = e.aenderbar && ja(5) ? zeilenart::Auswahl : zeilenart::Text;
        e.suche = ja(6);
        m_zeilen->zeigen(i, e);
        global::EigenTyp[size_t(i)] = e.art;
        global::EigenId[size_t(i)] = m_zeilen->code(i);
        if (e.art == zeilenart::Auswahl)
            auswahlFuellen(i, e.code);
    }
    global::EigenAnz = i;
    rs.Close();
    Zustand();
}

void Bild::auswahlFuellen(int i, int code)
{
    const auto fuellen = [&](const QString &klasse, const QString &abfrage, const QStringList &args, app::Eigenschaftszeilen::Liste liste) {
        QList<app::Eigenschaftszeilen::Eintrag> eintraege;
        server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(klasse, abfrage);
        rs.Execute(args);
        while (rs.Next())
            eintraege.append({rs.GetData(1), liste == app::Eigenschaftszeilen::Liste::Schluessel ? rs.GetData(2) : QString()});
        rs.Close();
        m_zeilen->auswahlFuellen(i, eintraege, liste);
    };
    if (code == eigenschaft::Kasse)
        fuellen(QStringLiteral("AR.Kassa"), QStringLiteral("Liste"), {m_firma}, app::Eigenschaftszeilen::Liste::Schluessel);
    else if (code == eigenschaft::Mitarbeiter)
        fuellen(QStringLiteral("AR.Mitarb"), QStringLiteral("Liste"), {m_firma, QStringLiteral("N")},
                app::Eigenschaftszeilen::Liste::Schluessel);
    else if (istFreierWert(code))
        fuellen(QStringLiteral("AR.Extind"), QStringLiteral("Inhalte"), {m_firma, QString::number(code)},
                app::Eigenschaftszeilen::Liste::FreieWerte);
}

void Bild::eigenSuchen(int i)
{
    if (i < 1 || i > m_zeilen->anzahl())
        return;
    // The field takes SuchWert only when a row was picked; closing the
    // lookup leaves what was typed.
    if (lookup::Suchdialog::zeigen(global::EigenId[size_t(i)], m_firma, this))
        m_zeilen->setzen(i, global::SuchWert);
}

QString Bild::eigenWert(int i) const
{
    return m_zeilen->wert(i);
}

} // namespace archiv::editor

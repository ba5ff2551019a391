#include "search/Archiv.h"
#include "search/Ausgabe.h"

#include "app/Ereignis.h"
#include "app/Sanduhr.h"
#include "common/Feld.h"
#include "common/Format.h"
#include "common/Kennungen.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "common/Texte.h"
#include "editor/Bild.h"
#include "search/Ergebnis.h"
#include "search/TrefferModell.h"
#include "server/Verbindung.h"

#include <QApplication>
#include <QScopeGuard>

namespace archiv::search {

using namespace archiv::common;

void Archiv::editorVerbinden(Ergebnis *e)
{
    connect(e, &Ergebnis::oeffnen, this, [this](const QString &id) { app::ereignis([this, id] { belegOeffnen(id); }); });
    connect(e, &Ergebnis::bearbeiten, this, [this](int zeile) { app::ereignis([&] { belegBearbeiten(zeile); }); });
}

QString Archiv::belegOeffnen(const QString &dokId)
{
    if (zahlWert(dokId) == 0)
        return {};
    app::Sanduhr sanduhr;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    server::Objekt d = global::Archivverbindung->OpenId(QStringLiteral("AR.Dokumente"), dokId);
    const int picsw = int(zahlWert(d.get(QStringLiteral("picsw"))));
    const QString typ = d.istLeer() || picsw == bildstatus::Keins ? QString()
        : picsw == bildstatus::Pdf                                ? QStringLiteral("pdf")
                                                                  : QStringLiteral("tif");
    d.SYS_Close();
    if (typ.isEmpty()) {
        meldung(HauptTitel, QStringLiteral("Kein Bilddokument vorhanden"), MeldungsSymbol::Information);
        return typ;
    }
    if (typ == QLatin1String("tif")) {
        global::Modus = modus::Klick;
        sanduhr.aufheben();
        editor::Bild::zeigen(this, firmaSchluessel(), dokId);
        return typ;
    }
    // PDF documents go to the workstation's viewer.
    const std::optional<ausgabe::Dokument> dok = ausgabe::neuestesDokument(*global::Archivverbindung, dokId);
    if (!dok) {
        meldung(HauptTitel, QStringLiteral("Kein Bilddokument vorhanden"), MeldungsSymbol::Information);
        return QString();
    }
    if (!ausgabe::pdfZeigen(*dok))
        meldung(HauptTitel, QStringLiteral("Für PDF-Dokumente ist auf diesem Arbeitsplatz kein Anzeigeprogramm eingerichtet."),
                MeldungsSymbol::Ausruf);
    return typ;
}

void Archiv::belegBearbeiten(int zeile)
{
    if (zeile < 0 || !m_ergebnis || zeile >= m_ergebnis->modell()->rowCount())
        return;
    const QString id = Feld(m_ergebnis->modell()->zeile(zeile).daten, QStringLiteral("|"), 1);
    if (zahlWert(id) == 0)
        return;
    editor::Bild::zeigen(this, firmaSchluessel(), id);
}

void Archiv::neuerBeleg(bool bearbeiten)
{
    if (bearbeiten)
        global::Modus = modus::Bearbeiten;
    editor::Bild::zeigen(this, firmaSchluessel());
}

} // namespace archiv::search

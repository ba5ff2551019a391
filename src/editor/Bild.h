#pragma once

#include "editor/Editorregeln.h"
#include "einvoice/Originalansicht.h"

#include <QDialog>
#include <QHash>
#include <QMap>
#include <QSet>

#include <memory>
#include <optional>

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QTabWidget;
class QTimeEdit;
class QToolBar;
class QToolButton;

namespace archiv::app {
class DatumFeld;
class Eigenschaftszeilen;
} // namespace archiv::app

namespace archiv::server {
class Objekt;
}
namespace archiv::imaging {
class Seitenquelle;
struct Scaneinstellungen;
}

namespace archiv::editor {

class Doksliste;

// Whether a stored document element holds a received original (kept as it
// came) rather than pages the archive wrote itself.
bool istOriginalElement(const QString &doktyp, const QString &dateiname);
class Seitenansicht;
class Vorschaurahmen;

// The editor window: one Beleg with its header, index properties, stored
// documents and the pages of the current document. Edit mode (Modus
// "bearbeiten") creates, changes and saves; any other mode only shows.
// The company whose Beleg it shows is given by the opener.
class Bild : public QDialog
{
    Q_OBJECT
public:
    explicit Bild(QString firma, QWidget *parent = nullptr);
    ~Bild() override;

    // Opens the editor modally over its owner: for a new Beleg without an
    // id, else with the Beleg and its pages loaded. Modus is the caller's.
    static void zeigen(QWidget *besitzer, const QString &firma, const QString &dokId = {});

    // Window load: types, zoom, a new empty Beleg, the stored placement.
    void laden();
    // What the window does when it becomes active.
    void aktivieren();
    // The control rule, applied to the widgets.
    void Zustand();
    void neu();
    void buNeu();

    // The loader: a Beleg by object id, with or without its first
    // document's pages.
    // Which stored document the loader shows: the first (the number pick
    // list and the Beleg search) or the newest (opening from the result
    // window, so that a corrected re-scan is what the user sees first).
    enum class Dokumentwahl { Erstes, Neuestes };
    void belegLaden(const QString &dokId, bool mitSeiten, Dokumentwahl wahl = Dokumentwahl::Erstes);
    // A row chosen in Doks (index from 0).
    void dokumentGewaehlt(int zeile);

    // The type selection (Belart_Click) and the lookup button of row i.
    void Belart_Click();
    void eigenSuchen(int i);
    // Row i of the property rows (1 to EigenAnz): the value shown.
    QString eigenWert(int i) const;

    // Pages in: scanning from the configured source (BUScan), the Beleg
    // search (BUSubeleg), a further document of the Beleg (budoknreinf).
    void scannen();
    void scanDokumenteHolen(); // BUScandatabase: pages of the scan store
    // ohneMeldung: no "Dokument nicht gefunden" when nothing is found (pages
    // just taken in for a Beleg that is not archived yet).
    void belegSuchen(bool ohneMeldung = false);
    void dokumentAnfuegen();
    // Received files: "Datei…" (BUDatei) and files dropped on the page view.
    // Each becomes a document element of its own, stored as it is.
    void dateiWaehlen();
    void dateienAufnehmen(const QStringList &pfade);
    // The page view shows a received original (read-only).
    bool zeigtOriginal() const { return m_original.has_value(); }
    static QString originalSperrText();

    // The page view.
    void Zoomen(const QString &art);
    void scrollWert(int wert); // Scroll1 changed or dragged
    // "Zurück"/"Weiter" after a full-text search: the previous or next page
    // with marked words (richtung -1 or 1).
    void trefferSpringen(int richtung);
    void taste(int code); // key-down in Image1
    void vorschauDoppelklick(int i);
    void seiteVerschieben(int von, int auf);
    void vorschau_refresh();
    void werkzeug(int nummer); // toolbar items 1 to 9
    void seiteLoeschen(int seite); // from 1; "Löschen" and the waste bin
    void seitenDrucken();          // "Drucken"
    void tabGewechselt(const QString &schluessel);
    void layoutAnwenden();

    // BUClose, and the save (BUSpeich, and "Ja" to the close question);
    // true when the Beleg was saved.
    void schliessen();
    bool speichern();
    // The save after the options were chosen: login when needed, then the
    // Beleg written in one save (what "Speichern" runs after its dialog).
    bool speichernMit(const Speicheroptionen &optionen);

    Seitenansicht *ansicht() const { return m_image1; }
    Vorschaurahmen *vorschau() const { return m_fransicht; }
    QAction *werkzeugAktion(int nummer) const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override; // Esc closes as the close box does
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;

private:
    void kopfAnlegen();
    void dokumentAnlegen();
    void zeilenAnlegen();
    void auswahlFuellen(int i, int code);
    void rahmenAnzeigen(QFrame *rahmen);
    // Selects the tab with that key ("dokument", "beleg") and shows its
    // frame, so the highlighted tab is always the one shown.
    void tabZeigen(const QString &schluessel);
    void seitenLaden(server::Objekt &beleg);
    // After pages came into the view: counter, scroll bar, zoom, focus.
    void ansichtZeigen();
    void originalInAnsicht(const einvoice::Original &o);
    void hinweisZeigen();
    // Files taken in and not saved: dropped (a "Nein" to the save question),
    // or written as new elements of the Beleg being saved.
    void originaleVerwerfen();
    void originaleSchreiben(server::Objekt &beleg);
    // A received file as a new row of the Beleg, not saved yet.
    // zeigen false: the view keeps the pages it shows.
    void originalVormerken(einvoice::Original o, bool zeigen = true);
    // An e-invoice taken into a new Beleg: type, date, index values and the
    // supplier from its data, the number reserved at the save; false when
    // it is archived already (and is then not taken).
    bool rechnungsdatenUebernehmen(const einvoice::Original &o);
    int zeileMitCode(int code) const; // the property row of a code, 0 when the type has none
    // A new, empty document row the next pages go into ("Anfügen").
    void leeresDokumentBeginnen();
    // Leaves a shown original for a new, empty document (scanning into it).
    void originalVerlassen();
    void seitenText();
    void eigenschaftenLaden();
    // The close question; true when the caller may go on (saved, or
    // "Nein"), false when a save was asked for and did not go through.
    bool nachfrageSpeichern();
    // The steps of a save.
    struct Dokumentstand
    {
        int aktDok = 0; // the element written; 0 when the page view was empty
        QString doktyp;
        QString daterst;
    };
    // The Belege of the company with the shown type and number: id, date.
    QList<std::pair<QString, QString>> belegeMitNummer() const;
    std::optional<QString> vorhandenerBeleg() const;
    bool belegSchreiben(const Speicheroptionen &optionen);
    Dokumentstand dokumentSchreiben(server::Objekt &beleg, const Speicheroptionen &optionen);
    void indexwerteSetzen(server::Objekt &beleg);
    void geladeneWerteMerken();
    int seitenErfassen(std::unique_ptr<imaging::Seitenquelle> quelle, const imaging::Scaneinstellungen &einstellungen, bool drehen);
    void barcodeNachschlagen(const QStringList &barcodes);
    void ansichtNachErfassen();
    // Scan-store pages this editor took: those no longer in the view go
    // back to the store (all of them when the window goes).
    void genommeneAbgleichen(bool alle = false);
    // The Beleg's company when it is not the one the window was opened for:
    // its types, and later its save, are that company's.
    void firmaSetzen(const QString &firma);
    void typenLaden();
    // The rule that enables "Speichern", with a message when it does not hold.
    bool speicherbar();
    // Another workstation saved the Beleg first: the pages as a new version
    // on top of its newer state, or kept for a later try.
    bool nachKonflikt(const Speicheroptionen &optionen);
    QRect twips(double links, double oben, double breite, double hoehe) const;

    QString m_firma;
    bool m_entladen = false;

    QTabWidget *m_tab1;
    QFrame *m_frBeleg;
    QFrame *m_frDokument;
    Vorschaurahmen *m_fransicht;
    QComboBox *m_belart;
    QLineEdit *m_belnr;
    app::DatumFeld *m_beldat;
    QTimeEdit *m_belzeit;
    QPushButton *m_buSubeleg;
    QPushButton *m_buNeu;
    QPushButton *m_buSpeich;
    QPushButton *m_buClose;
    QPushButton *m_buScan;
    QPushButton *m_buScandatabase;
    QPushButton *m_buDatei;
    QLabel *m_hinweis; // "E-Rechnung mit Hinweisen", the report as tooltip
    QPushButton *m_trefferZurueck; // shown while pages carry full-text marks
    QPushButton *m_trefferWeiter;
    QLabel *m_label2;
    Doksliste *m_doks;
    QPushButton *m_budoknreinf;
    QPushButton *m_budoknrloe;
    QToolBar *m_tool1;
    QList<QAction *> m_werkzeuge; // items 1 to 9 at 0 to 8
    Seitenansicht *m_image1;
    QScrollBar *m_scroll1;
    QLabel *m_labseit;
    app::Eigenschaftszeilen *m_zeilen = nullptr;
    QHash<int, QString> m_geladen; // row -> value as loaded or last saved
    qint64 m_version = 0;          // of the Beleg as loaded or last saved
    bool m_nummerVergeben = false; // the number comes from the type's label counter at the save
    QSet<QString> m_genommen; // scan-store records taken into this editor and not filed
    std::optional<einvoice::Original> m_original; // what the page view shows, when it is a received file
    QMap<int, einvoice::Original> m_neueOriginale; // Doks row (from 1) -> received file not saved yet
};

} // namespace archiv::editor

// Saving a Beleg from the editor against a real archivd: the save dialog,
// the login, the duplicate check, header, documents, versions and index
// values, and what a failed save leaves behind.
#include "app/DatumFeld.h"
#include "common/Programmzustand.h"
#include "editor/Bild.h"
#include "editor/Doksliste.h"
#include "editor/Seitenansicht.h"
#include "imaging/TiffDatei.h"
#include "server/ErgebnisMenge.h"
#include "server/Objekt.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/DialogFahrer.h"
#include "support/Steuerelemente.h"
#include "support/MeldungsRecorder.h"
#include "support/Testumgebung.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolBar>

using namespace archiv;
using archiv::test::Belegbau;
using archiv::test::DialogFahrer;
using archiv::test::teil;
using archiv::test::zeile;

class TestSpeichern : public QObject
{
    Q_OBJECT
    std::unique_ptr<test::ArchivServer> m_server;
    std::shared_ptr<server::Verbindung> m_v;
    std::unique_ptr<test::MeldungsRecorder> m_meldungen;

    std::unique_ptr<editor::Bild> oeffnen(const QString &id = {})
    {
        global::Modus = QStringLiteral("bearbeiten");
        auto b = std::make_unique<editor::Bild>(QStringLiteral("1"));
        b->laden();
        b->show();
        if (!id.isEmpty())
            b->belegLaden(id, true);
        return b;
    }
    // A new ER with number, date, supplier and payment typed in, and n pages.
    std::unique_ptr<editor::Bild> neuerBeleg(const QString &belnr, const QDate &datum, int seiten)
    {
        auto b = oeffnen();
        auto *belart = teil<QComboBox>(b.get(), "Belart");
        belart->setCurrentIndex(belart->findData(QStringLiteral("ER")));
        auto *nr = teil<QLineEdit>(b.get(), "Belnr");
        nr->setFocus();
        DialogFahrer::tasten(nr, belnr);
        teil<app::DatumFeld>(b.get(), "Beldat")->setzeDatum(datum);
        DialogFahrer::tasten(zeile<QLineEdit>(b.get(), "EigenTxt", 1), QStringLiteral("70003"));
        zeile<QComboBox>(b.get(), "EigenCombo", 7)->setEditText(QStringLiteral("Überweisung"));
        if (seiten > 0) {
            b->ansicht()->seiten().laden(Belegbau::tiff(seiten), QStringLiteral("neu.tif"));
            b->ansicht()->seitenGeaendert();
            global::Geaendert = true;
        }
        b->Zustand();
        return b;
    }
    // Clicks "Speichern" and answers the save dialog.
    static void speichern(editor::Bild *b, bool neueVersion = false, const QString &text = {}, bool privat = false,
                          bool *neueVersionMoeglich = nullptr, DialogFahrer *weitere = nullptr)
    {
        // One driver at a time: a second would close the dialog as unexpected.
        std::optional<DialogFahrer> eigener;
        if (!weitere)
            eigener.emplace();
        DialogFahrer &fahrer = weitere ? *weitere : *eigener;
        fahrer.bei(QStringLiteral("dokspeich"), [&](QDialog *d) {
            auto *version = d->findChild<QCheckBox *>(QStringLiteral("newversjn"));
            if (neueVersionMoeglich)
                *neueVersionMoeglich = version->isEnabled();
            if (neueVersion)
                QTest::mouseClick(version, Qt::LeftButton, {}, QPoint(5, version->height() / 2));
            if (privat) {
                auto *p = d->findChild<QCheckBox *>(QStringLiteral("privatjn"));
                QTest::mouseClick(p, Qt::LeftButton, {}, QPoint(5, p->height() / 2));
            }
            DialogFahrer::tippen(d, QStringLiteral("verstxt"), text);
            DialogFahrer::klicken(d, QStringLiteral("BUOK"));
        });
        QTest::mouseClick(teil<QPushButton>(b, "BUSpeich"), Qt::LeftButton);
        QCOMPARE(fahrer.anzahl(QStringLiteral("dokspeich")), 1);
    }
    QMap<int, QStringList> indexwerte(const QString &id)
    {
        QMap<int, QStringList> werte;
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Extind"), QStringLiteral("GetEigensch"));
        rs.Execute(QStringList{QStringLiteral("1"), id});
        while (rs.Next())
            werte[rs.GetData(1).toInt()] << rs.GetData(2);
        return werte;
    }
    int seitenDesDokuments(server::Objekt &beleg, int n)
    {
        server::Datenstrom dok = beleg.sammlung(QStringLiteral("Doks")).getat(n).strom(QStringLiteral("dok"));
        return imaging::TiffDatei::seitenzahl(dok.Read(dok.groesse()), QStringLiteral("dok.tif"));
    }
    int belegeMitNummer(const QString &belnr)
    {
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Datum"));
        rs.Execute(QStringList{QStringLiteral("1"), QStringLiteral("1||ER"), belnr});
        int n = 0;
        while (rs.Next())
            ++n;
        return n;
    }

private Q_SLOTS:
    void initTestCase()
    {
        test::einstellungenAbschirmen();
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 20);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        m_v = std::make_shared<server::Verbindung>();
        QVERIFY(m_v->Connect(m_server->verbindungstext()));
    }

    void init()
    {
        test::zuruecksetzen();
        global::Archivverbindung = m_v;
        global::Anmeldung = QStringLiteral("MA01");
        m_meldungen = std::make_unique<test::MeldungsRecorder>();
    }

    void cleanup() { m_meldungen.reset(); }

    void neuerBelegWirdGespeichert()
    {
        auto b = neuerBeleg(QStringLiteral("S-Größe 1"), QDate(2026, 12, 1), 3);
        bool versionMoeglich = true;
        speichern(b.get(), false, QStringLiteral("Erstfassung"), false, &versionMoeglich);
        QVERIFY(m_meldungen->texte().isEmpty());
        QVERIFY(!versionMoeglich); // a Beleg never saved has no version to add to
        QVERIFY(!global::DokId.isEmpty());
        QVERIFY(!global::Geaendert);
        QCOMPARE(global::AktDok, 1);
        QVERIFY(teil<QPushButton>(b.get(), "BUNeu")->isHidden()); // now a stored Beleg
        QVERIFY(teil<editor::Doksliste>(b.get(), "Doks")->zeilenText(0).endsWith(QStringLiteral("1     Erstfassung")));

        server::Objekt beleg = m_v->OpenId(QStringLiteral("AR.Dokumente"), global::DokId);
        QCOMPARE(beleg.get(QStringLiteral("Belnr")), QStringLiteral("S-Größe 1"));
        QCOMPARE(beleg.get(QStringLiteral("Datum")), QStringLiteral("2026-12-01"));
        QCOMPARE(beleg.get(QStringLiteral("privatjn")), QStringLiteral("N"));
        QCOMPARE(beleg.get(QStringLiteral("picsw")), QStringLiteral("1"));
        QCOMPARE(beleg.ref(QStringLiteral("IDBelart")).get(QStringLiteral("Belart")), QStringLiteral("ER"));
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).Count(), 1);
        server::Objekt element = beleg.sammlung(QStringLiteral("Doks")).getat(1);
        QCOMPARE(element.get(QStringLiteral("doktyp")), QStringLiteral("tif"));
        QCOMPARE(element.get(QStringLiteral("doktext")), QStringLiteral("Erstfassung"));
        QCOMPARE(seitenDesDokuments(beleg, 1), 3);
        const auto werte = indexwerte(global::DokId);
        QCOMPARE(werte.value(2), QStringList{"70003"});
        QCOMPARE(werte.value(22), QStringList{"Überweisung"});

        // The search finds it by its number.
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
        rs.Execute(QStringList{"1", "ER", "S-Größe 1", "", "", "", "500"});
        QVERIFY(rs.Next());
        QCOMPARE(rs.GetData(1).section(u',', 0, 0), global::DokId);
    }

    void doppelterBelegWirdAbgewiesen()
    {
        auto erster = neuerBeleg(QStringLiteral("S-D1"), QDate(2026, 11, 20), 1);
        speichern(erster.get());
        QVERIFY(m_meldungen->texte().isEmpty());
        global::DokId.clear();

        auto zweiter = neuerBeleg(QStringLiteral("S-D1"), QDate(2026, 11, 20), 1);
        speichern(zweiter.get());
        QCOMPARE(m_meldungen->texte(), QStringList{"Beleg bereits vorhanden"});
        QCOMPARE(m_meldungen->meldungen().first().symbol, common::MeldungsSymbol::Ausruf);
        QVERIFY(global::DokId.isEmpty());
        QVERIFY(global::Geaendert);
        QCOMPARE(belegeMitNummer(QStringLiteral("S-D1")), 1);
        QVERIFY(teil<QPushButton>(zweiter.get(), "BUSpeich")->isEnabled());
        QVERIFY(teil<QPushButton>(zweiter.get(), "BUClose")->isEnabled());

        // The same number on another day is another Beleg.
        teil<app::DatumFeld>(zweiter.get(), "Beldat")->setzeDatum(QDate(2026, 11, 21));
        speichern(zweiter.get());
        QCOMPARE(m_meldungen->texte().size(), 1);
        QCOMPARE(belegeMitNummer(QStringLiteral("S-D1")), 2);
    }

    void leereSeitenansichtSpeichertKopfUndWerte()
    {
        auto b = neuerBeleg(QStringLiteral("S-LEER"), QDate(2026, 10, 5), 0);
        speichern(b.get());
        QVERIFY(m_meldungen->texte().isEmpty());
        server::Objekt beleg = m_v->OpenId(QStringLiteral("AR.Dokumente"), global::DokId);
        QCOMPARE(beleg.get(QStringLiteral("picsw")), QStringLiteral("0"));
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).Count(), 0);
        QCOMPARE(indexwerte(global::DokId).value(2), QStringList{"70003"});
    }

    void erneutSpeichernUndNeueVersion()
    {
        Belegbau bau(*m_v);
        const QString id = bau.anlegen(QStringLiteral("ER"), QStringLiteral("S-V"), {{"tif", "Original", Belegbau::tiff(2)}},
                                       {{5, "eins"}, {5, "zwei"}, {22, "Bar"}});
        {
            server::Objekt beleg = m_v->OpenId(QStringLiteral("AR.Dokumente"), id);
            beleg.set(QStringLiteral("privatjn"), QStringLiteral("J"));
            QCOMPARE(beleg.SYS_Save(), 1);
        }
        auto b = oeffnen(id);
        QCOMPARE(global::AktDok, 1);
        // Saved again, unchanged and without the box: private "N", the
        // current document rewritten from the page view.
        bool versionMoeglich = false;
        speichern(b.get(), false, QStringLiteral("Original"), false, &versionMoeglich);
        QVERIFY(m_meldungen->texte().isEmpty());
        QVERIFY(versionMoeglich);
        server::Objekt beleg = m_v->OpenId(QStringLiteral("AR.Dokumente"), id);
        QCOMPARE(beleg.get(QStringLiteral("privatjn")), QStringLiteral("N"));
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).Count(), 1);
        QCOMPARE(seitenDesDokuments(beleg, 1), 2);
        // A text of several values that was not touched stays as it was.
        QCOMPARE(indexwerte(id).value(5), QStringList({"eins", "zwei"}));

        // A page more, and the text changed: a new version beside the old one.
        b->ansicht()->seiten().einfuegen(2, b->ansicht()->seiten().seite(0));
        b->ansicht()->seitenGeaendert();
        global::Geaendert = true;
        zeile<QLineEdit>(b.get(), "EigenTxt", 9)->setText(QStringLiteral("drei vier "));
        speichern(b.get(), true, QStringLiteral("Korrektur"));
        QVERIFY(m_meldungen->texte().isEmpty());
        QCOMPARE(global::AktDok, 2);
        QCOMPARE(teil<editor::Doksliste>(b.get(), "Doks")->count(), 2);
        QCOMPARE(teil<editor::Doksliste>(b.get(), "Doks")->currentIndex(), 1);
        beleg = m_v->OpenId(QStringLiteral("AR.Dokumente"), id);
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).Count(), 2);
        QCOMPARE(seitenDesDokuments(beleg, 1), 2);
        QCOMPARE(seitenDesDokuments(beleg, 2), 3);
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).getat(2).get(QStringLiteral("doktext")), QStringLiteral("Korrektur"));
        QCOMPARE(indexwerte(id).value(5), QStringList{"drei vier"});
        // Loaded again, the text shows as it was typed.
        auto c = oeffnen(id);
        QCOMPARE(c->eigenWert(9), QStringLiteral("drei vier "));
    }

    void ohneAnmeldungKeinSpeichern()
    {
        global::Anmeldung.clear();
        auto b = neuerBeleg(QStringLiteral("S-ANM"), QDate(2026, 9, 1), 1);
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("anmeld"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        speichern(b.get(), false, {}, false, nullptr, &fahrer);
        QCOMPARE(fahrer.gesehen(), QStringList({"dokspeich", "anmeld"}));
        QCOMPARE(m_meldungen->texte(), QStringList{"Anmeldung nicht möglich"});
        QVERIFY(global::DokId.isEmpty());
        QVERIFY(global::Geaendert);
        QCOMPARE(belegeMitNummer(QStringLiteral("S-ANM")), 0);
    }

    void ohneTypUndAbgebrochenNichts()
    {
        auto b = oeffnen();
        QTest::mouseClick(teil<QPushButton>(b.get(), "BUSpeich"), Qt::LeftButton);
        b->speichern(); // the button is off without a type; the close question still gets here
        QCOMPARE(m_meldungen->texte(), QStringList{"Keine Belegart ausgewählt"});

        auto c = neuerBeleg(QStringLiteral("S-ABBR"), QDate(2026, 9, 2), 1);
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("dokspeich"), [](QDialog *d) { QTest::keyClick(d, Qt::Key_Escape); });
        QTest::mouseClick(teil<QPushButton>(c.get(), "BUSpeich"), Qt::LeftButton);
        QCOMPARE(fahrer.anzahl(QStringLiteral("dokspeich")), 1);
        QCOMPARE(m_meldungen->texte().size(), 1);
        QCOMPARE(belegeMitNummer(QStringLiteral("S-ABBR")), 0);
    }

    void serverWegBeimSpeichern()
    {
        // The archive server goes away while the user works: the save
        // fails with a message, the pages stay and the window stays open.
        test::ArchivServer eigener(test::ArchivServer::Inhalt::Demo, 5);
        QVERIFY2(eigener.starten(), qPrintable(eigener.fehler()));
        auto v = std::make_shared<server::Verbindung>();
        QVERIFY(v->Connect(eigener.verbindungstext()));
        global::Archivverbindung = v;
        auto b = neuerBeleg(QStringLiteral("S-WEG"), QDate(2026, 8, 1), 2);
        // It goes away after the pages went up, before the Beleg is saved.
        server::setzeVorDemSpeichern([&eigener](const QString &klasse) {
            if (klasse == QLatin1String("AR.Dokumente"))
                eigener.stoppen();
        });
        speichern(b.get());
        server::setzeVorDemSpeichern({});
        QCOMPARE(m_meldungen->meldungen().size(), 1);
        QVERIFY(m_meldungen->texte().first().startsWith(QStringLiteral("Speichern Fehlgeschlagen")));
        QVERIFY(global::Geaendert);
        QVERIFY(global::DokId.isEmpty());
        QCOMPARE(b->ansicht()->seiten().anzahl(), 2);
        QVERIFY(teil<QPushButton>(b.get(), "BUSpeich")->isEnabled());

        // Back again: the same save goes through, once.
        QVERIFY(eigener.neustarten());
        speichern(b.get());
        QCOMPARE(m_meldungen->meldungen().size(), 1);
        QVERIFY(!global::DokId.isEmpty());
        QVERIFY(!global::Geaendert);
        server::ErgebnisMenge rs = v->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Datum"));
        rs.Execute(QStringList{QStringLiteral("1"), QStringLiteral("1||ER"), QStringLiteral("S-WEG")});
        QVERIFY(rs.Next());
        QVERIFY(!rs.Next());
        global::Archivverbindung = m_v;
    }

    void editorZweimalInEinemProgrammlauf()
    {
        // The first use leaves state behind (a Beleg of two documents was
        // open); the new Beleg of the second use is still a Beleg with a
        // document of its own, shown as such everywhere.
        Belegbau bau(*m_v);
        const QString alt = bau.anlegen(QStringLiteral("ER"), QStringLiteral("S-ZW-ALT"), {{"tif", "a", Belegbau::tiff(1)}, {"tif", "b", Belegbau::tiff(2)}});
        {
            auto erster = oeffnen(alt);
            teil<editor::Doksliste>(erster.get(), "Doks")->setCurrentIndex(1);
            QCOMPARE(global::AktDok, 2);
            QTest::mouseClick(teil<QPushButton>(erster.get(), "BUClose"), Qt::LeftButton);
        }
        auto b = neuerBeleg(QStringLiteral("S-ZW-NEU"), QDate(2026, 7, 7), 2);
        speichern(b.get(), false, QStringLiteral("neu"));
        QVERIFY(m_meldungen->texte().isEmpty());
        server::Objekt beleg = m_v->OpenId(QStringLiteral("AR.Dokumente"), global::DokId);
        QCOMPARE(beleg.get(QStringLiteral("picsw")), QStringLiteral("1"));
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).Count(), 1);
        QCOMPARE(global::AktDok, 1);
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
        rs.Execute(QStringList{"1", "ER", "S-ZW-NEU", "", "", "", "500"});
        QVERIFY(rs.Next());
        QCOMPARE(rs.GetData(7), QStringLiteral("1"));
    }

    void kopfSpeichernVerstecktKeinDokument_data()
    {
        QTest::addColumn<QString>("weg");
        QTest::newRow("Dokument nicht anzeigbar") << QStringLiteral("kaputt");
        QTest::newRow("nach der Belegsuche") << QStringLiteral("suche");
        QTest::newRow("alle Seiten gelöscht") << QStringLiteral("geloescht");
    }

    void kopfSpeichernVerstecktKeinDokument()
    {
        // The page view is empty when the user saves, but the Beleg keeps
        // its stored document: the search still shows it with its picture.
        QFETCH(QString, weg);
        const QString nummer = QStringLiteral("S-KOPF-") + weg;
        const QByteArray datei = weg == QLatin1String("kaputt") ? QByteArray("II*\0nicht lesbar") : Belegbau::tiff(2);
        Belegbau bau(*m_v);
        const QString id = bau.anlegen(QStringLiteral("ER"), nummer, {{"tif", "gescannt", datei}});
        std::unique_ptr<editor::Bild> b;
        if (weg == QLatin1String("suche")) {
            b = oeffnen();
            auto *belart = teil<QComboBox>(b.get(), "Belart");
            belart->setCurrentIndex(belart->findData(QStringLiteral("ER")));
            teil<QLineEdit>(b.get(), "Belnr")->setText(nummer);
            QTest::mouseClick(teil<QPushButton>(b.get(), "BUSubeleg"), Qt::LeftButton);
            QCOMPARE(global::DokId, id);
        } else {
            b = oeffnen(id);
            if (weg == QLatin1String("kaputt")) {
                QCOMPARE(m_meldungen->texte().size(), 1);
                QVERIFY(m_meldungen->texte().first().startsWith(QStringLiteral("Das Dokument kann nicht angezeigt werden")));
            } else {
                auto *loeschen = teil<QToolBar>(b.get(), "Tool1")->widgetForAction(b->werkzeugAktion(4));
                QTest::mouseClick(loeschen, Qt::LeftButton);
                QTest::mouseClick(teil<QToolBar>(b.get(), "Tool1")->widgetForAction(b->werkzeugAktion(4)), Qt::LeftButton);
            }
        }
        QVERIFY(b->ansicht()->seiten().istLeer());
        zeile<QLineEdit>(b.get(), "EigenTxt", 9)->setText(QStringLiteral("nur der Kopf"));
        QVERIFY(b->speichernMit({false, QStringLiteral("gescannt"), false}));
        server::Objekt beleg = m_v->OpenId(QStringLiteral("AR.Dokumente"), id);
        QCOMPARE(beleg.get(QStringLiteral("picsw")), QStringLiteral("1"));
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).Count(), 1);
        server::Datenstrom dok = beleg.sammlung(QStringLiteral("Doks")).getat(1).strom(QStringLiteral("dok"));
        QCOMPARE(dok.Read(dok.groesse()), datei);
        QCOMPARE(indexwerte(id).value(5), QStringList{"nur der Kopf"});
    }

    void schliessenMitJaBrauchtNummerUndDatum_data()
    {
        QTest::addColumn<QString>("nummer");
        QTest::addColumn<QDate>("datum");
        QTest::addColumn<QString>("meldung");
        QTest::newRow("ohne Nummer") << QString() << QDate(2026, 6, 1) << QStringLiteral("Keine Belegnummer angegeben");
        QTest::newRow("nur Leerzeichen") << QStringLiteral("   ") << QDate(2026, 6, 1) << QStringLiteral("Keine Belegnummer angegeben");
        QTest::newRow("ohne Datum") << QStringLiteral("S-OHNE-DATUM") << QDate() << QStringLiteral("Kein gültiges Belegdatum angegeben");
    }

    void schliessenMitJaBrauchtNummerUndDatum()
    {
        // "Schliessen", "Ja" to the question: the same rule as the button,
        // a message, and the window with its pages stays.
        QFETCH(QString, nummer);
        QFETCH(QDate, datum);
        QFETCH(QString, meldung);
        auto b = neuerBeleg(nummer, datum, 2);
        QVERIFY(!teil<QPushButton>(b.get(), "BUSpeich")->isEnabled());
        m_meldungen->antworte(common::Antwort::Ja);
        DialogFahrer fahrer;
        QTest::mouseClick(teil<QPushButton>(b.get(), "BUClose"), Qt::LeftButton);
        QCOMPARE(fahrer.gesehen(), QStringList()); // no save dialog
        QCOMPARE(m_meldungen->texte(), QStringList({"Dokument wurde verändert speichern ?", meldung}));
        QVERIFY(b->isVisible());
        QVERIFY(global::Geaendert);
        QVERIFY(global::DokId.isEmpty());
        QCOMPARE(b->ansicht()->seiten().anzahl(), 2);
    }

    void versionstextBleibtWieGetippt()
    {
        // Placeholders typed into the version text stay text, and the
        // private flag beside them keeps its meaning.
        auto b = neuerBeleg(QStringLiteral("S-PROZENT"), QDate(2026, 5, 5), 1);
        speichern(b.get(), false, QStringLiteral("Rabatt 5%1 auf %3 – Größe"), true);
        QVERIFY(m_meldungen->texte().isEmpty());
        server::Objekt beleg = m_v->OpenId(QStringLiteral("AR.Dokumente"), global::DokId);
        QCOMPARE(beleg.get(QStringLiteral("privatjn")), QStringLiteral("J"));
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).getat(1).get(QStringLiteral("doktext")), QStringLiteral("Rabatt 5%1 auf %3 – Größe"));
    }

    void belegBleibtInSeinerFirma()
    {
        // Opened from a window of another company: the Beleg is shown with
        // its own company's types and saved under its own company.
        Belegbau bau(*m_v);
        const QString id = bau.anlegen(QStringLiteral("ER"), QStringLiteral("S-FIRMA"), {{"tif", "", Belegbau::tiff(1)}}, {{5, "Firma eins"}});
        global::Modus = QStringLiteral("bearbeiten");
        auto b = std::make_unique<editor::Bild>(QStringLiteral("7"));
        b->laden();
        b->show();
        b->belegLaden(id, true);
        QCOMPARE(global::AktBelart, QStringLiteral("ER"));
        QCOMPARE(teil<QComboBox>(b.get(), "Belart")->currentData().toString(), QStringLiteral("ER"));
        QCOMPARE(b->eigenWert(9), QStringLiteral("Firma eins "));
        zeile<QLineEdit>(b.get(), "EigenTxt", 9)->setText(QStringLiteral("geändert"));
        QVERIFY(b->speichernMit({false, QString(), false}));
        server::Objekt beleg = m_v->OpenId(QStringLiteral("AR.Dokumente"), id);
        QCOMPARE(beleg.get(QStringLiteral("Firma")), QStringLiteral("1"));
        QCOMPARE(beleg.refId(QStringLiteral("IDBelart")), QStringLiteral("1||ER"));
        QCOMPARE(indexwerte(id).value(5), QStringList{"geändert"});
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Extind"), QStringLiteral("GetEigensch"));
        rs.Execute(QStringList{QStringLiteral("7"), id});
        QVERIFY(!rs.Next());
    }

    void zweiEditorenEinBeleg()
    {
        Belegbau bau(*m_v);
        const QString id = bau.anlegen(QStringLiteral("ER"), QStringLiteral("S-ZWEI"), {{"tif", "", Belegbau::tiff(1)}});
        auto erster = oeffnen(id);
        auto zweiter = oeffnen(id);
        speichern(erster.get(), false, QStringLiteral("vom ersten"));
        QVERIFY(m_meldungen->texte().isEmpty());

        // The second workstation scanned two pages meanwhile; its save meets
        // the newer state. "Nein": nothing is stored, the pages stay.
        zweiter->ansicht()->seiten().laden(Belegbau::tiff(2), QStringLiteral("neu.tif"));
        zweiter->ansicht()->seitenGeaendert();
        global::Geaendert = true;
        m_meldungen->antworte(common::Antwort::Nein);
        speichern(zweiter.get(), false, QStringLiteral("vom zweiten"));
        QCOMPARE(m_meldungen->meldungen().size(), 1);
        QCOMPARE(m_meldungen->meldungen().first().symbol, common::MeldungsSymbol::Frage);
        QVERIFY(m_meldungen->texte().first().contains(QStringLiteral("anderen Arbeitsplatz")));
        QVERIFY(global::Geaendert);
        QCOMPARE(zweiter->ansicht()->seiten().anzahl(), 2);
        server::Objekt beleg = m_v->OpenId(QStringLiteral("AR.Dokumente"), id);
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).Count(), 1);
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).getat(1).get(QStringLiteral("doktext")), QStringLiteral("vom ersten"));

        // A later try, "Ja": the pages become a new version on top of what
        // the first workstation saved, which stays as it is.
        m_meldungen->antworte(common::Antwort::Ja);
        speichern(zweiter.get(), false, QStringLiteral("vom zweiten"));
        QCOMPARE(m_meldungen->meldungen().size(), 2);
        QVERIFY(!global::Geaendert);
        beleg = m_v->OpenId(QStringLiteral("AR.Dokumente"), id);
        server::Sammlung doks = beleg.sammlung(QStringLiteral("Doks"));
        QCOMPARE(doks.Count(), 2);
        QCOMPARE(doks.getat(1).get(QStringLiteral("doktext")), QStringLiteral("vom ersten"));
        QCOMPARE(doks.getat(2).get(QStringLiteral("doktext")), QStringLiteral("vom zweiten"));
        imaging::Seitenliste zweite;
        zweite.laden(doks.getat(2).strom(QStringLiteral("dok")).Read(doks.getat(2).strom(QStringLiteral("dok")).groesse()), QStringLiteral("z.tif"));
        QCOMPARE(zweite.anzahl(), 2);
        QCOMPARE(global::AktDok, 2);
        QCOMPARE(teil<editor::Doksliste>(zweiter.get(), "Doks")->count(), 2);

        // The first window, still on the old state, is offered the same.
        global::Geaendert = true;
        m_meldungen->antworte(common::Antwort::Nein);
        speichern(erster.get(), false, QStringLiteral("nochmals"));
        QCOMPARE(m_meldungen->meldungen().size(), 3);
        QVERIFY(erster->isVisible());
        QVERIFY(global::Geaendert);
    }
};

QTEST_MAIN(TestSpeichern)
#include "tst_speichern.moc"

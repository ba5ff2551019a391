#include "app/Anmeldung.h"
#include "app/EinstAg.h"
#include "app/EinstServ.h"
#include "app/Einstellungen.h"
#include "app/Sprache.h"
#include "common/Zugangsdatei.h"
#include "common/Programmzustand.h"
#include "common/Zugangsschluessel.h"
#include "server/Objekt.h"
#include "server/Verbindung.h"
#include "server/Zugang.h"
#include "support/ArchivServer.h"
#include "support/DialogFahrer.h"
#include "support/MeldungsRecorder.h"
#include "support/Testumgebung.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

using namespace archiv;
using namespace archiv::app;
using archiv::test::DialogFahrer;

// The settings store, the two settings dialogs and the WWS login against a
// real archivd with demo users.
class TestEinstellungen : public QObject
{
    Q_OBJECT
    std::unique_ptr<test::ArchivServer> m_server;

    void wwsAufServer()
    {
        setzeEinstellung(QStringLiteral("Server"), QStringLiteral("wwsip"), QStringLiteral("127.0.0.1"));
        setzeEinstellung(QStringLiteral("Server"), QStringLiteral("wwsport"), QString::number(m_server->port()));
    }

    // Logs in with code and password, then closes the dialog if it stayed open.
    bool anmelden(const QString &firma, const QString &code, const QString &passwort, DialogFahrer &fahrer)
    {
        fahrer.bei(QStringLiteral("anmeld"), DialogFahrer::anmeldung(code, passwort));
        fahrer.bei(QStringLiteral("anmeld"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        return Anmelden(firma);
    }

private Q_SLOTS:
    void initTestCase()
    {
        test::einstellungenAbschirmen();
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 20);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        // An active user for whom no password was ever stored.
        QVERIFY(m_server->stammdaten(QStringLiteral("TS.ParPersEdv"),
                                     {{{"Firma", "1"}, {"Pcode", "OP"}, {"pname", "Ohne,Passwort"}, {"aktiv", "J"}}}));
    }

    void init() { test::zuruecksetzen(); }

    void werteBleibenWieGetippt_data()
    {
        QTest::addColumn<QString>("wert");
        QTest::newRow("blanks around") << "  10.0.0.5 ";
        QTest::newRow("port not numeric") << "19x72";
        QTest::newRow("umlauts") << "Größe/Ärger";
        QTest::newRow("empty") << "";
        QTest::newRow("looks like a variant") << "@Variant(x)";
        QTest::newRow("INI syntax") << "[Server]\narip=1;#x";
        QTest::newRow("pipe list") << "100|200|640|480";
        QTest::newRow("word true") << "true";
    }
    void werteBleibenWieGetippt()
    {
        QFETCH(QString, wert);
        setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arip"), wert);
        QCOMPARE(einstellung(QStringLiteral("Server"), QStringLiteral("arip"), QStringLiteral("vorgabe")), wert);
    }

    void fehlenderSchluesselGibtVorgabe()
    {
        QCOMPARE(einstellung(QStringLiteral("Allgemein"), QStringLiteral("Zoomtype"), QStringLiteral("H")), QStringLiteral("H"));
        QCOMPARE(einstellung(QStringLiteral("Server"), QStringLiteral("arport")), QString());
    }

    void einstservSpeichertUndSchliesst()
    {
        setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arip"), QStringLiteral("alt"));
        {
            EinstServ d;
            QCOMPARE(d.findChild<QLineEdit *>(QStringLiteral("arip"))->text(), QStringLiteral("alt"));
            QCOMPARE(d.windowTitle(), QStringLiteral("Archivserver Einstellungen Server"));
            DialogFahrer::tippen(&d, QStringLiteral("arip"), QStringLiteral(" 10.0.0.5 "));
            DialogFahrer::tippen(&d, QStringLiteral("arport"), QStringLiteral("1972"));
            DialogFahrer::klicken(&d, QStringLiteral("BUClose"));
        }
        QCOMPARE(einstellung(QStringLiteral("Server"), QStringLiteral("arip")), QStringLiteral("alt"));
        {
            EinstServ d;
            DialogFahrer::tippen(&d, QStringLiteral("arip"), QStringLiteral(" 10.0.0.5 "));
            DialogFahrer::tippen(&d, QStringLiteral("arport"), QStringLiteral("1972"));
            DialogFahrer::tippen(&d, QStringLiteral("wwsip"), QString());
            DialogFahrer::klicken(&d, QStringLiteral("BUSpeich"));
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QCOMPARE(einstellung(QStringLiteral("Server"), QStringLiteral("arip")), QStringLiteral(" 10.0.0.5 "));
        QCOMPARE(einstellung(QStringLiteral("Server"), QStringLiteral("arport")), QStringLiteral("1972"));
        // Saved empty: present, but empty.
        QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Archiv"), QStringLiteral("Archiv"));
        QVERIFY(s.contains(QStringLiteral("Server/wwsip")));
        QCOMPARE(einstellung(QStringLiteral("Server"), QStringLiteral("wwsip"), QStringLiteral("vorgabe")), QString());
    }

    void einstservPruefPort_data()
    {
        QTest::addColumn<QString>("feld");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("gespeichert");
        QTest::newRow("letters before digits") << "arport"
                                               << "abc99999" << false;
        QTest::newRow("zero") << "arport"
                              << "0" << false;
        QTest::newRow("above 65535") << "arport"
                                     << "65536" << false;
        QTest::newRow("negative") << "wwsport"
                                  << "-1" << false;
        QTest::newRow("blank before") << "wwsport"
                                      << " 80" << false;
        QTest::newRow("lowest") << "arport"
                                << "1" << true;
        QTest::newRow("highest") << "wwsport"
                                 << "65535" << true;
        QTest::newRow("empty is not configured") << "arport"
                                                 << "" << true;
    }
    void einstservPruefPort()
    {
        QFETCH(QString, feld);
        QFETCH(QString, port);
        QFETCH(bool, gespeichert);
        setzeEinstellung(QStringLiteral("Server"), feld, QStringLiteral("1972"));
        test::MeldungsRecorder meldungen;
        EinstServ d;
        d.show();
        DialogFahrer::tippen(&d, feld, port);
        DialogFahrer::klicken(&d, QStringLiteral("BUSpeich"));
        QCOMPARE(einstellung(QStringLiteral("Server"), feld), gespeichert ? port : QStringLiteral("1972"));
        QCOMPARE(d.isVisible(), !gespeichert);
        QCOMPARE(meldungen.texte().size(), gespeichert ? 0 : 1);
        if (!gespeichert) {
            QVERIFY(meldungen.texte().first().startsWith(QStringLiteral("Ungültiger Port: ") + port));
            QCOMPARE(meldungen.meldungen().first().symbol, common::MeldungsSymbol::Ausruf);
            QCOMPARE(d.focusWidget(), d.findChild<QLineEdit *>(feld));
        }
    }

    void einstagZoomtyp_data()
    {
        QTest::addColumn<QString>("gespeichert");
        QTest::addColumn<bool>("hoehe");
        QTest::addColumn<bool>("breite");
        QTest::addColumn<QString>("danach");
        QTest::newRow("missing reads as H") << QString() << true << false << "H";
        QTest::newRow("B") << "B" << false << true << "B";
        QTest::newRow("unknown selects neither, keeps Zoomtype") << "X" << false << false << "Q";
    }
    void einstagZoomtyp()
    {
        QFETCH(QString, gespeichert);
        QFETCH(bool, hoehe);
        QFETCH(bool, breite);
        QFETCH(QString, danach);
        if (!gespeichert.isNull())
            setzeEinstellung(QStringLiteral("Allgemein"), QStringLiteral("Zoomtype"), gespeichert);
        global::Zoomtype = QStringLiteral("Q");
        EinstAg d;
        QCOMPARE(d.findChild<QRadioButton *>(QStringLiteral("OPZoomH"))->isChecked(), hoehe);
        QCOMPARE(d.findChild<QRadioButton *>(QStringLiteral("OPZoomB"))->isChecked(), breite);
        DialogFahrer::klicken(&d, QStringLiteral("BUSpeich"));
        QCOMPARE(global::Zoomtype, danach);
        QCOMPARE(einstellung(QStringLiteral("Allgemein"), QStringLiteral("Zoomtype")), danach);
    }

    void einstagSchliessfeldSchreibtNichts()
    {
        {
            EinstAg d;
            d.show();
            d.findChild<QRadioButton *>(QStringLiteral("OPZoomB"))->setChecked(true);
            d.close();
        }
        QCOMPARE(einstellung(QStringLiteral("Allgemein"), QStringLiteral("Zoomtype"), QStringLiteral("nichts")), QStringLiteral("nichts"));
    }

    void anmeldungGelingt()
    {
        wwsAufServer();
        test::MeldungsRecorder meldungen;
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("anmeld"), [](QDialog *d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Archivsystem Benutzerregistrierung"));
            DialogFahrer::tippen(d, QStringLiteral("PcodeTxt"), QStringLiteral("MM"));
            DialogFahrer::tippen(d, QStringLiteral("PasswordTxt"), QStringLiteral("geheim"));
            DialogFahrer::klicken(d, QStringLiteral("BUSpeich"));
        });
        QVERIFY(Anmelden(QStringLiteral("1")));
        QVERIFY(meldungen.texte().isEmpty());
        QCOMPARE(global::Anmeldung, QStringLiteral("MM"));
        QCOMPARE(global::AnmeldName, QStringLiteral("Max Mustermann"));
        QCOMPARE(global::AnmeldRest, 300);
        QCOMPARE(global::Anmeldeantwort, QStringLiteral("MM|Max Mustermann"));
        QCOMPARE(global::Verbindungstext, QStringLiteral("cn_iptcp:127.0.0.1[%1]:TESSAM").arg(m_server->port()));
        // The next dialog proposes the last user code.
        fahrer.bei(QStringLiteral("anmeld"), [](QDialog *d) {
            QCOMPARE(d->findChild<QLineEdit *>(QStringLiteral("PcodeTxt"))->text(), QStringLiteral("MM"));
            QCOMPARE(d->findChild<QLineEdit *>(QStringLiteral("PasswordTxt"))->text(), QString());
            DialogFahrer::klicken(d, QStringLiteral("BUClose"));
        });
        QVERIFY(!Anmelden(QStringLiteral("1")));
        QCOMPARE(global::Anmeldung, QStringLiteral("MM")); // a failed login leaves the last one as it was
    }

    void anmeldungScheitert_data()
    {
        QTest::addColumn<QString>("firma");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("passwort");
        QTest::addColumn<QString>("meldung");
        QTest::addColumn<int>("symbol");
        QTest::newRow("trailing blank") << "1"
                                        << "MM"
                                        << "geheim "
                                        << "Passwort/User falsch" << int(common::MeldungsSymbol::Information);
        QTest::newRow("other case") << "1"
                                    << "MM"
                                    << "Geheim"
                                    << "Passwort/User falsch" << int(common::MeldungsSymbol::Information);
        QTest::newRow("inactive user, right password") << "1"
                                                       << "AL"
                                                       << "alt"
                                                       << "Passwort/User falsch" << int(common::MeldungsSymbol::Information);
        QTest::newRow("same code, other company") << "7"
                                                  << "MM"
                                                  << "geheim"
                                                  << "Passwort/User falsch" << int(common::MeldungsSymbol::Information);
        QTest::newRow("no stored password, empty typed") << "1"
                                                         << "OP"
                                                         << ""
                                                         << "Passwort/User falsch" << int(common::MeldungsSymbol::Information);
        QTest::newRow("no stored password, any typed") << "1"
                                                       << "OP"
                                                       << "beliebig"
                                                       << "Passwort/User falsch" << int(common::MeldungsSymbol::Information);
        QTest::newRow("no such user") << "1"
                                      << "XY"
                                      << "geheim"
                                      << "Anmeldung nicht möglich" << int(common::MeldungsSymbol::Ausruf);
        QTest::newRow("code of another company") << "7"
                                                 << "EK"
                                                 << "erika"
                                                 << "Anmeldung nicht möglich" << int(common::MeldungsSymbol::Ausruf);
    }
    void anmeldungScheitert()
    {
        QFETCH(QString, firma);
        QFETCH(QString, code);
        QFETCH(QString, passwort);
        QFETCH(QString, meldung);
        QFETCH(int, symbol);
        wwsAufServer();
        test::MeldungsRecorder meldungen;
        DialogFahrer fahrer;
        QVERIFY(!anmelden(firma, code, passwort, fahrer));
        QCOMPARE(meldungen.texte(), QStringList{meldung});
        QCOMPARE(int(meldungen.meldungen().first().symbol), symbol);
        QCOMPARE(meldungen.meldungen().first().titel, QStringLiteral("Tessam  Archivsystem"));
        // The dialog stayed open for a new try, and was closed by the user.
        QCOMPARE(fahrer.gesehen(), QStringList{"anmeld"});
        QVERIFY(global::Anmeldung.isEmpty());
    }

    void gleicherCodeAndereFirmaIstAndererBenutzer()
    {
        wwsAufServer();
        test::MeldungsRecorder meldungen;
        DialogFahrer fahrer;
        QVERIFY(anmelden(QStringLiteral("7"), QStringLiteral("MM"), QStringLiteral("nord"), fahrer));
        QCOMPARE(global::AnmeldName, QStringLiteral("Monika Meier"));
    }

    void wwsServerNichtErreichbar()
    {
        const QString port = test::freierPort();
        setzeEinstellung(QStringLiteral("Server"), QStringLiteral("wwsip"), QStringLiteral("127.0.0.1"));
        setzeEinstellung(QStringLiteral("Server"), QStringLiteral("wwsport"), port);
        // With a key for that address: the server is missing, not the key.
        server::setzeZugangFuer(QStringLiteral("127.0.0.1"), port.toInt(), m_server->zugang());
        test::MeldungsRecorder meldungen;
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("anmeld"), DialogFahrer::anmeldung(QStringLiteral("MM"), QStringLiteral("geheim")));
        // After each failed attempt the server settings appear.
        fahrer.bei(QStringLiteral("einstserv"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        fahrer.bei(QStringLiteral("einstserv"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        QVERIFY(!Anmelden(QStringLiteral("1")));
        QCOMPARE(fahrer.gesehen(), QStringList({"anmeld", "einstserv", "einstserv"}));
        QCOMPARE(meldungen.texte(), QStringList{"Anmeldung nicht möglich"});
        QCOMPARE(meldungen.meldungen().first().symbol, common::MeldungsSymbol::Ausruf);
    }

    // The access key goes in the server settings, whole or not at all, into
    // a settings file only its owner can read.
    void zugangsschluesselInDenEinstellungen()
    {
        test::MeldungsRecorder meldungen;
        {
            EinstServ d;
            QVERIFY(d.findChild<QLineEdit *>(QStringLiteral("zugang")));
            DialogFahrer::tippen(&d, QStringLiteral("zugang"), m_server->zugang().left(50));
            DialogFahrer::klicken(&d, QStringLiteral("BUSpeich"));
            QVERIFY(d.result() != int(QDialog::Accepted));
        }
        QCOMPARE(meldungen.texte().size(), 1);
        QVERIFY2(meldungen.texte().first().startsWith(QStringLiteral("Der Zugangsschlüssel ist unvollständig.")),
                 qPrintable(meldungen.texte().first()));
        QVERIFY(einstellung(QStringLiteral("Server"), QStringLiteral("zugang")).isEmpty());
        {
            EinstServ d;
            DialogFahrer::tippen(&d, QStringLiteral("zugang"), QStringLiteral("  ") + m_server->zugang() + QStringLiteral(" "));
            DialogFahrer::klicken(&d, QStringLiteral("BUSpeich"));
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QCOMPARE(einstellung(QStringLiteral("Server"), QStringLiteral("zugang")), m_server->zugang());
        QCOMPARE(server::zugangFuer(QStringLiteral("archiv.firma.lan"), 1972), m_server->zugang());
        QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Archiv"), QStringLiteral("Archiv"));
        QCOMPARE(QFile::permissions(s.fileName()) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        server::setzeZugang(QString());
    }

    // A workstation whose key the server does not take learns why before
    // the server settings open, and then connects with the key typed there.
    void ohneBerechtigungErklaertUndFragt()
    {
        // "localhost": the test's own key is registered for 127.0.0.1 only.
        setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arip"), QStringLiteral("localhost"));
        setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arport"), QString::number(m_server->port()));
        auto schluessel = *common::Zugangsschluessel::lesen(m_server->zugang());
        schluessel.name = QStringLiteral("Unbekannt");
        setzeEinstellung(QStringLiteral("Server"), QStringLiteral("zugang"), schluessel.text());
        test::MeldungsRecorder meldungen;
        DialogFahrer fahrer;
        const QString richtig = m_server->zugang();
        fahrer.bei(QStringLiteral("einstserv"), [&richtig](QDialog *d) {
            DialogFahrer::tippen(d, QStringLiteral("zugang"), richtig);
            DialogFahrer::klicken(d, QStringLiteral("BUSpeich"));
        });
        QWidget fenster;
        QVERIFY(archivVerbinden(&fenster));
        QCOMPARE(fahrer.gesehen(), QStringList{"einstserv"});
        QCOMPARE(meldungen.texte().size(), 1);
        QVERIFY2(meldungen.texte().first().startsWith(QStringLiteral("Keine Berechtigung für den Archivserver\n")),
                 qPrintable(meldungen.texte().first()));
        QVERIFY2(meldungen.texte().first().contains(QStringLiteral("Unbekannt")), qPrintable(meldungen.texte().first()));
        server::setzeZugang(QString());
    }

    // A write without a login (none yet, or the countdown ended) shows the
    // login and is sent again after it.
    void schreibenOhneAnmeldungMeldetAn()
    {
        wwsAufServer();
        anmeldungFuerSchreibenEinrichten();
        Abmelden();
        QVERIFY(server::sitzungFuer(QStringLiteral("127.0.0.1"), m_server->port()).isEmpty());
        // No login yet in this program (the scan station): the first company's.
        QVERIFY(global::AnmeldFirma.isEmpty());
        global::Archivverbindung = std::make_shared<server::Verbindung>();
        QVERIFY(global::Archivverbindung->Connect(m_server->verbindungstext()));
        server::Verbindung &v = *global::Archivverbindung;
        server::Objekt typ = v.OpenId(QStringLiteral("AR.Belart"), QStringLiteral("1||ER"));
        typ.set(QStringLiteral("lastbelnrbarc"), QString::number(typ.get(QStringLiteral("lastbelnrbarc")).toLongLong() + 5));
        test::MeldungsRecorder meldungen;
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("anmeld"), DialogFahrer::anmeldung(QStringLiteral("EK"), QStringLiteral("erika")));
        QCOMPARE(typ.SYS_Save(), 1);
        QCOMPARE(fahrer.gesehen(), QStringList{"anmeld"});
        QCOMPARE(global::Anmeldung, QStringLiteral("EK"));
        QCOMPARE(global::AnmeldFirma, QStringLiteral("1"));
        QString protokoll;
        QCOMPARE(test::ArchivServer::archivd({"audit", "--db", m_server->dbPfad()}, &protokoll), 0);
        QVERIFY2(protokoll.trimmed().split(u'\n').last().contains(QStringLiteral("\t1||EK\tAR.Belart\t1||ER\tgeändert")),
                 qPrintable(protokoll));
        // The countdown ends: the session goes with it.
        Abmelden();
        QVERIFY(server::sitzungFuer(QStringLiteral("127.0.0.1"), m_server->port()).isEmpty());
        server::setzeAnmelder({});
        QVERIFY(m_server->anmelden());
    }

    // The administrator's "client add" writes an enrolment file; its
    // button in the server settings fills address, port and key at once,
    // and the workstation connects with them.
    void zugangsdateiVomServer()
    {
        QTemporaryDir ordner;
        const QString pfad = ordner.filePath(QStringLiteral("Empfang-Büro.archivzugang"));
        const QString adresse = QStringLiteral("127.0.0.1:%1").arg(m_server->port());
        QString ausgabe;
        QCOMPARE(test::ArchivServer::archivd({"client", "add", "Empfang", "--adresse", "nirgends", "--db", m_server->dbPfad()}, &ausgabe), 2);
        QVERIFY(ausgabe.contains(QStringLiteral("HOST:PORT")));
        QCOMPARE(test::ArchivServer::archivd({"client", "add", "Empfang", "--adresse", adresse, "--datei", pfad, "--db", m_server->dbPfad()},
                                             &ausgabe),
                 0);
        QCOMPARE(QFile::permissions(pfad) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QString fehler;
        const auto datei = common::Zugangsdatei::lesen(pfad, &fehler);
        QVERIFY2(datei, qPrintable(fehler));
        QCOMPARE(datei->adresse, QStringLiteral("127.0.0.1"));
        QCOMPARE(datei->port, QString::number(m_server->port()));
        QCOMPARE(datei->schluessel.text(), test::ArchivServer::schluesselAus(ausgabe));

        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("zugangsdateiwahl"), [&pfad](QDialog *d) {
            // Typed into the name field, as a user would.
            auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(pfad);
            QTest::keyClick(name, Qt::Key_Return);
        });
        {
            EinstServ d;
            DialogFahrer::klicken(&d, QStringLiteral("BUZugangsdatei"));
            QCOMPARE(d.findChild<QLineEdit *>(QStringLiteral("arip"))->text(), QStringLiteral("127.0.0.1"));
            QCOMPARE(d.findChild<QLineEdit *>(QStringLiteral("wwsport"))->text(), QString::number(m_server->port()));
            QCOMPARE(d.findChild<QLineEdit *>(QStringLiteral("zugang"))->text(), datei->schluessel.text());
            DialogFahrer::klicken(&d, QStringLiteral("BUSpeich"));
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QCOMPARE(fahrer.gesehen(), QStringList{"zugangsdateiwahl"});
        QCOMPARE(einstellung(QStringLiteral("Server"), QStringLiteral("arport")), QString::number(m_server->port()));
        QWidget fenster;
        QVERIFY(archivVerbinden(&fenster));
        QCOMPARE(fahrer.gesehen(), QStringList{"zugangsdateiwahl"}); // no settings dialog: the file was enough
        server::setzeZugang(QString());
    }

    // A file that is no enrolment file is explained and changes nothing.
    void zugangsdateiUnvollstaendig_data()
    {
        QTest::addColumn<QByteArray>("inhalt");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("no key") << QByteArray("adresse=archiv.firma.lan\nport=1972\n");
        QTest::newRow("port out of range") << QByteArray("adresse=archiv\nport=70000\nschluessel=") + m_server->zugang().toUtf8();
        QTest::newRow("half a key") << QByteArray("adresse=archiv\nport=1972\nschluessel=") + m_server->zugang().left(40).toUtf8();
        QTest::newRow("a picture") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    }

    void zugangsdateiUnvollstaendig()
    {
        QFETCH(QByteArray, inhalt);
        QTemporaryDir ordner;
        QFile f(ordner.filePath(QStringLiteral("kaputt.archivzugang")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(inhalt);
        f.close();
        test::MeldungsRecorder meldungen;
        EinstServ d;
        DialogFahrer::tippen(&d, QStringLiteral("arip"), QStringLiteral("alt.firma.lan"));
        QVERIFY(!d.zugangsdateiUebernehmen(f.fileName()));
        QCOMPARE(meldungen.texte().size(), 1);
        QVERIFY(meldungen.texte().first().contains(QStringLiteral("keine vollständige Zugangsdatei")));
        QCOMPARE(d.findChild<QLineEdit *>(QStringLiteral("arip"))->text(), QStringLiteral("alt.firma.lan"));
        QVERIFY(d.findChild<QLineEdit *>(QStringLiteral("zugang"))->text().isEmpty());
    }

    // The program takes the file (or a key from standard input) before its
    // first connection; a key on the command line works but is warned of.
    void programmNimmtZugangsdatei()
    {
        QTemporaryDir ordner;
        const QString pfad = ordner.filePath(QStringLiteral("Lager.archivzugang"));
        QString ausgabe;
        QCOMPARE(test::ArchivServer::archivd({"client", "add", "Lager", "--adresse", QStringLiteral("127.0.0.1:%1").arg(m_server->port()),
                                              "--datei", pfad, "--db", m_server->dbPfad()},
                                             &ausgabe),
                 0);
        const QString schluessel = test::ArchivServer::schluesselAus(ausgabe);
        const auto starten = [&ordner](QProcess &p, const QStringList &args) {
            QProcessEnvironment umgebung = QProcessEnvironment::systemEnvironment();
            umgebung.insert(QStringLiteral("XDG_CONFIG_HOME"), ordner.filePath(QStringLiteral("config")));
            umgebung.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            p.setProcessEnvironment(umgebung);
            p.start(qEnvironmentVariable("ARCHIV_RENDER"), args);
            return p.waitForStarted();
        };
        const QString einstellungen = ordner.filePath(QStringLiteral("config/Archiv/Archiv.ini"));
        const auto gespeichert = [&einstellungen] { return QSettings(einstellungen, QSettings::IniFormat).value("Server/zugang").toString(); };
        {
            QProcess p;
            QVERIFY(starten(p, {"--zugangsdatei", ordner.filePath(QStringLiteral("fehlt.archivzugang"))}));
            QVERIFY(p.waitForFinished(20000));
            QCOMPARE(p.exitCode(), 2);
            QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("lässt sich nicht lesen")));
        }
        {
            QProcess p;
            QVERIFY(starten(p, {"--zugangsdatei", pfad}));
            for (int i = 0; i < 200 && gespeichert().isEmpty(); ++i)
                QTest::qWait(50);
            p.kill();
            p.waitForFinished();
            QCOMPARE(gespeichert(), schluessel);
            QCOMPARE(QSettings(einstellungen, QSettings::IniFormat).value("Server/arport").toString(), QString::number(m_server->port()));
        }
        QVERIFY(QFile::remove(einstellungen));
        {
            QProcess p;
            QVERIFY(starten(p, {"--zugang", "-"}));
            p.write(schluessel.toUtf8() + "\n");
            p.closeWriteChannel();
            for (int i = 0; i < 200 && gespeichert().isEmpty(); ++i)
                QTest::qWait(50);
            p.kill();
            p.waitForFinished();
            QCOMPARE(gespeichert(), schluessel);
            QVERIFY(!QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("Warnung")));
        }
        {
            QProcess p;
            QVERIFY(starten(p, {"--zugang", schluessel.left(30)}));
            QVERIFY(p.waitForFinished(20000));
            QCOMPARE(p.exitCode(), 2);
            const QString fehler = QString::fromUtf8(p.readAllStandardError());
            QVERIFY2(fehler.contains(QStringLiteral("Warnung")) && fehler.contains(QStringLiteral("--zugangsdatei")), qPrintable(fehler));
        }
    }

    // Qt's own dialogs speak German like the program.
    void qtDialogeSprechenDeutsch()
    {
        QVERIFY2(deutschEinrichten(), "qtbase_de is not installed (qt6-translations-l10n)");
        QMessageBox frage(QMessageBox::Question, QStringLiteral("Archiv"), QStringLiteral("Weiter Scannen?"),
                          QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(frage.button(QMessageBox::Yes)->text().remove(u'&'), QStringLiteral("Ja"));
        QCOMPARE(frage.button(QMessageBox::No)->text().remove(u'&'), QStringLiteral("Nein"));
        QFileDialog datei(nullptr, QStringLiteral("Dokument Speichern"));
        datei.setOption(QFileDialog::DontUseNativeDialog);
        const auto *knoepfe = datei.findChild<QDialogButtonBox *>();
        QVERIFY(knoepfe);
        QCOMPARE(knoepfe->button(QDialogButtonBox::Cancel)->text().remove(u'&'), QStringLiteral("Abbrechen"));
    }

    void cleanupTestCase() { m_server.reset(); }
};

QTEST_MAIN(TestEinstellungen)
#include "tst_einstellungen.moc"

#include "common/Dateiname.h"
#include "common/Etikett.h"
#include "common/Feld.h"
#include "common/Format.h"
#include "common/ListenZeile.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "common/Protokoll.h"
#include "common/TempVerzeichnis.h"
#include "common/Twips.h"
#include "common/Zugangsdatei.h"
#include "common/Zugangsschluessel.h"
#include "support/MeldungsRecorder.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace archiv;
using namespace archiv::common;

class TestHilfsfunktionen : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void zugangsschluessel_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name"); // empty: not a key
        const QString geheimnis = QStringLiteral("dfhPj4oG0PGCJRUxK8SdgahDHQRm-hbn3tIhuVJtUZ_");
        const QString abdruck = QStringLiteral("2e8501d5fe5bcb87b23c49f9651dd67626f39fbf7d02a3ed7ceb08a75274c4f2");
        QTest::newRow("as printed") << "Kasse-1." + geheimnis + u'.' + abdruck << "Kasse-1";
        QTest::newRow("pasted with blanks and a line end") << "  Lager_2." + geheimnis + u'.' + abdruck + "\n" << "Lager_2";
        QTest::newRow("fingerprint in capitals") << "K." + geheimnis + u'.' + abdruck.toUpper() << "K";
        QTest::newRow("cut short") << "Kasse-1." + geheimnis + u'.' + abdruck.left(63) << "";
        QTest::newRow("secret one short") << "Kasse-1." + geheimnis.left(42) + u'.' + abdruck << "";
        QTest::newRow("no fingerprint") << "Kasse-1." + geheimnis << "";
        QTest::newRow("umlaut in the name") << "Büro." + geheimnis + u'.' + abdruck << "";
        QTest::newRow("name too long") << QString(41, u'a') + u'.' + geheimnis + u'.' + abdruck << "";
        QTest::newRow("blank inside") << "Kasse 1." + geheimnis + u'.' + abdruck << "";
        QTest::newRow("empty") << "" << "";
    }
    void zugangsschluessel()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        const auto k = common::Zugangsschluessel::lesen(text);
        QCOMPARE(k.has_value(), !name.isEmpty());
        if (!k)
            return;
        QCOMPARE(k->name, name);
        QCOMPARE(k->fingerabdruck, k->fingerabdruck.toLower());
        QCOMPARE(k->nachweis(), name + u'.' + k->geheimnis);
        // Written out again, it reads the same.
        QCOMPARE(common::Zugangsschluessel::lesen(k->text())->text(), k->text());
    }

    // An enrolment file as an administrator may type it by hand.
    void zugangsdateiVonHand_data()
    {
        QTest::addColumn<QString>("schluesselZeile");
        QTest::newRow("as written") << "schluessel";
        QTest::newRow("with umlaut") << "schlüssel";
        QTest::newRow("capitalised, blanks") << "  Schlüssel ";
    }
    void zugangsdateiVonHand()
    {
        QFETCH(QString, schluesselZeile);
        const QString key = QStringLiteral("Kasse-1.dfhPj4oG0PGCJRUxK8SdgahDHQRm-hbn3tIhuVJtUZ_."
                                           "2e8501d5fe5bcb87b23c49f9651dd67626f39fbf7d02a3ed7ceb08a75274c4f2");
        const QString text = QStringLiteral("# Zugang für Kasse 1\nadresse = archiv.firma.lan\nport=1972\n") + schluesselZeile + u'=' + key + u'\n';
        QString fehler;
        const auto datei = common::Zugangsdatei::ausText(text.toUtf8(), &fehler);
        QVERIFY2(datei, qPrintable(fehler));
        QCOMPARE(datei->adresse, QStringLiteral("archiv.firma.lan"));
        QCOMPARE(datei->schluessel.text(), key);
    }

    void etikettCode_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<qint64>("nummer"); // 0: not a label code
        QTest::newRow("erste Nummer") << common::etikett::code(1) << qint64(1);
        QTest::newRow("letzte Nummer") << common::etikett::code(999999) << qint64(999999);
        QTest::newRow("fremde EAN") << "4006381333931" << qint64(0);
        QTest::newRow("falsche Prüfziffer") << "2200100123471" << qint64(0);
        QTest::newRow("ohne Kennziffer") << "2200100123450" << qint64(0);
        QTest::newRow("zu kurz") << "220010012347" << qint64(0);
        QTest::newRow("Buchstaben") << "22001001A3470" << qint64(0);
        QTest::newRow("Nummer null") << "2200100000070" << qint64(0);
    }

    void etikettCode()
    {
        QFETCH(QString, code);
        QFETCH(qint64, nummer);
        QCOMPARE(common::etikett::nummer(code).value_or(0), nummer);
    }

    void etikettPruefziffer()
    {
        // A known article number and the layout of a label number.
        QCOMPARE(common::etikett::pruefziffer(u"400638133393"), 1);
        QCOMPARE(common::etikett::code(1234).left(12), QStringLiteral("220010012347"));
        QVERIFY(common::etikett::code(0).isEmpty());
        QVERIFY(common::etikett::code(1000000).isEmpty());
    }

    void dateiname_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::newRow("Schrägstriche") << "ER_2026/11/7" << "ER_2026117";
        QTest::newRow("Windows-Zeichen") << "A:B*C?D\"E<F>G|H\\I" << "ABCDEFGHI";
        QTest::newRow("Umlaute bleiben") << "Lieferschein Größe ß" << "Lieferschein Größe ß";
        QTest::newRow("nach oben") << "../../etc/passwd" << "etcpasswd";
        QTest::newRow("nur Punkte") << ".." << "dokument";
        QTest::newRow("Steuerzeichen") << QString("A\nB\tC") + QChar(0x7f) << "ABC";
        QTest::newRow("Punkt und Blank am Ende") << "Rechnung. " << "Rechnung";
        QTest::newRow("leer") << "" << "dokument";
        QTest::newRow("lang") << QString(300, u'x') << QString(200, u'x');
    }

    void dateiname()
    {
        QFETCH(QString, text);
        QTEST(common::dateiname(text), "name");
        QVERIFY(!common::dateiname(text).contains(u'/'));
    }

    void feld_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("trenner");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("erwartet");
        QTest::newRow("middle field") << "a|b|c"
                                      << "|" << 2 << "b";
        QTest::newRow("empty field") << "a||c"
                                     << "|" << 2 << "";
        QTest::newRow("beyond the last") << "a|b"
                                         << "|" << 3 << "";
        QTest::newRow("no delimiter") << "abc"
                                      << "|" << 1 << "abc";
        QTest::newRow("last field") << "a|b|c"
                                    << "|" << 3 << "c";
        QTest::newRow("trailing delimiter") << "a|b|"
                                            << "|" << 3 << "";
        QTest::newRow("two-char delimiter never matches") << "a||b"
                                                          << "||" << 1 << "a||b";
        QTest::newRow("two-char delimiter, field 2") << "a||b"
                                                     << "||" << 2 << "";
        QTest::newRow("empty delimiter") << "a|b"
                                         << "" << 1 << "a|b";
        QTest::newRow("field 0") << "a|b"
                                 << "|" << 0 << "";
        QTest::newRow("empty text") << ""
                                    << "|" << 1 << "";
        QTest::newRow("comma") << "ER,ER,J"
                               << "," << 3 << "J";
        QTest::newRow("umlauts") << "Müller|Ärger"
                                 << "|" << 2 << "Ärger";
    }
    void feld()
    {
        QFETCH(QString, text);
        QFETCH(QString, trenner);
        QFETCH(int, n);
        QFETCH(QString, erwartet);
        QCOMPARE(Feld(text, trenner, n), erwartet);
    }

    void formatZahl_data()
    {
        QTest::addColumn<QString>("wert");
        QTest::addColumn<QString>("muster");
        QTest::addColumn<QString>("erwartet");
        QTest::newRow("company 7") << "7"
                                   << "0#"
                                   << "07";
        QTest::newRow("company 3") << "3"
                                   << "0#"
                                   << "03";
        QTest::newRow("company 12") << "12"
                                    << "0#"
                                    << "12";
        QTest::newRow("company 123") << "123"
                                     << "0#"
                                     << "123";
        QTest::newRow("count 42") << "42"
                                  << "00000#"
                                  << "000042";
        QTest::newRow("count 0") << "0"
                                 << "00000#"
                                 << "000000";
        QTest::newRow("label number") << "4711"
                                      << "000000"
                                      << "004711";
        QTest::newRow("seven digits stay") << "1234567"
                                           << "000000"
                                           << "1234567";
        QTest::newRow("doc number 5") << "5"
                                      << "##0"
                                      << "5";
        QTest::newRow("doc number 0") << "0"
                                      << "##0"
                                      << "0";
        QTest::newRow("doc number 120") << "120"
                                        << "##0"
                                        << "120";
        QTest::newRow("negative") << "-5"
                                  << "0#"
                                  << "-05";
        QTest::newRow("blanks around") << " 7 "
                                       << "0#"
                                       << "07";
        QTest::newRow("not a number") << "abc"
                                      << "0#"
                                      << "abc";
        QTest::newRow("64-bit") << "9007199254740993"
                                << "0#"
                                << "9007199254740993";
    }
    void formatZahl()
    {
        QFETCH(QString, wert);
        QFETCH(QString, muster);
        QFETCH(QString, erwartet);
        QCOMPARE(common::formatZahl(wert, muster), erwartet);
    }

    void formatAllgemeinUndDatum()
    {
        QCOMPARE(formatAllgemein(QStringLiteral("285")), QStringLiteral("285"));
        QCOMPARE(formatAllgemein(QStringLiteral("007")), QStringLiteral("7"));
        QCOMPARE(formatAllgemein(QStringLiteral("2.50")), QStringLiteral("2.5"));
        QCOMPARE(formatAllgemein(QStringLiteral("ER-1")), QStringLiteral("ER-1"));
        QCOMPARE(formatAllgemein(285.0), QStringLiteral("285"));
        QCOMPARE(formatDatum(QStringLiteral("2024-02-29")), QStringLiteral("2024-02-29"));
        QCOMPARE(formatDatum(QStringLiteral("2024-02-29 13:05:00")), QStringLiteral("2024-02-29"));
        QCOMPARE(formatDatum(QStringLiteral("29.02.2024")), QStringLiteral("2024-02-29"));
        QCOMPARE(formatDatum(QStringLiteral("2023-02-29")), QStringLiteral("2023-02-29")); // no date: unchanged
        QCOMPARE(formatDatum(QDate()), QString());
        QCOMPARE(zahlWert(QStringLiteral("  12abc")), 12.0);
        QCOMPARE(zahlWert(QStringLiteral("x")), 0.0);
        QCOMPARE(zahlWert(QStringLiteral("-35")), -35.0);
    }

    void listenZeile()
    {
        const ListenZeile z = ListenZeile::ausSpalten({"ER", "4711", "2024-01-02 10:00:00", "Text"}, QStringLiteral("100001|1"));
        QCOMPARE(z.text, QStringLiteral("ER\n4711\n2024-01-02 10:00:00\nText"));
        QCOMPARE(z.spalte(3), QStringLiteral("2024-01-02 10:00:00"));
        QCOMPARE(z.spalte(5), QString());
        QCOMPARE(Feld(z.daten, QStringLiteral("|"), 1), QStringLiteral("100001"));
    }

    void twips()
    {
        QCOMPARE(twipsZuPixel(15, 96), 1);
        QCOMPARE(twipsZuPixel(1440, 96), 96);
        QCOMPARE(twipsZuPixel(400, 96), 27);
        QCOMPARE(twipsZuPixel(1440, 300), 300);
        QCOMPARE(pixelZuTwips(96, 96), 1440.0);
    }

    void tempVerzeichnisIstPrivat()
    {
        const QString dir = privatesTempVerzeichnis();
        struct stat st
        { };
        QCOMPARE(::lstat(QFile::encodeName(dir).constData(), &st), 0);
        QVERIFY(S_ISDIR(st.st_mode));
        QCOMPARE(int(st.st_mode & 0777), 0700);
        QCOMPARE(tempDatei(QStringLiteral("dok.tif")), dir + QStringLiteral("/dok.tif"));
    }

    void arbeitsdateienSindEigene()
    {
        // Two work files of one stem (two programs of one user): two names,
        // private to the user, and each gone with its owner.
        QString erster;
        {
            const Arbeitsdatei a(QStringLiteral("dok"), QStringLiteral("tif"));
            const Arbeitsdatei b(QStringLiteral("dok"), QStringLiteral("tif"));
            QVERIFY(a.pfad() != b.pfad());
            QCOMPARE(QFileInfo(a.pfad()).absolutePath(), QFileInfo(privatesTempVerzeichnis() + QStringLiteral("/x")).absolutePath());
            QVERIFY(QFileInfo(a.pfad()).fileName().startsWith(QStringLiteral("dok-")));
            QVERIFY(a.pfad().endsWith(QStringLiteral(".tif")));
            struct stat st{};
            QCOMPARE(::stat(QFile::encodeName(a.pfad()).constData(), &st), 0);
            QCOMPARE(st.st_mode & 077, 0u);
            erster = a.pfad();
        }
        QVERIFY(!QFileInfo::exists(erster));
    }

    void tempVerzeichnisMeidetFremdes_data()
    {
        QTest::addColumn<int>("modus");
        QTest::newRow("0777 open to all") << 0777;
        QTest::newRow("0770 group may write") << 0770;
        QTest::newRow("0750 group may read") << 0750;
        QTest::newRow("0707 others may write") << 0707;
        QTest::newRow("0705 others may read") << 0705;
        QTest::newRow("0701 others may enter") << 0701;
    }
    void tempVerzeichnisMeidetFremdes()
    {
        // A directory of the predictable name that others can read, write or
        // enter is not used.
        QFETCH(int, modus);
        QTemporaryDir wurzel;
        const QString erwartet = wurzel.path() + QStringLiteral("/archiv-%1").arg(::getuid());
        QVERIFY(QDir().mkpath(erwartet));
        QCOMPARE(::chmod(QFile::encodeName(erwartet).constData(), mode_t(modus)), 0);
        const QString dir = privatesVerzeichnisAnlegen(wurzel.path());
        QVERIFY(dir != erwartet);
        QVERIFY(dir.startsWith(erwartet + u'-'));
        struct stat st
        { };
        QCOMPARE(::lstat(QFile::encodeName(dir).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);
    }

    void tempVerzeichnisFolgtKeinemLink()
    {
        QTemporaryDir wurzel, zweite;
        QVERIFY(QFile::link(wurzel.path(), zweite.path() + QStringLiteral("/archiv-%1").arg(::getuid())));
        QVERIFY(privatesVerzeichnisAnlegen(zweite.path()) != zweite.path() + QStringLiteral("/archiv-%1").arg(::getuid()));
    }

    void meldungenWerdenAufgezeichnetUndBeantwortet()
    {
        test::MeldungsRecorder recorder;
        recorder.antworte(Antwort::Nein);
        QCOMPARE(meldung(QStringLiteral("Tessam  Archivsystem"), QStringLiteral("Dokument wurde verändert speichern ?"),
                         MeldungsSymbol::Frage, MeldungsKnoepfe::JaNein),
                 Antwort::Nein);
        QCOMPARE(meldung(QStringLiteral("T"), QStringLiteral("Anmeldung nicht möglich"), MeldungsSymbol::Ausruf), Antwort::Ok);
        QCOMPARE(recorder.texte(), QStringList({"Dokument wurde verändert speichern ?", "Anmeldung nicht möglich"}));
        QCOMPARE(recorder.meldungen().at(1).symbol, MeldungsSymbol::Ausruf);
        QCOMPARE(recorder.meldungen().at(0).titel, QStringLiteral("Tessam  Archivsystem"));
    }

    void programmzustandStartwerte()
    {
        global::MaxTreffer = 50500;
        global::DokId = QStringLiteral("100001");
        global::EigenId[100] = 26;
        global::zuruecksetzen();
        QCOMPARE(global::MaxTreffer, 500);
        QVERIFY(global::DokId.isEmpty());
        QCOMPARE(global::EigenId[100], 0);
        QCOMPARE(global::Zoomtype, QStringLiteral("H"));
    }

    void protokollFormWirdStrengGeprueft_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("args not a list") << QByteArray(R"({"class":"AR.Firma","query":"Liste","args":"x"})");
        QTest::newRow("number argument") << QByteArray(R"({"class":"AR.Firma","query":"Liste","args":[1]})");
        QTest::newRow("class missing") << QByteArray(R"({"query":"Liste","args":[]})");
        QTest::newRow("class not a string") << QByteArray(R"({"class":5,"query":"Liste"})");
    }
    void protokollFormWirdStrengGeprueft()
    {
        QFETCH(QByteArray, json);
        QVERIFY_THROWS_EXCEPTION(protokoll::FormFehler, protokoll::AbfrageAnfrage::fromJson(QJsonDocument::fromJson(json).object()));
    }

    void speicherAnfrageHinUndZurueck()
    {
        protokoll::SpeicherAnfrage a;
        a.version = 7;
        a.props = {{"Belnr", "4711"}, {"Datum", "2024-01-02"}};
        a.refs = {{"IdBelart", "1||ER"}};
        protokoll::SpeicherAnfrage e;
        e.props = {{"doktyp", "tif"}};
        e.streams = {{"dok", QString(64, u'a')}};
        protokoll::SpeicherAnfrage alt;
        alt.id = QStringLiteral("12");
        a.collections = {{"Doks", {alt, e}}};
        const auto b = protokoll::SpeicherAnfrage::fromJson(a.toJson());
        QCOMPARE(b.version, std::optional<qint64>(7));
        QCOMPARE(b.props, a.props);
        QCOMPARE(b.refs, a.refs);
        QCOMPARE(b.collections.value("Doks").size(), 2);
        QCOMPARE(b.collections.value("Doks").at(0).id, QStringLiteral("12"));
        QCOMPARE(b.collections.value("Doks").at(1).streams.value("dok"), QString(64, u'a'));
    }
};

QTEST_GUILESS_MAIN(TestHilfsfunktionen)
#include "tst_hilfsfunktionen.moc"

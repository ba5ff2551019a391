#include "app/Anmeldung.h"

#include "app/EinstServ.h"
#include "app/Einstellungen.h"
#include "app/Ereignis.h"
#include "app/Fenster.h"
#include "common/Feld.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "common/Texte.h"
#include "server/ErgebnisMenge.h"
#include "server/Verbindung.h"
#include "server/Verbindungstext.h"
#include "server/Zugang.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

namespace archiv::app {

using namespace archiv::common;

// The WWS connection of one login attempt; closed when the attempt ends,
// whatever happens.
class WwsSitzung
{
public:
    server::Verbindung verbindung;
    ~WwsSitzung()
    {
        if (verbindung.IsConnected())
            verbindung.Disconnect();
    }
};

AnmeldDialog::AnmeldDialog(QString firma, QWidget *parent) : QDialog(parent), m_firma(std::move(firma))
{
    setObjectName(QStringLiteral("anmeld"));
    setWindowTitle(QStringLiteral("Archivsystem Benutzerregistrierung"));
    titelPlatzLassen(this);
    setModal(true);
    m_code = new QLineEdit(this);
    m_code->setObjectName(QStringLiteral("PcodeTxt"));
    m_passwort = new QLineEdit(this);
    m_passwort->setObjectName(QStringLiteral("PasswordTxt"));
    m_passwort->setEchoMode(QLineEdit::Password);
    m_speichern = new QPushButton(QStringLiteral("Speichern"), this);
    m_speichern->setObjectName(QStringLiteral("BUSpeich"));
    m_speichern->setDefault(true);
    m_schliessen = new QPushButton(QStringLiteral("Schliessen"), this);
    m_schliessen->setObjectName(QStringLiteral("BUClose"));

    auto *g = new QGridLayout(this);
    g->addWidget(new QLabel(QStringLiteral("User(WWS Personalcode):"), this), 0, 0);
    g->addWidget(m_code, 0, 1);
    g->addWidget(new QLabel(QStringLiteral("Passwort:"), this), 1, 0);
    g->addWidget(m_passwort, 1, 1);
    auto *knoepfe = new QHBoxLayout;
    knoepfe->addStretch();
    knoepfe->addWidget(m_speichern);
    knoepfe->addWidget(m_schliessen);
    g->addLayout(knoepfe, 2, 0, 1, 2);

    m_code->setText(global::Anmeldung);
    m_passwort->clear();
    if (!global::Anmeldung.isEmpty())
        m_passwort->setFocus();

    connect(m_speichern, &QPushButton::clicked, this, &AnmeldDialog::speichern);
    connect(m_schliessen, &QPushButton::clicked, this, &QDialog::reject);
}

void AnmeldDialog::speichern()
{
    m_speichern->setEnabled(false);
    m_schliessen->setEnabled(false);
    QApplication::processEvents();
    global::Anmeldeantwort.clear();

    global::Verbindungstext = server::Verbindungsadresse::bauen(einstellung(QStringLiteral("Server"), QStringLiteral("wwsip")),
                                                                einstellung(QStringLiteral("Server"), QStringLiteral("wwsport")),
                                                                QStringLiteral("TESSAM"));
    WwsSitzung wws;
    zugangLaden(); // a key saved in the server settings below counts at once
    for (int versuch = 1; versuch <= 2; ++versuch) {
        if (wws.verbindung.Connect(global::Verbindungstext) && wws.verbindung.IsConnected())
            break;
        if (wws.verbindung.keinZugang())
            meldung(HauptTitel, QStringLiteral("Keine Berechtigung für den Archivserver\n") + wws.verbindung.letzterFehler(),
                    MeldungsSymbol::Ausruf);
        einstservZeigen(this);
    }
    if (!wws.verbindung.IsConnected()) {
        meldung(HauptTitel, QStringLiteral("Anmeldung nicht möglich"), MeldungsSymbol::Ausruf);
        reject();
        return;
    }
    ereignis([&] { pruefen(wws); });
    // Whenever the dialog stays open, it can be used again.
    if (global::Anmeldeantwort.isEmpty()) {
        m_speichern->setEnabled(true);
        m_schliessen->setEnabled(true);
    }
}

void AnmeldDialog::pruefen(WwsSitzung &wws)
{
    const QString code = m_code->text();
    server::Objekt benutzer = wws.verbindung.OpenId(QStringLiteral("TS.ParPersEdv"), m_firma + QStringLiteral("||") + code);
    if (benutzer.istLeer()) {
        meldung(HauptTitel, QStringLiteral("Anmeldung nicht möglich"), MeldungsSymbol::Ausruf);
        return;
    }
    // The password is checked on the server: it never travels to a
    // workstation. The typed text goes as it is, blanks included.
    if (benutzer.get(QStringLiteral("aktiv")) != QLatin1String("J") ||
        benutzer.call(QStringLiteral("PasswortPruefen"), {m_passwort->text()}) != QLatin1String("1")) {
        meldung(HauptTitel, QStringLiteral("Passwort/User falsch"), MeldungsSymbol::Information);
        return;
    }
    global::Anmeldeantwort = code + u'|' + benutzer.call(QStringLiteral("pnamelogicaltoodbc"), {benutzer.get(QStringLiteral("pname"))});
    benutzer.SYS_Close();
    accept();
}

bool Anmelden(const QString &firma)
{
    global::Anmeldeantwort.clear();
    global::AnmeldFirma = firma;
    AnmeldDialog dialog(firma);
    dialog.exec();
    if (global::Anmeldeantwort.isEmpty())
        return false;
    global::Anmeldung = Feld(global::Anmeldeantwort, QStringLiteral("|"), 1);
    global::AnmeldName = Feld(global::Anmeldeantwort, QStringLiteral("|"), 2);
    global::AnmeldRest = 300;
    return true;
}

void Abmelden()
{
    global::Anmeldung.clear();
    global::AnmeldName.clear();
    global::AnmeldRest = 0;
    server::sitzungBeenden();
}

void anmeldungFuerSchreibenEinrichten()
{
    server::setzeAnmelder([] {
        // Dialogs belong to the window thread; a worker just fails.
        if (!qApp || QThread::currentThread() != qApp->thread())
            return false;
        QString firma = global::AnmeldFirma;
        if (firma.isEmpty() && global::Archivverbindung && global::Archivverbindung->IsConnected()) {
            server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Firma"), QStringLiteral("Liste"));
            rs.Execute();
            if (rs.Next())
                firma = rs.GetData(1);
            rs.Close();
        }
        Abmelden();
        return Anmelden(firma);
    });
}

} // namespace archiv::app

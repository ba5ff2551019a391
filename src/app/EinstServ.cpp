#include "app/EinstServ.h"

#include "app/Einstellungen.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "common/Texte.h"
#include "common/Zugangsdatei.h"
#include "common/Zugangsschluessel.h"
#include "server/Verbindung.h"
#include "server/Verbindungstext.h"
#include "server/Zugang.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace archiv::app {

namespace {

QLineEdit *feld(QWidget *eltern, const char *name)
{
    auto *f = new QLineEdit(eltern);
    f->setObjectName(QLatin1String(name));
    return f;
}

} // namespace

EinstServ::EinstServ(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("einstserv"));
    setWindowTitle(QStringLiteral("Archivserver Einstellungen Server"));
    setModal(true);
    m_wwsip = feld(this, "wwsip");
    m_wwsport = feld(this, "wwsport");
    m_arip = feld(this, "arip");
    m_arport = feld(this, "arport");
    m_zugang = feld(this, "zugang");
    m_zugang->setMinimumWidth(360);
    m_zugang->setEchoMode(QLineEdit::PasswordEchoOnEdit);
    m_wwsport->setMaximumWidth(90);
    m_arport->setMaximumWidth(90);
    auto *speichernKnopf = new QPushButton(QStringLiteral("Speichern"), this);
    speichernKnopf->setObjectName(QStringLiteral("BUSpeich"));
    auto *schliessen = new QPushButton(QStringLiteral("Schliessen"), this);
    schliessen->setObjectName(QStringLiteral("BUClose"));
    speichernKnopf->setDefault(true);
    auto *dateiKnopf = new QPushButton(QStringLiteral("Zugangsdatei…"), this);
    dateiKnopf->setObjectName(QStringLiteral("BUZugangsdatei"));
    dateiKnopf->setToolTip(QStringLiteral("Adresse, Port und Zugangsschlüssel aus der Datei übernehmen, die \"archivd client add\" "
                                          "geschrieben hat"));
    auto *hinweis = new QLabel(QStringLiteral("Vom Administrator erfragen: die Zugangsdatei dieses Arbeitsplatzes (NAME.archivzugang) "
                                              "oder Adresse, Port und Zugangsschlüssel des Archivservers."),
                               this);
    hinweis->setObjectName(QStringLiteral("hinweis"));
    hinweis->setWordWrap(true);

    auto *g = new QGridLayout(this);
    g->addWidget(new QLabel(QStringLiteral("WWS-Server      IP.-Nr.:"), this), 0, 0);
    g->addWidget(m_wwsip, 0, 1);
    g->addWidget(new QLabel(QStringLiteral("Port:"), this), 0, 2);
    g->addWidget(m_wwsport, 0, 3);
    g->addWidget(new QLabel(QStringLiteral("Archiv-Server      IP.-Nr.:"), this), 1, 0);
    g->addWidget(m_arip, 1, 1);
    g->addWidget(new QLabel(QStringLiteral("Port:"), this), 1, 2);
    g->addWidget(m_arport, 1, 3);
    g->addWidget(new QLabel(QStringLiteral("Zugangsschlüssel:"), this), 2, 0);
    g->addWidget(m_zugang, 2, 1, 1, 3);
    g->addWidget(hinweis, 3, 0, 1, 4);
    auto *knoepfe = new QHBoxLayout;
    knoepfe->addWidget(dateiKnopf);
    knoepfe->addStretch();
    knoepfe->addWidget(speichernKnopf);
    knoepfe->addWidget(schliessen);
    g->addLayout(knoepfe, 4, 0, 1, 4);

    const QString s = QStringLiteral("Server");
    m_wwsip->setText(einstellung(s, QStringLiteral("wwsip")));
    m_wwsport->setText(einstellung(s, QStringLiteral("wwsport")));
    m_arip->setText(einstellung(s, QStringLiteral("arip")));
    m_arport->setText(einstellung(s, QStringLiteral("arport")));
    m_zugang->setText(einstellung(s, QStringLiteral("zugang")));

    connect(speichernKnopf, &QPushButton::clicked, this, &EinstServ::speichern);
    connect(schliessen, &QPushButton::clicked, this, &QDialog::reject);
    connect(dateiKnopf, &QPushButton::clicked, this, &EinstServ::zugangsdateiWaehlen);
}

void EinstServ::zugangsdateiWaehlen()
{
    QFileDialog d(this, QStringLiteral("Zugangsdatei öffnen"), QDir::homePath(),
                  QStringLiteral("Zugangsdateien (*%1);;Alle Dateien (*)").arg(QLatin1String(common::Zugangsdatei::Endung)));
    d.setObjectName(QStringLiteral("zugangsdateiwahl"));
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setFileMode(QFileDialog::ExistingFile);
    if (d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty())
        zugangsdateiUebernehmen(d.selectedFiles().constFirst());
}

bool EinstServ::zugangsdateiUebernehmen(const QString &pfad)
{
    QString fehler;
    const auto datei = common::Zugangsdatei::lesen(pfad, &fehler);
    if (!datei) {
        common::meldung(common::HauptTitel, fehler, common::MeldungsSymbol::Ausruf);
        return false;
    }
    // Both namespaces are served by the one archivd.
    m_arip->setText(datei->adresse);
    m_arport->setText(datei->port);
    m_wwsip->setText(datei->adresse);
    m_wwsport->setText(datei->port);
    m_zugang->setText(datei->schluessel.text());
    return true;
}

bool portGueltig(const QString &port)
{
    bool ok = false;
    const int n = port.toInt(&ok);
    return port.isEmpty() || (ok && n >= 1 && n <= 65535 && port == port.trimmed());
}

void EinstServ::speichern()
{
    // Stored as typed, but a port that no connection could use is refused
    // before it is stored (it would end the program at the next start).
    for (QLineEdit *port : {m_wwsport, m_arport}) {
        if (!portGueltig(port->text())) {
            common::meldung(common::HauptTitel,
                            QStringLiteral("Ungültiger Port: %1\nEin Port ist eine Zahl von 1 bis 65535.").arg(port->text()),
                            common::MeldungsSymbol::Ausruf);
            port->setFocus(Qt::OtherFocusReason);
            port->selectAll();
            return;
        }
    }
    // A key is pasted whole; a part of one would lock the workstation out.
    const QString zugang = m_zugang->text().trimmed();
    if (!zugang.isEmpty() && !common::Zugangsschluessel::lesen(zugang)) {
        common::meldung(
            common::HauptTitel,
            QStringLiteral("Der Zugangsschlüssel ist unvollständig.\nBitte die ganze Zeile einfügen, die \"archivd client add\" "
                           "ausgegeben hat."),
            common::MeldungsSymbol::Ausruf);
        m_zugang->setFocus(Qt::OtherFocusReason);
        return;
    }
    const QString s = QStringLiteral("Server");
    zugangSpeichern(zugang);
    setzeEinstellung(s, QStringLiteral("wwsip"), m_wwsip->text());
    setzeEinstellung(s, QStringLiteral("wwsport"), m_wwsport->text());
    setzeEinstellung(s, QStringLiteral("arip"), m_arip->text());
    setzeEinstellung(s, QStringLiteral("arport"), m_arport->text());
    accept();
}

void zugangSpeichern(const QString &schluessel)
{
    setzeEinstellung(QStringLiteral("Server"), QStringLiteral("zugang"), schluessel.trimmed());
    server::setzeZugang(schluessel);
}

void zugangsdateiSpeichern(const common::Zugangsdatei &datei)
{
    const QString s = QStringLiteral("Server");
    setzeEinstellung(s, QStringLiteral("arip"), datei.adresse);
    setzeEinstellung(s, QStringLiteral("arport"), datei.port);
    setzeEinstellung(s, QStringLiteral("wwsip"), datei.adresse);
    setzeEinstellung(s, QStringLiteral("wwsport"), datei.port);
    zugangSpeichern(datei.schluessel.text());
}

void zugangLaden()
{
    server::setzeZugang(einstellung(QStringLiteral("Server"), QStringLiteral("zugang")));
}

void einstservZeigen(QWidget *besitzer)
{
    EinstServ dialog(besitzer);
    dialog.exec();
}

bool archivVerbinden(QWidget *fenster)
{
    const auto adresse = [] {
        return std::pair{einstellung(QStringLiteral("Server"), QStringLiteral("arip")),
                         einstellung(QStringLiteral("Server"), QStringLiteral("arport"))};
    };
    if (const auto [arip, arport] = adresse(); arip.isEmpty() || arport.isEmpty()) {
        fenster->hide();
        einstservZeigen(fenster);
        fenster->show();
    }
    zugangLaden(); // a key saved in the dialog below counts at once
    for (int versuch = 1; versuch <= 2; ++versuch) {
        // Built before every attempt: an address corrected in the dialog
        // counts at once.
        const auto [arip, arport] = adresse();
        global::Verbindungstext = server::Verbindungsadresse::bauen(arip, arport, QStringLiteral("TSARCHIV"));
        global::Archivverbindung = std::make_shared<server::Verbindung>();
        if (global::Archivverbindung->Connect(global::Verbindungstext) && global::Archivverbindung->IsConnected())
            return true;
        // Without a valid key the address is right but the door is shut:
        // the user learns why before the settings open.
        if (global::Archivverbindung->keinZugang())
            common::meldung(common::HauptTitel,
                            QStringLiteral("Keine Berechtigung für den Archivserver\n") + global::Archivverbindung->letzterFehler(),
                            common::MeldungsSymbol::Ausruf);
        einstservZeigen(fenster);
    }
    return global::Archivverbindung->IsConnected();
}

} // namespace archiv::app

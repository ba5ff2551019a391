#include "about/FrmAbout.h"

#include "common/Meldung.h"
#include "common/Texte.h"

#include <QApplication>
#include <QDate>
#include <QLocale>
#include <QGridLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>

namespace archiv::about {

using namespace archiv::common;

namespace {

const QString Programmtitel = QStringLiteral("Tessam Archivsystem");
const QString Beschreibung = QStringLiteral("Belege scannen, archivieren, suchen und auf Vollständigkeit prüfen");

QLabel *text(QWidget *eltern, const char *name, const QString &inhalt)
{
    auto *l = new QLabel(inhalt, eltern);
    l->setObjectName(QLatin1String(name));
    return l;
}

} // namespace

QDate bauDatum()
{
    // __DATE__ ("Dec  9 2026") is the day this file was compiled, or the
    // day SOURCE_DATE_EPOCH names in a reproducible build.
    return QLocale::c().toDate(QString::fromLatin1(__DATE__).simplified(), QStringLiteral("MMM d yyyy"));
}

Kontakt kontaktDesBaus()
{
    return {QStringLiteral(ARCHIV_KONTAKT_MAIL).trimmed(), QStringLiteral(ARCHIV_KONTAKT_WEB).trimmed()};
}

QStringList bekannteSysteminfoProgramme()
{
    return {QStringLiteral("kinfocenter"), QStringLiteral("gnome-system-monitor"), QStringLiteral("hardinfo"), QStringLiteral("lshw-gtk")};
}

std::optional<QString> systeminfoProgramm(const std::function<QString(const QString &)> &finden)
{
    for (const QString &name : bekannteSysteminfoProgramme()) {
        const QString pfad = finden ? finden(name) : QStandardPaths::findExecutable(name);
        if (!pfad.isEmpty())
            return pfad;
    }
    return std::nullopt;
}

FrmAbout::FrmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(QStringLiteral("Info zu ") + Programmtitel);
    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("picIcon"));
    icon->setPixmap(style()->standardIcon(QStyle::SP_FileDialogContentsView).pixmap(48, 48));
    auto *titel = text(this, "lblTitle", Programmtitel);
    QFont gross = titel->font();
    gross.setPointSizeF(gross.pointSizeF() * 1.6);
    gross.setBold(true);
    titel->setFont(gross);
    const QStringList v = QStringLiteral(ARCHIV_VERSION).split(u'.');
    auto *version = text(this, "lblVersion", QStringLiteral("%1.%2.%3").arg(v.value(0, QStringLiteral("0")), v.value(1, QStringLiteral("0")),
                                                                             v.value(2, QStringLiteral("0"))));
    const Kontakt kontakt = kontaktDesBaus();
    auto *mail = text(this, "ctHyperLink1", QStringLiteral("<a href=\"mailto:%1\">%1</a>").arg(kontakt.mail.toHtmlEscaped()));
    auto *web = text(this, "ctHyperLink2", QStringLiteral("<a href=\"%1\">%2</a>").arg(kontakt.web.toHtmlEscaped(), kontakt.web.toHtmlEscaped()));
    mail->setVisible(!kontakt.mail.isEmpty());
    web->setVisible(!kontakt.web.isEmpty());
    for (QLabel *l : {mail, web}) {
        l->setTextFormat(Qt::RichText);
        l->setOpenExternalLinks(true);
    }
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    auto *sysinfo = new QPushButton(QStringLiteral("&Systeminfo..."), this);
    sysinfo->setObjectName(QStringLiteral("cmdSysInfo"));
    if (!systeminfoProgramm()) {
        sysinfo->setEnabled(false);
        sysinfo->setToolTip(QStringLiteral("Kein Programm für Systeminformationen installiert (%1)")
                                .arg(bekannteSysteminfoProgramme().join(QStringLiteral(", "))));
    }

    auto *g = new QGridLayout(this);
    g->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    g->addWidget(titel, 0, 1, 1, 2);
    g->addWidget(text(this, "Version", QStringLiteral("Version ")), 1, 1);
    g->addWidget(version, 1, 2);
    g->addWidget(text(this, "Producktname", QStringLiteral("Produktname")), 2, 1);
    g->addWidget(text(this, "lblProdukt", Programmtitel), 2, 2);
    g->addWidget(text(this, "Description", QStringLiteral("Beschreibung")), 3, 1);
    g->addWidget(text(this, "lblDescription", Beschreibung), 3, 2);
    g->addWidget(text(this, "Erstellt", QStringLiteral("Erstellt am ") + QLocale::c().toString(bauDatum(), QStringLiteral("dd.MM.yyyy"))), 4, 1, 1, 2);
    g->addWidget(mail, 5, 1, 1, 2);
    g->addWidget(web, 6, 1, 1, 2);
    auto *knoepfe = new QHBoxLayout;
    knoepfe->addStretch();
    knoepfe->addWidget(ok);
    knoepfe->addWidget(sysinfo);
    g->addLayout(knoepfe, 7, 0, 1, 3);
    connect(ok, &QPushButton::clicked, this, &QDialog::close);
    connect(sysinfo, &QPushButton::clicked, this, [this] { StartSysInfo(); });
}

bool FrmAbout::StartSysInfo()
{
    const std::optional<QString> programm = systeminfoProgramm();
    if (!programm || !QProcess::startDetached(*programm, {})) {
        meldung(HauptTitel, QStringLiteral("Systeminformationen sind momentan nicht verfügbar"), MeldungsSymbol::Information);
        return false;
    }
    return true;
}

} // namespace archiv::about

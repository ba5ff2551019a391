#include "about/FrmAbout.h"

#include "common/Meldung.h"
#include "common/Texte.h"

#include <QApplication>
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

QLabel *text(QWidget *eltern, const char *name, const QString &inhalt)
{
    auto *l = new QLabel(inhalt, eltern);
    l->setObjectName(QLatin1String(name));
    return l;
}

} // namespace

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
    auto *mail = text(this, "ctHyperLink1", QStringLiteral("<a href=\"mailto:support@example.org\">support@example.org</a>"));
    auto *web = text(this, "ctHyperLink2", QStringLiteral("<a href=\"https://www.example.org\">www.example.org</a>"));
    for (QLabel *l : {mail, web}) {
        l->setTextFormat(Qt::RichText);
        l->setOpenExternalLinks(true);
    }
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    auto *sysinfo = new QPushButton(QStringLiteral("&Systeminfo..."), this);
    sysinfo->setObjectName(QStringLiteral("cmdSysInfo"));

    auto *g = new QGridLayout(this);
    g->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    g->addWidget(titel, 0, 1, 1, 2);
    g->addWidget(text(this, "Version", QStringLiteral("Version ")), 1, 1);
    g->addWidget(version, 1, 2);
    g->addWidget(text(this, "Producktname", QStringLiteral("Produktname")), 2, 1);
    g->addWidget(text(this, "lblProdukt", Programmtitel), 2, 2);
    g->addWidget(text(this, "Description", QStringLiteral("Beschreibung")), 3, 1);
    g->addWidget(text(this, "lblDescription", QString()), 3, 2);
    g->addWidget(text(this, "Erstellt", QStringLiteral("Erstellt am 1.05.2002 Letzte Korrektur 27.05.2002")), 4, 1, 1, 2);
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

#include "app/EinstAg.h"

#include "app/Einstellungen.h"
#include "app/Fenster.h"
#include "common/Programmzustand.h"

#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace archiv::app {

EinstAg::EinstAg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("einstag"));
    setWindowTitle(QStringLiteral("Einstellungen allgemein"));
    titelPlatzLassen(this);
    setModal(true);
    m_breite = new QRadioButton(QStringLiteral("Zoom auf Breite"), this);
    m_breite->setObjectName(QStringLiteral("OPZoomB"));
    m_hoehe = new QRadioButton(QStringLiteral("Zoom auf Höhe"), this);
    m_hoehe->setObjectName(QStringLiteral("OPZoomH"));
    auto *speichernKnopf = new QPushButton(QStringLiteral("Speichern"), this);
    speichernKnopf->setObjectName(QStringLiteral("BUSpeich"));
    auto *l = new QVBoxLayout(this);
    l->addWidget(m_breite);
    l->addWidget(m_hoehe);
    l->addWidget(speichernKnopf, 0, Qt::AlignRight);

    // Any other stored value selects neither option.
    const QString typ = einstellung(QStringLiteral("Allgemein"), QStringLiteral("Zoomtype"), QStringLiteral("H"));
    m_hoehe->setChecked(typ == QLatin1String("H"));
    m_breite->setChecked(typ == QLatin1String("B"));

    connect(speichernKnopf, &QPushButton::clicked, this, &EinstAg::speichern);
}

void EinstAg::speichern()
{
    if (m_hoehe->isChecked())
        global::Zoomtype = QStringLiteral("H");
    if (m_breite->isChecked())
        global::Zoomtype = QStringLiteral("B");
    setzeEinstellung(QStringLiteral("Allgemein"), QStringLiteral("Zoomtype"), global::Zoomtype);
    accept();
}

void einstagZeigen(QWidget *besitzer)
{
    EinstAg dialog(besitzer);
    dialog.exec();
}

} // namespace archiv::app

#include "app/EinstScan.h"

#include "app/Einstellungen.h"
#include "app/Sanduhr.h"
#include "app/Scanneroptionen.h"
#include "common/Format.h"
#include "imaging/OrdnerQuelle.h"
#include "imaging/Seitenquelle.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

namespace archiv::app {

namespace {

const QString Abschnitt = QStringLiteral("Scanner");

QString gespeichert(const char *schluessel)
{
    return einstellung(Abschnitt, QLatin1String(schluessel));
}

QScrollBar *prozentLeiste(QWidget *eltern, const char *name)
{
    auto *l = new QScrollBar(Qt::Horizontal, eltern);
    l->setObjectName(QLatin1String(name));
    l->setRange(-100, 100);
    l->setPageStep(10);
    l->setValue(0);
    l->setMinimumWidth(200);
    return l;
}

// Folder sources: the folders chosen before, those that still exist.
QStringList ordnerQuellen()
{
    QStringList q;
    for (const QString &pfad : einstellung(Abschnitt, QStringLiteral("Ordner")).split(u'|', Qt::SkipEmptyParts))
        if (QDir(pfad).exists())
            q << QLatin1String(imaging::OrdnerQuelle::Praefix) + pfad;
    return q;
}

// A new installation files the pages after a label with it.
bool folgeseitenAn()
{
    return gespeichert("Folgeseiten") != QLatin1String("0");
}

} // namespace

const QStringList &EinstScan::aufloesungen()
{
    static const QStringList dpi{"100", "150", "200", "250", "300", "350", "400", "500",
                                 "600", "700", "800", "900", "1200", "2400", "4800", "9600"};
    return dpi;
}

EinstScan::EinstScan(QWidget *parent, std::optional<QStringList> quellen) : QDialog(parent)
{
    setObjectName(QStringLiteral("einstscan"));
    setWindowTitle(QStringLiteral("Einstellungen Scanner"));
    setModal(true);
    felderAnlegen();
    anordnen();
    connect(m_bright, &QScrollBar::valueChanged, this, [this](int v) { m_brightText->setText(QString::number(v) + QStringLiteral(" %")); });
    connect(m_kontr, &QScrollBar::valueChanged, this, [this](int v) { m_kontrText->setText(QString::number(v) + QStringLiteral(" %")); });
    connect(m_speichern, &QPushButton::clicked, this, &EinstScan::speichern);
    connect(m_schliessen, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_ordner, &QPushButton::clicked, this, &EinstScan::ordnerWaehlen);
    quellenLaden(quellen);
    werteLaden();
}

void EinstScan::felderAnlegen()
{
    m_quelle = new QComboBox(this);
    m_quelle->setObjectName(QStringLiteral("Quelle"));
    m_quelle->setMinimumWidth(320);
    m_ordner = new QPushButton(QStringLiteral("Ordner …"), this);
    m_ordner->setObjectName(QStringLiteral("BUOrdner"));
    m_ordner->setToolTip(QStringLiteral("Einen Ordner, in den ein Netzwerkscanner liefert, als Quelle wählen"));
    m_dpi = new QComboBox(this);
    m_dpi->setObjectName(QStringLiteral("Dpi"));
    m_dpi->setEditable(true);
    m_dpi->setInsertPolicy(QComboBox::NoInsert);
    m_bright = prozentLeiste(this, "bright");
    m_brightText = new QLabel(this);
    m_brightText->setObjectName(QStringLiteral("BrightTxT"));
    m_kontr = prozentLeiste(this, "Kontr");
    m_kontrText = new QLabel(this);
    m_kontrText->setObjectName(QStringLiteral("KontrTXT"));
    for (QLabel *t : {m_brightText, m_kontrText})
        t->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("-100 %")) + 8);
    m_drehen = new QCheckBox(QStringLiteral("Drehen um 180"), this);
    m_drehen->setObjectName(QStringLiteral("CHTurn"));
    m_oberflaeche = new QCheckBox(QStringLiteral("User Interface"), this);
    m_oberflaeche->setObjectName(QStringLiteral("CHUinterf"));
    m_oberflaeche->setToolTip(QStringLiteral("Vor jedem Scan die Optionen des Scanners zeigen (Modus, Flachbett oder Einzug, Duplex, Seitenformat)"));
    m_barcode = new QCheckBox(QStringLiteral("Barcodes lesen (Scanstation)"), this);
    m_barcode->setObjectName(QStringLiteral("CHBarcode"));
    m_barcode->setToolTip(QStringLiteral("Beim Stapelscan den Beleg jeder Seite aus ihrem Barcode-Etikett bestimmen"));
    m_folgeseiten = new QCheckBox(QStringLiteral("Folgeseiten ohne Etikett gehören zum Beleg davor"), this);
    m_folgeseiten->setObjectName(QStringLiteral("CHFolgeseiten"));
    m_folgeseiten->setToolTip(QStringLiteral("Beim Stapelscan bekommt eine Seite ohne Etikett den Beleg der Seite vor ihr; "
                                             "Seiten vor dem ersten Etikett bleiben ohne Beleg"));
    m_speichern = new QPushButton(QStringLiteral("Speichern"), this);
    m_speichern->setObjectName(QStringLiteral("BUSpeich"));
    m_schliessen = new QPushButton(QStringLiteral("Schliessen"), this);
    m_schliessen->setObjectName(QStringLiteral("BUClose"));
}

void EinstScan::anordnen()
{
    auto *g = new QGridLayout(this);
    g->addWidget(new QLabel(QStringLiteral("Quelle:"), this), 0, 0);
    g->addWidget(m_quelle, 0, 1, 1, 2);
    g->addWidget(m_ordner, 0, 3);
    g->addWidget(new QLabel(QStringLiteral("Auflösung:"), this), 1, 0);
    g->addWidget(m_dpi, 1, 1);
    g->addWidget(new QLabel(QStringLiteral("Helligkeit:"), this), 2, 0);
    g->addWidget(m_bright, 2, 1, 1, 2);
    g->addWidget(m_brightText, 2, 3);
    g->addWidget(new QLabel(QStringLiteral("Kontrast:"), this), 3, 0);
    g->addWidget(m_kontr, 3, 1, 1, 2);
    g->addWidget(m_kontrText, 3, 3);
    g->addWidget(m_drehen, 4, 1, 1, 3);
    g->addWidget(m_oberflaeche, 5, 1, 1, 3);
    g->addWidget(m_barcode, 6, 1, 1, 3);
    g->addWidget(m_folgeseiten, 7, 1, 1, 3);
    auto *knoepfe = new QHBoxLayout;
    knoepfe->addStretch();
    knoepfe->addWidget(m_speichern);
    knoepfe->addWidget(m_schliessen);
    g->addLayout(knoepfe, 8, 0, 1, 4);
}

void EinstScan::quellenLaden(const std::optional<QStringList> &quellen)
{
    {
        const Sanduhr sanduhr; // looking for devices may take a moment
        m_quelle->addItems(quellen ? *quellen : imaging::Seitenquelle::quellen() + ordnerQuellen());
    }
    // The stored source, when it is still there (the last row of that name).
    m_quelle->setCurrentIndex(-1);
    const QString quelle = gespeichert("Quelle");
    for (int i = 0; !quelle.isEmpty() && i < m_quelle->count(); ++i)
        if (m_quelle->itemText(i) == quelle)
            m_quelle->setCurrentIndex(i);
}

void EinstScan::werteLaden()
{
    m_dpi->addItems(aufloesungen());
    m_dpi->setCurrentIndex(-1);
    if (!gespeichert("Dpi").isEmpty())
        m_dpi->setEditText(gespeichert("Dpi"));
    if (!gespeichert("Bright").isEmpty())
        m_bright->setValue(int(common::zahlWert(gespeichert("Bright"))));
    if (!gespeichert("Kontrast").isEmpty())
        m_kontr->setValue(int(common::zahlWert(gespeichert("Kontrast"))));
    if (!gespeichert("Drehen").isEmpty())
        m_drehen->setChecked(common::zahlWert(gespeichert("Drehen")) != 0);
    if (!gespeichert("UserInterface").isEmpty())
        m_oberflaeche->setChecked(common::zahlWert(gespeichert("UserInterface")) != 0);
    m_barcode->setChecked(common::zahlWert(einstellung(QStringLiteral("Allgemein"), QStringLiteral("Barcode"))) > 0);
    m_folgeseiten->setChecked(folgeseitenAn());
    m_brightText->setText(QString::number(m_bright->value()) + QStringLiteral(" %"));
    m_kontrText->setText(QString::number(m_kontr->value()) + QStringLiteral(" %"));
}

void EinstScan::ordnerWaehlen()
{
    const QString pfad = QFileDialog::getExistingDirectory(this, QStringLiteral("Ordner des Scanners"), QDir::homePath());
    if (pfad.isEmpty())
        return;
    const QString name = QLatin1String(imaging::OrdnerQuelle::Praefix) + QDir::toNativeSeparators(pfad);
    if (m_quelle->findText(name) < 0)
        m_quelle->addItem(name);
    m_quelle->setCurrentIndex(m_quelle->findText(name));
}

void EinstScan::speichern()
{
    const QString quelle = m_quelle->currentIndex() >= 0 ? m_quelle->currentText() : QString();
    setzeEinstellung(Abschnitt, QStringLiteral("Quelle"), quelle);
    setzeEinstellung(Abschnitt, QStringLiteral("Dpi"), m_dpi->currentText());
    setzeEinstellung(Abschnitt, QStringLiteral("Bright"), QString::number(m_bright->value()));
    setzeEinstellung(Abschnitt, QStringLiteral("Kontrast"), QString::number(m_kontr->value()));
    setzeEinstellung(Abschnitt, QStringLiteral("Drehen"), m_drehen->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    setzeEinstellung(Abschnitt, QStringLiteral("UserInterface"), m_oberflaeche->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    setzeEinstellung(QStringLiteral("Allgemein"), QStringLiteral("Barcode"), m_barcode->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    setzeEinstellung(Abschnitt, QStringLiteral("Folgeseiten"), m_folgeseiten->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    // Folder sources are remembered for the next time the list is built.
    if (quelle.startsWith(QLatin1String(imaging::OrdnerQuelle::Praefix))) {
        QStringList ordner = einstellung(Abschnitt, QStringLiteral("Ordner")).split(u'|', Qt::SkipEmptyParts);
        const QString pfad = quelle.mid(int(qstrlen(imaging::OrdnerQuelle::Praefix)));
        if (!ordner.contains(pfad))
            ordner << pfad;
        setzeEinstellung(Abschnitt, QStringLiteral("Ordner"), ordner.join(u'|'));
    }
    accept();
}

void einstscanZeigen(QWidget *besitzer)
{
    EinstScan dialog(besitzer);
    dialog.exec();
}

Scannereinstellungen scannereinstellungen()
{
    Scannereinstellungen e;
    e.quelle = gespeichert("Quelle");
    e.geraet.dpi = gespeichert("Dpi");
    e.geraet.kontrast = int(common::zahlWert(gespeichert("Kontrast")) * 10);
    e.geraet.helligkeit = int(common::zahlWert(gespeichert("Bright")) * 10);
    e.geraet.eigenerDialog = common::zahlWert(gespeichert("UserInterface")) > 0;
    e.geraet.geraeteoptionen = gespeicherteGeraeteoptionen(e.quelle);
    e.drehen = common::zahlWert(gespeichert("Drehen")) > 0;
    e.folgeseiten = folgeseitenAn();
    return e;
}

} // namespace archiv::app

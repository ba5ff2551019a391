#include "app/Scanneroptionen.h"

#include "app/EinstScan.h"
#include "app/Einstellungen.h"
#include "app/Sanduhr.h"
#include "imaging/OrdnerQuelle.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

#include <limits>

namespace archiv::app {

using imaging::Geraeteoption;

namespace {

const QString Abschnitt = QStringLiteral("Scanner");

// One key per device; the device name may hold characters a settings key
// cannot.
QString schluessel(const QString &geraet)
{
    return QStringLiteral("Optionen-") + QString::fromLatin1(QUrl::toPercentEncoding(geraet));
}

} // namespace

QString optionTitel(const Geraeteoption &o)
{
    static const QHash<QString, QString> titel{
        {QStringLiteral("mode"), QStringLiteral("Modus")},
        {QStringLiteral("source"), QStringLiteral("Quelle (Flachbett, Einzug)")},
        {QStringLiteral("resolution"), QStringLiteral("Auflösung")},
        {QStringLiteral("x-resolution"), QStringLiteral("Auflösung waagerecht")},
        {QStringLiteral("y-resolution"), QStringLiteral("Auflösung senkrecht")},
        {QStringLiteral("depth"), QStringLiteral("Farbtiefe")},
        {QStringLiteral("brightness"), QStringLiteral("Helligkeit")},
        {QStringLiteral("contrast"), QStringLiteral("Kontrast")},
        {QStringLiteral("threshold"), QStringLiteral("Schwellwert")},
        {QStringLiteral("preview"), QStringLiteral("Vorschau")},
        {QStringLiteral("duplex"), QStringLiteral("Beidseitig (Duplex)")},
        {QStringLiteral("tl-x"), QStringLiteral("Links")},
        {QStringLiteral("tl-y"), QStringLiteral("Oben")},
        {QStringLiteral("br-x"), QStringLiteral("Rechts")},
        {QStringLiteral("br-y"), QStringLiteral("Unten")},
        {QStringLiteral("page-width"), QStringLiteral("Seitenbreite")},
        {QStringLiteral("page-height"), QStringLiteral("Seitenhöhe")},
        {QStringLiteral("page-size"), QStringLiteral("Seitenformat")},
    };
    return titel.value(o.name, o.titel.isEmpty() ? o.name : o.titel);
}

Scanneroptionen::Scanneroptionen(const QString &geraet, const QList<Geraeteoption> &optionen, QWidget *parent)
    : QDialog(parent), m_optionen(optionen)
{
    setObjectName(QStringLiteral("scanneroptionen"));
    setWindowTitle(QStringLiteral("Scanneroptionen – ") + geraet);
    setModal(true);

    auto *inhalt = new QWidget;
    auto *spalte = new QVBoxLayout(inhalt);
    QHash<QString, QFormLayout *> gruppen;
    for (const Geraeteoption &o : optionen) {
        QFormLayout *form = gruppen.value(o.gruppe);
        if (!form) {
            auto *box = new QGroupBox(o.gruppe.isEmpty() ? QStringLiteral("Allgemein") : o.gruppe, inhalt);
            form = new QFormLayout(box);
            form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
            spalte->addWidget(box);
            gruppen.insert(o.gruppe, form);
        }
        QWidget *f = feld(o);
        f->setObjectName(o.name);
        f->setToolTip(o.beschreibung);
        m_felder.insert(o.name, f);
        if (o.art == Geraeteoption::Art::Schalter)
            form->addRow(QString(), f);
        else
            form->addRow(optionTitel(o) + u':', f);
    }
    spalte->addStretch();

    auto *flaeche = new QScrollArea(this);
    flaeche->setWidgetResizable(true);
    flaeche->setWidget(inhalt);
    flaeche->setFrameShape(QFrame::NoFrame);
    auto *ok = new QPushButton(QStringLiteral("Scannen"), this);
    ok->setObjectName(QStringLiteral("BUOk"));
    ok->setDefault(true);
    auto *abbrechen = new QPushButton(QStringLiteral("Abbrechen"), this);
    abbrechen->setObjectName(QStringLiteral("BUAbbrechen"));
    auto *knoepfe = new QHBoxLayout;
    knoepfe->addStretch();
    knoepfe->addWidget(ok);
    knoepfe->addWidget(abbrechen);
    auto *aussen = new QVBoxLayout(this);
    aussen->addWidget(flaeche);
    aussen->addLayout(knoepfe);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(abbrechen, &QPushButton::clicked, this, &QDialog::reject);

    // As wide as the widest row, as high as the screen allows.
    const int breite = inhalt->sizeHint().width() + flaeche->verticalScrollBar()->sizeHint().width() + 24;
    const int hoehe = qMin(inhalt->sizeHint().height() + ok->sizeHint().height() + 40,
                           screen() ? screen()->availableGeometry().height() * 3 / 4 : 600);
    resize(qMax(breite, 420), qMax(hoehe, 200));
}

QWidget *Scanneroptionen::feld(const Geraeteoption &o)
{
    if (o.art == Geraeteoption::Art::Schalter) {
        auto *c = new QCheckBox(optionTitel(o));
        c->setChecked(o.wert == QLatin1String("1"));
        return c;
    }
    if (!o.auswahl.isEmpty()) {
        auto *c = new QComboBox;
        c->addItems(o.auswahl);
        const int i = c->findText(o.wert);
        c->setCurrentIndex(i);
        if (i < 0 && !o.wert.isEmpty()) {
            c->addItem(o.wert);
            c->setCurrentIndex(c->count() - 1);
        }
        return c;
    }
    const QString einheit = o.einheit.isEmpty() ? QString() : u' ' + o.einheit;
    if (o.art == Geraeteoption::Art::Ganzzahl && o.bereich) {
        auto *s = new QSpinBox;
        s->setRange(int(o.min), int(o.max));
        s->setSingleStep(o.schritt > 0 ? int(o.schritt) : 1);
        s->setSuffix(einheit);
        s->setValue(o.wert.toInt());
        return s;
    }
    if (o.art == Geraeteoption::Art::Kommazahl && o.bereich) {
        auto *s = new QDoubleSpinBox;
        s->setDecimals(o.schritt > 0 && o.schritt >= 1 ? 0 : 2);
        s->setRange(o.min, o.max);
        s->setSingleStep(o.schritt > 0 ? o.schritt : (o.max - o.min) / 100);
        s->setSuffix(einheit);
        s->setValue(o.wert.toDouble());
        return s;
    }
    auto *e = new QLineEdit(o.wert);
    return e;
}

QString Scanneroptionen::wert(const QString &name) const
{
    QWidget *f = m_felder.value(name);
    if (auto *c = qobject_cast<QCheckBox *>(f))
        return c->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    if (auto *c = qobject_cast<QComboBox *>(f))
        return c->currentText();
    if (auto *s = qobject_cast<QSpinBox *>(f))
        return QString::number(s->value());
    if (auto *s = qobject_cast<QDoubleSpinBox *>(f))
        return QString::number(s->value(), 'g', 8);
    if (auto *e = qobject_cast<QLineEdit *>(f))
        return e->text();
    return {};
}

QList<std::pair<QString, QString>> Scanneroptionen::werte(const QList<std::pair<QString, QString>> &bisher) const
{
    QHash<QString, QString> alt;
    for (const auto &[name, w] : bisher)
        alt.insert(name, w);
    QList<std::pair<QString, QString>> liste;
    for (const Geraeteoption &o : m_optionen) {
        const QString jetzt = wert(o.name);
        // A number the device shows rounded is no change of the user's.
        const bool geaendert = o.art == Geraeteoption::Art::Kommazahl ? qAbs(jetzt.toDouble() - o.wert.toDouble()) > 1e-6 : jetzt != o.wert;
        if (geaendert || alt.contains(o.name))
            liste.append({o.name, jetzt});
    }
    // Remembered values of options the device does not show now (another
    // source hides them) stay remembered.
    for (const auto &[name, w] : bisher)
        if (!m_felder.contains(name))
            liste.append({name, w});
    return liste;
}

QList<std::pair<QString, QString>> gespeicherteGeraeteoptionen(const QString &geraet)
{
    QList<std::pair<QString, QString>> liste;
    for (const QString &teil : einstellung(Abschnitt, schluessel(geraet)).split(u'&', Qt::SkipEmptyParts)) {
        const qsizetype gleich = teil.indexOf(u'=');
        if (gleich <= 0)
            continue;
        liste.append({QUrl::fromPercentEncoding(teil.left(gleich).toLatin1()), QUrl::fromPercentEncoding(teil.mid(gleich + 1).toLatin1())});
    }
    return liste;
}

void geraeteoptionenSpeichern(const QString &geraet, const QList<std::pair<QString, QString>> &werte)
{
    QStringList teile;
    for (const auto &[name, w] : werte)
        teile << QString::fromLatin1(QUrl::toPercentEncoding(name)) + u'=' + QString::fromLatin1(QUrl::toPercentEncoding(w));
    setzeEinstellung(Abschnitt, schluessel(geraet), teile.join(u'&'));
}

bool scanneroptionenFragen(QWidget *besitzer, Scannereinstellungen &scanner)
{
    if (!scanner.geraet.eigenerDialog || scanner.quelle.startsWith(QLatin1String(imaging::OrdnerQuelle::Praefix)))
        return true;
    QList<Geraeteoption> optionen;
    {
        const Sanduhr sanduhr; // opening the device may take a moment
        optionen = imaging::Seitenquelle::oeffnen(scanner.quelle)->optionen(scanner.geraet);
    }
    // A device that cannot be opened says so when the scan starts.
    if (optionen.isEmpty())
        return true;
    Scanneroptionen dialog(scanner.quelle, optionen, besitzer);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    scanner.geraet.geraeteoptionen = dialog.werte(scanner.geraet.geraeteoptionen);
    geraeteoptionenSpeichern(scanner.quelle, scanner.geraet.geraeteoptionen);
    return true;
}

} // namespace archiv::app

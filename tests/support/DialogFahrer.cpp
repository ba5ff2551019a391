#include "support/DialogFahrer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>

namespace archiv::test {

DialogFahrer::DialogFahrer() : m_timer(new QTimer)
{
    m_timer->setInterval(5);
    QObject::connect(m_timer, &QTimer::timeout, [this] { pruefen(); });
    m_timer->start();
}

DialogFahrer::~DialogFahrer()
{
    delete m_timer;
}

void DialogFahrer::bei(const QString &objektName, std::function<void(QDialog *)> aktion)
{
    m_aktionen.append({objektName, std::move(aktion)});
}

void DialogFahrer::pruefen()
{
    auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    if (!d || !d->isVisible() || m_geplant || m_inArbeit.contains(d))
        return;
    if (d != m_offen) {
        m_offen = d;
        m_gesehen << d->objectName();
    }
    for (qsizetype i = 0; i < m_aktionen.size(); ++i) {
        if (m_aktionen.at(i).first != d->objectName())
            continue;
        auto aktion = m_aktionen.takeAt(i).second;
        m_geplant = true;
        // Runs once the dialog's own event loop is going; the action may open
        // further dialogs, which are answered in their turn.
        QPointer<QDialog> ziel(d);
        QTimer::singleShot(0, [ziel, aktion, this] {
            m_geplant = false;
            if (!ziel)
                return;
            m_inArbeit.append(ziel);
            aktion(ziel);
            m_inArbeit.removeAll(ziel);
            m_inArbeit.removeAll(nullptr);
        });
        return;
    }
    m_gesehen << QStringLiteral("unerwartet:") + d->objectName();
    d->reject();
}

namespace {

// A control that is not there fails the running test with its name and
// closes the dialog, so that the modal loop ends instead of waiting forever.
template<typename T>
T *steuerelement(QDialog *d, const QString &name)
{
    auto *s = d->findChild<T *>(name);
    if (!s) {
        QTest::qFail(qPrintable(QStringLiteral("Dialog %1 hat kein Steuerelement %2").arg(d->objectName(), name)), __FILE__, __LINE__);
        d->reject();
    }
    return s;
}

} // namespace

void DialogFahrer::klicken(QDialog *d, const QString &knopf)
{
    if (auto *k = steuerelement<QAbstractButton>(d, knopf))
        QTest::mouseClick(k, Qt::LeftButton);
}

void DialogFahrer::tippen(QDialog *d, const QString &feld, const QString &text)
{
    if (auto *f = steuerelement<QLineEdit>(d, feld)) {
        f->selectAll();
        f->del();
        tasten(f, text);
    }
}

void DialogFahrer::tasten(QWidget *w, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(w, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

std::function<void(QDialog *)> DialogFahrer::anmeldung(const QString &code, const QString &passwort)
{
    return [code, passwort](QDialog *d) {
        tippen(d, QStringLiteral("PcodeTxt"), code);
        tippen(d, QStringLiteral("PasswordTxt"), passwort);
        klicken(d, QStringLiteral("BUSpeich"));
    };
}

} // namespace archiv::test

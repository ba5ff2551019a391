#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QDialog;
class QTimer;
class QWidget;

namespace archiv::test {

// Answers modal dialogs the way a user would. Actions are queued per dialog
// name; while a modal dialog of that name is open, its next action runs on it
// (fill fields, click a button by name). A dialog without a queued action is
// closed and noted as unexpected. Records the order in which dialogs appeared.
class DialogFahrer
{
public:
    DialogFahrer();
    ~DialogFahrer();

    void bei(const QString &objektName, std::function<void(QDialog *)> aktion);
    const QStringList &gesehen() const { return m_gesehen; }
    int anzahl(const QString &objektName) const { return int(m_gesehen.count(objektName)); }

    // Helpers for actions.
    static void klicken(QDialog *d, const QString &knopf);
    static void tippen(QDialog *d, const QString &feld, const QString &text);
    // Types text key by key into a widget, umlauts and ß included (the
    // test library's own key clicks know ASCII only).
    static void tasten(QWidget *w, const QString &text);
    // The login dialog's action: code and password typed, "Speichern" clicked.
    static std::function<void(QDialog *)> anmeldung(const QString &code, const QString &passwort);

private:
    void pruefen();
    QTimer *m_timer;
    QList<std::pair<QString, std::function<void(QDialog *)>>> m_aktionen;
    QStringList m_gesehen;
    QPointer<QDialog> m_offen;
    bool m_geplant = false;
    QList<QPointer<QDialog>> m_inArbeit; // dialogs whose action is running (may nest)
};

} // namespace archiv::test

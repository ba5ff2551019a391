#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace archiv::editor {

// The save options ("Dokument speichern"): private, as a new version, the
// version text. OK hands back "newversjn|verstxt|privatjn" (0 or 1 for the
// boxes); any other way of closing hands back an empty text.
class Dokspeich : public QDialog
{
    Q_OBJECT
public:
    Dokspeich(bool neueVersionMoeglich, const QString &versionstext, QWidget *parent = nullptr);

    QString ergebnis() const { return m_ergebnis; }

    // Shows the dialog modally and returns what it handed back.
    static QString fragen(bool neueVersionMoeglich, const QString &versionstext, QWidget *parent);

private:
    void ok();

    QCheckBox *m_privat;
    QCheckBox *m_neueVersion;
    QLineEdit *m_text;
    QString m_ergebnis;
};

} // namespace archiv::editor

#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPagedPaintDevice;
class QPlainTextEdit;
class QPushButton;

namespace archiv::tools {

// The report printed: the heading with the type and the date, then the
// report's lines, on as many pages as they need.
void vollstaendigkeitDrucken(QPagedPaintDevice &geraet, const QString &belart, const QString &bericht, const QDate &datum);

// "Archiv - Vollständigkeitstest": the server checks one type and business
// year; its report comes here line by line. Closing only hides the window,
// so the report is still there when it is opened again.
class Vollstaendigkeitstest : public QDialog
{
    Q_OBJECT
public:
    static constexpr int MaxZeilen = 500;

    explicit Vollstaendigkeitstest(QWidget *parent = nullptr);

    void laden(const QString &firma);
    void starten(); // BUStart
    void drucken(); // BUDruck, on the default printer
    // The server's handle of the last run.
    const QString &auftrag() const { return m_auftrag; }

private:
    QString m_firma;
    QString m_auftrag;
    QComboBox *m_belart;
    QComboBox *m_jahr;
    QCheckBox *m_dateien;
    QPlainTextEdit *m_ausgabe;
    QPushButton *m_start;
};

} // namespace archiv::tools

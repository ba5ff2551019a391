#pragma once

#include <QDialog>

#include <functional>

class QTreeWidget;

namespace archiv::lookup {

// The number pick list: the dates of the Belege that match a number, filled
// by the editor's Beleg search. Choosing a date loads that Beleg through the
// loader handed in and closes the list.
class SuBelnr : public QDialog
{
    Q_OBJECT
public:
    using Lader = std::function<void(const QString &dokId)>;
    explicit SuBelnr(Lader lader, QWidget *parent = nullptr);

    void hinzufuegen(const QString &datum, const QString &dokId);
    void leeren();
    QTreeWidget *beleg() const { return m_beleg; }

    // The list's row choice.
    void waehlen();

private:
    Lader m_lader;
    QTreeWidget *m_beleg;
};

} // namespace archiv::lookup

#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;
class QTreeWidget;

namespace archiv::lookup {

// The lookup dialogs for customers (SuKund), suppliers (SuLief) and articles
// (SuArtikel) of one company. A picked row's key goes to SuchWert; closing
// without a pick leaves SuchWert as it was.
class Suchdialog : public QDialog
{
    Q_OBJECT
public:
    enum class Art { Kunde, Lieferant, Artikel };

    Suchdialog(Art art, QString firma, QWidget *parent = nullptr);

    void suchen(); // Busuch
    void waehlen(); // the list's row choice
    QTreeWidget *liste() const { return m_liste; }

    // Opens the lookup for an index kind (1 customer, 2 supplier, 18
    // article) modally. True only when a row was picked (SuchWert then holds
    // its key); false when closed without a pick, and for other kinds.
    static bool zeigen(int eigenId, const QString &firma, QWidget *besitzer);

private:
    void filterFuellen();

    Art m_art;
    QString m_firma;
    QComboBox *m_gruppe = nullptr; // Kgrp or Abtnr
    QTreeWidget *m_typen = nullptr; // Lieftyp
    QLineEdit *m_kurz = nullptr; // PKkbez, PLkbez or KBez
    QTreeWidget *m_liste = nullptr;
};

} // namespace archiv::lookup

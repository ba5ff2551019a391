#pragma once

#include "search/Suchkriterien.h"

#include <QAbstractTableModel>
#include <QIcon>

namespace archiv::search {

// The hits of the last search for the result list: five columns (the first
// without caption, "Belegart/Nr.", "Datum/Zeit", "Text", "Bild") and, after
// a full-text search, "Fundstelle"; cheap for 50 000 rows, one struct per row.
class TrefferModell : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TrefferModell(QObject *parent = nullptr);

    void setzen(QList<Trefferzeile> zeilen); // sorted by the date column, newest first
    void leeren();
    static constexpr int SpalteFundstelle = 5;
    bool mitFundstellen() const { return m_mitFundstellen; }
    const Trefferzeile &zeile(int r) const { return m_zeilen.at(r); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static QIcon statusBild(int marke);

private:
    QList<Trefferzeile> m_zeilen;
    QList<QStringList> m_zellen; // cells 1 to 4 of each row
    bool m_mitFundstellen = false;
};

} // namespace archiv::search

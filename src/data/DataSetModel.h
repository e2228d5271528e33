// A table model over a ClientDataSet's current view: one row per visible record
// in index and filter order, one column per field. Views (the listing grid, a
// report preview) read through it; it follows the dataset's resets, re-sorts,
// re-filters and appends with the matching model notifications.
#pragma once

#include <QAbstractTableModel>
#include <QPointer>

namespace sqda {

class ClientDataSet;

class DataSetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit DataSetModel(ClientDataSet *dataSet, QObject *parent = nullptr);

    ClientDataSet *dataSet() const { return m_dataSet; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    // DisplayRole: the cell as a user reads it; EditRole: its typed value (invalid
    // for null); TextAlignmentRole: numbers to the right.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Horizontal: the field's display label; vertical: the 1-based row number.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void saveLayout();
    void restoreLayout();

    QPointer<ClientDataSet> m_dataSet;
    bool m_resetting = false;
    QModelIndexList m_savedIndexes;
    std::vector<qsizetype> m_savedRows; // store rows of m_savedIndexes
};

} // namespace sqda

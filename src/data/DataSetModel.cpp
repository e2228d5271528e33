#include "DataSetModel.h"

#include "ClientDataSet.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace sqda {

DataSetModel::DataSetModel(ClientDataSet *dataSet, QObject *parent)
    : QAbstractTableModel(parent)
    , m_dataSet(dataSet)
{
    if (!dataSet)
        return;
    connect(dataSet, &ClientDataSet::aboutToReset, this, [this] {
        m_resetting = true;
        beginResetModel();
    });
    connect(dataSet, &ClientDataSet::dataReset, this, [this] {
        if (m_resetting) {
            m_resetting = false;
            endResetModel();
        }
    });
    connect(dataSet, &ClientDataSet::layoutAboutToChange, this, &DataSetModel::saveLayout);
    connect(dataSet, &ClientDataSet::layoutChanged, this, &DataSetModel::restoreLayout);
    connect(dataSet, &ClientDataSet::rowAboutToBeAppended, this, [this](int row) { beginInsertRows({}, row, row); });
    connect(dataSet, &ClientDataSet::rowAppended, this, [this](int) { endInsertRows(); });
    // A dataset going away leaves an empty model, not a dangling one.
    connect(dataSet, &QObject::destroyed, this, [this] {
        beginResetModel();
        m_dataSet = nullptr; // its members are gone already
        endResetModel();
    });
}

int DataSetModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_dataSet || !m_dataSet->isActive())
        return 0;
    return m_dataSet->recordCount();
}

int DataSetModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_dataSet)
        return 0;
    return m_dataSet->fieldCount();
}

QVariant DataSetModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const DataStore &store = m_dataSet->store();
    const qsizetype row = m_dataSet->storeRow(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return store.displayText(row, index.column());
    case Qt::EditRole:
        return store.value(row, index.column());
    case Qt::TextAlignmentRole: {
        const FieldType t = store.defs()[index.column()].type;
        const bool number = t == FieldType::Int32 || t == FieldType::Int64 || t == FieldType::Double;
        return QVariant::fromValue(
            Qt::Alignment(number ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter));
    }
    default:
        return {};
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || !m_dataSet)
        return {};
    if (orientation == Qt::Vertical)
        return section >= 0 && section < rowCount() ? QVariant(section + 1) : QVariant();
    if (section < 0 || section >= columnCount())
        return {};
    return m_dataSet->field(section)->displayLabel();
}

void DataSetModel::saveLayout()
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Persistent indexes (selections, the current cell) follow their record.
    m_savedIndexes = persistentIndexList();
    m_savedRows.clear();
    m_savedRows.reserve(size_t(m_savedIndexes.size()));
    for (const QModelIndex &i : std::as_const(m_savedIndexes))
        m_savedRows.push_back(m_dataSet->storeRow(i.row()));
}

void DataSetModel::restoreLayout()
{
    QModelIndexList to;
    to.reserve(m_savedIndexes.size());
    if (m_savedRows.size() <= 8) {
        // A view keeps a few (the current cell, the selection's corners): each
        // distinct row is looked up once in the dataset's order, a straight
        // search of its row numbers (often the current record, which the
        // dataset has just found itself).
        const qsizetype currentRow = m_dataSet->recordCount() > 0 && m_dataSet->currentIndex() >= 0
            ? m_dataSet->storeRow(m_dataSet->currentIndex())
            : -1;
        std::vector<std::pair<qsizetype, int>> found;
        for (qsizetype i = 0; i < m_savedIndexes.size(); ++i) {
            const qsizetype row = m_savedRows[size_t(i)];
            auto it = std::find_if(found.begin(), found.end(), [row](const auto &f) { return f.first == row; });
            if (it == found.end()) {
                const int v = row == currentRow ? m_dataSet->currentIndex() : m_dataSet->viewIndexOf(row);
                it = found.insert(found.end(), { row, v });
            }
            to << (it->second < 0 ? QModelIndex() : index(it->second, m_savedIndexes[i].column()));
        }
    } else {
        // One pass over the view maps store rows back to view rows.
        std::vector<int> viewOf(size_t(m_dataSet->store().rowCount()), -1);
        for (int v = 0, n = m_dataSet->recordCount(); v < n; ++v)
            viewOf[size_t(m_dataSet->storeRow(v))] = v;
        for (qsizetype i = 0; i < m_savedIndexes.size(); ++i) {
            const int v = viewOf[size_t(m_savedRows[size_t(i)])];
            to << (v < 0 ? QModelIndex() : index(v, m_savedIndexes[i].column()));
        }
    }
    changePersistentIndexList(m_savedIndexes, to);
    m_savedIndexes.clear();
    m_savedRows.clear();
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace sqda

#include "ImportRowsModel.h"

namespace sqda {

ImportRowsModel::ImportRowsModel(int rows, QStringList titles, Text text, QObject *parent)
    : QAbstractTableModel(parent)
    , m_rows(rows)
    , m_titles(std::move(titles))
    , m_text(std::move(text))
{
}

int ImportRowsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int ImportRowsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_titles.size());
}

QVariant ImportRowsModel::data(const QModelIndex &index, int role) const
{
    // The tooltip shows a verdict that its column cuts short.
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    return m_text(index.row(), index.column());
}

QVariant ImportRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= m_titles.size())
        return {};
    return m_titles.at(section);
}

void ImportRowsModel::refresh()
{
    if (m_rows > 0 && !m_titles.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(m_rows - 1, int(m_titles.size()) - 1), { Qt::DisplayRole });
}

} // namespace sqda

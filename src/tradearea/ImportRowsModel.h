// A read-only table of an import's rows for the check and summary dialogs:
// line, code, name and a verdict or outcome, read on demand from the plan or
// the run, so a file of a hundred thousand rows shows at once.
#pragma once

#include <QAbstractTableModel>

#include <functional>

namespace sqda {

class ImportRowsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using Text = std::function<QString(int row, int column)>;
    ImportRowsModel(int rows, QStringList titles, Text text, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The texts changed (the rename tick): every row is shown again.
    void refresh();

private:
    int m_rows;
    QStringList m_titles;
    Text m_text;
};

} // namespace sqda

#include "ReportDataSource.h"

#include "data/ClientDataSet.h"

namespace sqda::report {

int DataSetReportSource::rowCount() const
{
    return m_dataSet.isActive() ? m_dataSet.recordCount() : 0;
}

QString DataSetReportSource::displayText(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= m_dataSet.store().columnCount())
        return {};
    return m_dataSet.store().displayText(m_dataSet.storeRow(row), column);
}

QVariant DataSetReportSource::value(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= m_dataSet.store().columnCount())
        return {};
    return m_dataSet.store().value(m_dataSet.storeRow(row), column);
}

double columnSum(const ReportDataSource &source, int column)
{
    double sum = 0;
    const int rows = source.rowCount();
    for (int r = 0; r < rows; ++r) {
        const QVariant v = source.value(r, column);
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (ok && v.metaType().id() != QMetaType::QString)
            sum += d;
    }
    return sum;
}

bool isTicked(const QVariant &value)
{
    return value.isValid() && value.toBool();
}

} // namespace sqda::report

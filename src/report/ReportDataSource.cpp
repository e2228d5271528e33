#include "ReportDataSource.h"

#include "data/ClientDataSet.h"

namespace sqda::report {

DataSetReportSource::DataSetReportSource(const ClientDataSet &dataSet)
    : m_dataSet(&dataSet)
{
}

int DataSetReportSource::rowCount() const
{
    const ClientDataSet *ds = m_dataSet.data();
    return ds && ds->isActive() ? ds->recordCount() : 0;
}

QString DataSetReportSource::displayText(int row, int column) const
{
    const ClientDataSet *ds = m_dataSet.data();
    if (!ds || !ds->isActive() || row < 0 || row >= ds->recordCount() || column < 0
        || column >= ds->store().columnCount())
        return {};
    return ds->store().displayText(ds->storeRow(row), column);
}

QVariant DataSetReportSource::value(int row, int column) const
{
    const ClientDataSet *ds = m_dataSet.data();
    if (!ds || !ds->isActive() || row < 0 || row >= ds->recordCount() || column < 0
        || column >= ds->store().columnCount())
        return {};
    return ds->store().value(ds->storeRow(row), column);
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

// The rows a report prints, read by view row and column.
//
// Painting asks for the cells of one page at a time; nothing is copied. Row i is
// the i-th record of the dataset's current order and filter at the time the report
// was formatted.
#pragma once

#include <QPointer>
#include <QString>
#include <QVariant>

namespace sqda {
class ClientDataSet;
}

namespace sqda::report {

class ReportDataSource
{
public:
    virtual ~ReportDataSource() = default;
    virtual int rowCount() const = 0;
    // The cell as the grid shows it; empty for null.
    virtual QString displayText(int row, int column) const = 0;
    // The typed value (invalid for null), for check boxes and sums.
    virtual QVariant value(int row, int column) const = 0;
};

// A dataset's current view, read without moving its cursor. A dataset that
// has gone (its screen was destroyed) reads as no rows.
class DataSetReportSource final : public ReportDataSource
{
public:
    explicit DataSetReportSource(const ClientDataSet &dataSet);
    int rowCount() const override;
    QString displayText(int row, int column) const override;
    QVariant value(int row, int column) const override;

private:
    QPointer<const ClientDataSet> m_dataSet;
};

// Footer values over all printed rows: the sum of a column's numbers (nulls and
// texts that are not numbers left out) and the count of rows.
double columnSum(const ReportDataSource &source, int column);

// Whether a check-box cell is ticked: a valid value that reads as true.
bool isTicked(const QVariant &value);

} // namespace sqda::report

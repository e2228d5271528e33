// The department's area tree as a printed listing, through the report engine
// that prints the query screen's listing: title "商圈档案", the department and
// the code-level text under it, one row per area in tree order, indented by its
// depth in the tree, with its code, name and level; the page foot with print
// date, time, operator and "第n页/共m页". A name wider than its column is cut at
// the column's edge, as in the listing.
#pragma once

#include "AreaExport.h"

#include "report/GridReport.h"
#include "report/PageSetup.h"
#include "report/ReportDataSource.h"
#include "report/ReportVariables.h"

namespace sqda {

class AreaTreeSource final : public report::ReportDataSource
{
public:
    enum Column { CodeColumn, NameColumn, LevelColumn };
    explicit AreaTreeSource(std::vector<AreaLine> lines)
        : m_lines(std::move(lines))
    {
    }
    int rowCount() const override { return int(m_lines.size()); }
    QString displayText(int row, int column) const override;
    QVariant value(int row, int column) const override;

private:
    std::vector<AreaLine> m_lines;
};

namespace AreaTreeReport {

// The columns as the listing generator takes them.
report::GridDescription grid();
report::GridReportOptions options();
// "Title", "Condi" (department and code levels), "Date", "Time", "Oper".
void fillVariables(report::ReportVariables &variables, const AreaSheet &sheet, const QString &date, const QString &time,
    const QString &operatorName);

} // namespace AreaTreeReport

} // namespace sqda

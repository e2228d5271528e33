#include "AreaTreeReport.h"

namespace sqda {

QString AreaTreeSource::displayText(int row, int column) const
{
    const AreaLine &l = m_lines[size_t(row)];
    switch (column) {
    case CodeColumn:
        // Two full-width spaces a level below the first: the indent survives any
        // font, and the code column reads as the tree.
        return QString(qMax(0, l.depth - 1) * 2, QChar(0x3000)) + l.code;
    case NameColumn:
        return l.name;
    case LevelColumn:
        return QString::number(l.level);
    default:
        return {};
    }
}

QVariant AreaTreeSource::value(int row, int column) const
{
    return column == LevelColumn ? QVariant(m_lines[size_t(row)].level) : QVariant(displayText(row, column));
}

namespace AreaTreeReport {

report::GridDescription grid()
{
    report::GridDescription g;
    const auto column = [](int field, const QString &title, int width, report::HAlign align) {
        report::GridColumn c;
        c.field = field;
        c.title = title;
        c.width = width;
        c.align = align;
        c.titleAlign = report::HAlign::Center;
        c.titleFont.bold = true;
        return c;
    };
    // 236 + 401 + 61 units fit the A4 page's 718 between the margins.
    g.columns = { column(AreaTreeSource::CodeColumn, AreaExport::CodeTitle, 235, report::HAlign::Left),
        column(AreaTreeSource::NameColumn, AreaExport::NameTitle, 400, report::HAlign::Left),
        column(AreaTreeSource::LevelColumn, AreaExport::LevelTitle, 60, report::HAlign::Center) };
    g.titleRowHeight = 18;
    g.defaultRowHeight = 16;
    return g;
}

report::GridReportOptions options()
{
    report::GridReportOptions o;
    // The title and the one condition line as high as they set: the listing's
    // fixed 18-units-a-line height would put the line under the column titles.
    o.pageHeaderHeight = 0;
    return o;
}

void fillVariables(report::ReportVariables &variables, const AreaSheet &sheet, const QString &date, const QString &time,
    const QString &operatorName)
{
    variables.clear();
    variables.set(QStringLiteral("Title"), QStringLiteral("商圈档案"));
    variables.set(QStringLiteral("Condi"),
        QStringLiteral("部门：%1    商圈分级情况：%2").arg(sheet.department, sheet.codeLevels));
    variables.set(QStringLiteral("Date"), date);
    variables.set(QStringLiteral("Time"), time);
    variables.set(QStringLiteral("Oper"), operatorName);
}

} // namespace AreaTreeReport

} // namespace sqda

#include "GridReport.h"

#include <QtMath>

#include <algorithm>

namespace sqda::report {

namespace {

FontSpec font(const char16_t *family, double points)
{
    FontSpec f;
    f.family = QString::fromUtf16(family);
    f.pointSize = points;
    return f;
}

RichText fileFonts(const StyledText &styled, ReportLayout &layout)
{
    RichText rich;
    for (const StyledParagraph &sp : styled) {
        Paragraph p;
        p.align = sp.align;
        for (const StyledRun &run : sp.runs)
            p.runs.push_back({ run.text, layout.fontIndex(run.font) });
        rich.paragraphs.push_back(std::move(p));
    }
    return rich;
}

ReportObject richObject(const StyledText &text, ReportLayout &layout, QRect rect)
{
    ReportObject o;
    o.kind = ObjectKind::RichText;
    o.rich = fileFonts(text, layout);
    o.rect = rect;
    o.expandVariables = true;
    o.wordWrap = true;
    return o;
}

} // namespace

StyledText listingHeaderText()
{
    const FontSpec hei22 = font(u"黑体", 22);
    return {
        { HAlign::Center, { { QStringLiteral("[Title]"), hei22 } } },
        { HAlign::Left, { { QStringLiteral("[Condi]"), font(u"宋体", 9) }, { QStringLiteral(" "), hei22 } } },
        { HAlign::Right, { { QStringLiteral("    "), font(u"黑体", 8) } } },
    };
}

StyledText listingColumnFooterText()
{
    const FontSpec song9 = font(u"宋体", 9);
    return {
        { HAlign::Left, { { QStringLiteral("打印日期:[Date]  打印时间:[Time]") + QString(21, u' '), song9 } } },
        { HAlign::Left, { { QStringLiteral("操 作 员:[Oper]  "), song9 } } },
        { HAlign::Left,
            { { QStringLiteral("页    数:第[Page#]页/共[TotalPages#]页"), song9 },
                { QStringLiteral(" "), font(u"MS Sans Serif", 8) } } },
    };
}

StyledText listingPageFooterText()
{
    return { { HAlign::Left, { { QString(), font(u"宋体", 9) } } } };
}

int listingHeaderHeight(bool conditionsShown, int conditionLines)
{
    return conditionsShown ? 18 * std::max(conditionLines, 0) + 28 : 40;
}

int estimateTextHeight(const StyledText &text, double dpi)
{
    int height = 0;
    for (const StyledParagraph &p : text) {
        double points = 0;
        for (const StyledRun &run : p.runs)
            points = std::max(points, run.font.pointSize);
        height += qCeil(points * dpi / 72.0 * 1.2);
    }
    return height;
}

std::vector<std::vector<ColumnPlacement>> placeColumns(const std::vector<int> &widths, int usableWidth)
{
    std::vector<std::vector<ColumnPlacement>> sets;
    int x = 0;
    for (size_t i = 0; i < widths.size(); ++i) {
        if (sets.empty() || (!sets.back().empty() && x + widths[i] + 1 > usableWidth)) {
            sets.emplace_back();
            x = 0;
        }
        sets.back().push_back({ int(i), x, widths[i] + 1 });
        x += widths[i] + 1;
    }
    return sets;
}

Result<ReportLayout> buildGridReport(
    const GridDescription &grid, const GridReportOptions &options, const PageSetup &page, const TextMeasure &measure)
{
    if (const Status ok = page.validate(); !ok)
        return Error { ok.error() };
    const int usable = page.usableWidth();
    // Sizes are screen pixels; anything beyond these is a corrupt grid state, and
    // refusing it keeps every sum below well inside int.
    constexpr int MaxSize = 32767;
    constexpr int MaxFooterRows = 255;
    const auto outside = [](int v, int max) { return v < 0 || v > max; };
    if (outside(grid.titleRowHeight, MaxSize) || outside(grid.defaultRowHeight, MaxSize)
        || outside(std::max(options.masterDataHeight, 0), MaxSize) || outside(options.pageHeaderHeight, MaxSize)
        || outside(options.columnFooterHeight, MaxSize))
        return Error { QStringLiteral("报表的行高或栏目高度不在0…%1个单位之内。").arg(MaxSize) };
    if (outside(grid.footerRowCount, MaxFooterRows))
        return Error {
            QStringLiteral("表格有%1行注脚，报表只能打印0…%2行。").arg(grid.footerRowCount).arg(MaxFooterRows)
        };

    std::vector<const GridColumn *> printed;
    std::vector<int> widths;
    if (grid.hasDataSet) {
        for (const GridColumn &c : grid.columns) {
            if (!c.visible)
                continue;
            if (outside(c.width, MaxSize))
                return Error {
                    QStringLiteral("列“%1”的宽度%2个单位不在0…%3之内。").arg(c.title).arg(c.width).arg(MaxSize)
                };
            printed.push_back(&c);
            widths.push_back(c.width);
        }
    }

    // A measure's answer is held to -1…MaxSize + 1 so the "+ 2" below cannot wrap;
    // the check after it refuses what lies outside.
    const auto heightOf = [&](const StyledText &text) {
        return std::clamp(measure ? measure(text, usable) : estimateTextHeight(text, page.logicalDpi), -1, MaxSize + 1);
    };
    const int titleRow = grid.titleRowHeight + 4;
    const int dataRow = options.masterDataHeight > 0 ? options.masterDataHeight : grid.defaultRowHeight + 4;
    const int headerHeight = options.pageHeaderHeight > 0 ? options.pageHeaderHeight : heightOf(options.pageHeader) + 2;
    const int columnFooterHeight
        = options.columnFooterHeight > 0 ? options.columnFooterHeight : heightOf(options.columnFooter) + 2;
    const int pageFooterTextHeight = heightOf(options.pageFooter);
    if (outside(headerHeight, MaxSize) || outside(columnFooterHeight, MaxSize)
        || outside(pageFooterTextHeight, MaxSize))
        return Error { QStringLiteral("报表量出的文字高度不在0…%1个单位之内。").arg(MaxSize) };
    const bool framed = options.gridLines && grid.columnLines;
    const bool thickOuter = options.doubleFrame && grid.footerRowCount == 0 && framed;
    const int left = page.leftMargin;

    ReportLayout layout;
    layout.page = page;
    auto sets = placeColumns(widths, usable);
    if (sets.empty())
        sets.emplace_back(); // no printed columns: one page set with the texts alone

    for (size_t s = 0; s < sets.size(); ++s) {
        const std::vector<ColumnPlacement> &cols = sets[s];
        LayoutPage lp;

        const auto cell = [&](const ColumnPlacement &cp, int y, int height) {
            ReportObject o;
            o.rect = QRect(left + cp.x, y, cp.width, height);
            o.vAlign = VAlign::Center;
            o.frames = framed ? FrameAll : FrameNone;
            if (thickOuter) {
                if (cp.column == cols.front().column)
                    o.thickFrames |= FrameLeft;
                if (cp.column == cols.back().column)
                    o.thickFrames |= FrameRight;
            }
            return o;
        };

        // Title block: the header text, then the column titles 2 units below it.
        Band title;
        title.kind = BandKind::Title;
        title.visible = s == 0;
        title.objects.push_back(richObject(options.pageHeader, layout, QRect(left, 0, usable, headerHeight)));
        title.height = headerHeight;
        if (grid.showTitles && !cols.empty()) {
            const int y = headerHeight + 2;
            for (const ColumnPlacement &cp : cols) {
                const GridColumn &c = *printed[size_t(cp.column)];
                ReportObject o = cell(cp, y, titleRow);
                o.kind = ObjectKind::Text;
                o.text = c.title;
                o.font = layout.fontIndex(c.titleFont);
                o.hAlign = c.titleAlign;
                o.wordWrap = true;
                o.vertical = c.titleVertical;
                if (thickOuter)
                    o.thickFrames |= FrameTop;
                title.objects.push_back(std::move(o));
            }
            title.height = y + titleRow;
        }
        lp.bands.push_back(std::move(title));

        Band data;
        data.kind = BandKind::MasterData;
        data.stretch = options.stretch;
        data.height = options.showMasterData ? 0 : dataRow;
        for (const ColumnPlacement &cp : cols) {
            const GridColumn &c = *printed[size_t(cp.column)];
            ReportObject o = cell(cp, 0, data.height);
            o.kind = c.field < 0 ? ObjectKind::Text : (c.checkBox ? ObjectKind::CheckBox : ObjectKind::DataField);
            o.column = c.field;
            o.font = layout.fontIndex(c.font);
            o.hAlign = c.align;
            o.wordWrap = options.wordWrap;
            o.visible = !options.showMasterData;
            data.objects.push_back(std::move(o));
        }
        lp.bands.push_back(std::move(data));

        Band columnFooter;
        columnFooter.kind = BandKind::ColumnFooter;
        columnFooter.height = columnFooterHeight;
        // The text starts 2 units down, so its first line does not sit on the
        // bottom border of the rows above it.
        const int footGap = std::min(columnFooterHeight, 2);
        columnFooter.objects.push_back(
            richObject(options.columnFooter, layout, QRect(left, footGap, usable, columnFooterHeight - footGap)));
        lp.bands.push_back(std::move(columnFooter));

        Band pageFooter;
        pageFooter.kind = BandKind::PageFooter;
        pageFooter.height = 3 + pageFooterTextHeight;
        pageFooter.objects.push_back(
            richObject(options.pageFooter, layout, QRect(left, 3, usable, pageFooterTextHeight)));
        lp.bands.push_back(std::move(pageFooter));

        if (grid.footerRowCount > 0) {
            Band footer;
            footer.kind = BandKind::MasterFooter;
            footer.height = grid.footerRowCount * dataRow;
            for (int r = 0; r < grid.footerRowCount; ++r) {
                for (const ColumnPlacement &cp : cols) {
                    const GridColumn &c = *printed[size_t(cp.column)];
                    const GridFooterCell f = size_t(r) < c.footers.size() ? c.footers[size_t(r)] : GridFooterCell {};
                    ReportObject o = cell(cp, r * dataRow, dataRow);
                    o.font = layout.fontIndex(f.hasOwnFont ? f.font : c.font);
                    o.hAlign = f.hasOwnFont ? f.align : c.align;
                    o.wordWrap = options.wordWrap;
                    switch (f.value) {
                    case FooterValue::Sum:
                        o.kind = ObjectKind::Aggregate;
                        o.aggregate = AggregateKind::Sum;
                        o.column = c.field;
                        break;
                    case FooterValue::Count:
                        o.kind = ObjectKind::Aggregate;
                        o.aggregate = AggregateKind::Count;
                        o.column = c.field;
                        break;
                    default:
                        o.kind = ObjectKind::Text;
                        o.text = f.text;
                        break;
                    }
                    footer.objects.push_back(std::move(o));
                }
            }
            lp.bands.push_back(std::move(footer));
        }
        layout.pages.push_back(std::move(lp));
    }
    return layout;
}

} // namespace sqda::report

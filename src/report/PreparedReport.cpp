#include "PreparedReport.h"

#include <algorithm>
#include <limits>

namespace sqda::report {

namespace {

// Heights as 64-bit numbers, so sums of absurd heights are refused, not wrapped.
struct SetHeights
{
    qint64 pageHeader, title, row, masterFooter, columnFooter, pageFooter;

    explicit SetHeights(const LayoutPage &p)
        : pageHeader(p.bandHeight(BandKind::PageHeader))
        , title(p.bandHeight(BandKind::Title))
        , row(p.bandHeight(BandKind::MasterData))
        , masterFooter(p.bandHeight(BandKind::MasterFooter))
        , columnFooter(p.bandHeight(BandKind::ColumnFooter))
        , pageFooter(p.bandHeight(BandKind::PageFooter))
    {
    }
    qint64 closing() const { return columnFooter + pageFooter; }
};

Error tooSmall(const QString &what)
{
    return Error { QStringLiteral("页面太小：上下页边距之间放不下%1和页末的注脚。").arg(what) };
}

// What formatting and restoring both need of a layout and a row count.
Status checkFormattable(const ReportLayout *layout, int rowCount)
{
    if (!layout || layout->pages.empty())
        return Error { QStringLiteral("报表没有可以生成的版面。") };
    if (const Status ok = layout->page.validate(); !ok)
        return Error { ok.error() };
    if (layout->pages.size() > std::numeric_limits<quint16>::max())
        return Error { QStringLiteral("报表有%1组页面，最多只能生成%2组。")
                           .arg(layout->pages.size())
                           .arg(std::numeric_limits<quint16>::max()) };
    if (rowCount < 0)
        return Error { QStringLiteral("行数%1不是有效的行数。").arg(rowCount) };
    return {};
}

} // namespace

Result<PreparedReport> PreparedReport::prepare(std::shared_ptr<const ReportLayout> layout, int rowCount)
{
    if (const Status ok = checkFormattable(layout.get(), rowCount); !ok)
        return Error { ok.error() };

    const qint64 top = layout->page.topMargin;
    const qint64 limit = layout->page.pageHeight() - layout->page.bottomMargin;

    PreparedReport report;
    report.m_layout = layout;
    report.m_rowCount = rowCount;

    for (size_t set = 0; set < layout->pages.size(); ++set) {
        const LayoutPage &lp = layout->pages[set];
        const SetHeights h(lp);
        for (const qint64 height : { h.pageHeader, h.title, h.row, h.masterFooter, h.columnFooter, h.pageFooter })
            if (height < 0)
                return Error { QStringLiteral("报表有一个栏目的高度是负数。") };
        const qint64 fresh = top + h.pageHeader; // where the first band of a page goes
        if (fresh + h.title + h.closing() > limit)
            return tooSmall(QStringLiteral("标题栏"));
        if (rowCount > 0 && fresh + h.row + h.closing() > limit)
            return tooSmall(QStringLiteral("一行数据"));
        const bool hasMasterFooter = lp.band(BandKind::MasterFooter) != nullptr;
        if (hasMasterFooter && fresh + h.masterFooter + h.closing() > limit)
            return tooSmall(QStringLiteral("主项注脚"));

        PreparedPage page;
        page.pageSet = quint16(set);
        page.flags = lp.band(BandKind::Title) ? PageHasTitle : 0;
        qint64 y = fresh + h.title;
        quint32 row = 0;
        const quint32 rows = quint32(rowCount);
        for (;;) {
            const qint64 room = limit - h.closing() - y;
            const quint32 left = rows - row;
            const quint32 fit = h.row > 0 ? quint32(std::min<qint64>(left, room / h.row)) : left;
            page.firstRow = row;
            page.rowCount = fit;
            row += fit;
            y += qint64(fit) * h.row;
            if (row < rows) {
                report.m_pages.push_back(page);
                page = PreparedPage {};
                page.pageSet = quint16(set);
                y = fresh;
                continue;
            }
            if (hasMasterFooter) {
                if (y + h.masterFooter + h.closing() > limit) {
                    report.m_pages.push_back(page);
                    page = PreparedPage {};
                    page.pageSet = quint16(set);
                    page.firstRow = rows;
                }
                page.flags |= PageHasMasterFooter;
            }
            report.m_pages.push_back(page);
            break;
        }
    }
    report.m_pages.shrink_to_fit();
    return report;
}

Result<PreparedReport> PreparedReport::restore(
    std::shared_ptr<const ReportLayout> layout, int rowCount, std::vector<PreparedPage> pages)
{
    if (const Status ok = checkFormattable(layout.get(), rowCount); !ok)
        return Error { ok.error() };
    const auto broken = [](int page, const QString &why) {
        return Error { QStringLiteral("报表第%1页与版面不符：%2。").arg(page + 1).arg(why) };
    };

    const qint64 top = layout->page.topMargin;
    const qint64 limit = layout->page.pageHeight() - layout->page.bottomMargin;
    const quint32 rows = quint32(rowCount);
    size_t next = 0; // the first page of the page set being checked
    for (size_t set = 0; set < layout->pages.size(); ++set) {
        const LayoutPage &lp = layout->pages[set];
        const SetHeights h(lp);
        for (const qint64 height : { h.pageHeader, h.title, h.row, h.masterFooter, h.columnFooter, h.pageFooter })
            if (height < 0)
                return Error { QStringLiteral("报表有一个栏目的高度是负数。") };
        const bool hasTitle = lp.band(BandKind::Title) != nullptr;
        const bool hasMasterFooter = lp.band(BandKind::MasterFooter) != nullptr;
        quint32 row = 0; // the next row this page set must print
        bool ended = false;
        for (bool first = true; !ended; first = false, ++next) {
            if (next >= pages.size())
                return Error { QStringLiteral("报表的页在最后一行之前就结束了。") };
            const PreparedPage &p = pages[next];
            const int index = int(next);
            if (p.pageSet != set)
                return broken(index, QStringLiteral("它属于另一组页面"));
            if (p.flags & ~quint8(PageHasTitle | PageHasMasterFooter))
                return broken(index, QStringLiteral("标志未知"));
            if (bool(p.flags & PageHasTitle) != (first && hasTitle))
                return broken(index, QStringLiteral("标题栏的位置不对"));
            if (p.firstRow != row || p.rowCount > rows - row)
                return broken(index, QStringLiteral("它的行没有接着上一页的行"));
            row += p.rowCount;
            ended = row == rows && (!hasMasterFooter || (p.flags & PageHasMasterFooter));
            if ((p.flags & PageHasMasterFooter) && !ended)
                return broken(index, QStringLiteral("主项注脚在最后一行之前"));
            const qint64 height = top + h.pageHeader + (p.flags & PageHasTitle ? h.title : 0)
                + qint64(p.rowCount) * h.row + (p.flags & PageHasMasterFooter ? h.masterFooter : 0) + h.closing();
            if (height > limit)
                return broken(index, QStringLiteral("它的栏目比页面还高"));
        }
    }
    if (next != pages.size())
        return Error { QStringLiteral("报表在最后一行之后还有页。") };

    PreparedReport report;
    report.m_layout = std::move(layout);
    report.m_rowCount = rowCount;
    report.m_pages = std::move(pages);
    report.m_pages.shrink_to_fit();
    return report;
}

std::vector<BandPlacement> PreparedReport::placements(int index) const
{
    const PreparedPage &p = page(index);
    const LayoutPage &lp = m_layout->pages[p.pageSet];
    const SetHeights h(lp);
    std::vector<BandPlacement> out;
    out.reserve(p.rowCount + 5);
    int y = m_layout->page.topMargin;
    if (lp.band(BandKind::PageHeader)) {
        out.push_back({ BandKind::PageHeader, y, -1 });
        y += int(h.pageHeader); // prepare() saw the page hold it
    }
    if (p.flags & PageHasTitle) {
        out.push_back({ BandKind::Title, y, -1 });
        y += int(h.title); // prepare() saw the page hold it
    }
    for (quint32 r = 0; r < p.rowCount; ++r) {
        out.push_back({ BandKind::MasterData, y, int(p.firstRow + r) });
        y += int(h.row); // prepare() saw the page hold it
    }
    if (p.flags & PageHasMasterFooter) {
        out.push_back({ BandKind::MasterFooter, y, -1 });
        y += int(h.masterFooter); // prepare() saw the page hold it
    }
    if (lp.band(BandKind::ColumnFooter))
        out.push_back({ BandKind::ColumnFooter, y, -1 });
    if (lp.band(BandKind::PageFooter))
        out.push_back({ BandKind::PageFooter,
            int(m_layout->page.pageHeight() - m_layout->page.bottomMargin - h.pageFooter), -1 });
    return out;
}

qsizetype PreparedReport::memoryBytes() const
{
    return qsizetype(sizeof(*this) + m_pages.capacity() * sizeof(PreparedPage));
}

} // namespace sqda::report

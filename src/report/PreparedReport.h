// A formatted report: which rows and bands each page holds.
//
// Listing rows have a fixed height, so formatting is arithmetic over band heights,
// not rendering: the first pass places rows and bands page by page and so learns
// the page total; painting a page (the second pass) reads its rows from the
// dataset and expands "[Page#]" / "[TotalPages#]" with numbers() of that page.
// A page keeps a range of view rows (the dataset's current order and filter) and
// a few flags, 12 bytes, never copies of texts.
//
// Order on the pages of one page set: the title band opens the first page; rows
// follow in dataset order while a row fits above the bottom margin together with
// the column-footer and page-footer bands, which close every page; after the last
// row the master footer (when it does not fit, on a page of its own), then the
// closing bands. The master footer also prints when there are no rows. Each
// further page set prints every row again, on pages of its own.
#pragma once

#include "ReportLayout.h"
#include "ReportVariables.h"
#include "core/Result.h"

#include <memory>
#include <vector>

namespace sqda::report {

// Bands a page holds besides its rows. The column footer and page footer close
// every page, so they are not recorded.
enum PageFlag : quint8 { PageHasTitle = 1, PageHasMasterFooter = 2 };

struct PreparedPage
{
    quint32 firstRow = 0; // view row of the first data row on the page
    quint32 rowCount = 0;
    quint16 pageSet = 0; // index into ReportLayout::pages
    quint8 flags = 0; // PageFlag
};

// Where one band lands on a page, y in page coordinates.
struct BandPlacement
{
    BandKind kind;
    int y;
    int row; // MasterData: the view row; otherwise -1
};

class PreparedReport
{
public:
    // Formats `rowCount` rows with the layout. Fails, naming the band, when a page
    // cannot hold the bands that must share it (a row, the title or the master
    // footer together with the closing bands), since no page count would fit them.
    static Result<PreparedReport> prepare(std::shared_ptr<const ReportLayout> layout, int rowCount);

    // Takes over pages formatted earlier (a saved report), after checking that they
    // are what prepare() could have made of the layout: every page set's pages run
    // over all rows in order, and every page holds its bands between the margins.
    // Anything else is refused with a message, so painting can trust the pages.
    static Result<PreparedReport> restore(
        std::shared_ptr<const ReportLayout> layout, int rowCount, std::vector<PreparedPage> pages);

    const ReportLayout &layout() const { return *m_layout; }
    std::shared_ptr<const ReportLayout> sharedLayout() const { return m_layout; }
    int rowCount() const { return m_rowCount; }
    int pageCount() const { return int(m_pages.size()); }
    const PreparedPage &page(int index) const { return m_pages[size_t(index)]; }
    PageNumbers numbers(int index) const { return { index + 1, pageCount() }; }

    // The bands of a page from top to bottom, for painting it.
    std::vector<BandPlacement> placements(int index) const;

    // Memory this object holds (the layout, shared with the caller, not counted).
    qsizetype memoryBytes() const;

private:
    PreparedReport() = default;

    std::shared_ptr<const ReportLayout> m_layout;
    std::vector<PreparedPage> m_pages;
    int m_rowCount = 0;
};

} // namespace sqda::report

// Painting a prepared report: one page at a time, on any QPainter.
//
// The painter reads every text through ObjectText (so the preview, find and the
// exports print the same) and every row from the data source by view row, the
// dataset's current order; nothing of a page is copied. Cells clip at their
// rectangle: a wrapped text keeps only the lines that fit the fixed row height
// whole, so a name too long for its column prints its first line and no half line.
//
// Coordinates are report units. paintPage() expects the painter to map units onto
// its device (unitsToDevice() gives the scale for a device); fonts are sized for the
// device so a point stays the layout's dpi / 72 units at any device resolution.
#pragma once

#include "ObjectText.h"
#include "PreparedReport.h"

#include <QFont>
#include <QHash>
#include <QRect>

#include <functional>
#include <vector>

class QFile;
class QPainter;
class QPointF;
class QRectF;
class QPaintDevice;

namespace sqda::report {

class ReportParagraph;

class ReportPainter
{
public:
    // All three must outlive the painter. `source` is the view the report was
    // prepared on.
    ReportPainter(const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables);

    const PreparedReport &report() const { return m_report; }
    const ObjectText &texts() const { return m_texts; }

    // Device pixels per report unit when the whole page is painted at `device`'s
    // resolution.
    double unitsToDevice(const QPaintDevice &device) const;

    // Paints page `index` (0-based) in report units. The painter's state is
    // restored afterwards.
    void paintPage(QPainter &painter, int index) const;

    // What `object` shows in `row` on a page numbered `numbers`: the lines of
    // its text that painting keeps (a cell's lines that fit whole, a header's
    // lines its band reaches), joined by '\n'; a line broken at the width runs on
    // into the next. Find in the preview searches this, so it finds only what
    // the page shows.
    QString shownText(const ReportObject &object, int row, PageNumbers numbers) const;
    // The same for `text`, which is texts().text(object, row, numbers) already
    // read by the caller.
    QString shownText(const ReportObject &object, int row, PageNumbers numbers, const QString &text) const;

private:
    // Lays out the text of `object` in `rect` on `device` as the page prints it
    // and hands each paragraph to `use` with where its first line goes and how
    // many of its lines print.
    void layOut(const ReportObject &object, const QRectF &rect, int row, PageNumbers numbers, QPaintDevice *device,
        const std::function<void(const ReportParagraph &, QPointF, int)> &use) const;
    // layOut() for a cell's `text`, already read (a kind other than rich text
    // and check box).
    void layOutText(const ReportObject &object, const QRectF &rect, QString text, QPaintDevice *device,
        const std::function<void(const ReportParagraph &, QPointF, int)> &use) const;
    // `frames`, when given, collects the object's rules in device pixels rather
    // than filling them; `vector` says the painter paints a PDF or a printer.
    void paintObject(QPainter &painter, const ReportObject &object, int bandY, int row, PageNumbers numbers,
        bool lastRowOnPage, bool vector, std::vector<QRect> *frames) const;
    const QFont &font(int index, const QPaintDevice *device) const;
    // True when `text`, one run of font `fontIndex`, certainly lays out as one
    // line `width` units wide at the layout's resolution; false when only the
    // layout itself can tell.
    bool fitsOneLine(const QString &text, int fontIndex, qreal width) const;

    const PreparedReport &m_report;
    ObjectText m_texts; // keeps the sums, so each is computed once per report
    mutable std::vector<QFont> m_fonts; // the layout's fonts for m_fontsDpi
    mutable int m_fontsDpi = 0;
    // The characters met so far, per font, at the layout's resolution: advance,
    // and how far the ink runs past it.
    struct CharWidth
    {
        qreal advance = 0;
        qreal overhang = 0;
    };
    mutable std::vector<QHash<char16_t, CharWidth>> m_advances;
};

// Writes every page to a PDF file, A4 or the layout's paper, fonts embedded and
// text extractable. The file appears only when complete: a failure or a cancel
// leaves an existing file as it was. `progress(done, total)` is asked after each
// page; returning false cancels, which is reported as an error.
Status writeReportPdf(const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables,
    const QString &path, const std::function<bool(int, int)> &progress = {});

// Repairs the text maps of a PDF painted from a report with `layout`'s fonts (see
// PdfTextMap.h), in place: what writeReportPdf does before renaming its file, and
// what printing to a PDF file does after the printer closed it. Returns false when
// the file cannot be opened or mapped.
bool repairReportPdfTextMaps(QFile &file, const ReportLayout &layout);

} // namespace sqda::report

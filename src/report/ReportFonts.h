// Fonts of a report layout as Qt fonts, and text laid out with them.
//
// Layouts are in report units, one unit a pixel at the layout's logical resolution,
// so a point is dpi / 72 units. Fonts are resolved through Qt's family substitutions,
// which the library registers at load ("宋体" and "黑体" to the Simplified Chinese
// faces); measuring before they are registered measures the fallback faces.
//
// A line is one em of its text high, and a line that follows another has 0.2 em
// of leading above it (9 pt lines 14.4 units apart at 96 dpi), so the Simplified
// Chinese faces, which fill their em, clear the line above; their own line gap
// (about 1.45 em) would push the header's condition lines out of the band the
// listing gives them. Measuring and painting share ReportParagraph, so a natural
// height is exactly what painting fills.
#pragma once

#include "GridReport.h"

#include <QFont>
#include <QTextLayout>

#include <optional>

class QPainter;
class QPaintDevice;

namespace sqda::report {

// `description` as a QFont in points; on a paint device of the layout's resolution a
// point comes out as dpi / 72 units.
QFont reportFont(const FontSpec &description);

// The same font for painting on `device` through a painter that maps report units
// of a layout made at `layoutDpi` onto it: a point stays layoutDpi / 72 units
// whatever the device's own resolution.
QFont deviceFont(const FontSpec &description, double layoutDpi, const QPaintDevice *device);

// One run of a paragraph in its font and colour.
struct FontRun
{
    QString text;
    QFont font;
    QColor color = Qt::black;
};

// A paragraph laid out in a given width: lines broken at the width (or only at
// line separators without word wrap), aligned in it. A line's text is placed by
// the largest font with visible text in it, with the leading above it when it
// follows another line (`followsText`: the paragraph's first line follows the
// paragraph before); a larger font of spaces alone makes the line taller below
// its text.
class ReportParagraph
{
public:
    ReportParagraph(const std::vector<FontRun> &runs, HAlign align, qreal width, bool wordWrap, QPaintDevice *device,
        bool followsText = false);
    ReportParagraph(const ReportParagraph &) = delete;
    ReportParagraph &operator=(const ReportParagraph &) = delete;

    int lineCount() const { return int(m_bottoms.size()); }
    // Height of the first `lines` lines (all by default).
    qreal height(int lines = -1) const;
    // How many whole lines fit in `height`; at least one, so a cell too low for
    // its first line still shows the top of it.
    int linesFitting(qreal height) const;
    // How many lines have their text whole in `height`, the room a larger font
    // of spaces makes below a line's text left out: what a header or footer
    // text prints of a paragraph in what is left of its band.
    int linesWithTextIn(qreal height) const;
    // The text of the first `lines` lines: a line broken at the width runs on
    // into the next, a line separator is '\n'.
    QString text(int lines) const;
    // Draws the first `lines` lines with the top of the first at `topLeft`.
    void draw(QPainter &painter, QPointF topLeft, int lines) const;

private:
    QTextLayout m_layout;
    std::optional<QColor> m_color; // the one run's colour; several runs carry theirs as formats
    std::vector<qreal> m_textBottoms; // bottom of each line's text, from the paragraph's top
    std::vector<qreal> m_bottoms; // bottom of each line, from the paragraph's top
};

// Text with line breaks as the layout expects them: '\n' (and "\r\n") become
// line separators.
QString withLineSeparators(QString text);

// Natural heights with the real fonts, lines broken at `width` units as a painter
// breaks them: the sum of the paragraphs' line pitches, rounded up to whole units.
TextMeasure fontTextMeasure(double dpi = DefaultLogicalDpi);

} // namespace sqda::report

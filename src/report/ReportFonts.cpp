#include "ReportFonts.h"

#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QTextLayout>
#include <QtMath>

namespace sqda::report {

QFont reportFont(const FontSpec &description)
{
    QFont font(description.family);
    font.setPointSizeF(description.pointSize > 0 ? description.pointSize : 9);
    font.setBold(description.bold);
    font.setItalic(description.italic);
    font.setUnderline(description.underline);
    // Contextual glyph forms (the faces' Latin digits after letters) have no
    // character of their own, so a PDF reader could not extract them; a report
    // prints each character's own glyph.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

QFont deviceFont(const FontSpec &description, double layoutDpi, const QPaintDevice *device)
{
    QFont font = reportFont(description);
    const int deviceDpi = device ? device->logicalDpiY() : qRound(layoutDpi);
    if (deviceDpi > 0 && layoutDpi > 0)
        font.setPointSizeF(font.pointSizeF() * layoutDpi / deviceDpi);
    return font;
}

QString withLineSeparators(QString text)
{
    text.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    text.replace(u'\n', QChar::LineSeparator);
    text.replace(u'\r', QChar::LineSeparator);
    return text;
}

namespace {

// Where the baseline sits in a line's em box: the ideographic em box of the
// Simplified Chinese faces reaches 0.12 em below the baseline.
constexpr qreal BaselineInEm = 0.88;

// Space above a line that follows another, in ems of the line's own text (9 pt
// lines 1.2 em apart, the usual leading of body text). The Simplified Chinese
// faces fill their em, so lines set one em apart touched; their own line gap
// (about 1.45 em) would not fit the listing's fixed bands. The first line of a
// text takes none, so a 22 pt title stands at the top of its band and leaves its
// 18-unit share to each condition line below it.
constexpr qreal LeadingInEm = 0.2;

qreal emOf(const QFont &font, const QPaintDevice *device)
{
    const int dpi = device ? device->logicalDpiY() : 96;
    return font.pointSizeF() > 0 ? font.pointSizeF() * dpi / 72.0 : qreal(font.pixelSize());
}

QString joinRuns(const std::vector<FontRun> &runs)
{
    QString text;
    for (const FontRun &run : runs)
        text += run.text;
    return text;
}

} // namespace

ReportParagraph::ReportParagraph(
    const std::vector<FontRun> &runs, HAlign align, qreal width, bool wordWrap, QPaintDevice *device, bool followsText)
    : m_layout(joinRuns(runs), runs.empty() ? QFont() : runs.front().font, device)
{
    std::vector<std::pair<int, qreal>> runEnds; // end position and em of each run
    int start = 0;
    for (const FontRun &run : runs) {
        start += int(run.text.size());
        runEnds.emplace_back(start, emOf(run.font, device));
    }
    // One run is the layout's own font, drawn in its colour by draw(): format
    // ranges would cost a format collection and a font resolved per layout, most
    // of what laying out a cell costs.
    if (runs.size() == 1) {
        m_color = runs.front().color;
    } else {
        QList<QTextLayout::FormatRange> formats;
        start = 0;
        for (const FontRun &run : runs) {
            QTextLayout::FormatRange range;
            range.start = start;
            range.length = int(run.text.size());
            range.format.setFont(run.font);
            range.format.setForeground(run.color);
            formats.append(range);
            start += range.length;
        }
        m_layout.setFormats(formats);
    }
    QTextOption option;
    option.setWrapMode(wordWrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    option.setAlignment(align == HAlign::Right ? Qt::AlignRight
            : align == HAlign::Center          ? Qt::AlignHCenter
                                               : Qt::AlignLeft);
    m_layout.setTextOption(option);
    const qreal fallbackEm = emOf(m_layout.font(), device);
    const QString text = m_layout.text();

    // A line's text is set by the largest run with visible text in it; the
    // largest run of any kind (a trailing 22 pt space ends the listing's
    // condition text) makes room below that text without moving it down. A
    // line of spaces alone, or an empty one, takes the run it sits in, so an
    // empty paragraph is still one line high.
    struct LineEms
    {
        qreal text = 0;
        qreal room = 0;
    };
    const auto visible = [&](int from, int to) {
        for (int i = from; i < to; ++i)
            if (!text.at(i).isSpace())
                return true;
        return false;
    };
    const auto lineEms = [&](int from, int length) {
        LineEms ems;
        int runStart = 0;
        for (const auto &[end, runEm] : runEnds) {
            const bool overlaps = length > 0 ? runStart < from + length && end > from : from >= runStart && from <= end;
            if (overlaps) {
                ems.room = qMax(ems.room, runEm);
                if (length > 0 && visible(qMax(runStart, from), qMin(end, from + length)))
                    ems.text = qMax(ems.text, runEm);
            }
            runStart = end;
        }
        if (ems.room <= 0)
            ems.room = fallbackEm;
        if (ems.text <= 0)
            ems.text = ems.room;
        return ems;
    };

    qreal bottom = 0;
    m_layout.beginLayout();
    for (QTextLine line = m_layout.createLine(); line.isValid(); line = m_layout.createLine()) {
        line.setLineWidth(qMax(width, qreal(1)));
        const LineEms ems = lineEms(line.textStart(), line.textLength());
        const bool first = m_bottoms.empty();
        const qreal top = bottom + (first && !followsText ? 0 : LeadingInEm * ems.text);
        line.setPosition(QPointF(0, top + BaselineInEm * ems.text - line.ascent()));
        m_textBottoms.push_back(top + ems.text);
        bottom = top + ems.room;
        m_bottoms.push_back(bottom);
    }
    m_layout.endLayout();
}

qreal ReportParagraph::height(int lines) const
{
    if (m_bottoms.empty() || lines == 0)
        return 0;
    if (lines < 0 || lines > lineCount())
        lines = lineCount();
    return m_bottoms[size_t(lines - 1)];
}

int ReportParagraph::linesFitting(qreal height) const
{
    int n = 0;
    while (n < lineCount() && m_bottoms[size_t(n)] <= height + 0.01) // float noise must not drop a line
        ++n;
    return qMax(n, qMin(1, lineCount()));
}

int ReportParagraph::linesWithTextIn(qreal height) const
{
    int n = 0;
    while (n < lineCount() && m_textBottoms[size_t(n)] <= height + 0.01)
        ++n;
    return n;
}

QString ReportParagraph::text(int lines) const
{
    lines = qMin(lines, m_layout.lineCount());
    if (lines <= 0)
        return {};
    const QTextLine last = m_layout.lineAt(lines - 1);
    QString text = m_layout.text().left(last.textStart() + last.textLength());
    text.replace(QChar::LineSeparator, u'\n');
    return text;
}

void ReportParagraph::draw(QPainter &painter, QPointF topLeft, int lines) const
{
    lines = qMin(lines, m_layout.lineCount());
    if (lines <= 0)
        return;
    const QPen pen = painter.pen();
    if (m_color)
        painter.setPen(QPen(*m_color, 0));
    for (int i = 0; i < lines; ++i)
        m_layout.lineAt(i).draw(&painter, topLeft);
    if (m_color)
        painter.setPen(pen);
}

namespace {

// A paint device whose logical resolution is the layout's, so text laid out on it
// is measured in report units.
QImage unitDevice(double dpi)
{
    QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
    const int dotsPerMetre = qRound(dpi / 0.0254);
    device.setDotsPerMeterX(dotsPerMetre);
    device.setDotsPerMeterY(dotsPerMetre);
    return device;
}

} // namespace

TextMeasure fontTextMeasure(double dpi)
{
    return [dpi](const StyledText &text, int width) {
        QImage device = unitDevice(dpi);
        qreal height = 0;
        bool follows = false;
        for (const StyledParagraph &p : text) {
            std::vector<FontRun> runs;
            for (const StyledRun &run : p.runs)
                runs.push_back(
                    { withLineSeparators(run.text), reportFont(run.font), QColor::fromRgba(run.font.color) });
            height += ReportParagraph(runs, p.align, width, true, &device, follows).height();
            follows = true;
        }
        return qCeil(height - 0.01); // float noise must not add a unit
    };
}

} // namespace sqda::report

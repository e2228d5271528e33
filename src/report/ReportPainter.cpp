#include "ReportPainter.h"

#include "FileProblems.h"
#include "PdfTextMap.h"
#include "ReportFonts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPaintEngine>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryFile>

namespace sqda::report {

namespace {

// Text keeps this far from a cell's left and right edges, as the grid draws it.
constexpr qreal CellPadding = 2;

QColor colorOf(const FontSpec &fontSpec)
{
    return QColor::fromRgba(fontSpec.color);
}

// One character a line, top to bottom: vertical column titles.
QString stacked(const QString &text)
{
    QString out;
    out.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i > 0)
            out += QChar::LineSeparator;
        out += text[i];
        if (text[i].isHighSurrogate() && i + 1 < text.size())
            out += text[++i];
    }
    return out;
}

// A 1-unit side covers the unit after its edge, so neighbouring cells share one
// line; a 2-unit side covers one unit on each side of the edge's line on the
// right and bottom, and the two units inside on the left and top.
//
// Rules are filled in whole device pixels, not stroked: a side starts on the
// pixel its first unit maps to and is as many pixels thick as its units scale
// to, at least one. Every rule of a page then looks the same at any zoom; a
// stroke antialiased at a fractional position gave crisp lines beside blurred
// grey pairs.
// With `sink`, the rules are collected there in device pixels instead of
// filled, for one fill of the whole page's rules.
void drawFrames(QPainter &painter, const QRectF &r, quint8 sides, quint8 thick, const QColor &color,
    std::vector<QRect> *sink = nullptr)
{
    // The world transform scaled by the pixel ratio, not deviceTransform(): that
    // holds the offset of a widget painted inside its window too, which the
    // painter adds again to what it draws.
    const qreal pixelRatio = painter.device() ? painter.device()->devicePixelRatio() : 1;
    const QTransform toDevice = painter.transform() * QTransform::fromScale(pixelRatio, pixelRatio);
    const auto deviceX = [&](qreal x) { return qRound(toDevice.map(QPointF(x, r.top())).x()); };
    const auto deviceY = [&](qreal y) { return qRound(toDevice.map(QPointF(r.left(), y)).y()); };
    const auto pixels = [](qreal units, qreal scale) { return qMax(1, qRound(units * qAbs(scale))); };
    const int thin = pixels(1, toDevice.m11());
    const int thinY = pixels(1, toDevice.m22());

    const auto fill = [&](const QRect &rule) {
        if (sink)
            sink->push_back(rule);
        else
            painter.fillRect(rule, color);
    };
    if (!sink) {
        painter.save();
        // Device pixels from here on, whatever the paint device's pixel ratio.
        painter.setWorldTransform(QTransform::fromScale(1 / pixelRatio, 1 / pixelRatio));
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    const auto side = [&](quint8 s, bool horizontal, qreal at) {
        if (!(sides & s))
            return;
        const bool wide = thick & s;
        const qreal first = wide ? ((s == FrameLeft || s == FrameTop) ? at : at - 1) : at;
        const qreal units = wide ? 2 : 1;
        if (horizontal) {
            // From the left side's first pixel to the right side's last.
            const int x0 = deviceX(r.left());
            const int x1 = deviceX(r.right()) + thin;
            fill(QRect(x0, deviceY(first), x1 - x0, pixels(units, toDevice.m22())));
        } else {
            const int y0 = deviceY(r.top());
            const int y1 = deviceY(r.bottom()) + thinY;
            fill(QRect(deviceX(first), y0, pixels(units, toDevice.m11()), y1 - y0));
        }
    };
    side(FrameLeft, false, r.left());
    side(FrameTop, true, r.top());
    side(FrameRight, false, r.right());
    side(FrameBottom, true, r.bottom());
    if (!sink)
        painter.restore();
}

// Fills the rules drawFrames() collected, in device pixels, under one transform:
// on a PDF each change of the painter's state is written out again, and a fill
// per rule with its own transform wrote the state twice a cell. Each rule is a
// fillRect: one drawRects of them all left a grey fringe beside every rule at 100 %.
void fillFrames(QPainter &painter, const std::vector<QRect> &rules, const QColor &color)
{
    if (rules.empty())
        return;
    const qreal pixelRatio = painter.device() ? painter.device()->devicePixelRatio() : 1;
    painter.save();
    painter.setWorldTransform(QTransform::fromScale(1 / pixelRatio, 1 / pixelRatio));
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const QRect &rule : rules)
        painter.fillRect(rule, color);
    painter.restore();
}

// A PDF file or a printer (Qt prints through its PDF engine) writes every change
// of the clip out as graphics state; there a cell clips only where its text may
// reach the cell's edges.
bool isVectorDevice(const QPainter &painter)
{
    const QPaintEngine *engine = painter.paintEngine();
    return engine && engine->type() == QPaintEngine::Pdf;
}

// Centred in its cell whatever the column's alignment, as the grid shows it.
void drawCheckBox(QPainter &painter, const QRectF &cell, bool ticked)
{
    const qreal size = qMax(qreal(4), qMin(qreal(12), qMin(cell.width(), cell.height()) - 4));
    const qreal x = cell.center().x() - size / 2;
    const QRectF box(x, cell.center().y() - size / 2, size, size);
    painter.setPen(QPen(Qt::black, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box);
    if (ticked) {
        painter.setPen(QPen(Qt::black, size / 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const QPointF tick[] = { { box.left() + size * 0.2, box.top() + size * 0.5 },
            { box.left() + size * 0.42, box.top() + size * 0.75 },
            { box.left() + size * 0.8, box.top() + size * 0.25 } };
        painter.drawPolyline(tick, 3);
    }
}

} // namespace

ReportPainter::ReportPainter(
    const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables)
    : m_report(report)
    , m_texts(source, variables)
{
}

double ReportPainter::unitsToDevice(const QPaintDevice &device) const
{
    return device.logicalDpiX() / m_report.layout().page.logicalDpi;
}

const QFont &ReportPainter::font(int index, const QPaintDevice *device) const
{
    const int dpi = device ? device->logicalDpiY() : 0;
    const std::vector<FontSpec> &specs = m_report.layout().fonts;
    if (m_fonts.size() != specs.size() || m_fontsDpi != dpi) {
        m_fonts.clear();
        for (const FontSpec &fontSpec : specs)
            m_fonts.push_back(deviceFont(fontSpec, m_report.layout().page.logicalDpi, device));
        if (m_fonts.empty())
            m_fonts.push_back(deviceFont({}, m_report.layout().page.logicalDpi, device));
        m_fontsDpi = dpi;
    }
    return m_fonts[size_t(index >= 0 && size_t(index) < m_fonts.size() ? index : 0)];
}

void ReportPainter::paintPage(QPainter &painter, int index) const
{
    if (index < 0 || index >= m_report.pageCount())
        return;
    const PreparedPage &page = m_report.page(index);
    const LayoutPage &set = m_report.layout().pages[page.pageSet];
    const PageNumbers numbers = m_report.numbers(index);
    const std::vector<BandPlacement> placed = m_report.placements(index);
    const int lastRow = page.rowCount > 0 ? int(page.firstRow + page.rowCount - 1) : -1;

    // A painter clipped to part of the page (a view showing part of it) gets only
    // the objects that reach into the clip. An object draws inside its rectangle
    // but for its frames, which run up to two units and a rounded pixel past it.
    std::optional<QRectF> shown;
    if (painter.hasClipping()) {
        const qreal perUnit = qMax(qAbs(painter.transform().m11()), qAbs(painter.transform().m22()));
        const qreal reach = 3 + (perUnit > 0 ? 3 / perUnit : 0);
        shown = painter.clipBoundingRect().adjusted(-reach, -reach, reach, reach);
    }

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const bool vector = isVectorDevice(painter);
    // On a PDF the rules are filled together after the page's cells (they share
    // no area with the texts, which keep off a cell's edges), and the text's pen
    // is the painter's already, so black cells change no state.
    std::vector<QRect> frames;
    if (vector)
        painter.setPen(QPen(Qt::black, 0));
    for (const BandPlacement &p : placed) {
        const Band *band = set.band(p.kind);
        if (!band)
            continue;
        // The table's bottom border is thick like its other outer sides when the
        // last row on the page closes it (no footer row follows).
        const bool closesTable = p.kind == BandKind::MasterData && p.row == lastRow
            && !((page.flags & PageHasMasterFooter) && set.band(BandKind::MasterFooter));
        for (const ReportObject &object : band->objects)
            if (object.visible && (!shown || shown->intersects(QRectF(object.rect.translated(0, p.y)))))
                paintObject(painter, object, p.y, p.row, numbers, closesTable, vector, vector ? &frames : nullptr);
    }
    fillFrames(painter, frames, Qt::black);
    painter.restore();
}

void ReportPainter::layOut(const ReportObject &object, const QRectF &rect, int row, PageNumbers numbers,
    QPaintDevice *device, const std::function<void(const ReportParagraph &, QPointF, int)> &use) const
{
    const std::vector<FontSpec> &specs = m_report.layout().fonts;
    const auto specOf
        = [&](int index) { return index >= 0 && size_t(index) < specs.size() ? specs[size_t(index)] : FontSpec {}; };
    if (object.kind == ObjectKind::RichText) {
        // Paragraphs top to bottom, each run in its font, as many lines as the
        // band holds whole (as in a cell, at least the first): a line the band's
        // bottom would cut is left out with the lines below it. The room the
        // header's closing 22 pt space makes below the last condition line
        // counts for nothing, so that line prints.
        qreal y = rect.top();
        bool any = false;
        for (const Paragraph &paragraph : object.rich.paragraphs) {
            std::vector<FontRun> runs;
            for (const TextRun &run : paragraph.runs)
                runs.push_back({ withLineSeparators(m_texts.runText(object, run, numbers)), font(run.font, device),
                    colorOf(specOf(run.font)) });
            const ReportParagraph laid(runs, paragraph.align, rect.width(), object.wordWrap, device,
                &paragraph != &object.rich.paragraphs.front());
            const int lines = any ? laid.linesWithTextIn(rect.bottom() - y)
                                  : qMax(laid.linesWithTextIn(rect.bottom() - y), qMin(1, laid.lineCount()));
            if (lines <= 0)
                break;
            use(laid, QPointF(rect.left(), y), lines);
            any = true;
            if (lines < laid.lineCount())
                break;
            y += laid.height(lines);
        }
    } else if (object.kind != ObjectKind::CheckBox) {
        layOutText(object, rect, m_texts.text(object, row, numbers), device, use);
    }
}

void ReportPainter::layOutText(const ReportObject &object, const QRectF &rect, QString text, QPaintDevice *device,
    const std::function<void(const ReportParagraph &, QPointF, int)> &use) const
{
    const std::vector<FontSpec> &specs = m_report.layout().fonts;
    const auto specOf
        = [&](int index) { return index >= 0 && size_t(index) < specs.size() ? specs[size_t(index)] : FontSpec {}; };
    text = object.vertical ? stacked(text) : withLineSeparators(text);
    if (text.isEmpty())
        return;
    const qreal width = rect.width() - 2 * CellPadding;
    const HAlign align = object.vertical ? HAlign::Center : object.hAlign;
    const ReportParagraph laid({ { text, font(object.font, device), colorOf(specOf(object.font)) } }, align, width,
        object.wordWrap && !object.vertical, device);
    const int lines = laid.linesFitting(rect.height());
    const qreal height = laid.height(lines);
    qreal top = rect.top();
    if (object.vAlign == VAlign::Center)
        top += (rect.height() - height) / 2;
    else if (object.vAlign == VAlign::Bottom)
        top = rect.bottom() - height;
    use(laid, QPointF(rect.left() + CellPadding, top), lines);
}

QString ReportPainter::shownText(const ReportObject &object, int row, PageNumbers numbers) const
{
    if (object.kind == ObjectKind::CheckBox || object.rect.width() <= 0 || object.rect.height() <= 0)
        return {};
    return shownText(object, row, numbers, m_texts.text(object, row, numbers));
}

bool ReportPainter::fitsOneLine(const QString &text, int fontIndex, qreal width) const
{
    const std::vector<FontSpec> &specs = m_report.layout().fonts;
    if (fontIndex < 0 || size_t(fontIndex) >= specs.size())
        fontIndex = -1;
    const size_t slot = size_t(fontIndex + 1);
    if (m_advances.size() <= slot)
        m_advances.resize(slot + 1);
    QHash<char16_t, CharWidth> &widths = m_advances[slot];
    const double dpi = m_report.layout().page.logicalDpi;
    std::optional<QImage> device;
    std::optional<QFontMetricsF> metrics;
    // A line breaks where its text with the ink of its last glyph (an italic's
    // overhang) outgrows the width. Summed advances of characters that lay out
    // alone (no marks, no joining, no breaks of their own) are that text's width,
    // give or take rounding, which the unit of slack covers; nearer the edge the
    // layout decides.
    constexpr qreal Slack = 1;
    qreal sum = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool simple = (u >= 0x20 && u < 0x7F) || (u >= 0xA0 && u < 0x300) || (u >= 0x3000 && u < 0x3100)
            || (u >= 0x3400 && u < 0xA000) || (u >= 0xFF01 && u < 0xFF61);
        if (!simple)
            return false;
        auto it = widths.constFind(u);
        if (it == widths.constEnd()) {
            if (!metrics) {
                device.emplace(1, 1, QImage::Format_ARGB32_Premultiplied);
                const int dotsPerMetre = qRound(dpi / 0.0254);
                device->setDotsPerMeterX(dotsPerMetre);
                device->setDotsPerMeterY(dotsPerMetre);
                metrics.emplace(
                    deviceFont(fontIndex >= 0 ? specs[size_t(fontIndex)] : FontSpec {}, dpi, &*device), &*device);
            }
            it = widths.insert(
                u, { metrics->horizontalAdvance(QString(c)), qMax(qreal(0), -metrics->rightBearing(c)) });
        }
        if (sum + it->advance + it->overhang + Slack > width)
            return false;
        sum += it->advance;
    }
    return true;
}

QString ReportPainter::shownText(const ReportObject &object, int row, PageNumbers numbers, const QString &text) const
{
    if (object.kind == ObjectKind::CheckBox || object.rect.width() <= 0 || object.rect.height() <= 0)
        return {};
    // A cell of one line shows the whole of it (at least its first line prints),
    // which needs no layout: most cells of a listing, and every hit find checks.
    if (object.kind != ObjectKind::RichText && !object.vertical
        && (text.isEmpty()
            || fitsOneLine(text, object.font,
                object.wordWrap ? qMax(object.rect.width() - 2 * CellPadding, qreal(1))
                                : std::numeric_limits<qreal>::infinity())))
        return text;
    // Laid out at the layout's own resolution, as the text heights were measured.
    QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
    const int dotsPerMetre = qRound(m_report.layout().page.logicalDpi / 0.0254);
    device.setDotsPerMeterX(dotsPerMetre);
    device.setDotsPerMeterY(dotsPerMetre);
    QStringList shown;
    layOut(object, QRectF(object.rect), row, numbers, &device,
        [&](const ReportParagraph &laid, QPointF, int lines) { shown << laid.text(lines); });
    QString out = shown.join(u'\n');
    // A vertical title prints one character a line; it reads as its text.
    return object.vertical ? out.remove(u'\n') : out;
}

void ReportPainter::paintObject(QPainter &painter, const ReportObject &object, int bandY, int row, PageNumbers numbers,
    bool lastRowOnPage, bool vector, std::vector<QRect> *frames) const
{
    const QRectF rect = object.rect.translated(0, bandY);
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    if (vector && object.kind != ObjectKind::CheckBox && object.kind != ObjectKind::RichText && !object.vertical) {
        // One line that certainly fits the cell's width, with a quarter of its
        // height to spare above and below for ink past the em, needs no clip.
        const QString text = m_texts.text(object, row, numbers);
        const bool fitsWidth = fitsOneLine(text, object.font, rect.width() - 2 * CellPadding);
        layOutText(object, rect, text, painter.device(), [&](const ReportParagraph &laid, QPointF topLeft, int lines) {
            const qreal spare = laid.height(1) / 4;
            if (fitsWidth && laid.lineCount() == 1 && topLeft.y() - spare >= rect.top()
                && topLeft.y() + laid.height(1) + spare <= rect.bottom()) {
                laid.draw(painter, topLeft, lines);
                return;
            }
            painter.save();
            painter.setClipRect(rect, Qt::IntersectClip);
            laid.draw(painter, topLeft, lines);
            painter.restore();
        });
    } else {
        painter.save();
        painter.setClipRect(rect, Qt::IntersectClip);
        if (object.kind == ObjectKind::CheckBox)
            drawCheckBox(painter, rect, m_texts.ticked(object, row));
        else
            layOut(object, rect, row, numbers, painter.device(),
                [&](const ReportParagraph &laid, QPointF topLeft, int lines) { laid.draw(painter, topLeft, lines); });
        painter.restore();
    }

    quint8 thick = object.thickFrames;
    if (lastRowOnPage && (thick & (FrameLeft | FrameRight | FrameTop)))
        thick |= FrameBottom;
    if (object.frames)
        drawFrames(painter, rect, object.frames, thick, Qt::black, frames);
}

bool repairReportPdfTextMaps(QFile &file, const ReportLayout &layout)
{
    if (!file.isOpen() && !file.open(QIODevice::ReadWrite))
        return false;
    std::vector<QFont> fonts;
    for (const FontSpec &fontSpec : layout.fonts)
        fonts.push_back(reportFont(fontSpec));
    return repairTextMapsInFile(file, textMapRepairs(fonts)) >= 0;
}

Status writeReportPdf(const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables,
    const QString &path, const std::function<bool(int, int)> &progress)
{
    const PageSetup &setup = report.layout().page;
    if (const Status ok = setup.validate(); !ok)
        return ok;
    const QFileInfo target(path);
    const QString shown = target.fileName();
    const auto failed = [&](const QString &why) {
        return Error { why.isEmpty() ? QStringLiteral("无法写入PDF文件“%1”。").arg(shown)
                                     : QStringLiteral("无法写入PDF文件“%1”：%2").arg(shown, why) };
    };
    // Written beside the target and renamed over it when complete, so a failure
    // or a cancel leaves no half-written file and an existing one as it was.
    QTemporaryFile file(target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(shown)));
    if (!file.open())
        return failed(writeProblem(path, 0, file.errorString()));

    {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("Kalmora 商圈"));
        const QPageSize paper(QSizeF(setup.paperWidth / 10.0, setup.paperHeight / 10.0), QPageSize::Millimeter);
        writer.setPageLayout(QPageLayout(paper,
            setup.orientation == Orientation::Landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
            QMarginsF(0, 0, 0, 0)));

        ReportPainter pages(report, source, variables);
        QPainter painter;
        if (!painter.begin(&writer))
            return failed({});
        const double scale = pages.unitsToDevice(writer);
        for (int i = 0; i < report.pageCount(); ++i) {
            if (i > 0 && !writer.newPage())
                return failed({});
            painter.resetTransform();
            painter.scale(scale, scale);
            pages.paintPage(painter, i);
            if (progress && !progress(i + 1, report.pageCount()))
                return Error { QStringLiteral("已取消写入PDF文件“%1”。").arg(shown) };
        }
        if (!painter.end())
            return failed({});
    }
    if (!file.flush() || file.error() != QFileDevice::NoError)
        return failed(writeProblem(path, 0, file.errorString()));

    // The text maps sit at the end of the file, after the pages. The file is
    // mapped a window at a time: mapping it whole made every page of it resident,
    // as much memory again as the PDF is long.
    if (!repairReportPdfTextMaps(file, report.layout()))
        return failed(writeProblem(path, 0, file.errorString()));
    file.setPermissions(
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (std::rename(
            QFile::encodeName(file.fileName()).constData(), QFile::encodeName(target.absoluteFilePath()).constData())
        != 0)
        return failed(systemErrorText(errno));
    file.setAutoRemove(false);
    return {};
}

} // namespace sqda::report

#include "ReportFonts.h"

#include <QImage>
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
    return font;
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

qreal paragraphHeight(const StyledParagraph &paragraph, int width, QPaintDevice *device)
{
    QString text;
    QList<QTextLayout::FormatRange> formats;
    for (const StyledRun &run : paragraph.runs) {
        QTextLayout::FormatRange range;
        range.start = int(text.size());
        range.length = int(run.text.size());
        range.format.setFont(reportFont(run.font));
        formats.append(range);
        text += run.text;
    }
    const QFont base = paragraph.runs.empty() ? reportFont({}) : reportFont(paragraph.runs.front().font);
    QTextLayout layout(text, base, device);
    layout.setFormats(formats);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(qMax(width, 1));
        height += line.height();
    }
    layout.endLayout();
    return height;
}

} // namespace

TextMeasure fontTextMeasure(double dpi)
{
    return [dpi](const StyledText &text, int width) {
        QImage device = unitDevice(dpi);
        qreal height = 0;
        for (const StyledParagraph &p : text)
            height += paragraphHeight(p, width, &device);
        return qCeil(height - 0.01); // float noise must not add a unit
    };
}

} // namespace sqda::report

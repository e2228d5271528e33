#include "PageSetup.h"

#include <QtMath>

namespace sqda::report {

namespace {
constexpr int MaxPaperTenths = 100'000;
constexpr int MaxMargin = 32767;
} // namespace

int millimetresToUnits(double mm, double dpi)
{
    return qRound(mm * dpi / 25.4);
}

double unitsToMillimetres(int units, double dpi)
{
    if (dpi <= 0)
        return 0;
    return qRound(units * 25.4 / dpi * 100.0) / 100.0;
}

int PageSetup::pageWidth() const
{
    const int tenths = orientation == Orientation::Portrait ? paperWidth : paperHeight;
    return millimetresToUnits(tenths / 10.0, logicalDpi);
}

int PageSetup::pageHeight() const
{
    const int tenths = orientation == Orientation::Portrait ? paperHeight : paperWidth;
    return millimetresToUnits(tenths / 10.0, logicalDpi);
}

Status PageSetup::validate() const
{
    // Ten metres of paper and margins of 32767 units are more than any printer
    // takes; the limits keep the page's sizes in units inside int at any resolution.
    if (paperWidth <= 0 || paperHeight <= 0 || paperWidth > MaxPaperTenths || paperHeight > MaxPaperTenths)
        return Error {
            QStringLiteral("纸张大小%1 × %2（单位0.1毫米）不是有效的纸张。").arg(paperWidth).arg(paperHeight)
        };
    if (!(logicalDpi > 0) || logicalDpi > 10000)
        return Error { QStringLiteral("分辨率%1点/英寸无法使用。").arg(logicalDpi) };
    if (leftMargin > MaxMargin || topMargin > MaxMargin || rightMargin > MaxMargin || bottomMargin > MaxMargin)
        return Error { QStringLiteral("页边距超过了%1个单位。").arg(MaxMargin) };
    if (leftMargin < 0 || topMargin < 0 || rightMargin < 0 || bottomMargin < 0)
        return Error { QStringLiteral("页边距不能是负数（左%1，上%2，右%3，下%4个单位）。")
                           .arg(leftMargin)
                           .arg(topMargin)
                           .arg(rightMargin)
                           .arg(bottomMargin) };
    if (usableWidth() <= 0)
        return Error { QStringLiteral("页边距太大，页面上没有地方了：可用宽度只有%1个单位。").arg(usableWidth()) };
    if (usableHeight() <= 0)
        return Error { QStringLiteral("页边距太大，页面上没有地方了：可用高度只有%1个单位。").arg(usableHeight()) };
    return {};
}

void PageSetup::setMarginsMillimetres(double left, double top, double right, double bottom)
{
    leftMargin = millimetresToUnits(left, logicalDpi);
    topMargin = millimetresToUnits(top, logicalDpi);
    rightMargin = millimetresToUnits(right, logicalDpi);
    bottomMargin = millimetresToUnits(bottom, logicalDpi);
}

PageSetup defaultListingPage()
{
    return PageSetup {};
}

} // namespace sqda::report

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
        return Error { QStringLiteral("The paper size %1 × %2 (tenths of a millimetre) is not a paper.")
                           .arg(paperWidth)
                           .arg(paperHeight) };
    if (!(logicalDpi > 0) || logicalDpi > 10000)
        return Error { QStringLiteral("The resolution %1 dots per inch is not usable.").arg(logicalDpi) };
    if (leftMargin > MaxMargin || topMargin > MaxMargin || rightMargin > MaxMargin || bottomMargin > MaxMargin)
        return Error { QStringLiteral("A page margin is wider than %1 units.").arg(MaxMargin) };
    if (leftMargin < 0 || topMargin < 0 || rightMargin < 0 || bottomMargin < 0)
        return Error { QStringLiteral("A page margin is negative (left %1, top %2, right %3, bottom %4 units).")
                           .arg(leftMargin)
                           .arg(topMargin)
                           .arg(rightMargin)
                           .arg(bottomMargin) };
    if (usableWidth() <= 0)
        return Error {
            QStringLiteral("The margins leave no room on the page: the usable width is %1 units.").arg(usableWidth())
        };
    if (usableHeight() <= 0)
        return Error {
            QStringLiteral("The margins leave no room on the page: the usable height is %1 units.").arg(usableHeight())
        };
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

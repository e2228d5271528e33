#include "PageSetup.h"

#include <QtMath>

namespace sqda::report {

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

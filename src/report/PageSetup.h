// Page geometry of a report, in report units.
//
// A report unit is one screen pixel at the logical horizontal resolution the
// layout was made for (96 dots per inch on a usual screen): grid column widths and
// row heights are taken over one to one, and 38 units make about 10 mm of paper.
// Paper sizes are kept in tenths of a millimetre, as printers name them; margins
// are kept in units because the layout is placed in units.
#pragma once

#include "core/Result.h"

#include <QString>

namespace sqda::report {

inline constexpr double DefaultLogicalDpi = 96.0;

// Millimetres and units at a given logical resolution. Both round to the nearest
// whole unit / hundredth of a millimetre so a value survives a round trip.
int millimetresToUnits(double mm, double dpi = DefaultLogicalDpi);
double unitsToMillimetres(int units, double dpi = DefaultLogicalDpi);

enum class Orientation : quint8 { Portrait, Landscape };

struct PageSetup
{
    // Printer paper size code (9 is A4) and the paper in tenths of a millimetre,
    // as for portrait; orientation swaps them on the page.
    int paperSize = 9;
    int paperWidth = 2100;
    int paperHeight = 2970;
    Orientation orientation = Orientation::Portrait;
    int leftMargin = 38;
    int topMargin = 38;
    int rightMargin = 38;
    int bottomMargin = 38;
    int columns = 1;
    int columnGap = 0;
    int paperBin = 0;
    // The engine's name for the system's default printer.
    QString printerName = QStringLiteral("默认打印机");
    bool doublePass = true;
    bool printBackColor = false;
    double logicalDpi = DefaultLogicalDpi;

    // The page as placed, orientation applied.
    int pageWidth() const;
    int pageHeight() const;
    // What lies between the margins: W, the width columns are placed in, and the
    // height rows are placed in.
    int usableWidth() const { return pageWidth() - leftMargin - rightMargin; }
    int usableHeight() const { return pageHeight() - topMargin - bottomMargin; }

    // Refuses a page nothing can be placed on: no paper, a resolution that is not
    // positive, a negative margin, or margins that leave no usable width or height.
    Status validate() const;

    // Margins given in millimetres (a page-setup dialog) are stored as units.
    void setMarginsMillimetres(double left, double top, double right, double bottom);
};

// A4 portrait with margins of 38 units: the page every listing starts with.
PageSetup defaultListingPage();

} // namespace sqda::report

// Report fonts resolved to the Simplified Chinese faces, and natural text heights
// measured with them: the heights the listing's header and footer bands take.
#include "host/HostContext.h"
#include "report/GridReport.h"
#include "report/PreparedReport.h"
#include "report/ReportFonts.h"

#include <QFontInfo>
#include <QTest>

using namespace sqda;
using namespace sqda::report;

namespace {

StyledParagraph paragraph(const QString &text, const char16_t *family, double points)
{
    FontSpec f;
    f.family = QString::fromUtf16(family);
    f.pointSize = points;
    return { HAlign::Left, { { text, f } } };
}

} // namespace

class TestReportFonts : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ensureLibraryInitialized(); }
    void familiesResolveToSimplifiedChinese_data();
    void familiesResolveToSimplifiedChinese();
    void heights();
    void listingBandsWithRealFonts();
};

void TestReportFonts::familiesResolveToSimplifiedChinese_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("resolved");
    QTest::newRow("宋体") << QStringLiteral("宋体") << QStringLiteral("Noto Serif CJK SC");
    QTest::newRow("黑体") << QStringLiteral("黑体") << QStringLiteral("Noto Sans CJK SC");
}

void TestReportFonts::familiesResolveToSimplifiedChinese()
{
    QFETCH(QString, family);
    QFETCH(QString, resolved);
    FontSpec described;
    described.family = family;
    described.pointSize = 22;
    described.bold = true;
    const QFont font = reportFont(described);
    QCOMPARE(QFontInfo(font).family(), resolved);
    QVERIFY(font.bold());
    QCOMPARE(font.pointSizeF(), 22.0);
}

void TestReportFonts::heights()
{
    const TextMeasure at96 = fontTextMeasure(96);
    const StyledText title { paragraph(QStringLiteral("商圈档案查询"), u"黑体", 22) };
    const StyledText small { paragraph(QStringLiteral("打印日期"), u"宋体", 9) };
    const int titleHeight = at96(title, 718);
    const int smallHeight = at96(small, 718);
    // A 22 pt line is about 29 units of em at 96 dpi; a 9 pt line about 12.
    QVERIFY2(titleHeight >= 29 && titleHeight <= 50, qPrintable(QString::number(titleHeight)));
    QVERIFY2(smallHeight >= 12 && smallHeight <= 20, qPrintable(QString::number(smallHeight)));

    // A line that follows another has 0.2 em of leading above it: two 9 pt lines
    // are 12 + 2.4 + 12 units, where one em apart their glyphs touched.
    QCOMPARE(at96({ paragraph(QStringLiteral("打印日期\n操 作 员"), u"宋体", 9) }, 718), 27);
    // The condition paragraph ends with a space in 黑体 22 pt, so its line is as high
    // as the title's, whatever the 9 pt condition text: room below that text.
    const StyledText header = listingHeaderText();
    QCOMPARE(at96({ header[1] }, 718), at96({ header[0] }, 718));
    // An empty paragraph still takes its font's line.
    QCOMPARE(at96(listingPageFooterText(), 718), smallHeight);

    // Lines break at the width given; units follow the layout's resolution.
    const StyledText longText { paragraph(QString(40, QChar(0x5546)), u"宋体", 9) };
    QCOMPARE(at96(longText, 2000), smallHeight);
    QVERIFY(at96(longText, 100) >= 4 * smallHeight);
    QVERIFY(qAbs(fontTextMeasure(192)(title, 1436) - 2 * titleHeight) <= 2);
}

void TestReportFonts::listingBandsWithRealFonts()
{
    GridDescription grid;
    GridColumn code;
    code.field = 0;
    code.title = QStringLiteral("商圈编码");
    code.width = 100;
    grid.columns = { code };
    grid.footerRowCount = 1;
    const TextMeasure measure = fontTextMeasure(96);
    GridReportOptions options;
    options.pageHeaderHeight = 0;
    const auto layout = buildGridReport(grid, options, defaultListingPage(), measure);
    QVERIFY(layout.ok());
    const LayoutPage &lp = layout->pages[0];
    const StyledText footer = listingColumnFooterText();
    QCOMPARE(lp.bandHeight(BandKind::ColumnFooter), measure(footer, 718) + 2);
    QCOMPARE(lp.band(BandKind::Title)->objects[0].rect.height(), measure(listingHeaderText(), 718) + 2);
    // Three footer lines of 9 pt: taller than two, and the pages still paginate.
    QVERIFY(lp.bandHeight(BandKind::ColumnFooter) > 2 * measure({ footer[0] }, 718));
    const auto report = PreparedReport::prepare(std::make_shared<const ReportLayout>(*layout), 1000);
    QVERIFY(report.ok());
    QVERIFY(report->pageCount() > 20);
}

QTEST_MAIN(TestReportFonts)
#include "tst_reportfonts.moc"

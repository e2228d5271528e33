// What the painter keeps of a cell's text: a cell of one line shows it whole
// without a layout, so the text a cell keeps must still be what the laid-out
// lines give at every width, just inside and just outside the text's own width,
// in each face and for text the quick measure leaves to the layout. And a
// painter clipped to part of a page (a view showing part of it) draws only the
// objects that reach into it: that part must look as it does on the whole page,
// frames of the cells beside the clip included, at any scale.
#include "host/HostContext.h"
#include "report/PreparedReport.h"
#include "report/ReportDataSource.h"
#include "report/ReportFonts.h"
#include "report/ReportPainter.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QTest>

Q_DECLARE_METATYPE(sqda::report::FontSpec)

using namespace sqda;
using namespace sqda::report;
using namespace Qt::StringLiterals;

namespace {

constexpr int RowHeight = 22;

class TextRows final : public ReportDataSource
{
public:
    explicit TextRows(QStringList texts)
        : m_texts(std::move(texts))
    {
    }
    int rowCount() const override { return int(m_texts.size()); }
    QString displayText(int row, int) const override { return m_texts.value(row); }
    QVariant value(int row, int) const override { return m_texts.value(row); }

private:
    QStringList m_texts;
};

QImage unitDevice()
{
    QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
    const int dotsPerMetre = qRound(DefaultLogicalDpi / 0.0254);
    device.setDotsPerMeterX(dotsPerMetre);
    device.setDotsPerMeterY(dotsPerMetre);
    return device;
}

} // namespace

class TestReportPainter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ensureLibraryInitialized(); }

    void cellKeepsTheLinesTheLayoutFits_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<FontSpec>("font");
        QTest::addColumn<bool>("wordWrap");
        FontSpec song;
        FontSpec hei;
        hei.family = u"黑体"_s;
        hei.pointSize = 12;
        hei.bold = true;
        hei.italic = true;
        const std::pair<const char *, QString> texts[] = {
            { "name with digits", u"商圈名称12345"_s },
            { "code", u"00009999"_s },
            { "latin words", u"North Gate Plaza mall"_s },
            { "spaced ideographs", u"东城 商圈 甲乙丙丁"_s },
            { "full-width forms", u"ＡＢＣ（全角）１２３"_s },
            { "ideographic punctuation", u"名称。、「东城」"_s },
            { "latin accents", u"Ünïcödé Straße ÀÉÎ"_s },
            { "trailing spaces", u"名称12    "_s },
            { "combining mark", u"cafe\u0301 de\u0301ja\u0300"_s },
            { "tab", u"名称\t12"_s },
            { "outside the basic plane", u"名称\U00020000\U00020001甲"_s },
            { "arabic", u"مرحبا بالعالم"_s },
        };
        for (const auto &[name, text] : texts) {
            QTest::addRow("%s, 宋体 9", name) << text << song << true;
            QTest::addRow("%s, 黑体 12 bold italic", name) << text << hei << true;
        }
        QTest::addRow("no wrap, too wide") << u"商圈名称一二三四五六七八九十甲乙丙丁"_s << song << false;
    }

    // One cell a width, from far too narrow to wider than the text: each keeps
    // what laying it out keeps, its first line when it wraps.
    void cellKeepsTheLinesTheLayoutFits()
    {
        QFETCH(QString, text);
        QFETCH(FontSpec, font);
        QFETCH(bool, wordWrap);
        QImage device = unitDevice();
        const QFont shownFont = deviceFont(font, DefaultLogicalDpi, &device);
        const int natural = qCeil(QFontMetricsF(shownFont, &device).horizontalAdvance(text));

        auto layout = std::make_shared<ReportLayout>();
        layout->page = defaultListingPage();
        layout->fonts = { FontSpec {}, font };
        LayoutPage page;
        Band rows;
        rows.kind = BandKind::MasterData;
        rows.height = RowHeight;
        std::vector<int> widths;
        for (int width = 6; width <= natural + 40; ++width) {
            ReportObject cell;
            cell.kind = ObjectKind::DataField;
            cell.column = 0;
            cell.font = 1;
            cell.rect = QRect(40, 0, width, RowHeight);
            cell.vAlign = VAlign::Center;
            cell.wordWrap = wordWrap;
            rows.objects.push_back(cell);
            widths.push_back(width);
        }
        page.bands.push_back(std::move(rows));
        layout->pages.push_back(std::move(page));
        const TextRows source({ text });
        ReportVariables variables;
        auto prepared = PreparedReport::prepare(layout, source.rowCount());
        QVERIFY2(prepared, qPrintable(prepared ? QString() : prepared.error()));
        const ReportPainter painter(*prepared, source, variables);

        int cut = 0;
        for (size_t i = 0; i < widths.size(); ++i) {
            const ReportObject &cell = layout->pages[0].bands[0].objects[i];
            const ReportParagraph laid(
                { { withLineSeparators(text), shownFont, Qt::black } }, HAlign::Left, widths[i] - 4, wordWrap, &device);
            const QString expected = laid.text(laid.linesFitting(RowHeight));
            cut += expected != text;
            QCOMPARE(painter.shownText(cell, 0, prepared->numbers(0)), expected);
            QCOMPARE(painter.shownText(cell, 0, prepared->numbers(0), text), expected);
        }
        // The widths ran from cutting the text to holding it whole.
        if (wordWrap)
            QVERIFY(cut > 0 && cut < int(widths.size()));
        else
            QCOMPARE(cut, 0);
    }

    void partOfAPageLooksAsOnTheWholePage_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("fromRowTop"); // units from the fourth row's top to the clip's top
        QTest::addColumn<int>("height"); // units
        QTest::addColumn<int>("left"); // units from the first cell's left to the clip's left
        for (const double scale : { 1.0, 0.5, 2.5 }) {
            QTest::addRow("at a row's top, %.1fx", scale) << scale << 0 << RowHeight << 0;
            QTest::addRow("one unit above it, %.1fx", scale) << scale << -1 << 2 * RowHeight << 0;
            QTest::addRow("two units below it, %.1fx", scale) << scale << 2 << 1 << 0;
            QTest::addRow("inside a row, %.1fx", scale) << scale << 5 << 8 << 30;
            QTest::addRow("left of the table, %.1fx", scale) << scale << -RowHeight << 3 * RowHeight << -3;
            // The table's outer rules run a unit past its last row and its right edge.
            QTest::addRow("below the table, %.1fx", scale) << scale << 5 * RowHeight << 6 << 0;
            QTest::addRow("right of the table, %.1fx", scale) << scale << 0 << RowHeight << 400;
        }
    }

    void partOfAPageLooksAsOnTheWholePage()
    {
        QFETCH(double, scale);
        QFETCH(int, fromRowTop);
        QFETCH(int, height);
        QFETCH(int, left);
        auto layout = std::make_shared<ReportLayout>();
        layout->page = defaultListingPage();
        layout->fonts = { FontSpec {} };
        LayoutPage page;
        Band rows;
        rows.kind = BandKind::MasterData;
        rows.height = RowHeight;
        const int widths[] = { 120, 80, 200 };
        int x = layout->page.leftMargin;
        for (size_t i = 0; i < std::size(widths); ++i) {
            ReportObject cell;
            cell.kind = ObjectKind::DataField;
            cell.column = 0;
            cell.rect = QRect(x, 0, widths[i], RowHeight);
            cell.vAlign = VAlign::Center;
            cell.hAlign = i == 1 ? HAlign::Right : HAlign::Left;
            cell.wordWrap = true;
            cell.frames = FrameAll;
            cell.thickFrames = (i == 0 ? FrameLeft : i == 2 ? FrameRight : 0) | FrameTop;
            rows.objects.push_back(cell);
            x += widths[i];
        }
        page.bands.push_back(std::move(rows));
        layout->pages.push_back(std::move(page));
        QStringList texts;
        for (int i = 0; i < 8; ++i)
            texts << u"商圈名称%1 一二三四五六七八九十甲乙丙丁戊己庚辛"_s.arg(i);
        const TextRows source(texts);
        ReportVariables variables;
        auto prepared = PreparedReport::prepare(layout, source.rowCount());
        QVERIFY2(prepared, qPrintable(prepared ? QString() : prepared.error()));
        const ReportPainter painter(*prepared, source, variables);

        const QSize size(qCeil(layout->page.pageWidth() * scale), qCeil(layout->page.pageHeight() * scale));
        const auto paint = [&](const QRect &clip) {
            QImage image(size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::white);
            QPainter p(&image);
            if (!clip.isNull())
                p.setClipRect(clip);
            p.scale(scale, scale);
            painter.paintPage(p, 0);
            return image;
        };
        const int rowTop = prepared->placements(0).at(3).y;
        const QRect clip(qRound((layout->page.leftMargin + left) * scale), qRound((rowTop + fromRowTop) * scale),
            qMax(1, qRound(150 * scale)), qMax(1, qRound(height * scale)));
        const QImage whole = paint({});
        const QImage part = paint(clip);
        // Something of the page is in the part, or the comparison says little.
        const QImage shown = whole.copy(clip);
        bool inked = false;
        for (int y = 0; y < shown.height() && !inked; ++y)
            for (int col = 0; col < shown.width() && !inked; ++col)
                inked = shown.pixel(col, y) != qRgb(255, 255, 255);
        QVERIFY(inked);
        QCOMPARE(part.copy(clip), shown);
    }
};

QTEST_MAIN(TestReportPainter)
#include "tst_reportpainter.moc"

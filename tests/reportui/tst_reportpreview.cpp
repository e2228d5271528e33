// The query form's grid report from a real listing grid under an offscreen
// screen: what the adapter reads of the grid, the modal preview driven with real
// keys (zoom, pages, find with F3, Esc), page setup rebuilding the listing and
// staying for the next run, PDF from the preview read back, and printing with
// and without a printer.
#include "ModalAnswerer.h"

#include "data/ClientDataSet.h"
#include "host/HostContext.h"
#include "host/ScreenFonts.h"
#include "query/TAdvDBGridEh.h"
#include "reportui/GridAdapter.h"
#include "reportui/PageSetupDialog.h"
#include "reportui/ReportPreview.h"
#include "reportui/TRMFormReport.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <QtMath>

#include <algorithm>

Q_DECLARE_METATYPE(sqda::LogicRows)

using namespace sqda;
using namespace sqda::report;
using namespace sqda::test;
using namespace Qt::StringLiterals;

namespace {

const QString Code = u"商圈编码"_s;
const QString Name = u"商圈名称"_s;
const QString Level = u"级别"_s;
// The face the screens write their Chinese in ("宋体" through its substitution).
const QString Face = u"Noto Serif CJK SC"_s;

// `count` areas "SQ0000".., named "名称n", levels 1…4, all in department 0101.
DataStore areas(int count)
{
    DataStore s({ { u"f_sqbm"_s, FieldType::String, 12, Code }, { u"f_sqmc"_s, FieldType::String, 40, Name },
        { u"f_jb"_s, FieldType::Int32, 0, Level }, { u"f_bmbm"_s, FieldType::String, 12, u"部门编码"_s } });
    for (int i = 0; i < count; ++i) {
        s.appendString(0, u"SQ%1"_s.arg(i, 4, 10, QLatin1Char('0')));
        s.appendString(1, u"名称%1"_s.arg(i));
        s.appendInt(2, i % 4 + 1);
        s.appendString(3, u"0101");
        s.commitRow();
    }
    return s;
}

sqda::GridColumn column(const QString &field, int width, bool visible = true)
{
    sqda::GridColumn c;
    c.fieldName = field;
    c.width = width;
    c.visible = visible;
    return c;
}

// A key as a keyboard sends it, text included, to where the focus is.
void key(QWidget *w, Qt::Key k, const QString &text = {}, Qt::KeyboardModifiers mods = {})
{
    QTest::sendKeyEvent(QTest::Press, w, k, text, mods);
    QTest::sendKeyEvent(QTest::Release, w, k, text, mods);
}

// Typed text, Chinese included, one key event a character with its text.
void type(QWidget *w, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}

QWidget *focusIn(QWidget *window)
{
    QWidget *f = QApplication::focusWidget();
    return f && window->isAncestorOf(f) ? f : window;
}

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        qWarning("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The PDF's pages as pdftotext -layout reads them.
QStringList pdfPages(const QString &path)
{
    QStringList pages = run(u"pdftotext"_s, { u"-layout"_s, path, u"-"_s }).split(QChar(u'\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// Page `index` of a formatted listing painted on white paper at `dpi`, as the
// preview (96 dpi at 100 %) or a printer paints it.
QImage paintPage(const PreparedReport &report, const ReportDataSource &source, int index, double dpi)
{
    const PageSetup &page = report.layout().page;
    const double scale = dpi / page.logicalDpi;
    QImage image(qCeil(page.pageWidth() * scale), qCeil(page.pageHeight() * scale), QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    image.fill(Qt::white);
    const ReportPainter painter(report, source, ReportVariables::global());
    QPainter p(&image);
    p.scale(painter.unitsToDevice(image), painter.unitsToDevice(image));
    painter.paintPage(p, index);
    return image;
}

// Pixel rows [top, bottom) of `image` that hold ink (a pixel visibly darker than
// the paper), grouped in runs of touching rows: one run a line of text when the
// lines clear each other.
struct Run
{
    int top;
    int bottom; // past the last row
};
std::vector<Run> inkRuns(const QImage &image, int top, int bottom)
{
    std::vector<Run> runs;
    for (int y = std::max(top, 0); y < std::min(bottom, image.height()); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        const bool ink = std::any_of(line, line + image.width(), [](QRgb c) { return qGray(c) < 200; });
        if (!ink)
            continue;
        if (!runs.empty() && runs.back().bottom == y)
            runs.back().bottom = y + 1;
        else
            runs.push_back({ y, y + 1 });
    }
    return runs;
}

QString describe(const std::vector<Run> &runs)
{
    QStringList out;
    for (const Run &r : runs)
        out << u"%1..%2"_s.arg(r.top).arg(r.bottom);
    return out.join(u", "_s);
}

LogicRow expression(const QString &label, const QString &condition, const QString &value)
{
    return { label, condition, value, {} };
}

} // namespace

class TestReportPreview : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ClientDataSet> m_ds;
    std::unique_ptr<TAdvDBGridEh> m_grid;
    std::unique_ptr<TRMFormReport> m_report;
    std::unique_ptr<ModalAnswerer> m_answer;
    QStringList m_fileDialogFaces; // the file dialogs answered: the faces of the dialog and its name box

    // The query form's grid: name moved before code, level shown, department
    // hidden; the count text under the code; titles black as the form sets them
    // for a run.
    void makeGrid(int rows)
    {
        m_ds = std::make_unique<ClientDataSet>();
        m_ds->setPersistentFields(
            { { u"f_sqbm"_s, FieldType::String, 12, Code }, { u"f_sqmc"_s, FieldType::String, 40, Name },
                { u"f_jb"_s, FieldType::Int32, 0, Level }, { u"f_bmbm"_s, FieldType::String, 12, u"部门编码"_s } });
        m_grid = std::make_unique<TAdvDBGridEh>();
        m_grid->setDataSet(m_ds.get());
        m_grid->addColumn(column(u"f_sqmc"_s, 164));
        m_grid->addColumn(column(u"f_sqbm"_s, 80));
        m_grid->addColumn(column(u"f_jb"_s, 40));
        m_grid->addColumn(column(u"f_bmbm"_s, 64, false));
        m_grid->ShowSumCount = true;
        m_grid->setFooterShown(true);
        m_grid->titleTextColor = Qt::black;
        m_grid->setFont(songTi9());
        m_grid->titleFont = songTi9();
        m_grid->footerFont = songTi9();
        m_grid->resize(420, 240);
        m_grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_grid.get()));
        m_ds->loadStore(areas(rows));

        m_report = std::make_unique<TRMFormReport>();
        m_report->setPrintControl(m_grid.get());
        // No printer installed.
        m_report->setPrinterProvider([] { return std::unique_ptr<QPrinter>(); });
        ReportVariables &vars = ReportVariables::global();
        vars.set(u"Title"_s, u"商圈档案查询"_s);
        vars.set(u"Condi"_s, {});
        vars.set(u"Date"_s, u"2026-12-10"_s);
        vars.set(u"Time"_s, u"09:30:00"_s);
        vars.set(u"Oper"_s, u"张三"_s);
        m_answer = std::make_unique<ModalAnswerer>();
    }

    // The real file dialog, answered as a user would: a name typed, Enter.
    void answerFileDialog(const QString &path)
    {
        m_answer->then([this, path](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            QVERIFY(dialog);
            QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
            auto *name = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
            QVERIFY(name);
            m_fileDialogFaces << QFontInfo(dialog->font()).family() + u'|' + QFontInfo(name->font()).family();
            name->setText(path);
            key(name, Qt::Key_Return, u"\r"_s);
        });
    }

    // Runs PreviewListing with `drive` acting on the open preview, then the
    // modal answers queued after it for the dialogs `drive` opens. `drive` must
    // close the preview; a preview left open is closed as unexpected.
    void preview(const std::function<void(ReportPreview &)> &drive, const std::function<void()> &answers = {})
    {
        m_answer->drive([drive](QWidget *w) {
            auto *p = qobject_cast<ReportPreview *>(w);
            if (!p) {
                qWarning("not the preview: %s", w->metaObject()->className());
                return;
            }
            drive(*p);
        });
        if (answers)
            answers();
        m_report->PreviewListing();
        QVERIFY(m_answer->idle());
        QVERIFY2(m_answer->unexpected.isEmpty(), qPrintable(m_answer->unexpected.value(0).text));
    }

private slots:
    void initTestCase()
    {
        ensureLibraryInitialized();
        QVERIFY(m_dir.isValid());
    }
    void cleanup()
    {
        m_report.reset();
        m_grid.reset();
        m_ds.reset();
        m_answer.reset();
        m_fileDialogFaces.clear();
    }

    // The adapter reads the grid as shown: visible columns in the grid's order,
    // titles from the display labels, widths, numbers right, the count footer,
    // the fonts in points with their colours.
    void describesTheGridAsShown()
    {
        makeGrid(5);
        m_grid->setGridColumnWidth(0, 150);
        const GridDescription g = describeGrid(*m_grid);
        QVERIFY(g.hasDataSet);
        QCOMPARE(g.columns.size(), size_t(3));
        QCOMPARE(g.columns[0].title, Name);
        QCOMPARE(g.columns[1].title, Code);
        QCOMPARE(g.columns[2].title, Level);
        QCOMPARE(g.columns[0].field, 1);
        QCOMPARE(g.columns[1].field, 0);
        QCOMPARE(g.columns[0].width, 150);
        QCOMPARE(g.columns[1].width, 80);
        QCOMPARE(g.columns[1].align, HAlign::Left);
        QCOMPARE(g.columns[2].align, HAlign::Right);
        QCOMPARE(g.columns[0].titleAlign, HAlign::Center);
        QCOMPARE(g.footerRowCount, 1);
        // The count goes to the first visible column, here the name.
        QCOMPARE(g.columns[0].footers.at(0).text, u"合计:5条"_s);
        QCOMPARE(g.columns[1].footers.at(0).text, QString());
        QCOMPARE(g.columns[0].titleFont.color, QColor(Qt::black).rgba());
        QCOMPARE(g.titleRowHeight, m_grid->horizontalHeader()->height());
        QCOMPARE(g.defaultRowHeight, m_grid->verticalHeader()->defaultSectionSize());
        QVERIFY(g.columnLines);

        QFont px(u"宋体"_s);
        px.setPixelSize(12);
        QCOMPARE(fontSpecOf(px, Qt::red).pointSize, 9.0);
        QCOMPARE(fontSpecOf(px, Qt::red).color, QColor(Qt::red).rgba());

        m_ds->close();
        QVERIFY(!describeGrid(*m_grid).hasDataSet);
    }

    // The whole run from the real grid: the preview opens on page 1 of n, the
    // PDF written from it holds the visible columns in their new order and not
    // the hidden department, and Esc closes the preview so the run returns.
    void previewFromTheGridExportsPdf()
    {
        makeGrid(120);
        const QString pdf = m_dir.filePath(u"from-preview.pdf"_s);
        int pages = 0;
        preview(
            [&](ReportPreview &p) {
                pages = p.pageCount();
                QCOMPARE(p.currentPage(), 0);
                QCOMPARE(p.findChild<QLabel *>(u"pageTotal"_s)->text(), u"/ %1"_s.arg(pages));
                QTest::mouseClick(p.findChild<QWidget *>(u"exportPdf"_s), Qt::LeftButton);
                QVERIFY(p.statusText().contains(u"from-preview.pdf"_s));
                key(focusIn(&p), Qt::Key_Escape);
            },
            [&] { answerFileDialog(pdf); });
        QVERIFY(pages >= 3);
        QVERIFY(QFile::exists(pdf));
        const QStringList text = pdfPages(pdf);
        QCOMPARE(text.size(), pages);
        const QString titles = text[0].split(u'\n').filter(Code).value(0);
        QVERIFY2(titles.indexOf(Name) >= 0 && titles.indexOf(Name) < titles.indexOf(Code), qPrintable(titles));
        QVERIFY(titles.contains(Level));
        QVERIFY(!text.join(u'\n').contains(u"部门编码"_s));
        QVERIFY(text[0].contains(u"名称0"_s));
        QVERIFY(text.last().contains(u"合计:120条"_s));
        QVERIFY(text.last().contains(u"第%1页/共%1页"_s.arg(pages)));
    }

    // Spreadsheet, save and load from the preview: the sheet holds every row as
    // cells; a saved report opens again with the same pages (page setup off, as
    // the grid did not make it); a damaged file is a message and the report
    // shown stays.
    void exportsSavesAndLoads()
    {
        makeGrid(120);
        const QString xlsx = m_dir.filePath(u"listing.xlsx"_s);
        const QString saved = m_dir.filePath(u"listing.sqdarpt"_s);
        const QString damaged = m_dir.filePath(u"damaged.sqdarpt"_s);
        QFile junk(damaged);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a saved report");
        junk.close();
        int pages = 0;
        preview(
            [&](ReportPreview &p) {
                pages = p.pageCount();
                QTest::mouseClick(p.findChild<QWidget *>(u"exportXlsx"_s), Qt::LeftButton);
                QVERIFY(p.statusText().contains(u"listing.xlsx"_s));
                QTest::mouseClick(p.findChild<QWidget *>(u"save"_s), Qt::LeftButton);
                QVERIFY(p.statusText().contains(u"listing.sqdarpt"_s));
                QTest::mouseClick(p.findChild<QWidget *>(u"load"_s), Qt::LeftButton);
                QVERIFY(!p.showsLoadedReport());
                QCOMPARE(p.pageCount(), pages);
                QTest::mouseClick(p.findChild<QWidget *>(u"load"_s), Qt::LeftButton);
                QVERIFY(p.showsLoadedReport());
                QCOMPARE(p.pageCount(), pages);
                QVERIFY(p.findChild<QWidget *>(u"pageSetup"_s)->isHidden());
                QVERIFY(p.find(u"名称119"_s));
                QCOMPARE(p.currentPage(), pages - 1);
                key(focusIn(&p), Qt::Key_Escape);
            },
            [&] {
                answerFileDialog(xlsx);
                answerFileDialog(saved);
                answerFileDialog(damaged);
                m_answer->press(u"Ok"_s);
                answerFileDialog(saved);
            });
        QCOMPARE(m_answer->seen.size(), 1);
        QCOMPARE(m_answer->seen[0].className, u"QMessageBox"_s);
        QVERIFY2(m_answer->seen[0].text.startsWith(u"报表“damaged.sqdarpt”：这不是保存的报表，或者文件已损坏："_s),
            qPrintable(m_answer->seen[0].text));
        // Every window the preview opened writes in the screens' face.
        QCOMPARE(m_answer->seen[0].face, Face);
        QCOMPARE(m_fileDialogFaces, QStringList(4, Face + u'|' + Face));
        const QString sheet = run(u"unzip"_s, { u"-p"_s, xlsx, u"xl/worksheets/sheet1.xml"_s });
        QCOMPARE(sheet.count(u"<row "_s), 1 + 120 + 1); // titles, rows, footer
        QVERIFY(sheet.contains(u"<v>4</v>"_s)); // the level as a number
    }

    // Zoom by keys with their text and by the tools.
    void zoomsByKeysAndTools()
    {
        makeGrid(10);
        preview([](ReportPreview &p) {
            // The window writes in the Simplified Chinese serif the screens use.
            QVERIFY2(QFontInfo(p.findChild<QWidget *>(u"status"_s)->font()).family().startsWith(u"Noto Serif CJK"_s),
                qPrintable(QFontInfo(p.font()).family()));
            QVERIFY(QFontInfo(p.findChild<QWidget *>(u"exit"_s)->font()).family().startsWith(u"Noto Serif CJK"_s));
            QCOMPARE(p.zoom(), 1.0);
            QWidget *page = p.findChild<QWidget *>(u"page"_s);
            const QSize at100 = page->size();
            key(focusIn(&p), Qt::Key_Plus, u"+"_s);
            QCOMPARE(p.zoom(), 1.25);
            QVERIFY(page->width() > at100.width());
            key(focusIn(&p), Qt::Key_Minus, u"-"_s);
            key(focusIn(&p), Qt::Key_Minus, u"-"_s);
            QCOMPARE(p.zoom(), 0.75);
            QVERIFY(page->width() < at100.width());
            QCOMPARE(p.findChild<QLabel *>(u"zoomLabel"_s)->text(), u"75%"_s);
            // Ctrl and the wheel zoom; the wheel alone does not.
            const auto wheel = [page](int delta, Qt::KeyboardModifiers mods) {
                const QPointF at(page->width() / 2.0, 100);
                QWheelEvent e(at, page->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, mods,
                    Qt::NoScrollPhase, false);
                QApplication::sendEvent(page, &e);
            };
            wheel(120, Qt::ControlModifier);
            QCOMPARE(p.zoom(), 1.0);
            wheel(-120, Qt::ControlModifier);
            QCOMPARE(p.zoom(), 0.75);
            wheel(120, Qt::NoModifier);
            QCOMPARE(p.zoom(), 0.75);

            auto *area = p.findChild<QScrollArea *>(u"pageArea"_s);
            QTest::mouseClick(p.findChild<QWidget *>(u"wholePage"_s), Qt::LeftButton);
            QCOMPARE(p.zoomMode(), ReportPreview::ZoomMode::WholePage);
            QVERIFY(page->width() <= area->viewport()->width());
            QVERIFY(page->height() <= area->viewport()->height());
            QTest::mouseClick(p.findChild<QWidget *>(u"fitWidth"_s), Qt::LeftButton);
            QVERIFY(page->width() <= area->viewport()->width());
            QVERIFY(page->width() >= area->viewport()->width() - 40);
            // Fit width follows the window.
            const double before = p.zoom();
            p.resize(p.width() + 200, p.height());
            QVERIFY(p.zoom() > before);
            QTest::mouseClick(p.findChild<QWidget *>(u"zoom100"_s), Qt::LeftButton);
            QCOMPARE(p.zoom(), 1.0);
            QCOMPARE(page->size(), at100);
            key(focusIn(&p), Qt::Key_Escape);
        });
    }

    // Pages by PgDn/PgUp/End/Home and by a number typed in the page box.
    void navigatesByKeysAndPageBox()
    {
        makeGrid(200);
        preview([](ReportPreview &p) {
            const int last = p.pageCount() - 1;
            QVERIFY(last >= 3);
            auto *box = p.findChild<QSpinBox *>(u"pageBox"_s);
            key(focusIn(&p), Qt::Key_PageDown);
            key(focusIn(&p), Qt::Key_PageDown);
            QCOMPARE(p.currentPage(), 2);
            QCOMPARE(box->value(), 3);
            key(focusIn(&p), Qt::Key_PageUp);
            QCOMPARE(p.currentPage(), 1);
            key(focusIn(&p), Qt::Key_End);
            QCOMPARE(p.currentPage(), last);
            key(focusIn(&p), Qt::Key_PageDown); // stays on the last page
            QCOMPARE(p.currentPage(), last);
            key(focusIn(&p), Qt::Key_Home);
            QCOMPARE(p.currentPage(), 0);
            key(focusIn(&p), Qt::Key_PageUp);
            QCOMPARE(p.currentPage(), 0);

            box->setFocus();
            box->selectAll();
            type(focusIn(&p), u"3"_s);
            key(focusIn(&p), Qt::Key_Return, u"\r"_s);
            QCOMPARE(p.currentPage(), 2);
            // Home in the page box edits the number; PgDn still turns the page.
            key(focusIn(&p), Qt::Key_Home);
            QCOMPARE(p.currentPage(), 2);
            key(focusIn(&p), Qt::Key_PageDown);
            QCOMPARE(p.currentPage(), 3);
            QTest::mouseClick(p.findChild<QWidget *>(u"firstPage"_s), Qt::LeftButton);
            QCOMPARE(p.currentPage(), 0);
            key(focusIn(&p), Qt::Key_Escape);
        });
    }

    // Ctrl+F, a text, Enter: every hit on every page; F3 steps through them in
    // page order and round to the first.
    void findsAcrossPagesWithF3()
    {
        makeGrid(200);
        preview([](ReportPreview &p) {
            key(focusIn(&p), Qt::Key_F, u"\x06"_s, Qt::ControlModifier);
            auto *findBox = p.findChild<QLineEdit *>(u"findBox"_s);
            QCOMPARE(QApplication::focusWidget(), findBox);
            // "名称19" is row 19 and rows 190…199, which lie on a later page.
            type(findBox, u"名称19"_s);
            key(findBox, Qt::Key_Return, u"\r"_s);
            QCOMPARE(p.hitCount(), 11);
            QCOMPARE(p.currentHit(), 0);
            QCOMPARE(p.currentPage(), 0);
            QVERIFY(p.statusText().contains(u"第1处/共11处"_s));
            const int laterPage = p.hitPage(1);
            QVERIFY(laterPage > 0);
            key(focusIn(&p), Qt::Key_F3);
            QCOMPARE(p.currentHit(), 1);
            QCOMPARE(p.currentPage(), laterPage);
            for (int i = 0; i < 10; ++i)
                key(focusIn(&p), Qt::Key_F3);
            QCOMPARE(p.currentHit(), 0); // round to the first
            QCOMPARE(p.currentPage(), 0);

            // Case is ignored: the codes "SQ…" are found typed in lower case.
            QVERIFY(p.find(u"SQ019"_s));
            const int upper = p.hitCount();
            QVERIFY(upper > 1);
            QVERIFY(p.find(u"sq019"_s));
            QCOMPARE(p.hitCount(), upper);

            // Texts of the page itself are found too: the page line of page 2.
            QVERIFY(p.find(u"第2页/共"_s));
            QCOMPARE(p.hitCount(), 1);
            QCOMPARE(p.currentPage(), 1);
            QVERIFY(!p.find(u"不存在的文字"_s));
            QCOMPARE(p.hitCount(), 0);
            QVERIFY(p.statusText().contains(u"没有找到"_s));
            key(focusIn(&p), Qt::Key_Escape);
        });
    }

    // Page setup from the preview: landscape with wider margins gives a new
    // listing at once, and the form keeps the page for its next run. Margins
    // that leave no room are refused in the dialog, which stays open.
    void pageSetupRebuildsAndStays()
    {
        makeGrid(200);
        int portraitPages = 0;
        int landscapePages = 0;
        QString setupFace;
        preview(
            [&](ReportPreview &p) {
                portraitPages = p.pageCount();
                QTest::mouseClick(p.findChild<QWidget *>(u"pageSetup"_s), Qt::LeftButton);
                landscapePages = p.pageCount();
                QCOMPARE(p.report().layout().page.orientation, Orientation::Landscape);
                QCOMPARE(p.findChild<QLabel *>(u"pageTotal"_s)->text(), u"/ %1"_s.arg(landscapePages));
                key(focusIn(&p), Qt::Key_Escape);
            },
            [&] {
                m_answer->drive([&setupFace](QWidget *w) {
                    auto *d = qobject_cast<PageSetupDialog *>(w);
                    QVERIFY(d);
                    setupFace = ModalAnswerer::describe(d).face;
                    d->findChild<QDoubleSpinBox *>(u"left"_s)->setValue(150);
                    d->findChild<QDoubleSpinBox *>(u"right"_s)->setValue(150);
                    QTest::mouseClick(d->findChild<QWidget *>(u"ok"_s), Qt::LeftButton);
                    QVERIFY(d->isVisible());
                    d->findChild<QDoubleSpinBox *>(u"left"_s)->setValue(20);
                    d->findChild<QDoubleSpinBox *>(u"right"_s)->setValue(20);
                    d->findChild<QRadioButton *>(u"landscape"_s)->setChecked(true);
                    QTest::mouseClick(d->findChild<QWidget *>(u"ok"_s), Qt::LeftButton);
                });
                m_answer->press(u"Ok"_s); // the refusal of the first margins
            });
        QVERIFY(landscapePages > portraitPages);
        QCOMPARE(m_answer->seen.size(), 1);
        QVERIFY(m_answer->seen[0].text.contains(u"页面上没有地方了"_s));
        QCOMPARE(m_answer->seen[0].face, Face);
        QCOMPARE(setupFace, Face);
        QCOMPARE(m_report->PageLayout.orientation, Orientation::Landscape);
        QCOMPARE(m_report->PageLayout.leftMargin, millimetresToUnits(20));

        // The next run starts on the page set in the preview.
        preview([&](ReportPreview &p) {
            QCOMPARE(p.pageCount(), landscapePages);
            key(focusIn(&p), Qt::Key_Escape);
        });
    }

    // No printer: a message box saying so, and the preview carries on; the
    // form's print run returns the same way. With a printer every page goes to it.
    void printsOrSaysThereIsNoPrinter()
    {
        makeGrid(60);
        bool stillOpen = false;
        preview(
            [&](ReportPreview &p) {
                QTest::mouseClick(p.findChild<QWidget *>(u"print"_s), Qt::LeftButton);
                stillOpen = p.isVisible();
                key(focusIn(&p), Qt::Key_PageDown);
                QCOMPARE(p.currentPage(), 1);
                key(focusIn(&p), Qt::Key_Escape);
            },
            [&] { m_answer->press(u"Ok"_s); });
        QVERIFY(stillOpen);
        QCOMPARE(m_answer->seen.size(), 1);
        QCOMPARE(m_answer->seen[0].text, noPrinterMessage());
        QCOMPARE(m_answer->seen[0].title, u"提示"_s);
        QCOMPARE(m_answer->seen[0].face, Face);

        m_answer->press(u"Ok"_s);
        m_report->PrintListing();
        QVERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.size(), 2);
        QCOMPARE(m_answer->seen[1].text, noPrinterMessage());
        QCOMPARE(m_answer->seen[1].face, Face);

        const QString out = m_dir.filePath(u"printed.pdf"_s);
        m_report->setPrinterProvider([out](const PageSetup &) -> Result<std::unique_ptr<QPrinter>> {
            auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(out);
            return printer;
        });
        m_report->PrintListing();
        QVERIFY(m_answer->unexpected.isEmpty());
        const QStringList pages = pdfPages(out);
        QCOMPARE(pages.size(), m_report->prepared()->pageCount());
        QVERIFY(pages.last().contains(u"合计:60条"_s));
    }

    // With SQDA_SCREENSHOT_DIR set: the preview on page 1 of a listing of several
    // pages, and on a find hit.
    void screenshot()
    {
        const QString dir = qEnvironmentVariable("SQDA_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("SQDA_SCREENSHOT_DIR not set");
        makeGrid(150);
        preview(
            [dir](ReportPreview &p) {
                p.resize(820, 760);
                QTest::mouseClick(p.findChild<QWidget *>(u"fitWidth"_s), Qt::LeftButton);
                QVERIFY(p.grab().save(dir + u"/report-preview-page1.png"_s));
                auto *findBox = p.findChild<QLineEdit *>(u"findBox"_s);
                key(focusIn(&p), Qt::Key_F, u"\x06"_s, Qt::ControlModifier);
                type(findBox, u"名称12"_s);
                key(findBox, Qt::Key_Return, u"\r"_s);
                key(findBox, Qt::Key_F3);
                QVERIFY(p.grab().save(dir + u"/report-preview-find.png"_s));
                QTest::mouseClick(p.findChild<QWidget *>(u"pageSetup"_s), Qt::LeftButton);
                key(focusIn(&p), Qt::Key_Escape);
            },
            [&] {
                m_answer->then([dir](QWidget *w) {
                    QVERIFY(w->grab().save(dir + u"/report-page-setup.png"_s));
                    ModalAnswerer::pressButton(w, u"cancel"_s);
                });
            });
    }

    // Long work shows a progress window whose cancel stops it: a search keeps
    // what it found, a PDF export leaves no file.
    void longWorkCancels()
    {
        makeGrid(50000);
        const QString pdf = m_dir.filePath(u"cancelled.pdf"_s);
        preview(
            [&](ReportPreview &p) {
                p.setProgressDelay(0);
                QVERIFY(!p.find(u"不存在的文字"_s));
                QCOMPARE(p.statusText(), u"查找已取消。"_s);
                QTest::mouseClick(p.findChild<QWidget *>(u"exportPdf"_s), Qt::LeftButton);
                QCOMPARE(p.statusText(), u"导出PDF已取消。"_s);
                key(focusIn(&p), Qt::Key_Escape);
            },
            [&] {
                m_answer->press(u"取消"_s);
                answerFileDialog(pdf);
                m_answer->press(u"取消"_s);
            });
        QCOMPARE(m_answer->seen.size(), 2);
        QCOMPARE(m_answer->seen[0].className, u"QProgressDialog"_s);
        QCOMPARE(m_answer->seen[1].className, u"QProgressDialog"_s);
        QCOMPARE(m_answer->seen[0].face, Face);
        QCOMPARE(m_answer->seen[1].face, Face);
        QCOMPARE(m_fileDialogFaces, QStringList { Face + u'|' + Face });
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(QDir(m_dir.path()).entryList({ u".cancelled*"_s }, QDir::Files | QDir::Hidden), QStringList());
    }

    // The form's window going away while the preview is up (the host closed
    // the screen) takes the preview along; the run returns.
    void windowClosedUnderThePreview()
    {
        makeGrid(30);
        QPointer<ReportPreview> shown;
        preview([&](ReportPreview &p) {
            shown = &p;
            m_grid.reset();
        });
        QVERIFY(shown.isNull());
        QVERIFY(!m_report->printControl());
    }

    // The title block as the query form fills it: its condition text from the
    // real grid, the header height for that many lines (18 a line + 28). On the
    // preview at 100 % and on paper at 288 dpi every line is whole inside the
    // header band, with a clear pixel row between one line and the next; so are
    // the three lines of the page foot.
    void headerLinesClearEachOther_data()
    {
        QTest::addColumn<LogicRows>("search");
        QTest::addColumn<LogicRows>("filter");
        QTest::addColumn<int>("lines");
        const LogicRow code = expression(Code, u"部分等于"_s, u"01"_s);
        const LogicRow name = expression(Name, u"部分不等于"_s, u"北"_s);
        const LogicRow city = expression(Name, u"部分等于"_s, u"城"_s);
        const LogicRow both { {}, {}, {}, u"并且"_s };
        QTest::newRow("one search row") << LogicRows { code } << LogicRows {} << 2;
        QTest::newRow("one filter row") << LogicRows {} << LogicRows { city } << 2;
        QTest::newRow("search and filter") << LogicRows { code } << LogicRows { city } << 4;
        QTest::newRow("three lines") << LogicRows { code, both, name } << LogicRows {} << 3;
        QTest::newRow("five lines") << LogicRows { code, both, name } << LogicRows { city } << 5;
    }
    void headerLinesClearEachOther()
    {
        QFETCH(LogicRows, search);
        QFETCH(LogicRows, filter);
        QFETCH(int, lines);
        makeGrid(5);
        m_grid->QueryConditions = search;
        m_grid->FilterConditions = filter;
        // What the form shows in its condition panel and counts as lines.
        QString condition = m_grid->ConditionText({});
        condition.replace(u"\r\n"_s, u"\n"_s);
        QStringList shown = condition.split(u'\n');
        if (shown.last().isEmpty())
            shown.removeLast();
        QCOMPARE(shown.size(), lines);
        ReportVariables::global().set(u"Condi"_s, condition);
        const int height = listingHeaderHeight(true, lines);

        const DataSetReportSource source(*m_ds);
        const auto paint = [&](int headerHeight, double dpi) {
            m_report->setPageHeaderHeight(headerHeight);
            [&] { QVERIFY(m_report->BuildGridReport().ok()); }();
            auto report = PreparedReport::prepare(std::make_shared<const ReportLayout>(*m_report->layout()), 5);
            [&] { QVERIFY(report.ok()); }();
            return std::pair { paintPage(*report, source, 0, dpi), report->placements(0) };
        };
        for (const double dpi : { 96.0, 288.0 }) {
            const double s = dpi / 96;
            const int top = qRound(38 * s);
            const int bottom = qRound((38 + height) * s);
            const auto [page, placed] = paint(height, dpi);
            // The title and each condition line, one run of ink each.
            const std::vector<Run> runs = inkRuns(page, 0, bottom);
            QVERIFY2(int(runs.size()) == 1 + lines,
                qPrintable(u"%1 dpi, header 38..%2: %3"_s.arg(dpi).arg(38 + height).arg(describe(runs))));
            QVERIFY2(runs.front().top >= top, qPrintable(describe(runs)));
            // Whole: in a band 100 units taller the same lines cover the same
            // pixel rows, and nothing shows below where the band ended.
            const auto [tall, unused] = paint(height + 100, dpi);
            const std::vector<Run> tallRuns = inkRuns(tall, 0, qRound((38 + height + 100) * s));
            QVERIFY2(describe(tallRuns) == describe(runs),
                qPrintable(u"%1 dpi: %2 in a taller band, %3 in the header's"_s.arg(dpi).arg(
                    describe(tallRuns), describe(runs))));

            // The page foot: its three lines apart, inside their band.
            const auto foot = std::find_if(
                placed.begin(), placed.end(), [](const BandPlacement &b) { return b.kind == BandKind::ColumnFooter; });
            QVERIFY(foot != placed.end());
            const int footTop = qRound((foot->y + 2) * s); // clear of the last row's border
            const int footBottom
                = qRound((foot->y + m_report->layout()->pages[0].bandHeight(BandKind::ColumnFooter)) * s);
            const std::vector<Run> footRuns = inkRuns(page, footTop, footBottom);
            QVERIFY2(footRuns.size() == 3, qPrintable(u"%1 dpi: %2"_s.arg(dpi).arg(describe(footRuns))));
            QVERIFY2(footRuns.back().bottom <= footBottom,
                qPrintable(u"%1 dpi: %2 in %3..%4"_s.arg(dpi).arg(describe(footRuns)).arg(footTop).arg(footBottom)));
        }
    }

    // The preview's rules at zooms between the steps: every rule of the table,
    // across the rows and between the columns, is the same number of whole
    // black pixels thick, none a blurred grey pair.
    void rulesEvenAtEveryZoom_data()
    {
        QTest::addColumn<double>("zoom");
        for (const double zoom : { 0.8, 1.0, 1.1, 1.25, 1.5, 1.75, 2.3 })
            QTest::newRow(qPrintable(u"%1 %"_s.arg(qRound(zoom * 100)))) << zoom;
    }
    void rulesEvenAtEveryZoom()
    {
        QFETCH(double, zoom);
        makeGrid(30);
        QImage image;
        static constexpr QPoint Offset(7, 5);
        preview([&](ReportPreview &p) {
            p.setZoom(zoom);
            // Painted away from the image's corner, as the window paints the
            // page inside itself.
            QWidget *view = p.findChild<QWidget *>(u"page"_s);
            image = QImage(view->size() + QSize(2 * Offset.x(), 2 * Offset.y()), QImage::Format_RGB32);
            image.fill(Qt::black);
            view->render(&image, Offset);
            key(focusIn(&p), Qt::Key_Escape);
        });
        QVERIFY(!image.isNull());
        {
            const PreparedReport &report = *m_report->prepared();
            const ReportLayout &layout = report.layout();
            const std::vector<BandPlacement> placed = report.placements(0);
            // Where the page lies in the view: the paper is the white inside the grey.
            int paperLeft = Offset.x();
            while (paperLeft < image.width() && qGray(image.pixel(paperLeft, image.height() / 2)) != 255)
                ++paperLeft;
            int paperTop = Offset.y();
            while (paperTop < image.height() && qGray(image.pixel(image.width() / 2, paperTop)) != 255)
                ++paperTop;
            const auto toView = [&](double units) { return paperLeft + units * zoom; };
            const auto toViewY = [&](double units) { return paperTop + units * zoom; };
            const ReportObject &nameCell = layout.pages[0].band(BandKind::MasterData)->objects[0];
            const int tableTop = placed[0].y + layout.pages[0].band(BandKind::Title)->objects[1].rect.top();
            int tableBottom = 0;
            for (const BandPlacement &b : placed)
                if (b.kind == BandKind::MasterFooter)
                    tableBottom = b.y + layout.pages[0].bandHeight(BandKind::MasterFooter);
            QVERIFY(tableBottom > tableTop);

            // Runs of dark pixels along a line of the image: thickness and the
            // lightest pixel of each.
            struct Rule
            {
                int at, thickness, lightest;
            };
            const auto rules = [&](bool down, int fixed, int from, int to) {
                std::vector<Rule> out;
                for (int i = from; i < to; ++i) {
                    const int gray = qGray(down ? image.pixel(fixed, i) : image.pixel(i, fixed));
                    if (gray > 230)
                        continue;
                    if (!out.empty() && out.back().at + out.back().thickness == i) {
                        ++out.back().thickness;
                        out.back().lightest = std::max(out.back().lightest, gray);
                    } else {
                        out.push_back({ i, 1, gray });
                    }
                }
                return out;
            };
            const auto even = [&](const std::vector<Rule> &found, size_t expected, const char *what) {
                QStringList seen;
                for (const Rule &r : found)
                    seen << u"%1:%2px/%3"_s.arg(r.at).arg(r.thickness).arg(r.lightest);
                QVERIFY2(found.size() == expected, qPrintable(u"%1: %2"_s.arg(QLatin1String(what), seen.join(u' '))));
                for (const Rule &r : found)
                    QVERIFY2(r.thickness == found.front().thickness && r.lightest < 64,
                        qPrintable(u"%1: %2"_s.arg(QLatin1String(what), seen.join(u' '))));
            };
            // Down the name column, right of its text: the titles' top, every
            // row's top and the footer row's top and bottom.
            const int x = qRound(toView(nameCell.rect.left() + nameCell.rect.width() * 0.8));
            const int rows = report.page(0).rowCount;
            const std::vector<Rule> across
                = rules(true, x, qRound(toViewY(tableTop - 1.5)), qRound(toViewY(tableBottom + 1.5)));
            even(across, size_t(rows + 3), "across the rows");
            // Where the table is: its top rule on the titles' top edge.
            QVERIFY(!across.empty());
            QVERIFY2(qAbs(across.front().at - toViewY(tableTop)) <= 1,
                qPrintable(u"top rule at %1, the titles' top at %2"_s.arg(across.front().at).arg(toViewY(tableTop))));
            // Across a row just under its top rule, above its text: the column
            // lines, the first column's left side and the last one's right.
            const int y = qRound(toViewY(placed[1].y + 3));
            const auto &cells = layout.pages[0].band(BandKind::MasterData)->objects;
            const std::vector<Rule> between = rules(
                false, y, qRound(toView(cells.front().rect.left() - 3)), qRound(toView(cells.back().rect.right() + 4)));
            even(between, cells.size() + 1, "between the columns");
            QVERIFY(!between.empty());
            QVERIFY2(qAbs(between.front().at - toView(cells.front().rect.left())) <= 1,
                qPrintable(u"left rule at %1, the first column at %2"_s.arg(between.front().at)
                               .arg(toView(cells.front().rect.left()))));
        }
    }

    // Find looks only at what the page shows: a name too long for its column
    // prints its first line, so a word of its second line is not found, while
    // one of its first line is; a condition line the header band does not reach
    // is not printed and not found either.
    void findsOnlyWhatThePageShows()
    {
        makeGrid(3);
        const QString longName = u"东城商圈一二三四五六七八九十甲乙丙丁戊己庚辛"_s;
        m_ds->append();
        m_ds->fieldByName(u"f_sqbm"_s)->setValue(u"SQ9999"_s);
        m_ds->fieldByName(u"f_sqmc"_s)->setValue(longName);
        m_ds->post();
        m_grid->setGridColumnWidth(0, 100);
        // Three lines of conditions in a header made for one.
        ReportVariables::global().set(u"Condi"_s, u"过滤条件:\n    商圈名称:部分等于东\n    看不见的条件"_s);
        m_report->setPageHeaderHeight(listingHeaderHeight(true, 2));
        // Found or not, and the hits, for each text; checked after the preview
        // closed so that a failure cannot leave it open.
        QList<std::pair<bool, size_t>> found;
        preview([&](ReportPreview &p) {
            for (const QString &text : { u"东城商圈一二"_s, u"丁戊己"_s, u"部分等于东"_s, u"看不见"_s })
                found.append({ p.find(text), size_t(p.hitCount()) });
            key(focusIn(&p), Qt::Key_Escape);
        });
        QCOMPARE(found.size(), 4);
        QCOMPARE(found[0], std::pair(true, size_t(1))); // the name's first line
        QCOMPARE(found[1], std::pair(false, size_t(0))); // its second line, cut
        QCOMPARE(found[2], std::pair(true, size_t(1))); // the condition the header shows
        QCOMPARE(found[3], std::pair(false, size_t(0))); // the one below its band
    }

    // A page the listing cannot be laid out on is a message, and the run returns.
    void refusedPageIsAMessage()
    {
        makeGrid(3);
        m_report->PageLayout.topMargin = 1000;
        m_answer->press(u"Ok"_s);
        m_report->PreviewListing();
        QVERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.size(), 1);
        QCOMPARE(m_answer->seen[0].className, u"QMessageBox"_s);
        QVERIFY(!m_report->prepared());
    }
};

QTEST_MAIN(TestReportPreview)
#include "tst_reportpreview.moc"

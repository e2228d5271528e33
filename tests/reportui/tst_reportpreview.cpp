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
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

using namespace sqda;
using namespace sqda::report;
using namespace sqda::test;
using namespace Qt::StringLiterals;

namespace {

const QString Code = u"商圈编码"_s;
const QString Name = u"商圈名称"_s;
const QString Level = u"级别"_s;

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

} // namespace

class TestReportPreview : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ClientDataSet> m_ds;
    std::unique_ptr<TAdvDBGridEh> m_grid;
    std::unique_ptr<TRMFormReport> m_report;
    std::unique_ptr<ModalAnswerer> m_answer;

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
        m_answer->then([path](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            QVERIFY(dialog);
            auto *name = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
            QVERIFY(name);
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
                m_answer->drive([](QWidget *w) {
                    auto *d = qobject_cast<PageSetupDialog *>(w);
                    QVERIFY(d);
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

        m_answer->press(u"Ok"_s);
        m_report->PrintListing();
        QVERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.size(), 2);
        QCOMPARE(m_answer->seen[1].text, noPrinterMessage());

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

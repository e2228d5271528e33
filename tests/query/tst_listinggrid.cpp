// The listing grid under a real offscreen screen: title clicks with the mouse
// (with and without Ctrl, Ctrl released as a key), the sort they leave on the
// dataset, the count footer, the filter through the condition builder, the
// column layout in a real settings file, and the painted title and footer.
#include "ModalAnswerer.h"

#include "data/ClientDataSet.h"
#include "host/HostContext.h"
#include "query/QueryButton.h"
#include "query/TAdvDBGridEh.h"
#include "query/TFrmQuerySet.h"
#include "ui/DialogState.h"
#include "ui/FlatComboBox.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPaintEngine>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <QTest>

using namespace sqda;
using namespace sqda::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(sqda::LogicRows)

namespace {

const QString Code = u"商圈编码"_s;
const QString Name = u"商圈名称"_s;

LogicRow expr(const QString &label, const QString &condition, const QString &value)
{
    return { label, condition, value, {} };
}
LogicRow rel(const QString &relation)
{
    return { {}, {}, {}, relation };
}

struct Area
{
    const char *code;
    const char *name;
};

// The query form's row set: code, name and the department, which is not shown.
DataStore areas(std::initializer_list<Area> rows)
{
    DataStore s({ { u"f_sqbm"_s, FieldType::String, 12, Code }, { u"f_sqmc"_s, FieldType::String, 40, Name },
        { u"f_bmbm"_s, FieldType::String, 12, u"部门编码"_s } });
    for (const Area &a : rows) {
        s.appendString(0, QString::fromUtf8(a.code));
        s.appendString(1, QString::fromUtf8(a.name));
        s.appendString(2, u"0101");
        s.commitRow();
    }
    return s;
}

// `n` areas coded 0000, 0001, ... named 区0, 区1, ...: more rows than a screen holds.
DataStore manyAreas(int n)
{
    DataStore many = areas({});
    for (int i = 0; i < n; ++i) {
        many.appendString(0, QString::asprintf("%04d", i));
        many.appendString(1, u"区"_s + QString::number(i));
        many.appendString(2, u"0101");
        many.commitRow();
    }
    return many;
}

DataStore fiveAreas()
{
    // Pinyin order of the names: 北区 < 东城 < 河东 < 西城; "东城" twice.
    return areas({ { "01", "东城" }, { "02", "西城" }, { "03", "河东" }, { "04", "北区" }, { "05", "东城" } });
}

// Inside the condition builder: empties the list and enters one expression as
// a user does (field and condition picked, the value typed, "加  入").
void enterOnly(TFrmQuerySet *dlg, const QString &label, const QString &condition, const QString &value)
{
    QTest::mouseClick(dlg->btnClearLogic, Qt::LeftButton);
    dlg->cbxField->setCurrentIndex(dlg->cbxField->findText(label));
    dlg->cbxFactor->setCurrentIndex(dlg->cbxFactor->findText(condition));
    dlg->editValue->clear();
    QTest::keyClicks(dlg->editValue, value);
    QTest::mouseClick(dlg->btnAddLogic, Qt::LeftButton);
}

GridColumn column(const QString &field, int width, int tag = 0, bool visible = true)
{
    GridColumn c;
    c.fieldName = field;
    c.width = width;
    c.tag = tag;
    c.visible = visible;
    return c;
}

void key(QWidget *w, Qt::Key k, QKeyEvent::Type type, Qt::KeyboardModifiers mods, const QString &text = {})
{
    QTest::sendKeyEvent(type == QEvent::KeyPress ? QTest::Press : QTest::Release, w, k, text, mods);
}

// A paint device that records the text drawn on it with the font and colour
// each piece was drawn in, so a test sees what the painting code really used.
class TextRecorder : public QPaintDevice
{
public:
    struct Piece
    {
        QString text;
        QFont font;
        QColor color;
    };
    explicit TextRecorder(QSize size)
        : m_engine(this)
        , m_size(size)
    {
    }
    QPaintEngine *paintEngine() const override { return &m_engine; }
    QList<Piece> pieces;
    // The first piece whose text starts with `text`.
    std::optional<Piece> find(const QString &text) const
    {
        for (const Piece &p : pieces)
            if (p.text.startsWith(text))
                return p;
        return std::nullopt;
    }

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return QPaintDevice::metric(m);
        }
    }

private:
    class Engine : public QPaintEngine
    {
    public:
        explicit Engine(TextRecorder *device)
            : QPaintEngine(AllFeatures)
            , m_device(device)
        {
        }
        bool begin(QPaintDevice *) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState &state) override
        {
            if (state.state() & DirtyPen)
                m_pen = state.pen();
        }
        void drawTextItem(const QPointF &, const QTextItem &item) override
        {
            m_device->pieces.append({ item.text(), item.font(), m_pen.color() });
        }
        void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override { }
        void drawImage(const QRectF &, const QImage &, const QRectF &, Qt::ImageConversionFlags) override { }
        void drawPath(const QPainterPath &) override { }
        void drawPolygon(const QPointF *, int, PolygonDrawMode) override { }
        void drawPolygon(const QPoint *, int, PolygonDrawMode) override { }
        Type type() const override { return User; }

    private:
        TextRecorder *m_device;
        QPen m_pen;
    };
    mutable Engine m_engine;
    QSize m_size;
};

} // namespace

class TestListingGrid : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<ClientDataSet> m_ds;
    std::unique_ptr<TAdvDBGridEh> m_grid;
    std::unique_ptr<ModalAnswerer> m_answer;

    static void setUp(TAdvDBGridEh &grid, ClientDataSet *ds)
    {
        grid.setDataSet(ds);
        grid.addColumn(column(u"f_sqbm"_s, 80));
        grid.addColumn(column(u"f_sqmc"_s, 164));
        grid.addColumn(column(u"f_bmbm"_s, 64, 1, false));
        grid.AutoSorted = true;
        grid.setMultiSortMarking(true);
        grid.setFooterShown(true);
        grid.titleColor = QColor(0, 128, 0);
        grid.resize(400, 220);
    }

    // The grid as the query form sets it up: code and name columns, the
    // department column hidden by Tag 1, sorting and the footer on.
    TAdvDBGridEh *makeGrid(DataStore rows)
    {
        m_ds = std::make_unique<ClientDataSet>();
        m_ds->setPersistentFields({ { u"f_sqbm"_s, FieldType::String, 12, Code },
            { u"f_sqmc"_s, FieldType::String, 40, Name }, { u"f_bmbm"_s, FieldType::String, 12, u"部门编码"_s } });
        m_grid = std::make_unique<TAdvDBGridEh>();
        setUp(*m_grid, m_ds.get());
        m_grid->show();
        if (!QTest::qWaitForWindowExposed(m_grid.get()))
            qWarning("grid not exposed");
        m_ds->loadStore(std::move(rows));
        return m_grid.get();
    }

    // A real click on the title of grid column `gc`.
    void clickTitle(int gc, Qt::KeyboardModifiers mods = {})
    {
        QHeaderView *h = m_grid->horizontalHeader();
        const int s = m_grid->sectionOfGridColumn(gc);
        const QPoint at(h->sectionViewportPosition(s) + h->sectionSize(s) / 2, h->height() / 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, mods, at);
    }
    void releaseCtrl(QWidget *over) { key(over, Qt::Key_Control, QEvent::KeyRelease, Qt::NoModifier); }

    QStringList cells(const QString &field) const
    {
        QStringList out;
        const int c = m_ds->fieldByName(field)->index();
        DataSetModel *m = m_grid->dataModel();
        for (int r = 0; r < m->rowCount(); ++r)
            out << m->data(m->index(r, c)).toString();
        return out;
    }
    QString rows() const
    {
        QStringList out;
        const QStringList codes = cells(u"f_sqbm"_s);
        const QStringList names = cells(u"f_sqmc"_s);
        for (int i = 0; i < codes.size(); ++i)
            out << codes[i] + names[i];
        return out.join(u' ');
    }
    QString marks() const
    {
        QStringList out;
        for (int gc : m_grid->sortMarkedColumns())
            out << m_grid->gridColumn(gc).fieldName
                    + (m_grid->gridColumn(gc).sortMark == SortMark::Up ? u"+"_s : u"-"_s);
        return out.join(u',');
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("KALMORA_HOME", m_home.path().toLocal8Bit());
        ensureLibraryInitialized();
    }
    void init()
    {
        resetDialogStateForTests();
        m_answer = std::make_unique<ModalAnswerer>();
    }
    void cleanup()
    {
        if (m_answer) {
            QVERIFY2(m_answer->unexpected.isEmpty(), qPrintable(m_answer->unexpected.value(0).text));
            QVERIFY(m_answer->idle());
        }
        m_answer.reset();
        m_grid.reset();
        m_ds.reset();
    }

    // A click without Ctrl: name descending, ascending, descending again, each
    // time alone; the index "customindex" is replaced, never added again.
    void plainClicksCycleOneColumn()
    {
        makeGrid(fiveAreas());
        QAbstractItemModelTester tester(m_grid->dataModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        clickTitle(0); // code down first, to see it go
        QCOMPARE(marks(), u"f_sqbm-"_s);
        QCOMPARE(rows(), u"05东城 04北区 03河东 02西城 01东城"_s);
        clickTitle(1);
        QCOMPARE(marks(), u"f_sqmc-"_s);
        QCOMPARE(m_grid->gridColumn(0).sortMark, SortMark::None);
        // Equal names keep the order they were loaded in.
        QCOMPARE(rows(), u"02西城 03河东 01东城 05东城 04北区"_s);
        clickTitle(1);
        QCOMPARE(marks(), u"f_sqmc+"_s);
        QCOMPARE(rows(), u"04北区 01东城 05东城 03河东 02西城"_s);
        clickTitle(1);
        QCOMPARE(marks(), u"f_sqmc-"_s);
        QCOMPARE(rows(), u"02西城 03河东 01东城 05东城 04北区"_s);
        QCOMPARE(m_ds->indexDefs().count(), 1);
        const IndexDef *def = m_ds->indexDefs().find(u"customindex"_s);
        QVERIFY(def);
        QCOMPARE(def->fields, u"f_sqmc"_s);
        QCOMPARE(def->descFields, u"f_sqmc"_s);
        QCOMPARE(def->options, IndexOptions(IndexOption::CaseInsensitive));
        QCOMPARE(m_ds->indexName(), u"customindex"_s);
    }

    // Ctrl+clicks mark several columns and sort once Ctrl goes up; a third
    // Ctrl+click on a column takes it out of the sort.
    void ctrlClicksMarkSeveralAndSortOnRelease()
    {
        makeGrid(fiveAreas());
        int reports = 0;
        connect(m_ds.get(), &ClientDataSet::layoutChanged, this, [&reports] { ++reports; });
        clickTitle(1, Qt::ControlModifier);
        clickTitle(0, Qt::ControlModifier);
        QCOMPARE(marks(), u"f_sqmc-,f_sqbm-"_s);
        QCOMPARE(m_grid->sortMarkOrder(1), 1);
        QCOMPARE(m_grid->sortMarkOrder(0), 2);
        // Nothing sorted while Ctrl is held.
        QVERIFY(m_grid->sortChangePending());
        QCOMPARE(reports, 0);
        QCOMPARE(rows(), u"01东城 02西城 03河东 04北区 05东城"_s);
        releaseCtrl(m_grid.get());
        QVERIFY(!m_grid->sortChangePending());
        QCOMPARE(rows(), u"02西城 03河东 05东城 01东城 04北区"_s);
        const IndexDef *def = m_ds->indexDefs().find(u"customindex"_s);
        QCOMPARE(def->fields, u"f_sqmc;f_sqbm"_s);
        QCOMPARE(def->descFields, u"f_sqmc;f_sqbm"_s);

        // Code goes up: name descending, then code ascending. Ctrl released
        // over another widget still counts.
        clickTitle(0, Qt::ControlModifier);
        releaseCtrl(m_grid->horizontalHeader()->viewport());
        QCOMPARE(marks(), u"f_sqmc-,f_sqbm+"_s);
        QCOMPARE(m_ds->indexDefs().find(u"customindex"_s)->descFields, u"f_sqmc"_s);
        QCOMPARE(rows(), u"02西城 03河东 01东城 05东城 04北区"_s);

        // Up → none: the code leaves the sort.
        clickTitle(0, Qt::ControlModifier);
        releaseCtrl(m_grid.get());
        QCOMPARE(marks(), u"f_sqmc-"_s);
        QCOMPARE(m_grid->sortMarkOrder(0), 0);
        QCOMPARE(m_ds->indexDefs().find(u"customindex"_s)->fields, u"f_sqmc"_s);
        QCOMPARE(m_ds->indexDefs().count(), 1);

        // A plain click drops the other marks at once.
        clickTitle(0);
        QCOMPARE(marks(), u"f_sqbm-"_s);
        QCOMPARE(m_grid->gridColumn(1).sortMark, SortMark::None);
    }

    // Without the multi-column option a Ctrl+click is a plain click.
    void ctrlClickWithoutMultiMarkingIsPlain()
    {
        makeGrid(fiveAreas());
        m_grid->setMultiSortMarking(false);
        clickTitle(1, Qt::ControlModifier);
        clickTitle(0, Qt::ControlModifier);
        QVERIFY(!m_grid->sortChangePending());
        QCOMPARE(marks(), u"f_sqbm-"_s);
        QCOMPARE(rows(), u"05东城 04北区 03河东 02西城 01东城"_s);
    }

    // AutoSorted off: the change is only signalled, the dataset stays as it is.
    void withoutAutoSortTheChangeIsSignalled()
    {
        makeGrid(fiveAreas());
        m_grid->AutoSorted = false;
        int signalled = 0;
        connect(m_grid.get(), &DBGridEh::sortMarkingChanged, this, [&signalled] { ++signalled; });
        clickTitle(1);
        QCOMPARE(signalled, 1);
        QVERIFY(!m_ds->indexDefs().find(u"customindex"_s));
    }

    // AutoSorted off with Ctrl: the change is signalled once, when Ctrl goes up.
    void ctrlClicksWithoutAutoSortSignalOnRelease()
    {
        makeGrid(fiveAreas());
        m_grid->AutoSorted = false;
        int signalled = 0;
        connect(m_grid.get(), &DBGridEh::sortMarkingChanged, this, [&signalled] { ++signalled; });
        clickTitle(1, Qt::ControlModifier);
        clickTitle(0, Qt::ControlModifier);
        QCOMPARE(marks(), u"f_sqmc-,f_sqbm-"_s);
        QCOMPARE(signalled, 0);
        releaseCtrl(m_grid.get());
        QCOMPARE(signalled, 1);
        QVERIFY(!m_ds->indexDefs().find(u"customindex"_s));
        QCOMPARE(rows(), u"01东城 02西城 03河东 04北区 05东城"_s);
    }

    // Sorting an empty listing does nothing; loading new rows or closing clears
    // the marks, and the new rows come in the order they were loaded in.
    void emptyListingAndReloads()
    {
        makeGrid(areas({}));
        clickTitle(1);
        QVERIFY(!m_ds->indexDefs().find(u"customindex"_s));

        m_ds->loadStore(fiveAreas());
        QCOMPARE(marks(), QString());
        clickTitle(1);
        clickTitle(0, Qt::ControlModifier);
        releaseCtrl(m_grid.get());
        QCOMPARE(marks(), u"f_sqmc-,f_sqbm-"_s);

        m_ds->loadStore(areas({ { "07", "北区" }, { "06", "西城" } }));
        QCOMPARE(marks(), QString());
        QCOMPARE(m_grid->gridColumn(0).sortMark, SortMark::None);
        QCOMPARE(m_grid->gridColumn(1).sortMark, SortMark::None);
        QCOMPARE(rows(), u"07北区 06西城"_s);

        clickTitle(1);
        QCOMPARE(marks(), u"f_sqmc-"_s);
        // A row appended into the sorted view, or the rows emptied, keep the
        // rows' order and the marks; the same rows loaded again as a packet into
        // the open dataset are a reload: marks go, the count is written again.
        m_grid->ShowSumCount = true;
        m_ds->append();
        m_ds->fieldByName(u"f_sqbm")->setValue(u"08"_s);
        m_ds->fieldByName(u"f_sqmc")->setValue(u"东城"_s);
        m_ds->fieldByName(u"f_bmbm")->setValue(u"0101"_s);
        m_ds->post();
        QCOMPARE(marks(), u"f_sqmc-"_s);
        QCOMPARE(rows(), u"06西城 08东城 07北区"_s);
        // Each re-sort reorders the rows once, and a reload not at all (the old
        // rows are not put back in store order on their way out).
        QSignalSpy relayouts(m_ds.get(), &ClientDataSet::layoutAboutToChange);
        clickTitle(1);
        QCOMPARE(rows(), u"07北区 08东城 06西城"_s);
        QCOMPARE(relayouts.count(), 1);
        QVERIFY(m_ds->loadPacket(m_ds->data()));
        QCOMPARE(relayouts.count(), 1);
        QCOMPARE(marks(), QString());
        QCOMPARE(m_ds->indexName(), QString());
        QCOMPARE(rows(), u"07北区 06西城 08东城"_s);
        QCOMPARE(m_grid->footerCellText(0), u"合计:3条"_s);
        clickTitle(1);
        m_ds->emptyDataSet();
        QCOMPARE(marks(), u"f_sqmc-"_s);
        m_ds->close();
        QCOMPARE(marks(), QString());
    }

    // UpdateCountFooter writes into the first visible column only, and only
    // over nothing or a static text; every old "合计" text goes first.
    void countFooter_data()
    {
        QTest::addColumn<bool>("codeShown");
        QTest::addColumn<int>("codeFooter");
        QTest::addColumn<QString>("codeText");
        QTest::addColumn<QString>("nameText");
        QTest::addColumn<QString>("wantCode");
        QTest::addColumn<QString>("wantName");
        const int Nothing = int(FooterKind::Nothing), Sum = int(FooterKind::Sum), Static = int(FooterKind::StaticText);
        QTest::newRow("first column empty") << true << Nothing << QString() << QString() << u"合计:5条"_s << QString();
        QTest::newRow("first column static text replaced")
            << true << Static << u"小计"_s << QString() << u"合计:5条"_s << QString();
        QTest::newRow("first column hidden: the next one")
            << false << Static << u"合计:9条"_s << QString() << QString() << u"合计:5条"_s;
        // A sum in the first visible column: no count anywhere, and the old
        // count in the other column is still cleared.
        QTest::newRow("sum in the first visible column")
            << true << Sum << QString() << u"合计:9条"_s << u"15"_s << QString();
        QTest::newRow("other static text kept")
            << true << Nothing << QString() << u"单位:个"_s << u"合计:5条"_s << u"单位:个"_s;
    }
    void countFooter()
    {
        QFETCH(bool, codeShown);
        QFETCH(int, codeFooter);
        QFETCH(QString, codeText);
        QFETCH(QString, nameText);
        QFETCH(QString, wantCode);
        QFETCH(QString, wantName);
        makeGrid(fiveAreas());
        m_grid->setGridColumnVisible(0, codeShown);
        m_grid->setFooter(0, FooterKind(codeFooter), codeText);
        m_grid->setFooter(1, nameText.isEmpty() ? FooterKind::Nothing : FooterKind::StaticText, nameText);
        m_grid->UpdateCountFooter();
        QCOMPARE(m_grid->footerCellText(0), wantCode);
        QCOMPARE(m_grid->footerCellText(1), wantName);
    }

    // With ShowSumCount the count follows the dataset's opening and reloads.
    void countFooterFollowsLoads()
    {
        makeGrid(areas({}));
        m_grid->ShowSumCount = true;
        m_ds->loadStore(areas({}));
        QCOMPARE(m_grid->footerCellText(0), u"合计:0条"_s);
        m_ds->loadStore(fiveAreas());
        QCOMPARE(m_grid->footerCellText(0), u"合计:5条"_s);
    }

    // The count written on its own (no rows changed to bring a repaint) still
    // reaches the screen: the footer is painted again and assistive
    // technology reads the new text.
    void countFooterWrittenReachesTheScreen()
    {
        makeGrid(fiveAreas());
        QTest::qWait(50); // the load's own repaints and reading are done
        QCOMPARE(m_grid->footerCellText(0), QString());
        QCOMPARE(m_grid->accessibleDescription(), QString());
        struct PaintCounter : QObject
        {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *e) override
            {
                paints += e->type() == QEvent::Paint;
                return false;
            }
        } counter;
        m_grid->footerWidget()->installEventFilter(&counter);
        m_grid->UpdateCountFooter();
        QTRY_VERIFY(counter.paints > 0);
        QCOMPARE(m_grid->footerCellText(0), u"合计:5条"_s);
        QTRY_COMPARE(m_grid->accessibleDescription(), u"合计:5条"_s);
        QCOMPARE(m_grid->footerWidget()->accessibleDescription(), u"合计:5条"_s);
    }

    // A filter or a new order repaints the rows; the titles only when their
    // marks change.
    void titlesRepaintOnlyWhenTheyChange()
    {
        makeGrid(fiveAreas());
        QTest::qWait(50);
        struct PaintCounter : QObject
        {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *e) override
            {
                paints += e->type() == QEvent::Paint;
                return false;
            }
        } titles, cells;
        m_grid->horizontalHeader()->viewport()->installEventFilter(&titles);
        m_grid->viewport()->installEventFilter(&cells);
        m_ds->setFilter(u"f_sqmc LIKE '%城%'"_s);
        m_ds->setFiltered(true);
        QTRY_VERIFY(cells.paints > 0);
        QTest::qWait(50);
        QCOMPARE(rows(), u"01东城 02西城 05东城"_s);
        QCOMPARE(titles.paints, 0);

        clickTitle(1);
        QTRY_VERIFY(titles.paints > 0);
        QCOMPARE(marks(), u"f_sqmc-"_s);
        titles.paints = cells.paints = 0;
        m_ds->setFiltered(false);
        QTRY_VERIFY(cells.paints > 0);
        QTest::qWait(50);
        QCOMPARE(m_ds->recordCount(), 5);
        QCOMPARE(titles.paints, 0);
    }

    // The filter dialog in filter mode: "部分不等于" is evaluated by the
    // dataset itself, so rows of later loads are filtered right too.
    void filterThroughTheConditionBuilder()
    {
        makeGrid(fiveAreas());
        m_grid->ShowSumCount = true;
        m_grid->FilterConditions = { expr(Name, u"部分不等于"_s, u"东"_s) };
        m_answer->press(u"btnOK"_s);
        QVERIFY(m_grid->ShowFilterDialog(u"商圈档案过滤"_s, true));
        QCOMPARE(m_ds->filter(), u"( f_sqmc NOT LIKE '%东%' )"_s);
        QVERIFY(m_ds->filtered());
        QCOMPARE(rows(), u"02西城 04北区"_s);
        // The rows' own header (hidden) follows the count: the scroll range and
        // row positions come from it.
        QCOMPARE(m_grid->verticalHeader()->count(), 2);
        QCOMPARE(m_grid->footerCellText(0), u"合计:2条"_s);
        QCOMPARE(m_grid->ConditionText({}), u"过滤条件:\r\n    商圈名称:部分不等于东"_s);

        // A later search brings 东门, which the exclusion list of the old
        // scheme would have let through.
        m_ds->loadStore(areas({ { "06", "东门" }, { "07", "南区" } }));
        QCOMPARE(rows(), u"07南区"_s);
        QCOMPARE(m_grid->footerCellText(0), u"合计:1条"_s);

        // Two such conditions joined by "或者".
        m_grid->FilterConditions
            = { expr(Name, u"部分不等于"_s, u"东"_s), rel(u"或者"_s), expr(Name, u"部分不等于"_s, u"南"_s) };
        m_answer->press(u"btnOK"_s);
        QVERIFY(m_grid->ShowFilterDialog(u"商圈档案过滤"_s, true));
        QCOMPARE(rows(), u"06东门 07南区"_s);
        QCOMPARE(m_grid->verticalHeader()->count(), 2);

        // Cancel changes nothing, whatever the rows became inside the dialog.
        const LogicRows applied = m_grid->FilterConditions;
        const QString filter = m_ds->filter();
        m_answer->then([](QWidget *w) {
            auto *dlg = qobject_cast<TFrmQuerySet *>(w);
            QVERIFY(dlg);
            enterOnly(dlg, Code, u"等于"_s, u"06"_s);
            QCOMPARE(dlg->rows(), LogicRows({ expr(Code, u"等于"_s, u"06"_s) }));
            QTest::mouseClick(dlg->btnExit, Qt::LeftButton);
        });
        QVERIFY(!m_grid->ShowFilterDialog(u"商圈档案过滤"_s, true));
        QCOMPARE(rows(), u"06东门 07南区"_s);
        QCOMPARE(m_grid->FilterConditions, applied);
        QCOMPARE(m_ds->filter(), filter);

        m_ds->setFiltered(false);
        m_ds->loadStore(fiveAreas());
        QCOMPARE(m_grid->verticalHeader()->count(), 5);
        m_ds->setFilter(u"f_sqmc LIKE '%城%'"_s);
        m_ds->setFiltered(true);
        QCOMPARE(m_grid->verticalHeader()->count(), 3);
        QCOMPARE(m_grid->verticalHeader()->length(), 3 * m_grid->verticalHeader()->defaultSectionSize());
    }

    void conditionText_data()
    {
        QTest::addColumn<LogicRows>("query");
        QTest::addColumn<LogicRows>("filter");
        QTest::addColumn<QString>("extra");
        QTest::addColumn<QString>("text");
        const LogicRows example
            = { expr(Code, u"等于"_s, u"01"_s), rel(u"并且"_s), expr(Name, u"部分等于"_s, u"东"_s) };
        QTest::newRow("both empty") << LogicRows() << LogicRows() << QString() << QString();
        QTest::newRow("example") << example << LogicRows() << QString()
                                 << u"查询条件:\r\n    商圈编码:等于01并且\r\n    商圈名称:部分等于东\r\n"_s;
        QTest::newRow("extra only") << LogicRows() << LogicRows() << u"部门0101"_s
                                    << u"查询条件:\r\n    部门0101\r\n"_s;
        QTest::newRow("extra and rows") << LogicRows { expr(Code, u"等于"_s, u"01"_s) } << LogicRows() << u"部门0101"_s
                                        << u"查询条件:\r\n    部门0101并且\r\n    商圈编码:等于01\r\n"_s;
        QTest::newRow("both lists")
            << LogicRows { expr(Code, u"左等于"_s, u"01"_s) } << LogicRows { expr(Name, u"部分不等于"_s, u"东"_s) }
            << QString() << u"查询条件:\r\n    商圈编码:左等于01\r\n过滤条件:\r\n    商圈名称:部分不等于东"_s;
    }
    void conditionText()
    {
        QFETCH(LogicRows, query);
        QFETCH(LogicRows, filter);
        QFETCH(QString, extra);
        QFETCH(QString, text);
        TAdvDBGridEh grid;
        grid.QueryConditions = query;
        grid.FilterConditions = filter;
        QCOMPARE(grid.ConditionText(extra), text);
    }

    // The layout against a real settings file: flag and width per key; Tag 1
    // always hidden; widths beyond reason leave the width as it was.
    void loadLayout_data()
    {
        QTest::addColumn<QString>("value"); // of f_sqmc; empty: no key
        QTest::addColumn<bool>("shown");
        QTest::addColumn<int>("width");
        QTest::newRow("0,80") << u"0,80"_s << false << 80;
        QTest::newRow("1,0") << u"1,0"_s << true << 164;
        QTest::newRow("missing key") << QString() << true << 164;
        QTest::newRow("abc") << u"abc"_s << false << 164;
        QTest::newRow("1,abc") << u"1,abc"_s << true << 164;
        QTest::newRow("1,200") << u"1,200"_s << true << 200;
        QTest::newRow("negative width") << u"1,-50"_s << true << 164;
        QTest::newRow("absurd width") << u"1,99999999"_s << true << 164;
    }
    void loadLayout()
    {
        QFETCH(QString, value);
        QFETCH(bool, shown);
        QFETCH(int, width);
        QTemporaryDir dir;
        QFile f(dir.filePath(u"Kalmorapos.ini"_s));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[SqSearchGrid]\nf_sqbm=1,90\nf_bmbm=1,50\n");
        if (!value.isEmpty())
            f.write("f_sqmc=" + value.toUtf8() + "\n");
        f.close();
        makeGrid(fiveAreas());
        m_grid->LoadColumnLayout(u"Kalmorapos.ini"_s, u"SqSearchGrid"_s, dir.path());
        QCOMPARE(m_grid->gridColumn(1).visible, shown);
        QCOMPARE(m_grid->gridColumn(1).width, width);
        QCOMPARE(m_grid->isColumnHidden(m_grid->sectionOfGridColumn(1)), !shown);
        QCOMPARE(m_grid->gridColumn(0).width, 90);
        // Tag 1: hidden whatever the file says.
        QVERIFY(!m_grid->gridColumn(2).visible);
        QVERIFY(m_grid->isColumnHidden(m_grid->sectionOfGridColumn(2)));
    }

    // Saving writes one key per column and keeps every other line of the file.
    void saveLayoutRoundTrip()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Kalmorapos.ini"_s);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("; kept\n[ColorOption]\nBack=123\n\n[SqSearchGrid]\nf_sqbm=1,90\nother=x\n");
        f.close();
        makeGrid(fiveAreas());
        m_grid->LoadColumnLayout(u"Kalmorapos.ini"_s, u"SqSearchGrid"_s, dir.path());
        m_grid->horizontalHeader()->resizeSection(m_grid->sectionOfGridColumn(1), 120); // a user's drag
        m_grid->setGridColumnVisible(0, false);
        m_grid->SaveColumnLayout(u"Kalmorapos.ini"_s, u"SqSearchGrid"_s, dir.path());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        f.close();
        QVERIFY2(text.startsWith(u"; kept\n[ColorOption]\nBack=123\n\n[SqSearchGrid]\nf_sqbm=0,90\nother=x\n"_s),
            qPrintable(text));
        QVERIFY(text.contains(u"f_sqmc=1,120"_s));
        QVERIFY(text.contains(u"f_bmbm=0,64"_s));

        TAdvDBGridEh *again = makeGrid(fiveAreas());
        again->LoadColumnLayout(u"Kalmorapos.ini"_s, u"SqSearchGrid"_s, dir.path());
        QVERIFY(!again->gridColumn(0).visible);
        QCOMPARE(again->gridColumn(1).width, 120);
    }

    // The column chooser works on the grid's columns: unticking the name hides
    // its section at once; the department (Tag 1) is not offered.
    void chooseColumns()
    {
        makeGrid(fiveAreas());
        QStringList offered;
        m_answer->then([&offered](QWidget *w) {
            auto *list = w->findChild<QListWidget *>(u"ltvChoose"_s);
            for (int i = 0; i < list->count(); ++i)
                offered << list->item(i)->text();
            list->item(1)->setCheckState(Qt::Unchecked);
            ModalAnswerer::pressButton(w, u"btnok"_s);
        });
        m_grid->ChooseColumns();
        QCOMPARE(offered, QStringList({ Code, Name }));
        QVERIFY(!m_grid->gridColumn(1).visible);
        QVERIFY(m_grid->isColumnHidden(m_grid->sectionOfGridColumn(1)));
    }

    // The footer row stays under the rows: scrolled to the end, the last row is
    // whole above it; the title cells carry the marks with their order.
    void footerStaysUnderTheRowsAndTitlesArePainted()
    {
        makeGrid(manyAreas(300));
        m_grid->ShowSumCount = true;
        m_grid->UpdateCountFooter();
        QWidget *footer = m_grid->footerWidget();
        QVERIFY(footer->isVisible());
        QCOMPARE(footer->geometry().top(), m_grid->viewport()->geometry().bottom() + 1);
        QVERIFY(footer->height() > 10);
        // Ctrl+End as the keyboard sends it: the last row becomes current and is
        // scrolled into view.
        QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, QPoint(10, 5));
        QCOMPARE(m_grid->currentIndex().row(), 0);
        key(m_grid.get(), Qt::Key_End, QEvent::KeyPress, Qt::ControlModifier);
        key(m_grid.get(), Qt::Key_End, QEvent::KeyRelease, Qt::ControlModifier);
        QCOMPARE(m_grid->currentIndex().row(), 299);
        QVERIFY2(QTest::qWaitFor([&] { return m_grid->rowAt(m_grid->viewport()->height() - 1) == 299; }),
            qPrintable(u"%1 %2 %3 %4"_s.arg(m_grid->rowAt(m_grid->viewport()->height() - 1))
                           .arg(m_grid->verticalScrollBar()->maximum())
                           .arg(m_grid->verticalHeader()->length())
                           .arg(m_grid->viewport()->height())
                + u" %1 %2"_s.arg(m_grid->verticalScrollBar()->value()).arg(m_grid->verticalHeader()->offset())));
        const QRect last = m_grid->visualRect(m_grid->dataModel()->index(299, 0));
        QVERIFY2(last.bottom() < m_grid->viewport()->height(), qPrintable(QString::number(last.bottom())));

        // Footer cell painted yellow with the count text in black.
        const QImage f = footer->grab().toImage();
        QCOMPARE(f.pixelColor(f.width() - 3, f.height() / 2), QColor(Qt::yellow));
        bool dark = false;
        for (int x = 0; x < 70 && !dark; ++x)
            for (int y = 0; y < f.height() && !dark; ++y)
                dark = f.pixelColor(x, y).lightness() < 80;
        QVERIFY(dark);

        // Two marks: each title shows a white mark, with the order digit.
        clickTitle(1);
        clickTitle(0, Qt::ControlModifier);
        releaseCtrl(m_grid.get());
        QHeaderView *h = m_grid->horizontalHeader();
        const QImage t = h->grab().toImage();
        for (int gc : { 0, 1 }) {
            const int s = m_grid->sectionOfGridColumn(gc);
            const int right = h->sectionViewportPosition(s) + h->sectionSize(s) - 4;
            int white = 0;
            for (int x = right - 20; x < right; ++x)
                for (int y = 0; y < t.height(); ++y)
                    white += t.pixelColor(x, y).lightness() > 200;
            QVERIFY2(white > 6, qPrintable(QString::number(gc)));
        }
        QCOMPARE(t.pixelColor(2, 2), QColor(0, 128, 0));
    }

    // A grid set up and given its rows while hidden (as a screen builds it)
    // is laid out as one set up on screen once it shows; a font changed while
    // hidden shows too.
    void geometriesOfAGridSetUpHidden()
    {
        makeGrid(manyAreas(300));
        m_grid->ShowSumCount = true;
        m_grid->UpdateCountFooter();
        QApplication::processEvents();

        QWidget host;
        host.resize(m_grid->size());
        ClientDataSet ds;
        ds.setPersistentFields({ { u"f_sqbm"_s, FieldType::String, 12, Code },
            { u"f_sqmc"_s, FieldType::String, 40, Name }, { u"f_bmbm"_s, FieldType::String, 12, u"部门编码"_s } });
        auto *hidden = new TAdvDBGridEh(&host);
        setUp(*hidden, &ds);
        hidden->setGeometry(QRect(QPoint(0, 0), m_grid->size()));
        ds.loadStore(manyAreas(300));
        hidden->ShowSumCount = true;
        hidden->UpdateCountFooter();
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QApplication::processEvents();
        const auto laidOut = [](TAdvDBGridEh *g) {
            return QList<QVariant> { g->viewport()->geometry(), g->footerWidget()->geometry(),
                g->footerWidget()->isVisible(), g->horizontalHeader()->geometry(), g->verticalScrollBar()->maximum(),
                g->verticalScrollBar()->pageStep() };
        };
        QCOMPARE(laidOut(hidden), laidOut(m_grid.get()));

        const int titleBefore = hidden->horizontalHeader()->height();
        host.hide();
        QFont big = hidden->font();
        big.setPointSize(big.pointSize() * 2);
        hidden->setFont(big);
        hidden->titleFont = big;
        host.show();
        QApplication::processEvents();
        QVERIFY(hidden->horizontalHeader()->height() > titleBefore);
        QCOMPARE(hidden->viewport()->geometry().top(), hidden->horizontalHeader()->geometry().bottom() + 1);
        QCOMPARE(hidden->footerWidget()->geometry().top(), hidden->viewport()->geometry().bottom() + 1);
        QCOMPARE(
            hidden->verticalScrollBar()->maximum(), hidden->verticalHeader()->length() - hidden->viewport()->height());
    }

    // Computed footers go over the rows the filter lets through; a filter the
    // dataset refuses is shown in the "错误" box and the previous filter and
    // conditions stay; the query dialog hands back its trimmed where text.
    void computedFootersFilterErrorsAndQueryDialog()
    {
        const QString Level = u"级别"_s;
        m_ds = std::make_unique<ClientDataSet>();
        m_grid = std::make_unique<TAdvDBGridEh>();
        m_grid->setDataSet(m_ds.get());
        DataStore s({ { u"f_sqbm"_s, FieldType::String, 12, Code }, { u"f_sqmc"_s, FieldType::String, 40, Name },
            { u"f_jb"_s, FieldType::Int32, 0, Level } });
        const std::initializer_list<std::pair<const char *, int>> rows
            = { { "01", 1 }, { "0101", 2 }, { "0102", 2 }, { "02", 1 } };
        for (const auto &[code, level] : rows) {
            s.appendString(0, QString::fromLatin1(code));
            s.appendString(1, u"区"_s);
            s.appendInt(2, level);
            s.commitRow();
        }
        m_ds->loadStore(std::move(s));
        QCOMPARE(m_grid->gridColumnCount(), 3); // one per visible field
        m_grid->setFooter(0, FooterKind::Count);
        m_grid->setFooter(1, FooterKind::FieldValue);
        m_grid->setFooter(2, FooterKind::Sum);
        QCOMPARE(m_grid->footerCellText(0), u"4"_s);
        QCOMPARE(m_grid->footerCellText(2), u"6"_s);
        m_grid->setCurrentIndex(m_grid->dataModel()->index(1, 0));
        QCOMPARE(m_grid->footerCellText(1), u"区"_s);
        m_grid->editColumn(2).footerKind = FooterKind::Average;
        m_grid->columnsChanged();
        QCOMPARE(m_grid->footerCellText(2), u"1.5"_s);

        m_grid->FilterConditions = { expr(Code, u"左等于"_s, u"01"_s) };
        m_answer->press(u"btnOK"_s);
        QVERIFY(m_grid->ShowFilterDialog(QString(), true));
        QCOMPARE(m_grid->footerCellText(0), u"3"_s);
        QCOMPARE(m_grid->footerCellText(2), u"1.6666666666666667"_s);

        QString where = u"old"_s;
        m_grid->QueryConditions = { expr(Code, u"等于"_s, u"01"_s) };
        m_answer->press(u"btnOK"_s);
        QVERIFY(m_grid->ShowQueryDialog(where, u"商圈档案查询"_s, QString(), QString(), QString()));
        QCOMPARE(where, u"( f_sqbm = '01' )"_s);
        m_answer->press(u"btnExit"_s);
        QVERIFY(!m_grid->ShowQueryDialog(where, u"商圈档案查询"_s, QString(), QString(), QString()));
        QCOMPARE(where, QString());
        QCOMPARE(m_grid->QueryConditions, LogicRows({ expr(Code, u"等于"_s, u"01"_s) }));
    }

    // A filter the dataset still refuses (here: a field name it cannot read)
    // loses nothing: the "错误" box says the previous filter stays, the dialog
    // opens again with the rows just typed, and leaving it keeps the previous
    // filter and its conditions.
    void refusedFilterKeepsTheRowsTyped()
    {
        const QString Note = u"备注"_s;
        m_ds = std::make_unique<ClientDataSet>();
        m_grid = std::make_unique<TAdvDBGridEh>();
        m_grid->setDataSet(m_ds.get());
        DataStore s({ { u"f_sqbm"_s, FieldType::String, 12, Code }, { u"f bz"_s, FieldType::String, 20, Note } });
        for (const char *code : { "01", "0101", "02" }) {
            s.appendString(0, QString::fromLatin1(code));
            s.appendString(1, u"x"_s);
            s.commitRow();
        }
        m_ds->loadStore(std::move(s));
        m_grid->ShowSumCount = true;
        m_grid->FilterConditions = { expr(Code, u"左等于"_s, u"01"_s) };
        m_answer->press(u"btnOK"_s);
        QVERIFY(m_grid->ShowFilterDialog(QString(), true));
        const LogicRows applied = m_grid->FilterConditions;
        const QString filter = m_ds->filter();
        QCOMPARE(m_ds->recordCount(), 2);

        const LogicRows typed = { expr(Note, u"等于"_s, u"y"_s) };
        LogicRows reopenedWith;
        QList<SeenDialog> seen;
        m_answer
            ->then([](QWidget *w) {
                auto *dlg = qobject_cast<TFrmQuerySet *>(w);
                QVERIFY(dlg);
                enterOnly(dlg, u"备注"_s, u"等于"_s, u"y"_s);
                QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
            })
            .then([&seen](QWidget *w) {
                seen << ModalAnswerer::describe(w);
                ModalAnswerer::pressButton(w, u"Ok"_s);
            })
            .then([&reopenedWith](QWidget *w) {
                auto *dlg = qobject_cast<TFrmQuerySet *>(w);
                QVERIFY(dlg);
                reopenedWith = dlg->rows();
                QTest::mouseClick(dlg->btnExit, Qt::LeftButton);
            });
        QVERIFY(!m_grid->ShowFilterDialog(QString(), true));
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].title, u"错误"_s);
        QCOMPARE(seen[0].icon, int(QMessageBox::Critical));
        QVERIFY2(seen[0].text.contains(u"原来的过滤条件仍然有效"_s), qPrintable(seen[0].text));
        QCOMPARE(reopenedWith, typed);
        QCOMPARE(m_grid->FilterConditions, applied);
        QCOMPARE(m_ds->filter(), filter);
        QVERIFY(m_ds->filtered());
        QCOMPARE(m_ds->recordCount(), 2);
    }

    // Binding the grid to a dataset that is already open is the data link
    // going active: the old marks go and the count is written.
    void bindingAnOpenDataSet()
    {
        makeGrid(fiveAreas());
        m_grid->ShowSumCount = true;
        clickTitle(1);
        QCOMPARE(marks(), u"f_sqmc-"_s);
        ClientDataSet other;
        other.setPersistentFields({ { u"f_sqbm"_s, FieldType::String, 12, Code },
            { u"f_sqmc"_s, FieldType::String, 40, Name }, { u"f_bmbm"_s, FieldType::String, 12, u"部门编码"_s } });
        other.loadStore(areas({ { "07", "北区" }, { "06", "西城" } }));
        m_grid->setDataSet(&other);
        QAbstractItemModelTester tester(m_grid->dataModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(marks(), QString());
        QCOMPARE(m_grid->gridColumn(1).sortMark, SortMark::None);
        QCOMPARE(m_grid->footerCellText(0), u"合计:2条"_s);
        m_grid->setDataSet(m_ds.get());
        QCOMPARE(m_grid->footerCellText(0), u"合计:5条"_s);
    }

    // UpdateCountFooter over a closed dataset, or none, writes nothing.
    void countFooterOfAClosedDataSet()
    {
        makeGrid(fiveAreas());
        m_grid->UpdateCountFooter();
        QCOMPARE(m_grid->footerCellText(0), u"合计:5条"_s);
        m_ds->close();
        m_grid->setFooter(0, FooterKind::StaticText, u"合计:9条"_s);
        m_grid->UpdateCountFooter();
        QCOMPARE(m_grid->footerCellText(0), u"合计:9条"_s);
        m_grid->setDataSet(nullptr);
        m_grid->UpdateCountFooter();
        QCOMPARE(m_grid->footerCellText(0), u"合计:9条"_s);
    }

    // A frozen column stays at the left while the others scroll sideways; its
    // title takes clicks like any other, and it scrolls down with the rows.
    void frozenColumnStaysAtTheLeft()
    {
        DataStore many = areas({});
        for (int i = 0; i < 100; ++i) {
            many.appendString(0, QString::asprintf("%04d", i));
            many.appendString(1, u"区"_s + QString::number(i));
            many.appendString(2, u"0101");
            many.commitRow();
        }
        makeGrid(std::move(many));
        m_grid->setGridColumnVisible(2, true);
        m_grid->setGridColumnWidth(1, 400);
        m_grid->setFrozenColumnCount(1);
        QTableView *frozen = m_grid->frozenView();
        QVERIFY(frozen && frozen->isVisible());
        QCOMPARE(frozen->width(), 80);
        QVERIFY(!frozen->isColumnHidden(m_grid->sectionOfGridColumn(0)));
        QVERIFY(frozen->isColumnHidden(m_grid->sectionOfGridColumn(1)));
        m_grid->horizontalScrollBar()->setValue(m_grid->horizontalScrollBar()->maximum());
        QVERIFY(m_grid->horizontalScrollBar()->value() > 0);
        QCOMPARE(frozen->x(), m_grid->viewport()->x());

        QHeaderView *h = frozen->horizontalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(20, h->height() / 2));
        QCOMPARE(marks(), u"f_sqbm-"_s);
        QCOMPARE(frozen->model()->index(0, 0).data().toString(), u"0099"_s);

        m_grid->verticalScrollBar()->setValue(200);
        QCOMPARE(frozen->verticalScrollBar()->value(), 200);
        QCOMPARE(frozen->rowAt(1), m_grid->rowAt(1));
        const QString dir = qEnvironmentVariable("SQDA_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(m_grid->grab().save(dir + u"/listing-grid-frozen.png"_s));

        // Resizing the frozen column's title resizes the column.
        h->resizeSection(m_grid->sectionOfGridColumn(0), 100);
        QCOMPARE(m_grid->gridColumn(0).width, 100);
        QCOMPARE(frozen->width(), 100);
        m_grid->setFrozenColumnCount(0);
        QVERIFY(!frozen->isVisible());
    }

    // Left, Right, Home and End as the keyboard sends them (navigation keys
    // carry no text): the current cell is never left under the frozen column.
    void keyboardKeepsTheCellBesideFrozenColumns()
    {
        makeGrid(fiveAreas());
        m_grid->setGridColumnVisible(2, true);
        m_grid->setGridColumnWidth(1, 250);
        m_grid->setGridColumnWidth(2, 250);
        m_grid->setFrozenColumnCount(1);
        QTableView *frozen = m_grid->frozenView();
        QVERIFY(frozen && frozen->isVisible());
        const int covered = frozen->width();
        QTest::mouseClick(frozen->viewport(), Qt::LeftButton, {}, QPoint(10, 5));
        QCOMPARE(m_grid->currentIndex().row(), 0);
        QCOMPARE(m_grid->gridColumnOfSection(m_grid->currentIndex().column()), 0);

        const auto press = [this](Qt::Key k) {
            key(m_grid.get(), k, QEvent::KeyPress, Qt::NoModifier);
            key(m_grid.get(), k, QEvent::KeyRelease, Qt::NoModifier);
        };
        // Where the current cell stands: its grid column, and whether it is
        // wholly in sight beside the frozen column.
        const auto current = [this, covered] {
            const QModelIndex i = m_grid->currentIndex();
            const int gc = m_grid->gridColumnOfSection(i.column());
            if (gc == 0)
                return u"0 frozen"_s;
            const QRect r = m_grid->visualRect(i);
            const bool seen = r.left() >= covered && r.right() < m_grid->viewport()->width();
            return u"%1 %2"_s.arg(gc).arg(seen ? u"seen"_s : u"hidden at %1..%2"_s.arg(r.left()).arg(r.right()));
        };
        press(Qt::Key_Right);
        QCOMPARE(current(), u"1 seen"_s);
        press(Qt::Key_Right);
        QCOMPARE(current(), u"2 seen"_s);
        QVERIFY(m_grid->horizontalScrollBar()->value() > 0);
        // Back left: the view alone would put the name column at the viewport's
        // edge, under the frozen code column.
        press(Qt::Key_Left);
        QCOMPARE(current(), u"1 seen"_s);
        press(Qt::Key_End);
        QCOMPARE(current(), u"2 seen"_s);
        press(Qt::Key_Home);
        QCOMPARE(current(), u"0 frozen"_s);
        QCOMPARE(m_grid->horizontalScrollBar()->value(), 0);
        // A click on a frozen cell leaves the scrolled columns where they are.
        press(Qt::Key_End);
        const int scrolled = m_grid->horizontalScrollBar()->value();
        QTest::mouseClick(frozen->viewport(), Qt::LeftButton, {}, QPoint(10, frozen->rowViewportPosition(2) + 3));
        QCOMPARE(m_grid->currentIndex().row(), 2);
        QCOMPARE(current(), u"0 frozen"_s);
        QCOMPARE(m_grid->horizontalScrollBar()->value(), scrolled);
    }

    // Each column's own fonts for its title, cells and footer, and its cell
    // colour, are what gets painted; the others keep the grid's.
    void columnFontsAndColours()
    {
        makeGrid(fiveAreas());
        m_grid->setFont(QFont(u"DejaVu Sans"_s, 9));
        m_grid->titleFont = QFont(u"DejaVu Sans"_s, 9);
        m_grid->footerFont = QFont(u"DejaVu Sans"_s, 9);
        GridColumn &name = m_grid->editColumn(1);
        QFont song(u"宋体"_s);
        song.setPixelSize(12);
        QFont serif(u"DejaVu Serif"_s);
        serif.setPixelSize(13);
        name.font = song;
        name.titleFont = serif;
        name.footerFont = song;
        name.color = QColor(200, 220, 255);
        name.footerKind = FooterKind::StaticText;
        name.footerText = u"名称小计"_s;
        m_grid->setFooter(0, FooterKind::StaticText, u"编码小计"_s);

        TextRecorder rec(m_grid->size());
        m_grid->render(&rec);
        const auto family = [&rec](const QString &text) {
            const std::optional<TextRecorder::Piece> p = rec.find(text);
            return p ? QFontInfo(p->font).family() : u"(not painted)"_s;
        };
        QCOMPARE(family(Code), u"DejaVu Sans"_s);
        QCOMPARE(family(Name), u"DejaVu Serif"_s);
        QCOMPARE(family(u"01"_s), u"DejaVu Sans"_s);
        QCOMPARE(family(u"西城"_s), u"Noto Serif CJK SC"_s);
        QCOMPARE(QFontInfo(rec.find(u"西城"_s)->font).pixelSize(), 12);
        QCOMPARE(family(u"编码小计"_s), u"DejaVu Sans"_s);
        QCOMPARE(family(u"名称小计"_s), u"Noto Serif CJK SC"_s);
        QCOMPARE(rec.find(Name)->color, m_grid->titleTextColor);

        // The name cells take the column's colour, the code cells do not.
        m_grid->clearSelection();
        m_grid->setCurrentIndex({});
        const QImage img = m_grid->viewport()->grab().toImage();
        const QRect nameCell = m_grid->visualRect(m_grid->dataModel()->index(2, m_grid->sectionOfGridColumn(1)));
        const QRect codeCell = m_grid->visualRect(m_grid->dataModel()->index(2, m_grid->sectionOfGridColumn(0)));
        QCOMPARE(img.pixelColor(nameCell.right() - 3, nameCell.top() + 2), QColor(200, 220, 255));
        QVERIFY(img.pixelColor(codeCell.right() - 3, codeCell.top() + 2) != QColor(200, 220, 255));
    }

    // A re-sort keeps every row: the rows are painted in their new order and
    // the grid is not laid out again (the viewport keeps its size throughout,
    // so the frame and scroll bars are not repainted); a filter that takes
    // rows away lays the grid out again, its scroll range shrinks.
    void resortRepaintsTheRowsFilterLaysOut()
    {
        std::vector<std::string> names;
        for (int i = 0; i < 300; ++i)
            names.push_back(std::to_string(100000 + (i * 7919) % 300));
        DataStore s = areas({});
        for (int i = 0; i < 300; ++i) {
            s.appendString(0, QString::number(1000 + i));
            s.appendString(1, QString::fromStdString(names[size_t(i)]));
            s.appendString(2, i % 3 == 0 ? u"0101"_s : u"0102"_s);
            s.commitRow();
        }
        makeGrid(std::move(s));
        clickTitle(0);
        QApplication::processEvents();
        struct Counter : QObject
        {
            QEvent::Type type;
            int count = 0;
            explicit Counter(QEvent::Type t)
                : type(t)
            {
            }
            bool eventFilter(QObject *, QEvent *e) override
            {
                count += e->type() == type;
                return false;
            }
        } rowPaints(QEvent::Paint), resizes(QEvent::Resize);
        QScrollBar *bar = m_grid->verticalScrollBar();
        m_grid->viewport()->installEventFilter(&rowPaints);
        m_grid->viewport()->installEventFilter(&resizes);
        const int range = bar->maximum();
        QVERIFY(range > 0);
        const QString top = m_grid->dataModel()->index(m_grid->rowAt(0), 0).data().toString();

        clickTitle(1);
        QApplication::processEvents();
        QCOMPARE(marks(), u"f_sqmc-"_s);
        QVERIFY(m_grid->dataModel()->index(m_grid->rowAt(0), 0).data().toString() != top);
        QVERIFY(rowPaints.count > 0);
        QCOMPARE(resizes.count, 0);
        QCOMPARE(bar->maximum(), range);

        m_ds->setFilter(u"f_bmbm = '0101'"_s);
        m_ds->setFiltered(true);
        QApplication::processEvents();
        QCOMPARE(m_ds->recordCount(), 100);
        QVERIFY(bar->maximum() < range);
        QCOMPARE(bar->maximum(), m_grid->verticalHeader()->length() - m_grid->viewport()->height());
    }

    // The grid draws its cells' text itself (one text layout a cell); what it
    // paints must be what the style paints for the same cells. The reference
    // is a plain item delegate applying the same column settings, set on the
    // same grid, so both pictures see the same rows, widths and state.
    void cellsPaintAsTheStyleDoes_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::newRow("plain") << u""_s;
        QTest::newRow("selected row, focus in the grid") << u"select"_s;
        QTest::newRow("column font, colour and alignment") << u"column"_s;
        QTest::newRow("disabled") << u"disabled"_s;
        QTest::newRow("narrow columns elide") << u"narrow"_s;
    }
    void cellsPaintAsTheStyleDoes()
    {
        QFETCH(QString, setup);
        m_ds = std::make_unique<ClientDataSet>();
        const FieldDefs defs { { u"f_sqbm"_s, FieldType::String, 12, Code },
            { u"f_sqmc"_s, FieldType::String, 40, Name }, { u"f_jb"_s, FieldType::Int32, 0, u"级别"_s },
            { u"f_mj"_s, FieldType::Double, 0, u"面积"_s } };
        DataStore s(defs);
        const struct
        {
            const char *code, *name;
            int level;
            double area;
        } rows[] = { { "01", "东城", 1, 12.5 }, { "0101", "东城一区王府井步行街购物中心北门外广场", 2, 1234567.125 },
            { "02", "", 3, 0 }, { "0201", "West Lake 西湖 Gy", 4, -7.25 }, { "03", "两行\n文字", 1, 3 },
            { "04", "河东", 2, 99999.5 } };
        for (const auto &r : rows) {
            s.appendString(0, QString::fromUtf8(r.code));
            s.appendString(1, QString::fromUtf8(r.name));
            s.appendInt(2, r.level);
            s.appendDouble(3, r.area);
            s.commitRow();
        }
        s.appendString(0, u"05"_s);
        s.appendNull(1);
        s.appendNull(2);
        s.appendNull(3);
        s.commitRow();
        m_ds->createDataSet(defs);
        m_grid = std::make_unique<TAdvDBGridEh>();
        m_grid->setDataSet(m_ds.get());
        const bool narrow = setup == u"narrow"_s;
        m_grid->addColumn(column(u"f_sqbm"_s, narrow ? 18 : 80));
        m_grid->addColumn(column(u"f_sqmc"_s, narrow ? 40 : 164));
        m_grid->addColumn(column(u"f_jb"_s, narrow ? 10 : 40));
        m_grid->addColumn(column(u"f_mj"_s, narrow ? 30 : 90));
        m_grid->setFont(QFont(u"宋体"_s, 9));
        if (setup == u"column"_s) {
            GridColumn &name = m_grid->editColumn(1);
            QFont serif(u"DejaVu Serif"_s);
            serif.setPixelSize(13);
            name.font = serif;
            name.color = QColor(200, 220, 255);
            name.alignment = Qt::AlignRight | Qt::AlignBottom;
            m_grid->editColumn(3).alignment = Qt::AlignHCenter | Qt::AlignTop;
            m_grid->columnsChanged();
        }
        m_grid->resize(420, 240);
        m_grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_grid.get()));
        m_ds->loadStore(std::move(s));
        if (setup == u"select"_s) {
            m_grid->activateWindow();
            m_grid->setFocus();
            QTest::keyClick(m_grid.get(), Qt::Key_Down);
            QTest::keyClick(m_grid.get(), Qt::Key_Down);
            const int row = m_grid->currentIndex().row();
            QVERIFY(row > 0);
            QVERIFY(m_grid->selectionModel()->isRowSelected(row, {}));
            QVERIFY(m_grid->hasFocus());
        } else {
            m_grid->clearSelection();
            m_grid->setCurrentIndex({});
        }
        if (setup == u"disabled"_s)
            m_grid->setEnabled(false);

        // What the style paints, given the column settings the grid applies.
        class StyleDelegate : public QStyledItemDelegate
        {
        public:
            explicit StyleDelegate(DBGridEh *grid)
                : m_grid(grid)
            {
            }

        protected:
            void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
            {
                QStyledItemDelegate::initStyleOption(option, index);
                const int gc = m_grid->gridColumnOfSection(index.column());
                if (gc < 0)
                    return;
                const GridColumn &col = m_grid->gridColumn(gc);
                if (col.font)
                    option->font = *col.font;
                if (col.alignment)
                    option->displayAlignment = *col.alignment;
                if (col.color)
                    option->backgroundBrush = *col.color;
            }

        private:
            DBGridEh *m_grid;
        } reference(m_grid.get());

        QAbstractItemDelegate *own = m_grid->itemDelegate();
        const QImage painted = m_grid->viewport()->grab().toImage();
        m_grid->setItemDelegate(&reference);
        const QImage expected = m_grid->viewport()->grab().toImage();
        m_grid->setItemDelegate(own);
        QCOMPARE(painted.size(), expected.size());
        // A picture with no text in it would pass as well: the rows must show.
        QSet<QRgb> colours;
        for (int y = 0; y < painted.height(); ++y)
            for (int x = 0; x < painted.width(); ++x)
                colours.insert(painted.pixel(x, y));
        QVERIFY(colours.size() > 16); // antialiased glyphs
        if (painted != expected) {
            const QString dir = QDir::temp().filePath(u"tst_listinggrid"_s);
            QDir().mkpath(dir);
            painted.save(dir + u"/painted.png"_s);
            expected.save(dir + u"/expected.png"_s);
            QFAIL(qPrintable(u"the cells differ from the style's; pictures in "_s + dir));
        }
    }

    // docs/listing-grid.png: two sort marks, a filter and the count footer.
    // Run with SQDA_SCREENSHOT_DIR set to write it.
    void screenshot()
    {
        makeGrid(areas({ { "01", "东城" }, { "0101", "东城一区" }, { "02", "西城" }, { "0201", "西城北" },
            { "03", "河东" }, { "04", "北区" }, { "0401", "北区新城" }, { "05", "南湖" } }));
        m_grid->setFont(QFont(u"宋体"_s, 9));
        m_grid->titleFont = m_grid->font();
        m_grid->footerFont = m_grid->font();
        m_grid->ShowSumCount = true;
        m_grid->resize(300, 200);
        m_grid->FilterConditions = { expr(Code, u"部分不等于"_s, u"0101"_s) };
        m_answer->press(u"btnOK"_s);
        QVERIFY(m_grid->ShowFilterDialog(u"商圈档案过滤"_s, true));
        clickTitle(1);
        clickTitle(0, Qt::ControlModifier);
        releaseCtrl(m_grid.get());
        QCOMPARE(m_grid->footerCellText(0), u"合计:7条"_s);
        const QString dir = qEnvironmentVariable("SQDA_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(m_grid->grab().save(dir + u"/listing-grid.png"_s));
    }
};

QTEST_MAIN(TestListingGrid)
#include "tst_listinggrid.moc"

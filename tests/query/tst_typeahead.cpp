// Type-ahead in the listing grid, typed as a user types: letters and digits go
// to the next row whose code starts with them or whose name's pinyin initials
// or full pinyin do, from the current row, going round; in the order and under
// the filter the listing shows.
#include "data/ClientDataSet.h"
#include "host/HostContext.h"
#include "query/TAdvDBGridEh.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QTest>

using namespace sqda;
using namespace Qt::StringLiterals;

namespace {

struct Area
{
    const char *code;
    const char *name;
};

DataStore areas(const std::vector<Area> &rows)
{
    DataStore s({ { u"f_sqbm"_s, FieldType::String, 12, u"商圈编码"_s },
        { u"f_sqmc"_s, FieldType::String, 40, u"商圈名称"_s } });
    for (const Area &a : rows) {
        s.appendString(0, QString::fromUtf8(a.code));
        s.appendString(1, QString::fromUtf8(a.name));
        s.commitRow();
    }
    return s;
}

// 0 01 东城, 1 02 大场, 2 03 徐汇区, then filler 10…59 (名称), then 60 西区 at the end.
std::vector<Area> listing()
{
    static std::vector<QByteArray> codes;
    std::vector<Area> rows { { "01", "东城" }, { "02", "大场" }, { "03", "徐汇区" } };
    codes.clear();
    codes.reserve(50);
    for (int i = 10; i < 60; ++i)
        codes.push_back(QByteArray::number(i));
    for (const QByteArray &c : codes)
        rows.push_back({ c.constData(), "名称" });
    rows.push_back({ "60", "西区" });
    return rows;
}

} // namespace

class TestTypeAhead : public QObject
{
    Q_OBJECT

    std::unique_ptr<ClientDataSet> m_ds;
    std::unique_ptr<TAdvDBGridEh> m_grid;
    std::unique_ptr<QAbstractItemModelTester> m_tester;

    int row() const { return m_grid->currentIndex().row(); }
    QString code() const { return m_grid->model()->index(row(), 0).data().toString(); }
    bool rowInSight() const
    {
        const QRect cell = m_grid->visualRect(m_grid->currentIndex());
        return !cell.isEmpty() && m_grid->viewport()->rect().contains(cell);
    }
    bool rowSelected() const
    {
        const QModelIndexList rows = m_grid->selectionModel()->selectedRows();
        return rows.size() == 1 && rows[0].row() == row();
    }
    // A pause longer than the platform's interval between keys.
    static void pause() { QTest::qWait(QApplication::keyboardInputInterval() + 50); }

private Q_SLOTS:
    void initTestCase()
    {
        ensureLibraryInitialized();
        QApplication::setKeyboardInputInterval(200); // a shorter pause keeps the test quick
    }

    void init()
    {
        m_ds = std::make_unique<ClientDataSet>();
        m_ds->loadStore(areas(listing()));
        m_grid = std::make_unique<TAdvDBGridEh>();
        m_grid->AutoSorted = true;
        m_grid->setFont(QFont(u"宋体"_s, 9));
        m_grid->setDataSet(m_ds.get());
        GridColumn c;
        c.fieldName = u"f_sqbm"_s;
        c.width = 60;
        m_grid->addColumn(c);
        c.fieldName = u"f_sqmc"_s;
        c.width = 120;
        m_grid->addColumn(c);
        m_grid->setTypeAheadFields(u"f_sqbm"_s, u"f_sqmc"_s);
        m_tester = std::make_unique<QAbstractItemModelTester>(m_grid->model());
        m_grid->resize(240, 160); // a few rows in sight
        m_grid->show();
        m_grid->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_grid.get()));
        m_grid->setFocus();
        m_grid->setCurrentIndex(m_grid->model()->index(0, 0));
        pause();
    }

    void cleanup()
    {
        m_tester.reset();
        m_grid.reset();
        m_ds.reset();
    }

    void typedTextLeadsToTheRow_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("code");
        QTest::newRow("initials") << u"xh"_s << u"03"_s;
        QTest::newRow("full pinyin") << u"xuhui"_s << u"03"_s;
        QTest::newRow("capitals") << u"XQ"_s << u"60"_s;
        QTest::newRow("code") << u"42"_s << u"42"_s;
        QTest::newRow("far down, scrolled to") << u"xiqu"_s << u"60"_s;
        QTest::newRow("a longer text stays on its row") << u"dac"_s << u"02"_s;
        QTest::newRow("no match: the row stays") << u"zq"_s << u"01"_s;
        QTest::newRow("a sign: nothing moves") << u"-"_s << u"01"_s;
    }
    void typedTextLeadsToTheRow()
    {
        QFETCH(QString, typed);
        QFETCH(QString, code);
        QTest::keyClicks(m_grid.get(), typed);
        QCOMPARE(this->code(), code);
        QVERIFY(rowSelected());
        QVERIFY(rowInSight());
    }

    // A new text starts after the current row and goes round past the end;
    // the same key again walks through the rows it leads to.
    void nextRowsAndWrapping()
    {
        QTest::keyClicks(m_grid.get(), u"d"_s);
        QCOMPARE(code(), u"02"_s); // 01 东城 is current: the next "d" row
        pause();
        QTest::keyClicks(m_grid.get(), u"d"_s);
        QCOMPARE(code(), u"01"_s); // round past the end
        QTest::keyClicks(m_grid.get(), u"d"_s);
        QCOMPARE(code(), u"02"_s); // "dd": the same key walks on
        QTest::keyClicks(m_grid.get(), u"d"_s);
        QCOMPARE(code(), u"01"_s);
        pause();
        QTest::keyClicks(m_grid.get(), u"do"_s);
        QCOMPARE(code(), u"01"_s); // "d" is 大场 (dachang), "do" 东城 (dongcheng), found by going round
        pause();
        QTest::keyClick(m_grid.get(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(code(), u"60"_s);
        QTest::keyClicks(m_grid.get(), u"0"_s);
        QCOMPARE(code(), u"01"_s);
        QVERIFY(rowInSight());
    }

    // The listing's own keys keep their meaning: arrows still move the row,
    // Ctrl with a letter is no typing.
    void otherKeysKeepTheirMeaning()
    {
        QTest::keyClicks(m_grid.get(), u"xh"_s);
        QCOMPARE(code(), u"03"_s);
        QTest::keyClick(m_grid.get(), Qt::Key_Down);
        QCOMPARE(code(), u"10"_s);
        QTest::keyClick(m_grid.get(), Qt::Key_Up);
        QCOMPARE(code(), u"03"_s);
        pause();
        QTest::keyClick(m_grid.get(), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(code(), u"03"_s);
    }

    // Sorted by a title click (name descending), then filtered: the search
    // goes in the listing's order over the rows it shows.
    void sortedAndFilteredListing()
    {
        m_grid->titleClick(1, {}); // 徐汇区 西区 名称… 东城 大场
        QCOMPARE(m_ds->indexName(), u"customindex"_s);
        m_grid->setCurrentIndex(m_grid->model()->index(0, 0));
        QCOMPARE(code(), u"03"_s);
        QTest::keyClicks(m_grid.get(), u"x"_s);
        QCOMPARE(code(), u"60"_s); // the next x row in this order
        pause();
        QTest::keyClicks(m_grid.get(), u"d"_s);
        QCOMPARE(code(), u"01"_s);
        QVERIFY(rowInSight());

        m_ds->setFilter(u"f_sqbm <> '03'"_s);
        m_ds->setFiltered(true); // 西区 名称… 东城 大场
        m_grid->setCurrentIndex(m_grid->model()->index(0, 0));
        pause();
        QTest::keyClicks(m_grid.get(), u"xh"_s);
        QCOMPARE(code(), u"60"_s); // 徐汇区 is filtered out: no match
        pause();
        QTest::keyClicks(m_grid.get(), u"dc"_s);
        QCOMPARE(code(), u"01"_s);
        QVERIFY(rowSelected());
        QVERIFY(rowInSight());
        // Run with SQDA_SCREENSHOT_DIR set to see the row found.
        const QString dir = qEnvironmentVariable("SQDA_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(m_grid->grab().save(dir + u"/listing-typeahead.png"_s));
    }

    // New rows bring new keys.
    void keysFollowNewRows()
    {
        QTest::keyClicks(m_grid.get(), u"xh"_s);
        QCOMPARE(code(), u"03"_s);
        m_ds->loadStore(areas({ { "01", "静安" }, { "02", "徐家汇" } }));
        m_grid->setCurrentIndex(m_grid->model()->index(0, 0));
        pause();
        QTest::keyClicks(m_grid.get(), u"xjh"_s);
        QCOMPARE(code(), u"02"_s);
    }
};

QTEST_MAIN(TestTypeAhead)
#include "tst_typeahead.moc"

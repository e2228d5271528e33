// The column chooser over a stand-in for the listing grid: a real table view
// whose columns carry a Tag and can be frozen. Ticks are set with real Space
// keys, buttons pressed with real clicks, the warning answered as a user would.
#include "ModalAnswerer.h"

#include "query/QueryButton.h"
#include "query/TFrmChooseDBFields.h"

#include <QFontInfo>
#include <QFrame>
#include <QListWidget>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include <stdexcept>

using namespace sqda;
using namespace sqda::test;
using namespace Qt::StringLiterals;

namespace {

// The listing grid's part the chooser uses, over a plain table view.
class GridStandIn : public QTableView, public ColumnChooserGrid
{
public:
    GridStandIn(const QStringList &titles, const QList<int> &tags)
        : m_tags(tags)
    {
        m_model.setHorizontalHeaderLabels(titles);
        setModel(&m_model);
        for (int c = 0; c < tags.size(); ++c)
            setColumnHidden(c, tags.at(c) == 1);
    }
    int columnCount() const override { return m_model.columnCount(); }
    int columnTag(int column) const override { return m_tags.at(column); }
    QString columnTitle(int column) const override { return m_model.headerData(column, Qt::Horizontal).toString(); }
    bool columnVisible(int column) const override { return !isColumnHidden(column); }
    void setColumnVisible(int column, bool visible) override
    {
        if (failOn == column)
            throw std::runtime_error("列设置失败");
        setColumnHidden(column, !visible);
    }
    int frozenColumnCount() const override { return frozen; }

    int frozen = 0;
    int failOn = -1;
    QList<bool> shown() const
    {
        QList<bool> out;
        for (int c = 0; c < columnCount(); ++c)
            out << columnVisible(c);
        return out;
    }

private:
    QStandardItemModel m_model;
    QList<int> m_tags;
};

// The query form's grid: department code (Tag 1, always hidden), code, name.
std::unique_ptr<GridStandIn> queryGrid()
{
    return std::make_unique<GridStandIn>(
        QStringList { u"部门编码"_s, u"商圈编码"_s, u"商圈名称"_s }, QList<int> { 1, 0, 0 });
}

QStringList entries(const TFrmChooseDBFields &d)
{
    QStringList out;
    for (int i = 0; i < d.ltvChoose->count(); ++i)
        out << d.ltvChoose->item(i)->text() + (d.ltvChoose->item(i)->checkState() == Qt::Checked ? u"+"_s : u"-"_s);
    return out;
}

// Toggles an entry's tick with the Space key on it, as a user would.
void toggle(TFrmChooseDBFields &d, int row)
{
    d.ltvChoose->setCurrentRow(row);
    QTest::sendKeyEvent(QTest::Press, d.ltvChoose, Qt::Key_Space, u" "_s, {});
    QTest::sendKeyEvent(QTest::Release, d.ltvChoose, Qt::Key_Space, u" "_s, {});
}

void show(TFrmChooseDBFields &d)
{
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
}

} // namespace

class TestChooseColumns : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void look()
    {
        auto grid = queryGrid();
        TFrmChooseDBFields d;
        d.Grid = grid.get();
        show(d);
        QCOMPARE(d.windowTitle(), u"选择项目"_s);
        QCOMPARE(d.size(), QSize(312, 204));
        QCOMPARE(d.minimumSize(), d.maximumSize());
        QCOMPARE(d.palette().color(QPalette::Window), QColor(251, 254, 222));
        QCOMPARE(QFontInfo(d.ltvChoose->font()).family(), u"Noto Serif CJK SC"_s);
        // Pixels, as the 64 × 23 buttons: a point size grows with the screen's
        // resolution and the captions overflow them above 96 dpi.
        QCOMPARE(d.font().pixelSize(), 12);
        QCOMPARE(QFontInfo(d.btnok->font()).pixelSize(), 12);
        QCOMPARE(d.ltvChoose->geometry(), QRect(0, 0, 312, 169));
        QCOMPARE(d.ltvChoose->frameShape(), QFrame::NoFrame);
        QVERIFY(d.ltvChoose->isWrapping());
        QCOMPARE(d.ltvChoose->flow(), QListView::TopToBottom);
        QCOMPARE(d.Shape->geometry(), QRect(0, 169, 312, 1));
        QCOMPARE(d.Shape->palette().color(QPalette::Window), QColor(0, 128, 0));
        const struct
        {
            QueryButton *button;
            QString caption;
            int x;
        } buttons[] = { { d.btnAll, u"全  选(&A)"_s, 24 }, { d.btnno, u"全不选(&N)"_s, 93 },
            { d.btnok, u"确  定(&O)"_s, 162 }, { d.btncancel, u"取  消(&C)"_s, 232 } };
        for (const auto &b : buttons) {
            QCOMPARE(b.button->text(), b.caption);
            QCOMPARE(b.button->geometry(), QRect(b.x, 176, 64, 23));
            QCOMPARE(b.button->lineColor(), QColor(0, 128, 0));
            QCOMPARE(b.button->downColor(), QColor(Qt::white));
        }
        // Pressed, a button turns white.
        d.btnno->setDown(true);
        QCOMPARE(d.btnno->grab().toImage().pixelColor(4, 4), QColor(Qt::white));
        d.btnno->setDown(false);
        const QString dir = qEnvironmentVariable("SQDA_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(d.grab().save(dir + u"/column-chooser.png"_s));
    }

    // The query form's grid: the two columns offered, the department (Tag 1) not;
    // unticking the name hides it at once, and the next opening shows it unticked.
    void hideNameAndReopen()
    {
        auto grid = queryGrid();
        {
            TFrmChooseDBFields d;
            d.Grid = grid.get();
            show(d);
            QCOMPARE(entries(d), QStringList({ u"商圈编码+"_s, u"商圈名称+"_s }));
            toggle(d, 1);
            QTest::mouseClick(d.btnok, Qt::LeftButton);
            QCOMPARE(d.result(), int(QDialog::Accepted));
            QVERIFY(!d.isVisible());
            QCOMPARE(grid->shown(), QList<bool>({ false, true, false }));
        }
        TFrmChooseDBFields again;
        again.Grid = grid.get();
        show(again);
        QCOMPARE(entries(again), QStringList({ u"商圈编码+"_s, u"商圈名称-"_s }));
        // 全选 ticks every offered entry, and the Tag 1 column stays hidden.
        QTest::mouseClick(again.btnAll, Qt::LeftButton);
        QTest::mouseClick(again.btnok, Qt::LeftButton);
        QCOMPARE(grid->shown(), QList<bool>({ false, true, true }));
    }

    void selectAllThenCancel()
    {
        auto grid = queryGrid();
        grid->setColumnHidden(2, true);
        TFrmChooseDBFields d;
        d.Grid = grid.get();
        show(d);
        QTest::mouseClick(d.btnAll, Qt::LeftButton);
        QCOMPARE(entries(d), QStringList({ u"商圈编码+"_s, u"商圈名称+"_s }));
        QTest::mouseClick(d.btncancel, Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(grid->shown(), QList<bool>({ false, true, false }));
    }

    // Not more ticked than frozen: the warning, the dialog stays, nothing changes.
    void tooFewTicked_data()
    {
        QTest::addColumn<int>("frozen");
        QTest::addColumn<int>("ticked");
        QTest::addColumn<bool>("warned");
        QTest::newRow("none frozen, none ticked") << 0 << 0 << true;
        QTest::newRow("none frozen, one ticked") << 0 << 1 << false;
        QTest::newRow("one frozen, one ticked") << 1 << 1 << true;
        QTest::newRow("one frozen, two ticked") << 1 << 2 << false;
    }
    void tooFewTicked()
    {
        QFETCH(int, frozen);
        QFETCH(int, ticked);
        QFETCH(bool, warned);
        auto grid = queryGrid();
        grid->frozen = frozen;
        TFrmChooseDBFields d;
        d.Grid = grid.get();
        show(d);
        QTest::mouseClick(d.btnno, Qt::LeftButton);
        for (int i = 0; i < ticked; ++i)
            toggle(d, i);
        ModalAnswerer answer;
        if (warned)
            answer.press(u"Ok"_s);
        QTest::mouseClick(d.btnok, Qt::LeftButton);
        QTRY_VERIFY(answer.idle());
        QVERIFY(answer.unexpected.isEmpty());
        if (warned) {
            QCOMPARE(answer.seen.size(), 1);
            QCOMPARE(answer.seen.at(0).title, u"警告"_s);
            QCOMPARE(answer.seen.at(0).text, u"所选列数必须大于固定列数!"_s);
            QCOMPARE(answer.seen.at(0).icon, int(QMessageBox::Warning));
            QVERIFY(d.isVisible());
            QCOMPARE(grid->shown(), QList<bool>({ false, true, true }));
        } else {
            QVERIFY(!d.isVisible());
            QCOMPARE(grid->shown(), QList<bool>({ false, true, ticked > 1 }));
        }
    }

    // A grid that refuses a change: the error box, then the dialog closes.
    void gridError()
    {
        auto grid = queryGrid();
        grid->failOn = 2;
        TFrmChooseDBFields d;
        d.Grid = grid.get();
        show(d);
        ModalAnswerer answer;
        answer.press(u"Ok"_s);
        QTest::mouseClick(d.btnok, Qt::LeftButton);
        QTRY_VERIFY(answer.idle());
        QCOMPARE(answer.seen.value(0).title, u"错误"_s);
        QCOMPARE(answer.seen.value(0).text, u"列设置失败"_s);
        QCOMPARE(answer.seen.value(0).icon, int(QMessageBox::Critical));
        QVERIFY(!d.isVisible());
    }
};

QTEST_MAIN(TestChooseColumns)
#include "tst_choosecolumns.moc"

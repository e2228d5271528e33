// The condition builder as a user meets it: a real dialog over a small dataset,
// driven by real key events (with their text), clicks and menu choices, its
// messages and questions answered as real modal dialogs.
#include "ModalAnswerer.h"

#include "data/ClientDataSet.h"
#include "host/HostContext.h"
#include "query/QueryButton.h"
#include "query/TFrmQuerySet.h"
#include "ui/DialogState.h"
#include "ui/FlatComboBox.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>

using namespace sqda;
using namespace sqda::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(sqda::LogicRows)

namespace {

LogicRow expr(const QString &label, const QString &condition, const QString &value)
{
    return { label, condition, value, {} };
}
LogicRow rel(const QString &relation)
{
    return { {}, {}, {}, relation };
}

const QString Code = u"商圈编码"_s;
const QString Name = u"商圈名称"_s;
const QString Level = u"级别"_s;
const QString Day = u"建立日期"_s;

// The key as the keyboard sends it, text included.
void key(QWidget *w, Qt::Key k, Qt::KeyboardModifiers mods = {}, const QString &text = {})
{
    QTest::sendKeyEvent(QTest::Press, w, k, text, mods);
    QTest::sendKeyEvent(QTest::Release, w, k, text, mods);
}
void enter(QWidget *w)
{
    key(w, Qt::Key_Return, {}, u"\r"_s);
}

// Chooses an item of a pick-only list with the arrow keys, as a user would.
void choose(QComboBox *box, const QString &text)
{
    box->setFocus();
    if (box->currentText() == text)
        return;
    key(box, Qt::Key_Home);
    for (int i = 0; i <= box->count() && box->currentText() != text; ++i)
        key(box, Qt::Key_Down);
    QCOMPARE(box->currentText(), text);
}

void type(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    key(edit, Qt::Key_Delete);
    for (QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(edit, c.toLatin1());
        } else {
            // Chinese text arrives from the input method, committed whole.
            QInputMethodEvent e;
            e.setCommitString(QString(c));
            QApplication::sendEvent(edit, &e);
        }
    }
    QCOMPARE(edit->text(), text);
}

// The relation dialog: records what it offered, picks `choice` (empty: cancel).
ModalAnswerer::Action pickRelation(QStringList *offered, const QString &choice)
{
    return [offered, choice](QWidget *w) {
        auto *box = w->findChild<QComboBox *>();
        QVERIFY(box);
        offered->clear();
        for (int i = 0; i < box->count(); ++i)
            offered->append(box->itemText(i));
        offered->prepend(w->windowTitle() + u"|"_s + w->findChild<QLabel *>()->text());
        if (choice.isEmpty()) {
            ModalAnswerer::pressButton(w, u"放弃(C)"_s);
            return;
        }
        box->setCurrentIndex(box->findText(choice));
        ModalAnswerer::pressButton(w, u"确认(O)"_s);
    };
}

// Answers a message dialog with a key, its text included.
ModalAnswerer::Action answerKey(Qt::Key k, const QString &text, QList<SeenDialog> *seen)
{
    return [k, text, seen](QWidget *w) {
        seen->append(ModalAnswerer::describe(w));
        key(w, k, {}, text);
    };
}

DataStore fixtureStore()
{
    DataStore s({ { u"f_bmbm"_s, FieldType::String, 12, u"部门编码"_s }, { u"f_sqbm"_s, FieldType::String, 12, Code },
        { u"f_sqmc"_s, FieldType::String, 40, Name }, { u"f_jb"_s, FieldType::Int32, 0, Level },
        { u"f_rq"_s, FieldType::Date, 0, Day } });
    s.appendString(0, u"0101");
    s.appendString(1, u"01");
    s.appendString(2, u"东城");
    s.appendInt(3, 1);
    s.appendDate(4, QDate(2024, 1, 31));
    s.commitRow();
    return s;
}

} // namespace

class TestQuerySetDialog : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    ClientDataSet m_ds;
    std::unique_ptr<TFrmQuerySet> m_dlg;
    std::unique_ptr<ModalAnswerer> m_answer;

    TFrmQuerySet *open(const LogicRows &rows = {}, bool filter = false)
    {
        m_dlg = filter ? TFrmQuerySet::CreateForFilter(QString(), &rows, true)
                       : TFrmQuerySet::CreateForQuery(QString(), QString(), u"编码为数字"_s, &rows, QString());
        m_dlg->setDataSet(&m_ds);
        m_dlg->show();
        m_dlg->activateWindow();
        if (!QTest::qWaitForWindowActive(m_dlg.get()))
            qWarning("dialog not active");
        return m_dlg.get();
    }

    // The control that has the focus inside the dialog, active or not (the
    // offscreen platform gives no activation back after a nested dialog).
    QString focusName() const { return m_dlg->focusWidget() ? m_dlg->focusWidget()->objectName() : QString(); }

    // What a user's click on the dialog does after a nested dialog closed.
    void reactivate()
    {
        m_dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_dlg.get()));
    }

    // Enters one expression and presses Enter in the value box.
    void add(const QString &label, const QString &condition, const QString &value)
    {
        choose(m_dlg->cbxField, label);
        choose(m_dlg->cbxFactor, condition);
        type(m_dlg->editValue, value);
        enter(m_dlg->editValue);
    }

    void select(int row)
    {
        QTreeWidget *list = m_dlg->lvwLogic;
        const QRect r = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(list->currentItem(), list->topLevelItem(row));
    }

    // Opens the list's pop-up menu with a right click on `row` (-1: below the rows).
    void popup(int row)
    {
        QTreeWidget *list = m_dlg->lvwLogic;
        QPoint at(40, list->viewport()->height() - 5);
        if (row >= 0) {
            at = list->visualItemRect(list->topLevelItem(row)).center();
            QTest::mousePress(list->viewport(), Qt::RightButton, {}, at);
            QTest::mouseRelease(list->viewport(), Qt::RightButton, {}, at);
        }
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &e);
        QTRY_VERIFY(m_dlg->pmnuSetField->isVisible());
    }

    void chooseMenu(QAction *action)
    {
        QMenu *menu = m_dlg->pmnuSetField;
        QVERIFY(menu->isVisible());
        action->trigger();
        menu->close();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("KALMORA_HOME", m_home.path().toLocal8Bit());
        m_ds.loadStore(fixtureStore());
        m_ds.fieldByName(u"f_bmbm")->setVisible(false);
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
        m_dlg.reset();
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("handCursor");
        QTest::newRow("cbxField") << u"cbxField"_s << QRect(8, 42, 194, 20) << QString() << true;
        QTest::newRow("cbxFactor") << u"cbxFactor"_s << QRect(211, 42, 148, 20) << QString() << true;
        QTest::newRow("editValue") << u"editValue"_s << QRect(372, 44, 237, 16) << QString() << true;
        QTest::newRow("shpValue") << u"shpValue"_s << QRect(371, 43, 239, 18) << QString() << false;
        QTest::newRow("ShapeLine") << u"ShapeLine"_s << QRect(9, 72, 603, 1) << QString() << false;
        QTest::newRow("speTemp") << u"speTemp"_s << QRect(8, 82, 504, 169) << QString() << false;
        QTest::newRow("lvwLogic") << u"lvwLogic"_s << QRect(9, 83, 502, 167) << QString() << true;
        QTest::newRow("btnAddLogic") << u"btnAddLogic"_s << QRect(519, 81, 93, 27) << u"加  入(&A)"_s << true;
        QTest::newRow("btnModifyOK") << u"btnModifyOK"_s << QRect(520, 81, 69, 27) << u"修改 &M"_s << true;
        QTest::newRow("btnModifyCancel") << u"btnModifyCancel"_s << QRect(587, 81, 25, 27) << QString() << true;
        QTest::newRow("btnClearLogic") << u"btnClearLogic"_s << QRect(520, 117, 92, 27) << u"清  空(&C)"_s << true;
        QTest::newRow("btnOK") << u"btnOK"_s << QRect(520, 152, 93, 27) << u"查  询(&O)"_s << false;
        QTest::newRow("btnHelp") << u"btnHelp"_s << QRect(520, 190, 93, 27) << u"帮  助(&H)"_s << false;
        QTest::newRow("btnExit") << u"btnExit"_s << QRect(520, 226, 92, 27) << u"退  出(&X)"_s << true;
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        QFETCH(bool, handCursor);
        open();
        auto *w = m_dlg->gbxGoodsInfo->findChild<QWidget *>(name);
        QVERIFY(w);
        QCOMPARE(w->geometry(), geometry);
        if (auto *b = qobject_cast<QueryButton *>(w)) {
            QCOMPARE(b->text(), caption);
            const bool green = name != u"btnModifyOK"_s && name != u"btnModifyCancel"_s;
            QCOMPARE(b->lineColor() == QColor(0, 128, 0), green);
        }
        QWidget *cursorOwner = name == u"lvwLogic"_s ? m_dlg->lvwLogic->viewport() : w;
        QCOMPARE(cursorOwner->cursor().shape() == Qt::PointingHandCursor, handCursor);
    }

    void look()
    {
        open();
        TFrmQuerySet *d = m_dlg.get();
        QCOMPARE(d->size(), QSize(631, 266));
        QVERIFY(d->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(d->gbxGoodsInfo->geometry(), QRect(1, 1, 629, 264));
        QCOMPARE(d->gbxGoodsInfo->title(), u"查询过滤条件设置："_s);
        QCOMPARE(d->gbxGoodsInfo->palette().color(QPalette::Window), QColor(251, 254, 222));
        const QScreen *screen = d->screen();
        QVERIFY(qAbs(d->geometry().center().x() - screen->geometry().center().x()) <= 1);
        // The Simplified Chinese face, not the Japanese one fontconfig would pick.
        QCOMPARE(QFontInfo(d->lvwLogic->font()).family(), u"Noto Serif CJK SC"_s);
        // 12 pixels, as every fixed layout of the screens: the font must not
        // grow out of the pixel-sized controls on a screen above 96 dpi.
        QCOMPARE(d->font().pixelSize(), 12);
        QCOMPARE(QFontInfo(d->btnOK->font()).pixelSize(), 12);
        QCOMPARE(d->lblTemp->text(), u"字段名称："_s);
        QCOMPARE(d->lblTemp->pos(), QPoint(11, 24));
        QCOMPARE(d->lblFactor->text(), u"条件："_s);
        QCOMPARE(d->lblFactor->pos(), QPoint(211, 24));
        QCOMPARE(d->lblValue->text(), u"值："_s);
        QCOMPARE(d->lblValue->pos(), QPoint(371, 24));
        const QColor info = QToolTip::palette().color(QPalette::Inactive, QPalette::ToolTipBase);
        QCOMPARE(d->editValue->palette().color(QPalette::Base), info);
        QCOMPARE(d->lvwLogic->palette().color(QPalette::Base), info);
        QCOMPARE(d->cbxField->palette().color(QPalette::Button), info);
        QCOMPARE(d->cbxField->lineColor(), QColor(0, 128, 0));
        QCOMPARE(d->speTemp->palette().color(QPalette::WindowText), QColor(0, 128, 0));
        QVERIFY(!d->editValue->hasFrame());
        QVERIFY(!d->btnModifyOK->isVisible());
        QVERIFY(!d->btnModifyCancel->isVisible());
        QVERIFY(!d->btnModifyCancel->icon().isNull());
        QCOMPARE(d->btnModifyCancel->Tag, 1);
        QCOMPARE(d->btnAddLogic->toolTip(), u"加入逻辑表达式"_s);
        QCOMPARE(d->btnModifyOK->toolTip(), u"确认对逻辑表达式的修改"_s);
        QCOMPARE(d->btnModifyCancel->toolTip(), u"放弃对逻辑表达式的修改"_s);
        QVERIFY(!d->memSQL || !d->memSQL->isVisible());

        QTreeWidget *list = d->lvwLogic;
        QCOMPARE(list->headerItem()->text(0), u"字段名称"_s);
        QCOMPARE(list->headerItem()->text(1), u"条件"_s);
        QCOMPARE(list->headerItem()->text(2), u"值"_s);
        QCOMPARE(list->headerItem()->text(3), u"逻辑关系"_s);
        QCOMPARE(QList<int>({ list->columnWidth(0), list->columnWidth(1), list->columnWidth(2), list->columnWidth(3) }),
            QList<int>({ 198, 100, 79, 69 }));
        QVERIFY(!list->header()->sectionsClickable());
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);

        // Conditions in list order, nothing chosen; the visible fields offered.
        QStringList conditions;
        for (int i = 0; i < d->cbxFactor->count(); ++i)
            conditions << d->cbxFactor->itemText(i);
        QCOMPARE(conditions,
            QStringList({ u"等于"_s, u"大于"_s, u"大于等于"_s, u"小于"_s, u"小于等于"_s, u"不等于"_s, u"部分等于"_s,
                u"部分不等于"_s, u"左等于"_s }));
        QCOMPARE(d->cbxFactor->currentIndex(), -1);
        QCOMPARE(d->cbxField->currentIndex(), -1);
        QCOMPARE(d->cbxField->count(), 4);
        QCOMPARE(d->cbxField->itemText(0), Code);

        // The pop-up menu: items, tags, the relation sub-menu disabled at start.
        QStringList items;
        for (QAction *a : d->pmnuSetField->actions())
            items << (a->isSeparator() ? u"-"_s : a->text() + u":"_s + a->data().toString());
        QCOMPARE(items,
            QStringList({ u"加入字段表达式:0"_s, u"-"_s, u"修改字段表达式:1"_s, u"修改逻辑表达式:"_s, u"-"_s,
                u"删除字段表达式:2"_s }));
        QVERIFY(!d->mnuModifyLogic->isEnabled());
        QCOMPARE(d->mnuLogicOR->text(), u"A 或者 B"_s);
        QCOMPARE(d->mnuLogicOR->data().toInt(), 0);
        QCOMPARE(d->mnuLogicAND->text(), u"A 并且 B"_s);
        QCOMPARE(d->mnuLogicAND->data().toInt(), 1);
    }

    // Tab walks cbxField, list, condition, value, clear, OK, exit, (change buttons), add, help.
    void tabOrder()
    {
        open({ expr(Code, u"等于"_s, u"01"_s) });
        QTRY_COMPARE(QApplication::focusWidget(), m_dlg->cbxField);
        auto walk = [this] {
            QStringList names;
            for (int i = 0; i < 11; ++i) {
                names << QApplication::focusWidget()->objectName();
                key(QApplication::focusWidget(), Qt::Key_Tab, {}, u"\t"_s);
            }
            return names;
        };
        QCOMPARE(walk(),
            QStringList({ u"cbxField"_s, u"lvwLogic"_s, u"cbxFactor"_s, u"editValue"_s, u"btnClearLogic"_s, u"btnOK"_s,
                u"btnExit"_s, u"btnAddLogic"_s, u"btnHelp"_s, u"cbxField"_s, u"lvwLogic"_s }));
        select(0);
        m_dlg->BeginModify();
        m_dlg->cbxField->setFocus();
        QStringList names = walk();
        QCOMPARE(names.mid(6, 4), QStringList({ u"btnExit"_s, u"btnModifyOK"_s, u"btnModifyCancel"_s, u"btnHelp"_s }));
    }

    void modes()
    {
        const LogicRows given { expr(Name, u"部分不等于"_s, u"东"_s) };
        m_dlg = TFrmQuerySet::CreateForFilter(u"  过滤条件  "_s, &given, false);
        m_dlg->setDataSet(&m_ds);
        m_dlg->show();
        QCOMPARE(m_dlg->btnOK->text(), u"过  滤(&O)"_s);
        QCOMPARE(m_dlg->gbxGoodsInfo->title(), u"  过滤条件  "_s);
        QCOMPARE(m_dlg->cbxField->count(), 5); // the invisible department too
        QCOMPARE(m_dlg->HelpText, u"字段名称值的要求:\r\n"_s);
        QCOMPARE(m_dlg->rows(), given);
        m_dlg->btnOK->click();
        QCOMPARE(m_dlg->result(), 1);
        QCOMPARE(m_dlg->WhereText, u"( f_sqmc<>'temp@temp@temp' )"_s);
        QVERIFY(m_dlg->memSQL);
        QVERIFY(!m_dlg->memSQL->isVisible());
        QCOMPARE(m_dlg->memSQL->toPlainText(), m_dlg->WhereText);
        QCOMPARE(m_dlg->ExcludeLike, u"f_sqmc LIKE '%东%'"_s);
        QCOMPARE(m_dlg->ExcludeField, u"f_sqmc"_s);
        QCOMPARE(m_dlg->FilterText, u"( f_sqmc NOT LIKE '%东%' )"_s);

        m_dlg = TFrmQuerySet::CreateForQuery(u" "_s, u"a"_s, u"帮助"_s, nullptr, u" f_sqbm = x.code ; f_sqmc=y"_s);
        QCOMPARE(m_dlg->gbxGoodsInfo->title(), u"查询过滤条件设置："_s);
        QCOMPARE(m_dlg->FieldMap, QStringList({ u"f_sqbm = x.code"_s, u"f_sqmc=y"_s }));
        QCOMPARE(m_dlg->HelpText, u"字段名称值的要求:\r\n帮助"_s);
        QVERIFY(m_dlg->rows().isEmpty());
        QVERIFY(m_dlg->VisibleOnly);
        QCOMPARE(m_dlg->FilterMode, 0);
    }

    // Adding: the first row without a question, then a relation each time,
    // offered in the order last chosen; cancelling it adds nothing.
    void addRows()
    {
        open();
        QTRY_COMPARE(QApplication::focusWidget(), m_dlg->cbxField);
        add(Code, u"左等于"_s, u"01"_s);
        QCOMPARE(m_dlg->rows(), LogicRows({ expr(Code, u"左等于"_s, u"01"_s) }));

        QStringList offered;
        m_answer->then(pickRelation(&offered, u"或者"_s));
        add(Name, u"部分等于"_s, u"东"_s);
        QCOMPARE(offered, QStringList({ u"选择框|请选择一个逻辑关系："_s, u"并且"_s, u"或者"_s }));
        m_answer->then(pickRelation(&offered, QString()));
        add(Name, u"部分等于"_s, u"西"_s);
        QCOMPARE(offered, QStringList({ u"选择框|请选择一个逻辑关系："_s, u"或者"_s, u"并且"_s }));
        QCOMPARE(m_dlg->rows().size(), 3);
        m_answer->then(pickRelation(&offered, u"并且"_s));
        add(Name, u"部分等于"_s, u"西"_s);
        QCOMPARE(m_dlg->rows(),
            LogicRows({ expr(Code, u"左等于"_s, u"01"_s), rel(u"或者"_s), expr(Name, u"部分等于"_s, u"东"_s),
                rel(u"并且"_s), expr(Name, u"部分等于"_s, u"西"_s) }));
        QCOMPARE(m_dlg->LastRelation, 0);
        QVERIFY(m_dlg->isVisible());

        // Enter never reaches the edit; choosing another field empties the value.
        QCOMPARE(m_dlg->editValue->text(), u"西"_s);
        choose(m_dlg->cbxField, Code);
        QVERIFY(m_dlg->editValue->text().isEmpty());
    }

    void addRefused_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("empty value") << Code << u"等于"_s << QString() << u"请输入一个值。"_s << u"editValue"_s;
        QTest::newRow("no field") << QString() << u"等于"_s << u"01"_s << u"请选择一个字段。"_s << u"cbxField"_s;
        QTest::newRow("no condition") << Code << QString() << u"01"_s << u"请选择一个条件。"_s << u"cbxFactor"_s;
        QTest::newRow("number field, words")
            << Level << u"大于"_s << u"1 or 1=1"_s << u"字段“级别”不是文本字段，值只能是一个数字（例如 12、-1.5）。"_s
            << u"editValue"_s;
        // What the dataset's filter would refuse after the dialog closed is
        // refused here, by the field's real type.
        QTest::newRow("number field, quoted words")
            << Level << u"等于"_s << u"'abc'"_s << u"字段“级别”不是文本字段，值只能是一个数字（例如 12、-1.5）。"_s
            << u"editValue"_s;
        QTest::newRow("number field, beyond any number")
            << Level << u"小于"_s << u"1e999"_s << u"字段“级别”不是文本字段，值只能是一个数字（例如 12、-1.5）。"_s
            << u"editValue"_s;
        QTest::newRow("date field, bare number")
            << Day << u"等于"_s << u"20240131"_s
            << u"字段“建立日期”不是文本字段，值只能是一个用单引号括起的日期（例如 '2024-01-31'）。"_s << u"editValue"_s;
        QTest::newRow("bad range") << Code << u"等于"_s << u"1|2|3"_s << u"“1|2|3”不是一个范围：范围写作 下限|上限。"_s
                                   << u"editValue"_s;
    }
    void addRefused()
    {
        QFETCH(QString, field);
        QFETCH(QString, condition);
        QFETCH(QString, value);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        open();
        if (!field.isEmpty())
            choose(m_dlg->cbxField, field);
        if (!condition.isEmpty())
            choose(m_dlg->cbxFactor, condition);
        if (!value.isEmpty())
            type(m_dlg->editValue, value);
        m_answer->press(u"OK"_s);
        enter(m_dlg->editValue);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.value(0).title, u"警告"_s);
        QCOMPARE(m_answer->seen.value(0).text, message);
        QVERIFY(m_dlg->rows().isEmpty());
        QTRY_COMPARE(focusName(), focus);
    }

    // The same expression again: right after adding it, it confirms the dialog;
    // anywhere else it is refused.
    void duplicates()
    {
        open();
        add(Code, u"等于"_s, u"01"_s);
        QVERIFY(m_dlg->isVisible());
        enter(m_dlg->editValue);
        QVERIFY(!m_dlg->isVisible());
        QCOMPARE(m_dlg->result(), 1);
        QCOMPARE(m_dlg->WhereText, u"( f_sqbm = '01' )"_s);
        QCOMPARE(m_dlg->rows().size(), 1);

        open();
        add(Code, u"等于"_s, u"01"_s);
        QStringList offered;
        m_answer->then(pickRelation(&offered, u"并且"_s));
        add(Name, u"等于"_s, u"东城"_s);
        m_answer->press(u"OK"_s);
        add(Code, u"等于"_s, u"01"_s);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.value(0).title, u"信息"_s);
        QCOMPARE(m_answer->seen.value(0).text, u"该逻辑表达式已经存在。"_s);
        QCOMPARE(m_dlg->rows().size(), 3);
        QVERIFY(m_dlg->isVisible());
    }

    void deleteRows_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("answer"); // the key or button that answers
        QTest::addColumn<QStringList>("left"); // values of the rows left
        const QStringList all { u"01"_s, QString(), u"02"_s, QString(), u"03"_s };
        QTest::newRow("first expression, yes") << 0 << int(Qt::Key_Y) << QStringList({ u"02"_s, QString(), u"03"_s });
        QTest::newRow("last expression, yes") << 4 << int(Qt::Key_Y) << QStringList({ u"01"_s, QString(), u"02"_s });
        QTest::newRow("middle expression, yes") << 2 << int(Qt::Key_Y) << QStringList({ u"01"_s, QString(), u"03"_s });
        QTest::newRow("relation, yes") << 1 << int(Qt::Key_Y) << QStringList({ u"01"_s, QString(), u"03"_s });
        QTest::newRow("expression, Enter deletes")
            << 0 << int(Qt::Key_Return) << QStringList({ u"02"_s, QString(), u"03"_s });
        QTest::newRow("relation, Esc deletes")
            << 3 << int(Qt::Key_Escape) << QStringList({ u"01"_s, QString(), u"02"_s });
        QTest::newRow("expression, No keeps") << 2 << int(Qt::Key_N) << all;
        QTest::newRow("relation, No keeps") << 1 << int(Qt::Key_N) << all;
    }
    void deleteRows()
    {
        QFETCH(int, row);
        QFETCH(int, answer);
        QFETCH(QStringList, left);
        open({ expr(Code, u"等于"_s, u"01"_s), rel(u"并且"_s), expr(Code, u"等于"_s, u"02"_s), rel(u"或者"_s),
            expr(Code, u"等于"_s, u"03"_s) });
        select(row);
        QList<SeenDialog> seen;
        const QString text = answer == Qt::Key_Return ? u"\r"_s
            : answer == Qt::Key_Escape                ? u"\x1b"_s
            : answer == Qt::Key_Y                     ? u"y"_s
                                                      : u"n"_s;
        m_answer->then(answerKey(Qt::Key(answer), text, &seen));
        popup(row);
        QVERIFY(m_dlg->mnuDelField->isEnabled());
        chooseMenu(m_dlg->mnuDelField);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(seen.value(0).title, u"询问"_s);
        QCOMPARE(seen.value(0).text,
            row % 2 ? u"删除该逻辑关系，将同时删除与之关联的逻辑表达式。\r\n您确认继续吗？"_s
                    : u"您确认删除该逻辑表达式吗？"_s);
        QCOMPARE(seen.value(0).buttons, QStringList({ u"是(Y)"_s, u"不(N)"_s }));
        QStringList values;
        for (const LogicRow &r : m_dlg->rows())
            values << r.value;
        QCOMPARE(values, left);
    }

    void nothingSelected()
    {
        open({ expr(Code, u"等于"_s, u"01"_s) });
        m_dlg->lvwLogic->clearSelection();
        m_answer->press(u"OK"_s).press(u"OK"_s);
        popup(-1);
        chooseMenu(m_dlg->mnuDelField);
        popup(-1);
        chooseMenu(m_dlg->mnuModifyField);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.size(), 2);
        for (const SeenDialog &d : m_answer->seen) {
            QCOMPARE(d.title, u"信息"_s);
            QCOMPARE(d.text, u"请选择一个逻辑表达式。"_s);
        }
        QCOMPARE(m_dlg->rows().size(), 1);
        QVERIFY(m_dlg->btnAddLogic->isVisible());
        QTRY_COMPARE(focusName(), u"lvwLogic"_s);
        // The first menu item puts the focus into the field list.
        popup(-1);
        chooseMenu(m_dlg->mnuAddField);
        QCOMPARE(focusName(), u"cbxField"_s);
    }

    // The menu enables what fits the selected row; its relation items change relations.
    void menuAndRelations()
    {
        open({ expr(Code, u"等于"_s, u"01"_s), rel(u"并且"_s), expr(Code, u"等于"_s, u"02"_s) });
        popup(1);
        QVERIFY(m_dlg->mnuModifyLogic->isEnabled());
        QVERIFY(!m_dlg->mnuModifyField->isEnabled());
        chooseMenu(m_dlg->mnuLogicOR);
        QCOMPARE(m_dlg->rows().at(1).relation, u"或者"_s);
        popup(1);
        chooseMenu(m_dlg->mnuLogicAND);
        QCOMPARE(m_dlg->rows().at(1).relation, u"并且"_s);

        popup(2);
        QVERIFY(!m_dlg->mnuModifyLogic->isEnabled());
        QVERIFY(m_dlg->mnuModifyField->isEnabled());
        // An expression row never takes a relation, even from a stale menu.
        m_dlg->mnuLogicOR->trigger();
        m_dlg->pmnuSetField->close();
        QCOMPARE(m_dlg->rows().at(2), expr(Code, u"等于"_s, u"02"_s));

        // With nothing selected the items stay as they were.
        m_dlg->lvwLogic->clearSelection();
        popup(-1);
        QVERIFY(!m_dlg->mnuModifyLogic->isEnabled());
        QVERIFY(m_dlg->mnuModifyField->isEnabled());
        m_dlg->pmnuSetField->close();
    }

    // Changing a row: through the menu, confirmed or dropped, Enter adds instead.
    void changeRows()
    {
        open({ expr(Code, u"等于"_s, u"01"_s), rel(u"并且"_s), expr(Name, u"部分等于"_s, u"东"_s) });
        popup(2);
        chooseMenu(m_dlg->mnuModifyField);
        QVERIFY(m_dlg->btnModifyOK->isVisible());
        QVERIFY(m_dlg->btnModifyCancel->isVisible());
        QVERIFY(!m_dlg->btnAddLogic->isVisible());
        QCOMPARE(m_dlg->cbxField->currentText(), Name);
        QCOMPARE(m_dlg->cbxFactor->currentText(), u"部分等于"_s);
        QCOMPARE(m_dlg->editValue->text(), u"东"_s);

        // Up (released) selects the value; a change may empty it.
        m_dlg->editValue->setFocus();
        m_dlg->editValue->deselect();
        key(m_dlg->editValue, Qt::Key_Up);
        QCOMPARE(m_dlg->editValue->selectedText(), u"东"_s);
        type(m_dlg->editValue, u"西"_s);
        reactivate();
        QTest::keyClick(m_dlg->editValue, Qt::Key_M, Qt::AltModifier); // 修改 &M
        QCOMPARE(m_dlg->rows().at(2), expr(Name, u"部分等于"_s, u"西"_s));
        QVERIFY(m_dlg->btnAddLogic->isVisible());
        QVERIFY(!m_dlg->btnModifyOK->isVisible());

        // Dropping a change writes nothing.
        select(0);
        m_dlg->BeginModify();
        type(m_dlg->editValue, u"09"_s);
        QTest::mouseClick(m_dlg->btnModifyCancel, Qt::LeftButton);
        QCOMPARE(m_dlg->rows().at(0), expr(Code, u"等于"_s, u"01"_s));
        QVERIFY(m_dlg->btnAddLogic->isVisible());

        // Emptied through a change: accepted, and it builds the always-true group.
        select(0);
        m_dlg->BeginModify();
        type(m_dlg->editValue, u"x"_s);
        m_dlg->editValue->clear();
        m_dlg->btnModifyOK->click();
        QCOMPARE(m_dlg->rows().at(0).value, QString());
        QVERIFY(m_dlg->BuildWhereText());
        QCOMPARE(m_dlg->WhereText, u"( 1=1  ) And ( f_sqmc LIKE '%西%' )"_s);

        // Enter while a change is pending adds a new row; the change stays pending.
        select(2);
        m_dlg->BeginModify();
        type(m_dlg->editValue, u"南"_s);
        QStringList offered;
        m_answer->then(pickRelation(&offered, u"或者"_s));
        enter(m_dlg->editValue);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_dlg->rows().size(), 5);
        QCOMPARE(m_dlg->rows().at(2).value, u"西"_s);
        QCOMPARE(m_dlg->rows().at(4), expr(Name, u"部分等于"_s, u"南"_s));
        QVERIFY(m_dlg->btnModifyOK->isVisible());
        m_dlg->btnModifyCancel->click();

        // A value the field cannot take is refused in a change too, and the change stays open.
        select(0);
        m_dlg->BeginModify();
        choose(m_dlg->cbxField, Level);
        choose(m_dlg->cbxFactor, u"等于"_s);
        type(m_dlg->editValue, u"2 or 1=1"_s);
        m_answer->press(u"OK"_s);
        m_dlg->btnModifyOK->click();
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.last().title, u"警告"_s);
        QCOMPARE(m_dlg->rows().at(0).value, QString());
        QVERIFY(m_dlg->btnModifyOK->isVisible());
        type(m_dlg->editValue, u"2"_s);
        m_dlg->btnModifyOK->click();
        QCOMPARE(m_dlg->rows().at(0), expr(Level, u"等于"_s, u"2"_s));

        // The row a change began on deleted meanwhile: nothing is written anywhere.
        select(4);
        m_dlg->BeginModify();
        m_answer->press(u"Yes"_s);
        m_dlg->DeleteSelected();
        QTRY_VERIFY(m_answer->idle());
        const LogicRows before = m_dlg->rows();
        select(2);
        type(m_dlg->editValue, u"北"_s);
        m_dlg->btnModifyOK->click();
        QCOMPARE(m_dlg->rows(), before);
        QVERIFY(m_dlg->btnAddLogic->isVisible());
    }

    void keysAndLetters()
    {
        open({ expr(Code, u"等于"_s, u"01"_s) });
        // Alt+F2 shows the where text in the test dialog; the answer is not used.
        QString prompt, shown;
        m_answer->then([&](QWidget *w) {
            prompt = w->windowTitle() + u"|"_s + w->findChild<QLabel *>()->text();
            shown = w->findChild<QLineEdit *>()->text();
            w->findChild<QLineEdit *>()->setText(u"changed"_s);
            ModalAnswerer::pressButton(w, u"btnOK"_s);
        });
        QTest::keyClick(m_dlg->cbxField, Qt::Key_F2, Qt::AltModifier);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(prompt, u"测试信息|查询语句"_s);
        QCOMPARE(shown, u"( f_sqbm = '01' )"_s);
        QCOMPARE(m_dlg->WhereText, u"( f_sqbm = '01' )"_s);
        QVERIFY(m_dlg->isVisible());

        // Alt+H: the help text.
        reactivate();
        m_answer->press(u"OK"_s);
        QTest::keyClick(m_dlg->editValue, Qt::Key_H, Qt::AltModifier);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.last().title, u"信息"_s);
        QCOMPARE(m_answer->seen.last().text, u"字段名称值的要求:\r\n编码为数字"_s);

        // Alt+C clears without asking; Alt+A with nothing typed asks for a value.
        reactivate();
        QTest::keyClick(m_dlg->editValue, Qt::Key_C, Qt::AltModifier);
        QVERIFY(m_dlg->rows().isEmpty());
        m_answer->press(u"OK"_s);
        QTest::keyClick(m_dlg->editValue, Qt::Key_A, Qt::AltModifier);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.last().text, u"请输入一个值。"_s);

        // Esc anywhere leaves with Cancel.
        key(m_dlg->lvwLogic, Qt::Key_Escape, {}, u"\x1b"_s);
        QVERIFY(!m_dlg->isVisible());
        QCOMPARE(m_dlg->result(), 2);

        open();
        QTest::keyClick(m_dlg->cbxFactor, Qt::Key_X, Qt::AltModifier);
        QCOMPARE(m_dlg->result(), 2);
        open();
        QTest::keyClick(m_dlg->cbxFactor, Qt::Key_O, Qt::AltModifier);
        QCOMPARE(m_dlg->result(), 1);
        QCOMPARE(m_dlg->WhereText, QString()); // an empty list, an empty where text
    }

    // Rows a caller hands in that cannot be built: shown, and the dialog stays.
    void badRowsStayOpen()
    {
        open({ expr(Level, u"等于"_s, u"abc"_s) });
        m_answer->press(u"OK"_s);
        m_dlg->btnOK->click();
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.value(0).title, u"警告"_s);
        QVERIFY(m_answer->seen.value(0).text.startsWith(u"第 1 行：字段“级别”不是文本字段"_s));
        QVERIFY(m_dlg->isVisible());
        QVERIFY(m_dlg->WhereText.isEmpty());
    }

    // Shown modally, as the grid shows it: built, confirmed, rows handed back.
    void modalRun()
    {
        const LogicRows given { expr(Code, u"左等于"_s, u"01"_s) };
        m_dlg = TFrmQuerySet::CreateForQuery(QString(), u"t"_s, QString(), &given, QString());
        m_dlg->setDataSet(&m_ds);
        QStringList offered;
        m_answer->then([this](QWidget *w) {
            QCOMPARE(w, m_dlg.get());
            choose(m_dlg->cbxField, Name);
            choose(m_dlg->cbxFactor, u"等于"_s);
            type(m_dlg->editValue, u"O'Brien"_s);
            // The relation question is the next modal; it is answered below.
            QTimer::singleShot(0, m_dlg.get(), [this] { enter(m_dlg->editValue); });
        });
        m_answer->then(pickRelation(&offered, u"并且"_s));
        m_answer->then([](QWidget *w) { ModalAnswerer::pressButton(w, u"btnOK"_s); });
        QCOMPARE(TFrmQuerySet::execOwned(m_dlg), 1);
        QCOMPARE(m_dlg->WhereText, u"( t.f_sqbm LIKE '01%' ) And ( t.f_sqmc = 'O''Brien' )"_s);
        QCOMPARE(m_dlg->rows().size(), 3);
        QCOMPARE(given.size(), 1);
    }

    // The owner window closing under the open dialog takes the dialog with it;
    // the caller's pointer lets go instead of freeing it a second time.
    void ownerGoesAway()
    {
        auto owner = std::make_unique<QWidget>();
        setOwnerWindow(owner.get());
        m_dlg = TFrmQuerySet::CreateForFilter(QString(), nullptr, true);
        setOwnerWindow(nullptr);
        QCOMPARE(m_dlg->parentWidget(), owner.get());
        m_answer->then([&owner](QWidget *) { owner.reset(); });
        QCOMPARE(TFrmQuerySet::execOwned(m_dlg), 2);
        QVERIFY(!m_dlg);
    }

    // The style keeps what it painted for one dialog for the next: a dialog
    // opened after the input colour changed must show the new colour in its
    // boxes and its list's title row, and one opened after it changed back the
    // very picture of the first.
    void paintedInTheColoursOfItsOpening()
    {
        const auto regions = [this] {
            open();
            const QImage image = m_dlg->grab().toImage();
            const QPoint at = m_dlg->gbxGoodsInfo->pos();
            const QWidget *title = m_dlg->lvwLogic->header();
            const QRect titleRect(title->mapTo(m_dlg.get(), QPoint(0, 0)), title->size());
            QList<QImage> parts { image.copy(m_dlg->cbxField->geometry().translated(at)),
                image.copy(m_dlg->cbxFactor->geometry().translated(at)), image.copy(titleRect) };
            m_dlg.reset();
            return parts;
        };
        const QPalette original = QToolTip::palette();
        const QList<QImage> first = regions();
        QPalette blue = original;
        blue.setColor(QPalette::ToolTipBase, QColor(120, 160, 255));
        QToolTip::setPalette(blue);
        const QList<QImage> changed = regions();
        QToolTip::setPalette(original);
        const QList<QImage> again = regions();
        for (int i = 0; i < first.size(); ++i) {
            QVERIFY2(changed.at(i) != first.at(i), qPrintable(QString::number(i)));
            QVERIFY2(again.at(i) == first.at(i), qPrintable(QString::number(i)));
        }
        // The new colour itself, inside the field box and on the title row.
        const auto bluish = [](const QImage &image) {
            const QColor c = image.pixelColor(image.width() / 3, image.height() / 2);
            return c.blue() > c.red() + 40;
        };
        QVERIFY(bluish(changed.at(0)));
        QVERIFY(bluish(changed.at(2)));
        QVERIFY(!bluish(first.at(0)));
    }

    // docs/condition-builder.png: run with SQDA_SCREENSHOT_DIR set to write it.
    void screenshot()
    {
        open({ expr(Code, u"左等于"_s, u"01"_s), rel(u"并且"_s), expr(Name, u"部分等于"_s, u"东"_s), rel(u"或者"_s),
            expr(Code, u"等于"_s, u"0201|0299"_s) });
        choose(m_dlg->cbxField, Name);
        choose(m_dlg->cbxFactor, u"部分不等于"_s);
        type(m_dlg->editValue, u"西"_s);
        select(2);
        const QImage image = m_dlg->grab().toImage();
        // The typed value is drawn: dark ink inside the value box.
        const QRect box = m_dlg->editValue->geometry().translated(m_dlg->gbxGoodsInfo->pos());
        int ink = 0;
        for (int y = box.top(); y <= box.bottom(); ++y) {
            for (int x = box.left(); x <= box.right(); ++x)
                ink += image.pixelColor(x, y).lightness() < 96;
        }
        QVERIFY2(ink > 10, qPrintable(QString::number(ink)));
        // The yellow window and a green frame are painted, not just set.
        QCOMPARE(image.pixelColor(560, 250), QColor(251, 254, 222));
        QCOMPARE(image.pixelColor(1 + 8, 1 + 150), QColor(0, 128, 0));
        const QString dir = qEnvironmentVariable("SQDA_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(image.save(dir + u"/condition-builder.png"_s));
    }
};

QTEST_MAIN(TestQuerySetDialog)
#include "tst_querysetdialog.moc"

// The maintenance screen as a user meets it: opened by GetFormOne inside a test
// host, driven by real clicks and keys, its dialogs answered as a user would,
// its host calls answered by an in-memory host.
#include "AccessibleReader.h"
#include "AreaHostFake.h"
#include "ModalAnswerer.h"
#include "TestHost.h"

#include "data/ClientDataSet.h"
#include "host/HostContext.h"
#include "tradearea/MaintenanceState.h"
#include "tradearea/TAreaTree.h"
#include "tradearea/TfrmMdda_ED.h"
#include "ui/ShortcutHelp.h"
#include "ui/TRopInst.h"
#include "ui/TRopWin.h"

#include <sqda/EntryPoints.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QSplitter>
#include <QTest>
#include <QToolButton>

#include <optional>
#include <tuple>

extern "C" void GetFormOne(QWidget *appWindow, QWidget *hostControl, const unsigned char *operatorCode,
    QWidget *parentControl, sqda::ICoorDisp *dataService);
extern "C" void GetFormOneSearch(QWidget *appWindow, QWidget *hostControl, const unsigned char *operatorCode,
    QWidget *parentControl, sqda::ICoorDisp *dataService);

using namespace sqda;
using namespace sqda::test;

namespace {

// Counts one kind of key reaching a widget, to tell whether the screen consumed it.
class KeyCounter : public QObject
{
public:
    explicit KeyCounter(int key)
        : m_key(key)
    {
    }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->key() == m_key)
            ++count;
        return false;
    }

private:
    int m_key;
};

// Pixels along a line of the image that differ from the background.
int inkAlong(const QImage &image, const QColor &background, QPoint from, QPoint to)
{
    int ink = 0;
    const int steps = std::max(std::abs(to.x() - from.x()), std::abs(to.y() - from.y()));
    for (int i = 0; i <= steps; ++i) {
        const QPoint p = steps == 0 ? from : from + (to - from) * i / steps;
        ink += QColor(image.pixel(p)) != background;
    }
    return ink;
}

// A key as the window system delivers it, with its text: QTest::keyClick sends
// none for Delete, Home, End and the arrows, while X11 sends DEL (0x7F) with Delete.
void sendKeyWithText(QWidget *w, int key, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
}

QString seenText(const ModalAnswerer &a)
{
    QStringList out;
    for (const SeenDialog &d : a.seen)
        out << d.title + QLatin1Char('|') + d.text;
    return out.join(QLatin1Char('\n'));
}

} // namespace

class TestMaintenanceForm : public QObject
{
    Q_OBJECT

    std::unique_ptr<AreaHostFake> m_fake;
    std::unique_ptr<TestHostWindow> m_host;
    QPointer<TfrmMdda_ED> m_form;

    // 01 东区 (2 children), 0101 东一 (1 child), 010101 甲, 0102 东二, 02 西区
    void standardRows()
    {
        m_fake->add(QStringLiteral("01"), QStringLiteral("东区"), 1, 0);
        m_fake->add(QStringLiteral("0101"), QStringLiteral("东一"), 2, 0);
        m_fake->add(QStringLiteral("010101"), QStringLiteral("甲"), 3, 1);
        m_fake->add(QStringLiteral("0102"), QStringLiteral("东二"), 2, 1);
        m_fake->add(QStringLiteral("02"), QStringLiteral("西区"), 1, 1);
    }

    bool open()
    {
        m_host = std::make_unique<TestHostWindow>();
        m_host->activateWindow();
        if (!QTest::qWaitForWindowActive(m_host.get()))
            return false;
        const QByteArray op = toShortString("0001");
        GetFormOne(m_host.get(), m_host->hostControl, reinterpret_cast<const uchar *>(op.constData()),
            m_host->parentControl, m_fake->service.get());
        const QList<QWidget *> forms = embeddedForms(m_host->parentControl);
        m_form = forms.isEmpty() ? nullptr : qobject_cast<TfrmMdda_ED *>(forms.last());
        return m_form;
    }

    // After a dialog the host window takes the keys again.
    // The offscreen platform has no window manager to give the activation back,
    // so the test does what a user's click would.
    bool hostActive() const
    {
        if (QApplication::activeWindow() != m_host.get())
            m_host->activateWindow();
        return QTest::qWaitFor([this] { return QApplication::activeWindow() == m_host.get(); });
    }

    QTreeWidgetItem *node(const QString &text) const { return m_form->TN->findNodeText(text); }

    void click(QTreeWidgetItem *item, TAreaTree *tree = nullptr)
    {
        if (!tree)
            tree = m_form->TN;
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    }

    void key(int k, Qt::KeyboardModifiers mods = {})
    {
        QVERIFY(hostActive());
        QWidget *w = QApplication::focusWidget();
        QVERIFY(w);
        QTest::keyClick(w, Qt::Key(k), mods);
    }

    // Types text as key presses; characters beyond ASCII arrive as text only.
    static void typeKeys(QWidget *w, const QString &text)
    {
        for (QChar c : text) {
            if (c.unicode() < 0x80) {
                QTest::keyClick(w, c.toLatin1());
            } else {
                QTest::sendKeyEvent(QTest::Press, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
                QTest::sendKeyEvent(QTest::Release, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
            }
        }
    }

    static void type(QLineEdit *edit, const QString &text)
    {
        edit->setFocus();
        edit->selectAll();
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Delete);
        typeKeys(edit, text);
    }

    QString tree() const
    {
        QStringList lines;
        for (QTreeWidgetItem *i : m_form->TN->nodesInOrder()) {
            int depth = 0;
            for (QTreeWidgetItem *p = i->parent(); p; p = p->parent())
                ++depth;
            lines << QString(depth * 2, QLatin1Char(' ')) + i->text(0);
        }
        return lines.join(QLatin1Char('\n'));
    }

    // The add sequence up to the save press; answers must be queued before.
    void addArea(const QString &code, const QString &name)
    {
        QTest::mouseClick(m_form->btnAdd, Qt::LeftButton);
        type(m_form->edtBm, code);
        type(m_form->edtName, name);
        QTest::mouseClick(m_form->btnSave, Qt::LeftButton);
    }

    QPoint inPanelMain(QWidget *w) const { return w->mapTo(m_form->PanelMain, QPoint(0, 0)); }

private Q_SLOTS:
    void init()
    {
        maintenanceState().reset();
        m_fake = std::make_unique<AreaHostFake>();
    }

    void cleanup()
    {
        m_host.reset();
        releaseHostContext();
        m_fake.reset();
    }

    // The screen as drawn: the colours of the strips, panels, splitter, edit
    // borders and the red label where the design puts them; the tool bar's
    // captions; the tab order.
    void layoutFollowsTheDesign()
    {
        ModalAnswerer answerer;
        QVERIFY(open());
        TfrmMdda_ED *f = m_form;
        const QList<std::pair<QToolButton *, QString>> buttons { { f->btnExpand, QStringLiteral("展  开") },
            { f->btnCollapse, QStringLiteral("收  缩") }, { f->ToolButton4, QStringLiteral("向  上") },
            { f->ToolButton5, QStringLiteral("向  下") }, { f->btnAdd, QStringLiteral("增  加") },
            { f->btnDelete, QStringLiteral("删  除") }, { f->btnSave, QStringLiteral("存  盘") },
            { f->btnReflash, QStringLiteral("刷  新") }, { f->btnLocate, QStringLiteral("定  位") },
            { f->btnHelp, QStringLiteral("助  手") }, { f->btnExit, QStringLiteral("退  出") } };
        int left = -1;
        for (const auto &[button, caption] : buttons) {
            QCOMPARE(button->text(), caption);
            QCOMPARE(button->focusPolicy(), Qt::NoFocus);
            QVERIFY(!button->icon().isNull());
            QVERIFY2(button->x() > left, qPrintable(caption)); // left to right in this order
            left = button->x();
        }
        QCOMPARE(f->Panel3->text(), QStringLiteral("商圈编码和名称"));
        QCOMPARE(f->Panel4->text(), QStringLiteral("商圈内容"));
        QCOMPARE(f->Label1->text(), QStringLiteral("商圈编码:"));
        QCOMPARE(f->Label2->text(), QStringLiteral("商圈名称:"));
        QCOMPARE(f->Label3->text(), QStringLiteral("商圈分级情况："));
        QCOMPARE(f->edtBm->maxLength(), 12);
        QCOMPARE(f->edtName->maxLength(), 40);

        // What is drawn, not only what is set: a style sheet anywhere above these
        // panels would override their palettes.
        const QImage shot = f->grab().toImage();
        QCOMPARE(QColor(shot.pixel(inPanelMain(f->Panel3) + QPoint(2, 2))), QColor(0, 128, 0));
        QCOMPARE(QColor(shot.pixel(inPanelMain(f->Panel4) + QPoint(2, 2))), QColor(0, 128, 0));
        QCOMPARE(QColor(shot.pixel(inPanelMain(f->Panel2) + QPoint(300, 200))), QColor(251, 254, 222));
        QCOMPARE(QColor(shot.pixel(inPanelMain(f->Panel2) + QPoint(0, 300) - QPoint(1, 0))), QColor(0, 128, 0));
        // The design's places, in the form's pixels: the caption strips under the
        // 35-pixel tool bar, the splitter at x 185, the edits' green borders at
        // (112, 51) and (112, 79) of the edit panel, which starts at (186, 35).
        const QColor green(0, 128, 0);
        QCOMPARE(QColor(shot.pixel(2, 35)), green);
        QCOMPARE(QColor(shot.pixel(2, 34)) == green, false);
        QCOMPARE(QColor(shot.pixel(185, 300)), green);
        QCOMPARE(QColor(shot.pixel(186 + 112, 35 + 51 + 10)), green);
        QCOMPARE(QColor(shot.pixel(186 + 112 + 144, 35 + 51 + 10)), green);
        QCOMPARE(QColor(shot.pixel(186 + 112 + 72, 35 + 79)), green);
        QCOMPARE(QColor(shot.pixel(186 + 112 + 72, 35 + 79 + 19)), green);
        bool redText = false;
        const QRect label3(inPanelMain(f->Panel2) + f->Label3->pos(), f->Label3->size());
        for (int y = label3.top(); y <= label3.bottom() && !redText; ++y)
            for (int x = label3.left(); x <= label3.right() && !redText; ++x)
                redText = QColor(shot.pixel(x, y)) == QColor(Qt::red);
        QVERIFY(redText);

        // Tab order: tree, code, name, and round again.
        QCOMPARE(QApplication::focusWidget(), f->TN);
        key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), f->edtBm);
        key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), f->edtName);
        key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), f->TN);

        QCOMPARE(f->RopHelp->Lines.size(), 11);
        QCOMPARE(f->RopHelp->Lines.at(1), QString());
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // Every widget of both screens draws in the form's "宋体" 9 pt, resolved to
    // the Simplified Chinese face: a widget left with the default sans face would
    // show its Chinese in other glyph shapes.
    void everyWidgetHasTheFormsFont_data()
    {
        QTest::addColumn<bool>("maintenance");
        QTest::newRow("maintenance") << true;
        QTest::newRow("query") << false;
    }

    void everyWidgetHasTheFormsFont()
    {
        QFETCH(bool, maintenance);
        standardRows();
        ModalAnswerer answerer;
        QWidget *form = nullptr;
        if (maintenance) {
            QVERIFY(open());
            form = m_form;
        } else {
            m_host = std::make_unique<TestHostWindow>();
            const QByteArray op = toShortString("0001");
            GetFormOneSearch(m_host.get(), m_host->hostControl, reinterpret_cast<const uchar *>(op.constData()),
                m_host->parentControl, m_fake->service.get());
            const QList<QWidget *> forms = embeddedForms(m_host->parentControl);
            QVERIFY(!forms.isEmpty());
            form = forms.last();
        }
        const QFontInfo expected(form->font());
        QCOMPARE(expected.family(), QStringLiteral("Noto Serif CJK SC"));
        QCOMPARE(expected.pixelSize(), 12);
        QList<QWidget *> widgets = form->findChildren<QWidget *>();
        widgets.prepend(form);
        // The query screen's condition panel has its own face by design (checked in tst_queryform).
        QWidget *memo = form->findChild<QWidget *>(QStringLiteral("MemoCondition"));
        for (QWidget *w : std::as_const(widgets)) {
            if (memo && (w == memo || memo->isAncestorOf(w)))
                continue;
            const QFontInfo info(w->font());
            const QString what = w->objectName() + QLatin1Char(' ') + QLatin1String(w->metaObject()->className());
            QVERIFY2(info.family() == expected.family(), qPrintable(what + QLatin1String(": ") + info.family()));
            QVERIFY2(info.pixelSize() == 12, qPrintable(what));
        }
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // Dotted lines join each node to its parent's line and run on past nodes
    // whose parent has later children; the root has its own line and box.
    void treeDrawsLinesBetweenNodesAndAtTheRoot()
    {
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        TAreaTree *tn = m_form->TN;
        tn->expandNode(tn->topLevelItem(0), true);
        click(node(QStringLiteral("02 西区"))); // the selection's highlight stays off the rows below
        const QImage image = tn->viewport()->grab().toImage();
        if (const QByteArray path = qgetenv("SQDA_TREE_SHOT"); !path.isEmpty())
            image.save(QString::fromLocal8Bit(path));
        const QColor face(251, 254, 222);
        const int indent = tn->indentation();
        const auto row = [&](const QString &text) { return tn->visualItemRect(node(text)); };
        const auto column = [&](int depth) { return depth * indent + indent / 2; }; // its line's x
        const auto middle = [](const QRect &r) { return r.top() + r.height() / 2; }; // its stub's y

        // 0101 东一 (depth 2) has a later sibling: its column's line runs through
        // the whole row, with a stub to the right at the middle.
        const QRect r0101 = row(QStringLiteral("0101 东一"));
        QVERIFY(inkAlong(image, face, { column(2), r0101.top() }, { column(2), r0101.bottom() }) >= r0101.height() / 3);
        // It has a child: a box with a minus sign sits on the line.
        QVERIFY(inkAlong(image, face, { column(2) - 4, middle(r0101) - 4 }, { column(2) + 4, middle(r0101) - 4 }) >= 8);
        // 0102 东二 is the last child: its line stops at the middle; its stub goes right.
        const QRect r0102 = row(QStringLiteral("0102 东二"));
        const int mid = middle(r0102);
        QVERIFY(inkAlong(image, face, { column(2), r0102.top() }, { column(2), mid }) >= 2);
        QCOMPARE(inkAlong(image, face, { column(2), mid + 2 }, { column(2), r0102.bottom() }), 0);
        QVERIFY(inkAlong(image, face, { column(2) + 1, mid }, { 3 * indent - 1, mid }) >= 3);
        // 01 东区 has a later sibling (02 西区): its line passes its children's rows.
        QVERIFY(inkAlong(image, face, { column(1), r0102.top() }, { column(1), r0102.bottom() }) >= r0102.height() / 3);
        // The root has no sibling: nothing in its column below it, but its row has its box.
        QCOMPARE(inkAlong(image, face, { column(0), r0102.top() }, { column(0), r0102.bottom() }), 0);
        const QRect rRoot = tn->visualItemRect(tn->topLevelItem(0));
        QVERIFY(inkAlong(image, face, { column(0) - 4, middle(rRoot) }, { indent - 1, middle(rRoot) }) >= 5);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // Editing keys work in the code edit as in any edit; the digit filter keeps
    // out typed characters only.
    void editingKeysInTheCodeEdit_data()
    {
        QTest::addColumn<int>("cursor");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("keyText");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cursorAfter");
        QTest::newRow("Delete") << 0 << int(Qt::Key_Delete) << QStringLiteral("\x7f") << QStringLiteral("23") << 0;
        QTest::newRow("Backspace") << 3 << int(Qt::Key_Backspace) << QStringLiteral("\b") << QStringLiteral("12") << 2;
        QTest::newRow("Home") << 3 << int(Qt::Key_Home) << QString() << QStringLiteral("123") << 0;
        QTest::newRow("End") << 0 << int(Qt::Key_End) << QString() << QStringLiteral("123") << 3;
        QTest::newRow("Left") << 2 << int(Qt::Key_Left) << QString() << QStringLiteral("123") << 1;
        QTest::newRow("Right") << 1 << int(Qt::Key_Right) << QString() << QStringLiteral("123") << 2;
        QTest::newRow("digit") << 1 << int(Qt::Key_9) << QStringLiteral("9") << QStringLiteral("1923") << 2;
        QTest::newRow("bracket") << 3 << int(Qt::Key_ParenLeft) << QStringLiteral("(") << QStringLiteral("123(") << 4;
        QTest::newRow("letter") << 3 << int(Qt::Key_A) << QStringLiteral("a") << QStringLiteral("123") << 3;
        QTest::newRow("space") << 3 << int(Qt::Key_Space) << QStringLiteral(" ") << QStringLiteral("123") << 3;
        QTest::newRow("Chinese") << 3 << int(Qt::Key_unknown) << QStringLiteral("区") << QStringLiteral("123") << 3;
    }

    void editingKeysInTheCodeEdit()
    {
        QFETCH(int, cursor);
        QFETCH(int, key);
        QFETCH(QString, keyText);
        QFETCH(QString, text);
        QFETCH(int, cursorAfter);
        ModalAnswerer answerer;
        QVERIFY(open());
        QLineEdit *edit = m_form->edtBm;
        QVERIFY(edit->isEnabled()); // adding state after the load
        edit->setText(QStringLiteral("123"));
        edit->setFocus();
        edit->setCursorPosition(cursor);
        QVERIFY(hostActive());
        sendKeyWithText(edit, key, keyText);
        QCOMPARE(edit->text(), text);
        QCOMPARE(edit->cursorPosition(), cursorAfter);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void treeFromRows_data()
    {
        QTest::addColumn<QList<AreaRow>>("rows");
        QTest::addColumn<QString>("shown");
        const QString d = QStringLiteral("0101");
        auto r = [d](const char *code, const char *name, int level) {
            return AreaRow { d, QString::fromUtf8(code), QString::fromUtf8(name), level, 1 };
        };
        QTest::newRow("levels 1 2 3 1 3") << QList<AreaRow> { r("01", "东区", 1), r("0101", "东一", 2),
            r("010101", "甲", 3), r("02", "西区", 1), r("020101", "乙", 3) }
                                          << QStringLiteral("商圈档案\n  01 东区\n    0101 东一\n      010101 甲\n"
                                                            "      020101 乙\n  02 西区");
        QTest::newRow("first row of level 2") << QList<AreaRow> { r("0101", "东一", 2), r("02", "西区", 1) }
                                              << QStringLiteral("商圈档案\n  02 西区\n0101 东一");
        QList<AreaRow> deep { r("00", "零级", 0) };
        QString deepShown = QStringLiteral("商圈档案");
        for (int level = 1; level <= 12; ++level) {
            const QString code = QString(level, QLatin1Char('1'));
            deep << AreaRow { d, code, QStringLiteral("L%1").arg(level), level, 1 };
            deepShown
                += QLatin1Char('\n') + QString(level * 2, QLatin1Char(' ')) + code + QStringLiteral(" L%1").arg(level);
        }
        deep << r("9999", "十三级", 13);
        QTest::newRow("levels 0, 12 and 13") << deep << deepShown;
        QTest::newRow("names with spaces") << QList<AreaRow> { r("01", " 东 区 一 ", 1), r("02", "西区  ", 1) }
                                           << QStringLiteral("商圈档案\n  01  东 区 一 \n  02 西区  ");
    }

    void treeFromRows()
    {
        QFETCH(QList<AreaRow>, rows);
        QFETCH(QString, shown);
        m_fake->rows = rows;
        ModalAnswerer answerer;
        QVERIFY(open());
        m_form->TN->expandAll();
        QCOMPARE(tree(), shown);

        // The department's rows in code order were asked for, then the level structure.
        const auto queries = m_fake->service->callsOf(DispQueryData);
        QCOMPARE(queries.size(), 1);
        QCOMPARE(queries.first().args.at(0).toString(),
            QStringLiteral("select * from tbSqda where f_bmbm='0101' order by F_Sqbm  "));
        QCOMPARE(m_fake->service->callsOf(DispGetCodeLevels).first().args.at(0).toString(), QStringLiteral("0101"));
        QCOMPARE(m_form->LblFjqk->text(), QStringLiteral("[2]-[2]-[2]-[3]"));

        // The root is selected, the screen is adding, the tree has the focus.
        QCOMPARE(m_form->TN->selectedNode(), m_form->TN->topLevelItem(0));
        QVERIFY(maintenanceState().isAdding());
        QVERIFY(m_form->edtBm->isEnabled() && m_form->edtBm->text().isEmpty());
        QVERIFY(hostActive());
        QCOMPARE(QApplication::focusWidget(), m_form->TN);
        // The area code of a node with spaces in its name is still the part before the first space.
        if (QTreeWidgetItem *spaced = node(QStringLiteral("01  东 区 一 "))) {
            click(spaced);
            QCOMPARE(m_fake->service->callsOf(DispQueryData).last().args.at(0).toString(),
                QStringLiteral("select * from tbsqda where f_bmbm='0101' and f_sqbm='01'"));
            QCOMPARE(m_form->edtName->text(), QStringLiteral("东 区 一"));
        }
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void refreshFailureKeepsTheTree_data()
    {
        QTest::addColumn<bool>("hostRefuses");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("label");
        QTest::newRow("host refuses") << true << QStringLiteral("连接已断开\r\n请重试") << QString();
        // A packet the screen cannot read is refused whole, before the tree is cleared.
        QTest::newRow("unreadable packet") << false << QString() << QStringLiteral("[2]-[2]-[2]-[3]");
    }

    void refreshFailureKeepsTheTree()
    {
        QFETCH(bool, hostRefuses);
        QFETCH(QString, message);
        QFETCH(QString, label);
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        const QString before = tree();
        if (hostRefuses)
            m_fake->service->once(DispQueryData,
                FakeCoorDisp::fail(1, QVariantList { QStringLiteral("连接已断开"), QStringLiteral("请重试") }));
        else
            m_fake->service->once(DispQueryData, FakeCoorDisp::succeed(1, QByteArray("\xa1not a packet")));
        answerer.press(QStringLiteral("Ok"));
        key(Qt::Key_R, Qt::ControlModifier);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(answerer.seen.size(), 1);
        if (hostRefuses) {
            QCOMPARE(answerer.seen[0].title, QStringLiteral("错误"));
            QCOMPARE(answerer.seen[0].text, message);
        }
        QCOMPARE(answerer.seen[0].icon, int(QMessageBox::Critical));
        QCOMPARE(tree(), before);
        QCOMPARE(m_form->LblFjqk->text(), label);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void codeLevelFailureLeavesTheScreenUsable()
    {
        standardRows();
        m_fake->service->once(DispGetCodeLevels, FakeCoorDisp::fail(0, QVariantList { QStringLiteral("没有分级") }));
        ModalAnswerer answerer;
        answerer.press(QStringLiteral("Ok"));
        QVERIFY(open());
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(seenText(answerer), QStringLiteral("错误|没有分级"));
        QCOMPARE(m_form->LblFjqk->text(), QString());
        QCOMPARE(m_form->TN->topLevelItem(0)->childCount(), 2);
        QVERIFY(maintenanceState().isAdding());
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void selectingNodesLoadsTheirRows()
    {
        standardRows();
        m_fake->rows[4].name = QStringLiteral("  西区 ");
        ModalAnswerer answerer;
        QVERIFY(open());

        click(node(QStringLiteral("01 东区")));
        QVERIFY(maintenanceState().isShowing());
        QVERIFY(!m_form->edtBm->isEnabled());
        QCOMPARE(m_form->edtBm->text(), QStringLiteral("01"));
        QCOMPARE(m_form->edtName->text(), QStringLiteral("东区"));
        QVERIFY(!m_form->btnDelete->isEnabled()); // not a leaf
        QVERIFY(!maintenanceState().AreaModified);
        QCOMPARE(m_fake->service->callsOf(DispQueryData).last().args.at(0).toString(),
            QStringLiteral("select * from tbsqda where f_bmbm='0101' and f_sqbm='01'"));

        click(node(QStringLiteral("02   西区 ")));
        QCOMPARE(m_form->edtName->text(), QStringLiteral("西区")); // trimmed
        QVERIFY(m_form->btnDelete->isEnabled());

        // The root empties and enables both edits and starts adding.
        click(m_form->TN->topLevelItem(0));
        QVERIFY(maintenanceState().isAdding());
        QVERIFY(m_form->edtBm->isEnabled() && m_form->edtName->isEnabled());
        QVERIFY(m_form->edtBm->text().isEmpty() && m_form->edtName->text().isEmpty());
        QVERIFY(hostActive());
        QCOMPARE(QApplication::focusWidget(), m_form->TN);

        // A failed record load says so in its own words and leaves the panel alone.
        click(node(QStringLiteral("01 东区")));
        m_fake->service->once(
            DispQueryData, FakeCoorDisp::fail(1, QVariantList { QStringLiteral("不该显示的主机错误") }));
        answerer.press(QStringLiteral("OK"));
        key(Qt::Key_Down);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].title, QStringLiteral("警告"));
        QCOMPARE(answerer.seen[0].text, QStringLiteral("取商圈编码02时出错！"));
        QCOMPARE(m_form->edtBm->text(), QStringLiteral("01"));

        // An area deleted elsewhere: the panel keeps to the node's code and offers no delete.
        m_fake->rows.removeAt(0);
        click(node(QStringLiteral("01 东区")));
        QVERIFY(maintenanceState().isShowing());
        QCOMPARE(m_form->edtBm->text(), QStringLiteral("01"));
        QCOMPARE(m_form->edtName->text(), QString());
        QVERIFY(!m_form->btnDelete->isEnabled());
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // After a failed record load the panel still shows the earlier area; renaming
    // it renames that area's node, never the selected one.
    void renameAfterAFailedLoadKeepsTheTreeTrue()
    {
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        click(node(QStringLiteral("01 东区")));
        m_fake->service->once(DispQueryData, FakeCoorDisp::fail(1, QVariantList { QStringLiteral("x") }));
        answerer.press(QStringLiteral("OK")).press(QStringLiteral("Yes"));
        key(Qt::Key_Down); // to 02, whose row cannot be loaded
        QVERIFY(hostActive());
        type(m_form->edtName, QStringLiteral("东区新"));
        m_form->TN->setFocus();
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(answerer.seen[1].text, QStringLiteral("商圈内容已经改变，你要保存吗？"));
        QCOMPARE(m_fake->departmentRows().first().name, QStringLiteral("东区新"));
        QVERIFY(node(QStringLiteral("01 东区新")));
        QVERIFY(node(QStringLiteral("02 西区")));
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void upAndDownStepThroughVisibleNodes()
    {
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        QTest::mouseClick(m_form->ToolButton5, Qt::LeftButton);
        QCOMPARE(m_form->TN->selectedNode()->text(0), QStringLiteral("01 东区"));
        QCOMPARE(m_form->edtBm->text(), QStringLiteral("01"));
        QVERIFY(hostActive());
        QCOMPARE(QApplication::focusWidget(), m_form->TN);
        // 01 is collapsed: the next visible node is 02.
        QTest::mouseClick(m_form->ToolButton5, Qt::LeftButton);
        QCOMPARE(m_form->edtBm->text(), QStringLiteral("02"));
        QTest::mouseClick(m_form->ToolButton4, Qt::LeftButton);
        QTest::mouseClick(m_form->ToolButton4, Qt::LeftButton);
        QCOMPARE(m_form->TN->selectedNode(), m_form->TN->topLevelItem(0));
        QVERIFY(maintenanceState().isAdding());
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void expandAndCollapseTheSelectedBranch()
    {
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        QTreeWidgetItem *root = m_form->TN->topLevelItem(0);
        key(Qt::Key_E, Qt::ControlModifier);
        QVERIFY(node(QStringLiteral("01 东区"))->isExpanded() && node(QStringLiteral("0101 东一"))->isExpanded());
        click(node(QStringLiteral("01 东区")));
        QTest::mouseClick(m_form->btnCollapse, Qt::LeftButton);
        QVERIFY(!node(QStringLiteral("01 东区"))->isExpanded() && !node(QStringLiteral("0101 东一"))->isExpanded());
        QVERIFY(root->isExpanded());
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void locateAndFindNext()
    {
        standardRows();
        m_fake->add(QStringLiteral("03"), QStringLiteral("第0101号"), 1, 1);
        ModalAnswerer answerer;
        QVERIFY(open());

        // F3 before any locate does nothing.
        key(Qt::Key_F3);
        QCOMPARE(m_form->TN->selectedNode(), m_form->TN->topLevelItem(0));

        // Digits match anywhere in the text, collapsed nodes included.
        answerer.typeAndPress(QStringLiteral("  0101 "), QStringLiteral("btnOK"));
        QTest::mouseClick(m_form->btnLocate, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(answerer.seen[0].title, QStringLiteral("输入"));
        QVERIFY(answerer.seen[0].text.contains(QStringLiteral("请输入商圈编码或名称(F3查找下一个):")));
        QCOMPARE(maintenanceState().LocateText, QStringLiteral("0101"));
        QCOMPARE(m_form->TN->selectedNode()->text(0), QStringLiteral("0101 东一"));
        QCOMPARE(m_form->edtBm->text(), QStringLiteral("0101"));
        QVERIFY(hostActive());
        QCOMPARE(QApplication::focusWidget(), m_form->TN);

        key(Qt::Key_F3);
        QCOMPARE(m_form->TN->selectedNode()->text(0), QStringLiteral("010101 甲"));
        key(Qt::Key_F3);
        QCOMPARE(m_form->TN->selectedNode()->text(0), QStringLiteral("03 第0101号"));
        // No wrap round after the last match.
        answerer.press(QStringLiteral("OK"));
        key(Qt::Key_F3);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(answerer.seen.last().title, QStringLiteral("警告"));
        QCOMPARE(answerer.seen.last().text, QStringLiteral("找不到该商圈！"));
        QCOMPARE(m_form->TN->selectedNode()->text(0), QStringLiteral("03 第0101号"));

        // Cancelling the locate leaves an empty locate text: nothing happens, F3 included.
        answerer.typeAndPress(QStringLiteral("东"), QStringLiteral("btnCancel"));
        key(Qt::Key_L, Qt::ControlModifier);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(maintenanceState().LocateText, QString());
        key(Qt::Key_F3);
        QCOMPARE(m_form->TN->selectedNode()->text(0), QStringLiteral("03 第0101号"));
        QCOMPARE(answerer.seen.size(), 3);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void addLevelOneArea()
    {
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        answerer.press(QStringLiteral("Yes"));
        addArea(QStringLiteral("00"), QStringLiteral("北区"));
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(seenText(answerer), QStringLiteral("提示|你想建立第1级商圈吗？"));
        QCOMPARE(answerer.seen[0].icon, int(QMessageBox::Information));

        const auto checks = m_fake->service->callsOf(DispCheckAreaCode);
        QCOMPARE(checks.size(), 1);
        QCOMPARE(checks[0].args.at(0).toList(), (QVariantList { QStringLiteral("0101"), QStringLiteral("00") }));

        // The packet sent holds exactly the new row.
        const auto inserts = m_fake->service->callsOf(DispInsertArea);
        QCOMPARE(inserts.size(), 1);
        ClientDataSet sent;
        QVERIFY(sent.loadPacket(inserts[0].args.at(0).toByteArray()));
        QCOMPARE(sent.recordCount(), 1);
        QCOMPARE(sent.fieldCount(), 5);
        QCOMPARE(sent.fieldByName(u"f_bmbm")->asString(), QStringLiteral("0101"));
        QCOMPARE(sent.fieldByName(u"f_sqbm")->asString(), QStringLiteral("00"));
        QCOMPARE(sent.fieldByName(u"f_sqmc")->asString(), QStringLiteral("北区"));
        QCOMPARE(sent.fieldByName(u"f_jb")->asInteger(), 1);
        QCOMPARE(sent.fieldByName(u"f_mj")->asInteger(), 1);

        // Under the root, in code order; the root stays selected and the screen adding.
        QTreeWidgetItem *root = m_form->TN->topLevelItem(0);
        QCOMPARE(root->childCount(), 3);
        QCOMPARE(root->child(0)->text(0), QStringLiteral("00 北区"));
        QCOMPARE(root->child(1)->text(0), QStringLiteral("01 东区"));
        QCOMPARE(m_form->TN->selectedNode(), root);
        QVERIFY(maintenanceState().isAdding());
        QVERIFY(m_form->edtBm->text().isEmpty() && m_form->edtName->text().isEmpty());
        QCOMPARE(m_fake->service->count(DispGetCodeLevels), 2);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void addLevelThreeArea()
    {
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        // Renamed elsewhere after the load: the tree still shows the old name,
        // and the new areas still find their parent's node by its code.
        m_fake->rows[3].name = QStringLiteral("东二改");
        answerer.press(QStringLiteral("Yes")).press(QStringLiteral("Yes"));
        addArea(QStringLiteral("010203"), QStringLiteral("丙"));
        addArea(QStringLiteral("010201"), QStringLiteral("乙"));
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(seenText(answerer), QStringLiteral("提示|你想建立第3级商圈吗？\n提示|你想建立第3级商圈吗？"));

        // The parent is the node of the code InsertArea returned; the host is not
        // asked for the parent's row.
        for (const auto &call : m_fake->service->callsOf(DispQueryData))
            QVERIFY(!call.args.at(0).toString().contains(QStringLiteral("f_sqbm='0102'")));
        QTreeWidgetItem *parent = node(QStringLiteral("0102 东二"));
        QCOMPARE(TAreaTree::codeOf(parent->child(0)), QStringLiteral("010201"));
        QCOMPARE(parent->childCount(), 2);
        QCOMPARE(parent->child(0)->text(0), QStringLiteral("010201 乙"));
        QCOMPARE(parent->child(1)->text(0), QStringLiteral("010203 丙"));
        QCOMPARE(m_fake->departmentRows().size(), 7);
        // Selecting the new area shows what the host stored.
        click(parent->child(0)); // its parent is open once a child was placed and selected
        QCOMPARE(m_form->edtBm->text(), QStringLiteral("010201"));
        QVERIFY(m_form->btnDelete->isEnabled());
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void codesAreStoredWhole_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        // Twelve characters fit the row set: nothing is cut.
        QTest::newRow("twelve characters") << QStringLiteral("123456789012") << QStringLiteral("123456789012");
        // Pasted with spaces round it: trimmed for the checks, the row and the node alike.
        QTest::newRow("pasted with spaces") << QStringLiteral("  03 ") << QStringLiteral("03");
    }

    void codesAreStoredWhole()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        m_fake->service->once(
            DispCheckAreaCode, FakeCoorDisp::succeed(0, QVariantList { QString(), QStringLiteral("1") }));
        QTest::mouseClick(m_form->btnAdd, Qt::LeftButton);
        m_form->edtBm->setText(typed); // as a paste puts it there
        type(m_form->edtName, QStringLiteral(" 南区 "));
        QTest::mouseClick(m_form->btnSave, Qt::LeftButton);

        ClientDataSet sent;
        QVERIFY(sent.loadPacket(m_fake->service->callsOf(DispInsertArea).last().args.at(0).toByteArray()));
        QCOMPARE(sent.fieldByName(u"f_sqbm")->size(), 12);
        QCOMPARE(sent.fieldByName(u"f_sqbm")->asString(), stored);
        QCOMPARE(sent.fieldByName(u"f_sqmc")->asString(), QStringLiteral("南区"));
        QTreeWidgetItem *added = node(stored + QStringLiteral(" 南区"));
        QVERIFY(added);
        click(added);
        QCOMPARE(m_form->edtBm->text(), stored);
        QVERIFY(answerer.unexpected.isEmpty()); // no question: the check's answer asked none
    }

    void saveFailures_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("focus");

        QTest::newRow("empty code") << QString() << QStringLiteral("北区") << QString() << QStringList { "Ok" }
                                    << QStringLiteral("警告|商圈编码不能为空!") << false << QStringLiteral("edtBm");
        QTest::newRow("one character") << QStringLiteral("1") << QStringLiteral("北区") << QString()
                                       << QStringList { "Ok" } << QStringLiteral("警告|第一级商圈编码长度不能为1位!")
                                       << false << QStringLiteral("edtBm");
        QTest::newRow("empty name") << QStringLiteral("00") << QStringLiteral("  ") << QString() << QStringList { "Ok" }
                                    << QStringLiteral("警告|商圈名称不能为空!") << false << QStringLiteral("edtName");
        QTest::newRow("check refused") << QStringLiteral("0") + QStringLiteral("9") << QStringLiteral("x")
                                       << QStringLiteral("check fails") << QStringList { "Ok" }
                                       << QStringLiteral("错误|编码不符合规则") << false << QString();
        QTest::newRow("question answered No")
            << QStringLiteral("00") << QStringLiteral("北区") << QString() << QStringList { "No" }
            << QStringLiteral("提示|你想建立第1级商圈吗？") << false << QString();
        QTest::newRow("level not a number")
            << QStringLiteral("00") << QStringLiteral("北区") << QStringLiteral("bad level") << QStringList { "Ok" }
            << QStringLiteral("|'一' is not a valid integer value") << false << QString();
        QTest::newRow("insert refused") << QStringLiteral("00") << QStringLiteral("北区")
                                        << QStringLiteral("insert fails") << QStringList { "Yes", "Ok" }
                                        << QStringLiteral("提示|你想建立第1级商圈吗？\n错误|主键冲突") << false
                                        << QString();
        // The parent was added elsewhere after the load: stored, but no node.
        QTest::newRow("parent not in the tree")
            << QStringLiteral("010301") << QStringLiteral("丙") << QStringLiteral("parent added elsewhere")
            << QStringList { "Yes" } << QStringLiteral("提示|你想建立第3级商圈吗？") << true << QString();
    }

    void saveFailures()
    {
        QFETCH(QString, code);
        QFETCH(QString, name);
        QFETCH(QString, script);
        QFETCH(QStringList, answers);
        QFETCH(QString, shown);
        QFETCH(bool, stored);
        QFETCH(QString, focus);
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        const QString before = tree();
        const int rowsBefore = m_fake->rows.size();

        FakeCoorDisp &host = *m_fake->service;
        if (script == QLatin1String("check fails"))
            host.once(DispCheckAreaCode, FakeCoorDisp::fail(0, QVariantList { QStringLiteral("编码不符合规则") }));
        else if (script == QLatin1String("bad level"))
            host.once(DispCheckAreaCode, FakeCoorDisp::succeed(0, QVariantList { QString(), QStringLiteral("一") }));
        else if (script == QLatin1String("insert fails"))
            host.once(DispInsertArea, FakeCoorDisp::fail(0, QVariantList { QStringLiteral("主键冲突") }));
        else if (script == QLatin1String("parent added elsewhere"))
            m_fake->add(QStringLiteral("0103"), QStringLiteral("东三"), 2, 1);

        for (const QString &a : answers)
            answerer.press(a);
        QTest::mouseClick(m_form->btnAdd, Qt::LeftButton);
        type(m_form->edtBm, code);
        type(m_form->edtName, name);
        QTest::mouseClick(m_form->btnSave, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());

        QString seen = seenText(answerer);
        if (script == QLatin1String("bad level")) // the library's error box carries the program's name
            seen = seen.mid(seen.indexOf(QLatin1Char('|')));
        QCOMPARE(seen, shown);
        QCOMPARE(m_fake->rows.size() - (script == QLatin1String("parent added elsewhere") ? 1 : 0),
            rowsBefore + (stored ? 1 : 0));
        QCOMPARE(host.count(DispInsertArea), (stored || script == QLatin1String("insert fails")) ? 1 : 0);
        QCOMPARE(tree(), before); // no node without a stored row, and none for these stored ones
        QVERIFY(hostActive());
        if (!focus.isEmpty())
            QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void deleteOnlyLeaves()
    {
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());

        // Not a leaf: the button is off and Ctrl+D asks nothing.
        click(node(QStringLiteral("01 东区")));
        QVERIFY(!m_form->btnDelete->isEnabled());
        key(Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(m_fake->service->count(DispDeleteArea), 0);

        // Declined, then refused by the host: the node stays.
        key(Qt::Key_E, Qt::ControlModifier);
        click(node(QStringLiteral("0102 东二")));
        QVERIFY(m_form->btnDelete->isEnabled());
        answerer.press(QStringLiteral("No"));
        key(Qt::Key_D, Qt::ControlModifier);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(seenText(answerer), QStringLiteral("提示|你要删除商圈编码为 0102 的商圈吗？"));
        QCOMPARE(m_fake->service->count(DispDeleteArea), 0);
        m_fake->service->once(DispDeleteArea, FakeCoorDisp::fail(0, QVariantList { QStringLiteral("有业务数据") }));
        answerer.press(QStringLiteral("Yes")).press(QStringLiteral("Ok"));
        QTest::mouseClick(m_form->btnDelete, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(answerer.seen.last().title + answerer.seen.last().text, QStringLiteral("错误有业务数据"));
        QVERIFY(node(QStringLiteral("0102 东二")));

        // Confirmed: the host deletes, the node goes, a neighbour is shown.
        answerer.press(QStringLiteral("Yes"));
        QTest::mouseClick(m_form->btnDelete, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        const auto deletes = m_fake->service->callsOf(DispDeleteArea);
        QCOMPARE(deletes.last().args.at(0).toList(), (QVariantList { QStringLiteral("0101"), QStringLiteral("0102") }));
        QVERIFY(!node(QStringLiteral("0102 东二")));
        // The deleted node had no later sibling: the tree selects the one before
        // it, 0101 东一, and the panel shows that area, which has a child.
        QTreeWidgetItem *now = m_form->TN->selectedNode();
        QVERIFY(now && now->isSelected());
        QCOMPARE(now->text(0), QStringLiteral("0101 东一"));
        QVERIFY(maintenanceState().isShowing());
        QCOMPARE(m_form->edtBm->text(), QStringLiteral("0101"));
        QCOMPARE(m_form->edtName->text(), QStringLiteral("东一"));
        QVERIFY(!m_form->edtBm->isEnabled());
        QVERIFY(!m_form->btnDelete->isEnabled());
        QCOMPARE(m_fake->departmentRows().size(), 4);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void renameOnLeavingTheEditPanel_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("hostRefuses");
        QTest::addColumn<QString>("nodeText");
        QTest::addColumn<QString>("nameShown");
        QTest::newRow("accepted") << QStringLiteral("Yes") << false << QStringLiteral("02 西'区")
                                  << QStringLiteral("西'区");
        QTest::newRow("refused") << QStringLiteral("No") << false << QStringLiteral("02 西区")
                                 << QStringLiteral("西区");
        QTest::newRow("host refuses") << QStringLiteral("Yes") << true << QStringLiteral("02 西区")
                                      << QStringLiteral("西'区");
    }

    void renameOnLeavingTheEditPanel()
    {
        QFETCH(QString, answer);
        QFETCH(bool, hostRefuses);
        QFETCH(QString, nodeText);
        QFETCH(QString, nameShown);
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        click(node(QStringLiteral("02 西区")));

        // Saving an unchanged area only moves the focus to the tree.
        m_form->edtName->setFocus();
        key(Qt::Key_S, Qt::ControlModifier);
        QVERIFY(hostActive());
        QCOMPARE(QApplication::focusWidget(), m_form->TN);
        QVERIFY(answerer.seen.isEmpty());

        if (hostRefuses)
            m_fake->service->once(DispExecuteSql, FakeCoorDisp::fail(0, QVariantList { QStringLiteral("只读") }));
        answerer.press(answer);
        if (hostRefuses)
            answerer.press(QStringLiteral("Ok"));
        type(m_form->edtName, QStringLiteral("西'区"));
        QVERIFY(maintenanceState().AreaModified);
        key(Qt::Key_Return); // on to the tree, out of the edit panel
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(answerer.seen[0].title + answerer.seen[0].text, QStringLiteral("提示商圈内容已经改变，你要保存吗？"));
        if (answer == QLatin1String("Yes"))
            QCOMPARE(m_fake->service->callsOf(DispExecuteSql).last().args.at(0).toString(),
                QStringLiteral("update tbsqda set f_sqmc='西''区' where f_sqbm='02' and f_bmbm='0101'"));
        else
            QCOMPARE(m_fake->service->count(DispExecuteSql), 0);
        if (hostRefuses)
            QCOMPARE(answerer.seen[1].title + answerer.seen[1].text, QStringLiteral("错误只读"));
        QVERIFY(hostActive());
        QCOMPARE(QApplication::focusWidget(), m_form->TN);
        QCOMPARE(m_form->TN->selectedNode()->text(0), nodeText);
        QCOMPARE(m_form->edtName->text(), nameShown);
        QVERIFY(!maintenanceState().AreaModified);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void keyboardTable()
    {
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        TfrmMdda_ED *f = m_form;

        // Enter and Down move on from an edit; Up moves back and is consumed.
        key(Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), f->edtBm);
        key(Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), f->edtName);
        KeyCounter ups(Qt::Key_Up);
        f->edtName->installEventFilter(&ups);
        key(Qt::Key_Up);
        QCOMPARE(QApplication::focusWidget(), f->edtBm);
        QCOMPARE(ups.count, 0);
        key(Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), f->edtName);
        key(Qt::Key_Enter);
        QCOMPARE(QApplication::focusWidget(), f->TN);
        // Arrows in the tree are the tree's own.
        key(Qt::Key_Down);
        QCOMPARE(f->TN->selectedNode()->text(0), QStringLiteral("01 东区"));
        QCOMPARE(QApplication::focusWidget(), f->TN);

        // The code edit takes digits and "(" only.
        key(Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(f->edtBm, QStringLiteral("a1(b 2."));
        QCOMPARE(f->edtBm->text(), QStringLiteral("1(2"));
        // Ctrl+C copies in an edit and collapses the selected branch.
        f->edtBm->selectAll();
        key(Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("1(2"));
        // Ctrl+A empties the edits again; Ctrl+Q and other letters do nothing.
        key(Qt::Key_A, Qt::ControlModifier);
        QVERIFY(f->edtBm->text().isEmpty());
        const int callsBefore = int(m_fake->service->calls.size());
        for (int k : { Qt::Key_Q, Qt::Key_B, Qt::Key_Z })
            key(k, Qt::ControlModifier);
        QCOMPARE(int(m_fake->service->calls.size()), callsBefore);

        // Ctrl+E and Ctrl+C open and close the selected branch from the tree.
        f->TN->setFocus();
        key(Qt::Key_E, Qt::ControlModifier);
        QVERIFY(node(QStringLiteral("0101 东一"))->isExpanded());
        key(Qt::Key_C, Qt::ControlModifier);
        QVERIFY(!node(QStringLiteral("0101 东一"))->isExpanded());

        // Ctrl+S saves (here: empty edits), Ctrl+L locates, Ctrl+R refreshes.
        answerer.press(QStringLiteral("Ok")).press(QStringLiteral("btnCancel"));
        key(Qt::Key_A, Qt::ControlModifier);
        key(Qt::Key_S, Qt::ControlModifier);
        f->TN->setFocus();
        key(Qt::Key_L, Qt::ControlModifier);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(answerer.seen[0].text, QStringLiteral("商圈编码不能为空!"));
        QCOMPARE(answerer.seen[1].title, QStringLiteral("输入"));
        const int loads = m_fake->service->count(DispQueryData);
        key(Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(m_fake->service->count(DispQueryData), loads + 1);
        QCOMPARE(f->TN->selectedNode(), f->TN->topLevelItem(0));
        QCOMPARE(QApplication::focusWidget(), f->edtBm); // after a refresh the code edit has the focus
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void escapeClosesOnceWithOneNotification()
    {
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        QPointer<TfrmMdda_ED> form = m_form;
        form->edtName->setFocus();
        key(Qt::Key_Escape);
        QCOMPARE(m_host->hostControl->closedNotifications, 1);
        QTRY_VERIFY(!form);
        QCOMPARE(m_host->hostControl->closedNotifications, 1);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void environmentFailureClosesWithOneNotification()
    {
        QMap<QString, QString> params = FakeCoorDisp::defaultParameters();
        params.remove(QStringLiteral("dwmc"));
        m_fake = std::make_unique<AreaHostFake>(params);
        ModalAnswerer answerer;
        answerer.press(QStringLiteral("Ok"));
        open(); // the form closes itself as soon as it is shown
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(seenText(answerer), QStringLiteral("错误|没有可利用的单位名称！"));
        QCOMPARE(answerer.seen[0].icon, int(QMessageBox::Critical));
        QTRY_VERIFY(embeddedForms(m_host->parentControl).isEmpty());
        QCOMPARE(m_host->hostControl->closedNotifications, 1);
        QCOMPARE(m_fake->service->count(DispQueryData), 0);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // The hourglass is up while the tree loads at show time, and gone after it,
    // whether the load succeeds, is refused or throws.
    void hourglassDuringTheTreeLoad_data()
    {
        QTest::addColumn<int>("outcome"); // 0 loads, 1 refused, 2 throws
        QTest::addColumn<int>("boxes");
        QTest::newRow("loads") << 0 << 0;
        QTest::newRow("host refuses") << 1 << 1;
        QTest::newRow("host throws") << 2 << 1;
    }

    void hourglassDuringTheTreeLoad()
    {
        QFETCH(int, outcome);
        QFETCH(int, boxes);
        standardRows();
        ModalAnswerer answerer;
        for (int i = 0; i < boxes; ++i)
            answerer.press(QStringLiteral("Ok"));
        std::optional<Qt::CursorShape> during;
        const QByteArray packet = AreaHostFake::treePacket(m_fake->departmentRows());
        m_fake->service->once(DispQueryData, [&](QVariantList &args) -> QVariant {
            const QCursor *c = QApplication::overrideCursor();
            during = c ? c->shape() : Qt::ArrowCursor;
            if (outcome == 2)
                return FakeCoorDisp::throwing(QStringLiteral("断线"))(args);
            args[1] = outcome == 0 ? QVariant(packet) : QVariant(QVariantList { QStringLiteral("拒绝") });
            return outcome == 0;
        });
        QVERIFY(open());
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(during, std::optional(Qt::WaitCursor));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(answerer.seen.size(), boxes);
        QCOMPARE(m_form->TN->topLevelItemCount(), outcome == 0 ? 1 : 0);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // EditState, AreaModified and LocateText belong to the library: with two
    // maintenance screens open, what one does changes what the other does.
    void twoScreensShareTheEditingState()
    {
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        TfrmMdda_ED *a = m_form;
        m_host->resize(1700, 600);
        auto *secondParent = new QWidget(m_host.get());
        secondParent->setGeometry(850, 20, 824, 540);
        secondParent->show();
        const QByteArray op = toShortString("0001");
        GetFormOne(m_host.get(), m_host->hostControl, reinterpret_cast<const uchar *>(op.constData()), secondParent,
            m_fake->service.get());
        const QList<QWidget *> forms = embeddedForms(secondParent);
        QCOMPARE(forms.size(), 1);
        auto *b = qobject_cast<TfrmMdda_ED *>(forms.first());
        QVERIFY(b);
        QVERIFY(hostActive());

        // B is adding with a new area typed in; A then shows a row. B's save now
        // counts as a save in the showing state: it only moves the focus.
        b->btnAddClick();
        type(b->edtBm, QStringLiteral("03"));
        type(b->edtName, QStringLiteral("南区"));
        QVERIFY(maintenanceState().isAdding());
        a->TN->selectNode(a->TN->findNodeText(QStringLiteral("02 西区")));
        QVERIFY(maintenanceState().isShowing());
        QTest::mouseClick(b->btnSave, Qt::LeftButton);
        QCOMPARE(m_fake->service->count(DispCheckAreaCode), 0);
        QCOMPARE(QApplication::focusWidget(), b->TN);

        // A's name is changed; a row loaded in B clears AreaModified, so leaving
        // A's edit panel asks nothing and renames nothing.
        type(a->edtName, QStringLiteral("西区改"));
        QVERIFY(maintenanceState().AreaModified);
        b->TN->selectNode(b->TN->findNodeText(QStringLiteral("01 东区")));
        QVERIFY(!maintenanceState().AreaModified);
        a->edtName->setFocus();
        a->TN->setFocus(); // leaves A's edit panel
        QCOMPARE(m_fake->service->count(DispExecuteSql), 0);
        QCOMPARE(a->TN->findNodeText(QStringLiteral("02 西区")) != nullptr, true);

        // A locate in A is what F3 looks for in B.
        answerer.typeAndPress(QStringLiteral("东二"), QStringLiteral("btnOK"));
        QTest::mouseClick(a->btnLocate, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(a->TN->selectedNode()->text(0), QStringLiteral("0102 东二"));
        QVERIFY(hostActive());
        b->TN->setFocus();
        QTest::keyClick(b->TN, Qt::Key_F3);
        QCOMPARE(b->TN->selectedNode()->text(0), QStringLiteral("0102 东二"));
        QCOMPARE(b->edtBm->text(), QStringLiteral("0102"));
        QCOMPARE(answerer.seen.size(), 1);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // A host that processes events during its calls (as a COM host does) lets the
    // user act on the screen meanwhile. The screen takes no new action until the
    // call has returned: what was started finishes on the nodes it started with,
    // and the refused move can be made again afterwards.
    void userActionsWaitForTheHost_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("during");
        QTest::addColumn<QString>("move");
        const QList<std::tuple<const char *, const char *, int>> calls { { "record load", "click", DispQueryData },
            { "record load by locate", "locate", DispQueryData }, { "code levels", "add", DispGetCodeLevels },
            { "code check", "add", DispCheckAreaCode }, { "insert", "add", DispInsertArea },
            { "delete", "delete", DispDeleteArea }, { "rename", "rename", DispExecuteSql } };
        for (const auto &[name, action, id] : calls) {
            for (const char *move :
                { "refresh click", "refresh key", "delete click", "other node click", "exit click", "escape key" })
                QTest::addRow("%s, %s", name, move) << QString::fromLatin1(action) << id << QString::fromLatin1(move);
        }
    }

    void userActionsWaitForTheHost()
    {
        QFETCH(QString, action);
        QFETCH(int, during);
        QFETCH(QString, move);
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        QVERIFY(hostActive());
        const auto treeLoads = [this] {
            int n = 0;
            for (const FakeCoorDisp::Call &c : m_fake->service->callsOf(DispQueryData))
                n += c.args.value(0).toString().startsWith(QStringLiteral("select * from tbSqda"));
            return n;
        };
        QCOMPARE(treeLoads(), 1);

        int moves = 0;
        m_fake->duringCall = [&, during](int id) {
            if (id != during || moves > 0)
                return;
            ++moves;
            QTreeWidgetItem *other = node(QStringLiteral("01 东区"));
            if (move == QLatin1String("refresh click"))
                QTest::mouseClick(m_form->btnReflash, Qt::LeftButton);
            else if (move == QLatin1String("refresh key"))
                QTest::keyClick(m_form->TN, Qt::Key_R, Qt::ControlModifier);
            else if (move == QLatin1String("delete click"))
                QTest::mouseClick(m_form->btnDelete, Qt::LeftButton);
            else if (move == QLatin1String("other node click"))
                click(other);
            else if (move == QLatin1String("exit click"))
                QTest::mouseClick(m_form->btnExit, Qt::LeftButton);
            else
                QTest::keyClick(m_form->TN, Qt::Key_Escape);
            QCoreApplication::processEvents();
        };

        // The action that makes the call, and what it leaves.
        if (action == QLatin1String("click")) {
            click(node(QStringLiteral("0102 东二")));
        } else if (action == QLatin1String("locate")) {
            answerer.typeAndPress(QStringLiteral("东二"), QStringLiteral("btnOK"));
            QTest::mouseClick(m_form->btnLocate, Qt::LeftButton);
        } else if (action == QLatin1String("add")) {
            answerer.press(QStringLiteral("Yes"));
            addArea(QStringLiteral("03"), QStringLiteral("南区"));
        } else if (action == QLatin1String("delete")) {
            click(node(QStringLiteral("02 西区")));
            answerer.press(QStringLiteral("Yes"));
            QTest::mouseClick(m_form->btnDelete, Qt::LeftButton);
        } else {
            click(node(QStringLiteral("02 西区")));
            answerer.press(QStringLiteral("Yes"));
            type(m_form->edtName, QStringLiteral("西区改"));
            m_form->TN->setFocus(); // leaves the edit panel
        }
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(moves, 1);
        m_fake->duringCall = nullptr;
        QCoreApplication::processEvents();

        QVERIFY(m_form);
        QVERIFY(m_form->isVisible());
        QVERIFY(!m_form->hostCallInFlight());
        QCOMPARE(m_host->hostControl->closedNotifications, 0);
        QCOMPARE(treeLoads(), 1);
        QVERIFY(answerer.unexpected.isEmpty());
        const QString shown = m_form->TN->selectedNode() ? m_form->TN->selectedNode()->text(0) : QString();
        if (during == DispQueryData) {
            QCOMPARE(shown, QStringLiteral("0102 东二"));
            QCOMPARE(m_form->edtBm->text(), QStringLiteral("0102"));
            QCOMPARE(m_fake->service->count(DispDeleteArea), 0);
        } else if (during == DispDeleteArea) {
            QCOMPARE(m_fake->service->count(DispDeleteArea), 1);
            QVERIFY(!node(QStringLiteral("02 西区")));
        } else if (during == DispExecuteSql) {
            QCOMPARE(m_fake->service->count(DispExecuteSql), 1);
            QVERIFY(node(QStringLiteral("02 西区改")));
        } else {
            QCOMPARE(m_fake->service->count(DispInsertArea), 1);
            QVERIFY(node(QStringLiteral("03 南区")));
        }

        // Once the host has answered, the screen takes actions again.
        QVERIFY(hostActive());
        QTest::mouseClick(m_form->btnReflash, Qt::LeftButton);
        QCOMPARE(treeLoads(), 2);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // The host closes the screen while one of its calls is in flight: the
    // action that made the call finishes, then the screen closes, once.
    void closeDuringACallWaitsForTheCall()
    {
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        bool closedAtOnce = true;
        m_fake->duringCall = [&](int id) {
            if (id != DispQueryData)
                return;
            m_fake->duringCall = nullptr;
            closedAtOnce = m_form->close();
            QCoreApplication::processEvents();
            QVERIFY(m_form && m_form->isVisible());
        };
        click(node(QStringLiteral("02 西区")));
        QVERIFY(!closedAtOnce);
        QVERIFY(m_form);
        QCOMPARE(m_form->edtBm->text(), QStringLiteral("02"));
        QTRY_VERIFY(!m_form);
        QCOMPARE(m_host->hostControl->closedNotifications, 1);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // The host destroys the screen's parent control (and with it the screen)
    // inside a call: nothing of the screen is touched after the call, and the
    // control in the middle of the event that made the call outlives it.
    void destroyedDuringACall_data()
    {
        QTest::addColumn<int>("during");
        QTest::addColumn<QString>("action");
        QTest::newRow("tree load") << int(DispQueryData) << QStringLiteral("refresh");
        QTest::newRow("record load, tree click") << int(DispQueryData) << QStringLiteral("click");
        QTest::newRow("record load, down button") << int(DispQueryData) << QStringLiteral("down");
        QTest::newRow("rename on a focus change") << int(DispExecuteSql) << QStringLiteral("rename");
        QTest::newRow("code levels") << int(DispGetCodeLevels) << QStringLiteral("refresh");
        QTest::newRow("code check") << int(DispCheckAreaCode) << QStringLiteral("add");
        QTest::newRow("insert") << int(DispInsertArea) << QStringLiteral("add");
        QTest::newRow("delete") << int(DispDeleteArea) << QStringLiteral("delete");
        QTest::newRow("code levels after delete") << int(DispGetCodeLevels) << QStringLiteral("delete");
    }

    void destroyedDuringACall()
    {
        QFETCH(int, during);
        QFETCH(QString, action);
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        QVERIFY(hostActive());
        QPointer<QWidget> parent = m_host->parentControl;
        if (action == QLatin1String("delete") || action == QLatin1String("rename"))
            click(node(QStringLiteral("02 西区")));
        if (action == QLatin1String("rename"))
            type(m_form->edtName, QStringLiteral("西区改"));
        if (action == QLatin1String("down"))
            click(node(QStringLiteral("01 东区")));
        if (action == QLatin1String("add")) {
            QTest::mouseClick(m_form->btnAdd, Qt::LeftButton);
            type(m_form->edtBm, QStringLiteral("03"));
            type(m_form->edtName, QStringLiteral("南区"));
        }
        m_fake->duringCall = [&, during](int id) {
            if (id != during)
                return;
            m_fake->duringCall = nullptr;
            delete parent.data();
        };
        if (action == QLatin1String("click")) {
            click(node(QStringLiteral("02 西区")));
        } else if (action == QLatin1String("down")) {
            QTest::mouseClick(m_form->ToolButton5, Qt::LeftButton);
        } else if (action == QLatin1String("rename")) {
            answerer.press(QStringLiteral("Yes"));
            m_form->TN->setFocus(); // leaves the edit panel
        } else if (action == QLatin1String("refresh")) {
            QTest::mouseClick(m_form->btnReflash, Qt::LeftButton);
        } else if (action == QLatin1String("add")) {
            if (during != DispCheckAreaCode) // gone before the question
                answerer.press(QStringLiteral("Yes"));
            QTest::mouseClick(m_form->btnSave, Qt::LeftButton);
        } else {
            answerer.press(QStringLiteral("Yes"));
            QTest::mouseClick(m_form->btnDelete, Qt::LeftButton);
        }
        QTRY_VERIFY(answerer.idle());
        QVERIFY(!parent);
        QVERIFY(!m_form);
        QVERIFY(answerer.unexpected.isEmpty());
        m_host->parentControl = nullptr;
    }

    // The host destroys the screen while one of its dialogs, message boxes or
    // its help popup is up, reached by a button or by the key: the action ends
    // without touching the screen (the sanitizer build checks). Boxes owned by
    // the screen go with it; the themed dialogs belong to the application
    // window and are answered afterwards, as a user would.
    void destroyedWhileADialogIsUp_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<QString>("window"); // the window up when the screen goes
        QTest::addColumn<QString>("answer"); // pressed afterwards when the window is still up
        for (const bool byKey : { false, true }) {
            const char *how = byKey ? "key" : "button";
            QTest::addRow("locate input, %s", how) << "locate" << byKey << "输入"
                                                   << "btnOK";
            QTest::addRow("locate not found, %s", how) << "not found" << byKey << "警告"
                                                       << "OK";
            QTest::addRow("delete question, %s", how) << "delete" << byKey << "提示"
                                                      << "";
            QTest::addRow("create question, %s", how) << "create" << byKey << "提示"
                                                      << "";
            QTest::addRow("save warning, %s", how) << "warning" << byKey << "警告"
                                                   << "";
        }
        QTest::newRow("rename question") << "rename" << false << "提示"
                                         << "";
        QTest::newRow("error box") << "error" << false << "错误"
                                   << "";
        QTest::newRow("help popup") << "help" << false << ""
                                    << "";
    }

    void destroyedWhileADialogIsUp()
    {
        QFETCH(QString, what);
        QFETCH(bool, byKey);
        QFETCH(QString, window);
        QFETCH(QString, answer);
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        QVERIFY(hostActive());
        QPointer<QWidget> parent = m_host->parentControl;
        if (what == QLatin1String("delete") || what == QLatin1String("rename") || what == QLatin1String("error"))
            click(node(QStringLiteral("02 西区")));
        if (what == QLatin1String("rename"))
            type(m_form->edtName, QStringLiteral("西区改"));
        if (what == QLatin1String("error"))
            m_fake->service->once(DispDeleteArea, FakeCoorDisp::fail(0, QVariantList { QStringLiteral("拒绝删除") }));
        if (what == QLatin1String("not found"))
            maintenanceState().LocateText = QStringLiteral("不在树中");
        if (what == QLatin1String("create") || what == QLatin1String("warning")) {
            QTest::mouseClick(m_form->btnAdd, Qt::LeftButton);
            type(m_form->edtBm, what == QLatin1String("create") ? QStringLiteral("03") : QString());
            type(m_form->edtName, QStringLiteral("南区"));
        }
        if (what == QLatin1String("error"))
            answerer.press(QStringLiteral("Yes")); // the delete question
        if (what == QLatin1String("not found") && !byKey)
            answerer.typeAndPress(QStringLiteral("不在树中"), QStringLiteral("btnOK")); // the locate input
        SeenDialog up;
        answerer.then([&](QWidget *w) {
            QPointer<QWidget> modal = w;
            up = ModalAnswerer::describe(w);
            delete parent.data();
            if (!modal)
                return;
            if (auto *popup = qobject_cast<TRopInst *>(modal.data())) {
                QTest::keyClick(popup, Qt::Key_Shift);
                return;
            }
            if (auto *edit = modal->findChild<QLineEdit *>())
                edit->setText(QStringLiteral("东"));
            if (answer.isEmpty() || !ModalAnswerer::pressButton(modal, answer))
                qobject_cast<QDialog *>(modal.data())->reject();
        });
        if (what == QLatin1String("locate")) {
            byKey ? key(Qt::Key_L, Qt::ControlModifier) : QTest::mouseClick(m_form->btnLocate, Qt::LeftButton);
        } else if (what == QLatin1String("not found")) {
            byKey ? key(Qt::Key_F3) : QTest::mouseClick(m_form->btnLocate, Qt::LeftButton);
        } else if (what == QLatin1String("delete") || what == QLatin1String("error")) {
            byKey ? key(Qt::Key_D, Qt::ControlModifier) : QTest::mouseClick(m_form->btnDelete, Qt::LeftButton);
        } else if (what == QLatin1String("create") || what == QLatin1String("warning")) {
            byKey ? key(Qt::Key_S, Qt::ControlModifier) : QTest::mouseClick(m_form->btnSave, Qt::LeftButton);
        } else if (what == QLatin1String("rename")) {
            m_form->TN->setFocus(); // leaves the edit panel
        } else {
            QTest::mouseClick(m_form->btnHelp, Qt::LeftButton);
        }
        QTRY_VERIFY(answerer.idle());
        QVERIFY(!parent);
        QVERIFY(!m_form);
        QCoreApplication::processEvents();
        m_host->parentControl = nullptr;
        m_host->repaint();
        QCOMPARE(up.title, window);
        if (up.className == QLatin1String("QMessageBox")) // the screen's own boxes, in its face
            QCOMPARE(up.face, QStringLiteral("Noto Serif CJK SC"));
        QCOMPARE(m_host->hostControl->closedNotifications, 0);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // The host opens a second maintenance screen inside a call of the first:
    // the second loads its own tree meanwhile, the first finishes its action,
    // and both take actions afterwards.
    void secondScreenDuringACall()
    {
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        TfrmMdda_ED *a = m_form;
        m_host->resize(1700, 600);
        auto *secondParent = new QWidget(m_host.get());
        secondParent->setGeometry(850, 20, 824, 540);
        secondParent->show();
        m_fake->duringCall = [&](int id) {
            if (id != DispQueryData)
                return;
            m_fake->duringCall = nullptr;
            const QByteArray op = toShortString("0001");
            GetFormOne(m_host.get(), m_host->hostControl, reinterpret_cast<const uchar *>(op.constData()), secondParent,
                m_fake->service.get());
            QCoreApplication::processEvents();
        };
        click(node(QStringLiteral("0102 东二")));
        QCOMPARE(a->edtBm->text(), QStringLiteral("0102"));
        QCOMPARE(a->TN->selectedNode()->text(0), QStringLiteral("0102 东二"));

        const QList<QWidget *> forms = embeddedForms(secondParent);
        QCOMPARE(forms.size(), 1);
        auto *b = qobject_cast<TfrmMdda_ED *>(forms.first());
        QVERIFY(b);
        QCOMPARE(b->TN->nodesInOrder().size(), 6);
        QVERIFY(!a->hostCallInFlight() && !b->hostCallInFlight());

        QVERIFY(hostActive());
        b->TN->expandAll();
        click(b->TN->findNodeText(QStringLiteral("02 西区")), b->TN);
        QCOMPARE(b->edtBm->text(), QStringLiteral("02"));
        click(a->TN->findNodeText(QStringLiteral("01 东区")), a->TN);
        QCOMPARE(a->edtBm->text(), QStringLiteral("01"));
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // The help button shows this screen's shortcut list in the popup, which the
    // next key closes.
    void helpShowsTheShortcutList()
    {
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        QStringList shown;
        QString family;
        answerer.then([&](QWidget *w) {
            auto *popup = qobject_cast<TRopInst *>(w);
            QVERIFY(popup);
            QCOMPARE(m_form->RopHelp->popup(), popup);
            shown = popup->Lines;
            family = popup->font().family();
            QTest::keyClick(popup, Qt::Key_Shift);
        });
        QTest::mouseClick(m_form->btnHelp, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(shown, maintenanceHelpLines());
        QCOMPARE(shown.size(), 11);
        QCOMPARE(family, QStringLiteral("MS Sans Serif"));
        QVERIFY(!m_form->RopHelp->popup());
        QVERIFY(answerer.unexpected.isEmpty());
    }
    // A screen reader, walking the accessible tree, finds every control by its
    // caption, each area's node with its level, and the locate input's edit by
    // its prompt; the shortcut popup's painted lines are read from it too.
    void assistiveTechnologyReadsTheScreen()
    {
        standardRows();
        ModalAnswerer answerer;
        QVERIFY(open());
        QCOMPARE(unnamedControls(m_form).join(u','), QString());
        const auto nameOf
            = [](QWidget *w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name); };
        QCOMPARE(nameOf(m_form->btnAdd), QStringLiteral("增加"));
        QCOMPARE(nameOf(m_form->edtBm), QStringLiteral("商圈编码"));
        QCOMPARE(nameOf(m_form->edtName), QStringLiteral("商圈名称"));
        QCOMPARE(nameOf(m_form->TN), QStringLiteral("商圈编码和名称"));

        m_form->TN->expandAll();
        const QList<std::pair<QString, QString>> levels { { QStringLiteral("01 东区"), QStringLiteral("第1级") },
            { QStringLiteral("010101 甲"), QStringLiteral("第3级") },
            { QStringLiteral("02 西区"), QStringLiteral("第1级") } };
        for (const auto &[text, level] : levels) {
            QAccessibleInterface *area = findAccessibleText(m_form, text);
            QVERIFY2(area, qPrintable(text));
            QCOMPARE(area->text(QAccessible::Name), text);
            QCOMPARE(area->text(QAccessible::Description), level);
        }

        QStringList unnamedInLocate;
        QString editName;
        answerer.then([&](QWidget *w) {
            unnamedInLocate = unnamedControls(w);
            if (auto *edit = w->findChild<QLineEdit *>())
                editName = QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Name);
            ModalAnswerer::pressButton(w, QStringLiteral("btnCancel"));
        });
        QTest::mouseClick(m_form->btnLocate, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(unnamedInLocate.join(u','), QString());
        QCOMPARE(editName, QStringLiteral("请输入商圈编码或名称(F3查找下一个)"));

        QString read;
        answerer.then([&](QWidget *w) {
            read = QAccessible::queryAccessibleInterface(w)->text(QAccessible::Description);
            QTest::keyClick(w, Qt::Key_Shift);
        });
        QVERIFY(hostActive());
        QTest::mouseClick(m_form->btnHelp, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(read, maintenanceHelpLines().join(u'\n'));
        QVERIFY(answerer.unexpected.isEmpty());
    }
};

QTEST_MAIN(TestMaintenanceForm)
#include "tst_mdda_form.moc"

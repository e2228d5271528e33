// Finding an area by its pinyin on the maintenance screen: the locate dialog
// and F3 as a user drives them (Ctrl+L, typing, F3), where the search by text
// finds nothing; and the tree's keys following renames and new nodes.
#include "AreaHostFake.h"
#include "ModalAnswerer.h"
#include "TestHost.h"

#include "host/HostContext.h"
#include "tradearea/MaintenanceState.h"
#include "tradearea/TAreaTree.h"
#include "tradearea/TfrmMdda_ED.h"

#include <sqda/EntryPoints.h>

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

extern "C" void GetFormOne(QWidget *appWindow, QWidget *hostControl, const unsigned char *operatorCode,
    QWidget *parentControl, sqda::ICoorDisp *dataService);

using namespace sqda;
using namespace sqda::test;
using namespace Qt::StringLiterals;

class TestMaintenancePinyin : public QObject
{
    Q_OBJECT

    std::unique_ptr<AreaHostFake> m_fake;
    std::unique_ptr<TestHostWindow> m_host;
    QPointer<TfrmMdda_ED> m_form;

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

    // The offscreen platform gives the activation back to no one after a
    // dialog; the test does what a user's click would.
    bool hostActive() const
    {
        if (QApplication::activeWindow() != m_host.get())
            m_host->activateWindow();
        return QTest::qWaitFor([this] { return QApplication::activeWindow() == m_host.get(); });
    }

    void key(int k, Qt::KeyboardModifiers mods = {})
    {
        QVERIFY(hostActive());
        QWidget *w = QApplication::focusWidget();
        QVERIFY(w);
        QTest::keyClick(w, Qt::Key(k), mods);
    }

    // Ctrl+L, the text typed into the dialog, OK.
    void locate(ModalAnswerer &answerer, const QString &text)
    {
        answerer.typeAndPress(text, u"btnOK"_s);
        key(Qt::Key_L, Qt::ControlModifier);
        QTRY_VERIFY(answerer.idle());
    }

    QString selected() const
    {
        QTreeWidgetItem *n = m_form->TN->selectedNode();
        return n ? n->text(0) : QString();
    }

    // 01 dc专卖店, 02 东城商圈 (child 0201 东城一街), 03 徐汇区, 04 DC广场, 05 大厦1号
    void rows()
    {
        m_fake->add(u"01"_s, u"dc专卖店"_s, 1, 1);
        m_fake->add(u"02"_s, u"东城商圈"_s, 1, 0);
        m_fake->add(u"0201"_s, u"东城一街"_s, 2, 1);
        m_fake->add(u"03"_s, u"徐汇区"_s, 1, 1);
        m_fake->add(u"04"_s, u"DC广场"_s, 1, 1);
        m_fake->add(u"05"_s, u"大厦1号"_s, 1, 1);
    }

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

    void locateFindsInitialsAndFullPinyin_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("found");
        QTest::newRow("initials") << u"xhq"_s << u"03 徐汇区"_s;
        QTest::newRow("full pinyin") << u"xuhui"_s << u"03 徐汇区"_s;
        QTest::newRow("letter case ignored") << u"DCSQ"_s << u"02 东城商圈"_s;
        QTest::newRow("inside the name") << u"hui"_s << u"03 徐汇区"_s;
        QTest::newRow("spaces round it trimmed") << u"  dongcheng "_s << u"02 东城商圈"_s;
        // 商圈档案 is shangquandangan, but the root stands for no area.
        QTest::newRow("not the root") << u"shangquan"_s << u"02 东城商圈"_s;
        QTest::newRow("collapsed node") << u"dcyj"_s << u"0201 东城一街"_s;
    }
    void locateFindsInitialsAndFullPinyin()
    {
        QFETCH(QString, typed);
        QFETCH(QString, found);
        rows();
        ModalAnswerer answerer;
        QVERIFY(open());
        locate(answerer, typed);
        QCOMPARE(selected(), found);
        // Selected as the search by text selects: the row is loaded, the tree
        // has the focus, the node's branch is open.
        QCOMPARE(m_form->edtBm->text(), found.section(u' ', 0, 0));
        QCOMPARE(m_form->edtName->text(), found.section(u' ', 1));
        QVERIFY(maintenanceState().isShowing());
        QVERIFY(hostActive());
        QCOMPARE(QApplication::focusWidget(), m_form->TN);
        QVERIFY(!m_form->TN->visualItemRect(m_form->TN->selectedNode()).isEmpty());
        QCOMPARE(answerer.seen.size(), 1); // the locate dialog, no message
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // The search by text comes first and keeps its answer; F3 walks on through
    // the pinyin matches after it, in tree order, without wrapping round.
    void textFirstThenF3ThroughPinyin()
    {
        rows();
        ModalAnswerer answerer;
        QVERIFY(open());
        locate(answerer, u"dc"_s);
        QCOMPARE(selected(), u"01 dc专卖店"_s); // by text, though 02 is "dc" in pinyin too
        key(Qt::Key_F3);
        QCOMPARE(selected(), u"02 东城商圈"_s);
        QCOMPARE(m_form->edtBm->text(), u"02"_s);
        key(Qt::Key_F3);
        QCOMPARE(selected(), u"0201 东城一街"_s);
        // Run with SQDA_SCREENSHOT_DIR set to see the node found.
        if (const QString dir = qEnvironmentVariable("SQDA_SCREENSHOT_DIR"); !dir.isEmpty())
            QVERIFY(m_form->grab().save(dir + u"/maintenance-pinyin.png"_s));
        key(Qt::Key_F3);
        QCOMPARE(selected(), u"04 DC广场"_s); // "dcgc": case ignored
        answerer.press(u"OK"_s);
        key(Qt::Key_F3);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(answerer.seen.last().text, u"找不到该商圈！"_s);
        QCOMPARE(selected(), u"04 DC广场"_s);
        QCOMPARE(m_form->edtBm->text(), u"04"_s);

        // F3 from a node selected by hand goes on from there.
        QVERIFY(hostActive());
        m_form->TN->selectNode(m_form->TN->findNodeCode(u"01"_s));
        key(Qt::Key_F3);
        QCOMPARE(selected(), u"02 东城商圈"_s);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // Only a text of Latin letters is tried again, and only where the text
    // search found nothing.
    void otherTextsEndAsBefore_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("with a digit") << u"ds1h"_s; // 大厦1号's initials
        QTest::newRow("with a space") << u"dc sq"_s;
        QTest::newRow("Chinese") << u"东区"_s;
        QTest::newRow("no such pinyin") << u"zzz"_s;
    }
    void otherTextsEndAsBefore()
    {
        QFETCH(QString, typed);
        rows();
        ModalAnswerer answerer;
        QVERIFY(open());
        QVERIFY(hostActive());
        m_form->TN->selectNode(m_form->TN->findNodeCode(u"03"_s));
        answerer.typeAndPress(typed, u"btnOK"_s).press(u"OK"_s);
        key(Qt::Key_L, Qt::ControlModifier);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(answerer.seen.size(), 2);
        QCOMPARE(answerer.seen[1].title, u"警告"_s);
        QCOMPARE(answerer.seen[1].text, u"找不到该商圈！"_s);
        QCOMPARE(selected(), u"03 徐汇区"_s);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // F3 with no node selected finds nothing, by pinyin too.
    void f3WithoutSelection()
    {
        rows();
        ModalAnswerer answerer;
        QVERIFY(open());
        locate(answerer, u"xuhui"_s);
        QCOMPARE(selected(), u"03 徐汇区"_s);
        m_form->TN->setCurrentItem(nullptr);
        QVERIFY(!m_form->TN->selectedNode());
        answerer.press(u"OK"_s);
        key(Qt::Key_F3);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(answerer.seen.last().text, u"找不到该商圈！"_s);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // The tree's keys follow a node's text: a renamed node is found by its new
    // name only, a node added later by its own.
    void keysFollowRenamesAndNewNodes()
    {
        TAreaTree tree;
        QTreeWidgetItem *root
            = tree.rebuild(u"商圈档案"_s, { u"01 徐汇区"_s, u"02 东城"_s }, { u"01"_s, u"02"_s }, { -1, -1 });
        QVERIFY(root);
        QTreeWidgetItem *xuhui = tree.findNodeCode(u"01"_s);
        QCOMPARE(tree.findPinyin(u"xh"_s, true, nullptr), xuhui);
        xuhui->setText(0, u"01 静安区"_s);
        QCOMPARE(tree.findPinyin(u"xh"_s, true, nullptr), nullptr);
        QCOMPARE(tree.findPinyin(u"jingan"_s, true, nullptr), xuhui);
        QTreeWidgetItem *added = tree.addChildNode(root, u"03 徐家汇"_s, u"03"_s);
        QCOMPARE(tree.findPinyin(u"xjh"_s, true, nullptr), added);
        // After a node: that node is not tested, the ones after it are.
        QCOMPARE(tree.findPinyin(u"dc"_s, false, xuhui), tree.findNodeCode(u"02"_s));
        QCOMPARE(tree.findPinyin(u"dc"_s, false, tree.findNodeCode(u"02"_s)), nullptr);
        QCOMPARE(tree.findPinyin(u"dc"_s, false, nullptr), nullptr);
        // The code is not part of the name.
        QCOMPARE(tree.findPinyin(u"01"_s, true, nullptr), nullptr);
    }

    // Keys built in one tree stay the node's own when it moves to another
    // tree, and a rebuilt or cleared tree's nodes are found by their names.
    void keysFollowMovesAndRebuilds()
    {
        TAreaTree a, b;
        QTreeWidgetItem *rootA
            = a.rebuild(u"商圈档案"_s, { u"01 徐汇区"_s, u"02 东城"_s }, { u"01"_s, u"02"_s }, { -1, -1 });
        QTreeWidgetItem *rootB = b.rebuild(u"商圈档案"_s, { u"05 静安区"_s }, { u"05"_s }, { -1 });
        QVERIFY(rootA && rootB);
        QTreeWidgetItem *dongcheng = a.findNodeCode(u"02"_s);
        QCOMPARE(a.findPinyin(u"dc"_s, true, nullptr), dongcheng);
        QCOMPARE(b.findPinyin(u"ja"_s, true, nullptr), b.findNodeCode(u"05"_s));
        rootB->addChild(rootA->takeChild(rootA->indexOfChild(dongcheng)));
        QCOMPARE(b.findPinyin(u"dongcheng"_s, true, nullptr), dongcheng);
        QCOMPARE(b.findPinyin(u"xh"_s, true, nullptr), nullptr);
        QCOMPARE(a.findPinyin(u"dc"_s, true, nullptr), nullptr);

        a.rebuild(u"商圈档案"_s, { u"07 东城"_s, u"08 徐汇区"_s }, { u"07"_s, u"08"_s }, { -1, -1 });
        QCOMPARE(a.findPinyin(u"xhq"_s, true, nullptr), a.findNodeCode(u"08"_s));
        QCOMPARE(a.findPinyin(u"dc"_s, true, nullptr), a.findNodeCode(u"07"_s));
        a.clearNodes();
        QTreeWidgetItem *added = a.addTopLevelNode(u"09 普陀"_s, u"09"_s);
        QCOMPARE(a.findPinyin(u"putuo"_s, true, nullptr), added);
        QCOMPARE(a.findPinyin(u"xh"_s, true, nullptr), nullptr);
    }
};

QTEST_MAIN(TestMaintenancePinyin)
#include "tst_mdda_pinyin.moc"

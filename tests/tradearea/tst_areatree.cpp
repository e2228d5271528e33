// The tree control on its own: building, finding, locating, sorting, removing
// and moving the selection, with the signals the screen relies on.
#include "tradearea/TAreaTree.h"
#include "tradearea/TradeAreaTreeBuilder.h"

#include <QSignalSpy>
#include <QTest>

using namespace sqda;

class TestAreaTree : public QObject
{
    Q_OBJECT

    // 商圈档案
    //   01 东区
    //     0101 东一
    //       010101 东一甲
    //     0102 东二
    //   02 西区
    // 0301 无主 (a level-2 row before any level-1 row)
    // With `codesInTexts` each code is given as its length at its text's
    // beginning, as the screen's tree load gives them.
    static QTreeWidgetItem *build(TAreaTree &tree, bool codesInTexts = false)
    {
        std::vector<QString> texts { QStringLiteral("0301 无主"), QStringLiteral("01 东区"),
            QStringLiteral("0101 东一"), QStringLiteral("010101 东一甲"), QStringLiteral("0102 东二"),
            QStringLiteral("02 西区") };
        std::vector<QString> codes;
        std::vector<std::int32_t> codeLengths;
        for (const QString &t : texts) {
            codes.push_back(t.section(QLatin1Char(' '), 0, 0));
            codeLengths.push_back(std::int32_t(codes.back().size()));
        }
        const auto placements = TradeAreaTreeBuilder::place({ 2, 1, 2, 3, 2, 1 });
        if (codesInTexts)
            return tree.rebuildWithCodesInTexts(QStringLiteral("商圈档案"), std::move(texts), codeLengths, placements);
        return tree.rebuild(QStringLiteral("商圈档案"), std::move(texts), codes, placements);
    }

    static QStringList texts(const QList<QTreeWidgetItem *> &items)
    {
        QStringList out;
        for (auto *i : items)
            out << i->text(0);
        return out;
    }

private Q_SLOTS:
    void rebuildPlacesRowsInTreeOrder()
    {
        TAreaTree tree;
        QTreeWidgetItem *root = build(tree);
        QCOMPARE(tree.topLevelItemCount(), 2);
        QCOMPARE(tree.topLevelItem(0), root);
        QCOMPARE(texts(tree.nodesInOrder()),
            (QStringList { QStringLiteral("商圈档案"), QStringLiteral("01 东区"), QStringLiteral("0101 东一"),
                QStringLiteral("010101 东一甲"), QStringLiteral("0102 东二"), QStringLiteral("02 西区"),
                QStringLiteral("0301 无主") }));
        // A second rebuild replaces everything.
        tree.rebuild(QStringLiteral("商圈档案"), { QStringLiteral("09 新") }, { QStringLiteral("09") },
            { TradeAreaTreeBuilder::UnderRoot });
        QCOMPARE(texts(tree.nodesInOrder()), (QStringList { QStringLiteral("商圈档案"), QStringLiteral("09 新") }));
    }

    void nodesCarryTheirCodes_data()
    {
        QTest::addColumn<bool>("codesInTexts");
        QTest::newRow("codes apart") << false;
        QTest::newRow("codes in the texts") << true;
    }
    // Nodes are found by the code they carry, whatever their text says: a
    // renamed node, a name with spaces, a node beside the root.
    void nodesCarryTheirCodes()
    {
        QFETCH(bool, codesInTexts);
        TAreaTree tree;
        QTreeWidgetItem *root = build(tree, codesInTexts);
        QCOMPARE(tree.rootNode(), root);
        QVERIFY(TAreaTree::isRoot(root));
        QCOMPARE(TAreaTree::codeOf(root), QString());
        QTreeWidgetItem *east = root->child(0);
        east->setText(0, QStringLiteral("01 东 大 区"));
        QCOMPARE(tree.findNodeCode(QStringLiteral("01")), east);
        QCOMPARE(tree.findNodeCode(QStringLiteral("0102")), east->child(1));
        QCOMPARE(TAreaTree::codeOf(tree.findNodeCode(QStringLiteral("0301"))), QStringLiteral("0301"));
        QVERIFY(!TAreaTree::isRoot(tree.topLevelItem(1))); // beside the root, but an area
        QVERIFY(!tree.findNodeCode(QStringLiteral("01 东")));
        QVERIFY(!tree.findNodeCode(QString())); // the root is no area
        QTreeWidgetItem *added = tree.addChildNode(east, QStringLiteral("0103 东三"), QStringLiteral("0103"));
        QCOMPARE(tree.findNodeCode(QStringLiteral("0103")), added);
        // A text that no longer begins with the code keeps the code.
        QTreeWidgetItem *west = root->child(1);
        west->setText(0, QStringLiteral("西区"));
        QCOMPARE(tree.findNodeCode(QStringLiteral("02")), west);
        QCOMPARE(TAreaTree::codeOf(west), QStringLiteral("02"));
    }

    void findNodeTextIgnoresCase()
    {
        TAreaTree tree;
        build(tree);
        tree.topLevelItem(0)->child(1)->setText(0, QStringLiteral("02 West"));
        QTreeWidgetItem *west = tree.findNodeText(QStringLiteral("02 WEST"));
        QVERIFY(west);
        QCOMPARE(west->text(0), QStringLiteral("02 West"));
        QVERIFY(!tree.findNodeText(QStringLiteral("02 Wes")));
        QVERIFY(tree.findNodeText(QStringLiteral("010101 东一甲")));
    }

    void findContaining()
    {
        TAreaTree tree;
        build(tree);
        const QList<QTreeWidgetItem *> nodes = tree.nodesInOrder();
        // From the top the root is tested too; collapsed nodes are included.
        QCOMPARE(tree.findContaining(QStringLiteral("档案"), true, nullptr), nodes[0]);
        QCOMPARE(tree.findContaining(QStringLiteral("东一"), true, nullptr), nodes[2]);
        // After a node: the node itself is not tested.
        QCOMPARE(tree.findContaining(QStringLiteral("东一"), false, nodes[2]), nodes[3]);
        QCOMPARE(tree.findContaining(QStringLiteral("01"), false, nodes[3]), nodes[4]);
        // No wrap round, and nothing after no node.
        QVERIFY(!tree.findContaining(QStringLiteral("东"), false, nodes[6]));
        QVERIFY(!tree.findContaining(QStringLiteral("东"), false, nullptr));
        // F3 from the last node of a subtree goes on to the next branch.
        QCOMPARE(tree.findContaining(QStringLiteral("0"), false, nodes[5]), nodes[6]);
        // A node of another tree is no starting point.
        TAreaTree other;
        build(other);
        QVERIFY(!tree.findContaining(QStringLiteral("东"), false, other.nodesInOrder()[2]));
        // Letter case counts.
        tree.topLevelItem(1)->setText(0, QStringLiteral("0301 Abc"));
        QVERIFY(!tree.findContaining(QStringLiteral("abc"), true, nullptr));
    }

    void sortKeepsCodeOrderAndSelection()
    {
        TAreaTree tree;
        QTreeWidgetItem *root = build(tree);
        tree.selectNode(root->child(0)->child(0));
        QTreeWidgetItem *selected = tree.selectedNode();
        tree.addChildNode(root, QStringLiteral("015 中区"), QStringLiteral("015"));
        tree.addChildNode(root, QStringLiteral("00 北区"), QStringLiteral("00"));
        tree.addChildNode(root->child(0), QStringLiteral("0100 东零"), QStringLiteral("0100"));
        QSignalSpy changes(&tree, &TAreaTree::TNChange);
        tree.sortNodeChildren(root);
        tree.sortNodeChildren(root->child(1));
        QStringList top;
        for (int i = 0; i < root->childCount(); ++i)
            top << root->child(i)->text(0);
        QCOMPARE(top,
            (QStringList { QStringLiteral("00 北区"), QStringLiteral("01 东区"), QStringLiteral("015 中区"),
                QStringLiteral("02 西区") }));
        QCOMPARE(root->child(1)->child(0)->text(0), QStringLiteral("0100 东零"));
        QCOMPARE(tree.selectedNode(), selected);
        QCOMPARE(changes.count(), 0);
    }

    void deleteMovesSelectionAndReportsOnce()
    {
        TAreaTree tree;
        QTreeWidgetItem *root = build(tree);
        QTreeWidgetItem *east = root->child(0);
        tree.selectNode(east->child(1)); // 0102, the last child
        QSignalSpy changes(&tree, &TAreaTree::TNChange);
        tree.deleteNode(east->child(1));
        QCOMPARE(changes.count(), 1);
        QVERIFY(tree.selectedNode());
        QVERIFY(tree.selectedNode()->isSelected());
        QCOMPARE(east->childCount(), 1);
        // A node goes with its descendants.
        tree.deleteNode(east);
        QCOMPARE(texts(tree.nodesInOrder()),
            (QStringList { QStringLiteral("商圈档案"), QStringLiteral("02 西区"), QStringLiteral("0301 无主") }));
    }

    void selectOpensAncestorsAndArrowsMove()
    {
        TAreaTree tree;
        QTreeWidgetItem *root = build(tree);
        tree.resize(300, 400);
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        QTreeWidgetItem *deep = root->child(0)->child(0)->child(0);
        QSignalSpy changes(&tree, &TAreaTree::TNChange);
        tree.selectNode(deep);
        QCOMPARE(changes.count(), 1);
        QVERIFY(root->isExpanded() && root->child(0)->isExpanded() && root->child(0)->child(0)->isExpanded());
        tree.moveSelection(false);
        QCOMPARE(tree.selectedNode()->text(0), QStringLiteral("0102 东二"));
        tree.moveSelection(true);
        tree.moveSelection(true);
        QCOMPARE(tree.selectedNode()->text(0), QStringLiteral("0101 东一"));
        QCOMPARE(changes.count(), 4);

        tree.collapseNode(root, true);
        QVERIFY(!root->isExpanded() && !root->child(0)->isExpanded() && !root->child(0)->child(0)->isExpanded());
        tree.expandNode(root, true);
        QVERIFY(root->isExpanded() && root->child(0)->isExpanded() && root->child(0)->child(0)->isExpanded());
        tree.collapseNode(nullptr, true); // nothing selected: nothing happens
    }

    void clickIsReported()
    {
        TAreaTree tree;
        QTreeWidgetItem *root = build(tree);
        tree.expandItem(root);
        tree.resize(300, 400);
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        QSignalSpy clicks(&tree, &TAreaTree::TNClick);
        QSignalSpy changes(&tree, &TAreaTree::TNChange);
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(root->child(1)).center());
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(tree.selectedNode(), root->child(1));
        // A right click selects too, without being a click.
        QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, tree.visualItemRect(root->child(0)).center());
        QCOMPARE(tree.selectedNode(), root->child(0));
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(changes.count(), 2);
    }
};

QTEST_MAIN(TestAreaTree)
#include "tst_areatree.moc"

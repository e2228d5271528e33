// The tree of trade areas (component TN): one fixed root node, area nodes below
// it. Node texts are read-only. An area node carries its area's code as data
// (CodeRole); the screen finds nodes through it and never parses a node's text.
// The root carries none.
//
// "Tree order" is depth first, each parent before its children, collapsed nodes
// included; locating and finding by text walk the nodes in that order.
#pragma once

#include <QTreeWidget>

#include <cstdint>
#include <vector>

namespace sqda {

class TAreaTree : public QTreeWidget
{
    Q_OBJECT
public:
    static constexpr int CodeRole = Qt::UserRole;

    explicit TAreaTree(QWidget *parent = nullptr);

    // Building -----------------------------------------------------------------
    // An area node with `code`, beside the root.
    QTreeWidgetItem *addTopLevelNode(const QString &text, const QString &code);
    // As the last child; at the top level when `parent` is none.
    QTreeWidgetItem *addChildNode(QTreeWidgetItem *parent, const QString &text, const QString &code);
    // Removes the node with all its descendants. The selection moves to a
    // neighbouring node, which is reported by one TNChange after the removal.
    void deleteNode(QTreeWidgetItem *node);
    void clearNodes();
    // Replaces the whole tree: a top-level root node with `rootText`, then one
    // node per text (with the code of the same index) placed as
    // TradeAreaTreeBuilder decided. The nodes are built off the view and handed
    // over at once. Returns the root node.
    QTreeWidgetItem *rebuild(const QString &rootText, std::vector<QString> texts, const std::vector<QString> &codes,
        const std::vector<std::int32_t> &placements);
    // The same, each node's code being the first codeLengths[i] characters of
    // its text, as a tree load's rows come: the code becomes a text of its own
    // only when it is first asked for.
    QTreeWidgetItem *rebuildWithCodesInTexts(const QString &rootText, std::vector<QString> texts,
        const std::vector<std::int32_t> &codeLengths, const std::vector<std::int32_t> &placements);

    // Expanding ----------------------------------------------------------------
    void expandNode(QTreeWidgetItem *node, bool withDescendants);
    void collapseNode(QTreeWidgetItem *node, bool withDescendants);

    // Selection ----------------------------------------------------------------
    QTreeWidgetItem *selectedNode() const;
    // Selects the node and opens its ancestors so that it can be seen.
    void selectNode(QTreeWidgetItem *node);
    // Moves the selection to the previous or next visible node exactly as the
    // arrow keys do.
    void moveSelection(bool up);

    // Searching ----------------------------------------------------------------
    // The first node in tree order whose text equals `text`, letter case ignored.
    QTreeWidgetItem *findNodeText(const QString &text) const;
    // The first area node in tree order whose code equals `code`, letter case ignored.
    QTreeWidgetItem *findNodeCode(const QString &code) const;
    // The first root node (a node without a code) at the top level.
    QTreeWidgetItem *rootNode() const;
    static bool isRoot(const QTreeWidgetItem *node);
    // The area code a node carries; empty for the root.
    static QString codeOf(const QTreeWidgetItem *node);
    // The first node in tree order whose text contains `text` (letter case
    // significant). From the top every node is tested; otherwise the search
    // starts after `after` and finds nothing when `after` is none.
    QTreeWidgetItem *findContaining(const QString &text, bool fromTop, const QTreeWidgetItem *after) const;
    // The same walk over the area nodes, for the first whose name's pinyin
    // initials or full pinyin contain `text`, letter case ignored (PinyinKeys;
    // the root has no name). A node's keys are built the first time they are
    // asked for and kept until its text changes.
    QTreeWidgetItem *findPinyin(const QString &text, bool fromTop, const QTreeWidgetItem *after) const;
    // The first node that search tests: the first node, or the one after
    // `after` in tree order; none when `after` is none or not in this tree.
    QTreeWidgetItem *walkStart(bool fromTop, const QTreeWidgetItem *after) const;
    // The nodes in tree order.
    QList<QTreeWidgetItem *> nodesInOrder() const;

    // A handle on a node that survives changes elsewhere in the tree and turns
    // invalid when the node goes.
    QPersistentModelIndex handleOf(QTreeWidgetItem *node) const;
    QTreeWidgetItem *nodeOf(const QPersistentModelIndex &handle) const;

    // Sorts the node's children by text, ascending, in code-unit order: every
    // area text begins with its code, so siblings end up in code order.
    void sortNodeChildren(QTreeWidgetItem *node);

    // The pinyin keys of the area nodes, one after another in the order the
    // searches first met the nodes, so that a search reads them front to back
    // instead of from a heap block of each node; `stamp` tells a node whether
    // its keys are in there.
    struct PinyinBuffer
    {
        QString units;
        quint32 stamp = 0;
    };

Q_SIGNALS:
    // The selected node changed (not reported while the tree is being rebuilt).
    void TNChange();
    // The tree was clicked.
    void TNClick();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    // Lines between the nodes and at the root, and a boxed plus or minus on
    // nodes with children, whatever the widget style draws by itself.
    void drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const override;

private:
    template<typename MakeNode>
    QTreeWidgetItem *rebuildWith(const QString &rootText, std::vector<QString> &texts,
        const std::vector<std::int32_t> &placements, const MakeNode &makeNode);
    void onCurrentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);
    void resetPinyinKeys() const;

    bool m_quiet = false; // structural change in progress: no TNChange
    mutable PinyinBuffer m_pinyinKeys;
};

} // namespace sqda

#include "TAreaTree.h"

#include "data/PinyinKeys.h"
#include "data/TextOrder.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScopedValueRollback>
#include <QStack>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <atomic>
#include <optional>

namespace sqda {

namespace {

// A node compares by text in code-point order, as the codes and names sort in the
// database, without going through QVariant. It keeps its text and code itself:
// the item's own role lists cost three allocations a node, a third of building
// a large tree.
class AreaNode : public QTreeWidgetItem
{
public:
    // Without a code, the root node.
    AreaNode(QString text, std::optional<QString> code)
        : QTreeWidgetItem(QTreeWidgetItem::UserType)
        , m_text(std::move(text))
        , m_code(std::move(code))
    {
    }
    // An area whose code is the first `codeLength` characters of its text,
    // made into a text of its own only when first asked for.
    AreaNode(QString text, qsizetype codeLength)
        : QTreeWidgetItem(QTreeWidgetItem::UserType)
        , m_text(std::move(text))
        , m_codeLength(std::clamp<qsizetype>(codeLength, 0, m_text.size()))
    {
    }

    bool operator<(const QTreeWidgetItem &other) const override
    {
        return compareCodePoints(text(0), other.text(0)) < 0;
    }

    QVariant data(int column, int role) const override
    {
        if (column == 0) {
            switch (role) {
            case Qt::DisplayRole:
            case Qt::EditRole:
                return m_text;
            case TAreaTree::CodeRole:
                if (const QString *c = code())
                    return *c;
                return QVariant();
            case Qt::AccessibleDescriptionRole:
                // A screen reader says an area's level after its text; the root has none.
                if (parent()) {
                    int level = 0;
                    for (const QTreeWidgetItem *p = parent(); p; p = p->parent())
                        ++level;
                    return QStringLiteral("第%1级").arg(level);
                }
                break;
            default:
                break;
            }
        }
        return QTreeWidgetItem::data(column, role);
    }

    void setData(int column, int role, const QVariant &value) override
    {
        if (column != 0) {
            QTreeWidgetItem::setData(column, role, value);
            return;
        }
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            QString text = value.toString();
            if (text == m_text)
                return;
            code(); // the code stays what it was, whatever the new text begins with
            m_codeLength = -1;
            m_text = std::move(text);
        } else if (role == TAreaTree::CodeRole) {
            m_code = value.isValid() ? std::optional<QString>(value.toString()) : std::nullopt;
            m_codeLength = -1;
        } else {
            QTreeWidgetItem::setData(column, role, value);
            m_keyStamp = 0;
            return;
        }
        m_keyStamp = 0; // a rename: the keys follow the new name
        emitDataChanged();
    }

    // The pinyin keys of the area's name (the text after the code and its
    // space, as the text was made): the full pinyin and the initials in one
    // text, apart by a character no search text holds, so that one search
    // looks through both. The root's are empty. They lie in `keys`, the
    // tree's one buffer, where they are appended the first time they are
    // asked for.
    QStringView pinyin(TAreaTree::PinyinBuffer &keys) const
    {
        if (m_keyStamp != keys.stamp) {
            m_keyOffset = quint32(keys.units.size());
            if (const QString *c = code()) {
                const QString &text = m_text;
                const QString prefix = *c + QLatin1Char(' ');
                const PinyinKeys::Key k = PinyinKeys::of(
                    text.startsWith(prefix) ? QStringView(text).sliced(prefix.size()) : QStringView(text));
                keys.units.append(k.full).append(QChar(u'\n')).append(k.initials);
            }
            m_keyLength = quint32(keys.units.size() - m_keyOffset);
            m_keyStamp = keys.stamp;
        }
        return QStringView(keys.units).sliced(m_keyOffset, m_keyLength);
    }

private:
    // The code, made from the text's beginning when it is kept there; none for the root.
    const QString *code() const
    {
        if (!m_code && m_codeLength >= 0)
            m_code = m_text.first(m_codeLength);
        return m_code ? &*m_code : nullptr;
    }

    QString m_text;
    mutable std::optional<QString> m_code;
    qsizetype m_codeLength = -1; // the code's length at the text's beginning; -1: m_code holds it
    // Where the keys lie in the buffer whose stamp is m_keyStamp; another
    // stamp (0 after a rename, another tree's, a buffer started afresh): not
    // built there yet.
    mutable quint32 m_keyStamp = 0;
    mutable quint32 m_keyOffset = 0;
    mutable quint32 m_keyLength = 0;
};

// Unique among all trees' key buffers in the process, never 0.
quint32 newPinyinStamp()
{
    static std::atomic<quint32> last { 0 };
    quint32 s = ++last;
    while (s == 0)
        s = ++last;
    return s;
}

} // namespace

TAreaTree::TAreaTree(QWidget *parent)
    : QTreeWidget(parent)
{
    m_pinyinKeys.stamp = newPinyinStamp();
    setObjectName(QStringLiteral("TN"));
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // One height for every row lets the view lay out a hundred thousand nodes
    // without measuring each.
    setUniformRowHeights(true);
    setRootIsDecorated(true);
    setItemsExpandable(true);
    setExpandsOnDoubleClick(true);
    setSortingEnabled(false);
    setIndentation(19);
    connect(this, &QTreeWidget::currentItemChanged, this, &TAreaTree::onCurrentItemChanged);
}

QTreeWidgetItem *TAreaTree::addTopLevelNode(const QString &text, const QString &code)
{
    auto *node = new AreaNode(text, code);
    addTopLevelItem(node); // the tree owns it from here
    return node;
}

QTreeWidgetItem *TAreaTree::addChildNode(QTreeWidgetItem *parent, const QString &text, const QString &code)
{
    if (!parent)
        return addTopLevelNode(text, code);
    auto *node = new AreaNode(text, code);
    parent->addChild(node);
    return node;
}

void TAreaTree::deleteNode(QTreeWidgetItem *node)
{
    if (!node)
        return;
    QTreeWidgetItem *before = currentItem();
    {
        const QScopedValueRollback quiet(m_quiet, true);
        delete node; // takes its descendants and leaves the model with it
        // The view moved the current index to a neighbour; make it the selection too.
        if (QTreeWidgetItem *now = currentItem())
            now->setSelected(true);
    }
    // `before` may be gone: compare addresses only.
    if (currentItem() != before || before == node)
        Q_EMIT TNChange();
}

void TAreaTree::clearNodes()
{
    const QScopedValueRollback quiet(m_quiet, true);
    clear();
    resetPinyinKeys();
}

void TAreaTree::resetPinyinKeys() const
{
    m_pinyinKeys.units = QString();
    m_pinyinKeys.stamp = newPinyinStamp();
}

template<typename MakeNode>
QTreeWidgetItem *TAreaTree::rebuildWith(const QString &rootText, std::vector<QString> &texts,
    const std::vector<std::int32_t> &placements, const MakeNode &makeNode)
{
    const QScopedValueRollback quiet(m_quiet, true);
    clear();
    resetPinyinKeys();

    // Built off the view, so the model sees two insertions instead of one per node.
    auto *root = new AreaNode(rootText, std::nullopt);
    QList<QTreeWidgetItem *> topLevel { root };
    std::vector<QTreeWidgetItem *> nodes(texts.size(), nullptr);
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::int32_t placement = i < placements.size() ? placements[i] : std::int32_t(-3);
        if (placement < -2)
            continue;
        QTreeWidgetItem *node = makeNode(i); // takes the text over
        nodes[i] = node;
        if (placement >= 0 && size_t(placement) < i && nodes[size_t(placement)])
            nodes[size_t(placement)]->addChild(node);
        else if (placement == -1)
            root->addChild(node);
        else
            topLevel << node;
    }
    insertTopLevelItems(0, topLevel);
    return root;
}

QTreeWidgetItem *TAreaTree::rebuild(const QString &rootText, std::vector<QString> texts,
    const std::vector<QString> &codes, const std::vector<std::int32_t> &placements)
{
    return rebuildWith(rootText, texts, placements,
        [&](size_t i) { return new AreaNode(std::move(texts[i]), i < codes.size() ? codes[i] : QString()); });
}

QTreeWidgetItem *TAreaTree::rebuildWithCodesInTexts(const QString &rootText, std::vector<QString> texts,
    const std::vector<std::int32_t> &codeLengths, const std::vector<std::int32_t> &placements)
{
    return rebuildWith(rootText, texts, placements, [&](size_t i) {
        return new AreaNode(std::move(texts[i]), i < codeLengths.size() ? qsizetype(codeLengths[i]) : 0);
    });
}

void TAreaTree::expandNode(QTreeWidgetItem *node, bool withDescendants)
{
    if (!node)
        return;
    const QModelIndex index = indexFromItem(node);
    if (withDescendants)
        expandRecursively(index);
    else
        expand(index);
}

void TAreaTree::collapseNode(QTreeWidgetItem *node, bool withDescendants)
{
    if (!node)
        return;
    collapseItem(node);
    if (!withDescendants)
        return;
    QStack<QTreeWidgetItem *> stack;
    stack.push(node);
    while (!stack.isEmpty()) {
        QTreeWidgetItem *n = stack.pop();
        for (int i = 0; i < n->childCount(); ++i) {
            QTreeWidgetItem *child = n->child(i);
            if (child->childCount() == 0)
                continue;
            if (child->isExpanded())
                collapseItem(child);
            stack.push(child);
        }
    }
}

QTreeWidgetItem *TAreaTree::selectedNode() const
{
    return currentItem();
}

void TAreaTree::selectNode(QTreeWidgetItem *node)
{
    if (!node)
        return;
    for (QTreeWidgetItem *p = node->parent(); p; p = p->parent()) {
        if (!p->isExpanded())
            p->setExpanded(true);
    }
    // Making it current runs TNChange, whose handler may call the host; the node
    // is looked up again afterwards rather than trusted to exist.
    const QPointer<TAreaTree> self(this);
    const QPersistentModelIndex handle = handleOf(node);
    setCurrentItem(node);
    if (!self)
        return;
    node = nodeOf(handle);
    if (!node)
        return;
    node->setSelected(true);
    scrollToItem(node);
}

void TAreaTree::moveSelection(bool up)
{
    QKeyEvent press(QEvent::KeyPress, up ? Qt::Key_Up : Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(this, &press);
    QKeyEvent release(QEvent::KeyRelease, up ? Qt::Key_Up : Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(this, &release);
}

QTreeWidgetItem *TAreaTree::findNodeText(const QString &text) const
{
    for (QTreeWidgetItemIterator it(const_cast<TAreaTree *>(this)); *it; ++it) {
        if ((*it)->text(0).compare(text, Qt::CaseInsensitive) == 0)
            return *it;
    }
    return nullptr;
}

QTreeWidgetItem *TAreaTree::findNodeCode(const QString &code) const
{
    for (QTreeWidgetItemIterator it(const_cast<TAreaTree *>(this)); *it; ++it) {
        if (!isRoot(*it) && codeOf(*it).compare(code, Qt::CaseInsensitive) == 0)
            return *it;
    }
    return nullptr;
}

QTreeWidgetItem *TAreaTree::rootNode() const
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (isRoot(topLevelItem(i)))
            return topLevelItem(i);
    }
    return nullptr;
}

bool TAreaTree::isRoot(const QTreeWidgetItem *node)
{
    return node && !node->data(0, CodeRole).isValid();
}

QString TAreaTree::codeOf(const QTreeWidgetItem *node)
{
    return node ? node->data(0, CodeRole).toString() : QString();
}

QTreeWidgetItem *TAreaTree::findContaining(const QString &text, bool fromTop, const QTreeWidgetItem *after) const
{
    QTreeWidgetItem *start = walkStart(fromTop, after);
    if (!start)
        return nullptr;
    for (QTreeWidgetItemIterator it(start); *it; ++it) {
        if ((*it)->text(0).contains(text, Qt::CaseSensitive))
            return *it;
    }
    return nullptr;
}

QTreeWidgetItem *TAreaTree::findPinyin(const QString &text, bool fromTop, const QTreeWidgetItem *after) const
{
    const QString needle = PinyinKeys::needle(text);
    // Keys hold letters and digits only: a text with anything else (the
    // separator among them) matches nothing.
    if (needle.isEmpty() || needle.contains(u'\n') || (!fromTop && !after))
        return nullptr;
    // After a node the walk starts at that node, so the cost is the distance
    // to the next match.
    QTreeWidgetItemIterator it = fromTop ? QTreeWidgetItemIterator(const_cast<TAreaTree *>(this))
                                         : QTreeWidgetItemIterator(const_cast<QTreeWidgetItem *>(after));
    if (!fromTop)
        ++it; // the node itself is not tested
    // Keys of renamed or removed nodes stay behind in the buffer; past this
    // size it starts afresh and the nodes build theirs again as they are met.
    if (m_pinyinKeys.units.size() > (qsizetype(1) << 26))
        resetPinyinKeys();
    for (; *it; ++it) {
        if ((*it)->type() != QTreeWidgetItem::UserType)
            continue;
        if (PinyinKeys::keyContains(static_cast<const AreaNode *>(*it)->pinyin(m_pinyinKeys), needle))
            return *it;
    }
    return nullptr;
}

QTreeWidgetItem *TAreaTree::walkStart(bool fromTop, const QTreeWidgetItem *after) const
{
    if (fromTop)
        return topLevelItem(0);
    // F3 goes on from the node itself (not tested), so a press costs the
    // distance to the next match, not a walk from the top to `after`.
    if (!after || after->treeWidget() != this)
        return nullptr;
    QTreeWidgetItemIterator it(const_cast<QTreeWidgetItem *>(after));
    return *++it;
}

QList<QTreeWidgetItem *> TAreaTree::nodesInOrder() const
{
    QList<QTreeWidgetItem *> out;
    for (QTreeWidgetItemIterator it(const_cast<TAreaTree *>(this)); *it; ++it)
        out << *it;
    return out;
}

QPersistentModelIndex TAreaTree::handleOf(QTreeWidgetItem *node) const
{
    return node ? QPersistentModelIndex(indexFromItem(node)) : QPersistentModelIndex();
}

QTreeWidgetItem *TAreaTree::nodeOf(const QPersistentModelIndex &handle) const
{
    return handle.isValid() ? itemFromIndex(handle) : nullptr;
}

void TAreaTree::sortNodeChildren(QTreeWidgetItem *node)
{
    if (node)
        node->sortChildren(0, Qt::AscendingOrder);
}

void TAreaTree::drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const
{
    const int indent = indentation();
    if (indent <= 0)
        return;
    const QColor lineColor = palette().color(QPalette::Dark);
    const QColor boxColor = palette().color(QPalette::Shadow);
    const int midY = rect.top() + rect.height() / 2;

    // Dotted like the platform's classic tree: every other pixel, counted from the
    // view's origin so the dots of neighbouring rows line up.
    const auto vline = [&](int x, int y0, int y1) {
        for (int y = y0 + ((y0 + x) & 1); y <= y1; y += 2)
            painter->fillRect(x, y, 1, 1, lineColor);
    };
    const auto hline = [&](int y, int x0, int x1) {
        for (int x = x0 + ((x0 + y) & 1); x <= x1; x += 2)
            painter->fillRect(x, y, 1, 1, lineColor);
    };
    const auto hasNextSibling = [this](const QModelIndex &i) { return i.row() + 1 < model()->rowCount(i.parent()); };

    // The node's own column is the last one of the branch area.
    painter->save();
    int x = rect.right() + 1 - indent;
    const int midX = x + indent / 2;
    // The first node of the tree has nothing above it to connect to.
    const bool first = !index.parent().isValid() && index.row() == 0;
    vline(midX, first ? midY : rect.top(), hasNextSibling(index) ? rect.bottom() : midY);
    hline(midY, midX, x + indent - 1);

    // One column further left per ancestor: its line goes on while it has a
    // later sibling.
    for (QModelIndex a = index.parent(); a.isValid(); a = a.parent()) {
        x -= indent;
        if (x + indent <= rect.left())
            break;
        if (hasNextSibling(a))
            vline(x + indent / 2, rect.top(), rect.bottom());
    }

    if (model()->hasChildren(index)) {
        const QRect box(midX - 4, midY - 4, 8, 8);
        painter->fillRect(box, palette().color(QPalette::Base));
        painter->setPen(boxColor);
        painter->drawRect(box);
        painter->setPen(palette().color(QPalette::Text));
        painter->drawLine(midX - 2, midY, midX + 2, midY);
        if (!isExpanded(index))
            painter->drawLine(midX, midY - 2, midX, midY + 2);
    }
    painter->restore();
}

void TAreaTree::mouseReleaseEvent(QMouseEvent *event)
{
    const QPointer<TAreaTree> self(this);
    QTreeWidget::mouseReleaseEvent(event);
    if (self && event->button() == Qt::LeftButton)
        Q_EMIT TNClick();
}

void TAreaTree::onCurrentItemChanged(QTreeWidgetItem *, QTreeWidgetItem *)
{
    if (!m_quiet)
        Q_EMIT TNChange();
}

} // namespace sqda

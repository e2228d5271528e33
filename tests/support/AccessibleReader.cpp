#include "AccessibleReader.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QWidget>

namespace sqda::test {

QList<AccessibleNode> accessibleTree(QWidget *root, int limit)
{
    QList<AccessibleNode> out;
    QAccessibleInterface *top = QAccessible::queryAccessibleInterface(root);
    if (!top)
        return out;
    std::function<void(QAccessibleInterface *, int)> walk = [&](QAccessibleInterface *iface, int depth) {
        if (out.size() >= limit || !iface || !iface->isValid())
            return;
        out << AccessibleNode { iface, depth };
        const int n = iface->childCount();
        for (int i = 0; i < n && out.size() < limit; ++i)
            walk(iface->child(i), depth + 1);
    };
    walk(top, 0);
    return out;
}

QAccessibleInterface *findAccessibleText(QWidget *root, const QString &text)
{
    for (const AccessibleNode &n : accessibleTree(root))
        if (n.name().contains(text) || n.description().contains(text) || n.value().contains(text))
            return n.iface;
    return nullptr;
}

QStringList unnamedControls(QWidget *root)
{
    QStringList out;
    QList<QWidget *> widgets { root };
    widgets += root->findChildren<QWidget *>();
    for (QWidget *w : std::as_const(widgets)) {
        if (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(root->window()) || !w->isEnabled())
            continue;
        bool inner = false;
        for (QWidget *p = w->parentWidget(); p && p != root; p = p->parentWidget())
            inner = inner || qobject_cast<QComboBox *>(p) || qobject_cast<QAbstractSpinBox *>(p)
                || qobject_cast<QAbstractItemView *>(p);
        if (inner)
            continue;
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        if (!iface || iface->text(QAccessible::Name).trimmed().isEmpty())
            out << (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName());
    }
    return out;
}

} // namespace sqda::test

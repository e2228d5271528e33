// Reads a window the way a screen reader does: through QAccessible alone,
// walking the accessible tree from the window down.
#pragma once

#include <QAccessible>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace sqda::test {

struct AccessibleNode
{
    QAccessibleInterface *iface = nullptr;
    int depth = 0;
    QString name() const { return iface->text(QAccessible::Name); }
    QString description() const { return iface->text(QAccessible::Description); }
    QString value() const { return iface->text(QAccessible::Value); }
    QAccessible::Role role() const { return iface->role(); }
};

// Every node of the accessible tree under `root`'s interface, in order, at most
// `limit` of them (a view's cells count too).
QList<AccessibleNode> accessibleTree(QWidget *root, int limit = 5000);

// The first node whose name, description or value contains `text`; null when none.
QAccessibleInterface *findAccessibleText(QWidget *root, const QString &text);

// The controls under `root` a user can reach with the keyboard whose accessible
// interface has no name: object names of the culprits, or class names.
QStringList unnamedControls(QWidget *root);

} // namespace sqda::test

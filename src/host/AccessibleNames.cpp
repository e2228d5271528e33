#include "AccessibleNames.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <limits>

namespace sqda {

namespace {

bool isHan(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 0x3400 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0x3000 && u <= 0x303F)
        || (u >= 0xFF00 && u <= 0xFFEF);
}

// A control that takes input or shows content and says nothing of itself.
bool needsCaption(const QWidget *w)
{
    return qobject_cast<const QLineEdit *>(w) || qobject_cast<const QAbstractSpinBox *>(w)
        || qobject_cast<const QComboBox *>(w) || qobject_cast<const QTextEdit *>(w)
        || qobject_cast<const QPlainTextEdit *>(w) || qobject_cast<const QAbstractItemView *>(w)
        || qobject_cast<const QAbstractSlider *>(w);
}

// The inner parts of a compound control (a combo box's edit and list, a spin
// box's edit, a grid's frozen columns) are announced through the control.
bool isInnerPart(const QWidget *w, const QWidget *root)
{
    for (const QWidget *p = w->parentWidget(); p && p != root->parentWidget(); p = p->parentWidget()) {
        if (qobject_cast<const QComboBox *>(p) || qobject_cast<const QAbstractSpinBox *>(p)
            || qobject_cast<const QAbstractItemView *>(p))
            return true;
    }
    return false;
}

QString labelText(const QLabel *label)
{
    if (label->textFormat() == Qt::RichText
        || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text())))
        return {};
    return spokenCaption(label->text());
}

QString buddyCaption(const QWidget *w)
{
    const QList<QLabel *> labels = w->window()->findChildren<QLabel *>();
    for (const QLabel *label : labels)
        if (label->buddy() == w)
            return labelText(label);
    return {};
}

// Another control of `parent` inside `band`, between a caption and its control.
bool controlBetween(const QWidget *parent, const QWidget *w, const QLabel *label, const QRect &band)
{
    if (band.width() <= 0)
        return false;
    const QList<QWidget *> siblings = parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (const QWidget *s : siblings)
        if (s != w && s != label && !s->isHidden() && s->geometry().intersects(band))
            return true;
    return false;
}

// The nearest label in the same parent on the control's left, in its row; else
// the nearest one straight above it.
QString positionalCaption(const QWidget *w)
{
    const QWidget *parent = w->parentWidget();
    if (!parent)
        return {};
    const QRect g = w->geometry();
    const QLabel *left = nullptr;
    const QLabel *above = nullptr;
    int leftGap = std::numeric_limits<int>::max();
    int aboveGap = std::numeric_limits<int>::max();
    const QList<QLabel *> labels = parent->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
    for (const QLabel *label : labels) {
        if (label->isHidden() || labelText(label).isEmpty())
            continue;
        const QRect l = label->geometry();
        const int midY = l.center().y();
        if (l.right() <= g.left() + 4 && midY >= g.top() - 4 && midY <= g.bottom() + 4) {
            const int gap = g.left() - l.right();
            if (gap < leftGap && gap < 240
                && !controlBetween(parent, w, label, QRect(l.right() + 1, g.top(), gap - 1, g.height()))) {
                leftGap = gap;
                left = label;
            }
        } else if (l.bottom() <= g.top() + 4 && l.left() < g.right() && l.right() > g.left()) {
            const int gap = g.top() - l.bottom();
            if (gap < aboveGap && gap < 64) {
                aboveGap = gap;
                above = label;
            }
        }
    }
    if (left)
        return labelText(left);
    return above ? labelText(above) : QString();
}

} // namespace

QString spokenCaption(const QString &caption)
{
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&') {
            if (i + 1 < caption.size() && caption[i + 1] == u'&')
                text += caption[++i];
            continue;
        }
        text += caption[i];
    }
    text = text.trimmed();
    // "增  加": the spaces only spread the caption on its button.
    QString closed;
    closed.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isSpace()) {
            qsizetype j = i;
            while (j < text.size() && text[j].isSpace())
                ++j;
            if (i > 0 && j < text.size() && isHan(text[i - 1]) && isHan(text[j])) {
                i = j - 1;
                continue;
            }
        }
        closed += text[i];
    }
    while (closed.endsWith(u':') || closed.endsWith(u'：'))
        closed.chop(1);
    return closed.trimmed();
}

void nameControls(QWidget *root)
{
    if (!root)
        return;
    QList<QWidget *> widgets { root };
    widgets += root->findChildren<QWidget *>();
    // Positions are read from the laid-out controls.
    for (QWidget *w : std::as_const(widgets))
        if (w->layout())
            w->layout()->activate();
    for (QWidget *w : std::as_const(widgets)) {
        // A window of its own below the root is named when it is shown.
        if (!w->accessibleName().isEmpty() || (w != root && w->isWindow()))
            continue;
        QString name;
        if (const auto *button = qobject_cast<const QAbstractButton *>(w)) {
            name = spokenCaption(button->text());
            if (name.isEmpty())
                name = spokenCaption(button->toolTip());
        } else if (needsCaption(w) && !isInnerPart(w, root)) {
            name = buddyCaption(w);
            if (name.isEmpty())
                name = positionalCaption(w);
            if (const auto *edit = qobject_cast<const QLineEdit *>(w); edit && name.isEmpty())
                name = spokenCaption(edit->placeholderText());
            if (name.isEmpty())
                name = spokenCaption(w->toolTip());
            // A dialog's one list without a caption is what the dialog's title asks for.
            if (name.isEmpty() && qobject_cast<const QAbstractItemView *>(w) && root->isWindow())
                name = spokenCaption(root->windowTitle());
        }
        if (!name.isEmpty())
            w->setAccessibleName(name);
    }
}

} // namespace sqda

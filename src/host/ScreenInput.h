// Small pieces a screen uses around its user actions and host calls: the
// hourglass, a look at every key before the focused control gets it, and a
// block on the user's input while a host call is in flight.
#pragma once

#include <QObject>

#include <functional>

class QWidget;

namespace sqda {

// The hourglass for the duration of a scope, given back however the scope ends.
class WaitCursor
{
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

// An application event filter that hands every event to a function; the
// function answers whether the event is consumed.
class KeyPreview : public QObject
{
public:
    using Handler = std::function<bool(QObject *, QEvent *)>;
    explicit KeyPreview(Handler f, QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Handler m_f;
};

// Swallows the user's input to one screen: clicks, keys, the wheel, shortcuts.
// Releases pass, so a press taken before the block does not leave a control
// held down; what a release would start is refused by the screen's handlers.
// Installed on the application while one of the screen's host calls runs.
class InputBlock : public QObject
{
public:
    explicit InputBlock(QWidget *screen); // a child of the screen

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_screen; // the parent: outlives this filter
};

} // namespace sqda

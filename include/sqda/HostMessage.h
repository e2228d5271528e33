// Window messages exchanged between the library's forms and their host.
//
// A message is a synchronous QEvent (QCoreApplication::sendEvent, never posted):
//   0x402  host -> form:          resize the form's main panel (wParam height, lParam width)
//   0x404  form -> host control:  the form has closed (wParam 0, lParam 0)
// The header is self-contained so that a host needs no symbol of the library.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace sqda {

constexpr int HostResizeMessage = 0x402;
constexpr int FormClosedMessage = 0x404;

// The property by which a host recognises an embedded form among its control's children.
constexpr const char *EmbeddedFormProperty = "sqdaEmbeddedForm";

class HostMessageEvent : public QEvent
{
public:
    static constexpr QEvent::Type EventType = QEvent::Type(QEvent::User + 0x400);

    HostMessageEvent(int msg, qintptr wParam, qintptr lParam)
        : QEvent(EventType)
        , message(msg)
        , wParam(wParam)
        , lParam(lParam)
    {
    }

    int message;
    qintptr wParam;
    qintptr lParam;
    qintptr result = 0;
};

// SendMessage: delivers at once and returns the receiver's result.
inline qintptr sendHostMessage(QObject *target, int msg, qintptr wParam = 0, qintptr lParam = 0)
{
    if (!target)
        return 0;
    HostMessageEvent ev(msg, wParam, lParam);
    QCoreApplication::sendEvent(target, &ev);
    return ev.result;
}

inline HostMessageEvent *asHostMessage(QEvent *e)
{
    return e && e->type() == HostMessageEvent::EventType ? static_cast<HostMessageEvent *>(e) : nullptr;
}

// The forms the library has embedded into `parent` (direct children only).
inline QList<QWidget *> embeddedForms(QWidget *parent)
{
    QList<QWidget *> out;
    if (!parent)
        return out;
    for (QObject *o : parent->children()) {
        auto *w = qobject_cast<QWidget *>(o);
        if (w && w->property(EmbeddedFormProperty).toBool())
            out << w;
    }
    return out;
}

} // namespace sqda

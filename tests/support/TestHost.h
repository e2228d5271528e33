// A minimal host for tests: a window with a host control that counts the close
// notifications it receives, and a parent control that receives the forms.
#pragma once

#include <sqda/HostMessage.h>

#include <QWidget>

namespace sqda::test {

class HostControl : public QWidget
{
public:
    using QWidget::QWidget;
    int closedNotifications = 0;

protected:
    bool event(QEvent *e) override
    {
        if (HostMessageEvent *m = asHostMessage(e)) {
            if (m->message == FormClosedMessage)
                ++closedNotifications;
            return true;
        }
        return QWidget::event(e);
    }
};

// The application window with its two controls, shown so that forms get their
// show handling at once as they would in a real host.
class TestHostWindow : public QWidget
{
public:
    TestHostWindow()
    {
        resize(900, 600);
        hostControl = new HostControl(this);
        hostControl->setGeometry(0, 0, 10, 10);
        parentControl = new QWidget(this);
        parentControl->setGeometry(0, 20, 824, 540);
        show();
    }
    HostControl *hostControl;
    QWidget *parentControl;
};

} // namespace sqda::test

#include "HostControl.h"

#include <sqda/HostMessage.h>

namespace kalmora {

HostControl::HostControl(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("hostControl"));
    hide();
}

bool HostControl::event(QEvent *e)
{
    if (sqda::HostMessageEvent *m = sqda::asHostMessage(e)) {
        if (m->message == sqda::FormClosedMessage) {
            ++m_notifications;
            Q_EMIT formClosed();
        }
        m->result = 0;
        return true;
    }
    return QWidget::event(e);
}

} // namespace kalmora

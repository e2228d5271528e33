#include "TFrmBase.h"

#include "AccessibleNames.h"
#include "HostContext.h"
#include "HostGuard.h"
#include "ScreenFonts.h"

#include <sqda/HostMessage.h>

#include <QCloseEvent>

namespace sqda {

TFrmBase::TFrmBase(QWidget *parentControl)
    : QWidget(parentControl, Qt::FramelessWindowHint)
{
    ensureLibraryInitialized();
    setProperty(EmbeddedFormProperty, true);
    setAttribute(Qt::WA_DeleteOnClose);
    // The button-face colour as the window colour, not as the background role: a
    // role would be inherited by every child and override the colours they set.
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setFont(songTi9());
    resize(680, 445);

    PanelMain = new QFrame(this);
    PanelMain->setObjectName(QStringLiteral("PanelMain"));
    PanelMain->setFrameShape(QFrame::NoFrame);
    PanelMain->setGeometry(0, 0, 688, 450);
    m_hostGate = new HostCallGate(this, PanelMain);
}

TFrmBase::~TFrmBase()
{
    // The children go after this destructor.
    m_hostGate->screenDestroyed();
}

void TFrmBase::FormCreate()
{
    setOwnerWindow(hostContext().AppWindow);
}

void TFrmBase::HostResizeMessage(qintptr height, qintptr width)
{
    PanelMain->resize(PanelMain->width(), int(height));
    PanelMain->resize(int(width), PanelMain->height());
}

bool TFrmBase::event(QEvent *e)
{
    if (HostMessageEvent *m = asHostMessage(e)) {
        if (m->message == sqda::HostResizeMessage) {
            HostResizeMessage(m->wParam, m->lParam);
            m->result = 0;
            return true;
        }
        return false;
    }
    return QWidget::event(e);
}

void TFrmBase::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (m_shown)
        return;
    m_shown = true;
    nameControls(this);
    runGuarded([this] { formShow(); });
}

void TFrmBase::closeEvent(QCloseEvent *e)
{
    if (m_hostGate->holdClose()) {
        // The action that made the call still needs the screen.
        e->ignore();
        return;
    }
    e->accept();
    if (m_closed)
        return; // a second close request before deletion must not notify again
    m_closed = true;
    runGuarded([this] { formClosing(); });
    FormClose();
}

void TFrmBase::FormClose()
{
    sendHostMessage(hostContext().HostControl.data(), FormClosedMessage, 0, 0);
    // WA_DeleteOnClose frees the form with deleteLater() once this request ends.
}

} // namespace sqda

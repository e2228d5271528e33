// The host control the library notifies when one of its forms has closed
// (message 0x404). Every entry call names the same control, so whichever form
// closes, the notification reaches the window; the window then works out which
// tab lost its form.
#pragma once

#include <QWidget>

namespace kalmora {

class HostControl : public QWidget
{
    Q_OBJECT
public:
    explicit HostControl(QWidget *parent = nullptr);

    int notifications() const { return m_notifications; }

Q_SIGNALS:
    // Emitted while the form is still closing; act on it later, not at once.
    void formClosed();

protected:
    bool event(QEvent *e) override;

private:
    int m_notifications = 0;
};

} // namespace kalmora

#include "ModalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFontInfo>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

namespace sqda::test {

namespace {
QString plain(QString s)
{
    return s.remove(QLatin1Char('&'));
}
} // namespace

ModalAnswerer::ModalAnswerer()
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start();
}

ModalAnswerer::~ModalAnswerer() = default;

ModalAnswerer &ModalAnswerer::then(Action action)
{
    m_queue.push_back(std::move(action));
    return *this;
}

ModalAnswerer &ModalAnswerer::drive(Action action)
{
    return then([this, action](QWidget *w) {
        m_driven.removeAll(nullptr);
        m_driven << w;
        QTimer::singleShot(0, w, [action, w] { action(w); });
    });
}

ModalAnswerer &ModalAnswerer::press(const QString &button)
{
    return then([this, button](QWidget *w) {
        seen << describe(w);
        if (!pressButton(w, button))
            qWarning("ModalAnswerer: no button %s on %s", qPrintable(button), w->metaObject()->className());
    });
}

ModalAnswerer &ModalAnswerer::typeAndPress(const QString &text, const QString &button)
{
    return then([this, text, button](QWidget *w) {
        if (auto *edit = w->findChild<QLineEdit *>())
            edit->setText(text);
        seen << describe(w);
        pressButton(w, button);
    });
}

ModalAnswerer &ModalAnswerer::key(int k, Qt::KeyboardModifiers mods)
{
    return then([this, k, mods](QWidget *w) {
        seen << describe(w);
        QWidget *target = w->focusWidget() ? w->focusWidget() : w;
        QKeyEvent press(QEvent::KeyPress, k, mods);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, k, mods);
        if (target)
            QApplication::sendEvent(target, &release);
    });
}

SeenDialog ModalAnswerer::describe(QWidget *w)
{
    SeenDialog d;
    d.className = QString::fromLatin1(w->metaObject()->className());
    d.title = w->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(w)) {
        d.text = box->text();
        d.icon = int(box->icon());
    } else if (auto *msg = w->findChild<QLabel *>(QStringLiteral("Message"))) {
        d.text = msg->text();
    } else {
        QStringList texts;
        for (QLabel *l : w->findChildren<QLabel *>())
            texts << l->text();
        d.text = texts.join(QLatin1Char('\n'));
    }
    for (QAbstractButton *b : w->findChildren<QAbstractButton *>())
        d.buttons << plain(b->text());
    d.face = QFontInfo(w->font()).family();
    QStringList faces;
    bool mixed = false;
    for (QWidget *child : w->findChildren<QWidget *>()) {
        auto *label = qobject_cast<QLabel *>(child);
        auto *button = qobject_cast<QAbstractButton *>(child);
        if ((!label || label->text().isEmpty()) && (!button || button->text().isEmpty()))
            continue;
        const QString family = QFontInfo(child->font()).family();
        faces << family;
        mixed = mixed || family != d.face;
    }
    if (mixed)
        d.face = QStringLiteral("mixed: ") + d.face + QLatin1Char(' ') + faces.join(QLatin1Char(','));
    return d;
}

bool ModalAnswerer::pressButton(QWidget *w, const QString &button)
{
    if (auto *box = qobject_cast<QMessageBox *>(w)) {
        static const QHash<QString, QMessageBox::StandardButton> standard = {
            { QStringLiteral("Ok"), QMessageBox::Ok },
            { QStringLiteral("Cancel"), QMessageBox::Cancel },
            { QStringLiteral("Yes"), QMessageBox::Yes },
            { QStringLiteral("No"), QMessageBox::No },
            { QStringLiteral("Abort"), QMessageBox::Abort },
            { QStringLiteral("Retry"), QMessageBox::Retry },
            { QStringLiteral("Ignore"), QMessageBox::Ignore },
            { QStringLiteral("Close"), QMessageBox::Close },
        };
        const auto it = standard.constFind(button);
        if (it != standard.cend()) {
            if (QAbstractButton *b = box->button(*it)) {
                b->click();
                return true;
            }
        }
    }
    for (QAbstractButton *b : w->findChildren<QAbstractButton *>()) {
        if (b->objectName() == button || plain(b->text()) == button) {
            b->click();
            return true;
        }
    }
    return false;
}

void ModalAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || m_driven.contains(modal))
        return;
    if (m_queue.empty()) {
        if (modal == m_lastRejected)
            return;
        unexpected << describe(modal);
        qWarning("ModalAnswerer: unexpected modal %s: %s", modal->metaObject()->className(),
            qPrintable(unexpected.last().text));
        m_lastRejected = modal;
        if (auto *dlg = qobject_cast<QDialog *>(modal))
            dlg->reject();
        else
            modal->close();
        return;
    }
    Action a = std::move(m_queue.front());
    m_queue.pop_front();
    a(modal);
}

} // namespace sqda::test

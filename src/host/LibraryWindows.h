// The one place through which the library opens a window of its own: message
// boxes, progress windows, file dialogs and its modal dialogs.
//
// Two things hold for every such window. A top-level window does not take the
// font of the screen it is opened from, so each gets the screens' Chinese face
// here (without it the Chinese falls back to whatever face fontconfig picks).
// And the host may destroy a screen at any moment, the window's owner with it:
// each window lives on the heap as a child of its owner, goes with it, and the
// caller learns that it went, so that it touches nothing of the owner after.
#pragma once

#include <QElapsedTimer>
#include <QFont>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <optional>

class QDialog;
class QProgressBar;
class QProgressDialog;
class QWidget;

namespace sqda {

// Gives a window the library opens the screens' face (songTi9), children included.
void useLibraryFace(QWidget *window);

// `font` with the screens' face behind its own for the characters that face
// lacks: for the themed dialogs, which take the platform's message-box and
// dialog fonts (a Latin face here), so that their Chinese is drawn in the
// Simplified Chinese face and not in whatever face fontconfig falls back to.
QFont withChineseFace(const QFont &font);

// A modal window made on the heap as a child of its owner, in the library's face.
// It is freed when this goes, unless it went with its owner first.
template<typename Window> class OwnedWindow
{
public:
    explicit OwnedWindow(Window *window)
        : m_window(window)
    {
        useLibraryFace(window);
    }
    ~OwnedWindow() { delete m_window.data(); }
    OwnedWindow(const OwnedWindow &) = delete;
    OwnedWindow &operator=(const OwnedWindow &) = delete;

    Window *get() const { return m_window.data(); }
    Window *operator->() const { return m_window.data(); }

    // Runs it modally: its result, or none when it went with its owner meanwhile
    // (the caller then returns without touching the owner).
    std::optional<int> exec()
    {
        if (!m_window)
            return std::nullopt;
        const int result = m_window->exec();
        if (!m_window)
            return std::nullopt;
        return result;
    }

private:
    QPointer<Window> m_window;
};

// The plain message box: icon, caption, a text shown as typed (never as markup)
// and the buttons. The answer is the button pressed; QMessageBox::NoButton when
// the box went with its owner while it was up.
QMessageBox::StandardButton showMessageBox(QWidget *owner, QMessageBox::Icon icon, const QString &caption,
    const QString &text, QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// A file to write (`open` false) or to read, asked in Qt's own file dialog: the
// platform's dialog would not take the library's face. Empty when the user
// cancelled or the dialog went with its owner. `suggested`: the name (or path)
// it opens with.
QString askFileName(
    QWidget *owner, const QString &caption, const QString &filter, bool open, const QString &suggested = {});

// The progress window of a job that lets the event loop run between its steps:
// over `owner`, shown once the job has taken `delayMs`, with a cancel button.
class ProgressWindow
{
public:
    ProgressWindow(QWidget *owner, const QString &title, const QString &label, int maximum, int delayMs);
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow &) = delete;
    ProgressWindow &operator=(const ProgressWindow &) = delete;

    // Moves the bar (the maximum too, when given); runs the event loop once the
    // window shows. False when the job must stop: the user cancelled, or the
    // window went with its owner (gone()), after which the job touches nothing
    // of the owner.
    bool step(int value, int maximum = -1);
    // The text above the bar.
    void setLabel(const QString &label);
    bool cancelled() const; // by the user
    // The job is over: the window closes.
    void finish();
    bool gone() const { return m_dialog.isNull(); }

private:
    void showWhenDue();

    QPointer<QProgressDialog> m_dialog;
    QPointer<QProgressBar> m_bar;
    QElapsedTimer m_started;
    int m_delayMs;
    bool m_shownOnce = false;
};

} // namespace sqda

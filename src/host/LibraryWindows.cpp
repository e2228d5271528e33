#include "LibraryWindows.h"

#include "HostContext.h"
#include "ScreenFonts.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFontInfo>
#include <QProgressBar>
#include <QProgressDialog>

#include <algorithm>

namespace sqda {

void useLibraryFace(QWidget *window)
{
    if (!window)
        return;
    ensureLibraryInitialized(); // the face's substitution
    window->setFont(songTi9());
}

QFont withChineseFace(const QFont &font)
{
    ensureLibraryInitialized();
    // The face the font resolves to first, not a generic name such as "Sans
    // Serif": beside a list, a generic name would give way to the Chinese face
    // for the Latin letters too, and the dialog units measured on them.
    QStringList families { QFontInfo(font).family() };
    const QString face = songTi9().family();
    if (!families.contains(face))
        families << face;
    QFont chinese(font);
    chinese.setFamilies(families);
    return chinese;
}

QMessageBox::StandardButton showMessageBox(QWidget *owner, QMessageBox::Icon icon, const QString &caption,
    const QString &text, QMessageBox::StandardButtons buttons)
{
    OwnedWindow<QMessageBox> box(new QMessageBox(icon, caption, text, buttons, owner));
    box->setTextFormat(Qt::PlainText);
    const std::optional<int> answer = box.exec();
    return answer ? QMessageBox::StandardButton(*answer) : QMessageBox::NoButton;
}

QString askFileName(QWidget *owner, const QString &caption, const QString &filter, bool open, const QString &suggested)
{
    OwnedWindow<QFileDialog> dialog(new QFileDialog(owner, caption, suggested, filter));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog->setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog->setLabelText(QFileDialog::LookIn, QStringLiteral("查找范围："));
    dialog->setLabelText(QFileDialog::FileName, QStringLiteral("文件名："));
    dialog->setLabelText(QFileDialog::FileType, QStringLiteral("文件类型："));
    dialog->setLabelText(QFileDialog::Accept, open ? QStringLiteral("打开") : QStringLiteral("保存"));
    dialog->setLabelText(QFileDialog::Reject, QStringLiteral("取消"));
    // A name typed without its ending gets the filter's.
    if (!open && filter.contains(QLatin1String("*.")))
        dialog->setDefaultSuffix(filter.section(QLatin1String("*."), 1).section(QLatin1Char(')'), 0, 0));
    const std::optional<int> answer = dialog.exec();
    if (!answer || *answer != QDialog::Accepted)
        return {};
    return dialog->selectedFiles().value(0);
}

ProgressWindow::ProgressWindow(QWidget *owner, const QString &title, const QString &label, int maximum, int delayMs)
    : m_dialog(new QProgressDialog(label, QStringLiteral("取消"), 0, maximum, owner))
    , m_delayMs(std::max(0, delayMs))
{
    useLibraryFace(m_dialog);
    m_dialog->setWindowTitle(title);
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setMinimumDuration(m_delayMs);
    m_bar = m_dialog->findChild<QProgressBar *>();
    m_started.start();
}

ProgressWindow::~ProgressWindow()
{
    delete m_dialog.data();
}

// QProgressDialog::setValue runs the event loop itself and goes on reading the
// dialog afterwards, so a host that destroys the owner (the dialog with it) in
// that loop would leave it reading freed memory. The bar is moved here and the
// loop run here, the dialog looked at again only if it is still there.
bool ProgressWindow::step(int value, int maximum)
{
    if (!m_dialog || !m_bar)
        return false;
    if (maximum >= 0 && m_dialog->maximum() != maximum)
        m_dialog->setMaximum(maximum);
    m_bar->setValue(value);
    showWhenDue();
    if (m_dialog->isVisible()) {
        const QPointer<QProgressDialog> dialog = m_dialog;
        QCoreApplication::processEvents();
        if (!dialog)
            return false;
    }
    if (value >= m_dialog->maximum() && m_dialog->autoReset() && !m_dialog->wasCanceled()) {
        m_dialog->reset();
        m_shownOnce = false; // a job that goes on after its maximum shows again, as QProgressDialog does
        m_started.start();
        return true;
    }
    return !m_dialog->wasCanceled();
}

// The window shows once the job has run for the delay, as QProgressDialog's own
// timer would show it when the event loop runs.
void ProgressWindow::showWhenDue()
{
    if (m_dialog->isVisible())
        m_shownOnce = true;
    if (m_shownOnce || m_dialog->wasCanceled() || m_started.elapsed() < m_delayMs)
        return;
    if (m_bar->value() <= m_dialog->minimum() && m_bar->value() >= 0 && m_delayMs > 0)
        return; // nothing done yet
    m_dialog->resize(m_dialog->size().expandedTo(m_dialog->sizeHint()));
    m_dialog->show();
    m_shownOnce = true;
}

void ProgressWindow::setLabel(const QString &label)
{
    if (m_dialog)
        m_dialog->setLabelText(label);
}

void ProgressWindow::finish()
{
    if (m_dialog)
        m_dialog->reset();
}

bool ProgressWindow::cancelled() const
{
    return m_dialog && m_dialog->wasCanceled();
}

} // namespace sqda

#include "LibraryWindows.h"

#include "HostContext.h"
#include "ScreenFonts.h"

#include <QFileDialog>
#include <QFontInfo>
#include <QProgressDialog>

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
{
    useLibraryFace(m_dialog);
    m_dialog->setWindowTitle(title);
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setMinimumDuration(delayMs);
}

ProgressWindow::~ProgressWindow()
{
    delete m_dialog.data();
}

bool ProgressWindow::step(int value, int maximum)
{
    if (!m_dialog)
        return false;
    if (maximum >= 0 && m_dialog->maximum() != maximum)
        m_dialog->setMaximum(maximum);
    m_dialog->setValue(value); // runs the event loop once the window shows
    return m_dialog && !m_dialog->wasCanceled();
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

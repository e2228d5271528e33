#include "FlatDialog.h"

#include "DialogColorSettings.h"
#include "DialogState.h"
#include "DialogUnits.h"
#include "FlatButton.h"
#include "FlatComboBox.h"
#include "FlatDialogForm.h"
#include "FlatStyle.h"
#include "MessageLayout.h"
#include "TMessageForm.h"

#include "host/HostContext.h"
#include "host/LibraryWindows.h"
#include "host/ScreenFonts.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>

#include <algorithm>
#include <array>

namespace sqda {

namespace {

struct ButtonInfo
{
    const char *name;
    const char16_t *caption;
    int result;
};

const std::array<ButtonInfo, DialogButtonCount> Buttons = { {
    { "Yes", u"是(&Y)", ResultYes },
    { "No", u"不(&N)", ResultNo },
    { "OK", u"确认(&O)", ResultOK },
    { "Cancel", u"放弃(&C)", ResultCancel },
    { "Abort", u"&Abort", ResultAbort },
    { "Retry", u"&Retry", ResultRetry },
    { "Ignore", u"&Ignore", ResultIgnore },
    { "All", u"&All", ResultAll },
    { "NoToAll", u"N&o to All", ResultNoToAll },
    { "YesToAll", u"Yes to &All", ResultYesToAll },
    { "Help", u"&Help", ResultNone },
} };

QString captionOf(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Warning:
        return QStringLiteral("警告");
    case MessageKind::Error:
        return QStringLiteral("错误");
    case MessageKind::Information:
        return QStringLiteral("信息");
    case MessageKind::Confirmation:
        return QStringLiteral("询问");
    case MessageKind::Custom:
        break;
    }
    return QGuiApplication::applicationDisplayName();
}

// The platform's standard icon of the kind; Custom has none.
bool iconOf(MessageKind kind, QStyle::StandardPixmap &icon)
{
    switch (kind) {
    case MessageKind::Warning:
        icon = QStyle::SP_MessageBoxWarning;
        return true;
    case MessageKind::Error:
        icon = QStyle::SP_MessageBoxCritical;
        return true;
    case MessageKind::Information:
        icon = QStyle::SP_MessageBoxInformation;
        return true;
    case MessageKind::Confirmation:
        icon = QStyle::SP_MessageBoxQuestion;
        return true;
    case MessageKind::Custom:
        break;
    }
    return false;
}

// The input and choice dialogs' frame: caption, 180 × 63 units, centred.
DialogUnits prepareEntryForm(FlatDialogForm &form, const QString &caption)
{
    // The platform's dialog font, its Chinese (the buttons' captions) in the
    // screens' face.
    form.setFont(withChineseFace(form.font()));
    form.setBackColor(dialogState().DialogBackColor);
    const DialogUnits du = MeasureDialogUnits(form.font());
    form.setWindowTitle(caption);
    form.setFixedClientSize(QSize(du.h(180), du.v(63)));
    form.centreOnScreen();
    return du;
}

QLabel *addPrompt(FlatDialogForm &form, const DialogUnits &du, const QString &prompt)
{
    auto *label = new QLabel(prompt, &form);
    label->setTextFormat(Qt::PlainText);
    label->setFont(songTi9());
    label->move(du.h(8), du.v(8));
    // A prompt wider than the dialog is cut at its right edge; the dialog does not grow.
    label->adjustSize();
    return label;
}

void addOkCancel(FlatDialogForm &form, const DialogUnits &du, bool named, const QFont *font)
{
    const QColor line = colorFromBgr(dialogState().DialogLineColor);
    FlatButton *ok
        = form.addFlatButton(QStringLiteral("确认(&O)"), ResultOK, QRect(du.h(38), du.v(41), du.h(50), du.v(14)), line);
    FlatButton *cancel = form.addFlatButton(
        QStringLiteral("放弃(&C)"), ResultCancel, QRect(du.h(92), du.v(41), du.h(50), du.v(14)), line);
    if (named) {
        ok->setObjectName(QStringLiteral("btnOK"));
        cancel->setObjectName(QStringLiteral("btnCancel"));
    }
    if (font) {
        ok->setFont(*font);
        cancel->setFont(*font);
    }
}

} // namespace

std::unique_ptr<QDialog> CreateFlatMessageForm(const QString &message, MessageKind kind, DialogButtons buttons)
{
    ensureLibraryInitialized();
    auto form = std::make_unique<TMessageForm>(ownerWindow());
    DialogState &state = dialogState();
    form->setBackColor(state.DialogBackColor);
    form->setLayoutDirection(QGuiApplication::layoutDirection());

    const QFontMetrics fm(form->font());
    MessageLayoutInput in;
    in.units = MeasureDialogUnits(form->font());
    for (int bit = 0; bit < DialogButtonCount; ++bit) {
        if (!(buttons & (1u << bit)))
            continue;
        int &width = state.ButtonCaptionWidths[bit];
        if (width == 0) {
            const QString caption = QString::fromUtf16(Buttons[bit].caption);
            width = fm.boundingRect(QRect(), Qt::TextSingleLine | Qt::TextShowMnemonic, caption).width() + 8;
        }
        in.widestCaption = std::max(in.widestCaption, width);
        ++in.buttonCount;
    }
    in.text = measureMessageText(fm, message, form->screenRect().width());
    QStyle::StandardPixmap icon {};
    in.hasIcon = iconOf(kind, icon);
    in.rightToLeft = form->layoutDirection() == Qt::RightToLeft;
    const MessageLayout layout = layoutMessage(in);

    form->setFixedClientSize(layout.client);
    form->centreOnScreen();
    form->setWindowTitle(captionOf(kind));

    if (in.hasIcon) {
        auto *image = new QLabel(form.get());
        image->setObjectName(QStringLiteral("Image"));
        image->setGeometry(layout.icon);
        image->setPixmap(form->style()->standardIcon(icon, nullptr, form.get()).pixmap(layout.icon.size()));
    }

    auto *label = new QLabel(form.get());
    label->setObjectName(QStringLiteral("Message"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setText(message);
    label->setGeometry(layout.message);

    const QColor line = colorFromBgr(state.DialogLineColor);
    int index = 0;
    for (int bit = 0; bit < DialogButtonCount; ++bit) {
        if (!(buttons & (1u << bit)))
            continue;
        const ButtonInfo &info = Buttons[bit];
        FlatButton *button
            = form->addFlatButton(QString::fromUtf16(info.caption), info.result, layout.buttons.at(index++), line);
        button->setObjectName(QString::fromLatin1(info.name));
        // The form presses buttons by their letters itself, first in bit order
        // winning, so no letter is left ambiguous between two buttons.
        button->setShortcut(QKeySequence());
    }
    return form;
}

int ShowFlatMessage(const QString &message, MessageKind kind, DialogButtons buttons, int helpContext)
{
    std::unique_ptr<QDialog> form = CreateFlatMessageForm(message, kind, buttons);
    static_cast<TMessageForm *>(form.get())->HelpContext = helpContext;
    return FlatDialogForm::execOwned(form);
}

bool QueryFlatText(const QString &caption, const QString &prompt, QString &value, QChar mask)
{
    ensureLibraryInitialized();
    if (colorSwitchOn(QStringLiteral("colorstyle")))
        loadDialogColors();

    auto form = std::make_unique<FlatDialogForm>(ownerWindow());
    const DialogUnits du = prepareEntryForm(*form, caption);
    QLabel *label = addPrompt(*form, du, prompt);

    auto *edit = new QLineEdit(form.get());
    edit->setFont(songTi9());
    makeFlatEdit(edit, colorFromBgr(dialogState().DialogLineColor), mask);
    // At most 255 characters are typed; a longer initial value is shown whole
    // rather than cut, so OK never loses part of it.
    edit->setMaxLength(std::max<int>(255, int(value.size())));
    edit->setText(value);
    edit->selectAll();
    edit->setGeometry(label->x(), du.v(19), du.h(164), edit->sizeHint().height());
    form->handleKeysOf(edit);

    addOkCancel(*form, du, true, nullptr);

    form->onShow = [edit] {
        edit->setFocus(Qt::OtherFocusReason);
        edit->deselect();
        edit->setCursorPosition(int(edit->text().size()));
    };

    std::unique_ptr<QDialog> dialog = std::move(form);
    if (FlatDialogForm::execOwned(dialog) != ResultOK)
        return false;
    value = edit->text();
    return true;
}

QString AskFlatText(const QString &caption, const QString &prompt, const QString &defaultText)
{
    QString result = defaultText;
    QueryFlatText(caption, prompt, result);
    return result;
}

void ChooseFlatItem(
    const QString &caption, const QString &prompt, const QStringList &items, int listStyle, QString &value)
{
    ensureLibraryInitialized();
    auto form = std::make_unique<FlatDialogForm>(ownerWindow());
    if (colorSwitchOn(QStringLiteral("style")))
        loadDialogColors();

    const DialogUnits du = prepareEntryForm(*form, caption);
    QLabel *label = addPrompt(*form, du, prompt);

    const QFont font = songTi9();
    auto *box = new FlatComboBox(form.get());
    box->setFont(font);
    box->setEditable(listStyle == 1);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    box->setCurrentIndex(items.isEmpty() ? -1 : 0);
    box->setLineColor(colorFromBgr(dialogState().DialogLineColor));
    box->setGeometry(label->x(), du.v(19), du.h(164), box->sizeHint().height());
    form->handleKeysOf(box);

    addOkCancel(*form, du, false, &font);
    form->onShow = [box] { box->setFocus(Qt::OtherFocusReason); };

    std::unique_ptr<QDialog> dialog = std::move(form);
    if (FlatDialogForm::execOwned(dialog) != ResultOK)
        return;
    // The editable list hands back what was typed; a pick-only list without
    // items has nothing to hand back and leaves the value alone.
    if (box->isEditable())
        value = box->currentText();
    else if (box->currentIndex() >= 0)
        value = box->itemText(box->currentIndex());
}

} // namespace sqda

// The themed dialogs as the user meets them: real dialogs run modally and
// answered with real key and mouse events, their layout checked against the
// dialog-unit rules, their colours against the settings file.
#include "ModalAnswerer.h"

#include "host/AccessibleNames.h"
#include "host/HostContext.h"
#include "host/LibraryWindows.h"
#include "host/ScreenFonts.h"
#include "ui/DialogColorSettings.h"
#include "ui/DialogState.h"
#include "ui/FlatButton.h"
#include "ui/FlatDialog.h"
#include "ui/MessageLayout.h"
#include "ui/ToolIcons.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>
#include <QTimer>

#include <cmath>

using namespace sqda;
using namespace sqda::test;
using namespace Qt::StringLiterals;

namespace {

// The family of the face that draws `text` in `font`, after fallback.
QString drawingFamily(const QFont &font, const QString &text)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    return runs.isEmpty() ? QString() : runs.first().rawFont().familyName();
}

constexpr DialogButtons bits(std::initializer_list<DialogButton> list)
{
    DialogButtons set = 0;
    for (DialogButton b : list)
        set |= buttonBit(b);
    return set;
}

constexpr DialogButtons AllButtons = 0x07FF;

// Keys reach a dialog once it is the active window, as when a user types; Alt
// letters in particular are shortcuts of the active window.
void waitActive(QWidget *dialog)
{
    QVERIFY(QTest::qWaitForWindowActive(dialog));
}

// Sends a real key press to whatever has the dialog's focus, as the keyboard would.
ModalAnswerer::Action typeKey(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    return [key, mods](QWidget *dialog) {
        waitActive(dialog);
        QWidget *target = dialog->focusWidget() ? dialog->focusWidget() : dialog;
        QTest::keyClick(target, key, mods);
    };
}

// Dialog-unit lengths computed here from the font, independently of the library.
struct Units
{
    explicit Units(const QFont &font)
    {
        const QFontMetrics fm(font);
        baseWidth = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52;
        baseHeight = fm.height();
    }
    int h(int n) const { return int(std::lround(n * baseWidth / 4.0)); }
    int v(int n) const { return int(std::lround(n * baseHeight / 8.0)); }
    int baseWidth;
    int baseHeight;
};

QRect screenRect()
{
    return QGuiApplication::primaryScreen()->geometry();
}

QColor lineColorOf(QWidget *w)
{
    if (auto *b = qobject_cast<FlatButton *>(w))
        return b->lineColor();
    return w->property("lineColor").value<QColor>();
}

} // namespace

class TestFlatDialog : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    void writeSettings(const QList<QPair<QString, QString>> &values)
    {
        QFile f(m_home.filePath(QStringLiteral("Kalmorapos.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QByteArray text = "[SqSearchGrid]\r\nwidth0=80\r\n[ColorOption]\r\n";
        for (const auto &[key, value] : values)
            text += key.toUtf8() + '=' + value.toUtf8() + "\r\n";
        f.write(text);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("KALMORA_HOME", m_home.path().toLocal8Bit());
    }

    void init()
    {
        resetDialogStateForTests();
        QFile::remove(m_home.filePath(QStringLiteral("Kalmorapos.ini")));
        setOwnerWindow(nullptr);
    }

    // What a screen reader says for a caption.
    void spokenCaptions_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("spread two characters") << u"增  加"_s << u"增加"_s;
        QTest::newRow("spread three") << u"预 览 表"_s << u"预览表"_s;
        QTest::newRow("accelerator") << u"确定(&O)"_s << u"确定(O)"_s;
        QTest::newRow("literal ampersand") << u"A && B"_s << u"A & B"_s;
        QTest::newRow("closing colon") << u"商圈编码:"_s << u"商圈编码"_s;
        QTest::newRow("closing full-width colon") << u"商圈分级情况："_s << u"商圈分级情况"_s;
        QTest::newRow("latin words keep their space") << u"Page Setup"_s << u"Page Setup"_s;
        QTest::newRow("latin beside chinese") << u"查找 (Ctrl+F)"_s << u"查找 (Ctrl+F)"_s;
        QTest::newRow("blank") << u"   "_s << QString();
    }

    void spokenCaptions()
    {
        QFETCH(QString, caption);
        QFETCH(QString, spoken);
        QCOMPARE(spokenCaption(caption), spoken);
    }

    // A dialog laid out by position: each edit takes the caption on its left, a
    // list the caption above it; a name given by the dialog stays.
    void controlsNamedByTheirCaptions()
    {
        QDialog dialog;
        auto *codeLabel = new QLabel(u"商圈编码:"_s, &dialog);
        codeLabel->setGeometry(10, 10, 60, 20);
        auto *code = new QLineEdit(&dialog);
        code->setGeometry(80, 8, 100, 24);
        auto *farLabel = new QLabel(u"备注:"_s, &dialog);
        farLabel->setGeometry(10, 40, 60, 20);
        auto *listCaption = new QLabel(u"可选字段"_s, &dialog);
        listCaption->setGeometry(200, 10, 100, 20);
        auto *list = new QComboBox(&dialog);
        list->setGeometry(200, 32, 100, 24);
        auto *named = new QLineEdit(&dialog);
        named->setGeometry(80, 38, 100, 24);
        named->setAccessibleName(u"已命名"_s);
        auto *button = new FlatButton(u"确  定"_s, &dialog);
        button->setGeometry(10, 80, 64, 23);
        nameControls(&dialog);
        QCOMPARE(code->accessibleName(), u"商圈编码"_s);
        QCOMPARE(list->accessibleName(), u"可选字段"_s);
        QCOMPARE(named->accessibleName(), u"已命名"_s);
        QCOMPARE(button->accessibleName(), u"确定"_s);
    }

    // Tool images are painted for the density they are shown at: twice the
    // pixels at a device pixel ratio of 2, not the 16-pixel image scaled up.
    void toolImagesPaintedAtTheScreensDensity()
    {
        const QList<QIcon> icons = paintToolIcons(1, [](QPainter &p, int) { paintExitIcon(p); });
        const QPixmap one = icons[0].pixmap(QSize(ToolIconSize, ToolIconSize), 1.0);
        const QPixmap two = icons[0].pixmap(QSize(ToolIconSize, ToolIconSize), 2.0);
        QCOMPARE(one.size(), QSize(16, 16));
        QCOMPARE(two.size(), QSize(32, 32));
        QCOMPARE(two.devicePixelRatio(), 2.0);
        const QImage upscaled = one.toImage().scaled(32, 32).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QVERIFY(two.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied) != upscaled);
        const QPixmap disabled = icons[0].pixmap(QSize(ToolIconSize, ToolIconSize), 2.0, QIcon::Disabled);
        QCOMPARE(disabled.size(), QSize(32, 32));
        QVERIFY(disabled.toImage() != two.toImage());
    }

    // Pictures painted by a plain function are painted once and kept: a second
    // set from the same function draws the kept pixmap. A painter with state of
    // its own is painted each time, and the disabled look follows the
    // application's palette.
    void toolImagesKeptOncePainted()
    {
        const QSize size(ToolIconSize, ToolIconSize);
        const auto plain = [](QPainter &p, int) { paintExitIcon(p); };
        const QPixmap one = paintToolIcons(1, +plain).first().pixmap(size, 1.0);
        const QPixmap kept = paintToolIcons(1, +plain).first().pixmap(size, 1.0);
        QCOMPARE(kept.cacheKey(), one.cacheKey());
        // The same picture as painting it afresh.
        int paints = 0;
        const auto counted = [&paints](QPainter &p, int) {
            ++paints;
            paintExitIcon(p);
        };
        const QList<QIcon> fresh = paintToolIcons(1, counted);
        QCOMPARE(fresh.first().pixmap(size, 1.0).toImage(), one.toImage());
        QCOMPARE(fresh.first().pixmap(size, 1.0).toImage(), one.toImage());
        QCOMPARE(paints, 2);

        const QPalette original = QGuiApplication::palette();
        const QImage disabled = paintToolIcons(1, +plain).first().pixmap(size, 1.0, QIcon::Disabled).toImage();
        QPalette dark = original;
        dark.setColor(QPalette::Disabled, QPalette::Window, QColor(20, 20, 90));
        QGuiApplication::setPalette(dark);
        const QImage darkDisabled = paintToolIcons(1, +plain).first().pixmap(size, 1.0, QIcon::Disabled).toImage();
        QGuiApplication::setPalette(original);
        QVERIFY(darkDisabled != disabled);
        QCOMPARE(paintToolIcons(1, +plain).first().pixmap(size, 1.0, QIcon::Disabled).toImage(), disabled);

        // A picture with text is painted again in a new application font, and
        // the one kept for the old font is found again once it is back.
        const auto lettered = [](QPainter &p, int) { paintAssistantIcon(p); };
        const QPixmap before = paintToolIcons(1, +lettered).first().pixmap(size, 1.0);
        const QFont originalFont = QGuiApplication::font();
        QFont other = originalFont;
        other.setFamily(
            originalFont.family() == u"Noto Serif CJK SC"_s ? u"Noto Sans CJK SC"_s : u"Noto Serif CJK SC"_s);
        QGuiApplication::setFont(other);
        const QPixmap inOther = paintToolIcons(1, +lettered).first().pixmap(size, 1.0);
        QGuiApplication::setFont(originalFont);
        QVERIFY(inOther.cacheKey() != before.cacheKey());
        QCOMPARE(paintToolIcons(1, +lettered).first().pixmap(size, 1.0).cacheKey(), before.cacheKey());
    }

    // Enter gives 1 and Esc gives 2 whatever the buttons, none included: a
    // Yes/No confirmation answered with Enter is neither Yes nor No.
    void enterAndEscapeOnMessages_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        const QList<QPair<const char *, DialogButtons>> sets = {
            { "ok", bits({ DialogButton::OK }) },
            { "yes-no", bits({ DialogButton::Yes, DialogButton::No }) },
            { "none", 0 },
            { "all", AllButtons },
            { "abort-retry-ignore", bits({ DialogButton::Abort, DialogButton::Retry, DialogButton::Ignore }) },
        };
        for (const auto &[name, set] : sets) {
            QTest::addRow("%s return", name) << int(set) << int(Qt::Key_Return) << 1;
            QTest::addRow("%s keypad enter", name) << int(set) << int(Qt::Key_Enter) << 1;
            QTest::addRow("%s escape", name) << int(set) << int(Qt::Key_Escape) << 2;
        }
    }

    void enterAndEscapeOnMessages()
    {
        QFETCH(int, buttons);
        QFETCH(int, key);
        QFETCH(int, result);
        ModalAnswerer answerer;
        answerer.then(typeKey(Qt::Key(key)));
        QCOMPARE(ShowFlatMessage(QStringLiteral("删除这个条件吗？"), MessageKind::Confirmation, DialogButtons(buttons)),
            result);
        QVERIFY(answerer.idle());
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void buttonsGiveTheirResults_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("result");
        QTest::newRow("yes") << int(DialogButton::Yes) << "Yes" << QStringLiteral("是(&Y)") << 6;
        QTest::newRow("no") << int(DialogButton::No) << "No" << QStringLiteral("不(&N)") << 7;
        QTest::newRow("ok") << int(DialogButton::OK) << "OK" << QStringLiteral("确认(&O)") << 1;
        QTest::newRow("cancel") << int(DialogButton::Cancel) << "Cancel" << QStringLiteral("放弃(&C)") << 2;
        QTest::newRow("abort") << int(DialogButton::Abort) << "Abort" << QStringLiteral("&Abort") << 3;
        QTest::newRow("retry") << int(DialogButton::Retry) << "Retry" << QStringLiteral("&Retry") << 4;
        QTest::newRow("ignore") << int(DialogButton::Ignore) << "Ignore" << QStringLiteral("&Ignore") << 5;
        QTest::newRow("all") << int(DialogButton::All) << "All" << QStringLiteral("&All") << 8;
        QTest::newRow("no to all") << int(DialogButton::NoToAll) << "NoToAll" << QStringLiteral("N&o to All") << 9;
        QTest::newRow("yes to all") << int(DialogButton::YesToAll) << "YesToAll" << QStringLiteral("Yes to &All") << 10;
    }

    // Clicked with the mouse, each button closes the dialog with its own result;
    // all buttons sit left to right in bit order.
    void buttonsGiveTheirResults()
    {
        QFETCH(int, button);
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(int, result);
        ModalAnswerer answerer;
        QStringList order;
        answerer.then([&](QWidget *dialog) {
            QList<FlatButton *> buttons = dialog->findChildren<FlatButton *>();
            std::sort(buttons.begin(), buttons.end(), [](auto *a, auto *b) { return a->x() < b->x(); });
            for (FlatButton *b : buttons)
                order << b->objectName();
            auto *target = dialog->findChild<FlatButton *>(name);
            QVERIFY(target);
            QCOMPARE(target->text(), caption);
            QCOMPARE(target->cursor().shape(), Qt::PointingHandCursor);
            QTest::mouseClick(target, Qt::LeftButton);
        });
        QCOMPARE(ShowFlatMessage(QStringLiteral("x"), MessageKind::Custom,
                     DialogButtons((AllButtons & ~buttonBit(DialogButton::Help)) | buttonBit(DialogButton(button)))),
            result);
        QCOMPARE(order,
            QStringList({ "Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore", "All", "NoToAll", "YesToAll" }));
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // Help has result 0: pressing it leaves the dialog open, which then still answers.
    void helpStaysOpen()
    {
        ModalAnswerer answerer;
        QPointer<QWidget> first;
        bool stillOpen = false;
        answerer
            .then([&](QWidget *dialog) {
                first = dialog;
                QTest::mouseClick(dialog->findChild<FlatButton *>(QStringLiteral("Help")), Qt::LeftButton);
                stillOpen = dialog->isVisible();
            })
            .then([&](QWidget *dialog) {
                waitActive(dialog);
                QCOMPARE(dialog, first.data());
                QTest::keyClick(dialog, Qt::Key_H); // its letter presses it too
                QVERIFY(dialog->isVisible());
            })
            .press(QStringLiteral("OK"));
        QCOMPARE(ShowFlatMessage(
                     QStringLiteral("帮助"), MessageKind::Information, bits({ DialogButton::OK, DialogButton::Help })),
            1);
        QVERIFY(stillOpen);
        QVERIFY(answerer.idle());
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void closeBoxGivesCancel()
    {
        ModalAnswerer answerer;
        answerer.then([](QWidget *dialog) { dialog->close(); });
        QCOMPARE(
            ShowFlatMessage(QStringLiteral("x"), MessageKind::Warning, bits({ DialogButton::Yes, DialogButton::No })),
            2);
        QString value = QStringLiteral("keep");
        answerer.then([](QWidget *dialog) { dialog->close(); });
        QVERIFY(!QueryFlatText(QStringLiteral("输入"), QStringLiteral("p"), value));
        QCOMPARE(value, QStringLiteral("keep"));
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // In the message dialog a button's letter presses it with or without Alt;
    // the first button in bit order wins a letter that two captions share.
    void accessLettersOnMessages_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("mods");
        QTest::addColumn<int>("result"); // -1: the key does nothing, Esc then gives 2
        const int yesNo = bits({ DialogButton::Yes, DialogButton::No });
        QTest::newRow("Y") << yesNo << int(Qt::Key_Y) << 0 << 6;
        QTest::newRow("N") << yesNo << int(Qt::Key_N) << 0 << 7;
        QTest::newRow("Alt+N") << yesNo << int(Qt::Key_N) << int(Qt::AltModifier) << 7;
        QTest::newRow("Shift+Y") << yesNo << int(Qt::Key_Y) << int(Qt::ShiftModifier) << 6;
        QTest::newRow("Ctrl+Y is no letter") << yesNo << int(Qt::Key_Y) << int(Qt::ControlModifier) << -1;
        QTest::newRow("letter of no button") << yesNo << int(Qt::Key_X) << 0 << -1;
        QTest::newRow("O: OK before No to All")
            << int(bits({ DialogButton::OK, DialogButton::NoToAll })) << int(Qt::Key_O) << 0 << 1;
        QTest::newRow("Alt+O: OK before No to All")
            << int(bits({ DialogButton::OK, DialogButton::NoToAll })) << int(Qt::Key_O) << int(Qt::AltModifier) << 1;
        QTest::newRow("A: Abort first") << int(AllButtons) << int(Qt::Key_A) << 0 << 3;
        QTest::newRow("A: All before Yes to All")
            << int(bits({ DialogButton::All, DialogButton::YesToAll })) << int(Qt::Key_A) << 0 << 8;
        QTest::newRow("C: Cancel") << int(AllButtons) << int(Qt::Key_C) << int(Qt::AltModifier) << 2;
        QTest::newRow("R: Retry") << int(AllButtons) << int(Qt::Key_R) << 0 << 4;
    }

    void accessLettersOnMessages()
    {
        QFETCH(int, buttons);
        QFETCH(int, key);
        QFETCH(int, mods);
        QFETCH(int, result);
        ModalAnswerer answerer;
        answerer.then(typeKey(Qt::Key(key), Qt::KeyboardModifiers(mods)));
        if (result < 0)
            answerer.then(typeKey(Qt::Key_Escape));
        QCOMPARE(ShowFlatMessage(QStringLiteral("x"), MessageKind::Confirmation, DialogButtons(buttons)),
            result < 0 ? 2 : result);
        QVERIFY(answerer.idle());
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // The message layout's arithmetic, worked by hand for fixed dialog units and
    // text sizes. Units {6, 13}: 8 h = 12, 8 v = 13, 10 h = 15, 10 v = 16,
    // 50 h = 75, 14 v = 23, 4 h = 6. Units {7, 12}: 8 h = 14, 10 h = 18 (17.5),
    // 50 h = 88 (87.5), 4 h = 7, 8 v = 12, 10 v = 15, 14 v = 21.
    void messageArithmetic_data()
    {
        QTest::addColumn<int>("baseWidth");
        QTest::addColumn<int>("baseHeight");
        QTest::addColumn<QSize>("text");
        QTest::addColumn<bool>("icon");
        QTest::addColumn<int>("buttonCount");
        QTest::addColumn<int>("widestCaption");
        QTest::addColumn<QSize>("client");
        QTest::addColumn<QRect>("message");
        QTest::addColumn<QList<QRect>>("buttons");
        // Icon and text 247 × 40; client (247 + 24) × (40 + 23 + 16 + 26); the
        // button centred at (271 − 75) / 2 = 98, below the text at 40 + 13 + 16.
        QTest::newRow("icon, one button") << 6 << 13 << QSize(200, 40) << true << 1 << 0 << QSize(271, 105)
                                          << QRect(59, 13, 200, 40) << QList<QRect> { QRect(98, 69, 75, 23) };
        // A caption 90 wide widens every button; the group (3 × 90 + 2 × 6 = 282)
        // is wider than the text and sets the client width.
        QTest::newRow("no icon, wide captions")
            << 6 << 13 << QSize(30, 13) << false << 3 << 90 << QSize(306, 78) << QRect(12, 13, 30, 13)
            << QList<QRect> { QRect(12, 42, 90, 23), QRect(108, 42, 90, 23), QRect(204, 42, 90, 23) };
        // A short text is as tall as the 32-pixel icon.
        QTest::newRow("icon, no buttons")
            << 6 << 13 << QSize(10, 12) << true << 0 << 0 << QSize(81, 97) << QRect(59, 13, 10, 12) << QList<QRect> {};
        // Halves round away from zero: 17.5 → 18, 87.5 → 88. Group 2 × 88 + 7 = 183.
        QTest::newRow("half units round up")
            << 7 << 12 << QSize(100, 20) << true << 2 << 0 << QSize(211, 92) << QRect(64, 12, 100, 20)
            << QList<QRect> { QRect(14, 59, 88, 21), QRect(109, 59, 88, 21) };
    }

    void messageArithmetic()
    {
        QFETCH(int, baseWidth);
        QFETCH(int, baseHeight);
        QFETCH(QSize, text);
        QFETCH(bool, icon);
        QFETCH(int, buttonCount);
        QFETCH(int, widestCaption);
        QFETCH(QSize, client);
        QFETCH(QRect, message);
        QFETCH(QList<QRect>, buttons);
        MessageLayoutInput in;
        in.units = DialogUnits { baseWidth, baseHeight };
        in.text = text;
        in.hasIcon = icon;
        in.buttonCount = buttonCount;
        in.widestCaption = widestCaption;
        const MessageLayout l = layoutMessage(in);
        QCOMPARE(l.client, client);
        QCOMPARE(l.message, message);
        QCOMPARE(l.icon, icon ? QRect(l.horzMargin, l.vertMargin, 32, 32) : QRect());
        QCOMPARE(l.buttons, buttons);
    }

    // The message dialog itself, in a fixed message-box font (DejaVu Sans,
    // 12 pixels: dialog units {7, 14}, so 8 h = 14, 8 v = 14, 10 h = 18 (17.5),
    // 10 v = 18 (17.5), 50 h = 88 (87.5), 14 v = 25 (24.5), 4 h = 7): every
    // piece where the arithmetic puts it, the window centred on the screen.
    void messageLayout_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<QSize>("client");
        QTest::addColumn<QRect>("message");
        QTest::addColumn<QRect>("firstButton");
        QTest::addColumn<QRect>("lastButton");
        const QString longText = QStringLiteral("没有找到符合条件的商圈，请检查输入的编码或名称是否正确。").repeated(4);
        // Text 12 × 18: icon and text (12 + 32 + 18) × 32; the 88-wide button is
        // wider, so the client is 88 + 28 wide and 32 + 25 + 18 + 28 high.
        QTest::newRow("narrow OK only") << QStringLiteral("好") << int(MessageKind::Information)
                                        << int(bits({ DialogButton::OK })) << QSize(116, 103) << QRect(64, 14, 12, 18)
                                        << QRect(14, 64, 88, 25) << QRect(14, 64, 88, 25);
        // Wrapped within half the 800-pixel screen: 396 × 72.
        QTest::newRow("long wrapping text")
            << longText << int(MessageKind::Warning) << int(bits({ DialogButton::OK })) << QSize(474, 143)
            << QRect(64, 14, 396, 72) << QRect(193, 104, 88, 25) << QRect(193, 104, 88, 25);
        // No icon: the text starts at the margin; three buttons 3 × 88 + 2 × 7 wide.
        QTest::newRow("custom without icon")
            << QStringLiteral("Custom message") << int(MessageKind::Custom)
            << int(bits({ DialogButton::Yes, DialogButton::No, DialogButton::Cancel })) << QSize(306, 85)
            << QRect(14, 14, 104, 14) << QRect(14, 46, 88, 25) << QRect(204, 46, 88, 25);
        QTest::newRow("no buttons") << QStringLiteral("出错了") << int(MessageKind::Error) << 0 << QSize(114, 103)
                                    << QRect(64, 14, 36, 18) << QRect() << QRect();
        // Eleven buttons, 11 × 88 + 10 × 7 = 1038 wide: wider than the screen.
        QTest::newRow("many buttons") << QStringLiteral("?") << int(MessageKind::Confirmation) << int(AllButtons)
                                      << QSize(1066, 103) << QRect(64, 14, 7, 14) << QRect(14, 64, 88, 25)
                                      << QRect(964, 64, 88, 25);
    }

    void messageLayout()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(int, buttons);
        QFETCH(QSize, client);
        QFETCH(QRect, message);
        QFETCH(QRect, firstButton);
        QFETCH(QRect, lastButton);

        const QFont before = QApplication::font("QMessageBox");
        QFont fixed(QStringLiteral("DejaVu Sans"));
        fixed.setPixelSize(12);
        QApplication::setFont(fixed, "QMessageBox");
        const auto restore = qScopeGuard([&] { QApplication::setFont(before, "QMessageBox"); });

        std::unique_ptr<QDialog> form = CreateFlatMessageForm(text, MessageKind(kind), DialogButtons(buttons));
        QCOMPARE(QFontInfo(form->font()).family(), QStringLiteral("DejaVu Sans"));
        // Its Chinese is drawn in the screens' face behind the platform's.
        QCOMPARE(drawingFamily(form->font(), QStringLiteral("商圈确认")), QStringLiteral("Noto Serif CJK SC"));
        const Units u(form->font());
        QCOMPARE(u.h(4), 7); // the units the rows were worked out for
        QCOMPARE(u.v(8), 14);

        auto *label = form->findChild<QLabel *>(QStringLiteral("Message"));
        QVERIFY(label);
        QList<FlatButton *> row = form->findChildren<FlatButton *>();
        std::sort(row.begin(), row.end(), [](auto *a, auto *b) { return a->x() < b->x(); });
        QCOMPARE(form->size(), client);
        QCOMPARE(form->minimumSize(), client); // fixed frame: no resizing
        QCOMPARE(form->maximumSize(), client);
        const QRect screen = screenRect();
        QCOMPARE(
            form->pos(), QPoint(screen.width() / 2 - client.width() / 2, screen.height() / 2 - client.height() / 2));

        const bool icon = MessageKind(kind) != MessageKind::Custom;
        auto *image = form->findChild<QLabel *>(QStringLiteral("Image"));
        QCOMPARE(image != nullptr, icon);
        if (image)
            QCOMPARE(image->geometry(), QRect(14, 14, 32, 32));
        QCOMPARE(label->text(), text);
        QVERIFY(label->wordWrap());
        QCOMPARE(label->geometry(), message);
        QCOMPARE(row.size(), qPopulationCount(quint32(buttons)));
        QCOMPARE(row.isEmpty() ? QRect() : row.first()->geometry(), firstButton);
        QCOMPARE(row.isEmpty() ? QRect() : row.last()->geometry(), lastButton);
        for (FlatButton *b : row)
            QCOMPARE(b->focusPolicy(), Qt::NoFocus);
    }

    // Dialog units round to the nearest pixel, halves away from zero.
    void dialogUnitsRound()
    {
        const DialogUnits du { 6, 12 };
        QCOMPARE(du.h(1), 2); // 1.5
        QCOMPARE(du.h(3), 5); // 4.5
        QCOMPARE(du.h(50), 75);
        QCOMPARE(du.v(1), 2); // 1.5
        QCOMPARE(du.v(63), 95); // 94.5
        QCOMPARE(du.v(2), 3);
        QCOMPARE(mulDivRound(-3, 6, 4), -5); // -4.5
        QCOMPARE(mulDivRound(5, 7, 4), 9); // 8.75
    }

    // Right-to-left reading mirrors the label within the client area; the
    // button row stays centred.
    void rightToLeftMessage()
    {
        MessageLayoutInput in;
        in.units = DialogUnits { 6, 16 }; // 8 h = 12, 10 h = 15, 50 h = 75, 8 v = 16
        in.text = QSize(200, 40);
        in.hasIcon = true;
        in.buttonCount = 2;
        const MessageLayout ltr = layoutMessage(in);
        in.rightToLeft = true;
        const MessageLayout rtl = layoutMessage(in);
        QCOMPARE(ltr.client, QSize(12 + 32 + 15 + 200 + 12, 16 + 40 + 28 + 20 + 16));
        QCOMPARE(ltr.message, QRect(12 + 32 + 15, 16, 200, 40));
        QCOMPARE(rtl.message, QRect(ltr.client.width() - ltr.message.left() - 200, 16, 200, 40));
        QCOMPARE(rtl.buttons, ltr.buttons);
        QCOMPARE(rtl.buttons.first().left(), (ltr.client.width() - (2 * 75 + 6)) / 2);
    }

    void captionsAndIcons_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("icon");
        QTest::newRow("warning") << int(MessageKind::Warning) << QStringLiteral("警告")
                                 << int(QStyle::SP_MessageBoxWarning);
        QTest::newRow("error") << int(MessageKind::Error) << QStringLiteral("错误")
                               << int(QStyle::SP_MessageBoxCritical);
        QTest::newRow("information") << int(MessageKind::Information) << QStringLiteral("信息")
                                     << int(QStyle::SP_MessageBoxInformation);
        QTest::newRow("confirmation") << int(MessageKind::Confirmation) << QStringLiteral("询问")
                                      << int(QStyle::SP_MessageBoxQuestion);
        QTest::newRow("custom") << int(MessageKind::Custom) << QStringLiteral("商圈管理") << -1;
    }

    void captionsAndIcons()
    {
        QFETCH(int, kind);
        QFETCH(QString, caption);
        QFETCH(int, icon);
        QGuiApplication::setApplicationDisplayName(QStringLiteral("商圈管理"));
        std::unique_ptr<QDialog> form = CreateFlatMessageForm(QStringLiteral("x"), MessageKind(kind), 0);
        QGuiApplication::setApplicationDisplayName(QString());
        QCOMPARE(form->windowTitle(), caption);
        auto *image = form->findChild<QLabel *>(QStringLiteral("Image"));
        QCOMPARE(image != nullptr, icon >= 0);
        if (image) {
            const QImage expected = form->style()
                                        ->standardIcon(QStyle::StandardPixmap(icon), nullptr, form.get())
                                        .pixmap(QSize(32, 32))
                                        .toImage();
            QCOMPARE(image->pixmap().toImage(), expected);
        }
    }

    // Caption widths are measured once per button for the library's life: a
    // stored width wider than 50 units widens every button of the dialog.
    void captionWidthsMeasuredOnce()
    {
        // In the form's font: the platform's, its Chinese in the screens' face.
        const QFontMetrics fm(withChineseFace(QApplication::font("QMessageBox")));
        CreateFlatMessageForm(QStringLiteral("x"), MessageKind::Warning, bits({ DialogButton::OK }));
        QCOMPARE(dialogState().ButtonCaptionWidths[int(DialogButton::OK)],
            fm.horizontalAdvance(QStringLiteral("确认(O)")) + 8);
        QCOMPARE(dialogState().ButtonCaptionWidths[int(DialogButton::Cancel)], 0);

        dialogState().ButtonCaptionWidths[int(DialogButton::Cancel)] = 300;
        std::unique_ptr<QDialog> form = CreateFlatMessageForm(
            QStringLiteral("x"), MessageKind::Warning, bits({ DialogButton::OK, DialogButton::Cancel }));
        for (FlatButton *b : form->findChildren<FlatButton *>())
            QCOMPARE(b->width(), 300);
        QCOMPARE(dialogState().ButtonCaptionWidths[int(DialogButton::Cancel)], 300);
    }

    void ownedByTheOwnerWindow()
    {
        QWidget owner;
        owner.show();
        setOwnerWindow(&owner);
        std::unique_ptr<QDialog> form = CreateFlatMessageForm(QStringLiteral("x"), MessageKind::Warning, 0);
        QCOMPARE(form->parentWidget(), &owner);
        QVERIFY(form->isWindow());
        form.reset();
        QCOMPARE(owner.findChildren<QDialog *>().size(), 0);
    }

    // The owner window going away while a dialog is up takes the dialog with
    // it; the call then answers "cancelled" and frees nothing twice.
    void ownerDestroyedWhileOpen()
    {
        auto *owner = new QWidget;
        owner->show();
        setOwnerWindow(owner);
        ModalAnswerer answerer;
        answerer.then([owner](QWidget *) { delete owner; });
        QCOMPARE(ShowFlatMessage(QStringLiteral("x"), MessageKind::Warning, bits({ DialogButton::OK })), 2);
        QString value = QStringLiteral("v");
        auto *owner2 = new QWidget;
        owner2->show();
        setOwnerWindow(owner2);
        answerer.then([owner2](QWidget *) { delete owner2; });
        QVERIFY(!QueryFlatText(QStringLiteral("c"), QStringLiteral("p"), value));
        QCOMPARE(value, QStringLiteral("v"));
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // The host destroying the owner while a job's progress window runs the
    // event loop between steps: the step answers "stop" and nothing reads the
    // freed window (the sanitizer build checks; QProgressDialog's own
    // setValue read it after its loop).
    void progressOwnerDestroyedDuringAStep()
    {
        auto *owner = new QWidget;
        owner->show();
        QVERIFY(QTest::qWaitForWindowExposed(owner));
        ProgressWindow progress(owner, QStringLiteral("请稍候"), QStringLiteral("正在导出…"), 100, 0);
        QTimer::singleShot(0, owner, [owner] { delete owner; });
        int stoppedAt = -1;
        for (int i = 1; i <= 100 && stoppedAt < 0; ++i) {
            if (!progress.step(i))
                stoppedAt = i;
        }
        QCOMPARE(stoppedAt, 1);
        QVERIFY(progress.gone());
        QVERIFY(!progress.step(2));
        progress.setLabel(QStringLiteral("x"));
        progress.finish();
    }

    // Shown over its owner once the delay has passed, window-modal, in the
    // library's face; a press of its cancel button stops the job at the step.
    void progressShowsAfterTheDelayAndCancels()
    {
        QWidget owner;
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        ProgressWindow progress(&owner, QStringLiteral("请稍候"), QStringLiteral("正在导出…"), 1000, 150);
        auto *dialog = owner.findChild<QProgressDialog *>();
        QVERIFY(dialog);
        QVERIFY(progress.step(1));
        QVERIFY(!dialog->isVisible());
        QTest::qWait(200);
        QVERIFY(progress.step(2));
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->windowModality(), Qt::WindowModal);
        QCOMPARE(dialog->value(), 2);
        QCOMPARE(QFontInfo(dialog->font()).family(), QFontInfo(songTi9()).family());
        auto *cancel = dialog->findChild<QPushButton *>();
        QVERIFY(cancel);
        QTimer::singleShot(0, cancel, [cancel] { cancel->click(); });
        QVERIFY(!progress.step(3));
        QVERIFY(progress.cancelled());
        QVERIFY(!progress.gone());
        progress.finish();
        QVERIFY(!dialog->isVisible());
    }

    // Colours with no settings at all: the message dialog stores "backcolor"'s
    // default; the input dialog with its switch off takes whatever is current.
    void coloursWithoutSettings()
    {
        const QColor initialBack = colorFromBgr(14614267);
        const QColor settingsBack = colorFromBgr(15528176);
        const QColor initialLine = colorFromBgr(32768);

        ModalAnswerer answerer;
        QColor back, line;
        const auto inspect = [&](QWidget *dialog) {
            waitActive(dialog);
            back = dialog->palette().color(QPalette::Window);
            line = lineColorOf(dialog->findChild<FlatButton *>(QStringLiteral("btnOK")));
            QCOMPARE(lineColorOf(dialog->findChild<QLineEdit *>()), line);
            QTest::keyClick(dialog->focusWidget(), Qt::Key_Escape);
        };
        answerer.then(inspect);
        AskFlatText(QStringLiteral("输入"), QStringLiteral("p"), QString());
        QCOMPARE(back, initialBack);
        QCOMPARE(line, initialLine);

        std::unique_ptr<QDialog> message
            = CreateFlatMessageForm(QStringLiteral("x"), MessageKind::Warning, bits({ DialogButton::OK }));
        QCOMPARE(message->palette().color(QPalette::Window), settingsBack);
        QVERIFY(message->autoFillBackground());
        auto *ok = message->findChild<FlatButton *>(QStringLiteral("OK"));
        QCOMPARE(ok->lineColor(), initialLine);
        // What the user sees: the button's border drawn in the line colour on the dialog's background.
        const QImage shot = message->grab().toImage();
        QCOMPARE(QColor(shot.pixel(ok->x(), ok->y() + ok->height() / 2)), initialLine);
        QCOMPARE(QColor(shot.pixel(2, 2)), settingsBack);
        message.reset();

        answerer.then(inspect);
        AskFlatText(QStringLiteral("输入"), QStringLiteral("p"), QString());
        QCOMPARE(back, settingsBack);
        QCOMPARE(line, initialLine);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // The switches: "colorstyle" for the input dialog, "style" for the choice
    // dialog; any value but "0" re-reads both colours.
    void colourSwitches_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("colorstyle");
        QTest::addColumn<QString>("style");
        QTest::addColumn<bool>("reread");
        QTest::newRow("input, colorstyle 1") << "input"
                                             << "1"
                                             << "" << true;
        QTest::newRow("input, colorstyle yes") << "input"
                                               << "yes"
                                               << "" << true;
        QTest::newRow("input, colorstyle 0") << "input"
                                             << "0"
                                             << "1" << false;
        QTest::newRow("input, no switch") << "input"
                                          << ""
                                          << "" << false;
        QTest::newRow("choice, style 1") << "choice"
                                         << ""
                                         << "1" << true;
        QTest::newRow("choice, style 0") << "choice"
                                         << "1"
                                         << "0" << false;
    }

    void colourSwitches()
    {
        QFETCH(QString, dialog);
        QFETCH(QString, colorstyle);
        QFETCH(QString, style);
        QFETCH(bool, reread);
        QList<QPair<QString, QString>> values = { { "backcolor", "255" }, { "linecolor", "65280" } };
        if (!colorstyle.isEmpty())
            values.append({ "colorstyle", colorstyle });
        if (!style.isEmpty())
            values.append({ "style", style });
        writeSettings(values);

        ModalAnswerer answerer;
        QColor back, line, fieldLine, fieldBorder;
        answerer.then([&](QWidget *w) {
            waitActive(w);
            back = w->palette().color(QPalette::Window);
            const QList<FlatButton *> buttons = w->findChildren<FlatButton *>();
            QCOMPARE(buttons.size(), 2);
            line = buttons.first()->lineColor();
            QWidget *field = dialog == "input" ? static_cast<QWidget *>(w->findChild<QLineEdit *>())
                                               : static_cast<QWidget *>(w->findChild<QComboBox *>());
            fieldLine = lineColorOf(field);
            fieldBorder = QColor(field->grab().toImage().pixel(0, field->height() / 2));
            QTest::keyClick(w->focusWidget(), Qt::Key_Escape);
        });
        if (dialog == "input") {
            AskFlatText(QStringLiteral("c"), QStringLiteral("p"), QString());
        } else {
            QString value;
            ChooseFlatItem(QStringLiteral("c"), QStringLiteral("p"), { "a", "b" }, 0, value);
        }
        QCOMPARE(back, reread ? QColor(Qt::red) : colorFromBgr(14614267));
        QCOMPARE(line, reread ? QColor(0, 255, 0) : colorFromBgr(32768));
        QCOMPARE(fieldLine, line);
        QCOMPARE(fieldBorder, line); // as drawn
        QCOMPARE(dialogState().DialogBackColor, reread ? 255u : 14614267u);
        QCOMPARE(dialogState().DialogLineColor, reread ? 65280u : 32768u);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // A colour that is not a whole number must not keep a dialog from opening:
    // it falls back to its default colour; the other keys still count.
    void badColourFallsBack_data()
    {
        QTest::addColumn<QString>("backcolor");
        QTest::addColumn<QString>("linecolor");
        QTest::addColumn<quint32>("back");
        QTest::addColumn<quint32>("line");
        QTest::addColumn<int>("warnings"); // "backcolor" is read twice, "linecolor" once
        QTest::newRow("bad back") << "blue"
                                  << "65280" << 15528176u << 65280u << 2;
        QTest::newRow("bad line") << "255"
                                  << "12x" << 255u << 12349763u << 1;
        QTest::newRow("both bad") << ""
                                  << "1.5" << 15528176u << 12349763u << 3;
        QTest::newRow("out of range") << "16777216"
                                      << "-1" << 15528176u << 12349763u << 3;
        QTest::newRow("hexadecimal") << "$FF"
                                     << "0xFF00" << 255u << 65280u << 0;
    }

    void badColourFallsBack()
    {
        QFETCH(QString, backcolor);
        QFETCH(QString, linecolor);
        QFETCH(quint32, back);
        QFETCH(quint32, line);
        QFETCH(int, warnings);
        writeSettings({ { "backcolor", backcolor }, { "linecolor", linecolor }, { "colorstyle", "1" } });

        for (int i = 0; i < warnings; ++i)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("is not a colour number"));
        ModalAnswerer answerer;
        answerer.press(QStringLiteral("btnOK"));
        QCOMPARE(AskFlatText(QStringLiteral("c"), QStringLiteral("p"), QStringLiteral("d")), QStringLiteral("d"));
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(dialogState().DialogBackColor, back);
        QCOMPARE(dialogState().DialogLineColor, line);

        answerer.press(QStringLiteral("OK"));
        QCOMPARE(ShowFlatMessage(QStringLiteral("x"), MessageKind::Warning, bits({ DialogButton::OK })), 1);
        QCOMPARE(answerer.seen.size(), 2);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void colourValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("color"); // -1: no colour
        QTest::newRow("decimal") << "15528176" << 15528176;
        QTest::newRow("leading blanks") << "  255" << 255;
        QTest::newRow("plus sign") << "+7" << 7;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("dollar hex") << "$FFFFFF" << 0xFFFFFF;
        QTest::newRow("0x hex") << "0x00ff00" << 0xFF00;
        QTest::newRow("trailing blank") << "255 " << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("sign alone") << "-" << -1;
        QTest::newRow("negative") << "-5" << -1;
        QTest::newRow("too large") << "16777216" << -1;
        QTest::newRow("huge") << "99999999999999999999999" << -1;
        QTest::newRow("letters") << "red" << -1;
        QTest::newRow("full-width digits") << QStringLiteral("２５５") << -1;
    }

    void colourValues()
    {
        QFETCH(QString, text);
        QFETCH(int, color);
        const std::optional<TColor> parsed = parseColorValue(text);
        QCOMPARE(parsed.has_value(), color >= 0);
        if (parsed)
            QCOMPARE(int(*parsed), color);
    }

    // The input dialog: 180 × 63 units, the prompt cut rather than the dialog
    // grown, the initial text with the caret at its end and nothing selected.
    void inputDialogLayoutAndCaret()
    {
        ModalAnswerer answerer;
        QSize client;
        QRect promptRect, editRect, okRect, cancelRect;
        bool selected = true;
        int cursor = -1;
        QWidget *focus = nullptr;
        QLineEdit *edit = nullptr;
        QFont promptFont, editFont, okFont, cancelFont, dialogFont;
        answerer.then([&](QWidget *w) {
            client = w->size();
            dialogFont = w->font();
            okFont = w->findChild<FlatButton *>(QStringLiteral("btnOK"))->font();
            cancelFont = w->findChild<FlatButton *>(QStringLiteral("btnCancel"))->font();
            auto *prompt = w->findChild<QLabel *>();
            promptRect = prompt->geometry();
            promptFont = prompt->font();
            edit = w->findChild<QLineEdit *>();
            editRect = edit->geometry();
            editFont = edit->font();
            okRect = w->findChild<FlatButton *>(QStringLiteral("btnOK"))->geometry();
            cancelRect = w->findChild<FlatButton *>(QStringLiteral("btnCancel"))->geometry();
            QVERIFY(QTest::qWaitForWindowActive(w));
            selected = edit->hasSelectedText();
            cursor = edit->cursorPosition();
            focus = w->focusWidget();
            QTest::keyClick(focus, Qt::Key_Escape);
        });
        const QString prompt = QStringLiteral("请输入商圈编码或名称(F3查找下一个):").repeated(3);
        AskFlatText(QStringLiteral("输入"), prompt, QStringLiteral("0101"));
        QCOMPARE(answerer.seen.size(), 0);
        QVERIFY(answerer.unexpected.isEmpty());

        const Units u(QApplication::font());
        QCOMPARE(client, QSize(u.h(180), u.v(63)));
        QCOMPARE(promptRect.topLeft(), QPoint(u.h(8), u.v(8)));
        QVERIFY(promptRect.right() >= client.width()); // cut at the right edge
        QCOMPARE(promptFont.family(), QStringLiteral("宋体"));
        QCOMPARE(QFontInfo(promptFont).family(), QStringLiteral("Noto Serif CJK SC"));
        QCOMPARE(QFontInfo(promptFont).pixelSize(), 12);
        QCOMPARE(editFont, promptFont);
        QCOMPARE(editRect.left(), promptRect.left());
        QCOMPARE(editRect.top(), u.v(19));
        QCOMPARE(editRect.width(), u.h(164));
        QCOMPARE(okRect, QRect(u.h(38), u.v(41), u.h(50), u.v(14)));
        QCOMPARE(cancelRect, QRect(u.h(92), u.v(41), u.h(50), u.v(14)));
        // The buttons keep the dialog's own font; only prompt and edit are 宋体.
        QCOMPARE(okFont, dialogFont);
        QCOMPARE(cancelFont, dialogFont);
        QCOMPARE(QFontInfo(okFont).family(), QFontInfo(QApplication::font()).family());
        QVERIFY(QFontInfo(okFont).family() != QFontInfo(promptFont).family());
        QCOMPARE(drawingFamily(okFont, QStringLiteral("确认放弃")), QStringLiteral("Noto Serif CJK SC"));
        QVERIFY(!selected);
        QCOMPARE(cursor, 4);
        QCOMPARE(focus, static_cast<QWidget *>(edit));
    }

    void queryFlatText_data()
    {
        QTest::addColumn<QString>("initial");
        QTest::addColumn<QString>("typed"); // appended with real key presses
        QTest::addColumn<int>("closeKey");
        QTest::addColumn<int>("closeMods");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("value");
        QTest::newRow("enter") << "01"
                               << "02" << int(Qt::Key_Return) << 0 << true << "0102";
        QTest::newRow("Alt+O") << "01"
                               << "o" << int(Qt::Key_O) << int(Qt::AltModifier) << true << "01o";
        QTest::newRow("escape") << "01"
                                << "02" << int(Qt::Key_Escape) << 0 << false << "01";
        QTest::newRow("Alt+C") << "01"
                               << "c" << int(Qt::Key_C) << int(Qt::AltModifier) << false << "01";
        QTest::newRow("cleared") << ""
                                 << "" << int(Qt::Key_Enter) << 0 << true << "";
        const QString x300(300, QLatin1Char('x'));
        QTest::newRow("at most 255 typed") << "" << x300 << int(Qt::Key_Return) << 0 << true << x300.left(255);
        // A longer initial text stays whole: OK must not cut the caller's value.
        QTest::newRow("long initial kept") << x300 << "y" << int(Qt::Key_Return) << 0 << true << x300;
    }

    void queryFlatText()
    {
        QFETCH(QString, initial);
        QFETCH(QString, typed);
        QFETCH(int, closeKey);
        QFETCH(int, closeMods);
        QFETCH(bool, accepted);
        QFETCH(QString, value);
        ModalAnswerer answerer;
        QString title;
        answerer.then([&](QWidget *w) {
            waitActive(w);
            title = w->windowTitle();
            QTest::keyClicks(w->focusWidget(), typed);
            QTest::keyClick(w->focusWidget(), Qt::Key(closeKey), Qt::KeyboardModifiers(closeMods));
        });
        QString text = initial;
        QCOMPARE(QueryFlatText(QStringLiteral("输入"), QStringLiteral("p"), text), accepted);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(text, value);
        QCOMPARE(title, QStringLiteral("输入"));
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void maskCharacter()
    {
        ModalAnswerer answerer;
        QString shown;
        answerer.then([&](QWidget *w) {
            waitActive(w);
            QTest::keyClicks(w->focusWidget(), QStringLiteral("ab"));
            shown = w->findChild<QLineEdit *>()->displayText();
            QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        });
        QString value = QStringLiteral("1");
        QVERIFY(QueryFlatText(QStringLiteral("密码"), QStringLiteral("p"), value, QLatin1Char('#')));
        QCOMPARE(value, QStringLiteral("1ab"));
        QCOMPARE(shown, QStringLiteral("###"));
    }

    // AskFlatText hands back the default when cancelled, whatever was typed.
    void askFlatText()
    {
        ModalAnswerer answerer;
        answerer.typeAndPress(QStringLiteral("changed"), QStringLiteral("btnCancel"));
        QCOMPARE(AskFlatText(QStringLiteral("测试信息"), QStringLiteral("查询语句"), QStringLiteral("default")),
            QStringLiteral("default"));
        answerer.typeAndPress(QStringLiteral("changed"), QStringLiteral("btnOK"));
        QCOMPARE(AskFlatText(QStringLiteral("测试信息"), QStringLiteral("查询语句"), QStringLiteral("default")),
            QStringLiteral("changed"));
        QCOMPARE(answerer.seen.size(), 2);
        QCOMPARE(answerer.seen.first().title, QStringLiteral("测试信息"));
        QCOMPARE(answerer.seen.first().text, QStringLiteral("查询语句"));
        QCOMPARE(answerer.seen.first().buttons, QStringList({ QStringLiteral("确认(O)"), QStringLiteral("放弃(C)") }));
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void chooseFlatItem_data()
    {
        QTest::addColumn<int>("listStyle");
        QTest::addColumn<QList<QKeyCombination>>("keys"); // sent to the list box, the last one closes
        QTest::addColumn<QString>("value");
        using Keys = QList<QKeyCombination>;
        QTest::newRow("first preselected, enter") << 0 << Keys { Qt::Key_Return } << QStringLiteral("并且");
        QTest::newRow("second by arrow") << 0 << Keys { Qt::Key_Down, Qt::Key_Return } << QStringLiteral("或者");
        QTest::newRow("Alt+O presses OK")
            << 0 << Keys { Qt::Key_Down, Qt::AltModifier | Qt::Key_O } << QStringLiteral("或者");
        QTest::newRow("escape leaves value")
            << 0 << Keys { Qt::Key_Down, Qt::Key_Escape } << QStringLiteral("untouched");
        QTest::newRow("Alt+C leaves value") << 0 << Keys { Qt::AltModifier | Qt::Key_C } << QStringLiteral("untouched");
        QTest::newRow("editable, typed") << 1 << Keys { Qt::Key_Z, Qt::Key_Return } << QStringLiteral("并且z");
    }

    void chooseFlatItem()
    {
        QFETCH(int, listStyle);
        QFETCH(QList<QKeyCombination>, keys);
        QFETCH(QString, value);
        ModalAnswerer answerer;
        QString current;
        bool editable = false;
        answerer.then([&](QWidget *w) {
            waitActive(w);
            auto *box = w->findChild<QComboBox *>();
            current = box->currentText();
            editable = box->isEditable();
            QCOMPARE(w->focusWidget(), static_cast<QWidget *>(box));
            if (box->lineEdit())
                box->lineEdit()->end(false);
            for (QKeyCombination k : keys)
                QTest::keyClick(box, k.key(), k.keyboardModifiers());
        });
        QString result = QStringLiteral("untouched");
        ChooseFlatItem(QStringLiteral("选择框"), QStringLiteral("请选择一个逻辑关系："),
            { QStringLiteral("并且"), QStringLiteral("或者") }, listStyle, result);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(result, value);
        QCOMPARE(current, QStringLiteral("并且"));
        QCOMPARE(editable, listStyle == 1);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // The choice dialog: 180 × 63 units; prompt, list and both buttons in 宋体
    // 9 pt; the list under the prompt, 164 units wide; the buttons unnamed.
    void chooseFlatItemLayout()
    {
        ModalAnswerer answerer;
        QSize client;
        QRect promptRect, boxRect;
        QList<QRect> buttonRects;
        QList<QFont> fonts; // prompt, list, buttons
        QStringList buttonNames;
        answerer.then([&](QWidget *w) {
            client = w->size();
            auto *prompt = w->findChild<QLabel *>();
            auto *box = w->findChild<QComboBox *>();
            promptRect = prompt->geometry();
            boxRect = box->geometry();
            fonts << prompt->font() << box->font();
            QList<FlatButton *> buttons = w->findChildren<FlatButton *>();
            std::sort(buttons.begin(), buttons.end(), [](auto *a, auto *b) { return a->x() < b->x(); });
            for (FlatButton *b : buttons) {
                buttonRects << b->geometry();
                fonts << b->font();
                buttonNames << b->objectName();
            }
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QString value;
        ChooseFlatItem(QStringLiteral("选择框"), QStringLiteral("请选择一个逻辑关系："),
            { QStringLiteral("并且"), QStringLiteral("或者") }, 0, value);
        QTRY_VERIFY(answerer.idle());
        QVERIFY(answerer.unexpected.isEmpty());

        const Units u(QApplication::font());
        QCOMPARE(client, QSize(u.h(180), u.v(63)));
        QCOMPARE(promptRect.topLeft(), QPoint(u.h(8), u.v(8)));
        QCOMPARE(boxRect.left(), promptRect.left());
        QCOMPARE(boxRect.top(), u.v(19));
        QCOMPARE(boxRect.width(), u.h(164));
        QCOMPARE(buttonRects,
            (QList<QRect> { QRect(u.h(38), u.v(41), u.h(50), u.v(14)), QRect(u.h(92), u.v(41), u.h(50), u.v(14)) }));
        QCOMPARE(buttonNames, (QStringList { QString(), QString() }));
        QCOMPARE(fonts.size(), 4);
        for (const QFont &f : std::as_const(fonts)) {
            QCOMPARE(f.family(), QStringLiteral("宋体"));
            QCOMPARE(QFontInfo(f).family(), QStringLiteral("Noto Serif CJK SC"));
            QCOMPARE(QFontInfo(f).pixelSize(), 12);
        }
    }

    void chooseFromEmptyList()
    {
        ModalAnswerer answerer;
        answerer.press(QStringLiteral("确认(O)"));
        QString value = QStringLiteral("untouched");
        ChooseFlatItem(QStringLiteral("c"), QStringLiteral("p"), {}, 0, value);
        QCOMPARE(value, QStringLiteral("untouched"));
        QCOMPARE(answerer.seen.size(), 1);
    }
};

QTEST_MAIN(TestFlatDialog)
#include "tst_flatdialog.moc"

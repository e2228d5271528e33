// The shortcut-help popup: where it goes, what it draws (checked pixel by pixel
// on a rendered image) and what closes it, with real keys, clicks and timers.
#include "ModalAnswerer.h"

#include "host/HostContext.h"
#include "ui/PopupGeometry.h"
#include "ui/ShortcutHelp.h"
#include "ui/TRopInst.h"
#include "ui/TRopWin.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace sqda;
using namespace sqda::test;

namespace {

QRect screenRect()
{
    return QGuiApplication::primaryScreen()->geometry();
}

QSize textSize(const QFont &font, const QStringList &lines)
{
    const QFontMetrics fm(font);
    int width = 0;
    for (QString line : lines)
        width = std::max(width, fm.horizontalAdvance(line.remove(QLatin1Char('&'))));
    return QSize(width, int(lines.size()) * fm.lineSpacing());
}

// Closes a popup that failed to close itself, so a fault cannot hang the run.
struct Watchdog
{
    explicit Watchdog(int ms)
    {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                fired = true;
                w->close();
            }
        });
        timer.start(ms);
    }
    QTimer timer;
    bool fired = false;
};

// Shows the maintenance screen's popup in black text; `look` sees the popup
// window, then a key closes it.
void showMaintenancePopup(const std::function<void(QWidget *)> &look)
{
    TRopWin help;
    setupMaintenanceHelp(help);
    help.FontColor = Qt::black;
    ModalAnswerer answerer;
    answerer.then([&](QWidget *w) {
        look(w);
        QTest::keyClick(w, Qt::Key_Space);
    });
    help.ShowPopup();
    QVERIFY(answerer.unexpected.isEmpty());
}

} // namespace

class TestShortcutPopup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placement_data()
    {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QSize>("text");
        QTest::addColumn<int>("xPos");
        QTest::addColumn<int>("yPos");
        QTest::addColumn<QRect>("window");
        const QRect s(0, 0, 800, 600);
        // Centring uses the text's size: the window sits 20 right and 15 below a true centring.
        QTest::newRow("centred") << s << QSize(200, 100) << 0 << 0 << QRect(300, 250, 240, 130);
        QTest::newRow("odd sizes halve down") << s << QSize(201, 101) << 0 << 0 << QRect(299, 249, 241, 131);
        QTest::newRow("x given, y centred") << s << QSize(200, 100) << 10 << 0 << QRect(10, 250, 240, 130);
        QTest::newRow("y given, x centred") << s << QSize(200, 100) << 0 << 7 << QRect(300, 7, 240, 130);
        QTest::newRow("both given") << s << QSize(200, 100) << -5 << 900 << QRect(-5, 900, 240, 130);
        // Wider than the screen: the halving rounds toward zero.
        QTest::newRow("text wider than screen")
            << QRect(0, 0, 100, 100) << QSize(301, 103) << 0 << 0 << QRect(-100, -1, 341, 133);
        QTest::newRow("empty text") << s << QSize(0, 0) << 0 << 0 << QRect(400, 300, 40, 30);
    }

    void placement()
    {
        QFETCH(QRect, screen);
        QFETCH(QSize, text);
        QFETCH(int, xPos);
        QFETCH(int, yPos);
        QFETCH(QRect, window);
        QCOMPARE(placePopup(screen, text, xPos, yPos), window);
    }

    void textMeasure()
    {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        const QFontMetrics fm(font);
        const QStringList lines
            = { QStringLiteral("&Short"), QString(), QStringLiteral("a longer line"), QStringLiteral("x") };
        QCOMPARE(measurePopupText(fm, lines), textSize(font, lines));
        QCOMPARE(measurePopupText(fm, { QStringLiteral("&ab") }).width(), fm.horizontalAdvance(QStringLiteral("ab")));
        QCOMPARE(measurePopupText(fm, { QString(), QString() }), QSize(0, 2 * fm.lineSpacing()));
    }

    void formsLines_data()
    {
        QTest::addColumn<bool>("maintenance");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("pixelSize");
        QTest::newRow("maintenance") << true
                                     << QStringList { QStringLiteral("快捷键："), QString(),
                                            QStringLiteral("    展  开: Ctrl+E(展开所有的结点)"),
                                            QStringLiteral("    收  缩: Ctrl+C(收缩所有的结点)"),
                                            QStringLiteral("    增  加: Ctrl+A(增加一个门店)"),
                                            QStringLiteral("    删  除: Ctrl+D(删除一个门店)"),
                                            QStringLiteral("    保  存: Ctrl+S(保存一个门店)"),
                                            QStringLiteral("    定  位: Ctrl+L"), QStringLiteral("    查  询: Ctrl+Q"),
                                            QStringLiteral("    刷  新: Ctrl+R"), QStringLiteral("    退  出: ESC") }
                                     << QStringLiteral("MS Sans Serif") << 11;
        QTest::newRow("query") << false
                               << QStringList { QStringLiteral("快捷键："), QStringLiteral("    重  查: F2"),
                                      QStringLiteral("    选  项: F3"),
                                      QStringLiteral("    条  件: Ctrl+S(显示查询条件)"),
                                      QStringLiteral("    预  览: Ctrl+V"), QStringLiteral("    打  印: Ctrl+P"),
                                      QStringLiteral("    退  出: ESC") }
                               << QStringLiteral("宋体") << 12;
    }

    // Each form's popup: its lines, its font, centred on the screen by its text,
    // closed by the next key.
    void formsLines()
    {
        QFETCH(bool, maintenance);
        QFETCH(QStringList, lines);
        QFETCH(QString, family);
        QFETCH(int, pixelSize);
        TRopWin help;
        if (maintenance)
            setupMaintenanceHelp(help);
        else
            setupQueryHelp(help);
        QCOMPARE(help.Lines, lines);
        QCOMPARE(help.Font.family(), family);
        QCOMPARE(help.Font.pixelSize(), pixelSize);
        QCOMPARE(help.Brush, QBrush(Qt::white));

        ModalAnswerer answerer;
        QRect geometry;
        QStringList shownLines;
        bool isModal = false;
        answerer.then([&](QWidget *w) {
            auto *popup = qobject_cast<TRopInst *>(w);
            QVERIFY(popup);
            QCOMPARE(help.popup(), popup);
            QVERIFY(QTest::qWaitForWindowActive(popup)); // it takes the keyboard
            geometry = popup->geometry();
            shownLines = popup->Lines;
            isModal = popup->windowModality() == Qt::ApplicationModal;
            QTest::keyClick(popup, Qt::Key_Space);
        });
        help.ShowPopup();
        QCOMPARE(help.popup(), nullptr);
        QVERIFY(answerer.idle());
        QVERIFY(answerer.unexpected.isEmpty());
        QVERIFY(isModal);
        QCOMPARE(shownLines, help.Lines);
        const QSize text = textSize(help.Font, help.Lines);
        const QRect screen = screenRect();
        QCOMPARE(geometry,
            QRect((screen.width() - text.width()) / 2, (screen.height() - text.height()) / 2, text.width() + 40,
                text.height() + 30));
    }

    void closesOnAnyKey_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("mods");
        QTest::newRow("letter") << int(Qt::Key_A) << 0;
        QTest::newRow("escape") << int(Qt::Key_Escape) << 0;
        QTest::newRow("function key") << int(Qt::Key_F1) << 0;
        QTest::newRow("shift alone") << int(Qt::Key_Shift) << int(Qt::ShiftModifier);
        QTest::newRow("ctrl alone") << int(Qt::Key_Control) << int(Qt::ControlModifier);
        QTest::newRow("alt alone") << int(Qt::Key_Alt) << int(Qt::AltModifier);
        QTest::newRow("ctrl+E") << int(Qt::Key_E) << int(Qt::ControlModifier);
    }

    void closesOnAnyKey()
    {
        QFETCH(int, key);
        QFETCH(int, mods);
        TRopWin help;
        setupQueryHelp(help);
        ModalAnswerer answerer;
        bool closed = false;
        answerer.then([&](QWidget *w) {
            QTest::keyPress(w, Qt::Key(key), Qt::KeyboardModifiers(mods));
            closed = !w->isVisible();
            QTest::keyRelease(w, Qt::Key(key), Qt::KeyboardModifiers(mods));
        });
        Watchdog watchdog(5000);
        help.ShowPopup();
        QVERIFY(closed);
        QVERIFY(!watchdog.fired);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void closesOnAnyClick_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("where");
        QTest::newRow("left on text") << int(Qt::LeftButton) << "text";
        QTest::newRow("right on shadow") << int(Qt::RightButton) << "shadow";
        QTest::newRow("middle on a corner") << int(Qt::MiddleButton) << "corner";
    }

    void closesOnAnyClick()
    {
        QFETCH(int, button);
        QFETCH(QString, where);
        TRopWin help;
        setupMaintenanceHelp(help);
        ModalAnswerer answerer;
        answerer.then([&](QWidget *w) {
            const QPoint at = where == "text" ? QPoint(10, 10)
                : where == "shadow"           ? QPoint(w->width() - 4, w->height() - 4)
                                              : QPoint(w->width() - 2, 2);
            QTest::mouseClick(w, Qt::MouseButton(button), Qt::NoModifier, at);
        });
        Watchdog watchdog(5000);
        help.ShowPopup();
        QVERIFY(!watchdog.fired);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // TimeClose > 0 closes the popup by itself; 0 and negative values never do.
    void timeClose_data()
    {
        QTest::addColumn<int>("timeClose");
        QTest::addColumn<bool>("closesItself");
        QTest::newRow("50 ms") << 50 << true;
        QTest::newRow("zero") << 0 << false;
        QTest::newRow("negative") << -50 << false;
    }

    void timeClose()
    {
        QFETCH(int, timeClose);
        QFETCH(bool, closesItself);
        TRopWin help;
        help.Lines = { QStringLiteral("x") };
        help.TimeClose = timeClose;
        bool armed = false;
        bool openAfterWait = false;
        QTimer::singleShot(0, this, [&] { armed = help.popup() && help.popup()->Timer1->isActive(); });
        if (!closesItself) {
            QTimer::singleShot(300, this, [&] {
                openAfterWait = help.popup() && help.popup()->isVisible();
                if (help.popup())
                    QTest::keyClick(help.popup(), Qt::Key_X);
            });
        }
        Watchdog watchdog(5000);
        help.ShowPopup();
        QCOMPARE(armed, closesItself);
        QCOMPARE(openAfterWait, !closesItself);
        QVERIFY(!watchdog.fired);
    }

    void emptyLinesSaySo()
    {
        QWidget owner;
        setOwnerWindow(&owner);
        TRopWin help;
        ModalAnswerer answerer;
        QWidget *parent = nullptr;
        answerer.then([&](QWidget *w) { parent = w->parentWidget(); }).press(QStringLiteral("Ok"));
        help.ShowPopup();
        setOwnerWindow(nullptr);
        QCOMPARE(answerer.seen.size(), 1);
        const SeenDialog &d = answerer.seen.first();
        QCOMPARE(d.className, QStringLiteral("QMessageBox"));
        QCOMPARE(d.title, QStringLiteral("Error"));
        QCOMPARE(d.text, QStringLiteral("The Lines is empty"));
        QCOMPARE(d.buttons, QStringList({ QStringLiteral("OK") }));
        QCOMPARE(d.icon, int(QMessageBox::NoIcon));
        QCOMPARE(parent, &owner);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // The rendered popup: a black 2-pixel frame around the white fill, the
    // text in black, the shadow dithered by the 8 × 8 pattern (three quarters
    // black, the rest clear) and the two corners beside it clear.
    void renderedPixels()
    {
        TRopWin help;
        help.Lines = { QStringLiteral("MMMM"), QStringLiteral("MMMM") };
        help.Font = QFont(QStringLiteral("DejaVu Sans"));
        help.Font.setPixelSize(14);
        help.FontColor = Qt::black;
        ModalAnswerer answerer;
        QImage image;
        answerer.then([&](QWidget *w) {
            image = w->grab().toImage().convertToFormat(QImage::Format_ARGB32);
            QTest::keyClick(w, Qt::Key_Space);
        });
        help.ShowPopup();
        QVERIFY(answerer.unexpected.isEmpty());
        QVERIFY(!image.isNull());

        const int w = image.width();
        const int h = image.height();
        const QRgb black = qRgba(0, 0, 0, 255);
        const QRgb white = qRgba(255, 255, 255, 255);
        const auto clear = [&](int x, int y) { return qAlpha(image.pixel(x, y)) == 0; };

        // Frame and fill.
        QCOMPARE(image.pixel(1, 1), black);
        QCOMPARE(image.pixel(2, h / 2), black);
        QCOMPARE(image.pixel(w - 17, h / 2), black);
        QCOMPARE(image.pixel(w / 2, h - 17), black);
        QCOMPARE(image.pixel(3, 3), white);
        QCOMPARE(image.pixel(w - 19, h - 19), white);
        QVERIFY(clear(0, 0));
        // The text is drawn in black (anti-aliased) inside the text area.
        int dark = 0;
        for (int y = 6; y < h - 21; ++y)
            for (int x = 6; x < w - 21; ++x)
                dark += qAlpha(image.pixel(x, y)) == 255 && qGray(image.pixel(x, y)) < 100;
        QVERIFY(dark > 20);

        // Shadow bands: along the bottom from x = 16, along the right from y = 16.
        int blackCount = 0, clearCount = 0;
        const auto checkShadow = [&](int x, int y) {
            const bool setBit = shadowPatternBit(x, y);
            if (setBit ? !clear(x, y) : image.pixel(x, y) != black)
                QFAIL(qPrintable(QStringLiteral("shadow pixel (%1, %2) wrong").arg(x).arg(y)));
            setBit ? ++clearCount : ++blackCount;
        };
        for (int y = h - 16; y < h; ++y)
            for (int x = 16; x < w; ++x)
                checkShadow(x, y);
        for (int y = 16; y < h - 16; ++y)
            for (int x = w - 16; x < w; ++x)
                checkShadow(x, y);
        QCOMPARE(blackCount, 3 * clearCount);

        // The corners beside the shadow are left unpainted.
        for (int y = 0; y < 16; ++y)
            for (int x = w - 16; x < w; ++x)
                QVERIFY(clear(x, y));
        for (int y = h - 16; y < h; ++y)
            for (int x = 0; x < 16; ++x)
                QVERIFY(clear(x, y));

        // The pattern's rows, from the top, as the image shows them.
        for (int row = 0; row < 8; ++row) {
            int bitsOfRow = 0;
            for (int col = 0; col < 8; ++col)
                bitsOfRow = (bitsOfRow << 1) | (clear(w - 16 + col, 16 + row) ? 1 : 0);
            const int expected = QList<int> { 0xAA, 0x00, 0x55, 0x00 }.at(((16 + row) & 7) % 4);
            // The tile repeats from the popup's top-left corner, so columns count from x = 0.
            const int shift = (w - 16) & 7;
            const int rotated = ((expected << shift) | (expected >> (8 - shift))) & 0xFF;
            QCOMPARE(bitsOfRow, rotated);
        }
    }

    // The window is cut to the pixels it paints, so on an X server without a
    // compositor the corners and the clear dots show what is behind, not black.
    void windowIsCutToItsPaintedPixels()
    {
        QImage image;
        QRegion mask;
        showMaintenancePopup([&](QWidget *w) {
            image = w->grab().toImage().convertToFormat(QImage::Format_ARGB32);
            mask = w->mask();
        });
        QVERIFY(!image.isNull());
        QVERIFY(!mask.isEmpty());
        int inside = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const bool painted = qAlpha(image.pixel(x, y)) != 0;
                if (painted != mask.contains(QPoint(x, y)))
                    QFAIL(qPrintable(QStringLiteral("pixel (%1, %2): painted %3, in the mask %4")
                                         .arg(x)
                                         .arg(y)
                                         .arg(painted)
                                         .arg(!painted)));
                inside += painted;
            }
        QVERIFY(inside > image.width() * image.height() / 2);
    }

    // On a real X server (run by ctest under Xvfb, which has no compositor): what
    // the screen shows. The window behind shows through the corners and the clear
    // dots of the shadow; SQDA_POPUP_SCREENSHOT names a PNG to keep the screen in.
    void plainXServerShowsWhatIsBehind()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server (ctest runs it under Xvfb as tst_shortcutpopup_x11)");
        const QColor behindColour(70, 130, 180);
        QWidget behind;
        behind.setAutoFillBackground(true);
        QPalette pal = behind.palette();
        pal.setColor(QPalette::Window, behindColour);
        behind.setPalette(pal);
        behind.setGeometry(screenRect());
        behind.show();
        QVERIFY(QTest::qWaitForWindowExposed(&behind));

        QImage screen;
        QRect popupRect;
        showMaintenancePopup([&](QWidget *w) {
            QVERIFY(QTest::qWaitForWindowExposed(w));
            QTest::qWait(200); // let the server draw
            popupRect = w->geometry();
            screen = w->screen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
        });
        QVERIFY(!screen.isNull());
        if (const QByteArray path = qgetenv("SQDA_POPUP_SCREENSHOT"); !path.isEmpty())
            QVERIFY(screen.save(QString::fromLocal8Bit(path)));

        const QPoint o = popupRect.topLeft();
        const int w = popupRect.width();
        const int h = popupRect.height();
        const auto at = [&](int x, int y) { return QColor(screen.pixel(o + QPoint(x, y))); };
        QCOMPARE(at(0, 0), behindColour);
        QCOMPARE(at(w - 2, 2), behindColour); // top-right corner
        QCOMPARE(at(2, h - 2), behindColour); // bottom-left corner
        QCOMPARE(at(1, 1), QColor(Qt::black)); // frame
        QCOMPARE(at(4, h / 2), QColor(Qt::white)); // fill
        // The shadow: the pattern's clear dots show the window behind, the others are black.
        for (int y = h - 16; y < h; ++y)
            for (int x = 16; x < w; ++x)
                QCOMPARE(at(x, y), shadowPatternBit(x, y) ? behindColour : QColor(Qt::black));
    }

    // "&" draws no ampersand and underlines the next letter.
    void ampersandUnderlines()
    {
        const auto render = [](const QString &line) {
            TRopWin help;
            help.Lines = { line };
            help.Font = QFont(QStringLiteral("DejaVu Sans"));
            help.Font.setPixelSize(16);
            ModalAnswerer answerer;
            QImage image;
            answerer.then([&](QWidget *w) {
                image = w->grab().toImage();
                w->close();
            });
            help.ShowPopup();
            return image;
        };
        const QImage plain = render(QStringLiteral("Exit"));
        const QImage marked = render(QStringLiteral("&Exit"));
        QCOMPARE(marked.size(), plain.size()); // the "&" takes no room
        // The two differ only below the letters' baseline, under the first letter.
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(16);
        const QFontMetrics fm(f);
        const int baseline = 6 + fm.ascent();
        QRect changed;
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x)
                if (plain.pixel(x, y) != marked.pixel(x, y))
                    changed |= QRect(x, y, 1, 1);
        QVERIFY(!changed.isEmpty());
        QVERIFY(changed.top() >= baseline);
        QVERIFY(changed.right() < 6 + fm.horizontalAdvance(QStringLiteral("E")) + 2);
    }
};

QTEST_MAIN(TestShortcutPopup)
#include "tst_shortcutpopup.moc"

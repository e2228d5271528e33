// How a failed host call reaches the user, and how an error thrown by the host
// inside a user action is kept out of the event loop.
#include "FakeCoorDisp.h"
#include "ModalAnswerer.h"

#include "host/CoorDisp.h"
#include "host/HostContext.h"
#include "host/HostGuard.h"
#include "host/ShowHostError.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMessageBox>
#include <QTest>

using namespace sqda;
using namespace sqda::test;

class TestShowHostError : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void composes_data()
    {
        QTest::addColumn<QVariant>("error");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("text");

        QTest::newRow("two texts") << QVariant(QVariantList { QStringLiteral("第一行"), QStringLiteral("第二行") })
                                   << QString() << QStringLiteral("第一行\r\n第二行");
        QTest::newRow("plain text") << QVariant(QStringLiteral("出错了")) << QString() << QStringLiteral("未知错误！");
        QTest::newRow("empty array") << QVariant(QVariantList {}) << QString() << QString();
        QTest::newRow("empty value") << QVariant() << QString() << QStringLiteral("未知错误！");
        QTest::newRow("heading") << QVariant(QVariantList { QStringLiteral("a") }) << QStringLiteral("标题")
                                 << QStringLiteral("标题\r\na");
        // Lines before an element that is no text stay.
        QTest::newRow("nested array") << QVariant(QVariantList { QStringLiteral("a"), QVariantList { 1 } }) << QString()
                                      << QStringLiteral("a\r\n未知错误！");
    }

    void composes()
    {
        QFETCH(QVariant, error);
        QFETCH(QString, heading);
        QFETCH(QString, text);
        QCOMPARE(composeHostError(error, heading), text);
        // Owner 0: composed, nothing shown.
        ModalAnswerer answerer;
        QCOMPARE(ShowHostError(nullptr, error, heading), text);
        QTest::qWait(20);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void showsErrorBoxOwnedByTheForm()
    {
        QWidget owner;
        owner.show();
        ModalAnswerer answerer;
        answerer.press(QStringLiteral("Ok"));
        ShowHostError(&owner, QVariantList { QStringLiteral("代码已存在"), QStringLiteral("请重新输入") });
        QCOMPARE(answerer.seen.size(), 1);
        const SeenDialog &d = answerer.seen.first();
        QCOMPARE(d.title, QStringLiteral("错误"));
        QCOMPARE(d.text, QStringLiteral("代码已存在\r\n请重新输入"));
        QCOMPARE(d.icon, int(QMessageBox::Critical));
        // A top-level window takes no font from its owner: the box has the
        // screens' face itself, its text and button too.
        QCOMPARE(d.face, QStringLiteral("Noto Serif CJK SC"));
    }

    void hostCallsGoByDispatchIdentifier()
    {
        FakeCoorDisp service;
        service.on(
            DispCheckAreaCode, FakeCoorDisp::succeed(0, QVariantList { QStringLiteral("你想建立一级商圈吗？"), 1 }));
        service.on(DispGetDatabaseType, [](QVariantList &) -> QVariant { return QStringLiteral("DB2"); });
        CoorDisp host { CoorDispRef(&service) };
        QCOMPARE(service.refCount, 1);

        QVariant arr = CoorDisp::argumentArray(QStringLiteral("0101"), QStringLiteral("05"));
        QVERIFY(host.CheckAreaCode(arr));
        QCOMPARE(arr.toList().at(1).toInt(), 1);
        QCOMPARE(host.GetDatabaseType().toString(), QStringLiteral("DB2"));

        QVariant packet;
        QVERIFY(!host.QueryData(QStringLiteral("select 1"), packet)); // unscripted: fails with an error array
        QCOMPARE(packet.typeId(), int(QMetaType::QVariantList));

        QVariant code = QStringLiteral("0001");
        host.GetOperatorName(code);
        const auto call = service.callsOf(DispGetOperatorName).first();
        QCOMPARE(call.args, (QVariantList { 1, QStringLiteral("0001") }));
        QCOMPARE(service.dispIds(),
            (QList<int> { DispCheckAreaCode, DispGetDatabaseType, DispQueryData, DispGetOperatorName }));
    }

    void successFlag_data()
    {
        QTest::addColumn<QVariant>("flag");
        QTest::addColumn<bool>("success");
        QTest::newRow("true") << QVariant(true) << true;
        QTest::newRow("false") << QVariant(false) << false;
        QTest::newRow("-1") << QVariant(-1) << true;
        QTest::newRow("0") << QVariant(0) << false;
        QTest::newRow("empty") << QVariant() << false;
    }

    void successFlag()
    {
        QFETCH(QVariant, flag);
        QFETCH(bool, success);
        QCOMPARE(CoorDisp::isSuccess(flag), success);
    }

    // The screens name Windows font families; they must reach Simplified Chinese
    // faces that hold the glyphs, or every caption is drawn as boxes.
    void chineseFontFamiliesResolve_data()
    {
        QTest::addColumn<QString>("family");
        QTest::newRow("宋体") << QStringLiteral("宋体");
        QTest::newRow("黑体") << QStringLiteral("黑体");
        QTest::newRow("MS Sans Serif") << QStringLiteral("MS Sans Serif");
    }

    void chineseFontFamiliesResolve()
    {
        QFETCH(QString, family);
        ensureLibraryInitialized();
        const QFont font(family);
        const QFontMetrics fm(font);
        for (const QChar c : QStringLiteral("商圈档案维护存盘刷新"))
            QVERIFY2(
                fm.inFont(c), qPrintable(QStringLiteral("%1 has no glyph for %2").arg(QFontInfo(font).family(), c)));
        if (family != QLatin1String("MS Sans Serif"))
            QVERIFY2(QFontInfo(font).family().contains(QLatin1String("CJK SC")), qPrintable(QFontInfo(font).family()));
    }

    void boundsWhatIsShown_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shownStart"); // the shown text begins with this
        QTest::addColumn<int>("shownLines"); // lines of the text shown, the notice aside
        QTest::addColumn<bool>("cut");

        // The rows are written for these limits.
        static_assert(
            ErrorTextLimits::Lines == 20 && ErrorTextLimits::LineLength == 160 && ErrorTextLimits::Total == 2000);
        const QString line159(159, u'行');
        QStringList twenty;
        for (int i = 0; i < 20; ++i)
            twenty << QStringLiteral("第%1行").arg(i);
        QTest::newRow("short") << QStringLiteral("代码已存在\r\n请重新输入")
                               << QStringLiteral("代码已存在\r\n请重新输入") << 2 << false;
        QTest::newRow("twenty lines") << twenty.join(QStringLiteral("\r\n")) << QStringLiteral("第0行\r\n第1行") << 20
                                      << false;
        QTest::newRow("twenty-one lines") << (twenty + QStringList { QStringLiteral("多") }).join(u'\n')
                                          << QStringLiteral("第0行\r\n第1行") << 20 << true;
        QTest::newRow("one 10 MB line") << QString(10 * 1024 * 1024, u'x') << QString(160, u'x') + QChar(0x2026) << 1
                                        << true;
        QTest::newRow("100k lines") << QStringLiteral("错误\r\n").repeated(100000) << QStringLiteral("错误\r\n错误")
                                    << 20 << true;
        QTest::newRow("one long line among short ones")
            << QStringLiteral("a\r\n") + QString(250, u'b') + QStringLiteral("\r\nc")
            << QStringLiteral("a\r\n") + QString(160, u'b') + QChar(0x2026) + QStringLiteral("\r\nc") << 3 << true;
        // 159 + 12 × (2 + 159) = 2091 would pass 2000: the 13th line is cut to what is left.
        QTest::newRow("many long lines, all characters used up")
            << QStringList(20, line159).join(QStringLiteral("\r\n")) << line159 << 13 << true;
    }

    void boundsWhatIsShown()
    {
        QFETCH(QString, text);
        QFETCH(QString, shownStart);
        QFETCH(int, shownLines);
        QFETCH(bool, cut);
        const QString shown = boundedErrorText(text);
        QVERIFY2(shown.startsWith(shownStart), qPrintable(shown.left(80)));
        QStringList lines = shown.split(QStringLiteral("\r\n"));
        const bool noticed = lines.last().startsWith(QStringLiteral("（错误信息过长"));
        QCOMPARE(noticed, cut);
        if (noticed) {
            QCOMPARE(lines.last(),
                QStringLiteral("（错误信息过长，只显示了前面的一部分：共 %1 个字符。）").arg(text.size()));
            lines.removeLast();
        } else {
            QCOMPARE(shown, text);
        }
        QCOMPARE(lines.size(), shownLines);
        for (const QString &l : lines)
            QVERIFY(l.size() <= ErrorTextLimits::LineLength + 1);
        QVERIFY(shown.size() <= ErrorTextLimits::Total + 2 * ErrorTextLimits::Lines + 60);
    }

    void hugeHostErrorsAreShownCut()
    {
        // A failed call's 10 MB line, and a thrown error of 100,000 lines: the
        // box comes up (the answerer's timer runs, so events flow) with the cut text.
        QWidget owner;
        owner.show();
        ModalAnswerer answerer;
        answerer.press(QStringLiteral("Ok")).press(QStringLiteral("Ok"));
        ShowHostError(&owner, QVariantList { QString(10 * 1024 * 1024, u'长') });

        FakeCoorDisp service;
        service.on(DispExecuteSql, FakeCoorDisp::throwing(QStringLiteral("连接已断开\n").repeated(100000)));
        CoorDisp host { CoorDispRef(&service) };
        QVERIFY(!runGuarded([&] {
            QVariant sql = QStringLiteral("update tbsqda set f_sqmc='x'");
            host.ExecuteSql(sql);
        }));

        QCOMPARE(answerer.seen.size(), 2);
        QVERIFY(answerer.unexpected.isEmpty());
        QCOMPARE(answerer.seen.at(0).title, QStringLiteral("错误"));
        QVERIFY(answerer.seen.at(0).text.startsWith(
            QString(160, u'长') + QChar(0x2026) + QStringLiteral("\r\n（错误信息过长")));
        QCOMPARE(answerer.seen.at(1).text.count(QStringLiteral("连接已断开")), 20);
        QVERIFY(answerer.seen.at(1).text.contains(QStringLiteral("（错误信息过长")));
    }

    void thrownHostErrorIsShownNotPropagated()
    {
        FakeCoorDisp service;
        service.on(DispExecuteSql, FakeCoorDisp::throwing(QStringLiteral("连接已断开")));
        CoorDisp host { CoorDispRef(&service) };
        ModalAnswerer answerer;
        answerer.press(QStringLiteral("Ok"));
        bool after = false;
        const bool ok = runGuarded([&] {
            QVariant sql = QStringLiteral("update tbsqda set f_sqmc='x'");
            host.ExecuteSql(sql);
            after = true; // the action stops at the failing call
        });
        QVERIFY(!ok);
        QVERIFY(!after);
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().text, QStringLiteral("连接已断开"));
        QCOMPARE(answerer.seen.first().title, QStringLiteral("错误"));
        QCOMPARE(answerer.seen.first().icon, int(QMessageBox::Critical));
        QCOMPARE(answerer.seen.first().face, QStringLiteral("Noto Serif CJK SC"));
    }
};

QTEST_MAIN(TestShowHostError)
#include "tst_showhosterror.moc"

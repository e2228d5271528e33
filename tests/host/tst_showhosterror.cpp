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
    }
};

QTEST_MAIN(TestShowHostError)
#include "tst_showhosterror.moc"

// The environment object against a scripted host: which calls a request makes,
// in which order it fails and with which message, and how each system parameter
// turns into its field.
#include "EnvTests.h"

#include "FakeCoorDisp.h"
#include "ModalAnswerer.h"

#include "env/ScreenEnvironment.h"
#include "env/SystemParameters.h"
#include "env/TTesselClass.h"

#include <QMessageBox>
#include <QTest>

using namespace sqda;
using namespace sqda::test;

Q_DECLARE_METATYPE(QList<QVariantList>)

namespace {

const QString OperatorCode = QStringLiteral("0001");

// The call with its outcome as flag and text, so a test can check that a
// success leaves the caller's text alone and a failure gives its message.
bool getInfo(TTesselClass &env, TsysmsgInfo &info, const SysmsgItems &items, QString &errorText)
{
    const Status loaded = env.GetSysmsgInfo(info, items);
    if (!loaded)
        errorText = loaded.error();
    return loaded.ok();
}

QByteArray parameterRows(const QList<QVariantList> &rows)
{
    return makePacket({ { QStringLiteral("f_Csmc"), FieldType::String, 20, {} },
                          { QStringLiteral("f_csz"), FieldType::String, 100, {} } },
        rows);
}

QVariantList row(const QString &key, const QVariant &value)
{
    return { key, value };
}

// A record whose fields all hold something other than what a load would give,
// so that a field the load did not touch is seen to keep its value.
TsysmsgInfo presetInfo()
{
    TsysmsgInfo info;
    info.ServerYearMonth = info.ServerDateTime = info.ServerDate = info.OperatorName = QStringLiteral("旧");
    info.qyny = info.dwlx = info.dybm = info.dwmc = info.sh = info.sljd = info.ysqr = info.ypthphkz = info.zbbm
        = QStringLiteral("旧");
    info.sphsfs = info.psxzsl = info.spfzflx = info.fgckjb = 99;
    info.lskz = info.mdzdysj = info.mdzdyjj = true;
    info.kpyxcfsp = false;
    info.xpdjmrsl = 1.5;
    return info;
}

// The fields the cases below look at, read by name without the rule table.
QVariant fieldOf(const TsysmsgInfo &i, const QString &name)
{
    const QHash<QString, std::function<QVariant()>> fields = {
        { "qyny", [&] { return QVariant(i.qyny); } },
        { "dwlx", [&] { return QVariant(i.dwlx); } },
        { "dybm", [&] { return QVariant(i.dybm); } },
        { "dwmc", [&] { return QVariant(i.dwmc); } },
        { "sh", [&] { return QVariant(i.sh); } },
        { "sljd", [&] { return QVariant(i.sljd); } },
        { "ysqr", [&] { return QVariant(i.ysqr); } },
        { "ypthphkz", [&] { return QVariant(i.ypthphkz); } },
        { "zbbm", [&] { return QVariant(i.zbbm); } },
        { "sphsfs", [&] { return QVariant(i.sphsfs); } },
        { "psxzsl", [&] { return QVariant(i.psxzsl); } },
        { "spfzflx", [&] { return QVariant(i.spfzflx); } },
        { "fgckjb", [&] { return QVariant(i.fgckjb); } },
        { "lskz", [&] { return QVariant(i.lskz); } },
        { "kpyxcfsp", [&] { return QVariant(i.kpyxcfsp); } },
        { "mdzdysj", [&] { return QVariant(i.mdzdysj); } },
        { "mdzdyjj", [&] { return QVariant(i.mdzdyjj); } },
        { "xpdjmrsl", [&] { return QVariant(i.xpdjmrsl); } },
    };
    return fields.value(name, [] { return QVariant(QStringLiteral("<no such field in the test>")); })();
}

SysmsgItems itemsOf(const QList<int> &list)
{
    SysmsgItems items;
    for (int i : list)
        items.insert(i);
    return items;
}

} // namespace

class TestEnvironment : public QObject
{
    Q_OBJECT

    // A host that answers every environment call; the parameter table is set per test.
    static void scriptHost(FakeCoorDisp &host, const QByteArray &parameters)
    {
        host.setupEnvironment();
        host.on(DispGetServerDate, FakeCoorDisp::succeed(0, QStringLiteral("2026120910")));
        host.on(DispGetSystemParameters, FakeCoorDisp::succeed(0, parameters));
    }

private Q_SLOTS:
    void construction_data()
    {
        QTest::addColumn<QVariant>("answer"); // invalid: the call raises
        QTest::addColumn<QString>("dbKind");
        QTest::addColumn<bool>("warned");
        QTest::newRow("DB2") << QVariant(QStringLiteral("DB2")) << "DB2" << false;
        QTest::newRow("kept as answered") << QVariant(QStringLiteral("db2")) << "db2" << false;
        QTest::newRow("unknown kind") << QVariant(QStringLiteral("INFORMIX")) << "INFORMIX" << false;
        QTest::newRow("raises") << QVariant() << "SQLSERVER" << true;
        QTest::newRow("no text") << QVariant(QVariantList { 1, 2 }) << "SQLSERVER" << true;
    }

    void construction()
    {
        QFETCH(QVariant, answer);
        QFETCH(QString, dbKind);
        QFETCH(bool, warned);
        FakeCoorDisp host;
        if (answer.isValid())
            host.on(DispGetDatabaseType, [answer](QVariantList &) { return answer; });
        else
            host.on(DispGetDatabaseType, FakeCoorDisp::throwing(QStringLiteral("自动化错误")));

        QWidget window;
        QWidget *owner = nullptr;
        ModalAnswerer answerer;
        if (warned) {
            answerer.then([&](QWidget *modal) {
                owner = modal->parentWidget();
                answerer.seen << ModalAnswerer::describe(modal);
                ModalAnswerer::pressButton(modal, QStringLiteral("Ok"));
            });
        }
        {
            const std::unique_ptr<TTesselClass> opened = openEnvironment(CoorDispRef(&host), &window);
            TTesselClass &env = *opened;
            QCOMPARE(env.DbKind(), dbKind);
            QCOMPARE(host.refCount, 1L);

            TsysmsgInfo info;
            QString errorText = QStringLiteral("untouched");
            QVERIFY(getInfo(env, info, {}, errorText));
            QCOMPARE(info.DbKind, dbKind);
            QCOMPARE(errorText, QStringLiteral("untouched"));
            QCOMPARE(host.dispIds(), QList<int> { DispGetDatabaseType }); // an empty request calls nothing
        }
        QCOMPARE(host.refCount, 0L);
        QVERIFY(answerer.unexpected.isEmpty());
        QCOMPARE(answerer.seen.size(), warned ? 1 : 0);
        if (warned) {
            const SeenDialog &box = answerer.seen.first();
            QCOMPARE(box.title, QStringLiteral("警告"));
            QCOMPARE(box.text, QStringLiteral("获取数据库类型失败!"));
            QCOMPARE(box.icon, int(QMessageBox::Warning));
            QCOMPARE(box.buttons, QStringList { QStringLiteral("OK") });
            QCOMPARE(owner, &window);
        }
    }

    void constructionWithoutService()
    {
        ModalAnswerer answerer;
        answerer.press(QStringLiteral("Ok"));
        const std::unique_ptr<TTesselClass> env = openEnvironment(CoorDispRef(), nullptr);
        QCOMPARE(env->DbKind(), QStringLiteral("SQLSERVER"));
        QCOMPARE(answerer.seen.size(), 1);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void environmentItemsAlone()
    {
        // Items 1, 3 and 4 make their calls and never reach the parameter table,
        // which here would fail for want of a unit type.
        FakeCoorDisp host;
        scriptHost(host, parameterRows({}));
        TTesselClass env(CoorDispRef(&host), nullptr);
        host.clearCalls();

        TsysmsgInfo info = presetInfo();
        info.OperatorCode = OperatorCode;
        QString errorText;
        QVERIFY(getInfo(env, info, { 1, 3, 4 }, errorText));
        QCOMPARE(host.dispIds(), (QList<int> { DispGetServerYearMonth, DispGetServerDate, DispGetOperatorName }));
        QCOMPARE(info.ServerYearMonth, QStringLiteral("202612"));
        QCOMPARE(info.ServerDate, QStringLiteral("20261209")); // the first 8 of 10 characters
        QCOMPARE(info.OperatorName, QStringLiteral("张三"));
        QCOMPARE(info.ServerDateTime, QStringLiteral("旧"));
        QCOMPARE(info.DbKind, QStringLiteral("SQLSERVER"));
        // The look-up gets 1 and the operator code as text.
        const QVariantList args = host.callsOf(DispGetOperatorName).first().args;
        QCOMPARE(args, (QVariantList { 1, OperatorCode }));

        // A short date stays whole.
        host.on(DispGetServerDate, FakeCoorDisp::succeed(0, QStringLiteral("202612")));
        QVERIFY(getInfo(env, info, { 3 }, errorText));
        QCOMPARE(info.ServerDate, QStringLiteral("202612"));
    }

    void operatorNameNeedsACode()
    {
        FakeCoorDisp host;
        scriptHost(host, parameterRows({}));
        TTesselClass env(CoorDispRef(&host), nullptr);
        host.clearCalls();
        TsysmsgInfo info = presetInfo();
        QString errorText;
        QVERIFY(getInfo(env, info, { 4 }, errorText));
        QVERIFY(host.calls.isEmpty());
        QCOMPARE(info.OperatorName, QStringLiteral("旧"));
    }

    void dateTimeGoesOnToTheParameters()
    {
        FakeCoorDisp host;
        scriptHost(host, parameterRows({ row("dwmc", "总部") }));
        TTesselClass env(CoorDispRef(&host), nullptr);
        host.clearCalls();
        TsysmsgInfo info = presetInfo();
        QString errorText;
        QVERIFY(!getInfo(env, info, { 2 }, errorText));
        QCOMPARE(errorText, QStringLiteral("没有可利用的单位类型！"));
        QCOMPARE(host.dispIds(), (QList<int> { DispGetServerDateTime, DispGetSystemParameters }));
        QCOMPARE(info.ServerDateTime, QStringLiteral("2026120910:11:12"));

        // The table is fetched anew on every call that reaches it.
        host.on(DispGetSystemParameters, FakeCoorDisp::succeed(0, parameterRows({ row("dwlx", "03") })));
        QVERIFY(getInfo(env, info, { 2 }, errorText));
        QCOMPARE(host.count(DispGetSystemParameters), 2);
        QCOMPARE(info.dwlx, QStringLiteral("03"));
    }

    void hostFailure_data()
    {
        QTest::addColumn<int>("failing");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QList<int>>("calls"); // what was called, in order
        QTest::newRow("year and month") << int(DispGetServerYearMonth) << "取得当前年月时出错！"
                                        << QList<int> { DispGetServerYearMonth };
        QTest::newRow("date and time") << int(DispGetServerDateTime) << "取得当前日期时间时出错！"
                                       << QList<int> { DispGetServerYearMonth, DispGetServerDateTime };
        QTest::newRow("date") << int(DispGetServerDate) << "取得当前日期时出错！"
                              << QList<int> { DispGetServerYearMonth, DispGetServerDateTime, DispGetServerDate };
        QTest::newRow("operator name") << int(DispGetOperatorName) << "取得制单人名称时出错！！"
                                       << QList<int> { DispGetServerYearMonth, DispGetServerDateTime, DispGetServerDate,
                                              DispGetOperatorName };
        QTest::newRow("parameters") << int(DispGetSystemParameters) << "取得系统参数时出错！"
                                    << QList<int> { DispGetServerYearMonth, DispGetServerDateTime, DispGetServerDate,
                                           DispGetOperatorName, DispGetSystemParameters };
    }

    void hostFailure()
    {
        QFETCH(int, failing);
        QFETCH(QString, message);
        QFETCH(QList<int>, calls);
        FakeCoorDisp host;
        scriptHost(host, FakeCoorDisp::parameterPacket(FakeCoorDisp::defaultParameters()));
        host.on(failing, FakeCoorDisp::fail(failing == DispGetOperatorName ? 1 : 0, QVariantList { "主机错误" }));
        TTesselClass env(CoorDispRef(&host), nullptr);
        host.clearCalls();

        TsysmsgInfo info = presetInfo();
        info.OperatorCode = OperatorCode;
        QString errorText;
        QVERIFY(!getInfo(env, info, { 0, 1, 2, 3, 4, 13 }, errorText));
        QCOMPARE(errorText, message);
        QCOMPARE(host.dispIds(), calls);
        // What came before the failure is kept, what came after is not touched.
        QCOMPARE(info.ServerYearMonth, QString(calls.size() > 1 ? "202612" : "旧"));
        QCOMPARE(info.ServerDate, QString(calls.size() > 3 ? "20261209" : "旧"));
        QCOMPARE(info.OperatorName, QString(calls.size() > 4 ? "张三" : "旧"));
        QCOMPARE(info.qyny, QStringLiteral("旧"));
    }

    void raisedErrors_data()
    {
        QTest::addColumn<int>("dispId");
        QTest::addColumn<QVariant>("answer"); // invalid: the host raises
        QTest::addColumn<QString>("message"); // empty: any message of its own
        const QVariant raise;
        QTest::newRow("host raises") << int(DispGetServerDate) << raise << "连接已断开";
        QTest::newRow("date is no text") << int(DispGetServerDate) << QVariant(QVariantList { "a" }) << "";
        QTest::newRow("operator packet broken")
            << int(DispGetOperatorName) << QVariant(QByteArray("\xff\x00", 2)) << "";
        QTest::newRow("operator packet without f_zymc")
            << int(DispGetOperatorName) << QVariant(makeTextPacket({ "name" }, { { "张三" } })) << "";
        QTest::newRow("parameter packet broken") << int(DispGetSystemParameters) << QVariant(QByteArray("x")) << "";
        QTest::newRow("parameter packet without f_csz")
            << int(DispGetSystemParameters) << QVariant(makeTextPacket({ "f_Csmc" }, { { "dwlx" } })) << "";
    }

    void raisedErrors()
    {
        QFETCH(int, dispId);
        QFETCH(QVariant, answer);
        QFETCH(QString, message);
        FakeCoorDisp host;
        scriptHost(host, FakeCoorDisp::parameterPacket(FakeCoorDisp::defaultParameters()));
        if (answer.isValid())
            host.on(dispId, FakeCoorDisp::succeed(dispId == DispGetOperatorName ? 1 : 0, answer));
        else
            host.on(dispId, FakeCoorDisp::throwing(QStringLiteral("连接已断开")));
        TTesselClass env(CoorDispRef(&host), nullptr);

        TsysmsgInfo info = presetInfo();
        info.OperatorCode = OperatorCode;
        QString errorText;
        QVERIFY(!getInfo(env, info, { 0, 1, 2, 3, 4, 13 }, errorText));
        if (message.isEmpty()) {
            QVERIFY(!errorText.isEmpty());
            QVERIFY2(!errorText.startsWith(QStringLiteral("取得")), qPrintable(errorText));
        } else {
            QCOMPARE(errorText, message);
        }
        QCOMPARE(info.ServerYearMonth, QStringLiteral("202612"));
        QCOMPARE(info.qyny, QStringLiteral("旧"));
    }

    void parameters_data()
    {
        QTest::addColumn<QList<QVariantList>>("rows");
        QTest::addColumn<QList<int>>("items");
        QTest::addColumn<QString>("error"); // empty: success
        QTest::addColumn<QVariantMap>("fields"); // expected afterwards

        using Rows = QList<QVariantList>;
        using Items = QList<int>;
        const auto ok = QString();

        QTest::newRow("no dwlx, only defaults asked")
            << Rows { row("dwmc", "总部") } << Items { 76, 73 } << "没有可利用的单位类型！"
            << QVariantMap { { "kpyxcfsp", false }, { "dwlx", "旧" } };
        QTest::newRow("dwlx in capitals") << Rows { row("DWLX", "03") } << Items { 73 } << ok
                                          << QVariantMap { { "dwlx", "03" }, { "kpyxcfsp", true } };
        QTest::newRow("keys match whole") << Rows { row("dwlxx", "03"), row(" dwlx", "03") } << Items { 73 }
                                          << "没有可利用的单位类型！" << QVariantMap {};
        QTest::newRow("first of two rows") << Rows { row("dwlx", "03"), row("dwmc", "第一"), row("DWMC", "第二") }
                                           << Items { 5 } << ok << QVariantMap { { "dwmc", "第一" } };
        QTest::newRow("unrequested fields keep theirs")
            << Rows { row("dwlx", "03"), row("qyny", "202601"), row("dwmc", "总部") } << Items { 0 } << ok
            << QVariantMap { { "qyny", "202601" }, { "dwmc", "旧" }, { "zbbm", "旧" } };
        QTest::newRow("null value as text") << Rows { row("dwlx", "03"), row("dwmc", QVariant()) } << Items { 5 } << ok
                                            << QVariantMap { { "dwmc", "" } };

        // The department code is required only where the unit sells at front counters.
        for (const char *unit : { "01", "02", "11" })
            QTest::addRow("dybm missing, dwlx %s", unit)
                << Rows { row("dwlx", unit) } << Items { 13 } << "没有可利用的连锁编码及前台销售柜组编码！"
                << QVariantMap { { "dwlx", unit }, { "dybm", "旧" } };
        for (const char *unit : { "03", "00", "1", "" })
            QTest::addRow("dybm missing, dwlx '%s'", unit)
                << Rows { row("dwlx", unit) } << Items { 13 } << ok << QVariantMap { { "dybm", "" } };
        QTest::newRow("dybm present") << Rows { row("dwlx", "01"), row("dybm", "0101") } << Items { 13 } << ok
                                      << QVariantMap { { "dybm", "0101" } };

        QTest::newRow("sphsfs missing, dwlx 00")
            << Rows { row("dwlx", "00") } << Items { 19 } << ok << QVariantMap { { "sphsfs", 1 } };
        QTest::newRow("sphsfs missing, dwlx 02") << Rows { row("dwlx", "02") } << Items { 19 }
                                                 << "没有可利用的商品核算方式！" << QVariantMap { { "sphsfs", 99 } };
        QTest::newRow("sphsfs present") << Rows { row("dwlx", "02"), row("sphsfs", "2") } << Items { 19 } << ok
                                        << QVariantMap { { "sphsfs", 2 } };

        const QList<std::pair<const char *, const char *>> masks
            = { { "3", "0.000" }, { "1", "0.0" }, { "0", "0." }, { "-2", "0." }, { " 2", "0.00" } };
        for (const auto &[n, mask] : masks)
            QTest::addRow("sljd '%s'", n)
                << Rows { row("dwlx", "03"), row("sljd", n) } << Items { 14 } << ok << QVariantMap { { "sljd", mask } };
        QTest::newRow("sljd missing") << Rows { row("dwlx", "03") } << Items { 14 } << "没有可利用的数量精度！"
                                      << QVariantMap { { "sljd", "旧" } };
        QTest::newRow("sljd not a number") << Rows { row("dwlx", "03"), row("sljd", "abc") } << Items { 14 }
                                           << "系统参数 sljd 的值“abc”不是有效的整数！" << QVariantMap {};
        QTest::newRow("sljd beyond any precision")
            << Rows { row("dwlx", "03"), row("sljd", "2000000000") } << Items { 14 }
            << "系统参数 sljd 的值“2000000000”超出范围（最多 255 位小数）！" << QVariantMap { { "sljd", "旧" } };

        QTest::newRow("ypthphkz in capitals is no match") << Rows { row("dwlx", "03"), row("YPTHPHKZ", "0") }
                                                          << Items { 22 } << ok << QVariantMap { { "ypthphkz", "1" } };
        QTest::newRow("ypthphkz 0") << Rows { row("dwlx", "03"), row("ypthphkz", "0") } << Items { 22 } << ok
                                    << QVariantMap { { "ypthphkz", "0" } };
        QTest::newRow("ypthphkz 2") << Rows { row("dwlx", "03"), row("ypthphkz", "2") } << Items { 22 } << ok
                                    << QVariantMap { { "ypthphkz", "0" } };
        QTest::newRow("ysqr 2") << Rows { row("dwlx", "03"), row("ysqr", "2") } << Items { 11 } << ok
                                << QVariantMap { { "ysqr", "0" } };
        QTest::newRow("ysqr 1") << Rows { row("dwlx", "03"), row("ysqr", "1") } << Items { 11 } << ok
                                << QVariantMap { { "ysqr", "1" } };
        QTest::newRow("ysqr missing") << Rows { row("dwlx", "03") } << Items { 11 } << "没有可利用的验收确认！"
                                      << QVariantMap { { "ysqr", "旧" } };

        QTest::newRow("lskz Y") << Rows { row("dwlx", "03"), row("lskz", "Y") } << Items { 15 } << ok
                                << QVariantMap { { "lskz", false } };
        QTest::newRow("lskz 1, kpyxcfsp missing") << Rows { row("dwlx", "03"), row("lskz", "1") } << Items { 15, 73 }
                                                  << ok << QVariantMap { { "lskz", true }, { "kpyxcfsp", true } };
        QTest::newRow("kpyxcfsp empty") << Rows { row("dwlx", "03"), row("kpyxcfsp", "") } << Items { 73 } << ok
                                        << QVariantMap { { "kpyxcfsp", false } };
        QTest::newRow("lskz missing") << Rows { row("dwlx", "03") } << Items { 15 } << "没有可利用的连锁控制！"
                                      << QVariantMap { { "lskz", true } };

        const QList<std::pair<const char *, int>> limits
            = { { "  ", 100000 }, { "", 100000 }, { "500", 500 }, { " 5", 5 }, { "$10", 16 } };
        for (const auto &[value, n] : limits)
            QTest::addRow("psxzsl '%s'", value) << Rows { row("dwlx", "03"), row("psxzsl", value) } << Items { 77 }
                                                << ok << QVariantMap { { "psxzsl", n } };
        QTest::newRow("psxzsl missing") << Rows { row("dwlx", "03") } << Items { 77 } << ok
                                        << QVariantMap { { "psxzsl", 100000 } };
        QTest::newRow("psxzsl trailing blank")
            << Rows { row("dwlx", "03"), row("psxzsl", "5 ") } << Items { 77 }
            << "系统参数 psxzsl 的值“5 ”不是有效的整数！" << QVariantMap { { "psxzsl", 99 } };

        QTest::newRow("spfzflx empty") << Rows { row("dwlx", "03"), row("spfzflx", "") } << Items { 75 } << ok
                                       << QVariantMap { { "spfzflx", 0 } };
        QTest::newRow("spfzflx missing") << Rows { row("dwlx", "03") } << Items { 75 } << ok
                                         << QVariantMap { { "spfzflx", 0 } };
        QTest::newRow("spfzflx abc") << Rows { row("dwlx", "03"), row("spfzflx", "abc") } << Items { 75 }
                                     << "系统参数 spfzflx 的值“abc”不是有效的整数！"
                                     << QVariantMap { { "spfzflx", 99 } };
        QTest::newRow("whole number out of range")
            << Rows { row("dwlx", "03"), row("fgckjb", "2147483648") } << Items { 18 }
            << "系统参数 fgckjb 的值“2147483648”不是有效的整数！" << QVariantMap { { "fgckjb", 99 } };
        QTest::newRow("whole number null") << Rows { row("dwlx", "03"), row("fgckjb", QVariant()) } << Items { 18 }
                                           << "系统参数 fgckjb 的值“”不是有效的整数！" << QVariantMap {};

        QTest::newRow("mdzdysj 0, mdzdyjj 1")
            << Rows { row("dwlx", "03"), row("mdzdysj", "0"), row("mdzdyjj", "1") } << Items { 89 } << ok
            << QVariantMap { { "mdzdysj", false }, { "mdzdyjj", false } };
        QTest::newRow("mdzdysj 1 alone") << Rows { row("dwlx", "03"), row("mdzdysj", "1") } << Items { 89 } << ok
                                         << QVariantMap { { "mdzdysj", true }, { "mdzdyjj", false } };
        QTest::newRow("both 1") << Rows { row("dwlx", "03"), row("mdzdysj", "1"), row("mdzdyjj", "1") } << Items { 89 }
                                << ok << QVariantMap { { "mdzdysj", true }, { "mdzdyjj", true } };
        QTest::newRow("neither") << Rows { row("dwlx", "03") } << Items { 89 } << ok
                                 << QVariantMap { { "mdzdysj", false }, { "mdzdyjj", false } };

        QTest::newRow("xpdjmrsl") << Rows { row("dwlx", "03"), row("xpdjmrsl", "2.5") } << Items { 99 } << ok
                                  << QVariantMap { { "xpdjmrsl", 2.5 } };
        QTest::newRow("xpdjmrsl missing")
            << Rows { row("dwlx", "03") } << Items { 99 } << ok << QVariantMap { { "xpdjmrsl", 17.0 } };
        QTest::newRow("xpdjmrsl not a number")
            << Rows { row("dwlx", "03"), row("xpdjmrsl", "inf") } << Items { 99 }
            << "系统参数 xpdjmrsl 的值“inf”不是有效的数值！" << QVariantMap { { "xpdjmrsl", 1.5 } };

        // The message is that of the earliest key in processing order, whatever
        // the order of the request.
        QTest::newRow("dwmc before sh") << Rows { row("dwlx", "03") } << Items { 6, 5 } << "没有可利用的单位名称！"
                                        << QVariantMap {};
        QTest::newRow("sh after dwmc is set")
            << Rows { row("dwlx", "03"), row("dwmc", "总部") } << Items { 6, 5 } << "没有可利用的税号！"
            << QVariantMap { { "dwmc", "总部" }, { "sh", "旧" } };
        QTest::newRow("unassigned item still loads")
            << Rows { row("dwlx", "03") } << Items { 12 } << ok << QVariantMap { { "dwlx", "03" } };
    }

    void parameters()
    {
        QFETCH(QList<QVariantList>, rows);
        QFETCH(QList<int>, items);
        QFETCH(QString, error);
        QFETCH(QVariantMap, fields);
        FakeCoorDisp host;
        scriptHost(host, parameterRows(rows));
        TTesselClass env(CoorDispRef(&host), nullptr);

        TsysmsgInfo info = presetInfo();
        QString errorText;
        const bool ok = getInfo(env, info, itemsOf(items), errorText);
        QCOMPARE(errorText, error);
        QCOMPARE(ok, error.isEmpty());
        for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
            const QVariant actual = fieldOf(info, it.key());
            QVERIFY2(actual == it.value() && actual.typeId() == it.value().typeId(),
                qPrintable(
                    QStringLiteral("%1 is %2, expected %3").arg(it.key(), actual.toString(), it.value().toString())));
        }
    }

    void columnNamesInAnyCase()
    {
        FakeCoorDisp host;
        scriptHost(host, makeTextPacket({ "F_CSMC", "F_CSZ" }, { { "dwlx", "03" }, { "dwmc", "总部" } }));
        TTesselClass env(CoorDispRef(&host), nullptr);
        TsysmsgInfo info;
        QString errorText;
        QVERIFY2(getInfo(env, info, { 5 }, errorText), qPrintable(errorText));
        QCOMPARE(info.dwmc, QStringLiteral("总部"));
    }

    void everyItemFromAFullTable()
    {
        // Every rule stores into a field of its own type: a table holding every
        // key with a value that converts loads every item.
        QList<QVariantList> rows;
        for (const ParameterRule &r : parameterRules()) {
            const bool number = std::holds_alternative<qint32 TsysmsgInfo::*>(r.field)
                || std::holds_alternative<double TsysmsgInfo::*>(r.field) || r.rule == ParamRule::QuantityMask;
            rows << row(QString::fromUtf8(r.key), number ? QStringLiteral("2") : QStringLiteral("1"));
        }
        FakeCoorDisp host;
        scriptHost(host, parameterRows(rows));
        TTesselClass env(CoorDispRef(&host), nullptr);
        TsysmsgInfo info;
        QString errorText;
        SysmsgItems all;
        for (int i = 0; i < SysmsgItems::Count; ++i)
            all.insert(i);
        QVERIFY2(getInfo(env, info, all, errorText), qPrintable(errorText));
        QCOMPARE(parameterRules().size(), size_t(109));
        QCOMPARE(info.sljd, QStringLiteral("0.00"));
        QCOMPARE(info.jzsjzdtj, true);
        QCOMPARE(info.psfpbdyhs, 2);
        QCOMPARE(info.xpdjmrsl, 2.0);
        QCOMPARE(info.mdzdyjj, true);
    }

    void formRequests_data()
    {
        QTest::addColumn<QList<int>>("items");
        QTest::addColumn<QString>("missingKey"); // removed from the table the form needs
        QTest::addColumn<QString>("error");
        const QList<int> query { 0, 1, 2, 3, 4, 13 };
        const QList<int> maintenance { 4, 5, 13, 100 };
        QTest::newRow("query, all there") << query << ""
                                          << "";
        QTest::newRow("query without dwlx") << query << "dwlx"
                                            << "没有可利用的单位类型！";
        QTest::newRow("query without qyny") << query << "qyny"
                                            << "没有可利用的启用年月！";
        QTest::newRow("query without dybm") << query << "dybm"
                                            << "没有可利用的连锁编码及前台销售柜组编码！";
        QTest::newRow("maintenance, all there") << maintenance << ""
                                                << "";
        QTest::newRow("maintenance without dwlx") << maintenance << "dwlx"
                                                  << "没有可利用的单位类型！";
        QTest::newRow("maintenance without dybm") << maintenance << "dybm"
                                                  << "没有可利用的连锁编码及前台销售柜组编码！";
        QTest::newRow("maintenance without dwmc") << maintenance << "dwmc"
                                                  << "没有可利用的单位名称！";
    }

    void formRequests()
    {
        QFETCH(QList<int>, items);
        QFETCH(QString, missingKey);
        QFETCH(QString, error);
        // Exactly the keys the two screens need, nothing else.
        QMap<QString, QString> table { { "dwlx", "01" }, { "dybm", "0101" }, { "qyny", "202601" }, { "dwmc", "总部" } };
        table.remove(missingKey);
        FakeCoorDisp host;
        scriptHost(host, FakeCoorDisp::parameterPacket(table));
        TTesselClass env(CoorDispRef(&host), nullptr);

        TsysmsgInfo info = presetInfo();
        info.OperatorCode = OperatorCode;
        QString errorText;
        QCOMPARE(getInfo(env, info, itemsOf(items), errorText), error.isEmpty());
        QCOMPARE(errorText, error);
        QCOMPARE(info.OperatorName, QStringLiteral("张三"));
        if (error.isEmpty()) {
            QCOMPARE(info.dwlx, QStringLiteral("01"));
            QCOMPARE(info.dybm, QStringLiteral("0101"));
            if (items.contains(100))
                QCOMPARE(info.zbbm, QString()); // its default
        }
    }
};

int runEnvironmentTests(int argc, char **argv)
{
    TestEnvironment t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_environment.moc"

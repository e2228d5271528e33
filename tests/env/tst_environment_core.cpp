// The environment object without a screen: its constructor's warning reaches
// whoever asked for it, at construction, and nothing shows a window.
#include "FakeCoorDisp.h"

#include "env/TTesselClass.h"

#include <QCoreApplication>
#include <QTest>

using namespace sqda;
using namespace sqda::test;

class TestEnvironmentCore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void constructorWarning_data()
    {
        QTest::addColumn<int>("host"); // 0 answers, 1 throws, 2 none
        QTest::addColumn<QString>("dbKind");
        QTest::addColumn<QStringList>("warnings");
        QTest::newRow("answers") << 0 << QStringLiteral("ORACLE") << QStringList {};
        QTest::newRow("throws") << 1 << QStringLiteral("SQLSERVER")
                                << QStringList { QStringLiteral("获取数据库类型失败!") };
        QTest::newRow("no service") << 2 << QStringLiteral("SQLSERVER")
                                    << QStringList { QStringLiteral("获取数据库类型失败!") };
    }

    void constructorWarning()
    {
        QFETCH(int, host);
        QFETCH(QString, dbKind);
        QFETCH(QStringList, warnings);
        FakeCoorDisp service;
        if (host == 0)
            service.on(DispGetDatabaseType, [](QVariantList &) -> QVariant { return QStringLiteral("ORACLE"); });
        else
            service.on(DispGetDatabaseType, FakeCoorDisp::throwing(QStringLiteral("自动化错误")));
        QStringList seen;
        bool constructed = false;
        {
            TTesselClass env(host == 2 ? CoorDispRef() : CoorDispRef(&service), [&](const QString &text) {
                QVERIFY(!constructed); // while the constructor runs
                seen << text;
            });
            constructed = true;
            QCOMPARE(env.DbKind(), dbKind);
        }
        QCOMPARE(seen, warnings);
        QCOMPARE(service.refCount, 0L);
    }
};

QTEST_GUILESS_MAIN(TestEnvironmentCore)
#include "tst_environment_core.moc"

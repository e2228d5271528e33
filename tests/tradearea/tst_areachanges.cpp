// The host work of add, rename and delete without a screen: what is sent, and
// what each outcome carries back, against an in-memory host.
#include "AreaHostFake.h"

#include "data/ClientDataSet.h"
#include "host/CoorDisp.h"
#include "tradearea/AreaChanges.h"

#include <QTest>

using namespace sqda;
using namespace sqda::test;

class TestAreaChanges : public QObject
{
    Q_OBJECT

    std::unique_ptr<AreaHostFake> m_fake;

    AreaChanges changes() const
    {
        return AreaChanges(CoorDisp(CoorDispRef(m_fake->service.get())), QStringLiteral("0101"));
    }

private Q_SLOTS:
    void init()
    {
        m_fake = std::make_unique<AreaHostFake>();
        m_fake->add(QStringLiteral("01"), QStringLiteral("东区"), 1, 0);
        m_fake->add(QStringLiteral("0101"), QStringLiteral("东一"), 2, 1);
    }

    void cleanup() { m_fake.reset(); }

    void checkCode_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::addColumn<QString>("question");
        QTest::addColumn<int>("level");
        QTest::newRow("new second level")
            << QStringLiteral("0102") << QString() << QStringLiteral("你想建立第2级商圈吗？") << 2;
        QTest::newRow("taken") << QStringLiteral("0101") << QStringLiteral("商圈编码已经存在！") << QString() << 0;
        QTest::newRow("no parent") << QStringLiteral("0201") << QStringLiteral("上级商圈不存在！") << QString() << 0;
    }

    void checkCode()
    {
        QFETCH(QString, code);
        QFETCH(QString, error);
        QFETCH(QString, question);
        QFETCH(int, level);
        AreaChanges c = changes();
        const Result<AreaChanges::CodeCheck> check = c.checkCode(code);
        QCOMPARE(check.error(), error);
        QCOMPARE(m_fake->service->callsOf(DispCheckAreaCode).last().args.at(0).toList(),
            (QVariantList { QStringLiteral("0101"), code }));
        if (!error.isEmpty())
            return;
        QCOMPARE(check->question, question);
        QCOMPARE(*check->level(), level);
    }

    // The level comes as text; one that is no whole number is an error naming it.
    void levelText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("padded") << QStringLiteral(" 3 ") << QString();
        QTest::newRow("word") << QStringLiteral("一") << QStringLiteral("'一' is not a valid integer value");
        QTest::newRow("empty") << QString() << QStringLiteral("'' is not a valid integer value");
    }

    void levelText()
    {
        QFETCH(QString, text);
        QFETCH(QString, error);
        const Result<int> level = AreaChanges::CodeCheck { QString(), text }.level();
        QCOMPARE(level.error(), error);
        if (level)
            QCOMPARE(*level, 3);
    }

    // The row goes as a packet of the screen's five columns, a leaf; the host's
    // answer is the parent's code. A refusal keeps the unsent row in the set.
    void insert()
    {
        AreaChanges c = changes();
        ClientDataSet rows;
        const Result<QString> parent = c.insert(rows, QStringLiteral("0102"), QStringLiteral("东二"), 2);
        QVERIFY2(parent.ok(), qPrintable(parent.error()));
        QCOMPARE(*parent, QStringLiteral("01"));
        ClientDataSet sent;
        QVERIFY(sent.loadPacket(m_fake->service->callsOf(DispInsertArea).last().args.at(0).toByteArray()));
        QCOMPARE(sent.recordCount(), 1);
        QCOMPARE(sent.fieldByName(u"f_bmbm")->asString(), QStringLiteral("0101"));
        QCOMPARE(sent.fieldByName(u"f_sqbm")->asString(), QStringLiteral("0102"));
        QCOMPARE(sent.fieldByName(u"f_sqmc")->asString(), QStringLiteral("东二"));
        QCOMPARE(sent.fieldByName(u"f_jb")->asInteger(), 2);
        QCOMPARE(sent.fieldByName(u"f_mj")->asInteger(), 1);
        QCOMPARE(m_fake->departmentRows().size(), 3);

        m_fake->service->once(DispInsertArea,
            FakeCoorDisp::fail(0, QVariantList { QStringLiteral("主键冲突"), QStringLiteral("请重试") }));
        const Result<QString> refused = c.insert(rows, QStringLiteral("0103"), QStringLiteral("东三"), 2);
        QCOMPARE(refused.error(), QStringLiteral("主键冲突\r\n请重试"));
        QCOMPARE(rows.fieldByName(u"f_sqbm")->asString(), QStringLiteral("0103"));
        QCOMPARE(m_fake->departmentRows().size(), 3);
    }

    void remove()
    {
        AreaChanges c = changes();
        QCOMPARE(c.remove(QStringLiteral("01")).error(), QStringLiteral("该商圈有下级商圈，不能删除！"));
        QCOMPARE(m_fake->departmentRows().size(), 2);
        QVERIFY(c.remove(QStringLiteral("0101")).ok());
        QCOMPARE(m_fake->service->callsOf(DispDeleteArea).last().args.at(0).toList(),
            (QVariantList { QStringLiteral("0101"), QStringLiteral("0101") }));
        QCOMPARE(m_fake->departmentRows().size(), 1);
        QCOMPARE(m_fake->departmentRows().first().leaf, 1); // the parent is a leaf again
    }

    // Code and name go into the statement as given, quotes doubled.
    void rename()
    {
        AreaChanges c = changes();
        QVERIFY(c.rename(QStringLiteral("0101"), QStringLiteral("东'一 ")).ok());
        QCOMPARE(m_fake->service->callsOf(DispExecuteSql).last().args.at(0).toString(),
            QStringLiteral("update tbsqda set f_sqmc='东''一 ' where f_sqbm='0101' and f_bmbm='0101'"));
        QCOMPARE(m_fake->departmentRows().at(1).name, QStringLiteral("东'一 "));
        m_fake->service->once(DispExecuteSql, FakeCoorDisp::fail(0, QStringLiteral("not an array")));
        QCOMPARE(c.rename(QStringLiteral("0101"), QStringLiteral("x")).error(), QStringLiteral("未知错误！"));
    }
};

QTEST_GUILESS_MAIN(TestAreaChanges)
#include "tst_areachanges.moc"

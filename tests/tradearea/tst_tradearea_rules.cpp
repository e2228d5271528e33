// The screen's pure rules: statements and their quoting, code checks, node texts,
// the level display, the row set's columns, and where the tree load puts rows.
#include "tradearea/AreaSql.h"
#include "tradearea/CodeRules.h"
#include "tradearea/TradeArea.h"
#include "tradearea/TradeAreaTreeBuilder.h"

#include "FakeCoorDisp.h"

#include "data/Packet.h"

#include <QTest>

using namespace sqda;
using Placements = std::vector<std::int32_t>;
Q_DECLARE_METATYPE(Placements)

class TestTradeAreaRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void statements()
    {
        QCOMPARE(AreaSql::treeLoad(QStringLiteral("0101")),
            QStringLiteral("select * from tbSqda where f_bmbm='0101' order by F_Sqbm  "));
        QCOMPARE(AreaSql::recordLoad(QStringLiteral("0101"), QStringLiteral("0203")),
            QStringLiteral("select * from tbsqda where f_bmbm='0101' and f_sqbm='0203'"));
        QCOMPARE(AreaSql::rename(QStringLiteral("东区"), QStringLiteral("0203"), QStringLiteral("0101")),
            QStringLiteral("update tbsqda set f_sqmc='东区' where f_sqbm='0203' and f_bmbm='0101'"));
        // An empty department is sent as it is.
        QCOMPARE(
            AreaSql::treeLoad(QString()), QStringLiteral("select * from tbSqda where f_bmbm='' order by F_Sqbm  "));
    }

    void quotesAreDoubledInEveryValue()
    {
        QCOMPARE(AreaSql::literal(u"O'Brien''s"), QStringLiteral("'O''Brien''''s'"));
        QCOMPARE(AreaSql::literal(u"'"), QStringLiteral("''''"));
        // A name that tries to end the statement stays one literal.
        QCOMPARE(AreaSql::rename(QStringLiteral("x' where 1=1 --"), QStringLiteral("01'"), QStringLiteral("d'")),
            QStringLiteral("update tbsqda set f_sqmc='x'' where 1=1 --' where f_sqbm='01''' and f_bmbm='d'''"));
    }

    void newAreaChecks_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty code") << QString() << QStringLiteral("东区") << QStringLiteral("商圈编码不能为空!");
        QTest::newRow("blank code") << QStringLiteral("   ") << QStringLiteral("东区")
                                    << QStringLiteral("商圈编码不能为空!");
        QTest::newRow("one character") << QStringLiteral(" 1 ") << QStringLiteral("东区")
                                       << QStringLiteral("第一级商圈编码长度不能为1位!");
        QTest::newRow("code before name")
            << QStringLiteral("1") << QString() << QStringLiteral("第一级商圈编码长度不能为1位!");
        QTest::newRow("blank name") << QStringLiteral("01") << QStringLiteral("  ")
                                    << QStringLiteral("商圈名称不能为空!");
        QTest::newRow("two characters pass") << QStringLiteral("01") << QStringLiteral("东区") << QString();
        QTest::newRow("twelve pass") << QStringLiteral("012345678901") << QStringLiteral("x") << QString();
    }

    void newAreaChecks()
    {
        QFETCH(QString, code);
        QFETCH(QString, name);
        QFETCH(QString, message);
        QCOMPARE(CodeRules::problemMessage(CodeRules::checkNewArea(code, name)), message);
    }

    void nodeTexts() { QCOMPARE(CodeRules::nodeText(u"0101", u"东 区 一"), QStringLiteral("0101 东 区 一")); }

    void codeKeyFilter()
    {
        for (QChar c : QStringLiteral("0123456789(\b\r"))
            QVERIFY2(CodeRules::isCodeCharacterAccepted(c), qPrintable(QString(c)));
        for (QChar c : QStringLiteral("aZ )-.＋一 \t"))
            QVERIFY2(!CodeRules::isCodeCharacterAccepted(c), qPrintable(QString(c)));
    }

    void codeLevels_data()
    {
        QTest::addColumn<QString>("levels");
        QTest::addColumn<QString>("shown");
        QTest::newRow("four") << QStringLiteral("2223") << QStringLiteral("[2]-[2]-[2]-[3]");
        QTest::newRow("one") << QStringLiteral("4") << QStringLiteral("[4]");
        QTest::newRow("any characters") << QStringLiteral("a b-c") << QStringLiteral("[a]-[ ]-[b]-[-]-[c]");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("outside the basic plane") << QStringLiteral("2😀") << QStringLiteral("[2]-[😀]");
    }

    void codeLevels()
    {
        QFETCH(QString, levels);
        QFETCH(QString, shown);
        QCOMPARE(CodeRules::formatCodeLevels(levels), shown);
    }

    void placement_data()
    {
        constexpr std::int32_t R = TradeAreaTreeBuilder::UnderRoot, T = TradeAreaTreeBuilder::TopLevel,
                               N = TradeAreaTreeBuilder::NoNode;
        QTest::addColumn<Placements>("levels");
        QTest::addColumn<Placements>("placements");
        // The second level-3 row goes under the last level-2 row before it, which
        // belongs to the first level-1 area.
        QTest::newRow("1 2 3 1 3") << Placements { 1, 2, 3, 1, 3 } << Placements { R, 0, 1, R, 1 };
        QTest::newRow("first row level 2") << Placements { 2, 1, 2 } << Placements { T, R, 1 };
        QTest::newRow("0, 12 and 13") << Placements { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, -1 }
                                      << Placements { N, R, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, N, N };
        QTest::newRow("deep row without parent level") << Placements { 1, 3 } << Placements { R, T };
        QTest::newRow("slots are never emptied") << Placements { 1, 2, 1, 2, 3 } << Placements { R, 0, R, 2, 3 };
    }

    void placement()
    {
        QFETCH(Placements, levels);
        QFETCH(Placements, placements);
        QCOMPARE(TradeAreaTreeBuilder::place(levels), placements);
    }

    void readRowsKeepsTextsAsSent()
    {
        const FieldDefs defs { { QStringLiteral("F_SQBM"), FieldType::String, 12, {} },
            { QStringLiteral("f_sqmc"), FieldType::String, 40, {} },
            { QStringLiteral("f_jb"), FieldType::String, 4, {} } };
        Result<DataStore> store = Packet::decode(test::makePacket(defs,
            { { QStringLiteral("01"), QStringLiteral(" 东 区 "), QStringLiteral("1") },
                { QStringLiteral("0101"), QVariant(), QVariant() } }));
        QVERIFY(store);
        const Result<TradeAreaTreeBuilder::Rows> read = TradeAreaTreeBuilder::readRows(*store);
        QVERIFY2(read.ok(), qPrintable(read.error()));
        const TradeAreaTreeBuilder::Rows &rows = *read;
        QCOMPARE(rows.texts, (std::vector<QString> { QStringLiteral("01  东 区 "), QStringLiteral("0101 ") }));
        QCOMPARE(rows.codes, (std::vector<QString> { QStringLiteral("01"), QStringLiteral("0101") }));
        QCOMPARE(rows.levels, (Placements { 1, 0 }));
        // The tree load's way: the same texts, each code as its length at the text's beginning.
        const Result<TradeAreaTreeBuilder::Rows> inTexts
            = TradeAreaTreeBuilder::readRows(*store, TradeAreaTreeBuilder::Codes::InTexts);
        QVERIFY2(inTexts.ok(), qPrintable(inTexts.error()));
        QCOMPARE(inTexts->texts, rows.texts);
        QVERIFY(inTexts->codes.empty());
        QCOMPARE(inTexts->codeLengths, (Placements { 2, 4 }));
    }

    void readRowsRefusesBadInput_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<QString>("message");
        const FieldDefs textLevel { { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
            { QStringLiteral("f_sqmc"), FieldType::String, 40, {} },
            { QStringLiteral("f_jb"), FieldType::String, 4, {} } };
        QTest::newRow("level not a number")
            << test::makePacket(textLevel, { { QStringLiteral("01"), QStringLiteral("a"), QStringLiteral("x1") } })
            << QStringLiteral("'x1' is not a valid integer value");
        QTest::newRow("no level column") << test::makeTextPacket({ QStringLiteral("f_sqbm"), QStringLiteral("f_sqmc") },
            {}) << QStringLiteral("Field 'f_jb' not found");
    }

    void readRowsRefusesBadInput()
    {
        QFETCH(QByteArray, packet);
        QFETCH(QString, message);
        Result<DataStore> store = Packet::decode(packet);
        QVERIFY(store);
        QCOMPARE(TradeAreaTreeBuilder::readRows(*store).error(), message);
    }
};

QTEST_GUILESS_MAIN(TestTradeAreaRules)
#include "tst_tradearea_rules.moc"

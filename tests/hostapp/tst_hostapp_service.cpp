// The host's data service on SQLite and on a real PostgreSQL server: every
// operation's success and failure, leaf flags, read-only queries, error arrays.
#include "HostTestDatabase.h"

#include "core/CodeLevels.h"
#include "core/DemoData.h"
#include "core/Schema.h"
#include "core/SqlDataService.h"
#include "core/SqlExec.h"

#include "data/DataStore.h"
#include "data/Packet.h"
#include "env/TTesselClass.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QTest>

using namespace kalmora;
using namespace kalmora::test;
using sqda::FieldType;

namespace {

// The one-row packet the maintenance screen sends to InsertArea.
QByteArray areaPacket(
    const QString &dept, const QString &code, const QString &name, const QVariant &level, int rows = 1)
{
    sqda::DataStore s({ { QStringLiteral("f_bmbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqbm"), FieldType::String, 10, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} },
        { QStringLiteral("f_jb"), level.typeId() == QMetaType::QString ? FieldType::String : FieldType::Int32, 0, {} },
        { QStringLiteral("f_mj"), FieldType::Int32, 0, {} } });
    for (int r = 0; r < rows; ++r) {
        s.appendString(0, dept);
        s.appendString(1, code);
        s.appendString(2, name);
        s.appendValue(3, level);
        s.appendInt(4, 1);
        s.commitRow();
    }
    return sqda::Packet::encode(s);
}

sqda::DataStore decoded(const QVariant &packet)
{
    QString error;
    auto store = sqda::Packet::decode(packet.toByteArray(), &error);
    if (!store)
        qFatal("not a packet: %s", qPrintable(error));
    return std::move(*store);
}

// The error value a failed call left: an array of texts, one line each.
QStringList errorLines(const QVariant &v)
{
    QStringList out;
    if (v.typeId() != QMetaType::QVariantList)
        return out;
    for (const QVariant &line : v.toList()) {
        if (line.typeId() != QMetaType::QString)
            return {};
        out << line.toString();
    }
    return out;
}

} // namespace

class TestDataService : public QObject
{
    Q_OBJECT

    std::unique_ptr<HostTestDatabase> m_db;
    SqlDataService::Ptr m_service;

    // A fresh small chain on the row's back end, and a service acting as 0101.
    bool setUp(const QString &department = QStringLiteral("0101"))
    {
        QFETCH(QString, backend);
        m_db = std::make_unique<HostTestDatabase>(backend, &HostTestDatabase::smallChain);
        if (!m_db->isValid()) {
            qWarning("%s", qPrintable(m_db->error()));
            return false;
        }
        QString error;
        m_service = SqlDataService::open(m_db->url(), department, &error);
        if (!m_service)
            qWarning("%s", qPrintable(error));
        return bool(m_service);
    }

    QVariant call(int dispId, QVariantList &args) { return m_service->Invoke(dispId, args); }

    bool callByRef(int dispId, QVariant &inOut)
    {
        QVariantList args { inOut };
        const bool ok = call(dispId, args).toBool();
        inOut = args.value(0);
        return ok;
    }

    bool query(const QString &sql, QVariant &out)
    {
        QVariantList args { sql, QVariant() };
        const bool ok = call(sqda::DispQueryData, args).toBool();
        out = args.value(1);
        return ok;
    }

    QSqlDatabase inspect() { return m_db->inspect(); }

private Q_SLOTS:
    void cleanup()
    {
        m_service.reset();
        m_db.reset();
    }

    void environmentCalls_data() { addBackendColumn(); }
    void environmentCalls()
    {
        QVERIFY(setUp());
        QVariantList none;
        QCOMPARE(call(sqda::DispGetDatabaseType, none).toString(), QStringLiteral("SQLSERVER"));

        QVariant ym, date, dateTime;
        QVERIFY(callByRef(sqda::DispGetServerYearMonth, ym));
        QVERIFY(callByRef(sqda::DispGetServerDate, date));
        QVERIFY(callByRef(sqda::DispGetServerDateTime, dateTime));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{6}$")).match(ym.toString()).hasMatch());
        const QDate day = QDate::fromString(date.toString(), QStringLiteral("yyyyMMdd"));
        QVERIFY2(day.isValid() && qAbs(day.daysTo(QDate::currentDate())) <= 1, qPrintable(date.toString()));
        QVERIFY(date.toString().startsWith(ym.toString()));
        // The library takes the first 8 characters as the date and characters 9 to 16 as the time of day.
        const QString dt = dateTime.toString();
        QCOMPARE(dt.size(), 16);
        QVERIFY(QTime::fromString(dt.mid(8, 8), QStringLiteral("HH:mm:ss")).isValid());
        QVERIFY(QDate::fromString(dt.left(8), QStringLiteral("yyyyMMdd")).isValid());

        QVariant levels = QStringLiteral("0101");
        QVERIFY(callByRef(sqda::DispGetCodeLevels, levels));
        QCOMPARE(levels, QVariant(QStringLiteral("2223")));
        QVariant unknownDept = QStringLiteral("9999");
        QVERIFY(!callByRef(sqda::DispGetCodeLevels, unknownDept));
        QVERIFY(errorLines(unknownDept).join(u' ').contains(QStringLiteral("9999")));

        QVariantList op { 1, QStringLiteral("0001") };
        QVERIFY(call(sqda::DispGetOperatorName, op).toBool());
        const sqda::DataStore names = decoded(op.at(1));
        QCOMPARE(names.rowCount(), 1);
        QCOMPARE(names.defs().at(0).name, QStringLiteral("f_zymc"));
        QCOMPARE(names.value(0, 0).toString(), QStringLiteral("张伟"));
        QVariantList unknownOp { 1, QStringLiteral("7777") };
        QVERIFY(!call(sqda::DispGetOperatorName, unknownOp).toBool());
        QVERIFY(errorLines(unknownOp.at(1)).join(u' ').contains(QStringLiteral("7777")));
    }

    // The library's own environment object, asking for every item there is,
    // gets all of them from this host: the parameter table is complete.
    void environmentObjectGetsEveryItem_data() { addBackendColumn(); }
    void environmentObjectGetsEveryItem()
    {
        QVERIFY(setUp(QStringLiteral("0102")));
        sqda::TTesselClass env(sqda::CoorDispRef(m_service.get()), nullptr);
        QCOMPARE(env.DbKind(), QStringLiteral("SQLSERVER"));
        sqda::TsysmsgInfo info;
        info.OperatorCode = QStringLiteral("0001");
        sqda::SysmsgItems all;
        for (int i = 0; i < sqda::SysmsgItems::Count; ++i)
            all.insert(i);
        const sqda::Status loaded = env.GetSysmsgInfo(info, all);
        QVERIFY2(loaded.ok(), qPrintable(loaded.error()));
        QCOMPARE(info.dwlx, QStringLiteral("01"));
        QCOMPARE(info.dybm, QStringLiteral("0102")); // the session's department, not the table's
        QCOMPARE(info.OperatorName, QStringLiteral("张伟"));
        QCOMPARE(info.ServerDate.size(), 8);
        QCOMPARE(info.sljd, QStringLiteral("0.000"));
    }

    void systemParametersCarryTheSessionDepartment_data() { addBackendColumn(); }
    void systemParametersCarryTheSessionDepartment()
    {
        QVERIFY(setUp(QStringLiteral("0102")));
        QVariant packet;
        QVERIFY(callByRef(sqda::DispGetSystemParameters, packet));
        const sqda::DataStore rows = decoded(packet);
        QCOMPARE(rows.defs().at(0).name, QStringLiteral("f_Csmc"));
        QCOMPARE(rows.defs().at(1).name, QStringLiteral("f_csz"));
        QCOMPARE(rows.rowCount(), DemoData::parameters().size());
        QStringList dybm;
        for (qsizetype r = 0; r < rows.rowCount(); ++r) {
            if (rows.string(r, 0) == QLatin1String("dybm"))
                dybm << rows.string(r, 1).toString();
        }
        QCOMPARE(dybm, QStringList { QStringLiteral("0102") });
    }

    void checkAreaCode_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QVariant>("argument");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("text"); // part of the question or of the error
        struct Case
        {
            const char *name;
            QVariant argument;
            bool ok;
            int level;
            const char *text;
        };
        auto arr = [](const char *dept, const char *code) {
            return QVariant(QVariantList { QString::fromUtf8(dept), QString::fromUtf8(code) });
        };
        const Case cases[] = {
            { "level 3 below an area", arr("0101", "010102"), true, 3, "上海" },
            { "level 1", arr("0101", "03"), true, 1, "“03”" },
            { "level 4 of three digits", arr("0101", "010101001"), true, 4, "黄浦" },
            { "taken", arr("0101", "010101"), false, 0, "已经存在" },
            { "taken in another department only", arr("0102", "02"), true, 1, "“02”" },
            { "parent missing", arr("0101", "0301"), false, 0, "上级商圈“03”不存在" },
            { "length between levels", arr("0101", "010"), false, 0, "2、4、6、9" },
            { "not digits", arr("0101", "01A1"), false, 0, "只能由数字" },
            { "unknown department", arr("9999", "01"), false, 0, "没有设置商圈分级" },
            { "not an array", QVariant(QStringLiteral("0101,01")), false, 0, "两项的数组" },
            { "array of one", QVariant(QVariantList { QStringLiteral("0101") }), false, 0, "两项的数组" },
        };
        for (const QString &b : backends()) {
            for (const Case &c : cases)
                QTest::addRow("%s: %s", qPrintable(b), c.name)
                    << b << c.argument << c.ok << c.level << QString::fromUtf8(c.text);
        }
    }
    void checkAreaCode()
    {
        QFETCH(QVariant, argument);
        QFETCH(bool, ok);
        QFETCH(int, level);
        QFETCH(QString, text);
        QVERIFY(setUp());
        QVariant inOut = argument;
        QCOMPARE(callByRef(sqda::DispCheckAreaCode, inOut), ok);
        if (ok) {
            const QVariantList answer = inOut.toList();
            QCOMPARE(answer.size(), 2);
            QVERIFY(answer.at(0).toString().startsWith(QStringLiteral("你想建立")));
            QVERIFY2(answer.at(0).toString().contains(text), qPrintable(answer.at(0).toString()));
            QCOMPARE(answer.at(1).toString(), QString::number(level));
        } else {
            const QStringList lines = errorLines(inOut);
            QVERIFY(!lines.isEmpty());
            QVERIFY2(lines.join(u' ').contains(text), qPrintable(lines.join(u' ')));
        }
        QCOMPARE(areaCount(inspect()), 5); // a check stores nothing
    }

    void insertAndDeleteKeepLeafFlags_data() { addBackendColumn(); }
    void insertAndDeleteKeepLeafFlags()
    {
        QVERIFY(setUp());
        const QString d = QStringLiteral("0101");
        auto leaf
            = [&](const char *code) { return areaValue(inspect(), d, QString::fromLatin1(code), "f_mj").toInt(); };
        auto insert = [&](const char *code, int level) {
            QVariant v = areaPacket(d, QString::fromLatin1(code), QStringLiteral("新商圈"), level);
            const bool ok = callByRef(sqda::DispInsertArea, v);
            return ok ? v.toString() : QStringLiteral("failed: ") + errorLines(v).join(u' ');
        };
        auto remove = [&](const char *code, QStringList *error = nullptr) {
            QVariant v = QVariantList { d, QString::fromLatin1(code) };
            const bool ok = callByRef(sqda::DispDeleteArea, v);
            if (error)
                *error = errorLines(v);
            return ok;
        };

        // Inserting answers the parent's code and clears its leaf flag.
        QCOMPARE(insert("0201", 2), QStringLiteral("02"));
        QCOMPARE(leaf("02"), 0);
        QCOMPARE(leaf("0201"), 1);
        QCOMPARE(areaValue(inspect(), d, "0201", "f_jb").toInt(), 2);
        QCOMPARE(insert("010102", 3), QStringLiteral("0101"));
        QCOMPARE(insert("03", 1), QString()); // a top-level area has no parent
        QCOMPARE(insert("010102001", 4), QStringLiteral("010102"));
        QCOMPARE(leaf("010102"), 0);

        // Quotes, backslashes and question marks in a name are stored as they are.
        const QString odd = QStringLiteral("圈'\\?'); drop table tbsqda; --");
        QVariant oddPacket = areaPacket(d, QStringLiteral("04"), odd, 1);
        QVERIFY(callByRef(sqda::DispInsertArea, oddPacket));
        QCOMPARE(areaValue(inspect(), d, QStringLiteral("04"), "f_sqmc").toString(), odd);
        QVERIFY(remove("04"));

        // An area with areas below it stays; nothing changes.
        QStringList error;
        QVERIFY(!remove("0101", &error));
        QVERIFY2(error.join(u' ').contains(QStringLiteral("下级商圈")), qPrintable(error.join(u' ')));
        QCOMPARE(areaCount(inspect()), 9);

        // The parent becomes a leaf again only when its last child goes.
        QVERIFY(remove("010102001"));
        QCOMPARE(leaf("010102"), 1);
        QVERIFY(remove("010101"));
        QCOMPARE(leaf("0101"), 0);
        QVERIFY(remove("010102"));
        QCOMPARE(leaf("0101"), 1);
        QVERIFY(remove("0201"));
        QCOMPARE(leaf("02"), 1);
        QVERIFY(remove("03"));

        // Already gone: said so, not reported as done.
        QVERIFY(!remove("03", &error));
        QVERIFY(error.join(u' ').contains(QStringLiteral("不存在")));
        // The other department's area of the same code is untouched throughout.
        QCOMPARE(areaValue(inspect(), QStringLiteral("0102"), QStringLiteral("01"), "f_sqmc").toString(),
            QStringLiteral("姑苏区"));
        QCOMPARE(areaCount(inspect()), 4);
    }

    void insertRefusals_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QVariant>("argument");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("text");
        const QString d = QStringLiteral("0101");
        sqda::DataStore noLevel({ { QStringLiteral("f_bmbm"), FieldType::String, 12, {} },
            { QStringLiteral("f_sqbm"), FieldType::String, 10, {} },
            { QStringLiteral("f_sqmc"), FieldType::String, 40, {} } });
        noLevel.appendString(0, d);
        noLevel.appendString(1, QStringLiteral("03"));
        noLevel.appendString(2, QStringLiteral("x"));
        noLevel.commitRow();
        struct Case
        {
            const char *name;
            QVariant argument;
            const char *code;
            const char *text;
        };
        const Case cases[] = {
            { "taken", areaPacket(d, "010101", "重复", 3), "", "已经存在" },
            { "parent missing", areaPacket(d, "0301", "无上级", 2), "0301", "上级商圈“03”不存在" },
            { "level does not match the code", areaPacket(d, "03", "级别错", 2), "03", "第 1 级" },
            { "level not a number", areaPacket(d, "03", "级别错", QStringLiteral("一")), "03", "第 1 级" },
            { "code not digits", areaPacket(d, "0A", "字母", 1), "0A", "只能由数字" },
            { "blank name", areaPacket(d, "03", "   ", 1), "03", "名称不能为空" },
            { "name too long", areaPacket(d, "03", QString(41, u'长'), 1), "03", "40 个字符" },
            { "two rows", areaPacket(d, "03", "两行", 1, 2), "03", "2 行" },
            { "no rows", areaPacket(d, "03", "零行", 1, 0), "03", "0 行" },
            { "no level column", sqda::Packet::encode(noLevel), "03", "缺少字段" },
            { "not a packet", QByteArray("\xff\x00garbage", 9), "", "数据包无效" },
            { "text instead of a packet", QStringLiteral("0101,03"), "", "数据包" },
            { "unknown department", areaPacket(QStringLiteral("9999"), "01", "无部门", 1), "", "没有设置商圈分级" },
        };
        for (const QString &b : backends()) {
            for (const Case &c : cases)
                QTest::addRow("%s: %s", qPrintable(b), c.name)
                    << b << c.argument << QString::fromUtf8(c.code) << QString::fromUtf8(c.text);
        }
    }
    void insertRefusals()
    {
        QFETCH(QVariant, argument);
        QFETCH(QString, code);
        QFETCH(QString, text);
        QVERIFY(setUp());
        QVariant inOut = argument;
        QVERIFY(!callByRef(sqda::DispInsertArea, inOut));
        const QStringList lines = errorLines(inOut);
        QVERIFY2(lines.join(u' ').contains(text), qPrintable(lines.join(u' ')));
        QCOMPARE(areaCount(inspect()), 5);
        if (!code.isEmpty())
            QVERIFY(!areaValue(inspect(), QStringLiteral("0101"), code, "f_sqbm").isValid());
        QCOMPARE(areaValue(inspect(), QStringLiteral("0101"), QStringLiteral("02"), "f_mj").toInt(), 1);
    }

    // The statements the screens send, in the SQL Server spelling they use.
    void queryDataAnswersThePacketsTheScreensRead_data() { addBackendColumn(); }
    void queryDataAnswersThePacketsTheScreensRead()
    {
        QVERIFY(setUp());
        QVariant packet;
        QVERIFY(query(QStringLiteral("select * from tbSqda where f_bmbm='0101' order by F_Sqbm  "), packet));
        const sqda::DataStore tree = decoded(packet);
        QStringList names;
        for (const sqda::FieldDef &f : tree.defs())
            names << f.name;
        QCOMPARE(names, (QStringList { "f_bmbm", "f_sqbm", "f_sqmc", "f_jb", "f_mj" }));
        QCOMPARE(tree.defs().at(1).type, FieldType::String);
        QCOMPARE(tree.defs().at(3).type, FieldType::Int32);
        QCOMPARE(tree.defs().at(4).type, FieldType::Int32);
        QStringList codes;
        for (qsizetype r = 0; r < tree.rowCount(); ++r)
            codes << tree.string(r, 1).toString();
        QCOMPARE(codes, (QStringList { "01", "0101", "010101", "02" }));
        QCOMPARE(tree.integer(2, 3), 3);

        QVERIFY(query(QStringLiteral("select * from tbsqda where f_bmbm='0101' and f_sqbm='0101'"), packet));
        const sqda::DataStore record = decoded(packet);
        QCOMPARE(record.rowCount(), 1);
        QCOMPARE(record.string(0, 2), QStringLiteral("上海"));

        QVERIFY(query(QStringLiteral("select * from tbsqda sqda where 1=1 and sqda.f_bmbm='0101' and "
                                     "(( f_sqmc LIKE '%区%' )) order by sqda.f_sqbm"),
            packet));
        QCOMPARE(decoded(packet).rowCount(), 2);

        QVERIFY2(query(QStringLiteral("select count(*) as N, null as missing from tbsqda"), packet),
            qPrintable(errorLines(packet).join(u'|')));
        const sqda::DataStore count = decoded(packet);
        QCOMPARE(count.defs().at(0).name, QStringLiteral("n"));
        QVERIFY(count.defs().at(0).type == FieldType::Int32 || count.defs().at(0).type == FieldType::Int64);
        QCOMPARE(count.integer(0, 0), 5);
        QVERIFY(count.isNull(0, 1));
    }

    void queryDataRefusesWrites_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("sql");
        const char *statements[][2] = {
            { "delete", "delete from tbsqda" },
            { "update", "update tbsqda set f_sqmc = 'x'" },
            { "second statement", "select 1; delete from tbsqda" },
            { "commit then write", "select 1; commit; delete from tbsqda" },
            { "write inside a WITH", "with d as (delete from tbsqda returning *) select * from d" },
            { "WITH then write", "with x as (select 1) delete from tbsqda" },
            { "drop", "drop table tbsqda" },
            { "select into", "select * into tbcopy from tbsqda" },
            { "attach", "attach database '/tmp/kalmora-attach.db' as other" },
            { "pragma", "pragma query_only = 0" },
            // A comment the scanner and PostgreSQL end in different places:
            // the server still takes one statement only.
            { "second statement behind a comment", "select 1 --\r; commit; drop table tbsqda; --\nselect 2" },
        };
        for (const QString &b : backends()) {
            for (const auto &s : statements)
                QTest::addRow("%s: %s", qPrintable(b), s[0]) << b << QString::fromUtf8(s[1]);
        }
    }
    void queryDataRefusesWrites()
    {
        QFETCH(QString, sql);
        QVERIFY(setUp());
        QVariant out;
        QVERIFY(!query(sql, out));
        QVERIFY(!errorLines(out).isEmpty());
        QCOMPARE(areaCount(inspect()), 5);
        QCOMPARE(areaValue(inspect(), QStringLiteral("0101"), QStringLiteral("01"), "f_sqmc").toString(),
            QStringLiteral("华东区"));
        QCOMPARE(inspect().tables().size(), Schema::tableNames().size());
        // The refusal left no transaction behind: the next call works.
        QVERIFY(query(QStringLiteral("select f_sqbm from tbsqda"), out));
    }

    void statementErrorsAnswerAnErrorArray_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("dispId");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("text");
        for (const QString &b : backends()) {
            QTest::addRow("%s: query of a missing table", qPrintable(b))
                << b << int(sqda::DispQueryData) << "select * from no_such_table"
                << "查询数据时出错";
            QTest::addRow("%s: duplicate key", qPrintable(b))
                << b << int(sqda::DispExecuteSql)
                << "insert into tbsqda (f_bmbm, f_sqbm, f_sqmc, f_jb, f_mj) values ('0101', '01', 'x', 1, 1)"
                << "执行 SQL 语句时出错";
            QTest::addRow("%s: syntax", qPrintable(b)) << b << int(sqda::DispExecuteSql) << "update tbsqda set where"
                                                       << "执行 SQL 语句时出错";
            QTest::addRow("%s: two statements", qPrintable(b))
                << b << int(sqda::DispExecuteSql)
                << "update tbsqda set f_sqmc = 'x' where f_sqbm = '02'; delete from tbsqda"
                << "一次只能执行一条";
            QTest::addRow("%s: transaction control", qPrintable(b)) << b << int(sqda::DispExecuteSql) << "commit"
                                                                    << "事务由主机管理";
            QTest::addRow("%s: update of nothing", qPrintable(b))
                << b << int(sqda::DispExecuteSql)
                << "update tbsqda set f_sqmc='x' where f_sqbm='0999' and f_bmbm='0101'"
                << "没有找到要修改的记录";
            QTest::addRow("%s: empty", qPrintable(b)) << b << int(sqda::DispExecuteSql) << "  ; "
                                                      << "为空";
        }
    }
    void statementErrorsAnswerAnErrorArray()
    {
        QFETCH(int, dispId);
        QFETCH(QString, sql);
        QFETCH(QString, text);
        QVERIFY(setUp());
        QVariantList args { sql };
        if (dispId == sqda::DispQueryData)
            args << QVariant();
        QVERIFY(!call(dispId, args).toBool());
        const QStringList lines = errorLines(args.last());
        QVERIFY2(!lines.isEmpty() && lines.first().contains(text), qPrintable(lines.join(u'|')));
        QCOMPARE(areaValue(inspect(), QStringLiteral("0101"), QStringLiteral("02"), "f_sqmc").toString(),
            QStringLiteral("华北区"));
        QCOMPARE(areaCount(inspect()), 5);
        QVariant levels = QStringLiteral("0101");
        QVERIFY(callByRef(sqda::DispGetCodeLevels, levels)); // the connection is still usable
    }

    void executeSqlRenames_data() { addBackendColumn(); }
    void executeSqlRenames()
    {
        QVERIFY(setUp());
        QVariant sql = QStringLiteral("update tbsqda set f_sqmc='黄浦''滩' where f_sqbm='010101' and f_bmbm='0101'");
        QVERIFY(callByRef(sqda::DispExecuteSql, sql));
        QCOMPARE(areaValue(inspect(), QStringLiteral("0101"), QStringLiteral("010101"), "f_sqmc").toString(),
            QStringLiteral("黄浦'滩"));
        QVariant same = QStringLiteral("update tbsqda set f_sqmc='黄浦''滩' where f_sqbm='010101' and f_bmbm='0101'");
        QVERIFY(callByRef(sqda::DispExecuteSql, same)); // unchanged name: still one row matched
    }

    void closedServiceFailsCleanly_data() { addBackendColumn(); }
    void closedServiceFailsCleanly()
    {
        QVERIFY(setUp());
        m_service->close();
        QVariant out;
        QVERIFY(!query(QStringLiteral("select 1"), out));
        QVERIFY(errorLines(out).join(u' ').contains(QStringLiteral("关闭")));
        QVariantList none;
        QCOMPARE(call(sqda::DispGetDatabaseType, none).toString(), QStringLiteral("SQLSERVER"));
    }

    void malformedCallsFail_data() { addBackendColumn(); }
    void malformedCallsFail()
    {
        QVERIFY(setUp());
        QVariantList unknown { QStringLiteral("x") };
        QVERIFY(!call(4242, unknown).toBool());
        QVERIFY(errorLines(unknown.at(0)).join(u' ').contains(QStringLiteral("4242")));
        for (int id : { int(sqda::DispQueryData), int(sqda::DispExecuteSql), int(sqda::DispCheckAreaCode),
                 int(sqda::DispInsertArea), int(sqda::DispGetOperatorName), int(sqda::DispGetServerDate) }) {
            QVariantList empty;
            QVERIFY(!call(id, empty).toBool());
        }
        QCOMPARE(areaCount(inspect()), 5);
    }

    // A text argument longer than its column is refused at once, whatever its
    // length: 40 000 digits cost no more than 13 (no prefix of it is built).
    void overlongArgumentsAreRefused_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("dispId");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("text");
        const QString longCode(40000, u'1');
        const QString dept(13, u'0');
        for (const QString &b : backends()) {
            QTest::addRow("%s: delete with a huge code", qPrintable(b))
                << b << int(sqda::DispDeleteArea) << QVariantList { QVariantList { QStringLiteral("0101"), longCode } }
                << "商圈编码太长";
            QTest::addRow("%s: check of a long code", qPrintable(b))
                << b << int(sqda::DispCheckAreaCode)
                << QVariantList { QVariantList { QStringLiteral("0101"), QStringLiteral("0101010101010") } }
                << "商圈编码太长";
            QTest::addRow("%s: check in a long department", qPrintable(b))
                << b << int(sqda::DispCheckAreaCode) << QVariantList { QVariantList { dept, QStringLiteral("01") } }
                << "部门编码太长";
            QTest::addRow("%s: levels of a long department", qPrintable(b))
                << b << int(sqda::DispGetCodeLevels) << QVariantList { dept } << "部门编码太长";
            QTest::addRow("%s: long operator", qPrintable(b))
                << b << int(sqda::DispGetOperatorName) << QVariantList { QVariant(), longCode } << "操作员编码太长";
            QTest::addRow("%s: insert in a long department", qPrintable(b))
                << b << int(sqda::DispInsertArea)
                << QVariantList { areaPacket(dept, QStringLiteral("03"), QStringLiteral("新区"), 1) } << "部门编码太长";
        }
    }
    void overlongArgumentsAreRefused()
    {
        QFETCH(int, dispId);
        QFETCH(QVariantList, args);
        QFETCH(QString, text);
        QVERIFY(setUp());
        QVERIFY(!call(dispId, args).toBool());
        const int errorIndex = dispId == sqda::DispGetOperatorName ? 1 : 0;
        const QStringList lines = errorLines(args.at(errorIndex));
        QVERIFY2(!lines.isEmpty() && lines.first().contains(text), qPrintable(lines.join(u'|')));
        QVERIFY2(lines.first().size() < 100, qPrintable(lines.first())); // the value itself is not repeated
        QCOMPARE(areaCount(inspect()), 5);
    }

    // A rename through ExecuteSql obeys the column's width as InsertArea does,
    // on SQLite too (which would otherwise store any length).
    void executeSqlRefusesTextWiderThanItsColumn_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("sql");
        for (const QString &b : backends()) {
            QTest::addRow("%s: 41 characters", qPrintable(b))
                << b
                << QStringLiteral("update tbsqda set f_sqmc = '%1' where f_bmbm = '0101' and f_sqbm = '02'")
                       .arg(QString(41, u'名'));
            QTest::addRow("%s: a million characters", qPrintable(b))
                << b
                << QStringLiteral("update tbsqda set f_sqmc = '%1' where f_bmbm = '0101' and f_sqbm = '02'")
                       .arg(QString(1000000, u'x'));
            QTest::addRow("%s: insert of a long code", qPrintable(b))
                << b
                << QStringLiteral("insert into tbsqda (f_bmbm, f_sqbm, f_sqmc, f_jb, f_mj) "
                                  "values ('0101', '0301234567890', 'x', 1, 1)");
        }
    }
    void executeSqlRefusesTextWiderThanItsColumn()
    {
        QFETCH(QString, sql);
        QVERIFY(setUp());
        QVariantList args { sql };
        QVERIFY(!call(sqda::DispExecuteSql, args).toBool());
        QVERIFY(errorLines(args.at(0)).value(0).contains(QStringLiteral("执行 SQL 语句时出错")));
        QCOMPARE(areaValue(inspect(), QStringLiteral("0101"), QStringLiteral("02"), "f_sqmc").toString(),
            QStringLiteral("华北区"));
        QCOMPARE(areaCount(inspect()), 5);
        // Forty characters still fit.
        args = { QStringLiteral("update tbsqda set f_sqmc = '%1' where f_bmbm = '0101' and f_sqbm = '02'")
                     .arg(QString(40, u'名')) };
        QVERIFY2(call(sqda::DispExecuteSql, args).toBool(), qPrintable(errorLines(args.at(0)).join(u'|')));
    }

    // A new database gets the demo chain once, and the chain obeys the host's
    // own rules: every code fits its department's structure, every parent
    // exists, and an area is a leaf exactly when nothing lies below it.
    void newDatabaseGetsTheDemoChainOnce_data() { addBackendColumn(); }
    void newDatabaseGetsTheDemoChainOnce()
    {
        QFETCH(QString, backend);
        m_db = std::make_unique<HostTestDatabase>(backend, [](const QSqlDatabase &db) { Schema::drop(db); });
        QVERIFY2(m_db->isValid(), qPrintable(m_db->error()));
        QString error;
        m_service = SqlDataService::open(m_db->url(), QString(), &error);
        QVERIFY2(m_service, qPrintable(error));
        QCOMPARE(m_service->department(), QStringLiteral("0101"));
        QCOMPARE(m_service->firstOperator(), QStringLiteral("0001"));
        const int areas = int(DemoData::areas().size());
        QVERIFY(areas >= 300);
        QCOMPARE(areaCount(inspect()), areas);

        SqlDataService::Ptr second = SqlDataService::open(m_db->url(), QStringLiteral("0201"), &error);
        QVERIFY2(second, qPrintable(error));
        QCOMPARE(areaCount(inspect()), areas);
        second.reset();

        QVERIFY(!SqlDataService::open(m_db->url(), QStringLiteral("7777"), &error));
        QVERIFY2(error.contains(QStringLiteral("7777")) && error.contains(QStringLiteral("0101 上海连锁总部")),
            qPrintable(error));

        QMap<QString, CodeLevels> levels;
        for (const DemoData::Department &d : DemoData::departments())
            levels.insert(d.code, *CodeLevels::parse(d.levels));
        QSqlQuery q = runSql(inspect(), QStringLiteral("select f_bmbm, f_sqbm, f_jb, f_mj from tbsqda"), {}, {});
        QSet<QString> keys;
        QList<std::tuple<QString, QString, int, int>> rows;
        while (q.next()) {
            rows.push_back({ q.value(0).toString(), q.value(1).toString(), q.value(2).toInt(), q.value(3).toInt() });
            keys.insert(q.value(0).toString() + u'/' + q.value(1).toString());
        }
        QSet<QString> parents;
        for (const auto &[dept, code, level, leaf] : rows) {
            const CodeLevels::Shape s = levels.value(dept).shapeOf(code);
            QVERIFY2(s.level == level, qPrintable(dept + u'/' + code));
            if (level > 1) {
                QVERIFY2(keys.contains(dept + u'/' + s.parentCode), qPrintable(code));
                parents.insert(dept + u'/' + s.parentCode);
            }
        }
        for (const auto &[dept, code, level, leaf] : rows)
            QCOMPARE(leaf, parents.contains(dept + u'/' + code) ? 0 : 1);
    }
};

QTEST_MAIN(TestDataService)
#include "tst_hostapp_service.moc"

// The where text of the condition builder: the texts it writes for each kind of
// row, the values it refuses, and that every filter it writes keeps exactly the
// rows it says, run by the dataset's own filter.
#include "data/ClientDataSet.h"
#include "query/QuerySql.h"
#include "query/WhereTextBuilder.h"

#include <QTest>

using namespace sqda;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(sqda::LogicRows)

namespace {

LogicRow expr(const QString &label, const QString &condition, const QString &value)
{
    return { label, condition, value, {} };
}
LogicRow rel(const QString &relation)
{
    return { {}, {}, {}, relation };
}
const QString Code = QStringLiteral("商圈编码");
const QString Name = QStringLiteral("商圈名称");
const QString Level = QStringLiteral("级别");
const QString Day = QStringLiteral("建立日期");
const QString And = QStringLiteral("并且");
const QString Or = QStringLiteral("或者");

QList<BuilderField> fixtureFields()
{
    return {
        { QStringLiteral("f_sqbm"), Code, true, 0, true },
        { QStringLiteral("f_sqmc"), Name, true, 2, true },
        { QStringLiteral("f_jb"), Level, false, 1, true, FieldType::Int32 },
        { QStringLiteral("f_rq"), Day, false, 0, false, FieldType::Date },
    };
}

WhereTextBuilder builder(bool filterMode, const QString &aliases = {}, const QStringList &map = {})
{
    WhereTextBuilder b;
    b.fields = fixtureFields();
    b.filterMode = filterMode;
    b.aliasList = aliases;
    b.fieldMap = map;
    return b;
}

// The rows the filter lets through, by code.
QStringList codesPassing(ClientDataSet &ds, const QString &filter)
{
    ds.setFiltered(false);
    ds.setFilter(filter);
    ds.setFiltered(true);
    QStringList out;
    for (ds.first(); !ds.eof(); ds.next())
        out << ds.fieldByName(u"f_sqbm")->asString();
    return out;
}

DataStore fixtureStore(bool withLater = false)
{
    DataStore s({ { QStringLiteral("f_sqbm"), FieldType::String, 12, Code },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, Name },
        { QStringLiteral("f_jb"), FieldType::Int32, 0, Level }, { QStringLiteral("f_rq"), FieldType::Date, 0, Day } });
    struct Row
    {
        const char16_t *code, *name;
        int level;
        QDate day;
    };
    QList<Row> rows = {
        { u"01", u"东城", 1, QDate(2024, 1, 31) },
        { u"0101", u"王府井", 2, QDate(2024, 2, 1) },
        { u"0102", u"河东", 2, QDate(2024, 1, 31) },
        { u"02", u"西城", 1, QDate(2023, 12, 1) },
        { u"0201", u"东西街", 2, QDate(2023, 12, 1) },
        { u"03", u"O'Brien", 1, QDate(2024, 3, 1) },
        { u"0301", u"50%折扣", 2, QDate(2024, 3, 1) },
    };
    if (withLater)
        rows.append({ u"04", u"东新区", 1, QDate(2024, 5, 1) });
    for (const Row &r : rows) {
        s.appendString(0, QStringView(r.code));
        s.appendString(1, QStringView(r.name));
        s.appendInt(2, r.level);
        s.appendDate(3, r.day);
        s.commitRow();
    }
    return s;
}

} // namespace

class TestWhereText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void texts_data()
    {
        QTest::addColumn<bool>("filterMode");
        QTest::addColumn<QString>("aliases");
        QTest::addColumn<QStringList>("map");
        QTest::addColumn<LogicRows>("rows");
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("excludeLike");
        QTest::addColumn<QString>("excludeField");
        QTest::addColumn<QString>("filter"); // empty: same as where

        const QStringList none;
        // The five worked examples, exactly.
        QTest::newRow("example equal") << false << QString() << none << LogicRows { expr(Code, u"等于"_s, u"01"_s) }
                                       << u"( f_sqbm = '01' )"_s << QString() << QString() << QString();
        QTest::newRow("example and") << false << QString() << none
                                     << LogicRows { expr(Code, u"左等于"_s, u"01"_s), rel(And),
                                            expr(Name, u"部分等于"_s, u"东"_s) }
                                     << u"( f_sqbm LIKE '01%' ) And ( f_sqmc LIKE '%东%' )"_s << QString() << QString()
                                     << QString();
        QTest::newRow("example or") << false << QString() << none
                                    << LogicRows { expr(Code, u"大于"_s, u"01"_s), rel(Or),
                                           expr(Code, u"小于等于"_s, u"0005"_s) }
                                    << u"( f_sqbm > '01' ) OR ( f_sqbm <= '0005' )"_s << QString() << QString()
                                    << QString();
        QTest::newRow("example not contains, query")
            << false << QString() << none << LogicRows { expr(Name, u"部分不等于"_s, u"东"_s) }
            << u"( f_sqmc NOT LIKE '%东%' )"_s << QString() << QString() << QString();
        QTest::newRow("example not contains, filter")
            << true << QString() << none << LogicRows { expr(Name, u"部分不等于"_s, u"东"_s) }
            << u"( f_sqmc<>'temp@temp@temp' )"_s << u"f_sqmc LIKE '%东%'"_s << u"f_sqmc"_s
            << u"( f_sqmc NOT LIKE '%东%' )"_s;

        // Every condition once, with the operators' spacing.
        const QStringList ops = { u" = "_s, u" > "_s, u" >= "_s, u" < "_s, u" <= "_s, u" <> "_s };
        for (int c = 0; c < 6; ++c) {
            QTest::addRow("condition %d", c)
                << false << QString() << none << LogicRows { expr(Code, conditionNames().at(c), u"7"_s) }
                << u"( f_sqbm"_s + ops.at(c) + u"'7' )"_s << QString() << QString() << QString();
        }

        // Aliases: the field's tag picks a piece; a list without a comma prefixes every field.
        QTest::newRow("alias by tag 2") << false << u"a,b"_s << none << LogicRows { expr(Name, u"等于"_s, u"x"_s) }
                                        << u"( b.f_sqmc = 'x' )"_s << QString() << QString() << QString();
        QTest::newRow("alias tag 0 none") << false << u"a,b"_s << none << LogicRows { expr(Code, u"等于"_s, u"x"_s) }
                                          << u"( f_sqbm = 'x' )"_s << QString() << QString() << QString();
        QTest::newRow("alias by tag 1") << false << u"a,b"_s << none << LogicRows { expr(Level, u"等于"_s, u"1"_s) }
                                        << u"( a.f_jb = 1 )"_s << QString() << QString() << QString();
        QTest::newRow("alias tag past the list")
            << false << u"a,"_s << none << LogicRows { expr(Name, u"等于"_s, u"x"_s) } << u"( f_sqmc = 'x' )"_s
            << QString() << QString() << QString();
        QTest::newRow("single alias, no comma")
            << false << u"t"_s << none << LogicRows { expr(Code, u"等于"_s, u"x"_s) } << u"( t.f_sqbm = 'x' )"_s
            << QString() << QString() << QString();
        QTest::newRow("blank alias list") << false << u" "_s << none << LogicRows { expr(Code, u"等于"_s, u"x"_s) }
                                          << u"( f_sqbm = 'x' )"_s << QString() << QString() << QString();

        // Field map: compared lower-cased, the name before "=", the first match wins.
        QTest::newRow("map first match, lower-cased")
            << false << QString() << QStringList { u"F_SQMC=RTrim(A.Name)"_s, u"f_sqmc=other"_s }
            << LogicRows { expr(Name, u"部分等于"_s, u"东"_s) } << u"( rtrim(a.name) LIKE '%东%' )"_s << QString()
            << QString() << QString();
        QTest::newRow("map name after = does not count")
            << false << QString() << QStringList { u"x=f_sqmc"_s } << LogicRows { expr(Name, u"等于"_s, u"y"_s) }
            << u"( f_sqmc = 'y' )"_s << QString() << QString() << QString();
        QTest::newRow("map and alias") << false << u"s"_s << QStringList { u"f_sqbm=code"_s }
                                       << LogicRows { expr(Code, u"等于"_s, u"1"_s) } << u"( s.code = '1' )"_s
                                       << QString() << QString() << QString();

        QTest::newRow("label no field carries: first field")
            << false << QString() << none << LogicRows { expr(u"无此字段"_s, u"等于"_s, u"01"_s) }
            << u"( f_sqbm = '01' )"_s << QString() << QString() << QString();
        QTest::newRow("invisible field by label")
            << false << QString() << none << LogicRows { expr(Day, u"大于"_s, u"'2024-01-01'"_s) }
            << u"( f_rq > '2024-01-01' )"_s << QString() << QString() << QString();

        // Lists and ranges.
        QTest::newRow("empty value") << false << QString() << none << LogicRows { expr(Code, u"等于"_s, QString()) }
                                     << u"( 1=1  )"_s << QString() << QString() << QString();
        QTest::newRow("single range, exact")
            << false << QString() << none << LogicRows { expr(Code, u"等于"_s, u"01|05"_s) }
            << u"( 1=1  And f_sqbm Between '01' And '05' )"_s << QString() << QString() << QString();
        QTest::newRow("list of equal items")
            << false << QString() << none << LogicRows { expr(Code, u"等于"_s, u"01;0201"_s) }
            << u"( 1=1  And ( f_sqbm = '01' Or f_sqbm = '0201' ) )"_s << QString() << QString() << QString();
        QTest::newRow("mixed list, commas, blanks, empty items")
            << false << QString() << none << LogicRows { expr(Code, u"部分等于"_s, u"01, 02|03;;"_s) }
            << u"( 1=1  And ( f_sqbm = '01' Or f_sqbm Between '02' And '03' ) )"_s << QString() << QString()
            << QString();
        QTest::newRow("open ranges") << false << QString() << none << LogicRows { expr(Code, u"等于"_s, u"|01;03|"_s) }
                                     << u"( 1=1  And ( f_sqbm <= '01' Or f_sqbm >= '03' ) )"_s << QString() << QString()
                                     << QString();
        QTest::newRow("one item with ;") << false << QString() << none << LogicRows { expr(Code, u"等于"_s, u"01;"_s) }
                                         << u"( 1=1  And f_sqbm = '01' )"_s << QString() << QString() << QString();
        QTest::newRow("comma alone is a simple value")
            << false << QString() << none << LogicRows { expr(Name, u"等于"_s, u"a,b"_s) } << u"( f_sqmc = 'a,b' )"_s
            << QString() << QString() << QString();

        // Quotes are doubled wherever a value lands.
        QTest::newRow("quote, equal") << false << QString() << none << LogicRows { expr(Name, u"等于"_s, u"O'Brien"_s) }
                                      << u"( f_sqmc = 'O''Brien' )"_s << QString() << QString() << QString();
        QTest::newRow("quote, injection stays a literal")
            << false << QString() << none << LogicRows { expr(Name, u"等于"_s, u"x' OR '1'='1"_s) }
            << u"( f_sqmc = 'x'' OR ''1''=''1' )"_s << QString() << QString() << QString();
        QTest::newRow("quote, like kinds")
            << false << QString() << none
            << LogicRows { expr(Name, u"部分等于"_s, u"a'b"_s), rel(And), expr(Name, u"左等于"_s, u"c'"_s), rel(Or),
                   expr(Name, u"部分不等于"_s, u"'"_s) }
            << u"( f_sqmc LIKE '%a''b%' ) And ( f_sqmc LIKE 'c''%' ) OR ( f_sqmc NOT LIKE '%''%' )"_s << QString()
            << QString() << QString();
        QTest::newRow("quote, filter mode exclusion")
            << true << QString() << none << LogicRows { expr(Name, u"部分不等于"_s, u"O'B"_s) }
            << u"( f_sqmc<>'temp@temp@temp' )"_s << u"f_sqmc LIKE '%O''B%'"_s << u"f_sqmc"_s
            << u"( f_sqmc NOT LIKE '%O''B%' )"_s;
        QTest::newRow("quote, list items")
            << false << QString() << none << LogicRows { expr(Name, u"等于"_s, u"O'B;a'|b'"_s) }
            << u"( 1=1  And ( f_sqmc = 'O''B' Or f_sqmc Between 'a''' And 'b''' ) )"_s << QString() << QString()
            << QString();

        // Fields that are not text: a number as typed, or one quoted literal.
        QTest::newRow("number") << false << QString() << none << LogicRows { expr(Level, u"大于等于"_s, u" -1.5 "_s) }
                                << u"( f_jb >= -1.5 )"_s << QString() << QString() << QString();
        QTest::newRow("quoted date") << false << QString() << none
                                     << LogicRows { expr(Day, u"等于"_s, u"'2024-01-31'"_s) }
                                     << u"( f_rq = '2024-01-31' )"_s << QString() << QString() << QString();
        QTest::newRow("number range") << false << QString() << none << LogicRows { expr(Level, u"等于"_s, u"1|2"_s) }
                                      << u"( 1=1  And f_jb Between 1 And 2 )"_s << QString() << QString() << QString();
        QTest::newRow("like on a number field is quoted")
            << false << QString() << none << LogicRows { expr(Level, u"部分等于"_s, u"1 or 1=1"_s) }
            << u"( f_jb LIKE '%1 or 1=1%' )"_s << QString() << QString() << QString();

        // Characters some database's LIKE reads as syntax ("[" on SQL Server, a
        // backslash on PostgreSQL) stand for themselves under a declared escape;
        // "%" and "_" stay wildcards; other values are written as they were.
        QTest::newRow("like, bracket") << false << QString() << none
                                       << LogicRows { expr(Name, u"部分等于"_s, u"[1]"_s) }
                                       << u"( f_sqmc LIKE '%\\[1]%' ESCAPE '\\' )"_s << QString() << QString()
                                       << QString();
        QTest::newRow("like, backslash at the end")
            << false << QString() << none << LogicRows { expr(Name, u"左等于"_s, u"a\\"_s) }
            << u"( f_sqmc LIKE 'a\\\\%' ESCAPE '\\' )"_s << QString() << QString() << QString();
        QTest::newRow("like, escape and quote, filter exclusion")
            << true << QString() << none << LogicRows { expr(Name, u"部分不等于"_s, u"O'[x]\\_"_s) }
            << u"( f_sqmc<>'temp@temp@temp' )"_s << u"f_sqmc LIKE '%O''\\[x]\\\\_%' ESCAPE '\\'"_s << u"f_sqmc"_s
            << u"( f_sqmc NOT LIKE '%O''\\[x]\\\\_%' ESCAPE '\\' )"_s;
        QTest::newRow("like, wildcards typed")
            << false << QString() << none << LogicRows { expr(Name, u"部分等于"_s, u"5_%]"_s) }
            << u"( f_sqmc LIKE '%5_%]%' )"_s << QString() << QString() << QString();

        // Filter mode: several "部分不等于", one joined by "或者".
        QTest::newRow("filter, two exclusions and an or")
            << true << QString() << none
            << LogicRows { expr(Name, u"部分不等于"_s, u"东"_s), rel(Or), expr(Code, u"等于"_s, u"0101"_s), rel(And),
                   expr(Name, u"部分不等于"_s, u"西"_s) }
            << u"( f_sqmc<>'temp@temp@temp' ) OR ( f_sqbm = '0101' ) And ( f_sqmc<>'temp@temp@temp' )"_s
            << u"f_sqmc LIKE '%西%'"_s << u"f_sqmc"_s
            << u"( f_sqmc NOT LIKE '%东%' ) OR ( f_sqbm = '0101' ) And ( f_sqmc NOT LIKE '%西%' )"_s;
        QTest::newRow("filter, alias keeps")
            << true << u"t"_s << none << LogicRows { expr(Name, u"部分不等于"_s, u"东"_s) }
            << u"( t.f_sqmc<>'temp@temp@temp' )"_s << u"t.f_sqmc LIKE '%东%'"_s << u"t.f_sqmc"_s
            << u"( t.f_sqmc NOT LIKE '%东%' )"_s;
        QTest::newRow("no rows") << false << QString() << none << LogicRows {} << QString() << QString() << QString()
                                 << QString();
    }
    void texts()
    {
        QFETCH(bool, filterMode);
        QFETCH(QString, aliases);
        QFETCH(QStringList, map);
        QFETCH(LogicRows, rows);
        QFETCH(QString, where);
        QFETCH(QString, excludeLike);
        QFETCH(QString, excludeField);
        QFETCH(QString, filter);
        const Result<WhereTexts> r = builder(filterMode, aliases, map).build(rows);
        QVERIFY2(r.ok(), qPrintable(r.error()));
        QCOMPARE(r->whereText, where);
        QCOMPARE(r->excludeLike, excludeLike);
        QCOMPARE(r->excludeField, excludeField);
        QCOMPARE(r->filterText, filter.isEmpty() ? where : filter);
    }

    void refused_data()
    {
        QTest::addColumn<LogicRows>("rows");
        QTest::addColumn<QString>("message"); // a part of the message

        QTest::newRow("number field, words")
            << LogicRows { expr(Level, u"等于"_s, u"2 or 1=1"_s) } << u"第 1 行：字段“级别”不是文本字段"_s;
        QTest::newRow("number field, two literals")
            << LogicRows { expr(Level, u"等于"_s, u"'1''"_s + u"x"_s) } << u"不是文本字段"_s;
        QTest::newRow("number field, bare date")
            << LogicRows { expr(Day, u"等于"_s, u"2024-01-31"_s) } << u"字段“建立日期”不是文本字段"_s;
        // What the dataset's filter would refuse is refused here, by the
        // field's real type, with the form it takes.
        QTest::newRow("date field, bare number")
            << LogicRows { expr(Day, u"等于"_s, u"20240131"_s) } << u"用单引号括起的日期（例如 '2024-01-31'）"_s;
        QTest::newRow("date field, literal no date")
            << LogicRows { expr(Day, u"等于"_s, u"'a' or 'b'"_s) } << u"用单引号括起的日期"_s;
        QTest::newRow("date field, range end no date")
            << LogicRows { expr(Day, u"等于"_s, u"'2024-01-01'|'x'"_s) } << u"用单引号括起的日期"_s;
        QTest::newRow("number field, quoted words")
            << LogicRows { expr(Level, u"等于"_s, u"'abc'"_s) } << u"值只能是一个数字（例如 12、-1.5）"_s;
        QTest::newRow("number field, too large")
            << LogicRows { expr(Level, u"大于"_s, u"1e999"_s) } << u"值只能是一个数字"_s;
        QTest::newRow("number field, list item")
            << LogicRows { expr(Level, u"等于"_s, u"1;drop table x"_s) } << u"不是文本字段"_s;
        QTest::newRow("range of three") << LogicRows { expr(Code, u"等于"_s, u"1|2|3"_s) } << u"不是一个范围"_s;
        QTest::newRow("range without ends") << LogicRows { expr(Code, u"等于"_s, u"|"_s) } << u"不是一个范围"_s;
        QTest::newRow("list without items") << LogicRows { expr(Code, u"等于"_s, u";,"_s) } << u"没有可用的列表项"_s;
        QTest::newRow("no condition") << LogicRows { expr(Code, QString(), u"01"_s) } << u"请选择一个条件"_s;
        QTest::newRow("relation first") << LogicRows { rel(And), expr(Code, u"等于"_s, u"01"_s) }
                                        << u"第 1 行应为逻辑表达式"_s;
        QTest::newRow("two expressions") << LogicRows { expr(Code, u"等于"_s, u"01"_s), expr(Code, u"等于"_s, u"02"_s) }
                                         << u"第 2 行应为逻辑关系"_s;
        QTest::newRow("relation last") << LogicRows { expr(Code, u"等于"_s, u"01"_s), rel(Or) }
                                       << u"不能以逻辑关系结尾"_s;
    }
    void refused()
    {
        QFETCH(LogicRows, rows);
        QFETCH(QString, message);
        for (bool filterMode : { false, true }) {
            const Result<WhereTexts> r = builder(filterMode).build(rows);
            QVERIFY(!r.ok());
            QVERIFY2(r.error().contains(message), qPrintable(r.error()));
        }
    }

    void noFields()
    {
        WhereTextBuilder b;
        QVERIFY(b.build({}).ok()); // nothing to build on, nothing needed
        const Result<WhereTexts> r = b.build({ expr(Code, u"等于"_s, u"01"_s) });
        QVERIFY(!r.ok());
        QVERIFY(r.error().contains(u"没有字段"_s));
    }

    // What the dialog checks where a value is typed: the same rules, per field and condition.
    void checkValue_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("condition");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("text, anything") << 0 << 0 << u"x' or 1=1 --"_s << true;
        QTest::newRow("text, bad range") << 0 << 0 << u"a|b|c"_s << false;
        QTest::newRow("number, number") << 2 << 1 << u"12"_s << true;
        QTest::newRow("number, words") << 2 << 1 << u"12 or 1=1"_s << false;
        QTest::newRow("number, plus sign") << 2 << 0 << u"+3"_s << false;
        QTest::newRow("number, contains is a text test") << 2 << int(CondContains) << u"1 or"_s << true;
        QTest::newRow("number, not contains") << 2 << int(CondNotContains) << u"x'y"_s << true;
        QTest::newRow("date, quoted") << 3 << 5 << u"'2024-01-31'"_s << true;
        QTest::newRow("date, lone quote") << 3 << 5 << u"'"_s << false;
        QTest::newRow("date, list of quoted") << 3 << 0 << u"'2024-01-01'|'2024-02-01'"_s << true;
        QTest::newRow("date, bare number") << 3 << 0 << u"20240131"_s << false;
        QTest::newRow("date, quoted no date") << 3 << 0 << u"'2024-02-30'"_s << false;
        QTest::newRow("number, quoted number") << 2 << 0 << u"'12'"_s << true;
        QTest::newRow("number, quoted words") << 2 << 0 << u"'abc'"_s << false;
        QTest::newRow("number, overflow") << 2 << 0 << u"1e999"_s << false;
        QTest::newRow("number, large but finite") << 2 << 0 << u"1e300"_s << true;
        QTest::newRow("empty") << 2 << 0 << QString() << true;
    }
    void checkValue()
    {
        QFETCH(int, field);
        QFETCH(int, condition);
        QFETCH(QString, value);
        QFETCH(bool, accepted);
        const Status s = WhereTextBuilder::checkValue(fixtureFields().at(field), condition, value);
        QCOMPARE(s.ok(), accepted);
        if (!accepted)
            QVERIFY(!s.error().isEmpty());
    }

    // A value holding LIKE syntax of some database selects, in the dataset's
    // filter, the rows that hold it as typed: "[1]" is no character class and a
    // backslash no escape. The same texts run on SQLite and PostgreSQL in
    // tst_query_endtoend.
    void likeValuesStandForThemselves_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("bracket, contains") << u"部分等于"_s << u"[1]"_s << QStringList { u"01"_s };
        QTest::newRow("bracket, not contains")
            << u"部分不等于"_s << u"[1]"_s << QStringList { u"02"_s, u"03"_s, u"04"_s, u"05"_s, u"06"_s };
        QTest::newRow("backslash at the end, starts with") << u"左等于"_s << u"a\\"_s << QStringList { u"03"_s };
        QTest::newRow("backslash inside") << u"部分等于"_s << u"\\b"_s << QStringList { u"03"_s };
        QTest::newRow("caret and dash") << u"部分等于"_s << u"[^1-2]"_s << QStringList { u"05"_s };
        QTest::newRow("underscore is a wildcard") << u"左等于"_s << u"a_"_s << QStringList { u"03"_s, u"04"_s };
        QTest::newRow("percent is a wildcard") << u"部分等于"_s << u"1%]"_s << QStringList { u"01"_s, u"05"_s };
    }
    void likeValuesStandForThemselves()
    {
        QFETCH(QString, condition);
        QFETCH(QString, value);
        QFETCH(QStringList, codes);
        DataStore s({ { QStringLiteral("f_sqbm"), FieldType::String, 12, Code },
            { QStringLiteral("f_sqmc"), FieldType::String, 40, Name } });
        const std::pair<const char16_t *, const char16_t *> rows[] = { { u"01", u"[1]区" }, { u"02", u"1区" },
            { u"03", u"a\\b" }, { u"04", u"ab" }, { u"05", u"[^1-2]" }, { u"06", u"a" } };
        for (const auto &[code, name] : rows) {
            s.appendString(0, QStringView(code));
            s.appendString(1, QStringView(name));
            s.commitRow();
        }
        ClientDataSet ds;
        ds.loadStore(std::move(s));
        const Result<WhereTexts> r = builder(true).build({ expr(Name, condition, value) });
        QVERIFY2(r.ok(), qPrintable(r.error()));
        QCOMPARE(codesPassing(ds, r->filterText), codes);
    }

    // The statement as each kind of database takes it.
    void statementForDatabase_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("sent");
        const QString escaped = uR"(select * from tbsqda where ( f_sqmc LIKE '%O''\[a]\\%' ESCAPE '\' ))"_s;
        QTest::newRow("SQLSERVER as built") << u"SQLSERVER"_s << escaped << escaped;
        QTest::newRow("other kinds as built") << u"db2"_s << escaped << escaped;
        QTest::newRow("DB2: no escape before a bracket")
            << u"DB2"_s << escaped << uR"(select * from tbsqda where ( f_sqmc LIKE '%O''[a]\\%' ESCAPE '\' ))"_s;
        QTest::newRow("ORACLE: no escape before a bracket")
            << u"ORACLE"_s << escaped << uR"(select * from tbsqda where ( f_sqmc LIKE '%O''[a]\\%' ESCAPE '\' ))"_s;
        QTest::newRow("DB2: a pattern without an escape clause keeps its text")
            << u"DB2"_s << uR"(select * from tbsqda where f_sqmc LIKE '\[')"_s
            << uR"(select * from tbsqda where f_sqmc LIKE '\[')"_s;
        // The rewrite goes over the code, never into a literal.
        QTest::newRow("DB2: code rewritten, literals kept")
            << u"DB2"_s << u"select isnull(f_sqmc,'len(') from x, TBSQDA where f_sqmc = 'O'' TBX' and f_bm=TBX.a"_s
            << u"select Coalesce(f_sqmc,'len(') from x, tbSQDA where f_sqmc = 'O'' TBX' and f_bm=tbX.a"_s;
        QTest::newRow("DB2: an open literal runs to the end")
            << u"DB2"_s << u"select * from tbsqda where f = 'a TB"_s << u"select * from tbsqda where f = 'a TB"_s;
    }
    void statementForDatabase()
    {
        QFETCH(QString, kind);
        QFETCH(QString, statement);
        QFETCH(QString, sent);
        QCOMPARE(QuerySql::forDatabase(statement, kind), sent);
    }

    void fieldsOfDataSet()
    {
        ClientDataSet ds;
        ds.loadStore(fixtureStore());
        ds.fieldByName(u"f_sqmc")->setTag(2);
        ds.fieldByName(u"f_rq")->setVisible(false);
        const QList<BuilderField> fields = builderFieldsOf(ds);
        QCOMPARE(fields.size(), 4);
        QCOMPARE(fields.at(1).label, Name);
        QCOMPARE(fields.at(1).tag, 2);
        QVERIFY(fields.at(1).text);
        QVERIFY(!fields.at(2).text);
        QVERIFY(!fields.at(3).visible);
        QCOMPARE(fields.at(2).type, FieldType::Int32);
        QCOMPARE(fields.at(3).type, FieldType::Date);
    }

    // Filter mode: what each filter text lets through, run by the dataset.
    void filterMeans_data()
    {
        QTest::addColumn<LogicRows>("rows");
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("contains") << LogicRows { expr(Name, u"部分等于"_s, u"东"_s) }
                                  << QStringList { u"01"_s, u"0102"_s, u"0201"_s };
        QTest::newRow("not contains") << LogicRows { expr(Name, u"部分不等于"_s, u"东"_s) }
                                      << QStringList { u"0101"_s, u"02"_s, u"03"_s, u"0301"_s };
        QTest::newRow("two not contains, and")
            << LogicRows { expr(Name, u"部分不等于"_s, u"东"_s), rel(And), expr(Name, u"部分不等于"_s, u"西"_s) }
            << QStringList { u"0101"_s, u"03"_s, u"0301"_s };
        QTest::newRow("not contains, or")
            << LogicRows { expr(Name, u"部分不等于"_s, u"东"_s), rel(Or), expr(Code, u"等于"_s, u"01"_s) }
            << QStringList { u"01"_s, u"0101"_s, u"02"_s, u"03"_s, u"0301"_s };
        QTest::newRow("starts with") << LogicRows { expr(Code, u"左等于"_s, u"01"_s) }
                                     << QStringList { u"01"_s, u"0101"_s, u"0102"_s };
        QTest::newRow("list") << LogicRows { expr(Code, u"等于"_s, u"01;0201"_s) }
                              << QStringList { u"01"_s, u"0201"_s };
        QTest::newRow("range, both ends in")
            << LogicRows { expr(Code, u"等于"_s, u"0101|02"_s) } << QStringList { u"0101"_s, u"0102"_s, u"02"_s };
        QTest::newRow("list and range") << LogicRows { expr(Code, u"等于"_s, u"03,0101|0102"_s) }
                                        << QStringList { u"0101"_s, u"0102"_s, u"03"_s };
        QTest::newRow("open range") << LogicRows { expr(Code, u"等于"_s, u"0201|"_s) }
                                    << QStringList { u"0201"_s, u"03"_s, u"0301"_s };
        QTest::newRow("quote") << LogicRows { expr(Name, u"等于"_s, u"O'Brien"_s) } << QStringList { u"03"_s };
        QTest::newRow("injection finds nothing")
            << LogicRows { expr(Name, u"等于"_s, u"x' OR 'a'='a"_s) } << QStringList {};
        QTest::newRow("percent typed is a wildcard")
            << LogicRows { expr(Name, u"部分等于"_s, u"50%"_s) } << QStringList { u"0301"_s };
        QTest::newRow("number") << LogicRows { expr(Level, u"大于等于"_s, u"2"_s) }
                                << QStringList { u"0101"_s, u"0102"_s, u"0201"_s, u"0301"_s };
        QTest::newRow("number range") << LogicRows { expr(Level, u"等于"_s, u"1|1"_s) }
                                      << QStringList { u"01"_s, u"02"_s, u"03"_s };
        QTest::newRow("date") << LogicRows { expr(Day, u"等于"_s, u"'2024-01-31'"_s) }
                              << QStringList { u"01"_s, u"0102"_s };
        QTest::newRow("empty value passes all")
            << LogicRows { expr(Code, u"等于"_s, QString()) }
            << QStringList { u"01"_s, u"0101"_s, u"0102"_s, u"02"_s, u"0201"_s, u"03"_s, u"0301"_s };
    }
    void filterMeans()
    {
        QFETCH(LogicRows, rows);
        QFETCH(QStringList, codes);
        const Result<WhereTexts> r = builder(true).build(rows);
        QVERIFY2(r.ok(), qPrintable(r.error()));
        ClientDataSet ds;
        ds.loadStore(fixtureStore());
        QCOMPARE(codesPassing(ds, r->filterText), codes);
        // The where text parses as a filter too (its placeholder passes every name).
        ds.setFilter(r->whereText);
    }

    // The exclusion-by-value scheme for one "部分不等于" (the placeholder, then
    // each value the positive test finds, excluded one by one) agrees with NOT
    // LIKE on the rows of that moment; rows loaded later are only right with
    // the filter text.
    void exclusionAndLaterRows()
    {
        const Result<WhereTexts> r = builder(true).build({ expr(Name, u"部分不等于"_s, u"东"_s) });
        QVERIFY(r.ok());
        ClientDataSet ds;
        ds.loadStore(fixtureStore());
        ds.setFilter(r->excludeLike);
        ds.setFiltered(true);
        QStringList exclusions;
        for (ds.first(); !ds.eof(); ds.next())
            exclusions << r->excludeField + u"<>'"_s + ds.fieldByName(r->excludeField)->asString() + u"'"_s;
        const QString legacy = r->whereText + u" and ("_s + exclusions.join(u" and "_s) + u")"_s;
        QCOMPARE(
            legacy, u"( f_sqmc<>'temp@temp@temp' ) and (f_sqmc<>'东城' and f_sqmc<>'河东' and f_sqmc<>'东西街')"_s);
        const QStringList now = codesPassing(ds, legacy);
        QCOMPARE(codesPassing(ds, r->filterText), now);

        ds.loadStore(fixtureStore(true)); // a later search brings 东新区
        QCOMPARE(codesPassing(ds, r->filterText), now);
        QVERIFY(codesPassing(ds, legacy).contains(u"04"_s));
    }
};

QTEST_GUILESS_MAIN(TestWhereText)
#include "tst_wheretext.moc"

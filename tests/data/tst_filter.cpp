// Filter expressions: what each form means on a small fixture, and how a bad one
// is reported.
#include "data/ClientDataSet.h"
#include "data/DataError.h"
#include "data/FilterExpression.h"
#include "data/FilterProgram.h"
#include "data/LikePattern.h"

#include <QTest>

using namespace sqda;
using namespace Qt::StringLiterals;

namespace {

// Codes, names (one null, mixed case, a quote), a department, a level and an
// area with one null.
DataStore fixture()
{
    DataStore s({ { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} },
        { QStringLiteral("f_bmbm"), FieldType::String, 12, {} }, { QStringLiteral("f_jb"), FieldType::Int32, 0, {} },
        { QStringLiteral("f_mj"), FieldType::Double, 0, {} } });
    struct Row
    {
        const char16_t *code, *name, *dept;
        int level;
        double area;
        bool areaNull;
    };
    const Row rows[] = {
        { u"01", u"东城", u"0101", 1, 1.5, false },
        { u"0101", u"王府井", u"0101", 2, 2, false },
        { u"0102", u"河东", u"0101", 2, 0, true },
        { u"02", u"西城", u"0101", 1, 10, false },
        { u"0201", u"temp@temp@temp", u"0101", 2, -3, false },
        { u"03", u"abc", u"0102", 1, 0.25, false },
        { u"0301", u"ABC", u"0102", 2, 100, false },
        { u"04", nullptr, u"0102", 1, 7, false },
        { u"05", u"O'Brien", u"0102", 1, 5, false },
    };
    for (const Row &r : rows) {
        s.appendString(0, QStringView(r.code));
        if (r.name)
            s.appendString(1, QStringView(r.name));
        else
            s.appendNull(1);
        s.appendString(2, QStringView(r.dept));
        s.appendInt(3, r.level);
        if (r.areaNull)
            s.appendNull(4);
        else
            s.appendDouble(4, r.area);
        s.commitRow();
    }
    return s;
}

QStringList codesPassing(const DataStore &s, const QString &expression, QString *error)
{
    Result<FilterExpression> e = FilterExpression::parse(expression);
    if (!e) {
        *error = e.error();
        return {};
    }
    Result<FilterProgram> p = FilterProgram::bind(*e, s.defs());
    if (!p) {
        *error = p.error();
        return {};
    }
    QStringList out;
    const std::vector<quint32> rows = p->select(s);
    for (quint32 r : rows)
        out << s.string(r, 0).toString();
    // The row-at-a-time path agrees with the column sweep.
    QStringList one;
    for (qsizetype r = 0; r < s.rowCount(); ++r) {
        if (p->passes(s, r))
            one << s.string(r, 0).toString();
    }
    if (one != out)
        *error = QStringLiteral("passes() and select() disagree: %1 vs %2").arg(one.join(u','), out.join(u','));
    return out;
}

} // namespace

class TestFilter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void meaning_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("codes");
        const QString all = QStringLiteral("01,0101,0102,02,0201,03,0301,04,05");
        QTest::newRow("empty") << "" << all;
        QTest::newRow("blank") << "   " << all;
        QTest::newRow("true in parens") << "( 1=1  )" << all;
        QTest::newRow("false") << "1=0"
                               << "";
        QTest::newRow("between codes") << "( 1=1  And f_sqbm Between '01' And '05' )" << all;
        QTest::newRow("between narrow") << "( 1=1  And f_sqbm Between '01' And '03' )"
                                        << "01,0101,0102,02,0201,03";
        QTest::newRow("exclusions") << "( f_sqmc<>'temp@temp@temp' ) and (f_sqmc<>'东城' and f_sqmc<>'河东')"
                                    << "0101,02,03,0301,05";
        QTest::newRow("prefix like") << "( f_sqbm LIKE '01%' )"
                                     << "01,0101,0102";
        QTest::newRow("contains like") << "f_sqmc like '%东%'"
                                       << "01,0102";
        QTest::newRow("not like skips null") << "F_SQMC NOT LIKE '%东%'"
                                             << "0101,02,0201,03,0301,05";
        QTest::newRow("underscore is one char") << "f_sqmc like 'a_c'"
                                                << "03";
        QTest::newRow("underscore on Chinese") << "f_sqmc like '王_井'"
                                               << "0101";
        QTest::newRow("like suffix") << "f_sqbm like '%1'"
                                     << "01,0101,0201,0301";
        QTest::newRow("like general") << "f_sqbm like '0%0%'"
                                      << "0101,0102,0201,0301";
        QTest::newRow("like with an unused escape") << "f_sqmc like 'a_c' ESCAPE '\\'"
                                                    << "03";
        QTest::newRow("like, escaped underscore is itself") << "f_sqmc like 'a\\_c' escape '\\'"
                                                            << "";
        QTest::newRow("like, escape of any character") << "f_sqmc like '%!东%' escape '!'"
                                                       << "01,0102";
        QTest::newRow("equality is case-sensitive") << "f_sqmc = 'abc'"
                                                    << "03";
        QTest::newRow("like is case-sensitive") << "f_sqmc like 'A%'"
                                                << "0301";
        QTest::newRow("quote in literal") << "f_sqmc = 'O''Brien'"
                                          << "05";
        QTest::newRow("keywords any case") << "f_jb In (1) aNd F_SqMc iS nOt NuLl"
                                           << "01,02,03,05";
        QTest::newRow("int equals number") << "f_jb = 1"
                                           << "01,02,03,04,05";
        QTest::newRow("int equals text number") << "f_jb = '2'"
                                                << "0101,0102,0201,0301";
        QTest::newRow("text equals number as written") << "f_sqbm = 01"
                                                       << "01";
        QTest::newRow("text never equals other spelling") << "f_sqbm = 1"
                                                          << "";
        QTest::newRow("or in store order") << "f_mj > 2 or f_jb = 2"
                                           << "0101,0102,02,0201,0301,04,05";
        QTest::newRow("is null") << "f_mj is null"
                                 << "0102";
        QTest::newRow("not over null") << "not (f_mj > 2)"
                                       << "01,0101,0201,03";
        QTest::newRow("not between") << "f_sqbm not between '02' and '03'"
                                     << "01,0101,0102,0301,04,05";
        QTest::newRow("not in") << "f_sqbm not in ('01','02', '05')"
                                << "0101,0102,0201,03,0301,04";
        QTest::newRow("double equals int literal") << "f_mj = 2"
                                                   << "0101";
        QTest::newRow("negative and fraction") << "f_mj >= -3 and f_mj < 0.3"
                                               << "0201,03";
        QTest::newRow("bracketed name") << "[f_sqbm] = '01'"
                                        << "01";
        QTest::newRow("alias.field") << "a.f_sqbm = '01'"
                                     << "01";
        QTest::newRow("column against column") << "f_sqbm >= f_bmbm"
                                               << "0101,0102,02,0201,03,0301,04,05";
        QTest::newRow("not like in and") << "(f_jb = 1 OR f_jb = 2) AND NOT f_sqbm LIKE '0%1'"
                                         << "0102,02,03,04,05";
        QTest::newRow("not equal form !=") << "f_jb != 1"
                                           << "0101,0102,0201,0301";
        // A selective first test leaves the rest of an AND to a few rows.
        QTest::newRow("narrowed and") << "f_sqmc like '%王%' and f_jb = 2 and f_mj is not null"
                                      << "0101";
        QTest::newRow("narrowed and with or") << "f_sqmc like '%王%' and (f_jb = 1 or f_mj > 1)"
                                              << "0101";
        QTest::newRow("narrowed and with not like") << "f_sqbm = '05' and not f_sqmc like '%z%'"
                                                    << "05";
        QTest::newRow("narrowed to none") << "f_sqmc like '%王%' and f_jb = 1"
                                          << "";
        QTest::newRow("null literal matches nothing") << "f_sqmc = null or f_sqmc <> null"
                                                      << "";
    }
    void meaning()
    {
        QFETCH(QString, expression);
        QFETCH(QString, codes);
        const DataStore s = fixture();
        QString error;
        const QStringList got = codesPassing(s, expression, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(got.join(u','), codes);
    }

    // '%x%' over a whole column finds x in the text arena, where the columns'
    // texts lie interleaved: hits in other columns' texts, empty and null
    // names, neighbouring rows both holding x, x at the first and last row.
    void containsOneCharacterAmongOtherColumns_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("codes");
        QTest::newRow("like") << u"f_sqmc LIKE '%东%'"_s << u"a,d,e,i"_s;
        QTest::newRow("not like") << u"f_sqmc NOT LIKE '%东%'"_s << u"b,g,h"_s;
        QTest::newRow("like, then a test on few rows") << u"f_sqmc LIKE '%东%' AND f_bmbm = '东'"_s << u"d,i"_s;
        QTest::newRow("like after another test") << u"f_bmbm = '东' AND f_sqmc LIKE '%东%'"_s << u"d,i"_s;
        QTest::newRow("two likes") << u"f_sqmc LIKE '%东%' AND f_bmbm LIKE '%东%'"_s << u"d,i"_s;
        QTest::newRow("like in an or") << u"f_sqmc LIKE '%东%' OR f_sqbm = 'h'"_s << u"a,d,e,h,i"_s;
        QTest::newRow("hits in other columns only") << u"f_sqbm LIKE '%东%'"_s << QString();
        QTest::newRow("last column, last row") << u"f_bmbm LIKE '%东%'"_s << u"b,c,d,g,i"_s;
        QTest::newRow("in no column") << u"f_sqmc LIKE '%北%'"_s << QString();
    }
    void containsOneCharacterAmongOtherColumns()
    {
        QFETCH(QString, expression);
        QFETCH(QString, codes);
        DataStore s({ { u"f_sqbm"_s, FieldType::String, 12, {} }, { u"f_sqmc"_s, FieldType::String, 40, {} },
            { u"f_bmbm"_s, FieldType::String, 12, {} } });
        const char16_t *rows[][3] = { { u"a", u"东", u"x" }, { u"b", u"", u"东东" }, { u"c", nullptr, u"东" },
            { u"d", u"河东", u"东" }, { u"e", u"东东城", u"" }, { u"f", nullptr, u"" }, { u"g", u"西城", u"东" },
            { u"h", u"", u"" }, { u"i", u"城东", u"东" } };
        for (const auto &r : rows) {
            s.appendString(0, QStringView(r[0]));
            if (r[1])
                s.appendString(1, QStringView(r[1]));
            else
                s.appendNull(1);
            s.appendString(2, QStringView(r[2]));
            s.commitRow();
        }
        QString error;
        const QStringList got = codesPassing(s, expression, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(got.join(u','), codes);
    }

    void errors_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing operand") << "f_sqbm = "
                                         << "过滤条件有误：第 10 个字符处应为字段名、文本或数字，却是表达式结尾。";
        QTest::newRow("missing paren") << "(f_sqbm = '01'"
                                       << "过滤条件有误：第 15 个字符处应为')'，却是表达式结尾。";
        QTest::newRow("open quote") << "f_sqbm = 'abc"
                                    << "过滤条件有误：第 10 个字符处应为字段名、文本或数字，却是未结束的文本。";
        QTest::newRow("unknown field") << "f_jb = 1 and f_nosuch = 1"
                                       << "过滤条件有误：第 14 个字符处的字段 f_nosuch 不存在。";
        QTest::newRow("text against number")
            << "f_jb = 'abc'"
            << "过滤条件有误：第 8 个字符处的 'abc' 不是数字，字段 f_jb 只能与数字比较。";
        QTest::newRow("between without and") << "f_sqbm between '01'"
                                             << "过滤条件有误：第 20 个字符处应为AND，却是表达式结尾。";
        QTest::newRow("empty in list") << "f_sqbm in ()"
                                       << "过滤条件有误：第 12 个字符处应为字段名、文本或数字，却是')'。";
        QTest::newRow("trailing word") << "f_sqbm = '01' xyz"
                                       << "过滤条件有误：第 15 个字符处应为AND、OR 或表达式结尾，却是'xyz'。";
        QTest::newRow("escape of two characters")
            << "f_sqmc like 'a' escape '!!'"
            << "过滤条件有误：第 24 个字符处应为一个字符的转义符（例如 '\\'），却是文本 '!!'。";
        QTest::newRow("pattern ending in its escape")
            << "f_sqmc like 'ab!' escape '!'"
            << "过滤条件有误：第 13 个字符处的模式以转义符结尾，转义符后应有一个字符。";
        QTest::newRow("stray character")
            << "f_sqbm # '01'"
            << "过滤条件有误：第 8 个字符处应为比较运算符（=、<>、<、<=、>、>=）、LIKE、BETWEEN、IN 或 IS，却是'#'。";
    }
    void errors()
    {
        QFETCH(QString, expression);
        QFETCH(QString, message);
        QString error;
        codesPassing(fixture(), expression, &error);
        QCOMPARE(error, message);
    }

    void deepNestingIsAnErrorNotACrash()
    {
        const QString deep = QString(5000, u'(') + QStringLiteral("1=1") + QString(5000, u')');
        Result<FilterExpression> e = FilterExpression::parse(deep);
        QVERIFY(!e);
        QVERIFY2(e.error().contains(QStringLiteral("过滤条件有误")), qPrintable(e.error()));
        // Long flat chains are fine: they do not nest.
        QStringList terms;
        for (int i = 0; i < 5000; ++i)
            terms << QStringLiteral("f_jb = %1").arg(i);
        QVERIFY(FilterExpression::parse(terms.join(QStringLiteral(" or "))));
    }

    void likePatterns_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("matches");
        QTest::newRow("exact") << "abc"
                               << "abc" << true;
        QTest::newRow("exact longer") << "abc"
                                      << "abcd" << false;
        QTest::newRow("percent alone") << "%"
                                       << "" << true;
        QTest::newRow("underscore needs one") << "_"
                                              << "" << false;
        QTest::newRow("underscore surrogate pair") << "_" << QString::fromUtf8("𠀀") << true;
        QTest::newRow("backtracking") << "%ab%abc"
                                      << "ababxabc" << true;
        QTest::newRow("overlap at end") << "%aa"
                                        << "a" << false;
        QTest::newRow("two segments order") << "%b%a%"
                                            << "ab" << false;
        QTest::newRow("anchored both") << "a%c"
                                       << "abbc" << true;
        QTest::newRow("anchored both short") << "ab%bc"
                                             << "abc" << false;
        QTest::newRow("regex chars literal") << "a.c"
                                             << "abc" << false;
    }
    void likePatterns()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(bool, matches);
        QCOMPARE(LikePattern(pattern).matches(text), matches);
    }

    // With an escape the character after it stands for itself, wildcards and
    // the escape included; without one a backslash and "[" are plain too.
    void likeEscapes_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("escape");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("matches");
        QTest::newRow("escaped percent") << u"a\\%"_s << u"\\"_s << u"a%"_s << true;
        QTest::newRow("escaped percent is no wildcard") << u"a\\%"_s << u"\\"_s << u"ab"_s << false;
        QTest::newRow("escaped underscore") << u"%\\_%"_s << u"\\"_s << u"x_y"_s << true;
        QTest::newRow("escaped underscore is no wildcard") << u"%\\_%"_s << u"\\"_s << u"xy"_s << false;
        QTest::newRow("escaped escape") << u"a\\\\%"_s << u"\\"_s << u"a\\b"_s << true;
        QTest::newRow("escaped bracket") << u"%\\[1]%"_s << u"\\"_s << u"x[1]"_s << true;
        QTest::newRow("escaped, then wildcard and segment") << u"\\%%\\_"_s << u"\\"_s << u"%ab_"_s << true;
        QTest::newRow("no escape: backslash is plain") << u"a\\%"_s << QString() << u"a\\b"_s << true;
        QTest::newRow("no escape: bracket is plain") << u"[1]%"_s << QString() << u"1x"_s << false;
    }
    void likeEscapes()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, escape);
        QFETCH(QString, text);
        QFETCH(bool, matches);
        QCOMPARE(LikePattern(pattern, escape.isEmpty() ? QChar() : escape.front()).matches(text), matches);
    }

    void badFilterKeepsThePreviousOne()
    {
        ClientDataSet ds;
        ds.loadStore(fixture());
        ds.setFilter(QStringLiteral("f_jb = 1"));
        ds.setFiltered(true);
        QCOMPARE(ds.recordCount(), 5);
        QVERIFY_THROWS_EXCEPTION(DataError, ds.setFilter(QStringLiteral("f_jb = ")));
        QVERIFY_THROWS_EXCEPTION(DataError, ds.setFilter(QStringLiteral("f_nosuch = 1")));
        QCOMPARE(ds.filter(), QStringLiteral("f_jb = 1"));
        QCOMPARE(ds.recordCount(), 5);
        ds.setFiltered(false);
        QCOMPARE(ds.recordCount(), 9);
    }
};

QTEST_GUILESS_MAIN(TestFilter)
#include "tst_filter.moc"

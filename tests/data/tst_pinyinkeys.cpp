// Pinyin keys of names and the type-ahead search over a dataset's view.
#include "data/ClientDataSet.h"
#include "data/PinyinKeys.h"
#include "data/TypeAhead.h"

#include <QTest>

using namespace sqda;
using namespace Qt::StringLiterals;

namespace {

// Code and name, as the listing holds them.
DataStore areas(std::initializer_list<std::pair<const char *, const char *>> rows)
{
    DataStore s({ { u"f_sqbm"_s, FieldType::String, 12, {} }, { u"f_sqmc"_s, FieldType::String, 40, {} } });
    for (const auto &[code, name] : rows) {
        s.appendString(0, QString::fromUtf8(code));
        if (name)
            s.appendString(1, QString::fromUtf8(name));
        else
            s.appendNull(1);
        s.commitRow();
    }
    return s;
}

} // namespace

class TestPinyinKeys : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keys_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("full");
        QTest::addColumn<QString>("initials");
        QTest::newRow("han") << u"东城商圈"_s << u"dongchengshangquan"_s << u"dcsq"_s;
        QTest::newRow("district") << u"徐汇区"_s << u"xuhuiqu"_s << u"xhq"_s;
        QTest::newRow("latin letter keeps itself") << u"A区"_s << u"aqu"_s << u"aq"_s;
        QTest::newRow("latin word keeps itself") << u"Wanda广场"_s << u"wandaguangchang"_s << u"wandagc"_s;
        QTest::newRow("digits keep themselves") << u"万达广场1号"_s << u"wandaguangchang1hao"_s << u"wdgc1h"_s;
        QTest::newRow("code only") << u"0101"_s << u"0101"_s << u"0101"_s;
        QTest::newRow("full-width letters") << u"ＡＢＣ商场"_s << u"abcshangchang"_s << u"abcsc"_s;
        QTest::newRow("brackets and spaces left out") << u"人民 路（88号）"_s << u"renminlu88hao"_s << u"rml88h"_s;
        QTest::newRow("traditional") << u"東城"_s << u"dongcheng"_s << u"dc"_s;
        QTest::newRow("accents") << u"Café区"_s << u"cafequ"_s << u"cafeq"_s;
        QTest::newRow("ideographic zero") << u"〇号"_s << u"linghao"_s << u"lh"_s;
        QTest::newRow("empty") << QString() << QString() << QString();
        // One reading a character, ICU's: 重 is zhong, 长 zhang, 行 xing, 厦
        // sha, even where the place name reads chong, chang, hang, xia.
        QTest::newRow("polyphone 重庆") << u"重庆"_s << u"zhongqing"_s << u"zq"_s;
        QTest::newRow("polyphone 长沙") << u"长沙"_s << u"zhangsha"_s << u"zs"_s;
        QTest::newRow("polyphone 银行") << u"工商银行"_s << u"gongshangyinxing"_s << u"gsyx"_s;
        QTest::newRow("polyphone 厦门") << u"厦门"_s << u"shamen"_s << u"sm"_s;
    }
    void keys()
    {
        QFETCH(QString, text);
        QFETCH(QString, full);
        QFETCH(QString, initials);
        const PinyinKeys::Key k = PinyinKeys::of(text);
        QCOMPARE(k.full, full);
        QCOMPARE(k.initials, initials);
        // The same keys when built for a whole column, next to other texts.
        PinyinKeys many;
        many.append(u"前面");
        many.append(text);
        many.appendEmpty();
        QCOMPARE(many.size(), 3);
        QCOMPARE(many.full(1).toString(), full);
        QCOMPARE(many.initials(1).toString(), initials);
        QCOMPARE(many.full(0).toString(), u"qianmian"_s);
        QVERIFY(many.full(2).isEmpty() && many.initials(2).isEmpty());
    }

    // A character beyond the BMP (a surrogate pair) is one character: 𠀀 has
    // a reading, U+2A6D6 none and keeps itself whole; a lone surrogate is no
    // letter and is left out.
    void supplementaryCharacters()
    {
        const PinyinKeys::Key read = PinyinKeys::of(u"A"_s + QString::fromUcs4(U"\U00020000") + u"B"_s);
        QCOMPARE(read.full, u"aheb"_s);
        QCOMPARE(read.initials, u"ahb"_s);
        const QString unread = QString::fromUcs4(U"\U0002A6D6");
        const PinyinKeys::Key kept = PinyinKeys::of(u"A"_s + unread + u"B"_s);
        QCOMPARE(kept.full, u"a"_s + unread + u"b"_s);
        QCOMPARE(kept.initials, u"a"_s + unread + u"b"_s);
        const QChar lone[] = { u'A', QChar(0xD800), u'B' };
        QCOMPARE(PinyinKeys::of(QStringView(lone, 3)).full, u"ab"_s);
    }

    void matching()
    {
        PinyinKeys keys;
        keys.append(u"东城商圈");
        const QString n = PinyinKeys::needle(u"DcSq");
        QCOMPARE(n, u"dcsq"_s);
        QVERIFY(keys.contains(0, n));
        QVERIFY(keys.contains(0, u"shang"));
        QVERIFY(keys.contains(0, u"csq"));
        QVERIFY(!keys.contains(0, u"dcx"));
        QVERIFY(keys.startsWith(0, u"dong"));
        QVERIFY(keys.startsWith(0, u"dc"));
        QVERIFY(!keys.startsWith(0, u"cs"));
        QVERIFY(!keys.startsWith(0, u"cheng"));

        QVERIFY(PinyinKeys::isLatinLetters(u"dcsq"));
        QVERIFY(PinyinKeys::isLatinLetters(u"XuHui"));
        QVERIFY(!PinyinKeys::isLatinLetters(u""));
        QVERIFY(!PinyinKeys::isLatinLetters(u"dc1"));
        QVERIFY(!PinyinKeys::isLatinLetters(u"d c"));
        QVERIFY(!PinyinKeys::isLatinLetters(u"东"));
        QVERIFY(!PinyinKeys::isLatinLetters(u"ｄｃ")); // full-width
    }

    // A column's keys by store row; null cells and other types get none; the
    // dataset keeps them until its rows change.
    void columnKeysFollowTheRows()
    {
        ClientDataSet ds;
        ds.loadStore(areas({ { "01", "东城" }, { "02", nullptr }, { "03", "A区" } }));
        const PinyinKeys &keys = ds.pinyinKeysFor(1);
        QCOMPARE(keys.size(), 3);
        QCOMPARE(keys.full(0).toString(), u"dongcheng"_s);
        QVERIFY(keys.full(1).isEmpty());
        QCOMPARE(keys.initials(2).toString(), u"aq"_s);
        QCOMPARE(&ds.pinyinKeysFor(1), &keys); // built once

        DataStore numbers({ { u"n"_s, FieldType::Int32, 0, {} } });
        numbers.appendInt(0, 7);
        numbers.commitRow();
        QCOMPARE(PinyinKeys::forColumn(numbers, 0).size(), 1);
        QVERIFY(PinyinKeys::forColumn(numbers, 0).full(0).isEmpty());

        ds.loadStore(areas({ { "09", "西区" } }));
        QCOMPARE(ds.pinyinKeysFor(1).size(), 1);
        QCOMPARE(ds.pinyinKeysFor(1).full(0).toString(), u"xiqu"_s);
        ds.append();
        ds.fieldByName(u"f_sqbm")->setValue(u"10"_s);
        ds.fieldByName(u"f_sqmc")->setValue(u"北区"_s);
        ds.post();
        QCOMPARE(ds.pinyinKeysFor(1).size(), 2);
        QCOMPARE(ds.pinyinKeysFor(1).initials(1).toString(), u"bq"_s);
    }

    void typeAhead_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("found");
        // 0 01 东城, 1 0101 东城一街, 2 02 西区, 3 03 A区, 4 0301 徐汇区
        QTest::newRow("initials from the start") << u"xh"_s << 0 << 4;
        QTest::newRow("full pinyin") << u"xuhui"_s << 0 << 4;
        QTest::newRow("upper case typed") << u"XuHui"_s << 0 << 4;
        QTest::newRow("code") << u"0101"_s << 0 << 1;
        QTest::newRow("the start row itself") << u"dc"_s << 1 << 1;
        QTest::newRow("next after the start") << u"dc"_s << 2 << 0;
        QTest::newRow("wraps round") << u"01"_s << 2 << 0;
        QTest::newRow("latin name") << u"aq"_s << 0 << 3;
        QTest::newRow("initials only at the start") << u"cq"_s << 0 << -1;
        QTest::newRow("no match") << u"zz"_s << 2 << -1;
        QTest::newRow("empty") << QString() << 0 << -1;
    }
    void typeAhead()
    {
        QFETCH(QString, typed);
        QFETCH(int, from);
        QFETCH(int, found);
        ClientDataSet ds;
        ds.loadStore(areas(
            { { "01", "东城" }, { "0101", "东城一街" }, { "02", "西区" }, { "03", "A区" }, { "0301", "徐汇区" } }));
        QCOMPARE(TypeAhead::find(ds, 0, 1, typed, from), found);
    }

    // Positions are the view's: sorted by name descending, then filtered.
    void typeAheadFollowsTheView()
    {
        ClientDataSet ds;
        ds.loadStore(areas({ { "01", "东城" }, { "02", "西区" }, { "03", "北区" }, { "04", "徐汇" } }));
        ds.addIndex(u"byname"_s, u"f_sqmc"_s, IndexOption::CaseInsensitive, u"f_sqmc"_s);
        ds.setIndexName(u"byname"_s); // 徐汇 西区 东城 北区
        ds.first();
        QCOMPARE(ds.fieldByName(u"f_sqbm")->asString(), u"04"_s);
        QCOMPARE(TypeAhead::find(ds, 0, 1, u"x", 0), 0);
        QCOMPARE(TypeAhead::find(ds, 0, 1, u"x", 1), 1);
        QCOMPARE(TypeAhead::find(ds, 0, 1, u"b", 0), 3);
        QCOMPARE(TypeAhead::find(ds, 0, 1, u"01", 3), 2);
        ds.setFilter(u"f_sqbm <> '04'"_s);
        ds.setFiltered(true); // 西区 东城 北区
        QCOMPARE(TypeAhead::find(ds, 0, 1, u"x", 1), 0);
        QCOMPARE(TypeAhead::find(ds, 0, 1, u"xh", 0), -1);
        QCOMPARE(TypeAhead::find(ds, 0, 1, u"b", 0), 2);
        // Without a name column the code alone; without either nothing.
        QCOMPARE(TypeAhead::find(ds, 0, -1, u"b", 0), -1);
        QCOMPARE(TypeAhead::find(ds, 0, -1, u"03", 0), 2);
        QCOMPARE(TypeAhead::find(ds, -1, -1, u"03", 0), -1);
    }
};

QTEST_GUILESS_MAIN(TestPinyinKeys)
#include "tst_pinyinkeys.moc"

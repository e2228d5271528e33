// The dataset's view: indexes and the filter together, the cursor and record
// count that follow them, persistent fields, and the table model over it all.
#include "data/ClientDataSet.h"
#include "data/ColumnRanks.h"
#include "data/DataError.h"
#include "data/DataSetModel.h"
#include "data/Packet.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <limits>
#include <memory>
#include <numeric>

using namespace sqda;
using namespace Qt::StringLiterals;

namespace {

FieldDefs listFields()
{
    return { { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} }, { QStringLiteral("f_jb"), FieldType::Int32, 0, {} } };
}

void add(ClientDataSet &ds, const QString &code, const QVariant &name, int level)
{
    ds.append();
    ds.fieldByName(u"f_sqbm")->setValue(code);
    ds.fieldByName(u"f_sqmc")->setValue(name);
    ds.fieldByName(u"f_jb")->setValue(level);
    ds.post();
}

QStringList column(ClientDataSet &ds, QStringView field)
{
    QStringList out;
    for (ds.first(); !ds.eof(); ds.next())
        out << ds.fieldByName(field)->asString();
    return out;
}

// The grid's way of sorting: replace "customindex" and make it current.
void sortBy(ClientDataSet &ds, const QString &fields, const QString &desc)
{
    ds.updateIndexDefs();
    if (ds.indexDefs().find(QStringLiteral("customindex")))
        ds.deleteIndex(QStringLiteral("customindex"));
    ds.addIndex(QStringLiteral("customindex"), fields, IndexOption::CaseInsensitive, desc);
    ds.setIndexName(QStringLiteral("customindex"));
}

// Sign of a against b as the column's order has it: A-Z folded when `ci`, then
// code units for ASCII text, the Chinese collation for other text.
int compareAsRanked(UCollator *coll, const QString &a, const QString &b, bool ascii, bool ci)
{
    if (ascii) {
        const int c = ci ? QString::compare(a, b, Qt::CaseInsensitive) : QString::compare(a, b);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    const auto fold = [ci](const QString &s) {
        if (!ci)
            return s;
        std::vector<UChar> out(size_t(s.size()) * 3 + 1);
        UErrorCode st = U_ZERO_ERROR;
        const int32_t n = u_strFoldCase(out.data(), int32_t(out.size()), reinterpret_cast<const UChar *>(s.utf16()),
            int32_t(s.size()), U_FOLD_CASE_DEFAULT, &st);
        return QString(reinterpret_cast<const QChar *>(out.data()), n);
    };
    const QString fa = fold(a), fb = fold(b);
    const UCollationResult r = ucol_strcoll(coll, reinterpret_cast<const UChar *>(fa.utf16()), int32_t(fa.size()),
        reinterpret_cast<const UChar *>(fb.utf16()), int32_t(fb.size()));
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

} // namespace

class TestDataSetView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Thousands of rows, many sharing their first eight characters or equal but
    // for case, some null: ordered by rank, each row against the next compares
    // as its rank says (equal ranks exactly for equal texts).
    void ranksOfManyRowsOrderEveryPair_data()
    {
        QTest::addColumn<bool>("ascii");
        QTest::addColumn<bool>("ci");
        QTest::newRow("codes") << true << false;
        QTest::newRow("codes, case folded") << true << true;
        QTest::newRow("names") << false << false;
        QTest::newRow("names, case folded") << false << true;
    }
    void ranksOfManyRowsOrderEveryPair()
    {
        QFETCH(bool, ascii);
        QFETCH(bool, ci);
        const QString letters = ascii ? u"0123456789AaBbZz-"_s : u"东西南北中华城区AaZz09"_s;
        DataStore store({ { u"f_sqbm"_s, FieldType::String, 40, {} } });
        quint32 seed = 12345;
        const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
        const QString shared = ascii ? u"01020304"_s : u"东城西城"_s;
        for (int i = 0; i < 3000; ++i) {
            if (next() % 50 == 0) {
                store.appendNull(0);
            } else {
                QString t = next() % 3 == 0 ? shared : QString();
                const int len = int(next() % (ascii ? 12 : 5));
                for (int k = 0; k < len; ++k)
                    t += letters[qsizetype(next() % quint32(letters.size()))];
                store.appendString(0, t);
            }
            store.commitRow();
        }
        const ColumnRanks ranks = ColumnRanks::build(store, 0, ci);
        std::vector<quint32> order(size_t(store.rowCount()));
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(
            order.begin(), order.end(), [&](quint32 a, quint32 b) { return ranks.ranks[a] < ranks.ranks[b]; });
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<UCollator, void (*)(UCollator *)> coll(ucol_open("zh_CN", &status), ucol_close);
        QVERIFY(U_SUCCESS(status));
        for (size_t i = 0; i + 1 < order.size(); ++i) {
            const quint32 a = order[i], b = order[i + 1];
            const quint32 ra = ranks.ranks[a], rb = ranks.ranks[b];
            if (store.isNull(a, 0) || store.isNull(b, 0)) {
                QCOMPARE(ra == 0, store.isNull(a, 0));
                QCOMPARE(rb == 0, store.isNull(b, 0));
                continue;
            }
            const QString ta = store.string(a, 0).toString(), tb = store.string(b, 0).toString();
            const int c = compareAsRanked(coll.get(), ta, tb, ascii, ci);
            QVERIFY2(c == (ra == rb ? 0 : -1),
                qPrintable(u"%1 (rank %2) before %3 (rank %4)"_s.arg(ta).arg(ra).arg(tb).arg(rb)));
        }
        QCOMPARE(ranks.maxRank, ranks.ranks[order.back()]);
    }

    void textOrder_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("desc");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("pinyin") << QStringList { "天津", "北京", "上海" } << ""
                                << QStringList { "北京", "上海", "天津" };
        QTest::newRow("pinyin descending")
            << QStringList { "北京", "天津", "上海" } << "f_sqmc" << QStringList { "天津", "上海", "北京" };
        QTest::newRow("pinyin ignores case")
            << QStringList { "b区", "A区", "a区", "东城" } << "" << QStringList { "东城", "A区", "a区", "b区" };
        QTest::newRow("codes by characters")
            << QStringList { "0201", "02", "01", "0101", "1" } << "" << QStringList { "01", "0101", "02", "0201", "1" };
        QTest::newRow("ascii ignores case")
            << QStringList { "b", "B", "a", "A" } << "" << QStringList { "a", "A", "b", "B" };
        QTest::newRow("long shared prefix") << QStringList { "0101010101012", "0101010101011", "010101010101" } << ""
                                            << QStringList { "010101010101", "0101010101011", "0101010101012" };
        QTest::newRow("null first, last descending")
            << QStringList { "北京", QString(), "上海" } << "f_sqmc" << QStringList { "上海", "北京", QString() };
    }
    void textOrder()
    {
        QFETCH(QStringList, values);
        QFETCH(QString, desc);
        QFETCH(QStringList, expected);
        ClientDataSet ds;
        ds.createDataSet(listFields());
        for (int i = 0; i < values.size(); ++i)
            add(ds, QString::number(i), values[i].isNull() ? QVariant() : QVariant(values[i]), 1);
        sortBy(ds, QStringLiteral("f_sqmc"), desc);
        QStringList got;
        for (ds.first(); !ds.eof(); ds.next()) {
            Field *f = ds.fieldByName(u"f_sqmc");
            got << (f->isNull() ? QString() : f->asString());
        }
        QCOMPARE(got, expected);
    }

    void otherTypesOrder()
    {
        // Numbers, booleans and dates order by value; NaN sorts with the nulls; the
        // Descending option turns every field round.
        DataStore s({ { QStringLiteral("id"), FieldType::String, 4, {} },
            { QStringLiteral("l"), FieldType::Int64, 0, {} }, { QStringLiteral("d"), FieldType::Double, 0, {} },
            { QStringLiteral("b"), FieldType::Bool, 0, {} }, { QStringLiteral("dt"), FieldType::Date, 0, {} } });
        const qint64 ls[] = { 5000000000LL, -1, 7, 0 };
        const double reals[] = { 2.5, -0.5, std::numeric_limits<double>::quiet_NaN(), 1e300 };
        const bool bs[] = { true, false, true, false };
        const QDate dts[] = { QDate(2024, 3, 1), QDate(1999, 12, 31), QDate(2024, 2, 29), QDate(2000, 1, 1) };
        for (int r = 0; r < 4; ++r) {
            s.appendString(0, QString(QChar(u'a' + r)));
            s.appendInt(1, ls[r]);
            s.appendDouble(2, reals[r]);
            s.appendBool(3, bs[r]);
            s.appendDate(4, dts[r]);
            s.commitRow();
        }
        ClientDataSet ds;
        ds.loadStore(std::move(s));
        auto order = [&](const QString &fields, IndexOptions options) {
            ds.addIndex(QStringLiteral("i"), fields, options);
            ds.setIndexName(QStringLiteral("i"));
            return column(ds, u"id").join(QString());
        };
        QCOMPARE(order(QStringLiteral("l"), {}), QStringLiteral("bdca"));
        QCOMPARE(order(QStringLiteral("d"), {}), QStringLiteral("cbad"));
        QCOMPARE(order(QStringLiteral("d"), IndexOption::Descending), QStringLiteral("dabc"));
        QCOMPARE(order(QStringLiteral("b;dt"), {}), QStringLiteral("bdca"));
        QCOMPARE(order(QStringLiteral("dt"), IndexOption::Descending | IndexOption::CaseInsensitive),
            QStringLiteral("acdb"));
    }

    void equalKeysKeepTheirOrder()
    {
        // Rows equal on every key stay in the order they were loaded, ascending or not.
        ClientDataSet ds;
        ds.createDataSet(listFields());
        const int levels[] = { 2, 1, 2, 1, 2, 1 };
        for (int i = 0; i < 6; ++i)
            add(ds, QStringLiteral("c%1").arg(i), QStringLiteral("同名"), levels[i]);
        sortBy(ds, QStringLiteral("f_sqmc;f_jb"), {});
        QCOMPARE(column(ds, u"f_sqbm"), (QStringList { "c1", "c3", "c5", "c0", "c2", "c4" }));
        sortBy(ds, QStringLiteral("f_sqmc;f_jb"), QStringLiteral("f_jb"));
        QCOMPARE(column(ds, u"f_sqbm"), (QStringList { "c0", "c2", "c4", "c1", "c3", "c5" }));
        // Two keys, the first most significant, each with its own direction.
        sortBy(ds, QStringLiteral("f_jb;f_sqbm"), QStringLiteral("f_sqbm"));
        QCOMPARE(column(ds, u"f_sqbm"), (QStringList { "c5", "c3", "c1", "c4", "c2", "c0" }));
    }

    void indexFilterAndCursorTogether()
    {
        ClientDataSet ds;
        ds.createDataSet(listFields());
        add(ds, QStringLiteral("01"), QStringLiteral("上海"), 1);
        add(ds, QStringLiteral("0101"), QStringLiteral("北京"), 2);
        add(ds, QStringLiteral("0102"), QStringLiteral("天津"), 2);
        add(ds, QStringLiteral("02"), QStringLiteral("重庆"), 1);

        quint64 version = ds.viewVersion();
        sortBy(ds, QStringLiteral("f_sqmc"), {});
        QVERIFY(ds.viewVersion() > version);
        QCOMPARE(column(ds, u"f_sqmc"), (QStringList { "北京", "重庆", "上海", "天津" })); // Chongqing before Shanghai
        version = ds.viewVersion();
        ds.setFilter(QStringLiteral("f_jb = 2"));
        ds.setFiltered(true);
        QCOMPARE(ds.recordCount(), 2);
        QVERIFY(ds.viewVersion() > version);
        version = ds.viewVersion();
        QCOMPARE(column(ds, u"f_sqmc"), (QStringList { "北京", "天津" }));
        QCOMPARE(ds.viewVersion(), version); // walking the rows changes nothing

        // Changing the index keeps the cursor on its record; changing the filter goes to the first.
        ds.last();
        QCOMPARE(ds.fieldByName(u"f_sqbm")->asString(), QStringLiteral("0102"));
        sortBy(ds, QStringLiteral("f_sqbm"), QStringLiteral("f_sqbm"));
        QCOMPARE(ds.currentIndex(), 0);
        QCOMPARE(ds.fieldByName(u"f_sqbm")->asString(), QStringLiteral("0102"));
        ds.setFilter(QStringLiteral("f_jb = 1"));
        QCOMPARE(column(ds, u"f_sqbm"), (QStringList { "02", "01" }));

        // Appending into a sorted, filtered view: a passing row takes its place, the
        // cursor on it; a row the filter rejects is stored but not shown.
        add(ds, QStringLiteral("015"), QStringLiteral("广州"), 1);
        QCOMPARE(ds.fieldByName(u"f_sqbm")->asString(), QStringLiteral("015"));
        QCOMPARE(column(ds, u"f_sqbm"), (QStringList { "02", "015", "01" }));
        add(ds, QStringLiteral("03"), QStringLiteral("深圳"), 2);
        QCOMPARE(ds.recordCount(), 3);
        ds.setFiltered(false);
        QCOMPARE(column(ds, u"f_sqbm"), (QStringList { "03", "02", "015", "0102", "0101", "01" }));

        // Deleting the current index goes back to store order; unknown names are errors.
        ds.deleteIndex(QStringLiteral("CUSTOMINDEX"));
        QCOMPARE(ds.indexName(), QString());
        QCOMPARE(column(ds, u"f_sqbm"), (QStringList { "01", "0101", "0102", "02", "015", "03" }));
        QVERIFY_THROWS_EXCEPTION(DataError, ds.setIndexName(QStringLiteral("nosuch")));
        ds.addIndex(QStringLiteral("bad"), QStringLiteral("f_sqbm;f_nosuch"));
        QVERIFY_THROWS_EXCEPTION(DataError, ds.setIndexName(QStringLiteral("bad")));
        QCOMPARE(ds.recordCount(), 6);
    }

    void reloadKeepsIndexAndFilter()
    {
        ClientDataSet source;
        source.createDataSet(listFields());
        add(source, QStringLiteral("02"), QStringLiteral("天津"), 1);
        add(source, QStringLiteral("01"), QStringLiteral("北京"), 1);
        add(source, QStringLiteral("03"), QStringLiteral("上海"), 2);

        ClientDataSet ds;
        ds.setFilter(QStringLiteral("f_jb = 1"));
        ds.setFiltered(true);
        ds.addIndex(QStringLiteral("byName"), QStringLiteral("f_sqmc"));
        ds.setIndexName(QStringLiteral("byName"));
        QVERIFY(ds.loadPacket(source.data()));
        QCOMPARE(column(ds, u"f_sqmc"), (QStringList { "北京", "天津" }));

        // Rows the filter cannot apply to are refused; the old rows stay.
        ClientDataSet other;
        other.createDataSet({ { QStringLiteral("f_sqbm"), FieldType::String, 12, {} } });
        const Status refused = ds.loadPacket(other.data());
        QVERIFY(!refused);
        const QString error = refused.error();
        QVERIFY2(error.contains(QStringLiteral("f_jb")), qPrintable(error));
        QCOMPARE(ds.recordCount(), 2);
    }

    void persistentFields()
    {
        ClientDataSet ds;
        FieldDefs defs = { { QStringLiteral("f_sqbm"), FieldType::String, 12, QStringLiteral("商圈编码") },
            { QStringLiteral("f_sqmc"), FieldType::String, 40, QStringLiteral("商圈名称") },
            { QStringLiteral("f_jb"), FieldType::String, 10, QStringLiteral("级别") } };
        defs[2].visible = false;
        ds.setPersistentFields(defs);

        // Extra columns are ignored, columns are matched by name in any case and order,
        // a column of another type is converted.
        DataStore wide(
            { { QStringLiteral("F_JB"), FieldType::Int32, 0, {} }, { QStringLiteral("f_mj"), FieldType::Double, 0, {} },
                { QStringLiteral("f_sqmc"), FieldType::String, 40, {} },
                { QStringLiteral("f_sqbm"), FieldType::String, 12, {} } });
        wide.appendInt(0, 3);
        wide.appendDouble(1, 1.5);
        wide.appendString(2, u"东城");
        wide.appendString(3, u"01");
        wide.commitRow();
        QVERIFY(ds.loadPacket(Packet::encode(wide)));
        QCOMPARE(ds.fieldCount(), 3);
        QCOMPARE(ds.fieldDefs(), defs);
        QCOMPARE(ds.fieldByName(u"f_jb")->asString(), QStringLiteral("3"));
        QCOMPARE(ds.fieldByName(u"f_sqmc")->displayLabel(), QStringLiteral("商圈名称"));
        QVERIFY(!ds.fieldByName(u"f_jb")->visible());

        // A packet without one of the fields is refused by name; the old rows stay.
        DataStore narrow({ { QStringLiteral("f_sqbm"), FieldType::String, 12, {} } });
        narrow.appendString(0, u"02");
        narrow.commitRow();
        const Status refused = ds.loadPacket(Packet::encode(narrow));
        QVERIFY(!refused);
        const QString error = refused.error();
        QVERIFY2(error.contains(QStringLiteral("f_sqmc")), qPrintable(error));
        QCOMPARE(ds.recordCount(), 1);
        QCOMPARE(ds.fieldByName(u"f_sqbm")->asString(), QStringLiteral("01"));
        QVERIFY_THROWS_EXCEPTION(DataError, ds.loadStore(std::move(narrow)));
    }

    void modelFollowsTheView()
    {
        ClientDataSet ds;
        DataSetModel model(&ds);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        ds.createDataSet(listFields());
        for (int i = 0; i < 20; ++i)
            add(ds, QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("名%1").arg(i % 7), i % 3);
        QCOMPARE(model.rowCount(), 20);
        QCOMPARE(model.columnCount(), 3);
        ds.fieldByName(u"f_sqmc")->setDisplayLabel(QStringLiteral("商圈名称"));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("商圈名称"));
        QCOMPARE(model.data(model.index(2, 2)).toString(), QStringLiteral("2"));
        QCOMPARE(model.data(model.index(2, 2), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
            Qt::AlignRight);

        // A selected cell follows its record through re-sorts and filters.
        QPersistentModelIndex tracked = model.index(5, 1);
        sortBy(ds, QStringLiteral("f_sqmc;f_sqbm"), QStringLiteral("f_sqmc"));
        QCOMPARE(model.data(model.index(tracked.row(), 0)).toString(), QStringLiteral("05"));
        QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("名6"));
        // A few, two of them cells of the current record: each finds its record.
        ds.setCurrentIndex(9);
        const QString currentCode = model.data(model.index(9, 0)).toString();
        const QString otherCode = model.data(model.index(2, 0)).toString();
        QPersistentModelIndex currentA = model.index(9, 0), currentB = model.index(9, 2), other = model.index(2, 1);
        sortBy(ds, QStringLiteral("f_sqbm"), QStringLiteral("f_sqbm"));
        QCOMPARE(model.data(model.index(currentA.row(), 0)).toString(), currentCode);
        QCOMPARE(currentB.row(), currentA.row());
        QCOMPARE(currentB.column(), 2);
        QCOMPARE(currentA.row(), ds.currentIndex());
        QCOMPARE(model.data(model.index(other.row(), 0)).toString(), otherCode);
        sortBy(ds, QStringLiteral("f_sqmc;f_sqbm"), QStringLiteral("f_sqmc"));
        QCOMPARE(model.data(model.index(tracked.row(), 0)).toString(), QStringLiteral("05"));
        // Many at once (a whole column of cells, two cells of one record too)
        // take the other way of mapping rows back; each still finds its record.
        QList<QPersistentModelIndex> many;
        QStringList codes;
        for (int r = 0; r < 12; ++r) {
            many << model.index(r, 2);
            codes << model.data(model.index(r, 0)).toString();
        }
        many << model.index(3, 0);
        codes << model.data(model.index(3, 0)).toString();
        sortBy(ds, QStringLiteral("f_sqbm"), QStringLiteral("f_sqbm"));
        for (qsizetype i = 0; i < many.size(); ++i)
            QCOMPARE(model.data(model.index(many[i].row(), 0)).toString(), codes[i]);
        QCOMPARE(many.last().column(), 0);
        QCOMPARE(model.data(model.index(tracked.row(), 0)).toString(), QStringLiteral("05"));
        sortBy(ds, QStringLiteral("f_sqmc;f_sqbm"), QStringLiteral("f_sqmc"));

        ds.setFilter(QStringLiteral("f_jb = 2"));
        ds.setFiltered(true);
        QCOMPARE(model.rowCount(), 6);
        QCOMPARE(model.data(model.index(tracked.row(), 0)).toString(), QStringLiteral("05"));
        ds.setFilter(QStringLiteral("f_jb = 1"));
        QVERIFY(!tracked.isValid()); // filtered out

        add(ds, QStringLiteral("99"), QStringLiteral("名0"), 1);
        QCOMPARE(model.rowCount(), 8);
        ds.setIndexName(QString());
        add(ds, QStringLiteral("98"), QStringLiteral("名0"), 1);
        QCOMPARE(model.data(model.index(model.rowCount() - 1, 0)).toString(), QStringLiteral("98"));
        ds.setFiltered(false);
        ds.emptyDataSet();
        QCOMPARE(model.rowCount(), 0);
        ds.createDataSet({ { QStringLiteral("x"), FieldType::Double, 0, {} } });
        QCOMPARE(model.columnCount(), 1);
        ds.close();
        QCOMPARE(model.rowCount(), 0);
    }

    void modelOutlivesItsDataSet()
    {
        auto ds = std::make_unique<ClientDataSet>();
        ds->createDataSet(listFields());
        add(*ds, QStringLiteral("01"), QStringLiteral("东城"), 1);
        DataSetModel model(ds.get());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 1);
        ds.reset();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDataSetView)
#include "tst_datasetview.moc"

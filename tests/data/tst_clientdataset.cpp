// The in-memory dataset: the cursor, fields by name, append and post, and the
// conversions the environment and the forms rely on.
#include "data/ClientDataSet.h"
#include "data/DataError.h"

#include <QSignalSpy>
#include <QTest>

#include <limits>

using namespace sqda;

namespace {

FieldDefs areaFields()
{
    return {
        { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} },
        { QStringLiteral("f_bmbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_mj"), FieldType::Int32, 0, {} },
        { QStringLiteral("f_jb"), FieldType::Int32, 0, {} },
    };
}

void appendArea(ClientDataSet &ds, const QString &code, const QString &name, int level)
{
    ds.append();
    ds.fieldByName(u"f_sqbm")->setValue(code);
    ds.fieldByName(u"f_sqmc")->setValue(name);
    ds.fieldByName(u"f_bmbm")->setValue(QStringLiteral("0101"));
    ds.fieldByName(u"f_jb")->setValue(level);
    ds.fieldByName(u"f_mj")->setValue(1);
    ds.post();
}

} // namespace

class TestClientDataSet : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void appendPostAndWalk()
    {
        ClientDataSet ds;
        QSignalSpy opened(&ds, &ClientDataSet::opened);
        ds.createDataSet(areaFields());
        QCOMPARE(opened.count(), 1);
        QVERIFY(ds.isEmpty());
        QVERIFY(ds.eof() && ds.bof());

        appendArea(ds, QStringLiteral("01"), QStringLiteral("东城"), 1);
        appendArea(ds, QStringLiteral("0101"), QStringLiteral("王府井"), 2);
        appendArea(ds, QStringLiteral("010101234567"), QStringLiteral("十二位编码"), 3);
        QCOMPARE(ds.recordCount(), 3);
        // Post leaves the cursor on the new row.
        QCOMPARE(ds.fieldByName(u"F_SQBM")->asString(), QStringLiteral("010101234567"));

        QStringList codes;
        for (ds.first(); !ds.eof(); ds.next())
            codes << ds.fieldByName(u"f_sqbm")->asString();
        QCOMPARE(codes, (QStringList { "01", "0101", "010101234567" }));
        // Past the end the cursor stays on the last row; one step back is the middle one.
        QCOMPARE(ds.fieldByName(u"f_jb")->asInteger(), 3);
        ds.prior();
        QCOMPARE(ds.fieldByName(u"f_jb")->asInteger(), 2);
        QVERIFY(!ds.eof());
    }

    void packetRoundTripKeepsLongCodesWhole()
    {
        // The row set declares f_sqbm narrower than a code can be; a code is never cut.
        FieldDefs defs = areaFields();
        defs[0].size = 10;
        ClientDataSet a;
        a.createDataSet(defs);
        appendArea(a, QStringLiteral("010203040506"), QStringLiteral("名称 带空格 "), 6);
        ClientDataSet b;
        QVERIFY(b.loadPacket(a.data()));
        QCOMPARE(b.fieldByName(u"f_sqbm")->asString(), QStringLiteral("010203040506"));
        QCOMPARE(b.fieldByName(u"f_sqmc")->asString(), QStringLiteral("名称 带空格 "));
        QCOMPARE(b.fieldDefs(), defs);
    }

    void emptyAndClose()
    {
        ClientDataSet ds;
        ds.createDataSet(areaFields());
        appendArea(ds, QStringLiteral("01"), QStringLiteral("东城"), 1);
        QSignalSpy reset(&ds, &ClientDataSet::dataReset);
        ds.emptyDataSet();
        QCOMPARE(reset.count(), 1);
        QCOMPARE(ds.recordCount(), 0);
        QCOMPARE(ds.fieldCount(), 5);
        QVERIFY(ds.fieldByName(u"f_sqbm")->isNull());

        QSignalSpy closed(&ds, &ClientDataSet::closed);
        ds.close();
        QCOMPARE(closed.count(), 1);
        QVERIFY(!ds.isActive());
        QVERIFY_THROWS_EXCEPTION(DataError, ds.append());
    }

    // reloaded() marks every replacement of the rows, and nothing else: a view
    // that clears its sort marks on it must not lose them to an append or a
    // re-sort, nor miss a packet loaded into an open dataset.
    void reloadedOnlyWhenRowsAreReplaced()
    {
        ClientDataSet ds;
        QSignalSpy reloaded(&ds, &ClientDataSet::reloaded);
        // What a receiver sees: the new rows are already in place.
        QList<int> counts;
        connect(&ds, &ClientDataSet::reloaded, &ds, [&] { counts << (ds.isActive() ? ds.recordCount() : -1); });
        ds.createDataSet(areaFields());
        QCOMPARE(reloaded.count(), 1);
        appendArea(ds, QStringLiteral("02"), QStringLiteral("西城"), 1);
        ds.addIndex(QStringLiteral("byName"), QStringLiteral("f_sqmc"));
        ds.setIndexName(QStringLiteral("byName"));
        appendArea(ds, QStringLiteral("01"), QStringLiteral("东城"), 1); // placed in the sorted view
        ds.setFilter(QStringLiteral("f_jb = 1"));
        ds.setFiltered(true);
        ds.emptyDataSet();
        QCOMPARE(reloaded.count(), 1);

        appendArea(ds, QStringLiteral("03"), QStringLiteral("河东"), 1);
        const QByteArray packet = ds.data();
        QVERIFY(ds.loadPacket(packet)); // into the open dataset
        QCOMPARE(reloaded.count(), 2);
        QVERIFY(!ds.loadPacket(QByteArray("not a packet")));
        QCOMPARE(reloaded.count(), 2);
        ds.close();
        QCOMPARE(reloaded.count(), 3);
        ds.close(); // already closed
        QCOMPARE(reloaded.count(), 3);
        QVERIFY(ds.loadPacket(packet));
        QCOMPARE(reloaded.count(), 4);
        QCOMPARE(counts, QList<int>({ 0, 1, -1, 1 }));
    }

    // An index chosen while a reload is announced orders the new rows; the old
    // ones are not re-sorted on the way out.
    void indexChosenBeforeAReloadOrdersTheNewRows()
    {
        ClientDataSet ds;
        ds.createDataSet(areaFields());
        appendArea(ds, QStringLiteral("02"), QStringLiteral("西城"), 1);
        appendArea(ds, QStringLiteral("01"), QStringLiteral("东城"), 1);
        ds.addIndex(QStringLiteral("byCode"), QStringLiteral("f_sqbm"));
        const QByteArray packet = ds.data();
        QString choose;
        connect(&ds, &ClientDataSet::aboutToReload, &ds, [&] { ds.setIndexName(choose); });
        QSignalSpy layouts(&ds, &ClientDataSet::layoutAboutToChange);
        const auto codes = [&ds] {
            QStringList out;
            for (ds.first(); !ds.eof(); ds.next())
                out << ds.fieldByName(u"f_sqbm")->asString();
            return out.join(u' ');
        };

        choose = QStringLiteral("byCode");
        QVERIFY(ds.loadPacket(packet));
        QCOMPARE(ds.indexName(), QStringLiteral("byCode"));
        QCOMPARE(codes(), QStringLiteral("01 02"));
        choose.clear();
        QVERIFY(ds.loadPacket(packet));
        QCOMPARE(ds.indexName(), QString());
        QCOMPARE(codes(), QStringLiteral("02 01"));
        QCOMPARE(layouts.count(), 0); // the old rows were never re-sorted

        // Outside a reload the choice sorts at once.
        ds.setIndexName(QStringLiteral("byCode"));
        QCOMPARE(layouts.count(), 1);
        QCOMPARE(codes(), QStringLiteral("01 02"));
    }

    void conversions_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("converts");
        QTest::addColumn<int>("asInteger");

        QTest::newRow("digits") << QVariant(QStringLiteral("42")) << true << 42;
        QTest::newRow("negative") << QVariant(QStringLiteral("-7")) << true << -7;
        QTest::newRow("letters") << QVariant(QStringLiteral("abc")) << false << 0;
        QTest::newRow("empty") << QVariant(QString()) << false << 0;
        QTest::newRow("null") << QVariant() << false << 0;
        QTest::newRow("too large") << QVariant(QStringLiteral("3000000000")) << false << 0;
    }

    void conversions()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, converts);
        QFETCH(int, asInteger);
        ClientDataSet ds;
        ds.createDataSet({ { QStringLiteral("f_csz"), FieldType::String, 40, {} } });
        ds.append();
        ds.field(0)->setValue(stored);
        ds.post();
        if (converts) {
            QCOMPARE(ds.field(0)->asInteger(), asInteger);
        } else {
            try {
                ds.field(0)->asInteger();
                QFAIL("no conversion error");
            } catch (const DataError &e) {
                QVERIFY2(e.message().contains(QStringLiteral("is not a valid integer value")), qPrintable(e.message()));
            }
        }
    }

    void doublesToWholeNumbers_data()
    {
        QTest::addColumn<double>("stored");
        QTest::addColumn<bool>("converts");
        QTest::addColumn<qint64>("asLargeInt");
        QTest::newRow("fraction truncates") << 2.9 << true << qint64(2);
        QTest::newRow("negative") << -40000.0 << true << qint64(-40000);
        QTest::newRow("largest below 2^63") << 9223372036854774784.0 << true << qint64(9223372036854774784);
        QTest::newRow("2^63") << 9223372036854775808.0 << false << qint64(0);
        QTest::newRow("1e300") << 1e300 << false << qint64(0);
        QTest::newRow("-1e300") << -1e300 << false << qint64(0);
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << false << qint64(0);
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << false << qint64(0);
    }
    void doublesToWholeNumbers()
    {
        // Host answers may carry any double; only those a whole number can hold convert.
        QFETCH(double, stored);
        QFETCH(bool, converts);
        QFETCH(qint64, asLargeInt);
        ClientDataSet ds;
        ds.createDataSet({ { QStringLiteral("f_mj"), FieldType::Double, 0, {} } });
        ds.append();
        ds.field(0)->setValue(stored);
        ds.post();
        if (converts) {
            QCOMPARE(ds.field(0)->asLargeInt(), asLargeInt);
        } else {
            QVERIFY_THROWS_EXCEPTION(DataError, ds.field(0)->asLargeInt());
            QVERIFY_THROWS_EXCEPTION(DataError, ds.field(0)->asInteger());
        }
    }

    void unknownFieldAndBadPostLeaveNoHalfRow()
    {
        ClientDataSet ds;
        ds.createDataSet(areaFields());
        QVERIFY(!ds.findField(u"f_xx"));
        QVERIFY_THROWS_EXCEPTION(DataError, ds.fieldByName(u"f_xx"));
        ds.append();
        ds.fieldByName(u"f_sqbm")->setValue(QStringLiteral("01"));
        ds.fieldByName(u"f_jb")->setValue(QStringLiteral("x1"));
        QVERIFY_THROWS_EXCEPTION(DataError, ds.post());
        ds.cancel();
        QCOMPARE(ds.recordCount(), 0);
        QCOMPARE(ds.store().rowCount(), 0);
    }

    void fieldSettingsSurviveReload()
    {
        ClientDataSet ds;
        ds.createDataSet(areaFields());
        ds.fieldByName(u"f_sqmc")->setVisible(false);
        ds.fieldByName(u"f_sqmc")->setTag(3);
        ds.fieldByName(u"f_sqmc")->setDisplayLabel(QStringLiteral("商圈名称"));
        ClientDataSet other;
        other.createDataSet(areaFields());
        appendArea(other, QStringLiteral("01"), QStringLiteral("东城"), 1);
        QVERIFY(ds.loadPacket(other.data()));
        Field *f = ds.fieldByName(u"f_sqmc");
        QVERIFY(!f->visible());
        QCOMPARE(f->tag(), 3);
        QCOMPARE(f->displayLabel(), QStringLiteral("商圈名称"));
        QCOMPARE(f->asString(), QStringLiteral("东城"));
    }
};

QTEST_GUILESS_MAIN(TestClientDataSet)
#include "tst_clientdataset.moc"

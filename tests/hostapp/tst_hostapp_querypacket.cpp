// QueryData streams rows from the connection's native handle into packet bytes.
// Whatever it answers must decode to exactly the rows Qt SQL reads for the same
// statement (ReferencePacket, the way the host answered before), on SQLite and
// on PostgreSQL; and what a packet cannot carry is refused with a message.
#include "HostTestDatabase.h"
#include "ReferencePacket.h"

#include "core/PacketBuilder.h"
#include "core/QueryPacket.h"
#include "core/SqlDataService.h"
#include "core/SqlExec.h"
#include "core/SqlFailure.h"

#include "data/DataStore.h"
#include "data/Packet.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringDecoder>
#include <QTest>

using namespace kalmora;
using namespace kalmora::test;

namespace {

// A table with a column of every kind the engines have, and rows with
// boundaries, nulls, Chinese text and text beyond the Basic Multilingual Plane.
void typesTable(const QSqlDatabase &db)
{
    HostTestDatabase::smallChain(db);
    const bool pg = db.driverName() == QLatin1String("QPSQL");
    const QString failed = QStringLiteral("fixture");
    runSql(db, QStringLiteral("drop table if exists tbtypes"), {}, failed);
    if (pg) {
        runSql(db,
            QStringLiteral("create table tbtypes (id integer primary key, t varchar(20), tx text, c char(4), "
                           "n integer, s smallint, big bigint, r double precision, f real, num numeric(12,2), "
                           "flag boolean, d date, ts timestamp(3), tz timestamptz(3), tm time(0), b bytea)"),
            {}, failed);
        runSql(db,
            QStringLiteral(
                "insert into tbtypes values "
                "(1, '0101', '王府井大街', 'ab', 2147483647, 32767, 9223372036854775807, 12.5, 0.25, 1234567.89, "
                "true, '2026-12-09', '2026-12-09 10:11:12.345', '2026-12-09 10:11:12.345+08', '10:11:12', "
                "'\\x00ff10'), "
                "(2, '', '𠀋 emoji 😀', 'x', -2147483648, -32768, -9223372036854775808, -1e300, -3.5, -0.01, "
                "false, '1900-02-28', '1970-01-01 00:00:00', '1999-12-31 23:59:59.999+00', '00:00:00', ''), "
                "(3, null, null, null, null, null, null, null, null, null, null, null, null, null, null, null)"),
            {}, failed);
    } else {
        runSql(db,
            QStringLiteral("create table tbtypes (id integer primary key, t varchar(20), tx text, c char(4), "
                           "n integer, s smallint, big integer, r real, f float, num numeric(12,2), "
                           "flag boolean, d date, ts timestamp, tz timestamp, tm time, b blob, mixed)"),
            {}, failed);
        runSql(db,
            QStringLiteral("insert into tbtypes values "
                           "(1, '0101', '王府井大街', 'ab', 2147483647, 32767, 9223372036854775807, 12.5, 0.25, "
                           "1234567.89, 1, '2026-12-09', '2026-12-09 10:11:12.345', '2026-12-09T10:11:12', "
                           "'10:11:12', x'00ff10', 7), "
                           "(2, '', '𠀋 emoji 😀', 'x', -2147483648, -32768, -9223372036854775808, -1e300, -3.5, "
                           "-0.01, 0, '1900-02-28', '1970-01-01 00:00:00', '', '00:00:00', x'', 1099511627776), "
                           "(3, null, null, null, null, null, null, null, null, null, null, null, null, null, null, "
                           "null, 2.5), "
                           "(4, 5, 6.5, 'd', '12', 7, '-3', '4.5', 8, '9', 2, 'x', 'y', 'z', 'w', 'v', 'text')"),
            {}, failed);
    }
}

QString describeCell(const sqda::DataStore &s, qsizetype r, int c)
{
    return s.isNull(r, c) ? QStringLiteral("null") : s.value(r, c).toString();
}

// Both packets decode, to the same fields and the same values in every cell.
void compareRows(const QByteArray &streamed, const QByteArray &reference)
{
    const auto got = sqda::Packet::decode(streamed);
    QVERIFY2(got, qPrintable(QStringLiteral("streamed packet: ") + got.error()));
    const auto want = sqda::Packet::decode(reference);
    QVERIFY2(want, qPrintable(QStringLiteral("reference packet: ") + want.error()));
    QCOMPARE(got->columnCount(), want->columnCount());
    for (int c = 0; c < want->columnCount(); ++c) {
        const sqda::FieldDef &g = got->defs()[c], &w = want->defs()[c];
        QCOMPARE(g.name, w.name);
        QVERIFY2(g.type == w.type,
            qPrintable(
                QStringLiteral("%1: %2, expected %3").arg(w.name, fieldTypeName(g.type), fieldTypeName(w.type))));
        QCOMPARE(g.size, w.size);
    }
    QCOMPARE(got->rowCount(), want->rowCount());
    for (qsizetype r = 0; r < want->rowCount(); ++r) {
        for (int c = 0; c < want->columnCount(); ++c) {
            const bool same = got->isNull(r, c) == want->isNull(r, c)
                && (want->isNull(r, c) || got->value(r, c) == want->value(r, c));
            QVERIFY2(same,
                qPrintable(QStringLiteral("row %1, %2: %3, expected %4")
                               .arg(r)
                               .arg(want->defs()[c].name, describeCell(*got, r, c), describeCell(*want, r, c))));
        }
    }
}

QStringList errorLines(const QVariant &v)
{
    QStringList out;
    for (const QVariant &line : v.toList())
        out << line.toString();
    return out;
}

} // namespace

class TestQueryPacket : public QObject
{
    Q_OBJECT

    std::unique_ptr<HostTestDatabase> m_db;
    SqlDataService::Ptr m_service;
    QString m_backend;

    bool setUp(const QString &backend, const SqlDataService::Options &options = {})
    {
        if (!m_db || m_backend != backend) {
            m_service.reset();
            m_db = std::make_unique<HostTestDatabase>(backend, &typesTable);
            m_backend = backend;
            if (!m_db->isValid()) {
                qWarning("%s", qPrintable(m_db->error()));
                return false;
            }
        }
        QString error;
        m_service = SqlDataService::open(m_db->url(), QStringLiteral("0101"), &error, options);
        if (!m_service) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        // QueryData reads as the reader role, which the host lets read its own
        // tables only; the test's table is shown to it here.
        if (backend == QLatin1String("postgresql"))
            runSql(m_db->inspect(), QStringLiteral("grant select on tbtypes to kalmora_reader"), {},
                QStringLiteral("fixture"));
        return true;
    }

    bool query(const QString &sql, QVariant &out)
    {
        QVariantList args { sql, QVariant() };
        const bool ok = m_service->Invoke(sqda::DispQueryData, args).toBool();
        out = args.value(1);
        return ok;
    }

private Q_SLOTS:
    void cleanupTestCase()
    {
        m_service.reset();
        m_db.reset();
    }

    void sameRowsAsQtSql_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("sql");
        const char *both[][2] = {
            { "every type", "select * from tbtypes order by id" },
            { "empty result", "select * from tbtypes where id < 0" },
            { "trade areas", "select * from tbsqda where f_bmbm='0101' order by f_sqbm" },
            { "Chinese condition", "select f_sqbm, f_sqmc from tbsqda where f_sqmc like '%区%' order by f_sqbm" },
            { "expressions", "select count(*) as n, null as none_here, 1.5 as half, 'x' as lit from tbsqda" },
            { "aggregates", "select f_bmbm, count(*) as n, max(f_sqmc) as top from tbsqda group by f_bmbm order by 1" },
            { "nulls first", "select t, n, r from tbtypes order by id desc" },
            { "integer widened by a fraction",
                "select id, case when id = 2 then 0.5 else id end as v from tbtypes "
                "order by id" },
        };
        for (const QString &b : backends()) {
            for (const auto &q : both)
                QTest::addRow("%s: %s", qPrintable(b), q[0]) << b << QString::fromUtf8(q[1]);
        }
        // SQLite keeps any value in any column: a column that starts as integers
        // and widens to int64, double and finally text must come out as Qt reads it.
        QTest::newRow("sqlite: int to text") << "sqlite"
                                             << "select id, mixed from tbtypes order by id";
        QTest::newRow("sqlite: int to text, nulls first")
            << "sqlite"
            << "select id, case when id = 1 then null else mixed end as m from tbtypes order by id";
        QTest::newRow("sqlite: more rows than a batch")
            << "sqlite"
            << "with recursive g(x) as (select 1 union all select x + 1 from g where x < 45000) "
               "select x, '行' || x as t, x * 0.5 as h from g";
        // COPY's text escapes: control characters, backslashes and the text
        // of a null, in text and bytes.
        QTest::newRow("postgresql: escaped characters")
            << "postgresql"
            << "select E'a\\tb\\nc\\rd\\\\e\\bf\\fg\\vh' as t, '\\N' as n, E'\\\\N' as nn, "
               "E'\\\\x41\\\\101' as esc, null as z, '' as empty, "
               "E'\\\\x5c095c0a00'::bytea as b, ''::bytea as nothing, E'\\t' as tab";
        QTest::newRow("postgresql: more rows than a batch")
            << "postgresql"
            << "select x, '行' || x as t, x * 0.5 as h from generate_series(1, 45000) x";
    }
    void sameRowsAsQtSql()
    {
        QFETCH(QString, backend);
        QFETCH(QString, sql);
        QVERIFY(setUp(backend));
        QVariant streamed;
        QVERIFY2(query(sql, streamed), qPrintable(errorLines(streamed).join(u'|')));
        QCOMPARE(streamed.typeId(), QMetaType::QByteArray);

        QSqlQuery q(m_db->inspect());
        q.setForwardOnly(true);
        QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
        const QByteArray reference = ReferencePacket::fromQuery(q);
        compareRows(streamed.toByteArray(), reference);

        // The host's own reads of a few rows, answered in one round trip, read the same.
        QByteArray whole;
        try {
            whole = QueryPacket::runSmall(m_db->inspect(),
                backend == QLatin1String("postgresql") ? DatabaseUrl::Backend::PostgreSQL
                                                       : DatabaseUrl::Backend::SQLite,
                sql, {}, QStringLiteral("small read"));
        } catch (const SqlFailure &f) {
            QFAIL(qPrintable(f.lines().join(u'|')));
        }
        compareRows(whole, reference);
    }

    void whatAPacketCannotCarryIsRefused_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("text");
        QTest::newRow("sqlite: column without a name") << "sqlite"
                                                       << R"(select 1 as "")"
                                                       << "没有名称";
        QTest::newRow("sqlite: name too long")
            << "sqlite" << QStringLiteral("select 1 as \"%1\"").arg(QString(100, u'名')) << "名称太长";
        // PostgreSQL refuses an empty name itself.
        QTest::newRow("postgresql: column without a name") << "postgresql"
                                                           << R"(select 1 as "")"
                                                           << "查询数据时出错";
    }
    void whatAPacketCannotCarryIsRefused()
    {
        QFETCH(QString, backend);
        QFETCH(QString, sql);
        QFETCH(QString, text);
        QVERIFY(setUp(backend));
        QVariant out;
        QVERIFY(!query(sql, out));
        const QString lines = errorLines(out).join(u'|');
        QVERIFY2(lines.contains(text), qPrintable(lines));
        QVERIFY(query(QStringLiteral("select 1 as one"), out)); // the connection is still usable
    }

    void aTypedColumnMeetingTextBecomesText()
    {
        // A date the calendar cannot hold arrives as the server's text; the
        // column turns to text and the dates already written keep their text.
        QVERIFY(setUp(QStringLiteral("postgresql")));
        QVariant out;
        QVERIFY(query(QStringLiteral("select id, d from (values (1, date '2026-01-31'), (2, null), "
                                     "(3, date 'infinity'), (4, date '0044-03-15 BC')) v(id, d) order by id"),
            out));
        const auto s = sqda::Packet::decode(out.toByteArray());
        QVERIFY2(s, qPrintable(s.error()));
        QCOMPARE(s->defs().at(1).type, sqda::FieldType::String);
        QCOMPARE(s->string(0, 1).toString(), QStringLiteral("2026-01-31"));
        QVERIFY(s->isNull(1, 1));
        QCOMPARE(s->string(2, 1).toString(), QStringLiteral("infinity"));
        QCOMPARE(s->string(3, 1).toString(), QStringLiteral("0044-03-15 BC"));
        QCOMPARE(s->integer(3, 0), 4);
    }

    // The host copies engine text into packets unconverted when it is valid
    // UTF-8; its check must agree with the packet reader's on every edge.
    void utf8CheckAgreesWithTheReader_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const char *cases[][2] = {
            { "ascii", "0101 abc" },
            { "long ascii", "0123456789abcdef0123456789abcdef" },
            { "Chinese", "\xe7\x8e\x8b\xe5\xba\x9c\xe4\xba\x95" },
            { "four bytes", "\xf0\xa0\x80\x8b" },
            { "highest code point", "\xf4\x8f\xbf\xbf" },
            { "above U+10FFFF", "\xf4\x90\x80\x80" },
            { "overlong two", "\xc0\xaf" },
            { "overlong three", "\xe0\x80\xaf" },
            { "overlong four", "\xf0\x80\x80\xaf" },
            { "surrogate", "\xed\xa0\x80" },
            { "last before surrogates", "\xed\x9f\xbf" },
            { "lone continuation", "abc\x80" },
            { "cut short", "abcdefgh\xe7\x8e" },
            { "bad continuation", "\xe7\x28\x8b" },
            { "f5", "\xf5\x80\x80\x80" },
            { "ff", "\xff" },
        };
        for (const auto &c : cases)
            QTest::newRow(c[0]) << QByteArray(c[1]);
        QTest::newRow("nul inside") << QByteArray("a\0b", 3);
    }
    void utf8CheckAgreesWithTheReader()
    {
        QFETCH(QByteArray, bytes);
        QStringDecoder reader(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless); // as the reader decodes cells
        const QString decoded = reader.decode(bytes);
        Q_UNUSED(decoded);
        QCOMPARE(PacketBuilder::isValidUtf8(bytes.constData(), bytes.size()), !reader.hasError());
    }

    void invalidTextIsRepaired()
    {
        // SQLite hands back whatever bytes were stored as text; the packet must
        // still read, with each bad sequence shown as U+FFFD.
        QVERIFY(setUp(QStringLiteral("sqlite")));
        QVariant out;
        QVERIFY(query(QStringLiteral("select cast(x'41c32842eda080' as text) as t"), out));
        const auto s = sqda::Packet::decode(out.toByteArray());
        QVERIFY2(s, qPrintable(s.error()));
        QCOMPARE(s->string(0, 0).toString(), QStringLiteral("A\uFFFD(B\uFFFD\uFFFD\uFFFD"));
    }

    void limitsStopAQueryWithAMessage_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("text");
        QTest::newRow("sqlite: too large")
            << "sqlite"
            << "with recursive g(x) as (select 1 union all select x + 1 from g where x < 100000) select x from g"
            << "大小限制";
        QTest::newRow("sqlite: too slow")
            << "sqlite"
            << "with recursive g(x) as (select 1 union all select x + 1 from g) select count(*) from g"
            << "时间限制";
        QTest::newRow("postgresql: too large") << "postgresql"
                                               << "select x from generate_series(1, 100000) x"
                                               << "大小限制";
        QTest::newRow("postgresql: too slow") << "postgresql"
                                              << "select pg_sleep(5)"
                                              << "时间限制";
    }
    void limitsStopAQueryWithAMessage()
    {
        QFETCH(QString, backend);
        QFETCH(QString, sql);
        QFETCH(QString, text);
        SqlDataService::Options options;
        options.queryLimits = { 64 * 1024, 300 };
        QVERIFY(setUp(backend, options));
        QVariant out;
        QVERIFY(!query(sql, out));
        const QString lines = errorLines(out).join(u'|');
        QVERIFY2(lines.contains(text), qPrintable(lines));
        QVERIFY2(
            query(QStringLiteral("select count(*) as n from tbsqda"), out), qPrintable(errorLines(out).join(u'|')));
    }
};

QTEST_GUILESS_MAIN(TestQueryPacket)
#include "tst_hostapp_querypacket.moc"

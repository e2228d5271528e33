// Text order against SQLite's: the filter's comparisons and the code-point compare
// the indexes use agree with SQLite's BINARY collation (UTF-8 bytes, which is
// code-point order) over characters on both sides of the surrogate range and
// beyond the basic plane.
#include "data/DataStore.h"
#include "data/FilterExpression.h"
#include "data/FilterProgram.h"
#include "data/TextOrder.h"

#include <QTest>

#include <sqlite3.h>

#include <memory>

using namespace sqda;

namespace {

struct SqliteClose
{
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};
struct SqliteFinalize
{
    void operator()(sqlite3_stmt *st) const { sqlite3_finalize(st); }
};
using Db = std::unique_ptr<sqlite3, SqliteClose>;
using Statement = std::unique_ptr<sqlite3_stmt, SqliteFinalize>;

// Texts round the edges that matter: ASCII, Latin, CJK, the last unit below the
// surrogates, private use, U+FFFD/U+FFFF, and the planes above (U+10000,
// U+1F600, U+20000, U+2A6D6, U+10FFFF), alone and with a neighbour.
QStringList samples()
{
    const char32_t points[] = { U'A', U'a', U'~', 0xE9, 0x4E2D, 0xD7FF, 0xE000, 0xF8FF, 0xFFFD, 0xFFFF, 0x10000,
        0x1F600, 0x20000, 0x2A6D6, 0x10FFFF };
    QStringList out { QString() };
    for (char32_t p : points) {
        const QString c = QString::fromUcs4(&p, 1);
        out << c << c + u'a' << QStringLiteral("01") + c << c + c;
    }
    return out;
}

Statement prepare(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
        return {};
    return Statement(st);
}

void bindText(sqlite3_stmt *st, int at, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(st, at, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// The filter's literal for `text`: quoted, with quotes doubled.
QString literal(const QString &text)
{
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("''"));
    return u'\'' + quoted + u'\'';
}

} // namespace

class TestTextOrder : public QObject
{
    Q_OBJECT

    Db m_db;
    QStringList m_texts = samples();

private Q_SLOTS:
    void initTestCase()
    {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
        m_db.reset(db);
        QCOMPARE(
            sqlite3_exec(db, "create table t (i integer primary key, f text)", nullptr, nullptr, nullptr), SQLITE_OK);
        Statement insert = prepare(db, "insert into t values (?, ?)");
        QVERIFY(insert);
        for (int i = 0; i < m_texts.size(); ++i) {
            sqlite3_reset(insert.get());
            sqlite3_bind_int(insert.get(), 1, i);
            bindText(insert.get(), 2, m_texts[i]);
            QCOMPARE(sqlite3_step(insert.get()), SQLITE_DONE);
        }
    }

    // Every pair compares as SQLite compares it.
    void pairsCompareAsSqlite()
    {
        Statement cmp = prepare(m_db.get(), "select (?1 > ?2) - (?1 < ?2)");
        QVERIFY(cmp);
        for (const QString &a : std::as_const(m_texts)) {
            for (const QString &b : std::as_const(m_texts)) {
                sqlite3_reset(cmp.get());
                bindText(cmp.get(), 1, a);
                bindText(cmp.get(), 2, b);
                QCOMPARE(sqlite3_step(cmp.get()), SQLITE_ROW);
                const int expected = sqlite3_column_int(cmp.get(), 0);
                if (compareCodePoints(a, b) != expected)
                    QFAIL(qPrintable(
                        QStringLiteral("%1 against %2: %3, SQLite %4")
                            .arg(QString::fromLatin1(a.toUtf8().toHex(' ')), QString::fromLatin1(b.toUtf8().toHex(' ')))
                            .arg(compareCodePoints(a, b))
                            .arg(expected)));
            }
        }
    }

    // A filter selects the rows the same WHERE selects in SQLite.
    void filterSelectsAsSqlite_data()
    {
        QTest::addColumn<QString>("condition"); // with ?1 and ?2 for two sample texts
        QTest::newRow("<") << "f < ?1";
        QTest::newRow("<=") << "f <= ?1";
        QTest::newRow(">") << "f > ?1";
        QTest::newRow(">=") << "f >= ?1";
        QTest::newRow("between") << "f between ?1 and ?2";
        QTest::newRow("not between") << "f not between ?1 and ?2";
    }
    void filterSelectsAsSqlite()
    {
        QFETCH(QString, condition);
        DataStore store(
            { { QStringLiteral("i"), FieldType::Int32, 0, {} }, { QStringLiteral("f"), FieldType::String, 8, {} } });
        for (int i = 0; i < m_texts.size(); ++i) {
            store.appendInt(0, i);
            store.appendString(1, m_texts[i]);
            store.commitRow();
        }
        const QByteArray sql = "select i from t where " + condition.toLatin1() + " order by i";
        Statement query = prepare(m_db.get(), sql.constData());
        QVERIFY(query);
        // Bounds taken from the samples, the low one before the high one in turn.
        for (int k = 0; k < m_texts.size(); ++k) {
            const QString low = m_texts[k];
            const QString high = m_texts[(k * 7 + 3) % m_texts.size()];
            sqlite3_reset(query.get());
            bindText(query.get(), 1, low);
            bindText(query.get(), 2, high);
            QList<int> expected;
            while (sqlite3_step(query.get()) == SQLITE_ROW)
                expected << sqlite3_column_int(query.get(), 0);

            QString text = condition;
            text.replace(QStringLiteral("?1"), literal(low)).replace(QStringLiteral("?2"), literal(high));
            Result<FilterExpression> e = FilterExpression::parse(text);
            QVERIFY2(e, qPrintable(e ? QString() : e.error()));
            Result<FilterProgram> p = FilterProgram::bind(*e, store.defs());
            QVERIFY2(p, qPrintable(p ? QString() : p.error()));
            QList<int> selected;
            for (quint32 r : p->select(store))
                selected << int(r);
            QList<int> oneByOne;
            for (qsizetype r = 0; r < store.rowCount(); ++r) {
                if (p->passes(store, r))
                    oneByOne << int(r);
            }
            QCOMPARE(oneByOne, selected);
            if (selected != expected)
                QFAIL(qPrintable(QStringLiteral("%1 (bounds %2 / %3)")
                                     .arg(condition, QString::fromLatin1(low.toUtf8().toHex(' ')),
                                         QString::fromLatin1(high.toUtf8().toHex(' ')))));
        }
    }

    // LIKE takes one character for '_', a pair beyond U+FFFF too, as SQLite's
    // GLOB does for '?' (GLOB: case matters, as in the filter's LIKE).
    void likeMatchesAsSqlite()
    {
        DataStore store(
            { { QStringLiteral("i"), FieldType::Int32, 0, {} }, { QStringLiteral("f"), FieldType::String, 8, {} } });
        for (int i = 0; i < m_texts.size(); ++i) {
            store.appendInt(0, i);
            store.appendString(1, m_texts[i]);
            store.commitRow();
        }
        const QString wide = QStringLiteral("𠀀"); // U+20000
        const QStringList patterns { QStringLiteral("_"), QStringLiteral("__"), QStringLiteral("_a"),
            QStringLiteral("01_"), QStringLiteral("%") + wide, wide + QStringLiteral("_"), QStringLiteral("%_%_%"),
            QStringLiteral("%") + QChar(0xE000) + QStringLiteral("%"), QStringLiteral("_%a") };
        // (No U+FFFE/U+FFFF in a pattern: SQLite's pattern matching reads them as U+FFFD.)
        Statement query = prepare(m_db.get(), "select i from t where f glob ? order by i");
        QVERIFY(query);
        for (const QString &pattern : patterns) {
            QString glob = pattern;
            glob.replace(u'%', u'*').replace(u'_', u'?');
            sqlite3_reset(query.get());
            bindText(query.get(), 1, glob);
            QList<int> expected;
            while (sqlite3_step(query.get()) == SQLITE_ROW)
                expected << sqlite3_column_int(query.get(), 0);

            Result<FilterExpression> e = FilterExpression::parse(QStringLiteral("f like ") + literal(pattern));
            QVERIFY2(e, qPrintable(e ? QString() : e.error()));
            Result<FilterProgram> p = FilterProgram::bind(*e, store.defs());
            QVERIFY2(p, qPrintable(p ? QString() : p.error()));
            QList<int> selected;
            for (quint32 r : p->select(store))
                selected << int(r);
            if (selected != expected)
                QFAIL(qPrintable(QStringLiteral("LIKE %1").arg(QString::fromLatin1(pattern.toUtf8().toHex(' ')))));
        }
    }

    // The order key of each code unit makes units compare as their characters do.
    void unitKeysFollowCodePoints()
    {
        QVERIFY(codePointOrderUnit(0xD7FF) < codePointOrderUnit(0xE000));
        QVERIFY(codePointOrderUnit(0xFFFF) < codePointOrderUnit(0xD800)); // U+FFFF < U+10000
        QVERIFY(codePointOrderUnit(0xDBFF) > codePointOrderUnit(0xD800));
        QCOMPARE(codePointOrderUnit(u'a'), u'a');
    }
};

QTEST_GUILESS_MAIN(TestTextOrder)
#include "tst_textorder.moc"

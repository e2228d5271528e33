// The SQLite floor the query benchmarks compare with: the C API stepping a
// SELECT of trade areas, each of the three texts copied into a QString and the
// two numbers read, as a plain client of the file would read them.
#pragma once

#include <QByteArrayView>
#include <QString>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

// The rows read; 0 when the statement does not compile.
inline qsizetype stepIntoQStrings(sqlite3 *db, QByteArrayView sql)
{
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, sql.data(), int(sql.size()), &st, nullptr);
    qsizetype rows = 0;
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < 3; ++c) {
            const QString text = QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(st, c)), sqlite3_column_bytes(st, c));
            benchmark::DoNotOptimize(text.constData());
        }
        benchmark::DoNotOptimize(sqlite3_column_int64(st, 3) + sqlite3_column_int64(st, 4));
        ++rows;
    }
    sqlite3_finalize(st);
    return rows;
}

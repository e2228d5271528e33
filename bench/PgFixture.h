// A throw-away PostgreSQL server for a benchmark program: the tests' fixture
// script (tests/hostapp/pg_fixture.sh) started on loopback, or the server that
// KALMORA_BENCH_PG_URL names. Without either the PostgreSQL runs are skipped.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdlib>

namespace sqda::bench {

class PgFixture
{
public:
    // `stateName`: the fixture's state folder under the temporary folder, the
    // process id appended. The server's URL, or empty when none could be had.
    QString start(const QString &stateName)
    {
        const QString fromEnv = qEnvironmentVariable("KALMORA_BENCH_PG_URL");
        if (!fromEnv.isEmpty())
            return fromEnv;
        m_state = QDir::temp().filePath(QStringLiteral("%1-%2").arg(stateName).arg(QCoreApplication::applicationPid()));
        if (!run(QStringLiteral("start"))) {
            m_state.clear();
            return {};
        }
        QFile f(m_state + QStringLiteral("/pg_url.txt"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : QString();
    }

    // Stops the server this program started, and removes its files.
    void stop()
    {
        if (m_state.isEmpty())
            return;
        run(QStringLiteral("stop"));
        QDir(m_state).removeRecursively();
        m_state.clear();
    }

private:
    bool run(const QString &verb) const
    {
        const QString command = QStringLiteral("%1 %2 %3 >&2").arg(QStringLiteral(KALMORA_PG_FIXTURE), verb, m_state);
        return std::system(command.toLocal8Bit().constData()) == 0;
    }

    QString m_state; // set when this program started the server
};

} // namespace sqda::bench

// The kalmora-host program as a user starts it: a screen rendered into a PNG,
// on SQLite and on PostgreSQL, and the ways a start can fail.
#include "HostTestDatabase.h"

#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace kalmora::test;

class TestHostProgram : public QObject
{
    Q_OBJECT

    struct Run
    {
        int exitCode = -1;
        QString errors;
    };

    Run run(const QStringList &args)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::SeparateChannels);
        p.start(QStringLiteral(KALMORA_HOST_PATH), args);
        Run r;
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            r.errors = QStringLiteral("timed out");
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.errors = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

private Q_SLOTS:
    void screenshot_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("screen");
        QTest::newRow("sqlite: maintenance") << "sqlite"
                                             << "maintenance";
        QTest::newRow("sqlite: query") << "sqlite"
                                       << "query";
        QTest::newRow("postgresql: maintenance") << "postgresql"
                                                 << "maintenance";
    }
    void screenshot()
    {
        QFETCH(QString, backend);
        QFETCH(QString, screen);
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("out.png"));
        QStringList args { "--open", screen, "--screenshot", png, "--data-dir", dir.path() };
        if (backend == QLatin1String("postgresql")) {
            const QString base = postgresUrl();
            if (base.isEmpty())
                QFAIL("no PostgreSQL server: run the test through ctest or set KALMORA_TEST_PG_URL");
            // A database the host has to create and fill itself.
            QUrl url(base);
            url.setPath(QStringLiteral("/kt_program_%1").arg(QCoreApplication::applicationPid()));
            args << "--database" << url.toString();
        }
        const Run r = run(args);
        QVERIFY2(r.exitCode == 0, qPrintable(r.errors));
        if (backend == QLatin1String("sqlite"))
            QVERIFY(QFile::exists(dir.filePath(QStringLiteral("kalmora.sqlite"))));
        const QImage image(png);
        QVERIFY(!image.isNull());
        QVERIFY(image.width() >= 600 && image.height() >= 400);
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 7) {
            for (int x = 0; x < image.width(); x += 7)
                colours.insert(image.pixel(x, y));
        }
        QVERIFY2(colours.size() > 8, "the picture is blank");
    }

    void failedStarts_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown screen") << QStringList { "--open", "report" } << 2 << "--open";
        QTest::newRow("unknown department")
            << QStringList { "--department", "7777", "--open", "query", "--screenshot", "x.png" } << 3 << "7777";
        QTest::newRow("unknown operator")
            << QStringList { "--operator", "4321", "--open", "query", "--screenshot", "x.png" } << 3 << "4321";
        QTest::newRow("unreachable server") << QStringList { "--database", "postgresql://nobody@127.0.0.1:1/none",
            "--open", "query", "--screenshot", "x.png" }
                                            << 3 << "127.0.0.1";
        QTest::newRow("missing plug-in") << QStringList { "--library", "/nonexistent/libsqda.so", "--open", "query",
            "--screenshot", "x.png" } << 3
                                         << "libsqda.so";
    }
    void failedStarts()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        for (QString &a : args) {
            if (a == QLatin1String("x.png"))
                a = dir.filePath(a);
        }
        const Run r = run(args << "--data-dir" << dir.path());
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.errors.contains(message), qPrintable(r.errors));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("x.png"))));
    }
};

QTEST_GUILESS_MAIN(TestHostProgram)
#include "tst_hostapp_program.moc"

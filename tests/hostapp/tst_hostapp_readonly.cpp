// A read-only SQLite database: the host opens it for reading and answers
// queries; every operation that would write is refused with a message saying
// the database is read-only and why, and the file stays as it was. Run as the
// file's owner (who marked it read-only) and as another user.
#include "RunAsUser.h"
#include "core/SqlDataService.h"

#include <sqda/ICoorDisp.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kalmora;

using sqda::test::reachableAs;
using sqda::test::runAsUser;

namespace {

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QString lines(const QVariant &v)
{
    QStringList out;
    for (const QVariant &line : v.toList())
        out << line.toString();
    return out.join(u'|');
}

// What a session on `url` answers, one line per step, run in a child process
// as `user` (empty: this process's user).
QStringList sessionAs(const QString &user, const QString &url)
{
    return QString::fromUtf8(runAsUser(user, [&] {
        QStringList answer;
        QString error;
        SqlDataService::Ptr service = SqlDataService::open(url, QString(), &error);
        if (!service) {
            answer << QStringLiteral("open: ") + error;
        } else {
            answer << QStringLiteral("open: read-only: ") + service->readOnlyReason();
            QVariantList query { QStringLiteral("select f_sqbm from tbsqda"), QVariant() };
            const bool read = service->Invoke(sqda::DispQueryData, query).toBool();
            answer << QStringLiteral("query: %1 %2")
                          .arg(read ? QStringLiteral("ok") : QStringLiteral("refused"),
                              read ? QString::number(query.at(1).toByteArray().size() > 0) : lines(query.at(1)));
            QVariantList name { service->department() };
            answer << QStringLiteral("operator: %1").arg(service->Invoke(sqda::DispGetSystemParameters, name).toBool());
            const QVariantList area { service->department(), QStringLiteral("99") };
            const std::pair<int, QVariantList> writes[] = {
                { sqda::DispExecuteSql, { QStringLiteral("update tbsqda set f_sqmc = 'x' where f_sqbm = '01'") } },
                { sqda::DispCheckAreaCode, { QVariant(area) } },
                { sqda::DispInsertArea, { QByteArray() } },
                { sqda::DispDeleteArea, { QVariant(area) } },
            };
            for (auto [id, args] : writes) {
                const bool ok = service->Invoke(id, args).toBool();
                answer << QStringLiteral("write %1: %2 %3")
                              .arg(id)
                              .arg(ok ? QStringLiteral("done") : QStringLiteral("refused"), lines(args.at(0)));
            }
            service->close();
        }
        return answer.join(u'\n').toUtf8();
    })).split(u'\n');
}

} // namespace

class TestReadOnlyDatabase : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // A database the host made (schema and demo chain), in a folder anyone may
    // write, in the journal mode given ("wal" as the host leaves it, "delete" as
    // a file made or copied by another program may be).
    QString freshDatabase(const QString &name, const QString &journal = QStringLiteral("wal"))
    {
        const QString path = m_dir.path() + u'/' + name;
        QString error;
        SqlDataService::Ptr service = SqlDataService::open(path, QString(), &error);
        if (!service)
            qWarning("%s", qPrintable(error));
        else
            service->close();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("journal"));
            db.setDatabaseName(path);
            if (db.open())
                QSqlQuery(db).exec(QStringLiteral("pragma journal_mode = ") + journal);
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("journal"));
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QCOMPARE(::chmod(QFile::encodeName(m_dir.path()).constData(), 0777), 0);
    }

    void opensForReadingAndRefusesWrites_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("journal");
        for (const QString &journal : { QStringLiteral("wal"), QStringLiteral("delete") }) {
            const QByteArray j = journal.toLatin1();
            QTest::addRow("owner, 444, %s", j.constData()) << "" << 0444 << "文件设为只读，没有写权限" << journal;
            QTest::addRow("other user, 444, %s", j.constData())
                << "nobody" << 0444 << "文件设为只读，没有写权限" << journal;
            QTest::addRow("other user, 644, %s", j.constData())
                << "nobody" << 0644 << "当前用户没有写这个文件的权限" << journal;
        }
    }
    void opensForReadingAndRefusesWrites()
    {
        QFETCH(QString, user);
        QFETCH(int, mode);
        QFETCH(QString, reason);
        QFETCH(QString, journal);
        if (!user.isEmpty() && ::geteuid() != 0)
            QSKIP("a session as another user needs a test run as root");
        if (!user.isEmpty() && !reachableAs(user, m_dir.path()))
            QSKIP("the temporary folder is out of that user's reach (TMPDIR)");
        const QString path = freshDatabase(
            QStringLiteral("ro-%1.db").arg(QString::fromUtf8(QTest::currentDataTag()).remove(u' ')), journal);
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
        const QByteArray before = fileHash(path);
        QVERIFY(!before.isEmpty());

        const QStringList answer = sessionAs(user, path);
        QCOMPARE(answer.value(0), QStringLiteral("open: read-only: ") + reason);
        QCOMPARE(answer.value(1), QStringLiteral("query: ok 1"));
        QCOMPARE(answer.value(2), QStringLiteral("operator: 1"));
        const QString refused
            = QStringLiteral("refused 数据库是只读的，不能修改数据，这次操作没有执行。|SQLite 数据库 %1：%2。")
                  .arg(QDir::toNativeSeparators(path), reason);
        for (int id : { sqda::DispExecuteSql, sqda::DispCheckAreaCode, sqda::DispInsertArea, sqda::DispDeleteArea })
            QVERIFY2(
                answer.contains(QStringLiteral("write %1: %2").arg(id).arg(refused)), qPrintable(answer.join(u'\n')));
        QCOMPARE(fileHash(path), before);
    }

    // A writable file still opens for writing: the judgement is not "any file".
    void writableFileIsWritten()
    {
        const QString path = freshDatabase(QStringLiteral("rw.db"));
        const QStringList answer = sessionAs(QString(), path);
        QCOMPARE(answer.value(0), QStringLiteral("open: read-only: "));
        QVERIFY2(answer.value(3).startsWith(QStringLiteral("write %1: done").arg(sqda::DispExecuteSql))
                && answer.value(4).startsWith(QStringLiteral("write %1: done").arg(sqda::DispCheckAreaCode)),
            qPrintable(answer.join(u'\n')));
    }

    // A WAL file in a folder the user cannot write cannot be read at all
    // (SQLite needs its -shm file): refused at the start, saying why.
    void walFileInReadOnlyFolderIsRefusedAtStart()
    {
        if (::geteuid() != 0)
            QSKIP("a session as another user needs a test run as root");
        if (!reachableAs(QStringLiteral("nobody"), m_dir.path()))
            QSKIP("the temporary folder is out of that user's reach (TMPDIR)");
        QTemporaryDir folder;
        QCOMPARE(::chmod(QFile::encodeName(folder.path()).constData(), 0755), 0);
        const QString path = folder.path() + QStringLiteral("/shop.db");
        QVERIFY(QFile::copy(freshDatabase(QStringLiteral("wal-source.db")), path));
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0644), 0);
        const QStringList answer = sessionAs(QStringLiteral("nobody"), path);
        QVERIFY2(answer.value(0).startsWith(
                     QStringLiteral("open: SQLite 数据库 %1 是只读的（当前用户没有写这个文件的权限），无法读取。")
                         .arg(QDir::toNativeSeparators(path))),
            qPrintable(answer.join(u'\n')));
    }

    // A read-only file without the host's tables cannot be set up: refused at
    // the start with a message that says so and why.
    void readOnlyFileWithoutTablesIsRefusedAtStart()
    {
        const QString path = m_dir.path() + QStringLiteral("/empty.db");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("empty"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery(db).exec(QStringLiteral("create table other (x)"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("empty"));
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0444), 0);
        const QByteArray before = fileHash(path);
        const QStringList answer = sessionAs(QString(), path);
        QCOMPARE(answer.value(0),
            QStringLiteral(
                "open: SQLite 数据库 %1 是只读的（文件设为只读，没有写权限），其中还没有商圈档案的表，无法建立。"
                "请给这个文件写权限，或使用另一个可写的数据库文件。")
                .arg(QDir::toNativeSeparators(path)));
        QCOMPARE(fileHash(path), before);
    }
};

QTEST_GUILESS_MAIN(TestReadOnlyDatabase)
#include "tst_hostapp_readonly.moc"

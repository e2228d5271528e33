#include "DatabaseUrl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QUrl>
#include <QUrlQuery>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kalmora {

std::optional<DatabaseUrl> DatabaseUrl::parse(const QString &text, QString *error)
{
    auto refuse = [&](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return refuse(QStringLiteral("没有指定数据库。"));

    DatabaseUrl d;
    if (trimmed.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)
        || trimmed.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive)) {
        const QUrl url(trimmed, QUrl::StrictMode);
        if (!url.isValid())
            return refuse(QStringLiteral("数据库地址“%1”无效：%2").arg(trimmed, url.errorString()));
        d.m_backend = Backend::PostgreSQL;
        d.m_host = url.host();
        d.m_port = url.port(0);
        d.m_user = url.userName(QUrl::FullyDecoded);
        d.m_password = url.password(QUrl::FullyDecoded);
        d.m_database = url.path(QUrl::FullyDecoded).mid(1);
        const QUrlQuery query(url);
        if (query.hasQueryItem(QStringLiteral("host")))
            d.m_host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
        if (d.m_port < 0 || d.m_port > 65535)
            return refuse(QStringLiteral("数据库地址“%1”中的端口无效。").arg(trimmed));
        if (d.m_database.isEmpty() || d.m_database.contains(u'/'))
            return refuse(QStringLiteral("数据库地址“%1”没有指明数据库名，应为 postgresql://用户@主机:端口/数据库名")
                              .arg(trimmed));
        return d;
    }

    QString path = trimmed;
    if (path.startsWith(QLatin1String("sqlite:"), Qt::CaseInsensitive)) {
        path = path.mid(7);
        if (path.startsWith(QLatin1String("//")))
            path = path.mid(2); // sqlite:///abs/path keeps its leading slash
    } else if (path.contains(QLatin1String("://"))) {
        return refuse(
            QStringLiteral("不支持的数据库地址“%1”：应为 postgresql://… 或 SQLite 数据库文件的路径。").arg(trimmed));
    }
    if (path.isEmpty())
        return refuse(QStringLiteral("数据库地址“%1”没有指明 SQLite 数据库文件。").arg(trimmed));
    d.m_backend = Backend::SQLite;
    d.m_filePath = QFileInfo(path).absoluteFilePath();
    return d;
}

QString DatabaseUrl::displayText() const
{
    if (m_backend == Backend::SQLite)
        return QStringLiteral("SQLite %1").arg(QDir::toNativeSeparators(m_filePath));
    QString where = m_host.isEmpty() ? QStringLiteral("localhost") : m_host;
    if (m_port)
        where += QStringLiteral(":%1").arg(m_port);
    const QString who = m_user.isEmpty() ? QString() : m_user + u'@';
    return QStringLiteral("PostgreSQL %1%2/%3").arg(who, where, m_database);
}

DatabaseUrl DatabaseUrl::withDatabase(const QString &name) const
{
    DatabaseUrl d = *this;
    d.m_database = name;
    return d;
}

QString DatabaseUrl::sqliteReadOnlyReason() const
{
    if (m_backend != Backend::SQLite)
        return {};
    const QByteArray file = QFile::encodeName(m_filePath);
    struct stat st = {};
    if (::stat(file.constData(), &st) != 0)
        return {};
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return QStringLiteral("文件设为只读，没有写权限");
    if (::faccessat(AT_FDCWD, file.constData(), W_OK, AT_EACCESS) != 0) {
        if (errno == EROFS)
            return QStringLiteral("文件所在的文件系统是只读的");
        if (errno == EACCES)
            return QStringLiteral("当前用户没有写这个文件的权限");
    }
    // SQLite writes its journal (or its write-ahead log) beside the file.
    const QByteArray folder = QFile::encodeName(QFileInfo(m_filePath).absolutePath());
    if (::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) != 0 && errno == EACCES)
        return QStringLiteral("当前用户不能在文件所在的文件夹里写文件");
    return {};
}

QSqlDatabase DatabaseUrl::open(const QString &connectionName, QString *error) const
{
    const bool sqlite = m_backend == Backend::SQLite;
    const QString driver = sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL");
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        if (error)
            *error = QStringLiteral("没有可用的 Qt 数据库驱动 %1（请安装 %2）。")
                         .arg(driver, sqlite ? QStringLiteral("libqt6sql6-sqlite") : QStringLiteral("libqt6sql6-psql"));
        return {};
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, connectionName);
        if (sqlite) {
            db.setDatabaseName(m_filePath);
            // Another host writing the same file: wait for it rather than fail at once.
            QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000");
            if (!sqliteReadOnlyReason().isEmpty())
                options += QStringLiteral(";QSQLITE_OPEN_READONLY");
            db.setConnectOptions(options);
        } else {
            db.setHostName(m_host);
            if (m_port)
                db.setPort(m_port);
            db.setUserName(m_user);
            db.setPassword(m_password);
            db.setDatabaseName(m_database);
            db.setConnectOptions(QStringLiteral("connect_timeout=10;application_name=kalmora-host"));
        }
        if (db.open())
            return db;
        if (error)
            *error = QStringLiteral("无法连接数据库 %1：%2").arg(displayText(), db.lastError().text().trimmed());
    }
    QSqlDatabase::removeDatabase(connectionName);
    return {};
}

} // namespace kalmora

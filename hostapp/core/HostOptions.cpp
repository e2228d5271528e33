#include "HostOptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QStandardPaths>

namespace kalmora {

std::optional<HostOptions> HostOptions::parse(const QStringList &arguments, QString *error, bool *exitNow)
{
    if (exitNow)
        *exitNow = false;
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("商圈档案参考主机：在标签页中打开商圈档案维护与查询画面。"));
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("显示本帮助。"));
    const QCommandLineOption database(QStringLiteral("database"),
        QStringLiteral("数据库：postgresql://用户@主机:端口/库名 或 SQLite 文件路径。"), QStringLiteral("url"));
    const QCommandLineOption department(
        QStringLiteral("department"), QStringLiteral("本次会话所属部门的编码。"), QStringLiteral("code"));
    const QCommandLineOption oper(
        QStringLiteral("operator"), QStringLiteral("登录操作员的编码。"), QStringLiteral("code"));
    const QCommandLineOption open(
        QStringLiteral("open"), QStringLiteral("启动后打开的画面：maintenance 或 query。"), QStringLiteral("screen"));
    const QCommandLineOption shot(QStringLiteral("screenshot"),
        QStringLiteral("把打开的画面画到 PNG 文件后退出（需要 --open）。"), QStringLiteral("file"));
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"), QStringLiteral("存放 SQLite 数据库的文件夹。"), QStringLiteral("dir"));
    const QCommandLineOption library(
        QStringLiteral("library"), QStringLiteral("libsqda.so 的路径。"), QStringLiteral("file"));
    p.addOptions({ help, database, department, oper, open, shot, dataDir, library });

    if (!p.parse(arguments)) {
        if (error)
            *error = p.errorText();
        return std::nullopt;
    }
    if (p.isSet(help)) {
        if (error)
            *error = p.helpText();
        if (exitNow)
            *exitNow = true;
        return std::nullopt;
    }
    if (!p.positionalArguments().isEmpty()) {
        if (error)
            *error = QStringLiteral("多余的参数：%1").arg(p.positionalArguments().join(u' '));
        return std::nullopt;
    }

    HostOptions o;
    o.database = p.value(database).trimmed();
    o.department = p.value(department).trimmed();
    o.operatorGiven = p.isSet(oper);
    o.operatorCode = p.value(oper).trimmed();
    o.screenshot = p.value(shot);
    o.dataDir = p.value(dataDir);
    o.library = p.value(library);
    if (p.isSet(open)) {
        const QString s = p.value(open).trimmed().toLower();
        if (s == QLatin1String("maintenance"))
            o.open = Screen::Maintenance;
        else if (s == QLatin1String("query"))
            o.open = Screen::Query;
        else {
            if (error)
                *error = QStringLiteral("--open 的值应为 maintenance 或 query，而不是“%1”。").arg(p.value(open));
            return std::nullopt;
        }
    }
    if (p.isSet(shot) && o.screenshot.trimmed().isEmpty()) {
        if (error)
            *error = QStringLiteral("--screenshot 需要一个文件名。");
        return std::nullopt;
    }
    if (!o.screenshot.isEmpty() && o.open == Screen::None) {
        if (error)
            *error = QStringLiteral("--screenshot 需要与 --open maintenance 或 --open query 一起使用。");
        return std::nullopt;
    }
    if (o.operatorCode.toUtf8().size() > 255) {
        if (error)
            *error = QStringLiteral("操作员编码过长。");
        return std::nullopt;
    }
    return o;
}

QString HostOptions::effectiveDataDir() const
{
    if (!dataDir.isEmpty())
        return QDir(dataDir).absolutePath();
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString HostOptions::databaseUrl() const
{
    if (!database.isEmpty())
        return database;
    return QStringLiteral("sqlite:") + QDir(effectiveDataDir()).filePath(QStringLiteral("kalmora.sqlite"));
}

} // namespace kalmora

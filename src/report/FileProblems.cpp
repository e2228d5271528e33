#include "FileProblems.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace sqda::report {

namespace {

QString otherwise(int error, const QString &systemText)
{
    if (error != 0)
        return systemErrorText(error);
    return systemText.isEmpty() ? QStringLiteral("系统没有说明原因。")
                                : QStringLiteral("系统错误（%1）。").arg(systemText);
}

} // namespace

QString systemErrorText(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("磁盘空间不足。");
    case EDQUOT:
        return QStringLiteral("超出了磁盘配额。");
    case EROFS:
        return QStringLiteral("磁盘是只读的。");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有权限。");
    case ENOENT:
        return QStringLiteral("文件或文件夹不存在。");
    case ENOTDIR:
        return QStringLiteral("路径中有一项不是文件夹。");
    case EISDIR:
        return QStringLiteral("这是一个文件夹。");
    case ENAMETOOLONG:
        return QStringLiteral("文件名太长。");
    case EIO:
        return QStringLiteral("磁盘读写出错。");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("打开的文件太多。");
    default:
        return QStringLiteral("系统错误（%1）。").arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

QString writeProblem(const QString &path, int error, const QString &systemText)
{
    const QFileInfo target(path);
    const QFileInfo folder(target.absolutePath());
    if (!folder.exists())
        return QStringLiteral("文件夹“%1”不存在。").arg(QDir::toNativeSeparators(folder.absoluteFilePath()));
    if (!folder.isDir())
        return QStringLiteral("“%1”不是文件夹。").arg(QDir::toNativeSeparators(folder.absoluteFilePath()));
    if (target.isDir())
        return QStringLiteral("“%1”是一个文件夹。").arg(target.fileName());
    if (!folder.isWritable())
        return QStringLiteral("没有在文件夹“%1”里写文件的权限。")
            .arg(QDir::toNativeSeparators(folder.absoluteFilePath()));
    return otherwise(error, systemText);
}

QString readProblem(const QString &path, int error, const QString &systemText)
{
    const QFileInfo file(path);
    if (!file.exists())
        return QStringLiteral("文件不存在。");
    if (file.isDir())
        return QStringLiteral("这是一个文件夹，不是文件。");
    if (!file.isReadable())
        return QStringLiteral("没有读这个文件的权限。");
    return otherwise(error, systemText);
}

} // namespace sqda::report

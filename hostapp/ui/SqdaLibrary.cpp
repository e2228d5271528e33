#include "SqdaLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace kalmora {

QStringList SqdaLibrary::candidates(const QString &explicitPath)
{
    if (!explicitPath.isEmpty())
        return { explicitPath };
    // All relative to the program's own folder, so an installed program finds
    // the plug-in installed with it wherever the prefix is (a package unpacked
    // anywhere too), and a program in the build tree finds the one built beside it.
    const QDir program(QCoreApplication::applicationDirPath());
    QStringList out { program.filePath(QStringLiteral("libsqda.so")),
        QDir::cleanPath(program.filePath(QStringLiteral(SQDA_INSTALLED_PLUGIN))) };
    // The build tree's plug-in only where the program is in a build tree, never
    // a file an installed program happens to find there.
    if (inBuildTree())
        out << QDir::cleanPath(program.filePath(QStringLiteral(SQDA_BUILD_PLUGIN)));
    return out;
}

bool SqdaLibrary::inBuildTree()
{
    // The build tree's top holds CMakeCache.txt; an installed program's folder never does.
    const QDir program(QCoreApplication::applicationDirPath());
    return QFileInfo::exists(program.filePath(QStringLiteral(SQDA_BUILD_TOP "/CMakeCache.txt")));
}

bool SqdaLibrary::load(const QString &explicitPath, QString *error)
{
    QStringList tried;
    for (const QString &path : candidates(explicitPath)) {
        if (!QFileInfo::exists(path)) {
            tried << QStringLiteral("%1：文件不存在").arg(path);
            continue;
        }
        m_lib.setFileName(path);
        if (!m_lib.load()) {
            tried << QStringLiteral("%1：%2").arg(path, m_lib.errorString());
            continue;
        }
        getFormOne = reinterpret_cast<GetFormOneFn>(m_lib.resolve("GetFormOne"));
        getFormOneSearch = reinterpret_cast<GetFormOneSearchFn>(m_lib.resolve("GetFormOneSearch"));
        if (getFormOne && getFormOneSearch)
            return true;
        tried << QStringLiteral("%1：没有导出 GetFormOne 和 GetFormOneSearch").arg(path);
        getFormOne = nullptr;
        getFormOneSearch = nullptr;
    }
    if (error)
        *error = QStringLiteral("无法加载商圈档案组件 libsqda.so。\n") + tried.join(u'\n');
    return false;
}

} // namespace kalmora

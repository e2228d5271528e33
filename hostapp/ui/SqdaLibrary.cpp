#include "SqdaLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace kalmora {

QStringList SqdaLibrary::candidates(const QString &explicitPath)
{
    if (!explicitPath.isEmpty())
        return { explicitPath };
    QStringList out { QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("libsqda.so")) };
#ifdef SQDA_BUILD_LIBRARY_PATH
    out << QStringLiteral(SQDA_BUILD_LIBRARY_PATH);
#endif
    return out;
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

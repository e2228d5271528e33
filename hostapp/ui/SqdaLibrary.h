// The plug-in libsqda.so, loaded at run time the way any host loads it.
#pragma once

#include <sqda/EntryPoints.h>

#include <QLibrary>
#include <QString>
#include <QStringList>

namespace kalmora {

class SqdaLibrary
{
public:
    // Where to look, in order: `explicitPath` when given; otherwise libsqda.so
    // next to the program, then the one in the build tree.
    static QStringList candidates(const QString &explicitPath);

    bool load(const QString &explicitPath, QString *error);
    QString fileName() const { return m_lib.fileName(); }

    GetFormOneFn getFormOne = nullptr;
    GetFormOneSearchFn getFormOneSearch = nullptr;

private:
    // Never unloaded: forms, their classes and the library's reference to the
    // data service live until the process ends.
    QLibrary m_lib;
};

} // namespace kalmora

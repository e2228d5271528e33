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
    // next to the program, the one installed with it (lib/<multiarch>/ beside
    // bin/), then, for a program in a build tree, the one built there.
    static QStringList candidates(const QString &explicitPath);
    // True when the program runs from its build tree rather than installed.
    static bool inBuildTree();

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

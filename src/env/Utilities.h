// Small shared routines: choosing texts, number texts, separated lists, and one
// value of a settings file in the host program's folder.
#pragma once

#include "core/Result.h"
#include "env/IniFile.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>

namespace sqda {

QString ChooseStr(bool condition, const QString &whenTrue, const QString &whenFalse);
bool IsInt64Text(const QString &text);
QString ZeroPadNumber(int width, bool truncate, qint64 value);
int CountPieces(const QString &text, QChar separator);
QString PieceAt(const QString &text, QChar separator, int index);
bool SplitTrimmed(const QString &separator, const QString &text, QStringList &list);

// The folder of the host program (KALMORA_HOME overrides it), ending in a separator.
QString hostProgramFolder();

// Settings files. `directory` empty or "\" means the host program's folder;
// otherwise it is put directly in front of `fileName`.
QString ReadIniValue(const QString &fileName, const QString &section, const QString &key, const QString &defaultValue,
    const QString &directory = QString());
// Raises IniWriteError ("Unable to write to <path>") when the write is refused.
void WriteIniValue(const QString &fileName, const QString &section, const QString &key, const QString &value,
    const QString &directory = QString());

// The whole settings file, for a reader of many keys; a file that is missing or
// cannot be read reads as empty.
IniFile ReadIniFile(const QString &fileName, const QString &directory = QString());
// Several changes to one settings file as one write: under the writers' lock
// the file is read afresh, `edit` changes it, and the result replaces the file
// atomically, as WriteIniValue does. An edit that fails leaves the file as it
// was and its error is the answer; a refused write answers "Unable to write to
// <path>: …".
Status UpdateIniFile(
    const QString &fileName, const QString &directory, const std::function<Status(IniFile &ini)> &edit);

class IniWriteError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace sqda

// Why a file could not be written or read, as a Chinese sentence to follow a
// message that names the file ("无法写入PDF文件“a.pdf”：文件夹“/x”不存在。").
//
// The system's own error texts are English; these look at the path first (the
// usual faults: a folder that is gone, a folder in place of a file, no
// permission), then at errno, and show the system's text only for the rest.
#pragma once

#include <QString>

namespace sqda::report {

// `error` is an errno value, 0 when unknown; `systemText` the system's own
// description (QFile::errorString()), shown in brackets when nothing else fits.
QString writeProblem(const QString &path, int error = 0, const QString &systemText = {});
QString readProblem(const QString &path, int error = 0, const QString &systemText = {});

// An errno value as a sentence; the system's text in brackets for a rare one.
QString systemErrorText(int error);

} // namespace sqda::report

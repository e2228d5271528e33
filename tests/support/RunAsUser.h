// Runs a piece of a test as another user, the way a second workstation's user
// meets a shared file: in a child process that has dropped to that user.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace sqda::test {

// Runs `work` in a child process as `user` (empty: this process's own user)
// and answers what it returned; "<cannot become USER>" when the child could not
// take the user's identity, "<did not finish>" when it did not end normally.
QByteArray runAsUser(const QString &user, const std::function<QByteArray()> &work);

// Whether `user` can create files in `folder` (a TMPDIR inside a private
// folder keeps other users out of every temporary folder).
bool reachableAs(const QString &user, const QString &folder);

} // namespace sqda::test

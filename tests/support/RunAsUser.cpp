#include "RunAsUser.h"

#include <QFile>

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sqda::test {

namespace {

bool become(const QString &user)
{
    const passwd *pw = ::getpwnam(user.toLocal8Bit().constData());
    return pw && ::setgroups(0, nullptr) == 0 && ::setgid(pw->pw_gid) == 0 && ::setuid(pw->pw_uid) == 0;
}

} // namespace

QByteArray runAsUser(const QString &user, const std::function<QByteArray()> &work)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return "<no pipe>";
    const pid_t child = fork();
    if (child == 0) {
        ::close(fds[0]);
        const QByteArray answer
            = user.isEmpty() || become(user) ? work() : "<cannot become " + user.toLocal8Bit() + ">";
        (void)!::write(fds[1], answer.constData(), size_t(answer.size()));
        _exit(0);
    }
    ::close(fds[1]);
    QByteArray answer;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, got);
    ::close(fds[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return "<did not finish>";
    return answer;
}

bool reachableAs(const QString &user, const QString &folder)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(become(user) && ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0 ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace sqda::test

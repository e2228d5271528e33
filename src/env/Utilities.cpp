#include "env/Utilities.h"

#include "env/IniFile.h"
#include "env/NumberText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <QThread>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sqda {

namespace {

QString iniPath(const QString &fileName, const QString &directory)
{
    if (directory.isEmpty() || directory == QLatin1String("\\"))
        return hostProgramFolder() + fileName;
    return directory + fileName;
}

// A writer's new file, next to the settings file until it is renamed over it.
// The name says whose file it is, so the next writer can recognise one that a
// killed writer left behind.
QString temporaryPrefix(const QString &fileName)
{
    return fileName + QStringLiteral(".writing-");
}

// Under the writers' lock no other writer is at work, so any new file still
// lying there belongs to a writer that died before it could rename or remove it.
void removeStaleTemporaries(const QFileInfo &target)
{
    const QString prefix = temporaryPrefix(target.fileName());
    const QDir folder = target.absoluteDir();
    // Compared by hand: the file's own name may hold characters a name filter
    // would read as a pattern.
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (name.size() == prefix.size() + 6 && name.startsWith(prefix))
            QFile::remove(folder.filePath(name));
    }
}

// The settings writers' lock: an exclusive flock on the file's folder. The
// kernel drops it when its holder dies, however it dies, so there is never a
// stale lock to judge, and it leaves no file behind. Waits up to 10 s.
class FolderLock
{
public:
    explicit FolderLock(const QString &folder)
    {
        m_fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0)
            return;
        for (int waited = 0; ::flock(m_fd, LOCK_EX | LOCK_NB) != 0; waited += 2) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= 10000) {
                m_busy = errno == EWOULDBLOCK;
                ::close(m_fd);
                m_fd = -1;
                return;
            }
            QThread::msleep(2);
        }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    bool held() const { return m_fd >= 0; }
    bool busy() const { return m_busy; } // another writer kept it for the whole wait

private:
    int m_fd = -1;
    bool m_busy = false;
};

// The file a write changes: a settings file that is a symbolic link (a chain of
// them, relative or absolute, dangling too) stands for its target, so the
// target is what is replaced, in its own folder; the link stays as it is.
// Empty when the links go round in a circle or too deep.
QString writeTarget(const QString &path)
{
    QString at = QFileInfo(path).absoluteFilePath();
    for (int depth = 0; depth < 40; ++depth) {
        const QFileInfo info(at);
        if (!info.isSymLink())
            return at;
        at = info.symLinkTarget(); // absolute, resolved against the link's folder
        if (at.isEmpty())
            return {};
    }
    return {};
}

// A file its owner marked read-only (no write bit at all) is left alone, even by
// a user the kernel would let write it (root); otherwise the kernel's answer
// for this process's user and groups counts. Replacing the file by rename needs
// only the folder's write permission, so the file's own is checked here.
bool fileIsReadOnly(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st = {};
    if (::stat(name.constData(), &st) != 0)
        return false; // no file yet: the folder decides
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return true;
    return ::faccessat(AT_FDCWD, name.constData(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

QString randomSuffix()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString s;
    for (int i = 0; i < 6; ++i)
        s += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))]);
    return s;
}

} // namespace

QString ChooseStr(bool condition, const QString &whenTrue, const QString &whenFalse)
{
    return condition ? whenTrue : whenFalse;
}

bool IsInt64Text(const QString &text)
{
    if (trimBlanks(text).isEmpty())
        return false;
    return parseInt64Text(text).has_value();
}

QString ZeroPadNumber(int width, bool truncate, qint64 value)
{
    QString digits = QString::number(value);
    if (width < digits.size()) {
        if (!truncate)
            return digits;
        return width <= 0 ? QString() : digits.right(width);
    }
    return QString(width - digits.size(), u'0') + digits;
}

int CountPieces(const QString &text, QChar separator)
{
    if (text.isEmpty())
        return 0;
    return 1 + int(text.count(separator));
}

QString PieceAt(const QString &text, QChar separator, int index)
{
    if (index < 1)
        return QString();
    qsizetype start = 0;
    int separatorsMet = 0;
    // Move past the (index - 1)-th separator.
    while (separatorsMet < index - 1) {
        const qsizetype at = text.indexOf(separator, start);
        if (at < 0)
            return QString(); // beyond the last piece
        start = at + 1;
        ++separatorsMet;
    }
    const qsizetype end = text.indexOf(separator, start);
    const QString piece = text.mid(start, end < 0 ? -1 : end - start);
    return piece == text ? QString() : piece;
}

bool SplitTrimmed(const QString &separator, const QString &text, QStringList &list)
{
    list.clear();
    QString rest = text;
    // An empty separator occurs nowhere; the whole text is one piece.
    if (!separator.isEmpty()) {
        qsizetype at;
        while ((at = rest.indexOf(separator)) >= 0) {
            list.append(trimBlanks(rest.left(at)));
            rest = rest.mid(at + separator.size());
        }
    }
    list.append(trimBlanks(rest));
    for (const QString &piece : list) {
        if (piece.isEmpty())
            return false;
    }
    return true;
}

QString hostProgramFolder()
{
    QString folder = qEnvironmentVariable("KALMORA_HOME");
    if (folder.isEmpty()) {
        folder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                              : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    }
    if (!folder.endsWith(u'/') && !folder.endsWith(QDir::separator()))
        folder += u'/';
    return folder;
}

QString ReadIniValue(const QString &fileName, const QString &section, const QString &key, const QString &defaultValue,
    const QString &directory)
{
    QFile file(iniPath(fileName, directory));
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return defaultValue;
    const std::optional<QString> value = IniFile::parse(bytes).value(section, key);
    if (!value)
        return defaultValue;
    return value->left(2047);
}

void WriteIniValue(
    const QString &fileName, const QString &section, const QString &key, const QString &value, const QString &directory)
{
    const QString path = iniPath(fileName, directory);
    // The value's own refusal reads like a refused write, as it always has.
    const Status written = UpdateIniFile(fileName, directory, [&](IniFile &ini) -> Status {
        if (const Status stored = ini.setValue(section, key, value); !stored)
            return Error { QStringLiteral("Unable to write to %1: %2").arg(path, stored.error()) };
        return Status();
    });
    if (!written)
        throw IniWriteError(written.error().toStdString());
}

IniFile ReadIniFile(const QString &fileName, const QString &directory)
{
    QFile file(iniPath(fileName, directory));
    if (!file.open(QIODevice::ReadOnly))
        return IniFile();
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return IniFile();
    return IniFile::parse(bytes);
}

Status UpdateIniFile(const QString &fileName, const QString &directory, const std::function<Status(IniFile &ini)> &edit)
{
    const QString path = iniPath(fileName, directory);
    const auto refused = [&path](const QString &why = QString()) -> Status {
        QString message = QStringLiteral("Unable to write to %1").arg(path);
        if (!why.isEmpty())
            message += QStringLiteral(": ") + why;
        return Error { message };
    };

    const QString target = writeTarget(path);
    if (target.isEmpty())
        return refused();
    // Writers of one file take turns (each reads, changes its lines, writes the
    // whole file): without the lock two of them would each drop the other's value.
    const QFileInfo info(target);
    if (!info.absoluteDir().exists())
        return refused();
    const FolderLock lock(info.absolutePath());
    if (!lock.held())
        return refused(lock.busy() ? QStringLiteral("another program is writing it") : QString());
    removeStaleTemporaries(info);

    // Read what is there first: a file that exists but cannot be read is never
    // replaced, since its content could not be carried over.
    IniFile ini;
    QFile::Permissions permissions;
    struct stat owner = {};
    bool keepOwner = false;
    if (info.exists()) {
        if (fileIsReadOnly(target))
            return refused();
        QFile file(target);
        if (!file.open(QIODevice::ReadOnly))
            return refused();
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return refused();
        ini = IniFile::parse(bytes);
        permissions = file.permissions();
        keepOwner = ::fstat(file.handle(), &owner) == 0;
    }
    if (Status edited = edit(ini); !edited)
        return edited;

    // A new file next to the old one, renamed over it once complete and on
    // disk: a crash, a kill or a full disk leaves the old file whole.
    const QByteArray bytes = ini.toBytes();
    QFile out;
    for (int attempt = 0; attempt < 16 && !out.isOpen(); ++attempt) {
        out.setFileName(info.absoluteDir().filePath(temporaryPrefix(info.fileName()) + randomSuffix()));
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly) && out.error() != QFileDevice::OpenError)
            break;
    }
    if (!out.isOpen())
        return refused();
    const auto discard = [&out, &refused] {
        out.close();
        out.remove();
        return refused();
    };
    // The new file keeps the old one's owner and group where this user may give
    // them (root may; a member of the group may keep the group), so a write by
    // another user does not take the file from its owner.
    if (keepOwner && ::fchown(out.handle(), owner.st_uid, owner.st_gid) != 0)
        (void)!::fchown(out.handle(), uid_t(-1), owner.st_gid);
    if (permissions != QFile::Permissions() && !out.setPermissions(permissions))
        return discard();
    if (out.write(bytes) != bytes.size() || !out.flush() || ::fsync(out.handle()) != 0)
        return discard();
    out.close();
    if (out.error() != QFileDevice::NoError)
        return discard();
    // rename(2) replaces the old file in one step; readers see the old or the new one.
    if (std::rename(QFile::encodeName(out.fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        return discard();
    return Status();
}

} // namespace sqda

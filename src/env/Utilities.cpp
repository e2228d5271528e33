#include "env/Utilities.h"

#include "env/IniFile.h"
#include "env/NumberText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace sqda {

namespace {

QString iniPath(const QString &fileName, const QString &directory)
{
    if (directory.isEmpty() || directory == QLatin1String("\\"))
        return hostProgramFolder() + fileName;
    return directory + fileName;
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
    const auto refuse = [&path](const QString &why = QString()) {
        QString message = QStringLiteral("Unable to write to %1").arg(path);
        if (!why.isEmpty())
            message += QStringLiteral(": ") + why;
        throw IniWriteError(message.toStdString());
    };

    // Read what is there first: a file that exists but cannot be read is never
    // replaced, since its content could not be carried over.
    IniFile ini;
    QFileInfo info(path);
    if (info.exists()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            refuse();
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            refuse();
        ini = IniFile::parse(bytes);
    }
    if (const Status stored = ini.setValue(section, key, value); !stored)
        refuse(stored.error());

    // A new file next to the old one, renamed over it once complete: a crash
    // or a full disk leaves the old file whole.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        refuse();
    const QByteArray bytes = ini.toBytes();
    // Flushed and checked here: a failure in the flush that commit() does on its
    // own would not stop it from renaming a cut-off file over the old one.
    if (out.write(bytes) != bytes.size() || !out.flush() || out.error() != QFileDevice::NoError) {
        out.cancelWriting();
        refuse();
    }
    if (!out.commit())
        refuse();
}

} // namespace sqda

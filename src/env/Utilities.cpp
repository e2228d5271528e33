#include "env/Utilities.h"

#include "env/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <limits>

namespace sqda {

namespace {

bool isBlank(QChar c)
{
    return c.unicode() <= 0x20;
}

QString trimBlanks(const QString &s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s.at(b)))
        ++b;
    while (e > b && isBlank(s.at(e - 1)))
        --e;
    return s.mid(b, e - b);
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// Leading spaces, a sign, then decimal digits or hexadecimal ones after "$" or
// "0x"; nothing after the digits; the value within the signed 64-bit range.
bool parseInt64(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && text.at(i) == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text.at(i) == u'0' && (text.at(i + 1) == u'x' || text.at(i + 1) == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return false;
    // Magnitude limit: 2^63 for a negative value, 2^63 - 1 otherwise.
    const quint64 limit = quint64(std::numeric_limits<qint64>::max()) + (negative ? 1 : 0);
    quint64 magnitude = 0;
    for (; i < n; ++i) {
        const int d = base == 16 ? hexDigit(text.at(i)) : (text.at(i).isDigit() && text.at(i).unicode() < 128
                                                                  ? text.at(i).unicode() - '0'
                                                                  : -1);
        if (d < 0)
            return false;
        if (magnitude > (limit - quint64(d)) / quint64(base))
            return false;
        magnitude = magnitude * quint64(base) + quint64(d);
    }
    return true;
}

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
    return parseInt64(text);
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

QString ReadIniValue(const QString &fileName, const QString &section, const QString &key,
                     const QString &defaultValue, const QString &directory)
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

void WriteIniValue(const QString &fileName, const QString &section, const QString &key, const QString &value,
                   const QString &directory)
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
    if (const auto problem = ini.setValue(section, key, value))
        refuse(*problem);

    // A new file next to the old one, renamed over it once complete: a crash
    // or a full disk leaves the old file whole.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        refuse();
    const QByteArray bytes = ini.toBytes();
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        refuse();
    }
    if (!out.commit())
        refuse();
}

} // namespace sqda

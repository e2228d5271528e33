// One settings file in initialisation-file layout, held as its original lines.
//
// Reading finds a value; writing replaces or adds exactly one line. Every other
// byte of the file (comments, blank lines, line ends, a byte order mark, text in
// GB18030) comes out as it went in, so a workstation's hand-edited settings
// survive the library writing its own values. Section and key names match
// without regard to letter case; the first matching section and key win.
#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringConverter>

#include <optional>

namespace sqda {

class IniFile
{
public:
    enum class Encoding {
        Utf8, // also plain ASCII
        Gb18030, // any file that is not valid UTF-8
        Utf16 // recognised by its byte order mark; either byte order
    };

    IniFile() = default;
    static IniFile parse(const QByteArray &bytes);
    QByteArray toBytes() const;

    Encoding encoding() const { return m_encoding; }

    std::optional<QString> value(const QString &section, const QString &key) const;

    // Replaces the value of an existing key (keeping its spelling and the text
    // before the "=") or adds the key, and the section when needed. Fails with
    // an explanation when the names or the value cannot be stored without
    // changing the file's structure (a line break, a "=" in a key, ...);
    // nothing changes then.
    Status setValue(const QString &section, const QString &key, const QString &value);

    // Fails with why a section/key/value could not be written as given.
    static Status validate(const QString &section, const QString &key, const QString &value);

private:
    struct Line
    {
        QByteArray raw; // the line's bytes without its line end
        QByteArray eol; // "\n", "\r\n" or empty for a last line without one
    };
    struct Located
    {
        qsizetype sectionLine = -1; // index of the "[section]" line
        qsizetype lastContentLine = -1; // last non-blank line of the section
        qsizetype keyLine = -1;
    };

    QStringConverter::Encoding utf16Order() const;
    QString decode(const QByteArray &raw) const;
    QByteArray encode(const QString &text) const;
    Located locate(const QString &section, const QString &key) const;
    QByteArray newline() const;

    QByteArray m_bom;
    Encoding m_encoding = Encoding::Utf8;
    QList<Line> m_lines;
};

} // namespace sqda

// One settings file in initialisation-file layout, held as its original lines.
//
// Reading finds a value; writing replaces or adds exactly one line. Every other
// byte of the file (comments, blank lines, line ends, a byte order mark, text in
// GB18030, UTF-16 with stray surrogates or a dangling odd byte) comes out as it
// went in, so a workstation's hand-edited settings survive the library writing
// its own values. Lines are held as the file's own bytes and decoded only to be
// read, so nothing is re-encoded that was not written. Section and key names
// match without regard to letter case; the first matching section and key win.
// A U+FEFF at the start of a line (files joined after both had a byte order
// mark) is not part of the line's text.
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
        Gb18030, // any file that is not valid UTF-8, a cut-off last character included
        Utf16 // recognised by its byte order mark; either byte order
    };

    IniFile() = default;
    static IniFile parse(const QByteArray &bytes);
    QByteArray toBytes() const;

    Encoding encoding() const { return m_encoding; }

    std::optional<QString> value(const QString &section, const QString &key) const;

    // Every key of the first section of that name, in file order, read in one
    // pass (a section of thousands of keys costs one walk, not one per key).
    struct Entry
    {
        QString key;
        QString value;
    };
    QList<Entry> entries(const QString &section) const;

    // Removes the first line of the key in the section; false when there is none.
    bool removeKey(const QString &section, const QString &key);

    // Replaces the value of an existing key (keeping the line's bytes up to and
    // including the "=") or adds the key, and the section when needed. Fails with
    // an explanation when the names or the value cannot be stored without
    // changing the file's structure (a line break, a "=" in a key, ...); nothing
    // changes then. The value always reads back as given (blanks round it
    // aside): when the new bytes of a GB18030 file would read as UTF-8, the
    // file's text is written as UTF-8 instead, so no other value changes either.
    Status setValue(const QString &section, const QString &key, const QString &value);

    // Fails with why a section/key/value could not be written as given.
    static Status validate(const QString &section, const QString &key, const QString &value);

private:
    struct Line
    {
        QByteArray raw; // the line's bytes without its line end
        QByteArray eol; // "\n", "\r\n" or empty for a last line without one
    };
    struct KeySplit
    {
        qsizetype valueStart = -1; // byte offset just after the "=", or -1
        QString name; // trimmed
        QString value; // trimmed
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
    QString lineText(const Line &line) const; // decoded, without a leading U+FEFF
    KeySplit splitKey(const QByteArray &raw) const;
    void splitLines(const QByteArray &body);
    bool transcodeToUtf8();
    void insertOrReplace(const QString &section, const QString &key, const QString &value);
    Located locate(const QString &section, const QString &key) const;
    QByteArray newline() const;
    // Gives a line without a line end (the file's last) the line end `nl`.
    void endLine(Line &line, const QByteArray &nl) const;

    QByteArray m_bom;
    Encoding m_encoding = Encoding::Utf8;
    QList<Line> m_lines;
    QByteArray m_tail; // the last byte of a UTF-16 file of odd length
};

} // namespace sqda

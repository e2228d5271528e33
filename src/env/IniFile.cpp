#include "env/IniFile.h"

#include "env/NumberText.h"

#include <QSet>
#include <QStringDecoder>
#include <QStringEncoder>

namespace sqda {

namespace {

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

enum class LineKind { Blank, Comment, Section, Key, Other };

struct Parsed
{
    LineKind kind = LineKind::Other;
    QString name; // section name, trimmed
};

// Classifies a line by its decoded text. Key lines are split on their bytes
// (IniFile::splitKey), so the name and value never depend on how a decoder
// resynchronises after a broken sequence.
Parsed parseLine(const QString &line)
{
    Parsed p;
    const QString t = trimBlanks(line);
    if (t.isEmpty()) {
        p.kind = LineKind::Blank;
    } else if (t.startsWith(u';')) {
        p.kind = LineKind::Comment;
    } else if (t.startsWith(u'[')) {
        p.kind = LineKind::Section;
        const qsizetype close = t.indexOf(u']');
        p.name = trimBlanks(t.mid(1, close < 0 ? -1 : close - 1));
    } else if (line.contains(u'=')) {
        p.kind = LineKind::Key;
    }
    return p;
}

bool hasLineBreak(const QString &s)
{
    return s.contains(u'\n') || s.contains(u'\r');
}

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF, no
// sequence cut off at the end): a file passes only when every byte is text.
bool isValidUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0)
                lo = 0xA0;
            else if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0)
                lo = 0x90;
            else if (c == 0xF4)
                hi = 0x8F;
        } else {
            return false;
        }
        if (n - i - 1 < more)
            return false;
        if (p[i + 1] < lo || p[i + 1] > hi)
            return false;
        for (int k = 2; k <= more; ++k) {
            if (p[i + k] < 0x80 || p[i + k] > 0xBF)
                return false;
        }
        i += 1 + more;
    }
    return true;
}

// One code unit of `raw` at byte offset `i`: a byte, or a UTF-16 unit.
char16_t unitAt(const QByteArray &raw, qsizetype i, int unit, bool bigEndian)
{
    const auto b = [&raw](qsizetype k) { return char16_t(uchar(raw.at(k))); };
    if (unit == 1)
        return b(i);
    return bigEndian ? char16_t((b(i) << 8) | b(i + 1)) : char16_t(b(i) | (b(i + 1) << 8));
}

QString withoutLeadingBom(QString text)
{
    qsizetype n = 0;
    while (n < text.size() && text.at(n) == QChar(0xFEFF))
        ++n;
    return n ? text.mid(n) : text;
}

} // namespace

IniFile IniFile::parse(const QByteArray &bytes)
{
    IniFile f;
    QByteArray body = bytes;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        f.m_encoding = Encoding::Utf16;
        f.m_bom = bytes.left(2);
        body = bytes.mid(2);
        // Half a code unit at the end stays there, after every line, so the
        // lines written before it keep their alignment.
        if (body.size() % 2) {
            f.m_tail = body.right(1);
            body.chop(1);
        }
    } else {
        if (bytes.startsWith("\xEF\xBB\xBF")) {
            f.m_bom = bytes.left(3);
            body = bytes.mid(3);
        }
        if (!isValidUtf8(body))
            f.m_encoding = Encoding::Gb18030;
    }
    f.splitLines(body);
    return f;
}

void IniFile::splitLines(const QByteArray &body)
{
    // Line feeds never occur inside a GB18030 or UTF-8 multi-byte sequence, and
    // UTF-16 is split on whole code units, so the bytes can be split before decoding.
    const int unit = m_encoding == Encoding::Utf16 ? 2 : 1;
    const bool bigEndian = m_encoding == Encoding::Utf16 && utf16Order() == QStringConverter::Utf16BE;
    qsizetype start = 0;
    for (qsizetype i = 0; i + unit <= body.size(); i += unit) {
        if (unitAt(body, i, unit, bigEndian) != u'\n')
            continue;
        qsizetype end = i;
        if (end - start >= unit && unitAt(body, end - unit, unit, bigEndian) == u'\r')
            end -= unit;
        m_lines.append(Line { body.mid(start, end - start), body.mid(end, i + unit - end) });
        start = i + unit;
    }
    if (start < body.size())
        m_lines.append(Line { body.mid(start), {} });
}

QStringConverter::Encoding IniFile::utf16Order() const
{
    return m_bom == QByteArray("\xFE\xFF") ? QStringConverter::Utf16BE : QStringConverter::Utf16LE;
}

QByteArray IniFile::toBytes() const
{
    QByteArray out = m_bom;
    for (const Line &l : m_lines) {
        out += l.raw;
        out += l.eol;
    }
    return out + m_tail;
}

QString IniFile::decode(const QByteArray &raw) const
{
    // ConvertInitialBom: a U+FEFF that starts a piece is text like any other here.
    switch (m_encoding) {
    case Encoding::Gb18030:
        if (auto decoder = QStringDecoder("GB18030"); decoder.isValid())
            return decoder(raw);
        break;
    case Encoding::Utf16:
        return QStringDecoder(utf16Order(), QStringConverter::Flag::ConvertInitialBom)(raw);
    case Encoding::Utf8:
        break;
    }
    return QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom)(raw);
}

QByteArray IniFile::encode(const QString &text) const
{
    switch (m_encoding) {
    case Encoding::Gb18030:
        if (auto encoder = QStringEncoder("GB18030"); encoder.isValid())
            return encoder(text);
        break;
    case Encoding::Utf16:
        return QStringEncoder(utf16Order())(text);
    case Encoding::Utf8:
        break;
    }
    return text.toUtf8();
}

QString IniFile::lineText(const Line &line) const
{
    return withoutLeadingBom(decode(line.raw));
}

IniFile::KeySplit IniFile::splitKey(const QByteArray &raw) const
{
    // "=" is never part of a multi-byte sequence in UTF-8 or GB18030.
    const int unit = m_encoding == Encoding::Utf16 ? 2 : 1;
    const bool bigEndian = m_encoding == Encoding::Utf16 && utf16Order() == QStringConverter::Utf16BE;
    KeySplit split;
    for (qsizetype i = 0; i + unit <= raw.size(); i += unit) {
        if (unitAt(raw, i, unit, bigEndian) == u'=') {
            split.valueStart = i + unit;
            split.name = trimBlanks(withoutLeadingBom(decode(raw.left(i))));
            split.value = trimBlanks(decode(raw.mid(i + unit)));
            break;
        }
    }
    return split;
}

bool IniFile::transcodeToUtf8()
{
    if (m_encoding != Encoding::Gb18030)
        return false;
    for (Line &l : m_lines)
        l.raw = decode(l.raw).toUtf8();
    m_encoding = Encoding::Utf8;
    return true;
}

QByteArray IniFile::newline() const
{
    for (const Line &l : m_lines) {
        if (!l.eol.isEmpty())
            return l.eol;
    }
    return encode(QStringLiteral("\n"));
}

void IniFile::endLine(Line &line, const QByteArray &nl) const
{
    if (!line.eol.isEmpty())
        return;
    // A bare CR that ends the last line belongs to it; followed by "\n" it would
    // become part of the line end, and the line would read differently (a
    // broken byte before it decodes otherwise, too). A whole "\r\n" behind it
    // keeps every byte of the line in the line.
    line.eol = line.raw.endsWith(encode(QStringLiteral("\r"))) ? encode(QStringLiteral("\r\n")) : nl;
}

IniFile::Located IniFile::locate(const QString &section, const QString &key) const
{
    Located at;
    const QString wantSection = trimBlanks(section);
    const QString wantKey = trimBlanks(key);
    bool inSection = false;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const Parsed p = parseLine(lineText(m_lines.at(i)));
        if (p.kind == LineKind::Section) {
            if (inSection)
                break; // only the first section of that name counts
            if (sameName(p.name, wantSection)) {
                inSection = true;
                at.sectionLine = i;
                at.lastContentLine = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (p.kind != LineKind::Blank)
            at.lastContentLine = i;
        if (p.kind == LineKind::Key && at.keyLine < 0) {
            const KeySplit split = splitKey(m_lines.at(i).raw);
            if (split.valueStart >= 0 && sameName(split.name, wantKey))
                at.keyLine = i;
        }
    }
    return at;
}

std::optional<QString> IniFile::value(const QString &section, const QString &key) const
{
    const Located at = locate(section, key);
    if (at.keyLine < 0)
        return std::nullopt;
    return splitKey(m_lines.at(at.keyLine).raw).value;
}

QList<IniFile::Entry> IniFile::entries(const QString &section) const
{
    QList<Entry> out;
    QSet<QString> seen;
    const QString wantSection = trimBlanks(section);
    bool inSection = false;
    for (const Line &line : m_lines) {
        const Parsed p = parseLine(lineText(line));
        if (p.kind == LineKind::Section) {
            if (inSection)
                break;
            inSection = sameName(p.name, wantSection);
            continue;
        }
        if (!inSection || p.kind != LineKind::Key)
            continue;
        KeySplit split = splitKey(line.raw);
        if (split.valueStart < 0)
            continue;
        // Later lines of a key already met are not what value() reads.
        if (!seen.contains(split.name.toCaseFolded())) {
            seen.insert(split.name.toCaseFolded());
            out.append(Entry { std::move(split.name), std::move(split.value) });
        }
    }
    return out;
}

bool IniFile::removeKey(const QString &section, const QString &key)
{
    const Located at = locate(section, key);
    if (at.keyLine < 0)
        return false;
    m_lines.removeAt(at.keyLine);
    return true;
}

Status IniFile::validate(const QString &section, const QString &key, const QString &value)
{
    const QString s = trimBlanks(section);
    const QString k = trimBlanks(key);
    if (hasLineBreak(section) || s.contains(u']'))
        return Error { QStringLiteral("the section name \"%1\" cannot be stored").arg(section) };
    if (k.isEmpty() || hasLineBreak(key) || k.contains(u'=') || k.startsWith(u'[') || k.startsWith(u';'))
        return Error { QStringLiteral("the key name \"%1\" cannot be stored").arg(key) };
    if (hasLineBreak(value))
        return Error { QStringLiteral("the value of \"%1\" holds a line break").arg(key) };
    // A lone surrogate has no encoding in any of the file's encodings.
    if (!section.isValidUtf16() || !key.isValidUtf16() || !value.isValidUtf16())
        return Error { QStringLiteral("the value of \"%1\" is not valid text").arg(key) };
    return Status();
}

Status IniFile::setValue(const QString &section, const QString &key, const QString &value)
{
    if (Status valid = validate(section, key, value); !valid)
        return valid;

    const IniFile before = *this;
    insertOrReplace(section, key, value);

    // The file is read again the way the next reader will read it: its
    // encoding decided afresh from its bytes. A GB18030 file whose only
    // non-UTF-8 bytes were in the old value would now pass for UTF-8.
    const auto readsBack = [&] {
        const IniFile again = parse(toBytes());
        return again.m_encoding == m_encoding && again.value(section, key) == trimBlanks(value);
    };
    if (readsBack() || (transcodeToUtf8() && readsBack()))
        return Status();
    *this = before;
    return Error { QStringLiteral("the value of \"%1\" would not read back as written").arg(key) };
}

void IniFile::insertOrReplace(const QString &section, const QString &key, const QString &value)
{
    const Located at = locate(section, key);
    if (at.keyLine >= 0) {
        // Keep the line's own bytes up to the "=": the key's spelling, blanks, and
        // whatever else stands there, however it decodes.
        Line &line = m_lines[at.keyLine];
        line.raw = line.raw.left(splitKey(line.raw).valueStart) + encode(value);
        return;
    }

    const QByteArray nl = newline();
    const Line keyLine { encode(trimBlanks(key) + u'=' + value), nl };
    if (at.sectionLine >= 0) {
        const qsizetype after = at.lastContentLine;
        endLine(m_lines[after], nl);
        m_lines.insert(after + 1, keyLine);
        return;
    }

    if (!m_lines.isEmpty()) {
        endLine(m_lines.last(), nl);
        if (parseLine(lineText(m_lines.last())).kind != LineKind::Blank)
            m_lines.append(Line { {}, nl }); // a blank line between sections
    }
    m_lines.append(Line { encode(u'[' + trimBlanks(section) + u']'), nl });
    m_lines.append(keyLine);
}

} // namespace sqda

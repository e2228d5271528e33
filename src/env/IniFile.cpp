#include "env/IniFile.h"

#include "env/NumberText.h"

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
    QString name; // section or key name, trimmed
    QString value; // key value, trimmed
    qsizetype valueStart = -1; // index just after the "=" in the decoded line
};

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
    } else if (const qsizetype eq = line.indexOf(u'='); eq >= 0) {
        p.kind = LineKind::Key;
        p.name = trimBlanks(line.left(eq));
        p.value = trimBlanks(line.mid(eq + 1));
        p.valueStart = eq + 1;
    }
    return p;
}

bool hasLineBreak(const QString &s)
{
    return s.contains(u'\n') || s.contains(u'\r');
}

} // namespace

IniFile IniFile::parse(const QByteArray &bytes)
{
    IniFile f;
    QByteArray body = bytes;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        f.m_bom = bytes.left(3);
        body = bytes.mid(3);
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        // The lines are held as UTF-8 of the decoded text and encoded back whole
        // in the same byte order when written.
        f.m_encoding = Encoding::Utf16;
        f.m_bom = bytes.left(2);
        auto decoder = QStringDecoder(f.utf16Order());
        body = QString(decoder(bytes.mid(2))).toUtf8();
    }
    if (f.m_encoding == Encoding::Utf8) {
        auto check = QStringDecoder(QStringDecoder::Utf8);
        (void)QString(check(body));
        if (check.hasError())
            f.m_encoding = Encoding::Gb18030;
    }

    // Line feeds never occur inside a GB18030 or UTF-8 multi-byte sequence, so
    // the bytes can be split before decoding.
    qsizetype start = 0;
    while (start < body.size()) {
        qsizetype nl = body.indexOf('\n', start);
        Line line;
        if (nl < 0) {
            line.raw = body.mid(start);
            start = body.size();
        } else {
            qsizetype end = nl;
            if (end > start && body.at(end - 1) == '\r')
                --end;
            line.raw = body.mid(start, end - start);
            line.eol = body.mid(end, nl + 1 - end);
            start = nl + 1;
        }
        f.m_lines.append(line);
    }
    return f;
}

QStringConverter::Encoding IniFile::utf16Order() const
{
    return m_bom == QByteArray("\xFE\xFF") ? QStringConverter::Utf16BE : QStringConverter::Utf16LE;
}

QByteArray IniFile::toBytes() const
{
    QByteArray body;
    for (const Line &l : m_lines) {
        body += l.raw;
        body += l.eol;
    }
    if (m_encoding == Encoding::Utf16) {
        auto encoder = QStringEncoder(utf16Order());
        return m_bom + QByteArray(encoder(QString::fromUtf8(body)));
    }
    return m_bom + body;
}

QString IniFile::decode(const QByteArray &raw) const
{
    if (m_encoding == Encoding::Gb18030) {
        auto decoder = QStringDecoder("GB18030");
        if (decoder.isValid())
            return decoder(raw);
    }
    return QString::fromUtf8(raw);
}

QByteArray IniFile::encode(const QString &text) const
{
    if (m_encoding == Encoding::Gb18030) {
        auto encoder = QStringEncoder("GB18030");
        if (encoder.isValid())
            return encoder(text);
    }
    return text.toUtf8();
}

QByteArray IniFile::newline() const
{
    for (const Line &l : m_lines) {
        if (!l.eol.isEmpty())
            return l.eol;
    }
    return "\n";
}

IniFile::Located IniFile::locate(const QString &section, const QString &key) const
{
    Located at;
    const QString wantSection = trimBlanks(section);
    const QString wantKey = trimBlanks(key);
    bool inSection = false;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const Parsed p = parseLine(decode(m_lines.at(i).raw));
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
        if (p.kind == LineKind::Key && at.keyLine < 0 && sameName(p.name, wantKey))
            at.keyLine = i;
    }
    return at;
}

std::optional<QString> IniFile::value(const QString &section, const QString &key) const
{
    const Located at = locate(section, key);
    if (at.keyLine < 0)
        return std::nullopt;
    return parseLine(decode(m_lines.at(at.keyLine).raw)).value;
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
    return Status();
}

Status IniFile::setValue(const QString &section, const QString &key, const QString &value)
{
    if (Status valid = validate(section, key, value); !valid)
        return valid;

    const Located at = locate(section, key);
    if (at.keyLine >= 0) {
        Line &line = m_lines[at.keyLine];
        const QString text = decode(line.raw);
        const Parsed p = parseLine(text);
        // Keep the key's own spelling and the text up to the "=".
        line.raw = encode(text.left(p.valueStart) + value);
        return Status();
    }

    const QByteArray nl = newline();
    const Line keyLine { encode(trimBlanks(key) + u'=' + value), nl };
    if (at.sectionLine >= 0) {
        const qsizetype after = at.lastContentLine;
        if (m_lines[after].eol.isEmpty())
            m_lines[after].eol = nl;
        m_lines.insert(after + 1, keyLine);
        return Status();
    }

    if (!m_lines.isEmpty()) {
        if (m_lines.last().eol.isEmpty())
            m_lines.last().eol = nl;
        if (parseLine(decode(m_lines.last().raw)).kind != LineKind::Blank)
            m_lines.append(Line { {}, nl }); // a blank line between sections
    }
    m_lines.append(Line { encode(u'[' + trimBlanks(section) + u']'), nl });
    m_lines.append(keyLine);
    return Status();
}

} // namespace sqda

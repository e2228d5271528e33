#include "PdfTextMap.h"

#include <algorithm>

#include <QByteArrayView>
#include <QRawFont>

namespace sqda::report {

namespace {

constexpr char16_t FirstRadical = 0x2E80, LastRadical = 0x2FDF;
constexpr char16_t FirstIdeograph = 0x4E00, LastIdeograph = 0x9FFF;

QString codeRange(char16_t first, char16_t last)
{
    QString text(last - first + 1, Qt::Uninitialized);
    for (char16_t c = first; c <= last; ++c)
        text[c - first] = QChar(c);
    return text;
}

// Faces alike in name and style map characters to the same glyphs: the
// listing's fonts are a few sizes of two faces, each scanned once.
QString faceKey(const QRawFont &raw)
{
    return raw.familyName() + u'\n' + raw.styleName() + u'\n' + QString::number(raw.weight()) + u'\n'
        + QString::number(int(raw.style()));
}

} // namespace

QHash<char16_t, char16_t> textMapRepairs(const std::vector<QFont> &fonts)
{
    QHash<char16_t, char16_t> repairs;
    repairs.insert(u'\t', u' ');
    static const QString unified = codeRange(FirstIdeograph, LastIdeograph);
    static const QString radicals = codeRange(FirstRadical, LastRadical);
    // A radical two faces draw differently reads as the later face has it, so
    // the faces are taken from the last and the first answer kept.
    QStringList seen;
    for (auto font = fonts.rbegin(); font != fonts.rend(); ++font) {
        const QRawFont raw = QRawFont::fromFont(*font);
        if (!raw.isValid())
            continue;
        const QString key = faceKey(raw);
        if (seen.contains(key))
            continue;
        seen << key;
        // The radicals' glyphs, sorted, then one walk up the ideographs: the
        // first ideograph on a radical's glyph is the lowest, as a copy of the
        // text would read it. A face without radicals needs no walk.
        const QList<quint32> radicalGlyphs = raw.glyphIndexesForString(radicals);
        std::vector<std::pair<quint32, char16_t>> wanted; // glyph, radical
        for (qsizetype i = 0; i < radicalGlyphs.size(); ++i)
            if (radicalGlyphs[i])
                wanted.emplace_back(radicalGlyphs[i], char16_t(FirstRadical + i));
        if (wanted.empty())
            continue;
        std::sort(wanted.begin(), wanted.end());
        std::vector<bool> found(wanted.size());
        const QList<quint32> unifiedGlyphs = raw.glyphIndexesForString(unified);
        for (qsizetype i = 0; i < unifiedGlyphs.size(); ++i) {
            const quint32 glyph = unifiedGlyphs[i];
            auto it = std::lower_bound(wanted.begin(), wanted.end(), std::pair<quint32, char16_t>(glyph, 0));
            for (; glyph && it != wanted.end() && it->first == glyph; ++it) {
                if (found[size_t(it - wanted.begin())])
                    continue;
                found[size_t(it - wanted.begin())] = true;
                if (!repairs.contains(it->second))
                    repairs.insert(it->second, char16_t(FirstIdeograph + i));
            }
        }
    }
    return repairs;
}

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The positions of the "<XXXX>" tokens of one line.
std::vector<char *> codeTokens(char *line, char *end)
{
    std::vector<char *> tokens;
    for (char *p = line; p + 6 <= end; ++p) {
        if (p[0] != '<' || p[5] != '>')
            continue;
        if (hexDigit(p[1]) < 0 || hexDigit(p[2]) < 0 || hexDigit(p[3]) < 0 || hexDigit(p[4]) < 0)
            continue;
        tokens.push_back(p);
        p += 5;
    }
    return tokens;
}

char16_t codeAt(const char *token)
{
    return char16_t(
        (hexDigit(token[1]) << 12) | (hexDigit(token[2]) << 8) | (hexDigit(token[3]) << 4) | hexDigit(token[4]));
}

void writeCode(char *token, char16_t code)
{
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < 4; ++i)
        token[4 - i] = digits[(code >> (4 * i)) & 0xF];
}

constexpr QByteArrayView Begin("begincmap"), End("endcmap");

// Repairs the CMap between `begin` and `end` (its "endcmap") in `data`.
int repairCMap(char *data, qsizetype begin, qsizetype end, const QHash<char16_t, char16_t> &repairs)
{
    int changed = 0;
    const QByteArrayView whole(data, end);
    enum { Other, Chars, Ranges } mode = Other;
    for (qsizetype lineStart = begin; lineStart < end;) {
        qsizetype lineEnd = whole.indexOf('\n', lineStart);
        if (lineEnd < 0)
            lineEnd = end;
        const QByteArrayView line = whole.sliced(lineStart, lineEnd - lineStart);
        if (line.contains("beginbfchar"))
            mode = Chars;
        else if (line.contains("beginbfrange"))
            mode = Ranges;
        else if (line.contains("endbfchar") || line.contains("endbfrange"))
            mode = Other;
        else if (mode != Other) {
            // bfchar: <glyph> <target>; bfrange: <first> <last> <target> or
            // <first> <last> [<target> …]. A single target of a longer range
            // counts up from itself, so it is left alone.
            const std::vector<char *> tokens = codeTokens(data + lineStart, data + lineEnd);
            const size_t sources = mode == Chars ? 1 : 2;
            const bool single = mode == Ranges && tokens.size() == 3 && !line.contains("[");
            if (tokens.size() > sources && !(single && codeAt(tokens[0]) != codeAt(tokens[1]))) {
                for (size_t i = sources; i < tokens.size(); ++i) {
                    const auto it = repairs.constFind(codeAt(tokens[i]));
                    if (it != repairs.cend()) {
                        writeCode(tokens[i], *it);
                        ++changed;
                    }
                }
            }
        }
        lineStart = lineEnd + 1;
    }
    return changed;
}

// Repairs the CMaps that end inside `data`, in one walk forward, adding to
// `changed`. Returns where what is left undone begins: the first CMap the end
// cuts, else the last bytes, where a "begincmap" cut by the end could start.
qsizetype repairCompleteCMaps(char *data, qsizetype size, const QHash<char16_t, char16_t> &repairs, int &changed)
{
    const QByteArrayView whole(data, size);
    qsizetype from = 0;
    for (;;) {
        const qsizetype begin = whole.indexOf(Begin, from);
        if (begin < 0)
            return std::max(from, size - (Begin.size() - 1));
        const qsizetype end = whole.indexOf(End, begin);
        if (end < 0)
            return begin;
        changed += repairCMap(data, begin, end, repairs);
        from = end + End.size();
    }
}

} // namespace

int repairTextMaps(char *data, qsizetype size, const QHash<char16_t, char16_t> &repairs)
{
    int changed = 0;
    repairCompleteCMaps(data, size, repairs, changed);
    return changed;
}

int repairTextMapsInFile(QFile &file, const QHash<char16_t, char16_t> &repairs, qsizetype window)
{
    window = std::max<qsizetype>(window, 64);
    const qint64 size = file.size();
    int changed = 0;
    qint64 at = 0;
    while (at < size) {
        const qsizetype length = qsizetype(std::min<qint64>(window, size - at));
        uchar *mapped = file.map(at, length);
        if (!mapped)
            return -1;
        // The next window starts at the first CMap this one cuts.
        int inWindow = 0;
        qsizetype done = repairCompleteCMaps(reinterpret_cast<char *>(mapped), length, repairs, inWindow);
        file.unmap(mapped); // leaves the resident set: the file is never whole in memory
        if (at + length >= size)
            done = length;
        else if (done == 0) {
            window *= 2; // one CMap longer than the window: take more
            continue;
        }
        changed += inWindow;
        at += done;
    }
    return changed;
}

} // namespace sqda::report

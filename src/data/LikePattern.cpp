#include "LikePattern.h"

namespace sqda {

bool LikePattern::endsInLoneEscape(QStringView pattern, QChar escape)
{
    if (escape.isNull())
        return false;
    bool escaped = false;
    for (QChar c : pattern)
        escaped = !escaped && c == escape;
    return escaped;
}

LikePattern::LikePattern(QStringView pattern, QChar escape)
{
    m_anchoredStart = !pattern.startsWith(u'%');
    m_anchoredEnd = true;
    Segment cur;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        QChar c = pattern[i];
        bool literal = false;
        if (!escape.isNull() && c == escape && i + 1 < pattern.size()) {
            c = pattern[++i];
            literal = true;
        }
        m_anchoredEnd = literal || c != u'%';
        if (!literal && c == u'%') {
            if (!cur.units.isEmpty())
                m_segments.push_back(std::move(cur));
            cur = Segment();
            continue;
        }
        const bool any = !literal && c == u'_';
        if (any && !cur.hasAny)
            cur.any.assign(size_t(cur.units.size()), false);
        cur.hasAny = cur.hasAny || any;
        if (cur.hasAny)
            cur.any.push_back(any);
        cur.units += c;
    }
    if (!cur.units.isEmpty())
        m_segments.push_back(std::move(cur));

    // The shapes the condition builder produces get a direct test.
    const bool anyWildcard = !m_segments.empty() && m_segments.front().hasAny;
    if (m_segments.size() == 1 && !anyWildcard) {
        m_literal = m_segments.front().units;
        if (m_anchoredStart && m_anchoredEnd)
            m_shape = Shape::Exact;
        else if (m_anchoredStart)
            m_shape = Shape::Prefix;
        else if (m_anchoredEnd)
            m_shape = Shape::Suffix;
        else
            m_shape = Shape::Contains;
    } else if (m_segments.empty()) {
        // "" matches only the empty text; "%" (or "%%") matches every text.
        m_shape = (m_anchoredStart && m_anchoredEnd) ? Shape::Exact : Shape::Contains;
    }
}

// Matches segment `s` at `at`; '_' takes one whole character (a surrogate pair too).
bool LikePattern::matchAt(const Segment &s, QStringView text, qsizetype at, qsizetype *end)
{
    qsizetype i = at;
    for (qsizetype k = 0; k < s.units.size(); ++k) {
        const QChar p = s.units[k];
        if (i >= text.size())
            return false;
        if (s.hasAny && s.any[size_t(k)]) {
            i += (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2 : 1;
            continue;
        }
        if (text[i] != p)
            return false;
        ++i;
    }
    *end = i;
    return true;
}

bool LikePattern::matches(QStringView text) const
{
    switch (m_shape) {
    case Shape::Exact:
        return text == m_literal;
    case Shape::Prefix:
        return text.startsWith(m_literal);
    case Shape::Suffix:
        return text.endsWith(m_literal);
    case Shape::Contains:
        if (m_literal.size() == 1) {
            const char16_t c = m_literal.front().unicode();
            const char16_t *p = text.utf16();
            for (qsizetype i = 0, n = text.size(); i < n; ++i) {
                if (p[i] == c)
                    return true;
            }
            return m_literal.isEmpty();
        }
        return text.contains(m_literal);
    case Shape::General:
        break;
    }

    // Segments between '%' match leftmost in turn; with fixed-width segments that is
    // enough, and the last one must end the text when the pattern does not end in '%'.
    qsizetype pos = 0;
    const size_t n = m_segments.size();
    for (size_t k = 0; k < n; ++k) {
        const Segment &s = m_segments[k];
        const bool first = k == 0;
        const bool last = k + 1 == n;
        qsizetype end = 0;
        if (first && m_anchoredStart) {
            if (!matchAt(s, text, 0, &end))
                return false;
            if (last && m_anchoredEnd)
                return end == text.size();
            pos = end;
            continue;
        }
        if (last && m_anchoredEnd) {
            // Try the starts from the right whose match ends exactly at the end.
            for (qsizetype at = text.size(); at >= pos; --at) {
                if (at < text.size() && text[at].isLowSurrogate() && at > 0 && text[at - 1].isHighSurrogate())
                    continue;
                if (matchAt(s, text, at, &end) && end == text.size())
                    return true;
            }
            return false;
        }
        bool found = false;
        for (qsizetype at = pos; at <= text.size(); ++at) {
            if (at < text.size() && text[at].isLowSurrogate() && at > 0 && text[at - 1].isHighSurrogate())
                continue;
            if (matchAt(s, text, at, &end)) {
                pos = end;
                found = true;
                break;
            }
        }
        if (!found)
            return false;
    }
    return true;
}

} // namespace sqda

// A LIKE pattern compiled once: '%' stands for any run of characters (also none),
// '_' for exactly one character; every other character stands for itself, compared
// exactly (case matters). With an escape character (LIKE … ESCAPE 'c'), the
// character after it stands for itself, '%', '_' and the escape included; without
// one, no character escapes.
#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace sqda {

class LikePattern
{
public:
    explicit LikePattern(QStringView pattern, QChar escape = QChar());

    // An escape character that ends the pattern has nothing to escape: the
    // databases refuse such a pattern, and so does the filter.
    static bool endsInLoneEscape(QStringView pattern, QChar escape);

    bool matches(QStringView text) const;
    // '%x%' with one code unit x: filters test it with a plain scan.
    bool isContainsUnit(char16_t *unit) const
    {
        if (m_shape != Shape::Contains || m_literal.size() != 1)
            return false;
        *unit = m_literal.front().unicode();
        return true;
    }

private:
    // A run of the pattern between two '%': literal units, with '_' as a wildcard.
    struct Segment
    {
        QString units;
        std::vector<bool> any; // per unit: a '_' wildcard; empty when there is none
        bool hasAny = false; // holds a '_' wildcard
    };
    enum class Shape : quint8 { Exact, Prefix, Suffix, Contains, General };

    static bool matchAt(const Segment &s, QStringView text, qsizetype at, qsizetype *end);

    Shape m_shape = Shape::General;
    bool m_anchoredStart = true; // no leading '%'
    bool m_anchoredEnd = true; // no trailing '%'
    std::vector<Segment> m_segments;
    QString m_literal; // Exact/Prefix/Suffix/Contains: the one literal
};

} // namespace sqda

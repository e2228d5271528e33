// A LIKE pattern compiled once: '%' stands for any run of characters (also none),
// '_' for exactly one character; every other character stands for itself, compared
// exactly (case matters). There is no escape character.
#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace sqda {

class LikePattern
{
public:
    explicit LikePattern(QStringView pattern);

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
        bool hasAny = false; // holds '_'
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

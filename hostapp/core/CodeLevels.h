// A department's code-level structure and what it says about trade-area codes.
//
// The structure is a text with one digit per level giving the length of that
// level's part of a code: "2223" means codes of 2, 4, 6 or 9 characters, levels
// 1 to 4, and the parent of a code is its prefix of the previous level's length.
#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace kalmora {

class CodeLevels
{
public:
    // Each character must be a digit 1 to 9; an empty text is refused too.
    static std::optional<CodeLevels> parse(const QString &text, QString *error = nullptr);

    QString text() const { return m_text; }
    int levelCount() const { return int(m_lengths.size()); }
    // Cumulative code lengths by level: "2223" gives 2, 4, 6, 9.
    QList<int> codeLengths() const { return m_lengths; }

    // What a code is under this structure: its level and its parent's code, or
    // why it cannot be a code of this department.
    struct Shape
    {
        int level = 0; // 0: not a valid code
        QString parentCode; // empty for level 1
        QString error;
        bool isValid() const { return level > 0; }
    };
    Shape shapeOf(const QString &code) const;

private:
    QString m_text;
    QList<int> m_lengths;
};

} // namespace kalmora

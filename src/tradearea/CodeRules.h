// The rules on trade-area codes and node texts that the screen applies itself;
// everything else about a code (level structure, parent, uniqueness) the host
// decides when the area is saved.
#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

namespace sqda::CodeRules {

// The text of the tree's fixed root node, which stands for no row.
inline const QString RootText = QStringLiteral("商圈档案");

// A node's text: the code, one space, the name, both exactly as given. The
// node carries the code besides (TAreaTree::CodeRole); nothing reads it back
// out of the text.
QString nodeText(QStringView code, QStringView name);

// What is wrong with a new area's code and name before the host is asked.
enum class NewAreaProblem { None, CodeEmpty, CodeOneCharacter, NameEmpty };
// Code and name as typed; both are judged trimmed.
NewAreaProblem checkNewArea(const QString &code, const QString &name);
// The warning for a problem (empty for None).
QString problemMessage(NewAreaProblem problem);

// A character typed into the code edit is kept only when this is true: the
// digits, Backspace, Enter and "(".
bool isCodeCharacterAccepted(QChar c);

// The department's level structure as the screen shows it: each character in
// brackets, joined by "-" ("2223" -> "[2]-[2]-[2]-[3]").
QString formatCodeLevels(QStringView levels);

} // namespace sqda::CodeRules

// The department's trade areas out to a file: a spreadsheet or CSV text, in
// tree order (every area after its parent), one row per area with its code,
// name, level and leaf flag under a header row. The spreadsheet carries the
// department code and the code-level text above the table; CSV carries them in
// a first line that the import passes over (it looks for the header row).
//
// Both files appear complete or not at all. Codes stay text in the spreadsheet:
// "0101" never becomes the number 101.
#pragma once

#include "core/Result.h"

#include <QString>

#include <functional>
#include <vector>

namespace sqda {

class DataStore;

struct AreaLine
{
    QString code;
    QString name;
    int level = 0;
    bool leaf = false;
    int depth = 0; // 1 for a node under the root, as the tree shows it
};

struct AreaSheet
{
    QString department;
    QString codeLevels; // as the screen shows them: "[2]-[2]-[2]-[3]"
    std::vector<AreaLine> areas; // tree order
};

namespace AreaExport {

// The header row's column titles, which the import finds its columns by.
inline const QString CodeTitle = QStringLiteral("商圈编码");
inline const QString NameTitle = QStringLiteral("商圈名称");
inline const QString LevelTitle = QStringLiteral("级别");
inline const QString LeafTitle = QStringLiteral("末级");

// The rows of a tree load in the order the tree shows them: the areas under
// the root depth first, then any placed beside the root, then rows the tree
// does not show (a level outside 1 to 12). Fails as the tree load would.
Result<std::vector<AreaLine>> linesInTreeOrder(const DataStore &store);

// `progress(done, total)` every few thousand rows and at the end; returning
// false cancels, reported as an error, and no file is left behind.
using Progress = std::function<bool(int, int)>;
Status writeCsv(const AreaSheet &sheet, const QString &path, const Progress &progress = {});
Status writeXlsx(const AreaSheet &sheet, const QString &path, const Progress &progress = {});

// One CSV field, quoted when it holds a comma, a quote, a line break or
// spaces at either end (RFC 4180).
QString csvField(const QString &text);

} // namespace AreaExport

} // namespace sqda

// A saved query: the whole state of the listing under a name — the search and
// filter conditions as confirmed, the sort marks in marking order, the column
// layout, whether the condition panel shows, and whether it runs when the
// screen opens. It reads and writes itself as one line of a settings file:
//
//     SQ1 {"name":…,"search":[…],"filter":[…],"sort":[…],"columns":[…],"panel":…,"autorun":…,"used":…}
//
// "SQ" and the format's version, one blank, then a compact JSON object (see
// query-screen.md). Reading checks everything a damaged line could break and
// names the fault in Chinese; nothing here touches a file or a widget.
#pragma once

#include "WhereTextBuilder.h"

#include "core/Result.h"

#include <QList>
#include <QString>

namespace sqda {

struct SavedSortMark
{
    QString field;
    bool ascending = false; // the title mark "up"; false is "down"
    bool operator==(const SavedSortMark &) const = default;
};

struct SavedColumn
{
    QString field;
    bool visible = true;
    int width = 64;
    bool operator==(const SavedColumn &) const = default;
};

struct SavedQuery
{
    QString name;
    LogicRows search; // QueryConditions
    LogicRows filter; // FilterConditions
    QList<SavedSortMark> sortMarks; // in marking order
    QList<SavedColumn> columns; // in column order
    bool panelShown = false;
    bool autoRun = false;
    // Orders the menu, most recent first: a stamp above every other query's
    // when the query is saved or run; 0 for never.
    qint64 lastUsed = 0;

    bool operator==(const SavedQuery &) const = default;

    static constexpr int Version = 1;
    static constexpr int MaxNameLength = 40; // characters
    // A longer line is taken as damaged without being parsed: no listing state
    // comes near it, and a runaway value must not cost the screen its start.
    static constexpr qsizetype MaxLineLength = 256 * 1024;
    static constexpr int MaxWidth = 8192; // as the column layout

    // The name rules: not empty after trimming, at most 40 characters, no
    // control characters, valid text. The message says which rule failed.
    static Status checkName(const QString &name);

    QString toLine() const;
    static Result<SavedQuery> fromLine(const QString &line);
};

} // namespace sqda

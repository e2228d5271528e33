// The saved queries of one workstation: a section of the settings file, one key
// per query ("Q1", "Q2", …, in the manager's order), the query's line as value.
//
// Every change reads the file afresh and writes it back under the settings
// writers' lock (UpdateIniFile), so two screens sharing the file never drop
// each other's changes, and the rest of the file keeps its bytes. A query is
// found again by its line, not by its key alone: another screen may have moved
// it meanwhile. A line that cannot be read stays an entry of its own, shown as
// damaged, which can be deleted; it never hides the others.
#pragma once

#include "SavedQuery.h"

#include "core/Result.h"
#include "env/IniFile.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace sqda {

class SavedQueryStore
{
public:
    SavedQueryStore(QString fileName, QString section, QString directory = QString());

    struct Entry
    {
        QString key;
        QString line; // as stored
        std::optional<SavedQuery> query; // empty: damaged
        QString damage; // why it could not be read
    };

    // In the manager's order (the file's).
    QList<Entry> entries() const;
    // The readable queries, most recently used first; never-used ones after
    // them, in the manager's order.
    static QList<Entry> menuOrder(const QList<Entry> &entries);
    static const Entry *findName(const QList<Entry> &entries, const QString &name);

    // Adds the query, or replaces the one of the same name, and makes it the
    // most recent. Keeps the auto-run flag unique. Answers the query's key.
    Result<QString> save(SavedQuery query);
    Status remove(const Entry &entry);
    Status rename(const Entry &entry, const QString &newName);
    // Swaps the entry with its neighbour (-1 up, +1 down); answers its new key.
    Result<QString> move(const Entry &entry, int step);
    // Turns the entry's auto-run flag on (every other one off) or off.
    Status setAutoRun(const Entry &entry, bool on);
    // Makes the entry the most recent.
    Status markUsed(const Entry &entry);

    // The auto-run query, if a readable one carries the flag (the first, should
    // a hand-edited file hold several).
    static std::optional<SavedQuery> autoRunQuery(const QList<Entry> &entries);

private:
    Status update(const std::function<Status(QList<Entry> &entries, IniFile &ini)> &edit);
    static QList<Entry> read(const IniFile &ini, const QString &section);
    Status write(IniFile &ini, const QString &key, const SavedQuery &query) const;

    QString m_fileName;
    QString m_section;
    QString m_directory;
};

} // namespace sqda

// The editing state that every open maintenance screen shares: a load or an add
// in one screen changes what save, delete and rename do in another.
#pragma once

#include <QString>

namespace sqda {

struct MaintenanceState
{
    static inline const QString Adding = QStringLiteral("yes");
    static inline const QString Showing = QStringLiteral("no");

    // "yes" while the edits take a new area, "no" while they show the selected
    // area's row. Empty (the value at library load) counts as adding.
    QString EditState;
    // The code or name edit changed since the last load, clear, save or rename.
    bool AreaModified = false;
    // The text of the last locate; F3 searches for it again.
    QString LocateText;

    bool isShowing() const { return EditState == Showing; }
    bool isAdding() const { return !isShowing(); }

    // Back to the values at library load (tests start from here).
    void reset() { *this = MaintenanceState(); }
};

MaintenanceState &maintenanceState();

} // namespace sqda

// The saved queries on the query screen: the listing's context menu (right
// click on rows or titles, the Menu key, Shift+F10) with "保存为查询方案…", one
// item per saved query and "管理查询方案…", and what those items do. Running a
// query goes through the screen's own search, then the grid's filter, layout
// and sort marks; the screen itself only creates this and starts the auto-run
// query when it opens.
#pragma once

#include "SavedQueryStore.h"
#include "TAdvDBGridEh.h"

#include <QMenu>
#include <QObject>
#include <QPointer>

#include <functional>

class QPoint;

namespace sqda {

class TfrmQuery;

class SavedQueryActions : public QObject
{
    Q_OBJECT
public:
    explicit SavedQueryActions(TfrmQuery *screen); // a child of the screen

    static QString section() { return QStringLiteral("SqSavedQueries"); }
    // At most this many queries stand in the menu, the most recent; the
    // manager lists and runs them all.
    static constexpr int MenuLimit = 20;

    SavedQueryStore store() const;

    // Opens the context menu at `globalPos` (refused during a host call).
    void showMenu(const QPoint &globalPos);
    QMenu *menu() const { return m_menu; } // the one open, if any

    // The menu's items. Each is a user action of the screen.
    void saveCurrent();
    void manage();
    // Runs the query; false when it did not run (the screen may be gone).
    bool run(const SavedQuery &query);
    void runEntry(const SavedQueryStore::Entry &entry);
    // The query marked to run when the screen opens, if there is one.
    void runAutoRunQuery();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void userAction(const std::function<void()> &action);

    TfrmQuery *m_screen; // the parent
    QPointer<TAdvDBGridEh> m_grid; // may outlive the screen for a while
    QPointer<QMenu> m_menu;
    bool m_autoRunDone = false; // once per screen, at its first showing
};

} // namespace sqda

// "管理查询方案…": the saved queries in a small themed dialog, with run,
// rename, delete (asked first), move up and down, and the auto-run tick
// "打开画面时自动执行" (at most one query carries it). Every change goes to
// the settings file at once; the list is read again after each, so changes
// another screen made meanwhile show too. A damaged query is listed as such
// and can only be deleted.
//
// Keys on the list: Enter runs, Delete deletes, F2 renames, Ctrl+Up and
// Ctrl+Down move, Space ticks auto-run, Esc closes; Alt with a button's
// letter presses it.
#pragma once

#include "SavedQueryStore.h"

#include "ui/FlatDialogForm.h"

#include <optional>

class QCheckBox;
class QLabel;
class QListWidget;

namespace sqda {

class FlatButton;

class TFrmSavedQueries : public FlatDialogForm
{
    Q_OBJECT
public:
    explicit TFrmSavedQueries(SavedQueryStore store, QWidget *owner);

    // Shows the dialog modally; answers the query chosen to run, if any.
    static std::optional<SavedQueryStore::Entry> Manage(const SavedQueryStore &store);

    QListWidget *lstQueries;
    QCheckBox *chkAutoRun;
    QLabel *lblDamage; // why the current query cannot be read
    FlatButton *btnRun;
    FlatButton *btnRename;
    FlatButton *btnDelete;
    FlatButton *btnUp;
    FlatButton *btnDown;
    FlatButton *btnClose;

    void runClick();
    void renameClick();
    void deleteClick();
    void moveClick(int step);
    void autoRunClick();

    const QList<SavedQueryStore::Entry> &entries() const { return m_entries; }
    std::optional<SavedQueryStore::Entry> chosen() const { return m_chosen; }

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void reload(const QString &selectKey);
    void updateCurrent();
    const SavedQueryStore::Entry *current() const;
    // Shows the failure; true when the change was made.
    bool report(const Status &status);

    SavedQueryStore m_store;
    QList<SavedQueryStore::Entry> m_entries;
    std::optional<SavedQueryStore::Entry> m_chosen;
    bool m_updating = false;
};

} // namespace sqda

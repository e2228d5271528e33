#include "SavedQueryActions.h"

#include "SavedQueryGrid.h"
#include "TAdvDBGridEh.h"
#include "TFrmSavedQueries.h"
#include "TfrmQuery.h"

#include "host/HostGuard.h"
#include "host/ScreenFonts.h"
#include "host/ShowHostError.h"
#include "ui/DialogState.h"
#include "ui/FlatDialog.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QTextEdit>

namespace sqda {

namespace {

// The screen's colours: light-yellow face, green selection with white text.
const QString MenuStyle = QStringLiteral("QMenu { background: #fbfede; border: 1px solid #008000; padding: 2px; }"
                                         "QMenu::item { padding: 4px 20px 4px 12px; color: black; }"
                                         "QMenu::item:selected { background: #008000; color: white; }"
                                         "QMenu::item:disabled { color: #808080; }"
                                         "QMenu::separator { height: 1px; background: #008000; margin: 2px 4px; }");

QString menuText(const QString &name)
{
    QString t = name;
    return t.replace(QLatin1Char('&'), QStringLiteral("&&")); // shown as typed
}

} // namespace

SavedQueryActions::SavedQueryActions(TfrmQuery *screen)
    : QObject(screen)
    , m_screen(screen)
{
    setObjectName(QStringLiteral("SavedQueries"));
    TAdvDBGridEh *grid = screen->dgdView;
    m_grid = grid;
    grid->installEventFilter(this);
    grid->viewport()->installEventFilter(this);
    grid->horizontalHeader()->viewport()->installEventFilter(this);
}

SavedQueryStore SavedQueryActions::store() const
{
    return SavedQueryStore(TfrmQuery::layoutFile(), section(), QString());
}

void SavedQueryActions::userAction(const std::function<void()> &action)
{
    m_screen->userAction(action);
}

bool SavedQueryActions::eventFilter(QObject *watched, QEvent *event)
{
    // The grid's events keep coming while the screen is being destroyed and
    // this, its child, is not yet: nothing but the two requests touches it.
    if (event->type() != QEvent::ContextMenu && event->type() != QEvent::KeyPress)
        return false;
    TAdvDBGridEh *grid = m_grid;
    if (!grid)
        return false;
    // Below the current row's first cell, or at the top of the rows.
    const auto atCell = [grid] {
        QRect cell = grid->visualRect(grid->currentIndex());
        if (!cell.isValid())
            cell = QRect(0, 0, 1, 1);
        return grid->viewport()->mapToGlobal(cell.bottomLeft());
    };
    if (event->type() == QEvent::ContextMenu) {
        const auto *request = static_cast<QContextMenuEvent *>(event);
        showMenu(request->reason() == QContextMenuEvent::Keyboard ? atCell() : request->globalPos());
        return true;
    }
    if (event->type() == QEvent::KeyPress && watched == grid) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool menuKey = key->key() == Qt::Key_Menu && !(key->modifiers() & ~Qt::KeypadModifier);
        const bool shiftF10 = key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier;
        if (menuKey || shiftF10) {
            showMenu(atCell());
            return true;
        }
    }
    return false;
}

void SavedQueryActions::showMenu(const QPoint &globalPos)
{
    if (m_screen->hostCallInFlight() || m_menu)
        return;
    // A child of the screen, which may go while it is up and takes it along.
    auto *menu = new QMenu(m_screen);
    menu->setObjectName(QStringLiteral("SavedQueryMenu"));
    // Gone once closed; its item runs after the menu's own key or click is over,
    // so a screen the action destroys never takes the menu down under it.
    connect(menu, &QMenu::aboutToHide, this, [this, menu] {
        m_menu.clear();
        menu->deleteLater();
    });
    menu->setStyleSheet(MenuStyle);
    menu->setFont(songTi9());
    m_menu = menu;

    connect(
        menu->addAction(QStringLiteral("保存为查询方案…")), &QAction::triggered, this,
        [this] { userAction([this] { saveCurrent(); }); }, Qt::QueuedConnection);
    const QList<SavedQueryStore::Entry> queries = SavedQueryStore::menuOrder(store().entries());
    if (!queries.isEmpty())
        menu->addSeparator();
    for (qsizetype i = 0; i < queries.size() && i < MenuLimit; ++i) {
        const SavedQueryStore::Entry entry = queries.at(i);
        QAction *item = menu->addAction(menuText(entry.query->name));
        item->setObjectName(QStringLiteral("SavedQuery%1").arg(i));
        connect(
            item, &QAction::triggered, this, [this, entry] { userAction([this, entry] { runEntry(entry); }); },
            Qt::QueuedConnection);
    }
    menu->addSeparator();
    connect(
        menu->addAction(QStringLiteral("管理查询方案…")), &QAction::triggered, this,
        [this] { userAction([this] { manage(); }); }, Qt::QueuedConnection);
    menu->popup(globalPos);
}

void SavedQueryActions::saveCurrent()
{
    const QPointer<TfrmQuery> screen(m_screen);
    SavedQuery query = captureGridState(*m_screen->dgdView);
    query.panelShown = m_screen->conditionPanelShown();
    SavedQueryStore store = this->store();
    QString name;
    for (;;) {
        const bool confirmed = QueryFlatText(QStringLiteral("保存为查询方案"), QStringLiteral("查询方案名称:"), name);
        if (!screen || !confirmed)
            return;
        name = name.trimmed();
        if (const Status ok = SavedQuery::checkName(name); !ok) {
            ShowFlatMessage(ok.error(), MessageKind::Warning, buttonBit(DialogButton::OK));
            if (!screen)
                return;
            continue;
        }
        if (SavedQueryStore::findName(store.entries(), name)) {
            const int answer = ShowFlatMessage(QStringLiteral("已有名为“%1”的查询方案，要替换它吗？").arg(name),
                MessageKind::Confirmation, buttonBit(DialogButton::Yes) | buttonBit(DialogButton::No));
            if (!screen)
                return;
            if (answer != ResultYes)
                continue;
        }
        break;
    }
    query.name = name;
    if (const Result<QString> saved = store.save(query); !saved)
        ShowFlatMessage(saved.error(), MessageKind::Error, buttonBit(DialogButton::OK));
}

void SavedQueryActions::manage()
{
    const QPointer<TfrmQuery> screen(m_screen);
    const std::optional<SavedQueryStore::Entry> chosen = TFrmSavedQueries::Manage(store());
    if (screen && chosen)
        runEntry(*chosen);
}

void SavedQueryActions::runEntry(const SavedQueryStore::Entry &entry)
{
    if (!entry.query)
        return;
    const QPointer<SavedQueryActions> self(this);
    if (!run(*entry.query) || !self)
        return;
    // Only the menu's order depends on it; a settings file that cannot be
    // written must not turn every run into an error box.
    if (const Status used = store().markUsed(entry); !used)
        qWarning("saved query not marked as used: %s", qPrintable(used.error()));
}

void SavedQueryActions::runAutoRunQuery()
{
    if (m_screen->CloseOnShow || m_autoRunDone)
        return;
    m_autoRunDone = true;
    const QList<SavedQueryStore::Entry> entries = store().entries();
    for (const SavedQueryStore::Entry &e : entries) {
        if (e.query && e.query->autoRun) {
            runEntry(e);
            return;
        }
    }
}

bool SavedQueryActions::run(const SavedQuery &query)
{
    TfrmQuery *screen = m_screen;
    const QPointer<TfrmQuery> alive(screen);
    TAdvDBGridEh *grid = screen->dgdView;
    // Conditions on a field the listing lacks would build another query.
    Status usable = checkConditionFields(*grid, query.search);
    if (usable)
        usable = checkConditionFields(*grid, query.filter);
    const Result<QString> where
        = usable ? searchWhereText(*grid, query.search) : Result<QString>(Error { usable.error() });
    if (!where) {
        showHostErrorText(screen, QStringLiteral("查询方案“%1”不能执行：%2").arg(query.name, where.error()));
        return false;
    }

    // The search as "重  查" runs it after its dialog. The conditions are the
    // grid's while it runs (the condition panel describes them); a search that
    // fails leaves the previous ones.
    const LogicRows previous = grid->QueryConditions;
    grid->QueryConditions = query.search;
    const bool searched = screen->runSearch(*where);
    if (!alive)
        return false;
    if (!searched) {
        grid->QueryConditions = previous;
        return false;
    }

    if (const Status filtered = applyFilterConditions(*grid, query.filter); !filtered)
        showHostErrorText(screen, filtered.error());
    if (!alive)
        return false;
    applyColumnLayout(*grid, query.columns);
    applySortMarks(*grid, query.sortMarks);
    screen->showCount();
    screen->showConditions();
    if (screen->MemoCondition->isHidden() == query.panelShown)
        screen->btnShowClick();
    return true;
}

} // namespace sqda

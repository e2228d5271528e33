#include "TFrmSavedQueries.h"

#include "host/HostContext.h"
#include "host/ScreenFonts.h"
#include "ui/DialogState.h"
#include "ui/FlatButton.h"
#include "ui/FlatDialog.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPointer>

namespace sqda {

namespace {

constexpr int KeyRole = Qt::UserRole;

QString itemText(const SavedQueryStore::Entry &e)
{
    if (!e.query)
        return QStringLiteral("（已损坏）") + e.key;
    return e.query->autoRun ? e.query->name + QStringLiteral("（自动执行）") : e.query->name;
}

} // namespace

TFrmSavedQueries::TFrmSavedQueries(SavedQueryStore store, QWidget *owner)
    : FlatDialogForm(owner)
    , m_store(std::move(store))
{
    setObjectName(QStringLiteral("frmSavedQueries"));
    setBackColor(dialogState().DialogBackColor);
    setWindowTitle(QStringLiteral("管理查询方案"));
    setFont(songTi9());
    setFixedClientSize(QSize(372, 292));
    centreOnScreen();

    auto *caption = new QLabel(QStringLiteral("查询方案:"), this);
    caption->setFont(songTi9());
    caption->setGeometry(10, 8, 260, 16);

    lstQueries = new QListWidget(this);
    lstQueries->setObjectName(QStringLiteral("lstQueries"));
    lstQueries->setFont(songTi9());
    lstQueries->setGeometry(10, 28, 260, 200);
    lstQueries->setUniformItemSizes(true); // thousands of queries list at once
    QPalette pal = lstQueries->palette(); // the query screen's green selection
    pal.setColor(QPalette::Highlight, QColor(0, 128, 0));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    lstQueries->setPalette(pal);
    handleKeysOf(lstQueries);
    lstQueries->installEventFilter(this);

    chkAutoRun = new QCheckBox(QStringLiteral("打开画面时自动执行"), this);
    chkAutoRun->setObjectName(QStringLiteral("chkAutoRun"));
    chkAutoRun->setFont(songTi9());
    chkAutoRun->setGeometry(10, 236, 260, 20);

    lblDamage = new QLabel(this);
    lblDamage->setObjectName(QStringLiteral("lblDamage"));
    lblDamage->setFont(songTi9());
    lblDamage->setTextFormat(Qt::PlainText);
    lblDamage->setWordWrap(true);
    lblDamage->setGeometry(10, 258, 352, 30);
    lblDamage->setStyleSheet(QStringLiteral("color: #c00000;"));

    const QColor line = colorFromBgr(dialogState().DialogLineColor);
    const auto button = [&](const char *name, const QString &text, int row) {
        FlatButton *b = addFlatButton(text, 0, QRect(282, 28 + row * 30, 80, 24), line);
        b->setObjectName(QString::fromLatin1(name));
        b->setFont(songTi9());
        return b;
    };
    btnRun = button("btnRun", QStringLiteral("执行(&E)"), 0);
    btnRename = button("btnRename", QStringLiteral("改名(&R)"), 1);
    btnDelete = button("btnDelete", QStringLiteral("删除(&D)"), 2);
    btnUp = button("btnUp", QStringLiteral("上移(&U)"), 3);
    btnDown = button("btnDown", QStringLiteral("下移(&N)"), 4);
    btnClose = addFlatButton(QStringLiteral("关闭(&C)"), ResultCancel, QRect(282, 204, 80, 24), line);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setFont(songTi9());

    connect(btnRun, &QAbstractButton::clicked, this, &TFrmSavedQueries::runClick);
    connect(btnRename, &QAbstractButton::clicked, this, &TFrmSavedQueries::renameClick);
    connect(btnDelete, &QAbstractButton::clicked, this, &TFrmSavedQueries::deleteClick);
    connect(btnUp, &QAbstractButton::clicked, this, [this] { moveClick(-1); });
    connect(btnDown, &QAbstractButton::clicked, this, [this] { moveClick(1); });
    connect(chkAutoRun, &QCheckBox::clicked, this, &TFrmSavedQueries::autoRunClick);
    connect(lstQueries, &QListWidget::currentRowChanged, this, &TFrmSavedQueries::updateCurrent);
    connect(lstQueries, &QListWidget::itemDoubleClicked, this, &TFrmSavedQueries::runClick);

    onShow = [this] { lstQueries->setFocus(Qt::OtherFocusReason); };
    reload(QString());
}

std::optional<SavedQueryStore::Entry> TFrmSavedQueries::Manage(const SavedQueryStore &store)
{
    ensureLibraryInitialized();
    auto *form = new TFrmSavedQueries(store, ownerWindow());
    const QPointer<TFrmSavedQueries> alive(form);
    std::unique_ptr<QDialog> dialog(form);
    const int result = FlatDialogForm::execOwned(dialog);
    if (!alive || result != ResultOK)
        return std::nullopt;
    return form->chosen();
}

const SavedQueryStore::Entry *TFrmSavedQueries::current() const
{
    const int row = lstQueries->currentRow();
    return row >= 0 && row < m_entries.size() ? &m_entries.at(row) : nullptr;
}

void TFrmSavedQueries::reload(const QString &selectKey)
{
    const int previousRow = lstQueries->currentRow();
    m_entries = m_store.entries();
    m_updating = true;
    lstQueries->clear();
    int select = -1;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const SavedQueryStore::Entry &e = m_entries.at(i);
        auto *item = new QListWidgetItem(itemText(e));
        item->setData(KeyRole, e.key);
        if (!e.query) {
            item->setForeground(QColor(0xc0, 0, 0));
            item->setToolTip(e.damage);
        }
        lstQueries->addItem(item);
        if (e.key == selectKey)
            select = int(i);
    }
    if (select < 0 && !m_entries.isEmpty())
        select = std::clamp(previousRow, 0, int(m_entries.size()) - 1);
    lstQueries->setCurrentRow(select);
    m_updating = false;
    updateCurrent();
}

void TFrmSavedQueries::updateCurrent()
{
    if (m_updating)
        return;
    const SavedQueryStore::Entry *e = current();
    const bool readable = e && e->query;
    btnRun->setEnabled(readable);
    btnRename->setEnabled(readable);
    btnDelete->setEnabled(e);
    btnUp->setEnabled(e && lstQueries->currentRow() > 0);
    btnDown->setEnabled(e && lstQueries->currentRow() + 1 < lstQueries->count());
    chkAutoRun->setEnabled(readable);
    chkAutoRun->setChecked(readable && e->query->autoRun);
    lblDamage->setText(e && !e->query ? QStringLiteral("这个查询方案已损坏，只能删除：") + e->damage : QString());
}

bool TFrmSavedQueries::report(const Status &status)
{
    if (status)
        return true;
    const QPointer<TFrmSavedQueries> alive(this);
    ShowFlatMessage(status.error(), MessageKind::Error, buttonBit(DialogButton::OK));
    if (alive)
        reload(QString());
    return false;
}

void TFrmSavedQueries::runClick()
{
    const SavedQueryStore::Entry *e = current();
    if (!e || !e->query)
        return;
    m_chosen = *e;
    done(ResultOK);
}

void TFrmSavedQueries::renameClick()
{
    const SavedQueryStore::Entry *e = current();
    if (!e || !e->query)
        return;
    const SavedQueryStore::Entry entry = *e;
    const QPointer<TFrmSavedQueries> alive(this);
    QString name = entry.query->name;
    for (;;) {
        const bool confirmed = QueryFlatText(QStringLiteral("查询方案改名"), QStringLiteral("新的名称:"), name);
        if (!alive || !confirmed)
            return;
        const Status checked = SavedQuery::checkName(name);
        const Status renamed = checked ? m_store.rename(entry, name) : checked;
        if (renamed) {
            reload(entry.key);
            return;
        }
        ShowFlatMessage(renamed.error(), MessageKind::Warning, buttonBit(DialogButton::OK));
        if (!alive)
            return;
    }
}

void TFrmSavedQueries::deleteClick()
{
    const SavedQueryStore::Entry *e = current();
    if (!e)
        return;
    const SavedQueryStore::Entry entry = *e;
    const QPointer<TFrmSavedQueries> alive(this);
    const QString what
        = entry.query ? QStringLiteral("“%1”").arg(entry.query->name) : QStringLiteral("已损坏的 %1").arg(entry.key);
    const int answer = ShowFlatMessage(QStringLiteral("要删除查询方案%1吗？").arg(what), MessageKind::Confirmation,
        buttonBit(DialogButton::Yes) | buttonBit(DialogButton::No));
    if (!alive || answer != ResultYes)
        return;
    if (report(m_store.remove(entry)))
        reload(QString());
}

void TFrmSavedQueries::moveClick(int step)
{
    const SavedQueryStore::Entry *e = current();
    if (!e)
        return;
    const Result<QString> moved = m_store.move(*e, step);
    if (report(moved ? Status() : Status(Error { moved.error() })))
        reload(*moved);
}

void TFrmSavedQueries::autoRunClick()
{
    const SavedQueryStore::Entry *e = current();
    if (!e || !e->query)
        return;
    const SavedQueryStore::Entry entry = *e;
    if (report(m_store.setAutoRun(entry, !entry.query->autoRun)))
        reload(entry.key);
}

bool TFrmSavedQueries::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == lstQueries && e->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(e);
        const bool ctrl = key->modifiers() & Qt::ControlModifier;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            runClick();
            return true;
        }
        if (key->key() == Qt::Key_Delete) {
            deleteClick();
            return true;
        }
        if (key->key() == Qt::Key_F2) {
            renameClick();
            return true;
        }
        if (key->key() == Qt::Key_Space) {
            autoRunClick();
            return true;
        }
        if (ctrl && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            moveClick(key->key() == Qt::Key_Up ? -1 : 1);
            return true;
        }
    }
    return FlatDialogForm::eventFilter(watched, e);
}

} // namespace sqda

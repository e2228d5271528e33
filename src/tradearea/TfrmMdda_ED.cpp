#include "TfrmMdda_ED.h"

#include "AreaChanges.h"
#include "AreaSql.h"
#include "AreaTreeMenu.h"
#include "CodeRules.h"
#include "MaintenanceState.h"
#include "TAreaTree.h"
#include "ToolImages.h"
#include "TradeArea.h"
#include "TradeAreaTreeBuilder.h"

#include "data/ClientDataSet.h"
#include "data/Packet.h"
#include "data/PinyinKeys.h"
#include "env/ScreenEnvironment.h"
#include "host/CoorDisp.h"
#include "host/HostContext.h"
#include "host/HostGuard.h"
#include "host/LibraryWindows.h"
#include "host/ScreenFonts.h"
#include "host/ShowHostError.h"
#include "ui/DialogState.h"
#include "ui/FlatDialog.h"
#include "ui/ShortcutHelp.h"
#include "ui/TRopWin.h"
#include "ui/ToolBarItems.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>

namespace sqda {

namespace {

const QColor PanelGreen = colorFromBgr(32768); // caption strips, edit borders, splitter
const QColor PanelFace = colorFromBgr(14614267); // tree and edit panel background

// The screen's messages in the platform's plain message box, owned by the
// screen: they go with it, and the caller checks that it is still there.
void warn(QWidget *owner, const QString &text)
{
    showMessageBox(owner, QMessageBox::Warning, QStringLiteral("警告"), text);
}

bool askYes(QWidget *owner, const QString &text)
{
    return showMessageBox(
               owner, QMessageBox::Information, QStringLiteral("提示"), text, QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes;
}

void flatWarning(const QString &text)
{
    ShowFlatMessage(text, MessageKind::Warning, buttonBit(DialogButton::OK), 0);
}

// The splitter paints its handle itself: a style sheet on it would cascade to the
// panels below and override their palettes (green strips, red labels, panel face).
class FlatSplitter : public QSplitter
{
public:
    using QSplitter::QSplitter;

protected:
    QSplitterHandle *createHandle() override { return new Handle(orientation(), this); }

private:
    class Handle : public QSplitterHandle
    {
    public:
        using QSplitterHandle::QSplitterHandle;

    protected:
        void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), PanelGreen); }
    };
};

// Every row as high as given, whatever its font asks for.
class FixedHeightDelegate : public QStyledItemDelegate
{
public:
    FixedHeightDelegate(int height, QObject *parent)
        : QStyledItemDelegate(parent)
        , m_height(height)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return { QStyledItemDelegate::sizeHint(option, index).width(), m_height };
    }

private:
    int m_height;
};

QLabel *captionStrip(QWidget *parent, const char *name, const QString &caption)
{
    auto *strip = new QLabel(caption, parent);
    strip->setObjectName(QLatin1String(name));
    strip->setAlignment(Qt::AlignCenter);
    strip->setAutoFillBackground(true);
    strip->setFont(songTi9());
    QPalette pal = strip->palette();
    pal.setColor(QPalette::Window, PanelGreen);
    pal.setColor(QPalette::WindowText, Qt::white);
    strip->setPalette(pal);
    strip->setFixedHeight(18);
    return strip;
}

QLineEdit *flatEdit(QWidget *parent, const char *name, const QRect &geometry, int maxLength)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(geometry);
    edit->setMaxLength(maxLength);
    edit->setFrame(false);
    edit->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid %1; background: palette(base); padding: 0 1px; }")
                            .arg(PanelGreen.name()));
    return edit;
}

QLabel *plainLabel(QWidget *parent, const char *name, const QString &text, const QPoint &pos)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->move(pos);
    label->adjustSize();
    return label;
}

QLabel *redLabel(QWidget *parent, const char *name, const QString &text, const QPoint &pos)
{
    QLabel *label = plainLabel(parent, name, text, pos);
    label->setFont(songTi9());
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, Qt::red);
    label->setPalette(pal);
    return label;
}

} // namespace

TfrmMdda_ED::TfrmMdda_ED(QWidget *parentControl)
    : TFrmBase(parentControl)
{
    setObjectName(QStringLiteral("frmMdda_ED"));
    resize(823, 538);
    PanelMain->setGeometry(0, 0, 824, 540);

    ImgListTool = makeToolImages();
    cds = new ClientDataSet(this);
    cds->setObjectName(QStringLiteral("cds"));
    cds->createDataSet(TradeArea::fieldDefs());
    RopHelp = new TRopWin(this);
    RopHelp->setObjectName(QStringLiteral("RopHelp"));
    setupMaintenanceHelp(*RopHelp);

    buildToolBar();
    FlatSplitter1 = new FlatSplitter(Qt::Horizontal, PanelMain);
    FlatSplitter1->setObjectName(QStringLiteral("FlatSplitter1"));
    FlatSplitter1->setHandleWidth(1);
    FlatSplitter1->setChildrenCollapsible(false);
    buildTreePanel();
    buildEditPanel();
    FlatSplitter1->addWidget(Panel1);
    FlatSplitter1->addWidget(Panel2);
    FlatSplitter1->setStretchFactor(0, 0);
    FlatSplitter1->setStretchFactor(1, 1);
    FlatSplitter1->setSizes({ 185, 638 });

    auto *layout = new QVBoxLayout(PanelMain);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar1);
    layout->addWidget(FlatSplitter1, 1);

    setTabOrder(TN, edtBm);
    setTabOrder(edtBm, edtName);

    connect(TN, &TAreaTree::TNChange, this, [this] { userAction([this] { TNChange(); }); });
    connect(TN, &TAreaTree::TNClick, this, [this] { userAction([this] { TNClick(); }); });
    connect(edtBm, &QLineEdit::textChanged, this, [] { maintenanceState().AreaModified = true; });
    connect(edtName, &QLineEdit::textChanged, this, [] { maintenanceState().AreaModified = true; });
    edtBm->installEventFilter(this);
    Panel2->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, &TfrmMdda_ED::onFocusChanged);

    pmnuTree = new AreaTreeMenu(this, TN, hostGate(),
        { [this] { return department(); }, [this] { return SysInfo.OperatorName; },
            [this] {
                // After an import: one reload, the selection kept where its area still is.
                const QString code = TAreaTree::codeOf(TN->selectedNode());
                const QPointer<TfrmMdda_ED> self(this);
                LoadAreaTree();
                if (self && !code.isEmpty())
                    if (QTreeWidgetItem *node = TN->findNodeCode(code))
                        TN->selectNode(node);
            } });

    // This screen's creation replaces the base creation step: the library's
    // owner window is left as the entry call set it.
    FormCreate();
}

TfrmMdda_ED::~TfrmMdda_ED()
{
    // The children go after this destructor; no focus change or key may reach
    // the half-destroyed screen meanwhile. The base keeps the controls while
    // one of the screen's actions or calls still runs; their connections to
    // this screen end with it.
    disconnect(qApp, nullptr, this, nullptr);
    removeKeyPreview();
}

void TfrmMdda_ED::removeKeyPreview()
{
    sqda::removeKeyPreview(m_keyPreview);
}

// Layout --------------------------------------------------------------------

void TfrmMdda_ED::buildToolBar()
{
    ToolBar1 = new QFrame(PanelMain);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFixedHeight(35);
    ToolBar1->setMinimumWidth(497); // its buttons

    btnExpand = addToolButton("btnExpand", QStringLiteral("展  开"), 0, 0, &TfrmMdda_ED::btnExpandClick);
    btnCollapse = addToolButton("btnCollapse", QStringLiteral("收  缩"), 43, 1, &TfrmMdda_ED::btnCollapseClick);
    ToolButton3 = addSeparator("ToolButton3", 86);
    ToolButton4 = addToolButton("ToolButton4", QStringLiteral("向  上"), 94, 2, &TfrmMdda_ED::ToolButton4Click);
    ToolButton5 = addToolButton("ToolButton5", QStringLiteral("向  下"), 137, 3, &TfrmMdda_ED::ToolButton5Click);
    ToolButton7 = addSeparator("ToolButton7", 180);
    btnAdd = addToolButton("btnAdd", QStringLiteral("增  加"), 188, 4, &TfrmMdda_ED::btnAddClick);
    btnDelete = addToolButton("btnDelete", QStringLiteral("删  除"), 231, 5, &TfrmMdda_ED::btnDeleteClick);
    btnSave = addToolButton("btnSave", QStringLiteral("存  盘"), 274, 6, &TfrmMdda_ED::btnSaveClick);
    btnReflash = addToolButton("btnReflash", QStringLiteral("刷  新"), 317, 7, &TfrmMdda_ED::btnReflashClick);
    btnLocate = addToolButton("btnLocate", QStringLiteral("定  位"), 360, 14, &TfrmMdda_ED::btnLocateClick);
    ToolButton12 = addSeparator("ToolButton12", 403);
    btnHelp = addToolButton("btnHelp", QStringLiteral("助  手"), 411, 15, &TfrmMdda_ED::btnHelpClick);
    btnExit = addToolButton("btnExit", QStringLiteral("退  出"), 454, 10, &TfrmMdda_ED::btnExitClick);
}

QToolButton *TfrmMdda_ED::addToolButton(
    const char *name, const QString &caption, int x, int image, void (TfrmMdda_ED::*handler)())
{
    QToolButton *button = makeToolButton(ToolBar1, name, caption, ImgListTool.value(image), QRect(x, 0, 43, 35));
    connect(
        button, &QToolButton::clicked, this, [this, handler] { userAction([this, handler] { (this->*handler)(); }); });
    return button;
}

QFrame *TfrmMdda_ED::addSeparator(const char *name, int x)
{
    return makeToolSeparator(ToolBar1, name, QRect(x, 4, 8, 27));
}

void TfrmMdda_ED::buildTreePanel()
{
    // Created inside the splitter, so its children take the form's font: a
    // widget styled while it has no parent keeps the default font for good.
    Panel1 = new QFrame(FlatSplitter1);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    Panel3 = captionStrip(Panel1, "Panel3", QStringLiteral("商圈编码和名称"));

    TN = new TAreaTree(Panel1);
    TN->setFrameShape(QFrame::NoFrame);
    TN->setFocusPolicy(Qt::StrongFocus);
    TN->setToolTipDuration(0);
    QPalette pal = TN->palette();
    pal.setColor(QPalette::Base, PanelFace);
    // The selection stays visible when the tree loses the focus.
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    TN->setPalette(pal);
    // Rows 14 pixels high, through the delegate: a style sheet on the tree
    // would route every row's painting through the style sheet machinery.
    TN->setItemDelegate(new FixedHeightDelegate(14, TN));

    auto *layout = new QVBoxLayout(Panel1);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel3);
    layout->addWidget(TN, 1);
}

void TfrmMdda_ED::buildEditPanel()
{
    Panel2 = new QFrame(FlatSplitter1); // in its place before the edits are styled, as Panel1
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameShape(QFrame::NoFrame);
    Panel2->setAutoFillBackground(true);
    QPalette pal = Panel2->palette();
    pal.setColor(QPalette::Window, PanelFace);
    Panel2->setPalette(pal);

    Panel4 = captionStrip(Panel2, "Panel4", QStringLiteral("商圈内容"));
    Panel4->setGeometry(0, 0, 638, 18);
    Label1 = plainLabel(Panel2, "Label1", QStringLiteral("商圈编码:"), QPoint(21, 54));
    Label2 = plainLabel(Panel2, "Label2", QStringLiteral("商圈名称:"), QPoint(21, 82));
    edtBm = flatEdit(Panel2, "edtBm", QRect(112, 51, 145, 20), TradeArea::CodeWidth);
    // Codes are digits: no input method composes into this edit.
    edtBm->setAttribute(Qt::WA_InputMethodEnabled, false);
    edtName = flatEdit(Panel2, "edtName", QRect(112, 79, 145, 20), TradeArea::NameWidth);
    Label3 = redLabel(Panel2, "Label3", QStringLiteral("商圈分级情况："), QPoint(40, 456));
    LblFjqk = redLabel(Panel2, "LblFjqk", QString(), QPoint(128, 456));
    LblFjqk->resize(400, Label3->height());
}

// Creation, showing, closing -------------------------------------------------

void TfrmMdda_ED::FormCreate()
{
    QString errorText;
    try {
        Env = openEnvironment(hostContext().DataService, this);
        SysInfo.OperatorCode = hostContext().OperatorCode;
        // Operator name, unit name, department code, head-office code.
        const Status loaded = Env->GetSysmsgInfo(SysInfo, SysmsgItems { 4, 5, 13, 100 });
        EnvFailed = !loaded;
        errorText = loaded.error();
    } catch (const std::exception &e) {
        EnvFailed = true;
        errorText = QString::fromUtf8(e.what());
    }
    if (EnvFailed) {
        // Owned by the library's owner window, not by this screen, which is about to go.
        showHostErrorText(ownerWindow(), errorText);
    }
}

void TfrmMdda_ED::formShow()
{
    if (EnvFailed) {
        close();
        return;
    }
    Status loaded;
    {
        const WaitCursor wait;
        installKeyPreview();
        loaded = loadAreaTree();
    }
    // Shown once the hourglass is gone.
    if (!loaded)
        showErrorMessage(loaded.error());
}

void TfrmMdda_ED::installKeyPreview()
{
    if (!m_keyPreview) {
        auto *preview = new KeyPreview([this](QObject *watched, QEvent *event) {
            if (event->type() != QEvent::KeyPress)
                return false;
            // The key as the focused control of this screen receives it first;
            // the copies passed on to its parents are not seen again.
            auto *w = qobject_cast<QWidget *>(watched);
            if (!w || w != QApplication::focusWidget() || (w != this && !isAncestorOf(w)))
                return false;
            if (hostCallInFlight())
                return true; // no new action until the host has answered
            bool consumed = false;
            // A screen that went during the action leaves the key to nobody.
            const bool alive = userAction([&] { consumed = FormKeyDown(static_cast<QKeyEvent *>(event)); });
            return consumed || !alive;
        });
        preview->setParent(this);
        qApp->installEventFilter(preview);
        m_keyPreview = preview;
    }
}

void TfrmMdda_ED::formClosing()
{
    removeKeyPreview();
    Env.reset();
}

void TfrmMdda_ED::btnExitClick()
{
    close();
}

void TfrmMdda_ED::btnHelpClick()
{
    RopHelp->ShowPopup();
}

// Tree -----------------------------------------------------------------------

void TfrmMdda_ED::LoadAreaTree()
{
    if (const Status loaded = loadAreaTree(); !loaded)
        showErrorMessage(loaded.error());
}

Status TfrmMdda_ED::loadAreaTree()
{
    const QPointer<TfrmMdda_ED> self(this);
    QVariant packet;
    const bool answered
        = callHost([&] { return CoorDisp::current().QueryData(AreaSql::treeLoad(department()), packet); });
    if (!self)
        return Status();
    if (!answered) {
        ShowCodeLevels(false);
        ShowHostError(this, packet);
        return Status(); // shown; the action goes on
    }
    // Everything is read and checked before the tree is touched, so a bad packet
    // leaves the tree and the row set as they were, and ends the action.
    Result<DataStore> store = Packet::decode(packet.toByteArray());
    if (!store)
        return Error { store.error() };
    Result<TradeAreaTreeBuilder::Rows> rows
        = TradeAreaTreeBuilder::readRows(*store, TradeAreaTreeBuilder::Codes::InTexts);
    if (!rows)
        return Error { rows.error() };
    const std::vector<std::int32_t> placements = TradeAreaTreeBuilder::place(rows->levels);

    cds->loadStore(std::move(*store));
    QTreeWidgetItem *root
        = TN->rebuildWithCodesInTexts(CodeRules::RootText, std::move(rows->texts), rows->codeLengths, placements);
    TN->expandNode(root, false);
    const QPersistentModelIndex rootHandle = TN->handleOf(root);
    ShowCodeLevels(true);
    if (!self)
        return Status();
    TN->selectNode(TN->nodeOf(rootHandle)); // runs TNClick, which finds the root and starts adding
    return Status();
}

void TfrmMdda_ED::TNChange()
{
    TNClick();
}

void TfrmMdda_ED::TNClick()
{
    QTreeWidgetItem *node = TN->selectedNode();
    if (!node)
        return;
    if (TAreaTree::isRoot(node)) {
        btnAddClick();
        TN->setFocus();
        return;
    }
    const QString code = TAreaTree::codeOf(node);
    const QPersistentModelIndex handle = TN->handleOf(node);
    const QPointer<TfrmMdda_ED> self(this);
    QVariant packet;
    const bool answered
        = callHost([&] { return CoorDisp::current().QueryData(AreaSql::recordLoad(department(), code), packet); });
    if (!self)
        return;
    // The node is looked up again: nothing may have removed it meanwhile, but a
    // freed node must never be touched.
    node = TN->nodeOf(handle);
    if (!node)
        node = TN->findNodeCode(code);
    Result<DataStore> store = answered ? Packet::decode(packet.toByteArray()) : Result<DataStore>(Error {});
    if (!store) {
        flatWarning(QStringLiteral("取商圈编码") + code + QStringLiteral("时出错！"));
        return;
    }

    // Read the row first: a missing column or a bad flag changes nothing.
    ClientDataSet row;
    row.loadStore(std::move(*store));
    QString rowCode = code, rowName;
    qint32 leaf = 0;
    if (!row.isEmpty()) {
        rowCode = row.fieldByName(u"f_sqbm")->asString().trimmed();
        rowName = row.fieldByName(u"f_sqmc")->asString().trimmed();
        leaf = row.fieldByName(u"f_mj")->asInteger();
    }
    // No row: the area went elsewhere. The panel keeps to the node's code, shows
    // no name and offers no delete.

    MaintenanceState &st = maintenanceState();
    st.EditState = MaintenanceState::Showing;
    cds->setData(packet.toByteArray()); // a record is small; decoding it twice costs nothing
    edtBm->setEnabled(false);
    edtBm->setText(rowCode);
    edtName->setText(rowName);
    btnDelete->setEnabled(leaf == 1);
    m_shownNode = node ? TN->handleOf(node) : QPersistentModelIndex();
    st.AreaModified = false; // set by the edits' change handlers just now
}

void TfrmMdda_ED::btnExpandClick()
{
    TN->expandNode(TN->selectedNode(), true);
}

void TfrmMdda_ED::btnCollapseClick()
{
    TN->collapseNode(TN->selectedNode(), true);
}

void TfrmMdda_ED::ToolButton4Click()
{
    TN->setFocus();
    const QPointer<TfrmMdda_ED> self(this);
    TN->moveSelection(true); // may load the row
    if (self)
        TNClick();
}

void TfrmMdda_ED::ToolButton5Click()
{
    TN->setFocus();
    const QPointer<TfrmMdda_ED> self(this);
    TN->moveSelection(false); // may load the row
    if (self)
        TNClick();
}

void TfrmMdda_ED::btnLocateClick()
{
    const QPointer<TfrmMdda_ED> self(this);
    const QString text
        = AskFlatText(QStringLiteral("输入"), QStringLiteral("请输入商圈编码或名称(F3查找下一个):"), QString());
    if (!self)
        return; // the themed dialog outlives the screen
    maintenanceState().LocateText = text.trimmed();
    LocateArea(true);
}

void TfrmMdda_ED::LocateArea(bool fromTop)
{
    const QString &text = maintenanceState().LocateText;
    if (text.isEmpty())
        return;
    QTreeWidgetItem *found = TN->findContaining(text, fromTop, TN->selectedNode());
    if (!found)
        found = locateByPinyin(text, fromTop);
    if (!found) {
        flatWarning(QStringLiteral("找不到该商圈！"));
        return;
    }
    TN->setFocus();
    const QPointer<TfrmMdda_ED> self(this);
    TN->selectNode(found); // may load the row
    if (self)
        TNClick();
}

QTreeWidgetItem *TfrmMdda_ED::locateByPinyin(const QString &text, bool fromTop) const
{
    if (!PinyinKeys::isLatinLetters(text))
        return nullptr;
    return TN->findPinyin(text, fromTop, TN->selectedNode());
}

void TfrmMdda_ED::btnReflashClick()
{
    const QPointer<TfrmMdda_ED> self(this);
    if (const Status loaded = loadAreaTree(); !loaded) {
        showErrorMessage(loaded.error()); // an unreadable tree ends the refresh here
        return;
    }
    if (self)
        btnAddClick();
}

void TfrmMdda_ED::ShowCodeLevels(bool show)
{
    if (!show) {
        LblFjqk->clear();
        return;
    }
    QVariant levels = department();
    const QPointer<TfrmMdda_ED> self(this);
    const bool answered = callHost([&] { return CoorDisp::current().GetCodeLevels(levels); });
    if (!self)
        return;
    if (!answered) {
        LblFjqk->clear();
        ShowHostError(this, levels);
        return;
    }
    LblFjqk->setText(CodeRules::formatCodeLevels(levels.toString()));
}

// Editing --------------------------------------------------------------------

void TfrmMdda_ED::btnAddClick()
{
    MaintenanceState &st = maintenanceState();
    st.EditState = MaintenanceState::Adding;
    for (QLineEdit *edit : PanelMain->findChildren<QLineEdit *>()) {
        edit->clear();
        edit->setEnabled(true);
    }
    for (QComboBox *combo : PanelMain->findChildren<QComboBox *>()) {
        combo->setCurrentIndex(-1);
        combo->setEnabled(true);
    }
    for (QPlainTextEdit *memo : PanelMain->findChildren<QPlainTextEdit *>()) {
        memo->clear();
        memo->setEnabled(true);
    }
    edtBm->setFocus();
    st.AreaModified = false;
}

void TfrmMdda_ED::btnSaveClick()
{
    MaintenanceState &st = maintenanceState();
    if (st.isShowing()) {
        // Leaving the edit panel asks about a changed name (Panel2Exit).
        TN->setFocus();
        return;
    }
    const QPointer<TfrmMdda_ED> self(this);
    const CodeRules::NewAreaProblem problem = CodeRules::checkNewArea(edtBm->text(), edtName->text());
    if (problem != CodeRules::NewAreaProblem::None) {
        warn(this, CodeRules::problemMessage(problem));
        if (self)
            (problem == CodeRules::NewAreaProblem::NameEmpty ? edtName : edtBm)->setFocus();
        return;
    }
    const QString code = edtBm->text().trimmed();
    const QString name = edtName->text().trimmed();

    AreaChanges changes(CoorDisp::current(), department());
    const Result<AreaChanges::CodeCheck> check = callHost([&] { return changes.checkCode(code); });
    if (!self)
        return;
    if (!check) {
        showHostErrorText(this, check.error());
        return;
    }
    if (check->question.startsWith(QStringLiteral("你想建立")) && (!askYes(this, check->question) || !self))
        return;
    const Result<int> level = check->level();
    if (!level) {
        showErrorMessage(level.error()); // nothing is stored
        return;
    }
    const Result<QString> parentCode = callHost([&] { return changes.insert(*cds, code, name, *level); });
    if (!self)
        return;
    if (!parentCode) {
        showHostErrorText(this, parentCode.error());
        return;
    }
    // The area is stored. The node shows what was stored, so it finds the row
    // again even when the code was pasted with spaces round it.
    placeNewNode(*level, code, CodeRules::nodeText(code, name), *parentCode);

    st.AreaModified = false;
    ShowCodeLevels(true);
    if (self)
        TNClick(); // reloads the node that is selected, not the new one
}

void TfrmMdda_ED::placeNewNode(int level, const QString &code, const QString &nodeText, const QString &parentCode)
{
    if (level < 1)
        return;
    // Level 1 goes under the root; deeper levels under the node of the parent
    // code the host answered. Nodes carry their codes, so the parent is found
    // without asking the host for its name. A parent without a node (added
    // elsewhere after the load) gets no child here; a refresh shows both.
    QTreeWidgetItem *parent = level == 1 ? TN->rootNode() : TN->findNodeCode(parentCode);
    if (!parent) {
        if (level == 1)
            TN->addTopLevelNode(nodeText, code);
        return;
    }
    TN->addChildNode(parent, nodeText, code);
    TN->sortNodeChildren(parent);
}

void TfrmMdda_ED::btnDeleteClick()
{
    QTreeWidgetItem *node = TN->selectedNode();
    if (!node || !maintenanceState().isShowing())
        return;
    const QString code = TAreaTree::codeOf(node);
    const QPointer<TfrmMdda_ED> self(this);
    if (!askYes(this, QStringLiteral("你要删除商圈编码为 ") + code + QStringLiteral(" 的商圈吗？")) || !self)
        return;
    const Status deleted = callHost([&] { return AreaChanges(CoorDisp::current(), department()).remove(code); });
    if (!self)
        return;
    if (!deleted) {
        showHostErrorText(this, deleted.error());
        return;
    }
    // Found again by its code: the node held before the question and the call
    // is not trusted to exist.
    TN->deleteNode(TN->findNodeCode(code)); // the selection moves on, which runs TNClick
    if (!self)
        return;
    TNClick();
    if (self)
        ShowCodeLevels(true);
}

void TfrmMdda_ED::Panel2Exit()
{
    MaintenanceState &st = maintenanceState();
    if (!TN->selectedNode() || !st.isShowing() || !st.AreaModified || edtBm->isEnabled())
        return;
    const QPointer<TfrmMdda_ED> self(this);
    const bool save = askYes(this, QStringLiteral("商圈内容已经改变，你要保存吗？"));
    if (!self)
        return;
    if (save) {
        // The new text goes to the node of the area that was renamed, which is the
        // selected one unless its row could not be loaded.
        const QString code = edtBm->text();
        const QString name = edtName->text();
        const Status renamed
            = callHost([&] { return AreaChanges(CoorDisp::current(), department()).rename(code, name); });
        if (!self)
            return;
        if (renamed) {
            if (QTreeWidgetItem *node = TN->nodeOf(m_shownNode))
                node->setText(0, CodeRules::nodeText(code, name));
        } else {
            showHostErrorText(this, renamed.error());
        }
    } else {
        TN->setFocus();
        TNClick(); // reloads the row, which discards the change
        if (!self)
            return;
    }
    st.AreaModified = false;
}

void TfrmMdda_ED::onFocusChanged(QWidget *old, QWidget *now)
{
    // Only a move to another control of this screen leaves the edit panel; a
    // dialog taking the focus or the window losing it does not.
    if (!old || !now || !Panel2->isAncestorOf(old) || Panel2->isAncestorOf(now) || !isAncestorOf(now))
        return;
    userAction([this] { Panel2Exit(); });
}

bool TfrmMdda_ED::edtBmKeyPress(QKeyEvent *event)
{
    // Shortcuts are not typed characters: copy and paste keep working.
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString typed = event->text();
    if (typed.size() != 1)
        return false;
    // Only typed characters are filtered. Editing keys carry control characters
    // as their text (Delete arrives as DEL, 0x7F, on X11; Tab as 0x09) and work
    // as in any edit.
    const QChar c = typed.front();
    if (c.category() == QChar::Other_Control)
        return false;
    return !CodeRules::isCodeCharacterAccepted(c);
}

// Keyboard -------------------------------------------------------------------

bool TfrmMdda_ED::FormKeyDown(QKeyEvent *event)
{
    QWidget *focused = QApplication::focusWidget();
    const bool inEdit = qobject_cast<QLineEdit *>(focused) != nullptr;
    const bool inCombo = qobject_cast<QComboBox *>(focused) != nullptr;
    const int key = event->key();

    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && (inEdit || inCombo))
        focusNextPrevChild(true);
    if (key == Qt::Key_Down && inEdit)
        focusNextPrevChild(true);
    if (key == Qt::Key_Up && (inEdit || inCombo)) {
        focusNextPrevChild(false);
        return true;
    }
    if (key == Qt::Key_F3)
        LocateArea(false);
    if (event->modifiers() & Qt::ControlModifier) {
        switch (key) {
        case Qt::Key_A:
            if (!btnAdd->isHidden())
                btnAddClick();
            break;
        case Qt::Key_C:
            btnCollapseClick();
            break;
        case Qt::Key_D:
            if (!btnDelete->isHidden() && btnDelete->isEnabled())
                btnDeleteClick();
            break;
        case Qt::Key_E:
            btnExpandClick();
            break;
        case Qt::Key_L:
            btnLocateClick();
            break;
        case Qt::Key_R:
            btnReflashClick();
            break;
        case Qt::Key_S:
            if (!btnSave->isHidden())
                btnSaveClick();
            break;
        default:
            break;
        }
    }
    if (key == Qt::Key_Escape)
        btnExitClick();
    return false;
}

bool TfrmMdda_ED::focusNextPrevChild(bool next)
{
    QWidget *start = QApplication::focusWidget();
    if (!start || (start != this && !isAncestorOf(start)))
        start = this;
    QWidget *w = start;
    // The chain is circular over the whole window; the bound only guards against a broken one.
    for (int guard = 0; guard < 100000; ++guard) {
        w = next ? w->nextInFocusChain() : w->previousInFocusChain();
        if (!w || w == start)
            break;
        if (w != this && isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled()
            && !w->focusProxy()) {
            w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}

bool TfrmMdda_ED::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == edtBm && event->type() == QEvent::KeyPress)
        return edtBmKeyPress(static_cast<QKeyEvent *>(event));
    if (watched == Panel2 && event->type() == QEvent::Resize)
        Panel4->setGeometry(0, 0, Panel2->width(), 18);
    return TFrmBase::eventFilter(watched, event);
}

} // namespace sqda

#include "TFrmQuerySet.h"

#include "QueryButton.h"

#include "data/ClientDataSet.h"
#include "env/Utilities.h"
#include "host/AccessibleNames.h"
#include "host/HostContext.h"
#include "host/HostGuard.h"
#include "host/ScreenFonts.h"
#include "ui/DialogState.h"
#include "ui/FlatComboBox.h"
#include "ui/FlatDialog.h"
#include "ui/SharedPalette.h"

#include <QAction>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeWidget>

namespace sqda {

namespace {

constexpr int ColLabel = 0;
constexpr int ColCondition = 1;
constexpr int ColValue = 2;
constexpr int ColRelation = 3;
constexpr int RowIdRole = Qt::UserRole + 1;

const QColor Green = colorFromBgr(DefaultDialogLineColor);
const QColor Yellow = colorFromBgr(DefaultDialogBackColor);

// The platform's tooltip background, which the input boxes and the list take.
QColor infoBackground()
{
    return QToolTip::palette().color(QPalette::Inactive, QPalette::ToolTipBase);
}

void paintAsInput(QWidget *w)
{
    QPalette pal = w->palette();
    for (QPalette::ColorRole role : { QPalette::Base, QPalette::Button, QPalette::Window })
        pal.setColor(role, infoBackground());
    w->setPalette(pal);
    w->setCursor(Qt::PointingHandCursor);
}

QFrame *greenFrame(QWidget *parent, const QRect &geometry, const char *name)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(QLatin1String(name));
    frame->setFrameShape(QFrame::Box);
    frame->setFrameShadow(QFrame::Plain);
    frame->setLineWidth(1);
    QPalette pal = frame->palette();
    pal.setColor(QPalette::WindowText, Green);
    frame->setPalette(pal);
    frame->setGeometry(geometry);
    return frame;
}

// Hot tracking: the row under the mouse is tinted, as the list of the original
// screen underlines it.
class HotTrackDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if ((option.state & QStyle::State_MouseOver) && !(option.state & QStyle::State_Selected))
            p->fillRect(option.rect, option.palette.color(QPalette::Highlight).lighter(180));
        QStyledItemDelegate::paint(p, option, index);
    }
};

// The list's title row, painted with the shared palette of its colours: the
// style then finds the sections it painted for the last dialog.
class SharedPaletteHeader : public QHeaderView
{
public:
    explicit SharedPaletteHeader(QWidget *parent)
        : QHeaderView(Qt::Horizontal, parent)
    {
        // As a tree view's own title row starts.
        setSectionsMovable(true);
        setStretchLastSection(true);
        setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }

protected:
    void initStyleOptionForIndex(QStyleOptionHeader *option, int logicalIndex) const override
    {
        QHeaderView::initStyleOptionForIndex(option, logicalIndex);
        option->palette = sharedPalette(option->palette);
    }
};

// The group box drawn as the platform's etched frame on the dialog's own
// colour: the styles' group boxes tint their inside, which would change the
// yellow the whole dialog stands on.
class EtchedGroupBox : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Window));
        const QFontMetrics fm(font());
        const int top = fm.height() / 2;
        const QRect frame = rect().adjusted(0, top, -2, -2);
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(frame);
        p.setPen(Qt::white);
        p.drawRect(frame.translated(1, 1));
        const QRect caption(8, 0, fm.horizontalAdvance(title()) + 4, fm.height());
        p.fillRect(caption, palette().color(QPalette::Window));
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(caption, Qt::AlignCenter | Qt::TextSingleLine, title());
    }
};

} // namespace

TFrmQuerySet::TFrmQuerySet(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint)
{
    ensureLibraryInitialized();
    setObjectName(QStringLiteral("FrmQuerySet"));
    setFont(songTi9());
    // Client area 629 × 264 inside a one-pixel border, no caption bar.
    setFixedSize(631, 266);

    gbxGoodsInfo = new EtchedGroupBox(QStringLiteral("查询过滤条件设置："), this);
    gbxGoodsInfo->setObjectName(QStringLiteral("gbxGoodsInfo"));
    gbxGoodsInfo->setGeometry(1, 1, 629, 264);
    gbxGoodsInfo->setAutoFillBackground(true);
    {
        QPalette pal = gbxGoodsInfo->palette();
        pal.setColor(QPalette::Window, Yellow);
        gbxGoodsInfo->setPalette(pal);
    }
    QWidget *g = gbxGoodsInfo;

    auto label = [g](const QString &text, int x, int y, const char *name) {
        auto *l = new QLabel(text, g);
        l->setObjectName(QLatin1String(name));
        l->move(x, y);
        l->adjustSize();
        return l;
    };
    lblTemp = label(QStringLiteral("字段名称："), 11, 24, "lblTemp");
    lblFactor = label(QStringLiteral("条件："), 211, 24, "lblFactor");
    lblValue = label(QStringLiteral("值："), 371, 24, "lblValue");

    auto combo = [g](const QRect &geometry, const char *name) {
        auto *c = new FlatComboBox(g);
        c->setObjectName(QLatin1String(name));
        c->setEditable(false);
        c->setLineColor(Green);
        c->setGeometry(geometry);
        paintAsInput(c);
        return c;
    };
    cbxField = combo(QRect(8, 42, 194, 20), "cbxField");
    cbxFactor = combo(QRect(211, 42, 148, 20), "cbxFactor");
    cbxFactor->addItems(conditionNames());
    cbxFactor->setCurrentIndex(-1);

    shpValue = greenFrame(g, QRect(371, 43, 239, 18), "shpValue");
    editValue = new QLineEdit(g);
    editValue->setObjectName(QStringLiteral("editValue"));
    editValue->setFrame(false);
    editValue->setGeometry(372, 44, 237, 16);
    paintAsInput(editValue);
    editValue->setCursor(Qt::PointingHandCursor);

    ShapeLine = greenFrame(g, QRect(9, 72, 603, 1), "ShapeLine");
    ShapeLine->setFrameShape(QFrame::NoFrame);
    ShapeLine->setAutoFillBackground(true);
    {
        QPalette pal = ShapeLine->palette();
        pal.setColor(QPalette::Window, Green);
        ShapeLine->setPalette(pal);
    }
    speTemp = greenFrame(g, QRect(8, 82, 504, 169), "speTemp");

    lvwLogic = new QTreeWidget(g);
    lvwLogic->setObjectName(QStringLiteral("lvwLogic"));
    lvwLogic->setHeader(new SharedPaletteHeader(lvwLogic));
    lvwLogic->setGeometry(9, 83, 502, 167);
    lvwLogic->setFrameShape(QFrame::NoFrame);
    lvwLogic->setColumnCount(4);
    lvwLogic->setHeaderLabels(
        { QStringLiteral("字段名称"), QStringLiteral("条件"), QStringLiteral("值"), QStringLiteral("逻辑关系") });
    const int widths[] = { 198, 100, 79, 69 };
    for (int c = 0; c < 4; ++c)
        lvwLogic->setColumnWidth(c, widths[c]);
    lvwLogic->header()->setSectionsClickable(false);
    lvwLogic->header()->setStretchLastSection(false);
    lvwLogic->header()->setSectionsMovable(false);
    lvwLogic->setRootIsDecorated(false);
    lvwLogic->setUniformRowHeights(true);
    lvwLogic->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwLogic->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwLogic->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwLogic->setAllColumnsShowFocus(true);
    lvwLogic->setMouseTracking(true);
    lvwLogic->viewport()->setAttribute(Qt::WA_Hover);
    lvwLogic->setItemDelegate(new HotTrackDelegate(lvwLogic));
    paintAsInput(lvwLogic);
    lvwLogic->viewport()->setCursor(Qt::PointingHandCursor);
    {
        // The selection stays visible when the list loses the focus.
        QPalette pal = lvwLogic->palette();
        pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
        pal.setColor(
            QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
        lvwLogic->setPalette(pal);
    }
    lvwLogic->setContextMenuPolicy(Qt::CustomContextMenu);

    auto button = [g](const QString &caption, const QRect &geometry, const char *name, bool green = true) {
        auto *b = new QueryButton(caption, g);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(geometry);
        if (green)
            b->setLineColor(Green);
        return b;
    };
    btnAddLogic = button(QStringLiteral("加  入(&A)"), QRect(519, 81, 93, 27), "btnAddLogic");
    btnAddLogic->setToolTip(QStringLiteral("加入逻辑表达式"));
    btnModifyOK = button(QStringLiteral("修改 &M"), QRect(520, 81, 69, 27), "btnModifyOK", false);
    btnModifyOK->setToolTip(QStringLiteral("确认对逻辑表达式的修改"));
    btnModifyOK->hide();
    btnModifyCancel = button(QString(), QRect(587, 81, 25, 27), "btnModifyCancel", false);
    btnModifyCancel->Tag = 1;
    btnModifyCancel->setIcon(dropChangeIcon());
    btnModifyCancel->setIconSize(QSize(16, 16));
    btnModifyCancel->setToolTip(QStringLiteral("放弃对逻辑表达式的修改"));
    btnModifyCancel->hide();
    btnClearLogic = button(QStringLiteral("清  空(&C)"), QRect(520, 117, 92, 27), "btnClearLogic");
    btnOK = button(QStringLiteral("查  询(&O)"), QRect(520, 152, 93, 27), "btnOK");
    btnOK->setCursor(Qt::ArrowCursor);
    btnHelp = button(QStringLiteral("帮  助(&H)"), QRect(520, 190, 93, 27), "btnHelp");
    btnHelp->setCursor(Qt::ArrowCursor);
    btnExit = button(QStringLiteral("退  出(&X)"), QRect(520, 226, 92, 27), "btnExit");

    pmnuSetField = new QMenu(this);
    pmnuSetField->setObjectName(QStringLiteral("pmnuSetField"));
    auto item = [this](QMenu *menu, const QString &caption, int tag, const char *name) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        a->setData(tag);
        return a;
    };
    mnuAddField = item(pmnuSetField, QStringLiteral("加入字段表达式"), 0, "mnuAddField");
    pmnuSetField->addSeparator();
    mnuModifyField = item(pmnuSetField, QStringLiteral("修改字段表达式"), 1, "mnuModifyField");
    mnuModifyLogicMenu = pmnuSetField->addMenu(QStringLiteral("修改逻辑表达式"));
    mnuModifyLogicMenu->setObjectName(QStringLiteral("mnuModifyLogicMenu"));
    mnuModifyLogic = mnuModifyLogicMenu->menuAction();
    mnuModifyLogic->setObjectName(QStringLiteral("mnuModifyLogic"));
    mnuModifyLogic->setEnabled(false);
    mnuLogicOR = item(mnuModifyLogicMenu, QStringLiteral("A 或者 B"), 0, "mnuLogicOR");
    mnuLogicAND = item(mnuModifyLogicMenu, QStringLiteral("A 并且 B"), 1, "mnuLogicAND");
    pmnuSetField->addSeparator();
    mnuDelField = item(pmnuSetField, QStringLiteral("删除字段表达式"), 2, "mnuDelField");

    // Handlers run from the event loop: nothing thrown below may leave them.
    auto guarded = [](auto fn) { return [fn] { runGuarded(fn); }; };
    connect(btnAddLogic, &QueryButton::clicked, this, guarded([this] { btnAddLogicClick(); }));
    connect(btnModifyOK, &QueryButton::clicked, this, guarded([this] { btnModifyOKClick(btnModifyOK); }));
    connect(btnModifyCancel, &QueryButton::clicked, this, guarded([this] { btnModifyOKClick(btnModifyCancel); }));
    connect(btnClearLogic, &QueryButton::clicked, this, [this] { btnClearLogicClick(); });
    connect(btnOK, &QueryButton::clicked, this, guarded([this] { btnOKClick(); }));
    connect(btnHelp, &QueryButton::clicked, this, [this] { btnHelpClick(); });
    connect(btnExit, &QueryButton::clicked, this, [this] { btnExitClick(); });
    for (QAction *a : { mnuAddField, mnuModifyField, mnuDelField })
        connect(a, &QAction::triggered, this, guarded([this, a] { mnuDelFieldClick(a); }));
    for (QAction *a : { mnuLogicOR, mnuLogicAND })
        connect(a, &QAction::triggered, this, [this, a] { mnuLogicANDClick(a); });
    connect(cbxField, &QComboBox::currentIndexChanged, this, [this] { editValue->clear(); });
    connect(pmnuSetField, &QMenu::aboutToShow, this, [this] { pmnuSetFieldPopup(); });
    connect(lvwLogic, &QWidget::customContextMenuRequested, this,
        [this](const QPoint &at) { pmnuSetField->popup(lvwLogic->viewport()->mapToGlobal(at)); });

    // The form sees the keys before its controls.
    const QList<QWidget *> controls = { cbxField, cbxFactor, editValue, lvwLogic, btnAddLogic, btnModifyOK,
        btnModifyCancel, btnClearLogic, btnOK, btnHelp, btnExit };
    for (QWidget *w : controls)
        w->installEventFilter(this);

    QWidget::setTabOrder(cbxField, lvwLogic);
    QWidget::setTabOrder(lvwLogic, cbxFactor);
    QWidget::setTabOrder(cbxFactor, editValue);
    QWidget::setTabOrder(editValue, btnClearLogic);
    QWidget::setTabOrder(btnClearLogic, btnOK);
    QWidget::setTabOrder(btnOK, btnExit);
    QWidget::setTabOrder(btnExit, btnModifyOK);
    QWidget::setTabOrder(btnModifyOK, btnModifyCancel);
    QWidget::setTabOrder(btnModifyCancel, btnAddLogic);
    QWidget::setTabOrder(btnAddLogic, btnHelp);
}

TFrmQuerySet::~TFrmQuerySet() = default;

std::unique_ptr<TFrmQuerySet> TFrmQuerySet::CreateForQuery(const QString &caption, const QString &aliasList,
    const QString &helpText, const LogicRows *rows, const QString &fieldMap)
{
    std::unique_ptr<TFrmQuerySet> form(new TFrmQuerySet(ownerWindow()));
    form->btnOK->setText(QStringLiteral("查  询(&O)"));
    form->AliasList = aliasList;
    form->HelpText = QStringLiteral("字段名称值的要求:\r\n") + helpText;
    SplitTrimmed(QStringLiteral(";"), fieldMap, form->FieldMap);
    form->VisibleOnly = true;
    form->FilterMode = 0;
    if (!caption.trimmed().isEmpty())
        form->gbxGoodsInfo->setTitle(caption);
    form->setRows(rows);
    return form;
}

std::unique_ptr<TFrmQuerySet> TFrmQuerySet::CreateForFilter(
    const QString &caption, const LogicRows *rows, bool visibleOnly)
{
    std::unique_ptr<TFrmQuerySet> form(new TFrmQuerySet(ownerWindow()));
    form->btnOK->setText(QStringLiteral("过  滤(&O)"));
    form->HelpText = QStringLiteral("字段名称值的要求:\r\n");
    form->VisibleOnly = visibleOnly;
    form->FilterMode = 1;
    if (!caption.trimmed().isEmpty())
        form->gbxGoodsInfo->setTitle(caption);
    form->setRows(rows);
    return form;
}

int TFrmQuerySet::execOwned(std::unique_ptr<TFrmQuerySet> &form)
{
    QPointer<TFrmQuerySet> guard(form.get());
    const int result = form->exec();
    if (!guard) {
        (void)form.release();
        return ResultCancel;
    }
    return result;
}

// Rows ----------------------------------------------------------------------

void TFrmQuerySet::setRows(const LogicRows *rows)
{
    lvwLogic->clear();
    if (rows) {
        for (const LogicRow &row : *rows)
            appendRow(row);
    }
}

void TFrmQuerySet::writeRow(QTreeWidgetItem *item, const LogicRow &row)
{
    item->setText(ColLabel, row.label);
    item->setText(ColCondition, row.condition);
    item->setText(ColValue, row.value);
    item->setText(ColRelation, row.relation);
}

void TFrmQuerySet::appendRow(const LogicRow &row)
{
    auto *item = new QTreeWidgetItem(lvwLogic);
    item->setData(ColLabel, RowIdRole, m_nextRowId++);
    writeRow(item, row);
}

LogicRow TFrmQuerySet::rowOf(const QTreeWidgetItem *item) const
{
    return { item->text(ColLabel), item->text(ColCondition), item->text(ColValue), item->text(ColRelation) };
}

LogicRows TFrmQuerySet::rows() const
{
    LogicRows out;
    for (int i = 0; i < lvwLogic->topLevelItemCount(); ++i)
        out.append(rowOf(lvwLogic->topLevelItem(i)));
    return out;
}

QTreeWidgetItem *TFrmQuerySet::selectedRow() const
{
    const QList<QTreeWidgetItem *> selected = lvwLogic->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

// Building ------------------------------------------------------------------

WhereTextBuilder TFrmQuerySet::builder() const
{
    WhereTextBuilder b;
    if (m_dataSet)
        b.fields = builderFieldsOf(*m_dataSet);
    b.aliasList = AliasList;
    b.fieldMap = FieldMap;
    b.filterMode = FilterMode == 1;
    return b;
}

int TFrmQuerySet::FieldIndexOfLabel(const QString &label) const
{
    return builder().fieldIndexOfLabel(label);
}

bool TFrmQuerySet::BuildWhereText()
{
    const Result<WhereTexts> built = builder().build(rows());
    if (!built) {
        warn(built.error(), lvwLogic);
        return false;
    }
    WhereText = built->whereText;
    ExcludeLike = built->excludeLike;
    ExcludeField = built->excludeField;
    FilterText = built->filterText;
    if (!memSQL) {
        // Made on the first build only: it is never shown, and most openings
        // end without one.
        memSQL = new QPlainTextEdit(this);
        memSQL->setObjectName(QStringLiteral("memSQL"));
        memSQL->hide();
        memSQL->lower();
    }
    memSQL->setPlainText(WhereText);
    return true;
}

// Showing and keys ----------------------------------------------------------

void TFrmQuerySet::FormShow()
{
    cbxField->clear();
    if (m_dataSet) {
        for (int i = 0; i < m_dataSet->fieldCount(); ++i) {
            const Field *f = m_dataSet->field(i);
            if (!VisibleOnly || f->visible())
                cbxField->addItem(f->displayLabel());
        }
    }
    cbxField->setCurrentIndex(-1);
    cbxFactor->setCurrentIndex(-1);
    editValue->clear();
    cbxField->setFocus(Qt::OtherFocusReason);
}

void TFrmQuerySet::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (e->spontaneous())
        return;
    FormShow();
    nameControls(this);
    if (const QScreen *s = screen())
        move(s->geometry().center() - rect().center());
}

void TFrmQuerySet::paintEvent(QPaintEvent *)
{
    // The single thin border of a window without a caption bar.
    QPainter p(this);
    p.setPen(palette().color(QPalette::Shadow));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

bool TFrmQuerySet::FormKeyDown(QKeyEvent *e)
{
    if (e->key() == Qt::Key_F2 && e->modifiers() == Qt::AltModifier) {
        if (BuildWhereText())
            AskFlatText(QStringLiteral("测试信息"), QStringLiteral("查询语句"), WhereText);
        return true;
    }
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        btnExitClick();
        return true;
    }
    return false;
}

bool TFrmQuerySet::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(e);
        if (FormKeyDown(k))
            return true;
        if (watched == editValue && (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter)) {
            // Adds a row, also while a change is pending; the character itself
            // never reaches the edit.
            runGuarded([this] { btnAddLogicClick(); });
            return true;
        }
    } else if (e->type() == QEvent::KeyRelease && watched == editValue) {
        if (static_cast<QKeyEvent *>(e)->key() == Qt::Key_Up)
            editValue->selectAll();
    }
    return QDialog::eventFilter(watched, e);
}

void TFrmQuerySet::reject()
{
    done(ResultCancel);
}

// Buttons ---------------------------------------------------------------------

void TFrmQuerySet::warn(const QString &text, QWidget *focus)
{
    ShowFlatMessage(text, MessageKind::Warning, buttonBit(DialogButton::OK));
    if (focus)
        focus->setFocus(Qt::OtherFocusReason);
}

bool TFrmQuerySet::checkEntry(bool allowEmptyValue)
{
    if (!allowEmptyValue && editValue->text().isEmpty()) {
        warn(QStringLiteral("请输入一个值。"), editValue);
        return false;
    }
    if (cbxField->currentIndex() < 0) {
        warn(QStringLiteral("请选择一个字段。"), cbxField);
        return false;
    }
    if (cbxFactor->currentIndex() < 0) {
        warn(QStringLiteral("请选择一个条件。"), cbxFactor);
        return false;
    }
    const WhereTextBuilder b = builder();
    if (!b.fields.isEmpty()) {
        const BuilderField &field = b.fields.at(b.fieldIndexOfLabel(cbxField->currentText()));
        const Status ok = WhereTextBuilder::checkValue(field, cbxFactor->currentIndex(), editValue->text());
        if (!ok) {
            warn(ok.error(), editValue);
            editValue->selectAll();
            return false;
        }
    }
    return true;
}

void TFrmQuerySet::btnAddLogicClick()
{
    if (!checkEntry(false))
        return;
    if (!CheckDuplicate())
        return;
    if (lvwLogic->topLevelItemCount() > 0) {
        const QStringList items = LastRelation == 1 ? QStringList { relationOr(), relationAnd() }
                                                    : QStringList { relationAnd(), relationOr() };
        QString choice;
        ChooseFlatItem(QStringLiteral("选择框"), QStringLiteral("请选择一个逻辑关系："), items, 0, choice);
        if (choice.isEmpty())
            return; // cancelled
        LastRelation = choice == relationOr() ? 1 : 0;
        appendRow({ {}, {}, {}, choice });
    }
    appendRow({ cbxField->currentText(), cbxFactor->currentText(), editValue->text(), {} });
}

bool TFrmQuerySet::CheckDuplicate()
{
    const LogicRow wanted { cbxField->currentText(), cbxFactor->currentText(), editValue->text(), {} };
    const int count = lvwLogic->topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        const LogicRow row = rowOf(lvwLogic->topLevelItem(i));
        if (row.label != wanted.label || row.condition != wanted.condition || row.value != wanted.value)
            continue;
        // The expression just added, entered again: the user means to go.
        if (i == count - 1 && btnAddLogic->isVisible())
            btnOK->click();
        else
            ShowFlatMessage(
                QStringLiteral("该逻辑表达式已经存在。"), MessageKind::Information, buttonBit(DialogButton::OK));
        return false;
    }
    return true;
}

void TFrmQuerySet::btnClearLogicClick()
{
    lvwLogic->clear();
}

void TFrmQuerySet::btnOKClick()
{
    if (BuildWhereText())
        done(ResultOK);
}

void TFrmQuerySet::btnExitClick()
{
    done(ResultCancel);
}

void TFrmQuerySet::btnHelpClick()
{
    ShowFlatMessage(HelpText, MessageKind::Information, buttonBit(DialogButton::OK));
}

// Changing --------------------------------------------------------------------

void TFrmQuerySet::setChanging(bool on)
{
    btnModifyOK->setVisible(on);
    btnModifyCancel->setVisible(on);
    btnAddLogic->setVisible(!on);
}

void TFrmQuerySet::BeginModify()
{
    QTreeWidgetItem *item = selectedRow();
    if (!item || rowOf(item).isRelation()) {
        ShowFlatMessage(
            QStringLiteral("请选择一个逻辑表达式。"), MessageKind::Information, buttonBit(DialogButton::OK));
        lvwLogic->setFocus(Qt::OtherFocusReason);
        return;
    }
    setChanging(true);
    m_changingRowId = item->data(ColLabel, RowIdRole).toInt();
    const LogicRow row = rowOf(item);
    cbxField->setCurrentIndex(cbxField->findText(row.label, Qt::MatchExactly | Qt::MatchCaseSensitive));
    cbxFactor->setCurrentIndex(cbxFactor->findText(row.condition, Qt::MatchExactly | Qt::MatchCaseSensitive));
    editValue->setText(row.value);
}

void TFrmQuerySet::btnModifyOKClick(QueryButton *sender)
{
    if (sender->Tag == 0) {
        // A change may empty the value or repeat another row, but it must name a
        // field and a condition and hold a value the field can take.
        if (!checkEntry(true))
            return;
        // The change goes into the row it began on; a row deleted meanwhile
        // leaves nothing to write into.
        for (int i = 0; i < lvwLogic->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = lvwLogic->topLevelItem(i);
            if (item->data(ColLabel, RowIdRole).toInt() == m_changingRowId && !rowOf(item).isRelation()) {
                writeRow(item, { cbxField->currentText(), cbxFactor->currentText(), editValue->text(), {} });
                break;
            }
        }
    }
    m_changingRowId = 0;
    setChanging(false);
}

// Menu ----------------------------------------------------------------------

void TFrmQuerySet::pmnuSetFieldPopup()
{
    QTreeWidgetItem *item = selectedRow();
    if (!item)
        return;
    const bool relation = rowOf(item).isRelation();
    mnuModifyLogic->setEnabled(relation);
    mnuModifyField->setEnabled(!relation);
}

void TFrmQuerySet::mnuDelFieldClick(QAction *sender)
{
    switch (sender->data().toInt()) {
    case 0:
        cbxField->setFocus(Qt::OtherFocusReason);
        break;
    case 1:
        BeginModify();
        break;
    case 2:
        DeleteSelected();
        break;
    default:
        break;
    }
}

void TFrmQuerySet::mnuLogicANDClick(QAction *sender)
{
    QTreeWidgetItem *item = selectedRow();
    // Only a relation row takes a relation: written into an expression it
    // would turn that row into a relation.
    if (!item || !rowOf(item).isRelation())
        return;
    item->setText(ColRelation, sender->data().toInt() == 0 ? relationOr() : relationAnd());
}

void TFrmQuerySet::DeleteSelected()
{
    QTreeWidgetItem *item = selectedRow();
    if (!item) {
        ShowFlatMessage(
            QStringLiteral("请选择一个逻辑表达式。"), MessageKind::Information, buttonBit(DialogButton::OK));
        lvwLogic->setFocus(Qt::OtherFocusReason);
        return;
    }
    const int p = lvwLogic->indexOfTopLevelItem(item);
    auto removeAt = [this](int at) {
        if (at >= 0 && at < lvwLogic->topLevelItemCount())
            delete lvwLogic->takeTopLevelItem(at);
    };
    if (rowOf(item).isRelation()) {
        const int answer
            = ShowFlatMessage(QStringLiteral("删除该逻辑关系，将同时删除与之关联的逻辑表达式。\r\n您确认继续吗？"),
                MessageKind::Confirmation, buttonBit(DialogButton::Yes) | buttonBit(DialogButton::No));
        if (answer == ResultNo)
            return;
        removeAt(p);
        removeAt(p); // the expression after the relation
        return;
    }
    const int answer = ShowFlatMessage(QStringLiteral("您确认删除该逻辑表达式吗？"), MessageKind::Confirmation,
        buttonBit(DialogButton::Yes) | buttonBit(DialogButton::No));
    if (answer == ResultNo)
        return;
    removeAt(p);
    removeAt(p == 0 ? 0 : p - 1); // the relation after the first row, else the one before
}

} // namespace sqda

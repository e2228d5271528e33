#include "TfrmQuery.h"

#include "QuerySql.h"
#include "QueryToolImages.h"
#include "SavedQueryActions.h"
#include "TAdvDBGridEh.h"

#include "data/ClientDataSet.h"
#include "env/ScreenEnvironment.h"
#include "host/CoorDisp.h"
#include "host/HostContext.h"
#include "host/HostGuard.h"
#include "host/LibraryWindows.h"
#include "host/ScreenFonts.h"
#include "host/ScreenInput.h"
#include "host/ShowHostError.h"
#include "report/GridReport.h"
#include "report/ReportVariables.h"
#include "reportui/TRMFormReport.h"
#include "ui/DialogState.h"
#include "ui/ShortcutHelp.h"
#include "ui/TRopWin.h"
#include "ui/ToolBarItems.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace sqda {

namespace {

const QColor LineGreen = colorFromBgr(32768); // the line above the listing, the title row
const QColor PanelFace = colorFromBgr(14614267); // condition panel and listing background

const QString Title = QStringLiteral("商圈档案查询");

// The listing's columns: code and name shown, the department only searched on.
FieldDefs listingFields()
{
    return {
        { QStringLiteral("f_sqbm"), FieldType::String, 12, QStringLiteral("商圈编码"), true },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, QStringLiteral("商圈名称"), true },
        { QStringLiteral("f_bmbm"), FieldType::String, 12, QStringLiteral("部门编码"), false },
    };
}

} // namespace

TfrmQuery::TfrmQuery(QWidget *parentControl)
    : TFrmBase(parentControl)
    , MemoCondition([this] { return makeConditionPanel(); })
{
    setObjectName(QStringLiteral("frmQuery"));
    setWindowTitle(QStringLiteral("门店查询"));
    resize(696, 480);
    PanelMain->setGeometry(0, 0, 696, 480);

    ImageList2 = makeQueryToolImages();
    cds = new ClientDataSet(this);
    cds->setObjectName(QStringLiteral("cds"));
    cds->setPersistentFields(listingFields());
    cds->close(); // the listing stays empty, and closed, until the first search
    RopHelp = new TRopWin(this);
    RopHelp->setObjectName(QStringLiteral("RopHelp"));
    setupQueryHelp(*RopHelp);

    Panel1 = new QFrame(PanelMain);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    auto *outer = new QVBoxLayout(PanelMain);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(Panel1);

    buildToolBar();
    buildListing();
    PrintDG = new report::TRMFormReport(this);
    PrintDG->setObjectName(QStringLiteral("PrintDG"));
    PrintDG->setPrintControl(dgdView);
    auto *layout = new QVBoxLayout(Panel1);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tlbInCounterSearch);
    // The condition panel goes between the two when it is made.
    layout->addWidget(Panel);
    layout->addWidget(dgdView, 1);

    SavedQueries = new SavedQueryActions(this);
    FormCreate();
}

TfrmQuery::~TfrmQuery()
{
    // The children go after this destructor; no key may reach the
    // half-destroyed screen meanwhile. The base keeps the controls while one
    // of the screen's actions or calls still runs.
    removeKeyPreview();
}

// Layout --------------------------------------------------------------------

void TfrmQuery::buildToolBar()
{
    tlbInCounterSearch = new QFrame(Panel1);
    tlbInCounterSearch->setObjectName(QStringLiteral("tlbInCounterSearch"));
    tlbInCounterSearch->setFixedHeight(36);
    tlbInCounterSearch->setMinimumWidth(312); // its buttons

    btnSearch
        = addToolButton("btnSearch", QStringLiteral("重  查"), QStringLiteral("F2"), 0, 0, &TfrmQuery::btnSearchClick);
    ButFilter = addToolButton("ButFilter", QStringLiteral("过  滤"), QString(), 37, 7, &TfrmQuery::ButFilterClick);
    btnChoose
        = addToolButton("btnChoose", QStringLiteral("选  项"), QStringLiteral("F3"), 74, 1, &TfrmQuery::btnChooseClick);
    btnShow = addToolButton("btnShow", QStringLiteral("条  件"), QString(), 111, 5, &TfrmQuery::btnShowClick);
    ToolButton1 = addSeparator("ToolButton1", 148);
    btnPreview = addToolButton(
        "btnPreview", QStringLiteral("预  览"), QStringLiteral("Ctrl+V"), 156, 2, &TfrmQuery::btnPreviewClick);
    btnPrint = addToolButton(
        "btnPrint", QStringLiteral("打  印"), QStringLiteral("Ctrl+P"), 193, 3, &TfrmQuery::btnPrintClick);
    ToolButton2 = addSeparator("ToolButton2", 230);
    btnHand = addToolButton("btnHand", QStringLiteral("助  手"), QString(), 238, 6, &TfrmQuery::btnHandClick);
    btnExit = addToolButton("btnExit", QStringLiteral("退  出"), QString(), 275, 4, &TfrmQuery::btnExitClick);

    // Pressed exactly while the condition panel shows; only btnShowClick moves it.
    btnShow->setCheckable(true);
    connect(btnShow, &QToolButton::toggled, this, [this] {
        if (btnShow->isChecked() != conditionPanelShown())
            btnShow->setChecked(conditionPanelShown());
    });
}

QToolButton *TfrmQuery::addToolButton(
    const char *name, const QString &caption, const QString &hint, int x, int image, void (TfrmQuery::*handler)())
{
    QToolButton *button
        = makeToolButton(tlbInCounterSearch, name, caption, ImageList2.value(image), QRect(x, 0, 37, 36));
    button->setToolTip(hint);
    connect(
        button, &QToolButton::clicked, this, [this, handler] { userAction([this, handler] { (this->*handler)(); }); });
    return button;
}

QFrame *TfrmQuery::addSeparator(const char *name, int x)
{
    return makeToolSeparator(tlbInCounterSearch, name, QRect(x, 4, 8, 28));
}

QTextEdit *TfrmQuery::makeConditionPanel()
{
    auto *memo = new QTextEdit(Panel1);
    memo->setObjectName(QStringLiteral("MemoCondition"));
    // No caption beside either: a screen reader says what they hold.
    memo->setAccessibleName(QStringLiteral("查询条件"));
    memo->setReadOnly(true);
    memo->setAcceptRichText(false);
    memo->setFrameShape(QFrame::NoFrame);
    memo->setFixedHeight(86);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette memoPal = memo->palette();
    memoPal.setColor(QPalette::Base, PanelFace);
    memo->setPalette(memoPal);
    // 8 pt at 96 dpi; the name maps to a sans face whose fallback for Chinese
    // is the Simplified Chinese one.
    QFont memoFont(QStringLiteral("MS Sans Serif"));
    memoFont.setPixelSize(11);
    memo->setFont(memoFont);
    memo->hide();
    // Between the tool bar and the green line, on screen and in the focus
    // chain, as if the screen had been built with it.
    if (auto *layout = qobject_cast<QVBoxLayout *>(Panel1->layout()))
        layout->insertWidget(1, memo);
    // Qt moves a widget in the chain only after one that takes focus; the tool
    // bar's buttons take none.
    QWidget *before = Panel->previousInFocusChain();
    const Qt::FocusPolicy policy = before->focusPolicy();
    before->setFocusPolicy(Qt::TabFocus);
    QWidget::setTabOrder(before, memo);
    before->setFocusPolicy(policy);
    return memo;
}

void TfrmQuery::buildListing()
{
    Panel = new QFrame(Panel1);
    Panel->setObjectName(QStringLiteral("Panel"));
    Panel->setFrameShape(QFrame::NoFrame);
    Panel->setFixedHeight(1);
    Panel->setAutoFillBackground(true);
    QPalette linePal = Panel->palette();
    linePal.setColor(QPalette::Window, LineGreen);
    Panel->setPalette(linePal);

    dgdView = new TAdvDBGridEh(Panel1);
    dgdView->setAccessibleName(QStringLiteral("查询结果"));
    dgdView->setObjectName(QStringLiteral("dgdView"));
    dgdView->setFrameShape(QFrame::NoFrame);
    dgdView->setFont(songTi9());
    dgdView->titleFont = songTi9();
    dgdView->footerFont = songTi9();
    dgdView->titleColor = LineGreen;
    dgdView->titleTextColor = Qt::white;
    dgdView->footerColor = Qt::yellow;
    QPalette gridPal = dgdView->palette();
    gridPal.setColor(QPalette::Base, PanelFace);
    dgdView->setPalette(gridPal);
    dgdView->setSortMarkingEnabled(true);
    dgdView->setMultiSortMarking(true);
    dgdView->AutoSorted = true;
    dgdView->ShowSumCount = false;
    dgdView->setFooterShown(true);

    // A column's default width: its field's characters in the grid's digits.
    GridColumn code;
    code.fieldName = QStringLiteral("f_sqbm");
    code.width = QFontMetrics(songTi9()).horizontalAdvance(QLatin1Char('0')) * 12 + 4;
    dgdView->addColumn(code);
    GridColumn name;
    name.fieldName = QStringLiteral("f_sqmc");
    name.width = 164;
    dgdView->addColumn(name);
    // Bound once its columns are set: the title row is laid out for them only,
    // not first for every field and then for each column added.
    dgdView->setDataSet(cds);
    dgdView->setTypeAheadFields(code.fieldName, name.fieldName);
}

// Creation, showing, closing -------------------------------------------------

void TfrmQuery::FormCreate()
{
    TFrmBase::FormCreate();
    CloseOnShow = false;

    QString errorText;
    try {
        const HostContext &ctx = hostContext();
        Environment = openEnvironment(ctx.DataService, this);
        Info.OperatorCode = ctx.OperatorCode;
        const Status loaded = Environment->GetSysmsgInfo(Info, environmentRequest());
        CloseOnShow = !loaded;
        errorText = loaded.error();
    } catch (const std::exception &e) {
        CloseOnShow = true;
        errorText = QString::fromUtf8(e.what());
    }
    if (CloseOnShow) {
        showHostErrorText(this, errorText);
        return; // the layout is not loaded, and will not be saved either
    }

    // Units that sell at front counters see the trade areas of their own department only.
    if (Info.dwlx == QLatin1String("02") || Info.dwlx == QLatin1String("11") || Info.dwlx == QLatin1String("01"))
        DepartmentFilter = Info.dybm;

    runGuarded([this] { dgdView->LoadColumnLayout(layoutFile(), layoutSection(), QString()); });
}

void TfrmQuery::formShow()
{
    if (CloseOnShow) {
        close(); // the base close handling notifies the host once and frees the form
        return;
    }
    installKeyPreview();
    dgdView->setFocus();
    // Once the screen is up and laid out, as if the user had chosen it.
    QTimer::singleShot(0, this, [this] { userAction([this] { SavedQueries->runAutoRunQuery(); }); });
}

void TfrmQuery::installKeyPreview()
{
    if (m_keyPreview)
        return;
    auto *preview = new KeyPreview(
        [this](QObject *watched, QEvent *event) {
            if (event->type() != QEvent::KeyPress)
                return false;
            // The key as the focused control of this screen receives it first;
            // the copies passed on to its parents are not seen again.
            auto *w = qobject_cast<QWidget *>(watched);
            if (!w || w != QApplication::focusWidget() || (w != this && !isAncestorOf(w)))
                return false;
            if (hostCallInFlight())
                return true; // no new action until the host has answered
            // Not consumed: the focused control gets the key too, unless the
            // screen went during the action.
            return !userAction([&] { FormKeyDown(static_cast<QKeyEvent *>(event)); });
        },
        this);
    qApp->installEventFilter(preview);
    m_keyPreview = preview;
}

void TfrmQuery::removeKeyPreview()
{
    sqda::removeKeyPreview(m_keyPreview);
}

void TfrmQuery::formClosing()
{
    removeKeyPreview();
    Environment.reset();
    // After a failed environment load the layout was never read: writing the
    // design's layout now would overwrite the user's.
    if (!CloseOnShow)
        dgdView->SaveColumnLayout(layoutFile(), layoutSection(), QString());
}

// Search and filter ------------------------------------------------------------

void TfrmQuery::btnSearchClick()
{
    const QPointer<TfrmQuery> self(this);
    QString whereText;
    const bool confirmed = dgdView->ShowQueryDialog(whereText, Title, QString(), QString(), QString());
    if (!self || !confirmed)
        return;
    // Until the new rows are listed, what describes the listing describes the
    // rows it shows; a refusal, an unreadable answer or a host error on the way
    // leaves it so.
    auto notListed = qScopeGuard([this, self] {
        if (self)
            dgdView->QueryNotListed();
    });
    if (runSearch(whereText))
        notListed.dismiss();
}

bool TfrmQuery::runSearch(const QString &whereText)
{
    const QPointer<TfrmQuery> self(this);
    QString statement = QuerySql::searchStatement(DepartmentFilter, whereText);

    QVariant packet;
    bool answered = false;
    {
        const QString kind = callHost([] { return CoorDisp::current().GetDatabaseType(); }).toString();
        if (!self)
            return false;
        statement = QuerySql::forDatabase(statement, kind);
        const WaitCursor wait;
        // The dialog's place is drawn over before the host holds the thread.
        repaint();
        answered = callHost([&] { return CoorDisp::current().QueryData(statement, packet); });
        if (!self)
            return false;
    }
    if (!answered) {
        ShowHostError(this, packet); // the listing, footer and panel stay as they were
        return false;
    }
    // A packet the listing cannot take leaves the rows it held.
    if (const Status loaded = cds->loadPacket(packet.toByteArray()); !loaded) {
        showHostErrorText(this, loaded.error());
        return false;
    }
    showCount();
    showConditions();
    return true;
}

void TfrmQuery::ButFilterClick()
{
    const QPointer<TfrmQuery> self(this);
    const bool applied = dgdView->ShowFilterDialog(QStringLiteral("商圈档案过滤"), true);
    if (!self || !applied)
        return;
    // Before the first search the listing is closed: it has no rows to count.
    if (cds->isActive())
        showCount();
    showConditions();
}

void TfrmQuery::showCount()
{
    // The first column in column order, shown or not: a hidden code column
    // keeps the count out of sight.
    dgdView->setFooter(0, FooterKind::StaticText,
        QStringLiteral("合计:") + QString::number(cds->recordCount()) + QStringLiteral("条"));
}

void TfrmQuery::showConditions()
{
    MemoCondition->clear();
    QString text = dgdView->ConditionText(QString());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    MemoCondition->setPlainText(text);
}

bool TfrmQuery::conditionPanelShown() const
{
    return MemoCondition.made() && !MemoCondition.made()->isHidden();
}

int TfrmQuery::conditionLineCount() const
{
    const QTextEdit *memo = MemoCondition.made();
    QStringList lines = (memo ? memo->toPlainText() : QString()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return int(lines.size());
}

// Columns, conditions, help, exit ---------------------------------------------------

void TfrmQuery::btnChooseClick()
{
    dgdView->ChooseColumns();
}

void TfrmQuery::btnShowClick()
{
    MemoCondition->setVisible(MemoCondition->isHidden());
    btnShow->setChecked(!MemoCondition->isHidden());
}

void TfrmQuery::btnHandClick()
{
    RopHelp->ShowPopup();
}

void TfrmQuery::btnExitClick()
{
    close();
}

// Preview and print ------------------------------------------------------------

TfrmQuery::ListingSettings TfrmQuery::listingSettings() const
{
    ListingSettings s;
    s.title = Title;
    s.oper = Info.OperatorName;
    s.date = Info.ServerDate;
    s.time = Info.ServerDateTime.mid(8, 8); // characters 9 to 16; fewer, or none, when shorter
    const bool shown = conditionPanelShown();
    if (shown)
        s.condition = dgdView->ConditionText(QString());
    s.headerHeight = report::listingHeaderHeight(shown, shown ? conditionLineCount() : 0);
    return s;
}

void TfrmQuery::btnPreviewClick()
{
    if (!cds->isActive())
        return; // no search has succeeded yet
    startListing(false);
}

void TfrmQuery::btnPrintClick()
{
    if (!cds->isActive())
        return;
    // Owned by the screen, which may go while the box is up; the box goes with
    // it and answers no button.
    if (showMessageBox(this, QMessageBox::Information, QStringLiteral("提示"),
            QStringLiteral("请准备好打印机，进行打印!"), QMessageBox::Ok | QMessageBox::Cancel)
        != QMessageBox::Ok)
        return;
    startListing(true);
}

void TfrmQuery::startListing(bool print)
{
    const QPointer<TAdvDBGridEh> grid(dgdView);
    // The titles print black; on screen they are white on green. White again
    // however the run ends.
    struct TitleColour
    {
        QPointer<TAdvDBGridEh> grid;
        ~TitleColour()
        {
            if (!grid)
                return;
            grid->titleTextColor = Qt::white;
            grid->horizontalHeader()->viewport()->update();
        }
    } restore { grid };
    dgdView->titleTextColor = Qt::black;
    dgdView->horizontalHeader()->viewport()->update();

    const ListingSettings s = listingSettings();
    report::ReportVariables &v = report::ReportVariables::global();
    v.set(QStringLiteral("Oper"), s.oper);
    v.set(QStringLiteral("Date"), s.date);
    v.set(QStringLiteral("Time"), s.time);
    v.set(QStringLiteral("Title"), s.title);
    v.set(QStringLiteral("Condi"), s.condition);
    PrintDG->setPageHeaderHeight(s.headerHeight);
    if (print) {
        PrintDG->PrintListing();
    } else {
        PrintDG->setShowMasterData(false);
        PrintDG->PreviewListing();
    }
}

// Keyboard -------------------------------------------------------------------

void TfrmQuery::FormKeyDown(QKeyEvent *event)
{
    const int key = event->key();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (key == Qt::Key_P && ctrl)
        btnPrintClick();
    else if (key == Qt::Key_V && ctrl)
        btnPreviewClick();
    else if (key == Qt::Key_Escape)
        btnExitClick();
    else if (key == Qt::Key_F2)
        btnSearchClick();
    else if (key == Qt::Key_F3)
        btnChooseClick();
    else if (key == Qt::Key_F4)
        btnShowClick();
}

} // namespace sqda

#include "AreaTreeMenu.h"

#include "AreaFileReader.h"
#include "AreaImportPlan.h"
#include "AreaImportRun.h"
#include "AreaSql.h"
#include "AreaTreeReport.h"
#include "CodeRules.h"
#include "ImportCheckDialog.h"
#include "TAreaTree.h"
#include "TradeArea.h"

#include "data/Packet.h"
#include "host/CoorDisp.h"
#include "host/HostGuard.h"
#include "host/LibraryWindows.h"
#include "host/ScreenFonts.h"
#include "host/ScreenInput.h"
#include "host/ShowHostError.h"
#include "report/PreparedReport.h"
#include "report/ReportFonts.h"
#include "reportui/ReportPreview.h"
#include "ui/DialogState.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>

namespace sqda {

namespace {

const QString XlsxFilter = QStringLiteral("Excel 工作簿 (*.xlsx)");
const QString CsvFilter = QStringLiteral("文本文件 (*.csv)");

} // namespace

AreaTreeMenu::AreaTreeMenu(QWidget *screen, TAreaTree *tree, HostCallGate *gate, Hooks hooks)
    : QObject(screen)
    , m_screen(screen)
    , m_tree(tree)
    , m_gate(gate)
    , m_hooks(std::move(hooks))
    , m_menu(new QMenu(screen))
{
    m_menu->setObjectName(QStringLiteral("pmnuTree"));
    m_menu->setFont(songTi9());
    // The screen's colours: its panel face, and its green for the item under the mouse.
    const QColor face = colorFromBgr(14614267), green = colorFromBgr(32768);
    m_menu->setStyleSheet(QStringLiteral("QMenu { background: %1; border: 1px solid %2; padding: 2px; }"
                                         "QMenu::item { padding: 3px 24px 3px 20px; color: black; }"
                                         "QMenu::item:selected { background: %2; color: white; }"
                                         "QMenu::item:disabled { color: gray; }"
                                         "QMenu::separator { height: 1px; background: %2; margin: 3px 6px; }")
                              .arg(face.name(), green.name()));
    const auto item = [this](const char *name, const QString &text, void (AreaTreeMenu::*slot)()) {
        QAction *a = m_menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, [this, slot] {
            if (!busy())
                runGuarded([this, slot] { (this->*slot)(); });
        });
    };
    item("mnuExportXlsx", QStringLiteral("导出到 Excel…"), &AreaTreeMenu::exportXlsx);
    item("mnuExportCsv", QStringLiteral("导出到文本文件(CSV)…"), &AreaTreeMenu::exportCsv);
    item("mnuPreview", QStringLiteral("打印预览…"), &AreaTreeMenu::previewTree);
    item("mnuPrint", QStringLiteral("打印…"), &AreaTreeMenu::printTree);
    m_menu->addSeparator();
    item("mnuImport", QStringLiteral("从文件导入…"), &AreaTreeMenu::importFile);

    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tree, &QWidget::customContextMenuRequested, this,
        [this](const QPoint &pos) { popup(m_tree->viewport()->mapToGlobal(pos)); });
    m_tree->installEventFilter(this);
}

AreaTreeMenu::~AreaTreeMenu() = default;

bool AreaTreeMenu::busy() const
{
    return m_gate->inFlight();
}

QWidget *AreaTreeMenu::owner() const
{
    return m_screen->window();
}

void AreaTreeMenu::popup(const QPoint &globalPos)
{
    if (busy())
        return;
    m_menu->popup(globalPos);
}

bool AreaTreeMenu::eventFilter(QObject *watched, QEvent *event)
{
    // The keyboard's ways to the menu, wherever the platform leaves them as keys.
    if (watched == m_tree && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)
            || (key->key() == Qt::Key_Menu && key->modifiers() == Qt::NoModifier)) {
            QRect at = m_tree->visualItemRect(m_tree->selectedNode());
            if (!at.isValid())
                at = QRect(0, 0, 1, 1);
            popup(m_tree->viewport()->mapToGlobal(at.bottomLeft()));
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void AreaTreeMenu::warn(const QString &text) const
{
    // On the heap as the screen's child: the host may destroy the screen while it is up.
    showMessageBox(m_screen, QMessageBox::Warning, QStringLiteral("警告"), text);
}

QString AreaTreeMenu::askFileName(
    QWidget *parent, const QString &caption, const QString &filter, const QString &suggested, bool open)
{
    return sqda::askFileName(parent, caption, filter, open, suggested);
}

std::optional<AreaTreeMenu::Department> AreaTreeMenu::loadDepartment()
{
    const QPointer<AreaTreeMenu> self(this);
    const QString department = m_hooks.department();
    QVariant packet;
    const bool answered
        = m_gate->run([&] { return CoorDisp::current().QueryData(AreaSql::treeLoad(department), packet); });
    if (!self)
        return std::nullopt;
    if (!answered) {
        ShowHostError(m_screen, packet);
        return std::nullopt;
    }
    Result<DataStore> store = Packet::decode(packet.toByteArray());
    if (!store) {
        showErrorMessage(store.error());
        return std::nullopt;
    }
    Result<std::vector<AreaLine>> lines = AreaExport::linesInTreeOrder(*store);
    if (!lines) {
        showErrorMessage(lines.error());
        return std::nullopt;
    }
    QVariant levels = department;
    const bool levelsAnswered = m_gate->run([&] { return CoorDisp::current().GetCodeLevels(levels); });
    if (!self)
        return std::nullopt;
    if (!levelsAnswered) {
        ShowHostError(m_screen, levels);
        return std::nullopt;
    }
    Department d;
    d.levelText = levels.toString();
    d.sheet.department = department;
    d.sheet.codeLevels = CodeRules::formatCodeLevels(d.levelText);
    d.sheet.areas = std::move(*lines);
    d.names.reserve(qsizetype(d.sheet.areas.size()));
    for (const AreaLine &l : d.sheet.areas)
        d.names.insert(l.code, l.name);
    return d;
}

void AreaTreeMenu::exportXlsx()
{
    exportTo(true);
}

void AreaTreeMenu::exportCsv()
{
    exportTo(false);
}

void AreaTreeMenu::exportTo(bool xlsx)
{
    const QPointer<AreaTreeMenu> self(this);
    std::optional<Department> d = loadDepartment();
    if (!d)
        return;
    QWidget *parent = owner();
    const QString suggested = QStringLiteral("商圈档案_%1.%2")
                                  .arg(d->sheet.department, xlsx ? QStringLiteral("xlsx") : QStringLiteral("csv"));
    const QString path
        = m_askFileName(parent, xlsx ? QStringLiteral("导出到 Excel") : QStringLiteral("导出到文本文件(CSV)"),
            xlsx ? XlsxFilter : CsvFilter, suggested, false);
    if (path.isEmpty() || !self)
        return;
    const QPointer<QWidget> ownerGuard(parent);
    ProgressWindow progress(parent, QStringLiteral("请稍候"), QStringLiteral("正在导出商圈…"),
        std::max(1, int(d->sheet.areas.size())), m_progressDelay);
    // False once the user cancelled, or the window went: nothing to show the rest on.
    const auto step = [&progress](int done, int total) { return progress.step(done, std::max(1, total)); };
    Status written;
    {
        // The screen takes no action while the progress window lets events through.
        const WaitCursor wait;
        m_gate->run([&] {
            written = xlsx ? AreaExport::writeXlsx(d->sheet, path, step) : AreaExport::writeCsv(d->sheet, path, step);
        });
    }
    progress.finish();
    if (!self)
        return;
    if (!written)
        warn(written.error());
}

void AreaTreeMenu::previewTree()
{
    printOrPreview(true);
}

void AreaTreeMenu::printTree()
{
    printOrPreview(false);
}

void AreaTreeMenu::printOrPreview(bool preview)
{
    const QPointer<AreaTreeMenu> self(this);
    std::optional<Department> d = loadDepartment();
    if (!d)
        return;
    QVariant dateTime;
    const bool dated = m_gate->run([&] { return CoorDisp::current().GetServerDateTime(dateTime); });
    if (!self)
        return;
    const QString stamp = dated ? dateTime.toString() : QString();
    // Everything the report needs is its own: the preview may outlive the screen.
    auto variables = std::make_shared<report::ReportVariables>();
    AreaTreeReport::fillVariables(*variables, d->sheet, stamp.left(8), stamp.mid(8, 8), m_hooks.operatorName());
    auto source = std::make_shared<AreaTreeSource>(d->sheet.areas);
    const report::GridDescription grid = AreaTreeReport::grid();
    const report::GridReportOptions options = AreaTreeReport::options();
    const auto build = [grid, options, rows = source->rowCount()](
                           const report::PageSetup &page) -> Result<std::shared_ptr<const report::PreparedReport>> {
        auto layout = report::buildGridReport(grid, options, page, report::fontTextMeasure(page.logicalDpi));
        if (!layout)
            return Error { layout.error() };
        auto prepared
            = report::PreparedReport::prepare(std::make_shared<const report::ReportLayout>(std::move(*layout)), rows);
        if (!prepared)
            return Error { prepared.error() };
        return std::make_shared<const report::PreparedReport>(std::move(*prepared));
    };
    auto prepared = build(report::defaultListingPage());
    if (!prepared) {
        warn(prepared.error());
        return;
    }
    QWidget *parent = owner();
    if (!preview) {
        report::printWithProgress(**prepared, *source, *variables, m_printer, parent);
        return;
    }
    QPointer<report::ReportPreview> window = new report::ReportPreview(*prepared, *source, *variables, parent);
    window->setObjectName(QStringLiteral("AreaTreePreview"));
    window->setWindowTitle(QStringLiteral("商圈档案 - 打印预览"));
    window->setPrinterProvider(m_printer);
    window->setRebuild(build);
    Q_EMIT previewShown(window);
    window->exec();
    delete window.data(); // null when it went with its window
}

void AreaTreeMenu::importFile()
{
    const QPointer<AreaTreeMenu> self(this);
    QWidget *parent = owner();
    const QString path = m_askFileName(parent, QStringLiteral("从文件导入商圈"),
        QStringLiteral("商圈文件 (*.xlsx *.csv *.txt);;Excel 工作簿 (*.xlsx);;文本文件 (*.csv *.txt);;所有文件 (*)"),
        QString(), true);
    if (path.isEmpty() || !self)
        return;
    Result<ImportRows> rows = Error {};
    {
        const WaitCursor wait;
        rows = AreaFileReader::read(path);
    }
    if (!rows) {
        warn(rows.error());
        return;
    }
    std::optional<Department> d = loadDepartment();
    if (!d)
        return;
    const AreaImportPlan plan = AreaImportPlan::make(std::move(*rows), d->names, d->levelText, TradeArea::NameWidth);

    bool updateNames = false;
    {
        QPointer<ImportCheckDialog> check = new ImportCheckDialog(plan, QFileInfo(path).fileName(), parent);
        const int answer = check->exec();
        if (!check)
            return;
        updateNames = check->updateNames();
        delete check.data();
        if (answer != QDialog::Accepted || !self)
            return;
    }

    AreaImportRun run(CoorDisp::current(), d->sheet.department, plan, updateNames);
    ProgressWindow progress(
        parent, QStringLiteral("请稍候"), QStringLiteral("正在导入商圈…"), std::max(1, run.total()), m_progressDelay);
    // The whole run counts as one host call: the progress window lets events
    // through between rows, and the screen must take no action of its own
    // meanwhile (its "删除" on an area the import is about to hang rows under).
    // The progress window is not part of the screen, so its "取消" still works.
    m_gate->run([&] {
        while (!run.finished()) {
            if (progress.cancelled()) {
                run.cancel();
                break;
            }
            run.step();
            if (!self)
                return; // the screen went; the rows stored so far are whole
            progress.setLabel(QStringLiteral("正在导入商圈：第%1/%2行").arg(run.done()).arg(run.total()));
            progress.step(run.done());
        }
    });
    if (!self)
        return;
    progress.finish();

    if (run.changedAnything() && m_hooks.reload) {
        m_hooks.reload(); // once, at the end
        if (!self)
            return;
    }
    QString heading = QStringLiteral("导入%1，改名%2，跳过%3，拒绝%4，未执行%5。")
                          .arg(run.count(ImportOutcome::Stored))
                          .arg(run.count(ImportOutcome::Renamed))
                          .arg(run.count(ImportOutcome::Skipped))
                          .arg(run.count(ImportOutcome::Refused))
                          .arg(run.count(ImportOutcome::NotRun));
    if (run.stopped())
        heading = QStringLiteral("导入中止：%1。\n").arg(run.stopReason()) + heading;
    std::vector<QStringList> table;
    table.reserve(run.outcomes().size());
    for (const ImportOutcome &o : run.outcomes())
        table.push_back({ QString::number(o.line), o.code, o.name, AreaImportRun::kindText(o.kind), o.message });
    const QString csv = run.summaryCsv();
    const AskFileName ask = m_askFileName;
    // The summary holds copies only; saving needs nothing of the screen.
    QPointer<ImportSummaryDialog> summary = new ImportSummaryDialog(
        std::move(table), heading,
        [csv, ask](QWidget *owner) {
            const QString file
                = ask(owner, QStringLiteral("保存导入结果"), CsvFilter, QStringLiteral("导入结果.csv"), false);
            if (file.isEmpty())
                return;
            QSaveFile out(file);
            const QByteArray bytes = QByteArray("\xEF\xBB\xBF") + csv.toUtf8();
            if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
                showMessageBox(owner, QMessageBox::Warning, QStringLiteral("警告"),
                    QStringLiteral("无法写入文件“%1”：%2").arg(QFileInfo(file).fileName(), out.errorString()));
            }
        },
        parent);
    summary->exec();
    delete summary.data();
}

} // namespace sqda

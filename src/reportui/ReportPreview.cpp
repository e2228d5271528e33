#include "ReportPreview.h"

#include "PageSetupDialog.h"
#include "host/AccessibleNames.h"
#include "host/LibraryWindows.h"
#include "host/ScreenFonts.h"
#include "report/ReportFile.h"
#include "report/XlsxExport.h"
#include "ui/FlatButton.h"
#include "ui/FlatStyle.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStringMatcher>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <optional>

namespace sqda::report {

namespace {

// Zoom steps of the zoom in / zoom out tools.
constexpr double ZoomSteps[] = { 0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0 };
constexpr double MinZoom = 0.1;
constexpr double MaxZoom = 4.0;
constexpr int PageGap = 12; // grey around the page, in pixels

const QColor BackColor(0xEE, 0xF3, 0xFA);
const QColor LineColor(0x7F, 0x9D, 0xB9);

} // namespace

// The current page on white paper, scaled by the zoom, with the find hits of the
// page laid over it.
class ReportPreview::PageView : public QWidget
{
public:
    explicit PageView(ReportPreview *preview)
        : QWidget(preview)
        , m_preview(preview)
    {
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    // Device pixels of this widget per report unit.
    double scale() const { return m_preview->m_zoom * m_preview->m_painter->unitsToDevice(*this); }
    QSize pageSize() const
    {
        const PageSetup &page = m_preview->m_report->layout().page;
        return QSize(qCeil(page.pageWidth() * scale()), qCeil(page.pageHeight() * scale()));
    }
    void fit() { setFixedSize(pageSize() + QSize(2 * PageGap, 2 * PageGap)); }
    QPoint toWidget(QPoint units) const
    {
        return QPoint(PageGap + qRound(units.x() * scale()), PageGap + qRound(units.y() * scale()));
    }

protected:
    // Ctrl with the wheel zooms; the wheel alone scrolls the page.
    void wheelEvent(QWheelEvent *e) override
    {
        if (!(e->modifiers() & Qt::ControlModifier) || e->angleDelta().y() == 0) {
            e->ignore();
            return;
        }
        if (e->angleDelta().y() > 0)
            m_preview->zoomIn();
        else
            m_preview->zoomOut();
        e->accept();
    }

    void paintEvent(QPaintEvent *e) override
    {
        QPainter p(this);
        // Grey around the page, its shadow and the white paper, each pixel filled
        // once: the three laid over each other filled most of the window twice.
        const QRect paper(QPoint(PageGap, PageGap), pageSize());
        const QRegion shadow = QRegion(paper.translated(3, 3)).subtracted(paper);
        for (const QRect &r : QRegion(e->rect()).subtracted(QRegion(paper).united(shadow)))
            p.fillRect(r, QColor(0x80, 0x80, 0x80));
        for (const QRect &r : shadow.intersected(e->rect()))
            p.fillRect(r, QColor(0x50, 0x50, 0x50));
        p.fillRect(paper.intersected(e->rect()), Qt::white);
        // The part of the page this paint shows: the painter leaves out the rest.
        p.setClipRect(paper.intersected(e->rect()));
        p.translate(PageGap, PageGap);
        p.scale(scale(), scale());
        m_preview->m_painter->paintPage(p, m_preview->m_page);

        // Hits of this page: all in light yellow, the current one stronger.
        const int page = m_preview->m_page;
        const int first = m_preview->firstHitOn(page);
        const std::vector<QRect> &hits = m_preview->hitsOn(page);
        for (size_t i = 0; i < hits.size(); ++i) {
            const bool current = first + int(i) == m_preview->m_hit;
            p.fillRect(hits[i], current ? QColor(255, 140, 0, 120) : QColor(255, 230, 0, 100));
            if (current) {
                p.setPen(QPen(QColor(220, 90, 0), 0));
                p.setBrush(Qt::NoBrush);
                p.drawRect(hits[i]);
            }
        }
    }

private:
    ReportPreview *m_preview;
};

ReportPreview::ReportPreview(std::shared_ptr<const PreparedReport> report, const ReportDataSource &source,
    const ReportVariables &variables, QWidget *parent)
    : QDialog(parent,
        Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint
            | Qt::WindowCloseButtonHint)
    , m_report(std::move(report))
    , m_source(&source)
    , m_variables(&variables)
    , m_painter(std::make_unique<ReportPainter>(*m_report, *m_source, *m_variables))
{
    setWindowTitle(QStringLiteral("打印预览"));
    setModal(true);
    setFont(songTi9());
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, BackColor);
    setPalette(pal);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(4, 4, 4, 4);
    root->setSpacing(4);

    m_toolbar = new QWidget(this);
    auto *tools = new QHBoxLayout(m_toolbar);
    tools->setContentsMargins(0, 0, 0, 0);
    tools->setSpacing(3);
    root->addWidget(m_toolbar);

    const auto addTo = [&](FlatButton *b, auto slot) {
        tools->addWidget(b);
        connect(b, &FlatButton::clicked, this, slot);
    };
    addTo(addTool(QStringLiteral("放大"), "zoomIn", QStringLiteral("放大 (+)")), &ReportPreview::zoomIn);
    addTo(addTool(QStringLiteral("缩小"), "zoomOut", QStringLiteral("缩小 (-)")), &ReportPreview::zoomOut);
    addTo(addTool(QStringLiteral("100%"), "zoom100", QStringLiteral("原始大小")), [this] { setZoom(1.0); });
    addTo(addTool(QStringLiteral("页宽"), "fitWidth", QStringLiteral("按页宽显示")), &ReportPreview::fitWidth);
    addTo(addTool(QStringLiteral("整页"), "wholePage", QStringLiteral("显示整页")), &ReportPreview::wholePage);
    m_zoomLabel = new QLabel(m_toolbar);
    m_zoomLabel->setObjectName(QStringLiteral("zoomLabel"));
    m_zoomLabel->setMinimumWidth(40);
    m_zoomLabel->setAlignment(Qt::AlignCenter);
    tools->addWidget(m_zoomLabel);
    tools->addSpacing(6);

    addTo(addTool(QStringLiteral("首页"), "firstPage", QStringLiteral("第一页 (Home)")), [this] { goToPage(0); });
    addTo(addTool(QStringLiteral("上页"), "previousPage", QStringLiteral("上一页 (PgUp)")),
        [this] { goToPage(m_page - 1); });
    m_pageBox = new QSpinBox(m_toolbar);
    m_pageBox->setObjectName(QStringLiteral("pageBox"));
    m_pageBox->setAccessibleName(QStringLiteral("页码"));
    m_pageBox->setButtonSymbols(QAbstractSpinBox::NoButtons);
    m_pageBox->setKeyboardTracking(false);
    m_pageBox->setAlignment(Qt::AlignRight);
    m_pageBox->setMinimumWidth(48);
    tools->addWidget(m_pageBox);
    m_pageTotal = new QLabel(m_toolbar);
    m_pageTotal->setObjectName(QStringLiteral("pageTotal"));
    tools->addWidget(m_pageTotal);
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int page) { goToPage(page - 1); });
    addTo(
        addTool(QStringLiteral("下页"), "nextPage", QStringLiteral("下一页 (PgDn)")), [this] { goToPage(m_page + 1); });
    addTo(addTool(QStringLiteral("末页"), "lastPage", QStringLiteral("最后一页 (End)")),
        [this] { goToPage(pageCount() - 1); });
    tools->addSpacing(6);

    m_pageSetupButton = addTool(QStringLiteral("页面设置"), "pageSetup", QStringLiteral("纸张、方向和页边距"));
    addTo(m_pageSetupButton, &ReportPreview::pageSetup);
    m_pageSetupButton->hide();
    addTo(addTool(QStringLiteral("打开"), "load", QStringLiteral("打开保存的报表")), &ReportPreview::load);
    addTo(addTool(QStringLiteral("保存"), "save", QStringLiteral("保存报表, 以后再打开")), &ReportPreview::save);
    addTo(addTool(QStringLiteral("打印"), "print", QStringLiteral("在默认打印机上打印")), &ReportPreview::print);
    addTo(addTool(QStringLiteral("导出Excel"), "exportXlsx", QStringLiteral("导出为Excel文件")),
        &ReportPreview::exportXlsx);
    addTo(addTool(QStringLiteral("导出PDF"), "exportPdf", QStringLiteral("导出为PDF文件")), &ReportPreview::exportPdf);
    tools->addStretch();
    addTo(addTool(QStringLiteral("退出"), "exit", QStringLiteral("关闭预览 (Esc)")), &ReportPreview::reject);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("pageArea"));
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_view = new PageView(this);
    m_view->setObjectName(QStringLiteral("page"));
    m_view->setAccessibleName(QStringLiteral("预览页面"));
    m_scroll->setWidget(m_view); // the scroll area owns it now
    root->addWidget(m_scroll, 1);

    // Find and the status line share the bottom row, so the tool bar fits a
    // 1024-pixel screen.
    auto *findBar = new QWidget(this);
    auto *findRow = new QHBoxLayout(findBar);
    findRow->setContentsMargins(0, 0, 0, 0);
    findRow->setSpacing(3);
    const auto addToRow = [this](QHBoxLayout *row, FlatButton *b, auto slot) {
        b->setParent(row->parentWidget());
        row->addWidget(b);
        connect(b, &FlatButton::clicked, this, slot);
    };
    m_findBox = new QLineEdit(findBar);
    m_findBox->setObjectName(QStringLiteral("findBox"));
    m_findBox->setPlaceholderText(QStringLiteral("查找 (Ctrl+F)"));
    m_findBox->setMinimumWidth(160);
    makeFlatEdit(m_findBox, LineColor);
    findRow->addWidget(m_findBox);
    connect(m_findBox, &QLineEdit::returnPressed, this, [this] {
        if (m_findBox->text() == m_findText && hitCount() > 0)
            findNext();
        else
            find(m_findBox->text());
    });
    addToRow(findRow, addTool(QStringLiteral("查找"), "find", QStringLiteral("查找 (Ctrl+F)")),
        [this] { find(m_findBox->text()); });
    addToRow(findRow, addTool(QStringLiteral("下一个"), "findNext", QStringLiteral("查找下一个 (F3)")),
        &ReportPreview::findNext);

    m_statusLabel = new QLabel(findBar);
    m_statusLabel->setObjectName(QStringLiteral("status"));
    findRow->addSpacing(8);
    findRow->addWidget(m_statusLabel, 1);
    root->addWidget(findBar);

    // The window's keys work wherever the focus is; the page box and the find box
    // keep the keys that edit their text.
    m_view->installEventFilter(this);
    m_pageBox->installEventFilter(this);
    m_findBox->installEventFilter(this);

    resize(900, 700);
    setReport(m_report);
    m_view->setFocus();
}

ReportPreview::~ReportPreview() = default;

void ReportPreview::shareSource(std::shared_ptr<const ReportDataSource> source)
{
    if (source.get() == m_source)
        m_sharedSource = std::move(source);
}

FlatButton *ReportPreview::addTool(const QString &caption, const char *name, const QString &tip)
{
    auto *b = new FlatButton(caption, m_toolbar);
    b->setObjectName(QString::fromLatin1(name));
    b->setLineColor(LineColor);
    b->setToolTip(tip);
    b->setMinimumHeight(24);
    return b;
}

void ReportPreview::setRebuild(Rebuild rebuild)
{
    m_rebuild = std::move(rebuild);
    m_pageSetupButton->setVisible(bool(m_rebuild));
}

void ReportPreview::setReport(std::shared_ptr<const PreparedReport> report)
{
    m_painter.reset(); // refers to the old report
    m_report = std::move(report);
    m_painter = std::make_unique<ReportPainter>(*m_report, *m_source, *m_variables);
    clearHits();
    m_page = std::clamp(m_page, 0, std::max(0, pageCount() - 1));
    {
        const QSignalBlocker quiet(m_pageBox);
        m_pageBox->setRange(1, std::max(1, pageCount()));
    }
    m_pageTotal->setText(QStringLiteral("/ %1").arg(pageCount()));
    applyZoom();
}

QString ReportPreview::statusText() const
{
    return m_status;
}

void ReportPreview::setStatus(const QString &text)
{
    m_status = text;
    m_statusLabel->setText(text);
}

void ReportPreview::updateControls()
{
    const QSignalBlocker quiet(m_pageBox);
    m_pageBox->setValue(m_page + 1);
    m_zoomLabel->setText(QStringLiteral("%1%").arg(qRound(m_zoom * 100)));
    // Where the reader is, as the printed page foot says it.
    const QString where = QStringLiteral("第%1页/共%2页").arg(m_page + 1).arg(pageCount());
    m_pageBox->setAccessibleDescription(where);
    m_view->setAccessibleDescription(where);
}

void ReportPreview::goToPage(int index)
{
    showPage(index, true);
}

void ReportPreview::showPage(int index, bool toTop)
{
    index = std::clamp(index, 0, std::max(0, pageCount() - 1));
    if (index != m_page) {
        m_page = index;
        if (toTop)
            m_scroll->verticalScrollBar()->setValue(0);
    }
    updateControls();
    m_view->update();
}

void ReportPreview::applyZoom()
{
    if (m_zoomMode != ZoomMode::Fixed) {
        const PageSetup &page = m_report->layout().page;
        const double perUnit = m_painter->unitsToDevice(*m_view);
        const QSize room = m_scroll->viewport()->size() - QSize(2 * PageGap + 4, 2 * PageGap + 4);
        // Fit width leaves room for a vertical scroll bar, which a page taller
        // than the window will need.
        const int width = room.width()
            - (m_zoomMode == ZoomMode::PageWidth ? m_scroll->verticalScrollBar()->sizeHint().width() : 0);
        double z = width / (page.pageWidth() * perUnit);
        if (m_zoomMode == ZoomMode::WholePage)
            z = std::min(z, room.height() / (page.pageHeight() * perUnit));
        m_zoom = std::clamp(z, MinZoom, MaxZoom);
    }
    m_view->fit();
    updateControls();
    m_view->update();
}

void ReportPreview::setZoom(double zoom)
{
    m_zoomMode = ZoomMode::Fixed;
    m_zoom = std::clamp(zoom, MinZoom, MaxZoom);
    applyZoom();
}

void ReportPreview::zoomIn()
{
    for (double step : ZoomSteps)
        if (step > m_zoom + 1e-6)
            return setZoom(step);
}

void ReportPreview::zoomOut()
{
    for (auto it = std::rbegin(ZoomSteps); it != std::rend(ZoomSteps); ++it)
        if (*it < m_zoom - 1e-6)
            return setZoom(*it);
}

void ReportPreview::fitWidth()
{
    m_zoomMode = ZoomMode::PageWidth;
    applyZoom();
}

void ReportPreview::wholePage()
{
    m_zoomMode = ZoomMode::WholePage;
    applyZoom();
}

void ReportPreview::resizeEvent(QResizeEvent *e)
{
    QDialog::resizeEvent(e);
    if (m_zoomMode != ZoomMode::Fixed)
        applyZoom();
}

void ReportPreview::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    nameControls(this);
    applyZoom();
}

bool ReportPreview::find(const QString &text)
{
    clearHits();
    m_findText = text;
    if (text.isEmpty()) {
        setStatus({});
        m_view->update();
        return false;
    }
    // Every page is searched to count its hits, through the lines painting
    // prints, so what is found is what is seen. A search still running after the
    // progress delay shows a progress window that can stop it, and the hits found
    // until then stay. The window is made only then: most finds end long before,
    // and building it would cost more than they do.
    QElapsedTimer clock;
    clock.start();
    // One matcher for every cell: its skip table is built once, not per text.
    const QStringMatcher matcher(text, Qt::CaseInsensitive);
    std::optional<ProgressWindow> progress;
    std::vector<int> before { 0 };
    before.reserve(size_t(pageCount()) + 1);
    bool cancelled = false;
    for (int i = 0; i < pageCount() && !cancelled; ++i) {
        before.push_back(before.back() + matchPage(i, matcher, nullptr));
        if ((i & 15) != 15)
            continue;
        if (!progress && clock.elapsed() >= m_progressDelay)
            progress.emplace(this, QStringLiteral("查找"), QStringLiteral("正在查找…"), pageCount(), 0);
        if (progress && !progress->step(i + 1)) {
            if (progress->gone())
                return false; // went with its owner: nothing of it is touched
            cancelled = true;
        }
    }
    if (progress)
        progress->finish();
    const int searched = int(before.size()) - 1;
    if (before.back() == 0) {
        setStatus(cancelled ? QStringLiteral("查找已取消。") : QStringLiteral("没有找到“%1”。").arg(text));
        m_view->update();
        return false;
    }
    m_hitsBefore = std::move(before);
    // The first hit on or after the current page, else the first of all.
    const int from = firstHitOn(m_page);
    m_hit = from < hitCount() ? from : 0;
    showHit();
    if (cancelled)
        setStatus(m_status + QStringLiteral(" (查找已取消, 只查到第%1页)").arg(searched));
    return true;
}

bool ReportPreview::findNext()
{
    if (hitCount() == 0) {
        if (m_findText != m_findBox->text() && !m_findBox->text().isEmpty())
            return find(m_findBox->text());
        return false;
    }
    m_hit = (m_hit + 1) % hitCount();
    showHit();
    return true;
}

int ReportPreview::matchPage(int index, const QStringMatcher &text, std::vector<QRect> *rects) const
{
    // Through the texts painting prints, so what is found is what is seen.
    const ObjectText &texts = m_painter->texts();
    const LayoutPage &set = m_report->layout().pages[m_report->page(index).pageSet];
    const PageNumbers numbers = m_report->numbers(index);
    int count = 0;
    for (const BandPlacement &placed : m_report->placements(index)) {
        const Band *band = set.band(placed.kind);
        if (!band)
            continue;
        // The whole text first, which is cheap; then the lines the page keeps of
        // it, so a cut line or a line below a band is not found.
        for (const ReportObject &object : band->objects) {
            if (!object.visible)
                continue;
            const QString whole = texts.text(object, placed.row, numbers);
            if (text.indexIn(whole) >= 0
                && text.indexIn(m_painter->shownText(object, placed.row, numbers, whole)) >= 0) {
                ++count;
                if (rects)
                    rects->push_back(object.rect.translated(0, placed.y));
            }
        }
    }
    return count;
}

int ReportPreview::hitPage(int hit) const
{
    // The last page with fewer hits before it than `hit` + 1.
    const auto after = std::upper_bound(m_hitsBefore.begin(), m_hitsBefore.end(), hit);
    return int(after - m_hitsBefore.begin()) - 1;
}

int ReportPreview::firstHitOn(int index) const
{
    if (m_hitsBefore.empty())
        return 0;
    return m_hitsBefore[size_t(std::clamp(index, 0, int(m_hitsBefore.size()) - 1))];
}

const std::vector<QRect> &ReportPreview::hitsOn(int index)
{
    // Pages a cancelled find did not reach have none.
    const bool searched = index >= 0 && index + 1 < int(m_hitsBefore.size());
    if (m_pageHitsOf != index) {
        m_pageHits.clear();
        if (searched && m_hitsBefore[size_t(index) + 1] > m_hitsBefore[size_t(index)])
            matchPage(index, QStringMatcher(m_findText, Qt::CaseInsensitive), &m_pageHits);
        m_pageHitsOf = index;
    }
    return m_pageHits;
}

void ReportPreview::clearHits()
{
    m_hitsBefore.clear();
    m_pageHits.clear();
    m_pageHitsOf = -1;
    m_hit = -1;
}

void ReportPreview::showHit()
{
    const int page = hitPage(m_hit);
    const std::vector<QRect> &onPage = hitsOn(page);
    const size_t at = size_t(m_hit - firstHitOn(page));
    // A hit is scrolled to from where the window is (the same place as from
    // the top of its page), so the page scrolls once.
    showPage(page, at >= onPage.size());
    if (at < onPage.size()) {
        const QRect &hit = onPage[at];
        const QRect r(m_view->toWidget(hit.topLeft()), m_view->toWidget(hit.bottomRight()));
        // The hit in the middle of the window where the page allows.
        m_scroll->ensureVisible(
            r.center().x(), r.center().y(), m_scroll->viewport()->width() / 2, m_scroll->viewport()->height() / 2);
    }
    setStatus(
        QStringLiteral("“%1”: 第%2处/共%3处, 第%4页").arg(m_findText).arg(m_hit + 1).arg(hitCount()).arg(page + 1));
    m_view->update();
}

void ReportPreview::pageSetup()
{
    if (!m_rebuild)
        return;
    OwnedWindow<PageSetupDialog> dialog(new PageSetupDialog(m_report->layout().page, this));
    if (dialog.exec() != QDialog::Accepted)
        return; // cancelled, or gone with the preview
    auto rebuilt = m_rebuild(dialog->page());
    if (!rebuilt) {
        // The report shown stays as it was.
        showMessageBox(this, QMessageBox::Warning, QStringLiteral("提示"), rebuilt.error());
        return;
    }
    const QString findText = m_findText;
    setReport(*rebuilt);
    goToPage(m_page);
    if (!findText.isEmpty())
        find(findText);
    else
        setStatus(QStringLiteral("已按新的页面设置重新生成, 共%1页。").arg(pageCount()));
}

void ReportPreview::print()
{
    // What is printed stays while the event loop runs between pages, even if
    // the window goes meanwhile (then false: nothing of it is touched).
    const auto report = m_report;
    const auto rows = m_sharedSource;
    const auto variables = m_loadedVariables;
    const PrinterProvider printer = m_printer;
    if (printWithProgress(*report, *m_source, *m_variables, printer, this, m_progressDelay))
        setStatus(QStringLiteral("已打印%1页。").arg(pageCount()));
}

QString ReportPreview::askFile(const QString &caption, const QString &filter, const QString &suffix)
{
    const bool open = suffix.isEmpty();
    const QPointer<ReportPreview> self(this);
    QString path
        = m_askFileName ? m_askFileName(this, caption, filter, open) : askFileName(this, caption, filter, open);
    if (!self)
        return {}; // gone with its owner while the name was asked: nothing more is done
    if (!path.isEmpty() && !open && !path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    return path;
}

bool ReportPreview::runWithProgress(
    const QString &title, const QString &label, const std::function<Status(const std::function<bool(int, int)> &)> &job)
{
    // What the job reads stays while the event loop runs between its steps;
    // the window going meanwhile ends the job (false: nothing of it is touched).
    const auto report = m_report;
    const auto rows = m_sharedSource;
    const auto variables = m_loadedVariables;
    ProgressWindow progress(this, title, label, std::max(1, pageCount()), m_progressDelay);
    const Status done = job([&](int part, int total) { return progress.step(part, std::max(1, total)); });
    if (progress.gone())
        return false;
    const bool cancelled = progress.cancelled();
    progress.finish();
    if (!done) {
        if (cancelled)
            setStatus(QStringLiteral("%1已取消。").arg(title));
        else
            showMessageBox(this, QMessageBox::Warning, QStringLiteral("提示"), done.error());
        return false;
    }
    return true;
}

void ReportPreview::exportPdf()
{
    const QString path = askFile(QStringLiteral("导出PDF"), QStringLiteral("PDF 文件 (*.pdf)"), QStringLiteral(".pdf"));
    if (path.isEmpty())
        return;
    if (runWithProgress(QStringLiteral("导出PDF"), QStringLiteral("正在导出PDF…"),
            [&](const auto &progress) { return writeReportPdf(*m_report, *m_source, *m_variables, path, progress); }))
        setStatus(QStringLiteral("已导出到 %1").arg(QDir::toNativeSeparators(path)));
}

void ReportPreview::exportXlsx()
{
    const QString path
        = askFile(QStringLiteral("导出Excel"), QStringLiteral("Excel 文件 (*.xlsx)"), QStringLiteral(".xlsx"));
    if (path.isEmpty())
        return;
    if (runWithProgress(QStringLiteral("导出Excel"), QStringLiteral("正在导出Excel…"), [&](const auto &progress) {
            return exportListingXlsx(*m_report, *m_source, *m_variables, path, progress);
        }))
        setStatus(QStringLiteral("已导出到 %1").arg(QDir::toNativeSeparators(path)));
}

void ReportPreview::save()
{
    const QString suffix = QStringLiteral(".") + QString::fromUtf16(SavedReportSuffix);
    const QString path = askFile(QStringLiteral("保存报表"), QStringLiteral("报表文件 (*%1)").arg(suffix), suffix);
    if (path.isEmpty())
        return;
    if (const Status saved = saveReport(*m_report, *m_source, *m_variables, path); !saved) {
        showMessageBox(this, QMessageBox::Warning, QStringLiteral("提示"), saved.error());
        return;
    }
    setStatus(QStringLiteral("已保存到 %1").arg(QDir::toNativeSeparators(path)));
}

void ReportPreview::load()
{
    const QString suffix = QStringLiteral(".") + QString::fromUtf16(SavedReportSuffix);
    const QString path = askFile(QStringLiteral("打开报表"), QStringLiteral("报表文件 (*%1)").arg(suffix), {});
    if (path.isEmpty())
        return;
    auto loaded = loadReport(path);
    if (!loaded) {
        // The report shown stays.
        showMessageBox(this, QMessageBox::Warning, QStringLiteral("提示"), loaded.error());
        return;
    }
    m_painter.reset();
    m_loadedRows = loaded->rows;
    m_loadedVariables = loaded->variables;
    m_sharedSource = m_loadedRows;
    m_source = m_loadedRows.get();
    m_variables = m_loadedVariables.get();
    m_page = 0;
    setReport(loaded->report);
    // Page setup would generate the grid's listing again, not this one.
    m_rebuild = {};
    m_pageSetupButton->hide();
    goToPage(0);
    setStatus(QStringLiteral("已打开 %1, 共%2页。").arg(QDir::toNativeSeparators(path)).arg(pageCount()));
}

bool ReportPreview::handleKey(QKeyEvent *e, bool inTextBox)
{
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    switch (e->key()) {
    case Qt::Key_PageUp:
        goToPage(m_page - 1);
        return true;
    case Qt::Key_PageDown:
        goToPage(m_page + 1);
        return true;
    case Qt::Key_Home:
        if (inTextBox)
            return false;
        goToPage(0);
        return true;
    case Qt::Key_End:
        if (inTextBox)
            return false;
        goToPage(pageCount() - 1);
        return true;
    case Qt::Key_F3:
        findNext();
        return true;
    case Qt::Key_F:
        if (!ctrl)
            return false;
        m_findBox->setFocus(Qt::ShortcutFocusReason);
        m_findBox->selectAll();
        return true;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        if (inTextBox)
            return false;
        zoomIn();
        return true;
    case Qt::Key_Minus:
        if (inTextBox)
            return false;
        zoomOut();
        return true;
    case Qt::Key_Escape:
        reject();
        return true;
    default:
        return false;
    }
}

bool ReportPreview::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(e);
        const bool inTextBox = watched == m_findBox || watched == m_pageBox;
        // Enter in the find box searches; the page box takes its number.
        if (handleKey(key, inTextBox))
            return true;
    }
    return QDialog::eventFilter(watched, e);
}

void ReportPreview::keyPressEvent(QKeyEvent *e)
{
    if (!handleKey(e, false))
        QDialog::keyPressEvent(e);
}

} // namespace sqda::report

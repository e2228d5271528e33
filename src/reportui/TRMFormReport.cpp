#include "TRMFormReport.h"

#include "GridAdapter.h"
#include "host/LibraryWindows.h"
#include "report/ReportFonts.h"
#include "widgets/DBGridEh.h"

#include <QPrinter>

namespace sqda::report {

namespace {

// No rows: what a grid without an open dataset prints from.
class NoRows final : public ReportDataSource
{
public:
    int rowCount() const override { return 0; }
    QString displayText(int, int) const override { return {}; }
    QVariant value(int, int) const override { return {}; }
};

} // namespace

TRMFormReport::TRMFormReport(QObject *parent)
    : QObject(parent)
{
}

TRMFormReport::~TRMFormReport() = default;

void TRMFormReport::setPrintControl(DBGridEh *grid)
{
    m_grid = grid;
}

DBGridEh *TRMFormReport::printControl() const
{
    return m_grid;
}

void TRMFormReport::setPrinterProvider(std::function<std::unique_ptr<QPrinter>()> provider)
{
    m_printer = [provider = std::move(provider)](const PageSetup &) -> Result<std::unique_ptr<QPrinter>> {
        std::unique_ptr<QPrinter> printer = provider ? provider() : nullptr;
        if (!printer)
            return Error { noPrinterMessage() };
        return printer;
    };
}

QWidget *TRMFormReport::owner() const
{
    if (auto *form = qobject_cast<QWidget *>(parent()))
        return form;
    return m_grid;
}

Status TRMFormReport::BuildGridReport()
{
    m_prepared.reset();
    m_layout.reset();
    if (!m_grid)
        return Error { QStringLiteral("没有要打印的表格。") };
    const GridDescription grid = describeGrid(*m_grid);
    auto layout = buildGridReport(grid, Options, PageLayout, fontTextMeasure(PageLayout.logicalDpi));
    if (!layout)
        return Error { layout.error() };
    m_layout = std::make_shared<const ReportLayout>(std::move(*layout));
    return {};
}

Status TRMFormReport::prepare(bool newRun)
{
    // A fresh layout every run, two passes: the page count is known before the
    // first page is painted.
    if (const Status built = BuildGridReport(); !built)
        return built;
    // A rebuild from the preview keeps the source the preview paints from.
    if (newRun || !m_source) {
        const ClientDataSet *ds = m_grid->dataSet();
        if (ds && ds->isActive())
            m_source = std::make_shared<DataSetReportSource>(*ds);
        else
            m_source = std::make_shared<NoRows>();
    }
    auto prepared = PreparedReport::prepare(m_layout, m_source->rowCount());
    if (!prepared)
        return Error { prepared.error() };
    m_prepared = std::make_shared<const PreparedReport>(std::move(*prepared));
    return {};
}

void TRMFormReport::PreviewListing()
{
    if (const Status ok = prepare(true); !ok) {
        showMessageBox(owner(), QMessageBox::Warning, QStringLiteral("提示"), ok.error());
        return;
    }
    // Owned by the form, with the dataset and this component: the host may
    // destroy it while the preview is up, and the preview goes with it.
    OwnedWindow<ReportPreview> window(new ReportPreview(m_prepared, *m_source, ReportVariables::global(), owner()));
    ReportPreview &preview = *window.get();
    preview.shareSource(m_source);
    preview.setPrinterProvider(m_printer);
    if (RebuildAfterPageChanged && (PreviewButtons & PreviewPageSetup)) {
        const QPointer<TRMFormReport> self(this);
        preview.setRebuild([self](const PageSetup &page) -> Result<std::shared_ptr<const PreparedReport>> {
            if (!self)
                return Error { QStringLiteral("报表所在的窗口已经关闭。") };
            // The new page is tried first; only a page the listing can be laid
            // out on replaces the form's layout for this and later runs.
            const PageSetup before = self->PageLayout;
            self->PageLayout = page;
            if (const Status ok = self->prepare(false); !ok) {
                self->PageLayout = before;
                const Status back = self->prepare(false);
                Q_UNUSED(back);
                return Error { ok.error() };
            }
            return self->m_prepared;
        });
    }
    // Tools the form did not ask for are left out of the window.
    const auto hide = [&preview](std::initializer_list<const char *> names) {
        for (const char *name : names)
            if (auto *w = preview.findChild<QWidget *>(QLatin1String(name)))
                w->hide();
    };
    if (!(PreviewButtons & PreviewZoom))
        hide({ "zoomIn", "zoomOut", "zoom100", "fitWidth", "wholePage", "zoomLabel" });
    if (!(PreviewButtons & PreviewFind))
        hide({ "findBox", "find", "findNext" });
    if (!(PreviewButtons & PreviewPrint))
        hide({ "print" });
    if (!(PreviewButtons & PreviewLoad))
        hide({ "load" });
    if (!(PreviewButtons & PreviewSave))
        hide({ "save" });
    if (!(PreviewButtons & PreviewSaveToXls))
        hide({ "exportXlsx" });
    if (!(PreviewButtons & PreviewExit))
        hide({ "exit" });
    Q_EMIT previewShown(&preview);
    window.exec(); // nothing of this component is touched afterwards: it may be gone
}

void TRMFormReport::PrintListing()
{
    if (const Status ok = prepare(true); !ok) {
        showMessageBox(owner(), QMessageBox::Warning, QStringLiteral("提示"), ok.error());
        return;
    }
    // The run keeps what it prints while the progress window lets the event
    // loop run; a form destroyed meanwhile takes the window along and ends it.
    const std::shared_ptr<const PreparedReport> report = m_prepared;
    const std::shared_ptr<const ReportDataSource> source = m_source;
    const PrinterProvider printer = m_printer;
    printWithProgress(*report, *source, ReportVariables::global(), printer, owner(), ProgressDelay);
}

} // namespace sqda::report

#include "TRMFormReport.h"

#include "GridAdapter.h"
#include "report/ReportFonts.h"
#include "widgets/DBGridEh.h"

#include <QMessageBox>

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

QWidget *TRMFormReport::ownerWindow() const
{
    return m_grid ? m_grid->window() : nullptr;
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
            m_source = std::make_unique<DataSetReportSource>(*ds);
        else
            m_source = std::make_unique<NoRows>();
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
        QMessageBox::warning(ownerWindow(), QStringLiteral("提示"), ok.error());
        return;
    }
    ReportPreview preview(m_prepared, *m_source, ReportVariables::global(), ownerWindow());
    preview.setPrinterProvider(m_printer);
    if (RebuildAfterPageChanged && (PreviewButtons & PreviewPageSetup)) {
        preview.setRebuild([this](const PageSetup &page) -> Result<std::shared_ptr<const PreparedReport>> {
            // The new page is tried first; only a page the listing can be laid
            // out on replaces the form's layout for this and later runs.
            const PageSetup before = PageLayout;
            PageLayout = page;
            if (const Status ok = prepare(false); !ok) {
                PageLayout = before;
                const Status back = prepare(false);
                Q_UNUSED(back);
                return Error { ok.error() };
            }
            return m_prepared;
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
    if (!(PreviewButtons & PreviewExit))
        hide({ "exit" });
    Q_EMIT previewShown(&preview);
    preview.exec();
}

void TRMFormReport::PrintListing()
{
    if (const Status ok = prepare(true); !ok) {
        QMessageBox::warning(ownerWindow(), QStringLiteral("提示"), ok.error());
        return;
    }
    printWithProgress(*m_prepared, *m_source, ReportVariables::global(), m_printer, ownerWindow());
}

} // namespace sqda::report

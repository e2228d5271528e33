// The query form's grid report (its PrintDG): prints or previews what a data
// grid shows, as a listing generated afresh from the grid on every run.
//
// It holds the settings the form gives it: the page layout (kept across runs of
// the same form, and updated by a page setup changed in the preview), the page
// header height the form sets before each run, and the listing options. The
// texts' variables come from ReportVariables::global(), which the form fills.
//
//   PreviewListing   generate, format, show the modal preview; returns when it closes
//   PrintListing     generate, format, print on the default printer with no dialog
//   BuildGridReport  generate the layout from the grid (both use it)
//
// Every run returns: a layout that cannot be generated or formatted, or no
// printer, is a message box and nothing else changes. The host may destroy the
// form during a run (the preview is up, or the print's progress window lets
// the event loop run): the run's windows go with the form and the run ends
// there, touching nothing of the form.
#pragma once

#include "ReportPreview.h"
#include "ReportPrinting.h"
#include "report/GridReport.h"

#include <QObject>
#include <QPointer>

#include <optional>

namespace sqda {
class DBGridEh;
}

namespace sqda::report {

// Tools of the preview window the form asks for.
enum PreviewButton : quint16 {
    PreviewZoom = 0x01,
    PreviewLoad = 0x02,
    PreviewSave = 0x04,
    PreviewPrint = 0x08,
    PreviewFind = 0x10,
    PreviewPageSetup = 0x20,
    PreviewExit = 0x40,
    PreviewSaveToXls = 0x80,
};

class TRMFormReport : public QObject
{
    Q_OBJECT
public:
    explicit TRMFormReport(QObject *parent = nullptr);
    ~TRMFormReport() override;

    // The grid printed (PrintControl); not owned.
    void setPrintControl(DBGridEh *grid);
    DBGridEh *printControl() const;

    // Settings ----------------------------------------------------------------
    PageSetup PageLayout = defaultListingPage();
    // rmgoStretch, rmgoWordWrap, rmgoGridLines, rmgoDoubleFrame on; master data
    // height −1 (the grid's row height); header and footer texts of the listing.
    GridReportOptions Options;
    // rmgoRebuildAfterPageChanged: a page setup changed in the preview is kept in
    // PageLayout and the layout generated again.
    bool RebuildAfterPageChanged = true;
    quint16 PreviewButtons = PreviewZoom | PreviewLoad | PreviewSave | PreviewPrint | PreviewFind | PreviewPageSetup
        | PreviewExit | PreviewSaveToXls;
    bool ShowPrintDialog = false; // printing never asks for a printer
    int ProgressDelay = 500; // ms a print run takes before its progress window shows

    // The page header's height for the next runs (40 without conditions).
    void setPageHeaderHeight(int units) { Options.pageHeaderHeight = units; }
    int pageHeaderHeight() const { return Options.pageHeaderHeight; }
    void setShowMasterData(bool on) { Options.showMasterData = on; }

    // Where printing goes; the default printer unless replaced.
    void setPrinterProvider(PrinterProvider provider) { m_printer = std::move(provider); }
    // The same from a provider that gives a printer or none (no printer installed).
    void setPrinterProvider(std::function<std::unique_ptr<QPrinter>()> provider);

    // Runs ----------------------------------------------------------------------
    void PreviewListing();
    void PrintListing();
    // Discards the previous layout and generates a new one from the grid on
    // PageLayout. An error leaves no layout.
    Status BuildGridReport();

    // The layout and the formatted report of the last run, while they live.
    const ReportLayout *layout() const { return m_layout.get(); }
    const PreparedReport *prepared() const { return m_prepared.get(); }

Q_SIGNALS:
    // The preview window is up (modal); the run returns when it closes.
    void previewShown(ReportPreview *preview);

private:
    Status prepare(bool newRun); // BuildGridReport, then both passes over the grid's rows
    // The owner of a run's windows (preview, progress, messages): the form this
    // component is on, else the grid. They go with it, so none outlives the
    // dataset it shows or this component.
    QWidget *owner() const;

    QPointer<DBGridEh> m_grid;
    PrinterProvider m_printer = defaultPrinterProvider();
    std::shared_ptr<const ReportLayout> m_layout;
    std::shared_ptr<const PreparedReport> m_prepared;
    std::shared_ptr<const ReportDataSource> m_source; // shared with the run that uses it
};

} // namespace sqda::report

// The preview window of a prepared report: modal, in the flat look of the
// product's dialogs.
//
// One page shows at a time, painted from the dataset on demand (formatting is
// arithmetic over band heights, so the page count is known before the first
// paint and the first page shows at once). Tools: zoom in and out, fit width,
// whole page, 100 %; page navigation with a page box reading "n / m"; find across
// every page with the hits highlighted and F3 for the next; page setup, which
// rebuilds the layout through the owner; print on the default printer; export to
// PDF. Keys: PgUp/PgDn, Home/End, Ctrl+F, F3, + and -, Esc.
//
// Work that reads every page (find, PDF, printing) runs on the GUI thread with a
// progress window that lets the event loop run between pages and can be
// cancelled; the dataset cannot change meanwhile since the window is modal.
// The host may destroy the window's owner meanwhile (and any of the window's
// own dialogs): the window goes with it, and the work stops there without
// touching it.
#pragma once

#include "ReportPrinting.h"
#include "report/ReportPainter.h"

#include <QDialog>

#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QScrollArea;
class QSpinBox;
class QStringMatcher;

namespace sqda {
class FlatButton;
}

namespace sqda::report {

class ReportPreview : public QDialog
{
    Q_OBJECT
public:
    // A new prepared report for a changed page, or the reason there is none.
    using Rebuild = std::function<Result<std::shared_ptr<const PreparedReport>>(const PageSetup &)>;
    // Asks for a file name to write (or, for `open`, to read); empty when the user
    // cancelled.
    using AskFileName
        = std::function<QString(QWidget *parent, const QString &caption, const QString &filter, bool open)>;

    // `source` and `variables` must outlive the window; `source` is the view the
    // report was prepared on.
    ReportPreview(std::shared_ptr<const PreparedReport> report, const ReportDataSource &source,
        const ReportVariables &variables, QWidget *parent = nullptr);
    ~ReportPreview() override;

    // Shares the ownership of `source` (the one given above), so the rows stay
    // for as long as the window paints from them.
    void shareSource(std::shared_ptr<const ReportDataSource> source);
    // Page setup asks this for the new report; without it the tool is hidden.
    void setRebuild(Rebuild rebuild);
    void setPrinterProvider(PrinterProvider provider) { m_printer = std::move(provider); }
    void setAskFileName(AskFileName ask) { m_askFileName = std::move(ask); }
    // How long a job that reads every page (find, exports, printing) runs before
    // its progress window with the cancel button shows.
    void setProgressDelay(int ms) { m_progressDelay = ms; }

    const PreparedReport &report() const { return *m_report; }
    int pageCount() const { return m_report->pageCount(); }
    int currentPage() const { return m_page; } // from 0

    enum class ZoomMode { Fixed, PageWidth, WholePage };
    ZoomMode zoomMode() const { return m_zoomMode; }
    double zoom() const { return m_zoom; } // 1 is 100 %: one report unit a pixel at 96 dpi

    // The hits of the last find, in page order: counted per page, their places
    // worked out again for the page shown, so that a find across a long listing
    // holds an int a page, not every hit of every page.
    int hitCount() const { return m_hitsBefore.empty() ? 0 : m_hitsBefore.back(); }
    int hitPage(int hit) const; // the page (from 0) of hit `hit` (from 0)
    int currentHit() const { return m_hit; } // -1: none
    QString statusText() const;

    void goToPage(int index);
    void zoomIn();
    void zoomOut();
    void setZoom(double zoom);
    void fitWidth();
    void wholePage();
    // Finds `text` (ignoring case) on every page and goes to the first hit on or
    // after the current page; false when there is none (or the search was
    // cancelled before finding one).
    bool find(const QString &text);
    // The next hit after the current one, round to the first; false with none.
    bool findNext();
    void pageSetup();
    void print();
    void exportPdf();
    void exportXlsx();
    void save();
    // Shows a report saved earlier instead; page setup is then off (the
    // listing's grid did not make it). A damaged file is a message.
    void load();
    bool showsLoadedReport() const { return bool(m_loadedRows); }

protected:
    void keyPressEvent(QKeyEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    class PageView;
    bool handleKey(QKeyEvent *e, bool inTextBox);
    void setReport(std::shared_ptr<const PreparedReport> report);
    void applyZoom();
    // Shows page `index`, from its top when `toTop` (else the caller scrolls).
    void showPage(int index, bool toTop);
    void showHit();
    // The objects of page `index` that show `text` (a matcher ignoring case),
    // counted; their rectangles (in page units, in painting order) added to
    // `rects` when it is given.
    int matchPage(int index, const QStringMatcher &text, std::vector<QRect> *rects) const;
    // The first hit on page `index`, and the rectangles of the hits there.
    int firstHitOn(int index) const;
    const std::vector<QRect> &hitsOn(int index);
    void clearHits();
    void updateControls();
    void setStatus(const QString &text);
    QString askFile(const QString &caption, const QString &filter, const QString &suffix);
    // Runs a job that reports progress(done, total) with a cancellable window;
    // a failure that was not a cancel is a message box.
    bool runWithProgress(const QString &title, const QString &label,
        const std::function<Status(const std::function<bool(int, int)> &)> &job);
    FlatButton *addTool(const QString &caption, const char *name, const QString &tip);

    std::shared_ptr<const PreparedReport> m_report;
    const ReportDataSource *m_source;
    const ReportVariables *m_variables;
    std::shared_ptr<const ReportDataSource> m_sharedSource; // m_source, when shared
    // A report loaded from a file brings its own rows and variables.
    std::shared_ptr<const ReportDataSource> m_loadedRows;
    std::shared_ptr<const ReportVariables> m_loadedVariables;
    std::unique_ptr<ReportPainter> m_painter;
    Rebuild m_rebuild;
    PrinterProvider m_printer = defaultPrinterProvider();
    AskFileName m_askFileName;
    int m_progressDelay = 400;

    int m_page = 0;
    ZoomMode m_zoomMode = ZoomMode::Fixed;
    double m_zoom = 1.0;
    // Hits on the pages before page i; empty without hits. A cancelled find
    // counted only the pages it searched.
    std::vector<int> m_hitsBefore;
    std::vector<QRect> m_pageHits; // hitsOn(m_pageHitsOf)
    int m_pageHitsOf = -1;
    int m_hit = -1;
    QString m_findText;
    QString m_status;

    QWidget *m_toolbar = nullptr;
    FlatButton *m_pageSetupButton = nullptr;
    QScrollArea *m_scroll = nullptr;
    PageView *m_view = nullptr;
    QSpinBox *m_pageBox = nullptr;
    QLabel *m_pageTotal = nullptr;
    QLabel *m_zoomLabel = nullptr;
    QLineEdit *m_findBox = nullptr;
    QLabel *m_statusLabel = nullptr;
};

} // namespace sqda::report

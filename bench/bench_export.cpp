// The waits of a finished listing, each against a floor
// doing the same work in turns with it (process CPU time, medians; goal at most
// 1.2x):
// - printing 1k and 10k rows to a PDF printer (QPrinter, PdfFormat) through
//   printReport, against
//   a bare loop painting the same cells' texts and frames on a QPrinter set up
//   the same way;
// - saving the prepared report of 10k and 100k rows, against a QDataStream writing the
//   same cells (UTF-8 texts, the numbers and truth values) compressed the same way
//   and written with QSaveFile; loading it, against reading those bytes back with
//   QFile and QDataStream cell by cell.
// The spreadsheet and PDF exports have their goals in bench_report and
// bench_report_pdf. The report, the rows and the printers are made outside the
// timed region, for both sides alike.
#include "Goals.h"
#include "ReportListing.h"
#include "host/HostContext.h"
#include "report/GridReport.h"
#include "report/ObjectText.h"
#include "report/PreparedReport.h"
#include "report/ReportDataSource.h"
#include "report/ReportFile.h"
#include "report/ReportFonts.h"
#include "report/ReportPainter.h"
#include "report/ReportPrinter.h"

#include <QDataStream>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QSaveFile>
#include <QTemporaryDir>

#include <functional>

using namespace sqda;
using namespace sqda::report;

namespace {

sqda::bench::Samples g_samples;

struct Listing
{
    ClientDataSet rows;
    std::unique_ptr<DataSetReportSource> source;
    std::shared_ptr<const PreparedReport> report;
    ReportVariables variables;

    explicit Listing(int count)
    {
        sqda::bench::fillListing(rows, count);
        source = std::make_unique<DataSetReportSource>(rows);
        auto layout = std::make_shared<const ReportLayout>(
            buildGridReport(sqda::bench::listingGrid(count), {}, defaultListingPage(), fontTextMeasure(96)).value());
        report = std::make_shared<const PreparedReport>(
            std::move(PreparedReport::prepare(std::move(layout), source->rowCount())).value());
        variables.set(QStringLiteral("Title"), QStringLiteral("商圈档案查询"));
        variables.set(QStringLiteral("Date"), QStringLiteral("2026-12-10"));
        variables.set(QStringLiteral("Oper"), QStringLiteral("张三"));
    }
};

// A PDF printer at the resolution a real printer job gets, to `path`.
std::unique_ptr<QPrinter> pdfPrinter(const QString &path)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(path);
    printer->setDocName(QStringLiteral("商圈档案查询"));
    return printer;
}

// The floor of printing: the same pages on the same sheet, every cell's text and
// frame drawn with drawText and drawRect only.
bool printBare(const Listing &listing, QPrinter &printer)
{
    const PageSetup &setup = listing.report->layout().page;
    printer.setFullPage(true);
    printer.setPageLayout(
        QPageLayout(QPageSize(QSizeF(setup.paperWidth / 10.0, setup.paperHeight / 10.0), QPageSize::Millimeter),
            QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    const ObjectText texts(*listing.source, listing.variables);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const double scale = printer.logicalDpiX() / double(setup.logicalDpi);
    QFont font = reportFont({});
    font.setPointSizeF(9 * double(setup.logicalDpi) / printer.logicalDpiY());
    painter.setFont(font);
    const PreparedReport &report = *listing.report;
    for (int i = 0; i < report.pageCount(); ++i) {
        if (i > 0 && !printer.newPage())
            return false;
        painter.resetTransform();
        painter.scale(scale, scale);
        const LayoutPage &set = report.layout().pages[report.page(i).pageSet];
        const PageNumbers numbers = report.numbers(i);
        for (const BandPlacement &p : report.placements(i)) {
            const Band *band = set.band(p.kind);
            if (!band)
                continue;
            for (const ReportObject &o : band->objects) {
                const QRect r = o.rect.translated(0, p.y);
                painter.drawText(r, Qt::AlignVCenter | Qt::AlignLeft, texts.text(o, p.row, numbers));
                if (o.frames)
                    painter.drawRect(r);
            }
        }
    }
    return painter.end();
}

// The floor of saving: every printed cell (the display text as UTF-8, and the
// value of the number and truth-value columns) through a QDataStream, the bytes
// compressed as the saved file's are, written beside the target and renamed.
bool saveBare(const ReportDataSource &source, const QString &path)
{
    QByteArray body;
    {
        QDataStream out(&body, QIODevice::WriteOnly);
        out << qint32(source.rowCount());
        for (int r = 0; r < source.rowCount(); ++r) {
            for (int c = 0; c < 5; ++c)
                out << source.displayText(r, c).toUtf8();
            out << qint32(source.value(r, 3).toInt()) << source.value(r, 4).toBool();
        }
    }
    const QByteArray payload = qCompress(body);
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(payload) == payload.size() && file.commit();
}

// The floor of loading: the file read, uncompressed and every cell read back.
bool loadBare(const QString &path, int expectedRows)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray body = qUncompress(file.readAll());
    QDataStream in(body);
    qint32 rows = 0;
    in >> rows;
    qint64 bytes = 0;
    for (qint32 r = 0; r < rows; ++r) {
        QByteArray text;
        for (int c = 0; c < 5; ++c) {
            in >> text;
            bytes += text.size();
        }
        qint32 level = 0;
        bool leaf = false;
        in >> level >> leaf;
        bytes += level + leaf;
    }
    benchmark::DoNotOptimize(bytes);
    return rows == expectedRows && in.status() == QDataStream::Ok;
}

// Runs `work` under the process CPU clock, adds it to the samples as `name`.
double timed(const std::string &name, const std::function<void()> &work)
{
    const double t0 = sqda::bench::processCpuNow();
    work();
    const double t = sqda::bench::processCpuNow() - t0;
    g_samples.add(name, t);
    return t;
}

// One comparison: ours and the floor in turns, the order swapped each iteration.
void inTurns(benchmark::State &state, const std::function<double(bool floorFirst)> &round)
{
    bool floorFirst = true;
    for (auto _ : state) {
        state.SetIterationTime(round(floorFirst));
        floorFirst = !floorFirst;
    }
}

void BM_PrintToPdfPrinter(benchmark::State &state)
{
    const int n = int(state.range(0));
    const Listing listing(n);
    QTemporaryDir dir;
    const std::string size = sqda::bench::spaced(n);
    inTurns(state, [&](bool floorFirst) {
        // The printers are made outside the figures, on both sides alike.
        const auto ourPrinter = pdfPrinter(dir.filePath(QStringLiteral("ours.pdf")));
        const auto barePrinter = pdfPrinter(dir.filePath(QStringLiteral("bare.pdf")));
        double t = 0;
        const auto ours = [&] {
            Status printed;
            t += timed("print" + size,
                [&] { printed = printReport(*listing.report, *listing.source, listing.variables, *ourPrinter); });
            if (!printed)
                state.SkipWithError(qPrintable(printed.error()));
        };
        const auto floor = [&] {
            bool printed = false;
            t += timed("print floor" + size, [&] { printed = printBare(listing, *barePrinter); });
            if (!printed)
                state.SkipWithError("the bare printer loop failed");
        };
        floorFirst ? (floor(), ours()) : (ours(), floor());
        return t;
    });
    state.counters["pages"] = listing.report->pageCount();
    state.counters["pdf_kb"] = double(QFile(dir.filePath(QStringLiteral("ours.pdf"))).size()) / 1024;
}

void BM_SaveLoadReport(benchmark::State &state)
{
    const int n = int(state.range(0));
    const Listing listing(n);
    QTemporaryDir dir;
    const QString ourFile = dir.filePath(QStringLiteral("ours.sqdarpt")),
                  bareFile = dir.filePath(QStringLiteral("bare.bin"));
    const std::string size = sqda::bench::spaced(n);
    inTurns(state, [&](bool floorFirst) {
        double t = 0;
        const auto ours = [&] {
            Status saved;
            t += timed("save" + size,
                [&] { saved = saveReport(*listing.report, *listing.source, listing.variables, ourFile); });
            bool loadedWhole = false;
            t += timed("load" + size, [&] {
                const auto loaded = loadReport(ourFile);
                loadedWhole = loaded && loaded->rows->rowCount() == n && loaded->report->pageCount() > 0;
            });
            if (!saved || !loadedWhole)
                state.SkipWithError("saving or loading the report failed");
        };
        const auto floor = [&] {
            bool saved = false, loaded = false;
            t += timed("save floor" + size, [&] { saved = saveBare(*listing.source, bareFile); });
            t += timed("load floor" + size, [&] { loaded = loadBare(bareFile, n); });
            if (!saved || !loaded)
                state.SkipWithError("the bare save or load failed");
        };
        floorFirst ? (floor(), ours()) : (ours(), floor());
        return t;
    });
    state.counters["file_kb"] = double(QFile(ourFile).size()) / 1024;
    state.counters["floor_kb"] = double(QFile(bareFile).size()) / 1024;
}

// Printing 100k rows is 2,223 pages, some 25 s of processor time a side: too
// long for a run; 1k and 10k rows show how it grows.
BENCHMARK(BM_PrintToPdfPrinter)->Arg(1'000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintToPdfPrinter)->Arg(10'000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveLoadReport)->Arg(10'000)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveLoadReport)->Arg(100'000)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ensureLibraryInitialized();
    benchmark::Initialize(&argc, argv);
    sqda::bench::printLoad("bench_export", "start");
    sqda::bench::GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    sqda::bench::Goals goals;
    struct Goal
    {
        const char *run, *sample, *what;
        int iterations;
    };
    for (const int n : { 1'000, 10'000, 100'000 }) {
        const std::string size = sqda::bench::spaced(n);
        const std::vector<Goal> all {
            { "BM_PrintToPdfPrinter", "print", "printing to a PDF printer / bare QPrinter loop", n == 1'000 ? 5 : 3 },
            { "BM_SaveLoadReport", "save", "saving a prepared report / QDataStream and QSaveFile",
                n == 10'000 ? 9 : 7 },
            { "BM_SaveLoadReport", "load", "loading a prepared report / QFile and QDataStream", n == 10'000 ? 9 : 7 },
        };
        for (const Goal &g : all) {
            const std::string name = std::string(g.run) + "/" + std::to_string(n)
                + "/iterations:" + std::to_string(g.iterations) + "/manual_time";
            if (!reporter.ran(name))
                continue;
            const double ours = g_samples.median(g.sample + size),
                         floor = g_samples.median(std::string(g.sample) + " floor" + size);
            sqda::bench::Goals::note(
                "%s, %d rows: %.2f ms, floor %.2f ms (process CPU, median)", g.sample, n, ours * 1e3, floor * 1e3);
            goals.atMost(std::string(g.what) + ", " + std::to_string(n) + " rows", floor > 0 ? ours / floor : 0, 1.2,
                reporter.anyFailed({ name }));
        }
    }
    benchmark::Shutdown();
    sqda::bench::printLoad("bench_export", "end");
    return goals.exitCode();
}

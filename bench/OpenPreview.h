// The print preview as the preview benchmarks open it over the benchmark listing,
// with the floors they measure it against: a page's cells painted bare with
// QPainter on an image, and find as a bare walk over the cells' texts.
#pragma once

#include "ReportListing.h"

#include "report/GridReport.h"
#include "report/ObjectText.h"
#include "report/PreparedReport.h"
#include "report/ReportDataSource.h"
#include "report/ReportFonts.h"
#include "reportui/ReportPreview.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <memory>

namespace sqda::bench {

using namespace sqda::report;

struct OpenPreview
{
    ClientDataSet rows;
    std::unique_ptr<DataSetReportSource> source;
    std::shared_ptr<const PreparedReport> report;
    ReportVariables variables;
    std::unique_ptr<ReportPreview> preview;
    QWidget *page = nullptr;

    explicit OpenPreview(int count)
    {
        sqda::bench::fillListing(rows, count);
        source = std::make_unique<DataSetReportSource>(rows);
        auto layout = std::make_shared<const ReportLayout>(
            buildGridReport(sqda::bench::listingGrid(count), {}, defaultListingPage(), fontTextMeasure(96)).value());
        report = std::make_shared<const PreparedReport>(
            std::move(PreparedReport::prepare(std::move(layout), source->rowCount())).value());
        variables.set(QStringLiteral("Title"), QStringLiteral("商圈档案查询"));
        preview = std::make_unique<ReportPreview>(report, *source, variables);
        preview->setProgressDelay(1'000'000); // no progress window in the figures
        preview->resize(900, 700);
        preview->show();
        QApplication::processEvents();
        page = preview->findChild<QWidget *>(QStringLiteral("page"));
    }

    // The floor of a page: the same cells' texts and frames with QPainter on an
    // image of the page widget's size, at its scale.
    void paintBare(int index, QImage &image) const
    {
        const ObjectText texts(*source, variables);
        image.fill(Qt::white);
        QPainter painter(&image);
        const double scale = image.width() / double(report->layout().page.pageWidth());
        painter.scale(scale, scale);
        painter.setFont(reportFont({}));
        const LayoutPage &set = report->layout().pages[report->page(index).pageSet];
        const PageNumbers numbers = report->numbers(index);
        for (const BandPlacement &p : report->placements(index)) {
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

    // The floor of find: every cell's text tested; the hits counted and, when
    // asked, the page of the first one given.
    int findBare(const QString &text, int *firstPageOut = nullptr) const
    {
        int firstPage = -1;
        const ObjectText texts(*source, variables);
        int hits = 0;
        for (int i = 0; i < report->pageCount(); ++i) {
            const LayoutPage &set = report->layout().pages[report->page(i).pageSet];
            const PageNumbers numbers = report->numbers(i);
            for (const BandPlacement &p : report->placements(i)) {
                const Band *band = set.band(p.kind);
                if (!band)
                    continue;
                for (const ReportObject &o : band->objects)
                    hits += o.visible && texts.text(o, p.row, numbers).contains(text, Qt::CaseInsensitive);
            }
            if (hits > 0 && firstPage < 0)
                firstPage = i;
        }
        if (firstPageOut)
            *firstPageOut = firstPage;
        return hits;
    }
};

} // namespace sqda::bench

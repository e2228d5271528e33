// The listing the report benchmarks print: five columns (department, code, name,
// level, leaf flag) of `rows` trade areas, the count text under the first column;
// and the process's resident memory, for peak figures per benchmark.
#pragma once

#include "data/ClientDataSet.h"
#include "report/GridReport.h"

#include <QFile>

#include <benchmark/benchmark.h>

namespace sqda::bench {

inline report::GridDescription listingGrid(int rows)
{
    using namespace report;
    GridDescription g;
    g.footerRowCount = 1;
    const char16_t *titles[] = { u"部门编码", u"商圈编码", u"商圈名称", u"级别", u"末级" };
    const int widths[] = { 80, 100, 220, 50, 50 };
    for (int i = 0; i < 5; ++i) {
        GridColumn c;
        c.field = i;
        c.title = QString::fromUtf16(titles[i]);
        c.width = widths[i];
        if (i == 0)
            c.footers = { { FooterValue::StaticText, QStringLiteral("合计:%1条").arg(rows), false, {}, HAlign::Left } };
        g.columns.push_back(c);
    }
    return g;
}

inline void fillListing(ClientDataSet &rows, int count)
{
    rows.createDataSet({ { QStringLiteral("f_bmbm"), FieldType::String, 8, {} },
        { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} }, { QStringLiteral("f_jb"), FieldType::Int32, 0, {} },
        { QStringLiteral("f_mj"), FieldType::Bool, 0, {} } });
    for (int i = 0; i < count; ++i) {
        rows.append();
        rows.field(0)->setValue(QStringLiteral("0101"));
        rows.field(1)->setValue(QStringLiteral("%1").arg(i, 8, 10, QLatin1Char('0')));
        rows.field(2)->setValue(QStringLiteral("商圈名称%1").arg(i));
        rows.field(3)->setValue(i % 4 + 1);
        rows.field(4)->setValue(i % 2 == 0);
        rows.post();
    }
}

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); 0 where there is none.
inline double statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble();
    return 0;
}

// Peak resident memory of a stretch of work above what was resident before it.
// Writing 5 to /proc/self/clear_refs resets the kernel's peak (VmHWM) to the
// current size, so each benchmark sees its own peak. Run one benchmark a process
// (--benchmark_filter) for figures free of what earlier ones left in the heap.
class PeakMemory
{
public:
    PeakMemory()
    {
        QFile reset(QStringLiteral("/proc/self/clear_refs"));
        if (reset.open(QIODevice::WriteOnly))
            reset.write("5");
        m_base = statusKb("VmRSS");
    }
    double aboveStartMb() const { return (statusKb("VmHWM") - m_base) / 1024.0; }

private:
    double m_base = 0;
};

// The memory a freshly filled dataset of `count` rows takes, in MB.
inline double datasetMb(ClientDataSet &rows, int count)
{
    const double before = statusKb("VmRSS");
    fillListing(rows, count);
    return (statusKb("VmRSS") - before) / 1024.0;
}

} // namespace sqda::bench

// libFuzzer target: the saved-report loader must refuse or accept any bytes without
// crashing or allocating beyond what the input holds, and whatever it accepts must
// be paintable (every page's placements, every printed cell readable) and save
// again to a file that loads to the same bytes.
//
// The first byte picks how the rest is used: as a whole file (its header's size
// and checksum made right, so the fuzzer gets past them), or as a body put into a
// correct file, which reaches the body's reader with every mutation.
#include "report/ReportFile.h"

#include <cstdlib>
#include <cstring>

using namespace sqda::report;

namespace {

void putLe32(QByteArray &bytes, qsizetype at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(v >> (8 * i));
}

} // namespace

// Damaged zlib data makes qUncompress warn on every input; the warnings say
// nothing the result does not, and printing them slows the run down.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray rest(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    QByteArray file;
    if (data[0] & 1) {
        file = frameReportBody(rest);
    } else {
        file = rest;
        if (file.size() >= 20) {
            putLe32(file, 12, quint32(file.size() - 20));
            putLe32(file, 16, reportChecksum(QByteArrayView(file).sliced(20)));
        }
    }
    const auto loaded = decodeReport(file);
    if (!loaded)
        return 0;

    const PreparedReport &report = *loaded->report;
    for (int p = 0; p < report.pageCount(); ++p)
        for (const BandPlacement &bp : report.placements(p)) {
            const LayoutPage &set = report.layout().pages[report.page(p).pageSet];
            const Band *band = set.band(bp.kind);
            if (!band)
                continue;
            for (const ReportObject &o : band->objects)
                if (o.kind == ObjectKind::DataField && bp.row >= 0)
                    (void)loaded->rows->displayText(bp.row, o.column);
        }

    const auto again = encodeReport(report, *loaded->rows, *loaded->variables);
    if (!again)
        std::abort();
    const auto back = decodeReport(*again);
    if (!back)
        std::abort();
    const auto third = encodeReport(*back->report, *back->rows, *back->variables);
    if (!third || *third != *again)
        std::abort();
    return 0;
}

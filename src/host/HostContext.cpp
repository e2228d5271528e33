#include "HostContext.h"

#include "CoorDisp.h"

#include <QFont>

namespace sqda {

namespace {

struct LibraryState
{
    HostContext context;
    QPointer<QWidget> owner;

    // Unloading the library releases the data service; open forms belong to
    // their owner controls and are left alone.
    ~LibraryState() { context.DataService.reset(); }
};

LibraryState &state()
{
    static LibraryState s;
    return s;
}

} // namespace

HostContext &hostContext()
{
    return state().context;
}

CoorDisp CoorDisp::current()
{
    return CoorDisp(hostContext().DataService);
}

QWidget *ownerWindow()
{
    return state().owner.data();
}

void setOwnerWindow(QWidget *w)
{
    state().owner = w;
}

void releaseHostContext()
{
    state().context.DataService.reset();
    state().context.OperatorCode.clear();
}

void ensureLibraryInitialized()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    // Without these, fontconfig picks the Japanese CJK face for these family
    // names, whose glyph shapes are wrong for Simplified Chinese readers.
    QFont::insertSubstitutions(
        QStringLiteral("宋体"), { QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC") });
    QFont::insertSubstitutions(QStringLiteral("黑体"), { QStringLiteral("Noto Sans CJK SC") });
    QFont::insertSubstitutions(
        QStringLiteral("MS Sans Serif"), { QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC") });
}

} // namespace sqda

// The two functions the host calls to open a screen.
#include "host/HostContext.h"
#include "host/HostGuard.h"
#include "query/TfrmQuery.h"
#include "tradearea/TfrmMdda_ED.h"

#include <sqda/EntryPoints.h>

namespace sqda {
namespace {

template<typename Form>
void openForm(QWidget *appWindow, QWidget *hostControl, const unsigned char *operatorCode, QWidget *parentControl,
    ICoorDisp *dataService)
{
    // The call's own reference, given back on every way out of this function.
    const CoorDispRef callRef(dataService);
    const QString code = operatorCode
        ? QString::fromUtf8(reinterpret_cast<const char *>(operatorCode) + 1, qsizetype(operatorCode[0]))
        : QString();

    ensureLibraryInitialized();
    HostContext &ctx = hostContext();
    ctx.AppWindow = appWindow;
    setOwnerWindow(nullptr);
    ctx.DataService = callRef;
    ctx.HostControl = hostControl;
    ctx.OperatorCode = code;

    // Nothing may escape into the host, which may not even be C++.
    runGuarded([&] {
        auto *form = new Form(parentControl); // owned by parentControl; frees itself on close
        form->move(0, 0);
        if (parentControl) {
            form->PanelMain->resize(form->PanelMain->width(), parentControl->height());
            form->PanelMain->resize(parentControl->width(), form->PanelMain->height());
        }
        form->show();
    });
}

} // namespace
} // namespace sqda

extern "C" {

__attribute__((visibility("default"))) void GetFormOne(QWidget *appWindow, QWidget *hostControl,
    const unsigned char *operatorCode, QWidget *parentControl, sqda::ICoorDisp *dataService)
{
    sqda::openForm<sqda::TfrmMdda_ED>(appWindow, hostControl, operatorCode, parentControl, dataService);
}

__attribute__((visibility("default"))) void GetFormOneSearch(QWidget *appWindow, QWidget *hostControl,
    const unsigned char *operatorCode, QWidget *parentControl, sqda::ICoorDisp *dataService)
{
    sqda::openForm<sqda::TfrmQuery>(appWindow, hostControl, operatorCode, parentControl, dataService);
}

} // extern "C"

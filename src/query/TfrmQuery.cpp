#include "TfrmQuery.h"

#include "env/ScreenEnvironment.h"
#include "host/HostContext.h"
#include "host/ShowHostError.h"

namespace sqda {

TfrmQuery::TfrmQuery(QWidget *parentControl)
    : TFrmBase(parentControl)
{
    setObjectName(QStringLiteral("frmQuery"));
    FormCreate();
}

TfrmQuery::~TfrmQuery() = default;

void TfrmQuery::FormCreate()
{
    TFrmBase::FormCreate();
    CloseOnShow = false;

    const HostContext &ctx = hostContext();
    Environment = openEnvironment(ctx.DataService, this);
    Info.OperatorCode = ctx.OperatorCode;
    if (const Status loaded = Environment->GetSysmsgInfo(Info, environmentRequest()); !loaded) {
        showHostErrorText(this, loaded.error());
        CloseOnShow = true;
        return;
    }

    // Units that sell at front counters see the trade areas of their own department only.
    if (Info.dwlx == QLatin1String("02") || Info.dwlx == QLatin1String("11") || Info.dwlx == QLatin1String("01"))
        DepartmentFilter = Info.dybm;
}

void TfrmQuery::formShow()
{
    if (CloseOnShow)
        close(); // the base close handling notifies the host once and frees the form
}

void TfrmQuery::formClosing()
{
    Environment.reset();
}

} // namespace sqda

#include "TfrmQuery.h"

#include "host/HostContext.h"

#include <QMessageBox>

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

    const HostContext &ctx = hostContext();
    Env = std::make_unique<TTesselClass>(ctx.DataService, this);
    SysInfo.OperatorCode = ctx.OperatorCode;
    QString errorText;
    if (!Env->GetSysmsgInfo(SysInfo, environmentRequest(), errorText)) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("错误"), errorText, QMessageBox::Ok, ownerWindow());
        box.exec();
        EnvFailed = true;
    }
}

void TfrmQuery::formShow()
{
    if (EnvFailed)
        close(); // the base close handling notifies the host once and frees the form
}

void TfrmQuery::formClosing()
{
    Env.reset();
}

} // namespace sqda

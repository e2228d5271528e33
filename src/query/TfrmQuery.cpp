#include "TfrmQuery.h"

namespace sqda {

TfrmQuery::TfrmQuery(QWidget *parentControl) : TFrmBase(parentControl)
{
    setObjectName(QStringLiteral("frmQuery"));
    FormCreate();
}

} // namespace sqda

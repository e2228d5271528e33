#include "TfrmMdda_ED.h"

namespace sqda {

TfrmMdda_ED::TfrmMdda_ED(QWidget *parentControl) : TFrmBase(parentControl)
{
    setObjectName(QStringLiteral("frmMdda_ED"));
    resize(823, 538);
}

} // namespace sqda

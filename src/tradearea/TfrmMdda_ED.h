// The trade-area maintenance screen that GetFormOne opens.
#pragma once

#include "host/TFrmBase.h"

namespace sqda {

class TfrmMdda_ED : public TFrmBase
{
    Q_OBJECT
public:
    explicit TfrmMdda_ED(QWidget *parentControl);
};

} // namespace sqda

// The trade-area query screen that GetFormOneSearch opens.
#pragma once

#include "host/TFrmBase.h"

namespace sqda {

class TfrmQuery : public TFrmBase
{
    Q_OBJECT
public:
    explicit TfrmQuery(QWidget *parentControl);
};

} // namespace sqda

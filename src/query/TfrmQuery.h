// The trade-area query screen that GetFormOneSearch opens.
#pragma once

#include "env/TTesselClass.h"
#include "env/TsysmsgInfo.h"
#include "host/TFrmBase.h"

#include <memory>

namespace sqda {

class TfrmQuery : public TFrmBase
{
    Q_OBJECT
public:
    explicit TfrmQuery(QWidget *parentControl);
    ~TfrmQuery() override;

    // What the screen asks of its environment once, at creation.
    static SysmsgItems environmentRequest() { return { 0, 1, 2, 3, 4, 13 }; }

    std::unique_ptr<TTesselClass> Env;
    TsysmsgInfo SysInfo;
    // The environment could not be read: the message has been shown and the
    // screen closes as soon as it is shown.
    bool EnvFailed = false;

protected:
    void FormCreate();
    void formShow() override;
    void formClosing() override;
};

} // namespace sqda

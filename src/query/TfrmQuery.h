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

    // The environment could not be read: the message has been shown and the
    // screen closes as soon as it is shown.
    bool CloseOnShow = false;
    // The department every search is restricted to; empty for none.
    QString DepartmentFilter;
    std::unique_ptr<TTesselClass> Environment;
    TsysmsgInfo Info;

protected:
    void FormCreate();
    void formShow() override;
    void formClosing() override;
};

} // namespace sqda

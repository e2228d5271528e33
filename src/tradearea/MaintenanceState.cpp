#include "MaintenanceState.h"

namespace sqda {

MaintenanceState &maintenanceState()
{
    static MaintenanceState s;
    return s;
}

} // namespace sqda

// The shortcut lists that the help buttons of the two screens show.
#pragma once

#include <QStringList>

namespace sqda {

class TRopWin;

QStringList maintenanceHelpLines();
QStringList queryHelpLines();

// The maintenance screen's RopHelp: "MS Sans Serif", 11-pixel characters.
void setupMaintenanceHelp(TRopWin &help);
// The query screen's RopHelp: "宋体", 12-pixel characters.
void setupQueryHelp(TRopWin &help);

} // namespace sqda

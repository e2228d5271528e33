#include "DialogState.h"

namespace sqda {

QColor colorFromBgr(TColor color)
{
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

DialogState &dialogState()
{
    static DialogState state;
    return state;
}

void resetDialogStateForTests()
{
    dialogState() = DialogState {};
}

} // namespace sqda

#include "ShortcutHelp.h"

#include "TRopWin.h"

#include "host/HostContext.h"

namespace sqda {

QStringList maintenanceHelpLines()
{
    return {
        QStringLiteral("快捷键："),
        QString(),
        QStringLiteral("    展  开: Ctrl+E(展开所有的结点)"),
        QStringLiteral("    收  缩: Ctrl+C(收缩所有的结点)"),
        QStringLiteral("    增  加: Ctrl+A(增加一个门店)"),
        QStringLiteral("    删  除: Ctrl+D(删除一个门店)"),
        QStringLiteral("    保  存: Ctrl+S(保存一个门店)"),
        QStringLiteral("    定  位: Ctrl+L"),
        QStringLiteral("    查  询: Ctrl+Q"),
        QStringLiteral("    刷  新: Ctrl+R"),
        QStringLiteral("    退  出: ESC"),
    };
}

QStringList queryHelpLines()
{
    return {
        QStringLiteral("快捷键："),
        QStringLiteral("    重  查: F2"),
        QStringLiteral("    选  项: F3"),
        QStringLiteral("    条  件: Ctrl+S(显示查询条件)"),
        QStringLiteral("    预  览: Ctrl+V"),
        QStringLiteral("    打  印: Ctrl+P"),
        QStringLiteral("    退  出: ESC"),
    };
}

namespace {

void setup(TRopWin &help, const QString &family, int pixelHeight, const QStringList &lines)
{
    ensureLibraryInitialized();
    QFont font(family);
    font.setPixelSize(pixelHeight);
    help.Font = font;
    help.FontColor = QColor(); // the window-text colour
    help.Brush = QBrush(Qt::white);
    help.Lines = lines;
    help.TimeClose = 0;
    help.xPos = 0;
    help.yPos = 0;
}

} // namespace

void setupMaintenanceHelp(TRopWin &help)
{
    setup(help, QStringLiteral("MS Sans Serif"), 11, maintenanceHelpLines());
}

void setupQueryHelp(TRopWin &help)
{
    // 宋体 in its GB2312 character set: the lines are Chinese.
    setup(help, QStringLiteral("宋体"), 12, queryHelpLines());
}

} // namespace sqda

#include "log/log.h"
#include "platform/ui.h"

int main(int argc, char **argv)
{
    UiInit(&argc, argv);
    mf_Tovra_Log__Clear();
    mf_Tovra_Log__Append();
    int panel = LoadPanel(0, "../gui/Tovra_COMM.ui", 1);
    if (panel < 0)
        return 1;
    DisplayPanel(panel);
    return RunUserInterface();
}

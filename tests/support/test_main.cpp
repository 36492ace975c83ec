// Test entry: starts the toolkit once (offscreen when no display is set);
// a popup that no test expects fails at once instead of waiting for a click.
#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/ui.h"
#include "popups.h"

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    UiInit(&argc, argv);
    PopupRecorder::FailOnPopups();
    return RUN_ALL_TESTS();
}

// Test entry: starts the toolkit once (offscreen when no display is set).
#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/ui.h"

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    UiInit(&argc, argv);
    return RUN_ALL_TESTS();
}

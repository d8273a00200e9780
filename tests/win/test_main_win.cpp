#include "app/module_win.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // The code under test finds its resources through the module handle,
    // exactly as in the wrapper.
    g_module = GetModuleHandleW(nullptr);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

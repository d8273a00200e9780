#include "shared/process_state_win.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // The code under test finds its resources through the module handle,
    // exactly as in the wrapper.
    ModuleInstance = GetModuleHandleW(nullptr);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

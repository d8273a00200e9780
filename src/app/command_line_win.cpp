#include "app/command_line_win.h"

#include "app/command_line.h"
#include "shared/process_state.h"

#include <windows.h>
#include <shellapi.h>

bool ParseCommandLine()
{
    std::vector<std::wstring> arguments;
    int count = 0;
    LPWSTR* vector = CommandLineToArgvW(GetCommandLineW(), &count);
    // Without a vector the run proceeds as if no argument had been given.
    if (vector != nullptr) {
        arguments.assign(vector, vector + count);
        GlobalFree(vector);
    }
    ApplyArguments(arguments, Options);
    return true;
}

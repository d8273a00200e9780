#include "app/command_line_win.h"

#include "app/command_line.h"
#include "shared/process_state.h"

#include <cstdlib>

bool ParseCommandLine()
{
    // The C runtime has split the command line by the rules of
    // CommandLineToArgvW already (and expands no wildcards): taking its
    // vector spares the import of shell32.dll for that one function.
    std::vector<std::wstring> arguments;
    if (__wargv != nullptr)
        arguments.assign(__wargv, __wargv + __argc);
    ApplyArguments(arguments, Options);
    return true;
}

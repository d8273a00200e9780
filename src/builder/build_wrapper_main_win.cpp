// build-wrapper.exe: builds a wrapper on Windows from the x64 and x86
// wrappers without patches it carries in its own resources. See
// build_wrapper.h; signing is signtool's, after the build.

#include "builder/build_wrapper.h"
#include "shared/dll_search_win.h"

#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    RestrictDllSearchToSystemFolder();
    return RunBuilder(std::vector<std::wstring>(argv + 1, argv + argc));
}

// bare_load: loads each named DLL the unsafe way, by bare name with the
// default search, as a program that sets no search of its own would.
//
//   bare_load NAME...
//
// Prints each NAME that loaded, one a line; exit code 0. The DLL-planting
// test runs it beside planted copies to show that Wine would take them.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (LoadLibraryW(argv[i]) != nullptr)
            std::printf("%ls\n", argv[i]);
    }
    return 0;
}

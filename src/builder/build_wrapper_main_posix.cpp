// build-wrapper for Linux: builds a wrapper from the x64 and x86 wrappers
// without patches it carries, and signs it with osslsigncode when asked.
// See build_wrapper.h.

#include "builder/build_wrapper.h"
#include "shared/utf8_text.h"

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(WideFromUtf8(argv[i]));
    return RunBuilder(arguments);
}

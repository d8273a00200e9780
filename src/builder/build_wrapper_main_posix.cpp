// build-wrapper for Linux: builds a wrapper from the x64 and x86 wrappers
// without patches it carries, and signs it with osslsigncode when asked.
// See build_wrapper.h.

#include "builder/build_wrapper.h"
#include "shared/utf8_text.h"

#include <csignal>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // Past a file-size limit (ulimit -f) a write then fails with EFBIG,
    // which the build names and cleans up after, instead of the signal
    // killing it with its scratch files left behind. The signer inherits
    // this too, and fails the same way.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(WideFromUtf8(argv[i]));
    return RunBuilder(arguments);
}

#pragma once

#include <string>
#include <vector>

// The builder both build-wrapper programs are (the Linux one and
// build-wrapper.exe): the command line of builder_options.h, the checks of
// patch_checks.h, the wrapper written by wrapper_writer.h. The texts,
// refusals and exit codes are the same on both; only the files, the
// console and signing come from the platform (builder_host.h).
//
// Exit code 0 when the wrapper was written, 2 (kBuilderRefused) when
// anything was refused or failed, memory that ran out included: no wrapper
// is put in place then, and the build removes the files it made and the
// folders it made while they are empty, nothing else (a killed build
// leaves its scratch file, which the next build removes: see
// build_files.h).
int RunBuilder(const std::vector<std::wstring>& arguments);

#pragma once

#include <string>

// The platform of builder/builder_host.h for tests of a whole build
// (RunBuilder): the test stub (support/stub_image.h) as both wrappers
// without patches, what the build prints kept, and no signer.
namespace fake_host {

// Standard output and standard error, in the order printed.
std::wstring& Printed();

} // namespace fake_host

#pragma once

#include "builder/builder_host.h"

#include <string>

// The builder's platform for tests that run a whole build (RunBuilder):
// what it prints is kept, both wrappers without patches are the test stub
// (support/stub_image.h), and it signs nothing.
namespace fake_host {

// Standard error since the last Reset.
const std::wstring& Errors();
void Reset();

} // namespace fake_host

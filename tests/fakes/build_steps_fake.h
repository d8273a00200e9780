#pragma once

#include "builder/build_steps.h"

#include <functional>
#include <string>

// What a test does, as another program would, when a build reaches a step
// (see builder/build_steps.h): once, at the first time the step is
// reached after it was set.
namespace fake_steps {

void ActOnce(BuildStep step, std::function<void(const std::wstring& file)> action);
void Reset();

} // namespace fake_steps

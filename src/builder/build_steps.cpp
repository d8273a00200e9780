#include "builder/build_steps.h"

// Alone in its file: a test executable that defines ReachedBuildStep
// itself never pulls this file from the library.
void ReachedBuildStep(BuildStep, const std::wstring&)
{
}

#pragma once

#include <string>

// Points in a build where another program could act on a file the build
// is about to use or is using. The builders do nothing there; the
// builder's tests define ReachedBuildStep themselves and act as such a
// program would, so that each safeguard is shown to hold at the very
// moment it is needed.
enum BuildStep {
    kScratchNameCleared,  // what stood at the scratch file's name is gone; the file is not made yet
    kPatchPieceChecked,  // the checks read a piece of the patch `file`
    kPatchPieceCopied,  // a piece of the patch `file` is in the wrapper
};

void ReachedBuildStep(BuildStep step, const std::wstring& file);

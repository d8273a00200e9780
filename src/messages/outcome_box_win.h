#pragma once

#include <string>
#include <vector>

// Shows the outcome box of message `messageId` unless the run is quiet;
// `values` fill the placeholders of a message that takes the caller's.
void ShowOutcomeMessage(int messageId, const std::vector<std::wstring>& values = {});

#pragma once

// Shows the outcome box of message `messageId` unless the run is quiet.
void ShowOutcomeMessage(int messageId);

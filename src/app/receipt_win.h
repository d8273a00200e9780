#pragma once

#include "app/receipt.h"

// Now, in UTC.
LogStamp UtcNow();

// Completes the receipt with what the run did not record itself (the
// computer, the account, the end time; for a run that neither installed
// nor planned, the slots as carried) and writes it to Options.receiptPath
// whole or not at all. A receipt that cannot be written changes nothing
// of the run: the log says why.
void WriteRunReceipt(RunReceipt& receipt, unsigned exitCode);

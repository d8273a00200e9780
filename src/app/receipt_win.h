#pragma once

#include "app/receipt.h"

// Now, in UTC.
LogStamp UtcNow();

// The end of every run: completes the receipt with what the run did not
// record itself (the computer, the account, the end time; for a run that
// neither installed nor planned, the slots as carried), writes it to
// Options.receiptPath whole or not at all, and writes the run's event in
// the modes that have one (run_event.h). The receipt is final before
// either is written, and both carry the same JSON. Neither changes
// anything of the run: the log says why one could not be written.
void RecordRun(RunReceipt& receipt, unsigned exitCode);

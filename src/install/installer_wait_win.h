#pragma once

#include <cstdint>
#include <string>

// Before an installer call: waits while another installation holds the
// installer, and after the call was answered 1618 (`busyAnswers` times so
// far) waits before it is made again, all within what is left of the run's
// budget (Options.waitMinutes for all its waits together). Every wait is
// logged for `slot` with `call` ("installing the patch on product {...}").
// True when the call is to be made now; false when waiting is off after a
// 1618 answer, or the installer stayed busy until the budget was spent.
bool AwaitInstaller(const std::wstring& slot, const std::wstring& call, unsigned busyAnswers);

// Milliseconds of waiting as the log and the receipt give them: whole
// seconds, rounded to the nearest.
unsigned WholeSeconds(std::uint64_t milliseconds);

#pragma once

#include <string>
#include <vector>

enum class CaseStatus { kPassed, kFailed, kSkipped };

struct CaseOutcome {
    std::wstring name;
    CaseStatus status = CaseStatus::kPassed;
    std::wstring why;                 // the failure, or the reason it was skipped
    std::vector<std::wstring> notes;  // what the case saw that is no failure
    double seconds = 0;
};

// The outcomes as one JUnit XML test suite, UTF-8; a case's notes are
// its output.
std::string JUnitXml(const std::vector<CaseOutcome>& outcomes);

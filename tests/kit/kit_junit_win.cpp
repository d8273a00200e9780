#include "kit_junit_win.h"

#include <cstdio>

#include "text_win.h"

namespace {

std::string Escaped(const std::wstring& text)
{
    std::string out;
    for (char c : to_utf8(text)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // XML 1.0 has no way to write the other C0 controls.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') c = '?';
            out += c;
        }
    }
    return out;
}

std::string Seconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

}  // namespace

std::string JUnitXml(const std::vector<CaseOutcome>& outcomes)
{
    int failures = 0, skipped = 0;
    double total = 0;
    std::string cases;
    for (const CaseOutcome& outcome : outcomes) {
        total += outcome.seconds;
        cases += "  <testcase classname=\"windows-kit\" name=\"" + Escaped(outcome.name) + "\" time=\"" +
                 Seconds(outcome.seconds) + "\"";
        if (outcome.status == CaseStatus::kPassed && outcome.notes.empty()) {
            cases += "/>\n";
            continue;
        }
        cases += ">\n";
        if (outcome.status != CaseStatus::kPassed) {
            const bool failed = outcome.status == CaseStatus::kFailed;
            (failed ? failures : skipped) += 1;
            cases += "    <" + std::string(failed ? "failure" : "skipped") + " message=\"" + Escaped(outcome.why) +
                     "\"/>\n";
        }
        if (!outcome.notes.empty()) {
            std::wstring output;
            for (const std::wstring& note : outcome.notes) output += L"note: " + note + L"\n";
            cases += "    <system-out>" + Escaped(output) + "</system-out>\n";
        }
        cases += "  </testcase>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuite name=\"windows-kit\" tests=\"" +
           std::to_string(outcomes.size()) + "\" failures=\"" + std::to_string(failures) +
           "\" errors=\"0\" skipped=\"" + std::to_string(skipped) + "\" time=\"" + Seconds(total) + "\">\n" + cases +
           "</testsuite>\n";
}

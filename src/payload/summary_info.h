#pragma once

#include "install/msi_api.h"
#include "payload/compound_file.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A patch's summary information ("\005SummaryInformation"), read the way
// Wine's installer reads it, so that the wrapper can answer as the installer
// would without handing it a file first. The rules below are Wine's, found
// by reading patches through Wine's msi.dll (tests/e2e/readers_real.sh);
// Windows' installer is not tried here.

// Property ids below this are the ones Wine's installer knows.
constexpr unsigned kSummaryPropertyLimit = 20;
constexpr unsigned kSummaryCodePage = 1;

// Value types, as property sets store them.
constexpr std::uint32_t kSummaryEmpty = 0;
constexpr std::uint32_t kSummaryInt16 = 2;
constexpr std::uint32_t kSummaryInt32 = 3;
constexpr std::uint32_t kSummaryText = 30;
constexpr std::uint32_t kSummaryTime = 64;


struct SummaryProperty {
    std::uint32_t type = kSummaryEmpty;  // the type the installer reports; empty when absent
    std::int32_t number = 0;             // for the integer types
    std::string text;                    // for text: its bytes up to the first NUL
};

struct SummaryInformation {
    SummaryProperty properties[kSummaryPropertyLimit];
};

// Parses a summary stream into `info`, replacing what it held. False when
// the stream is no property set Wine's installer reads (byte order, format
// id, section bounds, more than 20 properties): every property is then
// absent, as Wine's installer reports it. Reading stops, keeping what came before, at
// the first entry the installer stops at.
bool ParseSummaryInformation(const std::uint8_t* bytes, std::size_t size, SummaryInformation& info);

// Property 1, the code page of the text values; 0 when absent.
unsigned SummaryCodePageOf(const SummaryInformation& info);

// Reads and parses the summary stream of a compound file. False when there
// is none, it cannot be read whole or it is longer than
// kMaxSummaryStreamBytes; a stream that is no property set still gives
// true, with every property absent.
bool ReadSummaryInformation(const CompoundFile& file, SummaryInformation& info);

enum SummaryTextResult {
    kSummaryTextPresent,  // `text` holds the value, possibly empty
    kSummaryTextAbsent,   // the installer succeeds and leaves the caller's buffer as it was
    kSummaryUnreadable,   // no summary stream that can be read whole
};

// True when the root storage carries the class of an installer database,
// patch or transform. The installer refuses any other file before it looks
// at the summary (1627 under Wine).
bool HasPackageClass(const CompoundFile& file);

// Turns the stored bytes into text: the Windows build converts as Wine's
// installer does, with the system's ANSI code page; WidenAnsiText is the
// portable stand-in.
using SummaryTextConverter = std::wstring (*)(const std::string& bytes, unsigned codePage);

// Text property `property` (5 Keywords, 7 Template, ...) of a compound
// file's summary. `text` changes only when the result is kSummaryTextPresent.
// Ids that hold no text read as absent; from 20 on the installer answers
// 1608 (unknown property) instead.
SummaryTextResult ReadSummaryText(const CompoundFile& file, unsigned property, std::wstring& text,
                                  SummaryTextConverter convert);

// The patch's code: the first GUID of the Revision Number value, which
// holds the patch's code and then the codes of the patches it makes
// obsolete, with nothing between them (learn.microsoft.com, "Revision
// Number Summary"). Empty when the value begins with no GUID.
std::wstring PatchCodeOf(const CompoundFile& file);

#pragma once

#include "app/receipt_win.h"
#include "app/run_event.h"
#include "embedded_patch_fake.h"
#include "event_log_api_fake.h"
#include "message_box_fake.h"
#include "msi_api_fake.h"
#include "payload/patch_slots.h"
#include "scratch_folder.h"
#include "shared/json_writer.h"
#include "shared/process_state.h"
#include "shared/utf8_text.h"
#include "support/patch_image.h"
#include "temp_names_fake.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

// Tests of the install logic against the fake installer and message box,
// from a clean state: no boxes, no products, quiet off, no product name,
// and fifteen embedded patches whose summaries name nothing until a test
// gives them targeting data.
class FakeInstallerTest : public testing::Test {
protected:
    void SetUp() override
    {
        fake_msi::Reset();
        fake_boxes::Reset();
        fake_names::Reset();
        fake_patches::Reset();
        fake_events::Reset();
        for (int slot = 1; slot <= kPatchSlotCount; ++slot)
            fake_patches::Set(slot, PatchImage(std::vector<SummaryValue>()));
        Options = RunOptions();
        Options.installMode = true;
        MessageProductName.clear();
        RestartRequest = 0;
        FirstInstallerFailure = 0;
        ProductLeftBehind = false;
        InstallerWaitSpent = 0;
        SetThreadLocale(LOCALE_USER_DEFAULT);
    }

    // `run` ended as the wrapper ends a run (RecordRun, with a receipt
    // file): "ID LEVEL" of its one event, whose second string is the
    // receipt the run wrote, compact. `planned`: the run is a /whatif's.
    static std::wstring EventOf(const RunRecord& run, bool planned = false)
    {
        const RunOptions options = Options;
        ScratchFolder folder;
        Options.receiptPath = folder.Path() + L"\\r.json";
        Options.whatIfMode = planned;
        Options.installMode = !planned && !Options.uninstallMode;
        RunReceipt receipt;
        receipt.run = run;
        receipt.planned = planned;
        receipt.outcomeKnown = true;
        receipt.uninstall = Options.uninstallMode;
        fake_events::Reset();
        RecordRun(receipt, run.exitCode);
        Options = options;
        const auto& events = fake_events::Reported();
        if (events.size() != 1 || events[0].strings.size() != 2) {
            ADD_FAILURE() << events.size() << " events";
            return L"";
        }
        EXPECT_EQ(Utf8FromText(events[0].strings[1]), CompactJson(ContentOf(folder.Path() + L"\\r.json")));
        return std::to_wstring(events[0].id) + L" " + EventLevelName(events[0].type);
    }

    // Embeds in slot n a real patch with these Keywords and Template, read
    // alike by the wrapper's own reader (from the embedded bytes) and by the
    // fake installer (from a copy on disk, which it knows by its content).
    static void EmbedPatch(int slot, const std::wstring& keywords, const std::wstring& templateValue,
                           const std::wstring& patchCode = L"")
    {
        const std::vector<std::uint8_t> image = PatchImage(keywords, templateValue, patchCode);
        fake_patches::Set(slot, image);
        fake_msi::SetSummaryForFile(std::string(image.begin(), image.end()), keywords, templateValue);
    }
};

// A name in the system's installer folder (made where the test's prefix
// has none yet), begun with the test process's id so that no other file
// has it: where the installer keeps its cached copies.
inline std::wstring InstallerCachePath(const std::wstring& name)
{
    wchar_t windows[MAX_PATH];
    const std::wstring folder = std::wstring(windows, GetSystemWindowsDirectoryW(windows, MAX_PATH)) + L"\\Installer";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\" + std::to_wstring(GetCurrentProcessId()) + name;
}

inline std::string FileContent(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Product codes for the tests.
constexpr wchar_t kProductA[] = L"{AAAAAAAA-0000-0000-0000-000000000001}";
constexpr wchar_t kProductB[] = L"{BBBBBBBB-0000-0000-0000-000000000002}";

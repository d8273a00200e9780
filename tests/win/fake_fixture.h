#pragma once

#include "message_box_fake.h"
#include "msi_api_fake.h"
#include "shared/process_state.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

// Tests of the install logic against the fake installer and message box,
// from a clean state: no boxes, no products, quiet off, no product name.
class FakeInstallerTest : public testing::Test {
protected:
    void SetUp() override
    {
        fake_msi::Reset();
        fake_boxes::Reset();
        Options = RunOptions();
        Options.installMode = true;
        MessageProductName.clear();
        RestartRequest = 0;
        SetThreadLocale(LOCALE_USER_DEFAULT);
    }

    // The content of embedded slot n, which the fake keys its summaries on.
    static std::string Slot(int n) { return "slot-" + std::to_string(n); }
};

// Product codes for the tests.
constexpr wchar_t kProductA[] = L"{AAAAAAAA-0000-0000-0000-000000000001}";
constexpr wchar_t kProductB[] = L"{BBBBBBBB-0000-0000-0000-000000000002}";

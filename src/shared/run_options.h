#pragma once

#include <string>
#include <vector>

// What the command line asked for. Written once, before any mode runs.
struct RunOptions {
    bool quiet = false;
    bool installMode = false;
    bool extractMode = false;
    bool infoMode = false;
    // "/whatif": the install run's decisions, reported, changing nothing.
    bool whatIfMode = false;
    // "/uninstall": this wrapper's patches removed from the installed
    // products instead of applied; with /whatif, only planned.
    bool uninstallMode = false;
    std::wstring extractPath;
    // The install run ends with a code that deployment systems understand
    // instead of 0. Off unless asked for: existing deployments expect 0.
    bool deploymentExitCode = false;
    // "/?" or "/help": a box listing the command-line words instead of any run.
    bool helpMode = false;
    // Why the command line cannot be followed (a word we added without its
    // value, or with a bad one); empty when it can. Then nothing is done:
    // the list of words is shown unless /q, and /exitcode ends with 1639.
    std::wstring usageError;
    // The words of the part that is read that are none of ours, in their
    // order: ignored, as deployments may pass words of other installers,
    // but named in the log and the receipt.
    std::vector<std::wstring> ignoredWords;
    // Where "/log" asked for the wrapper's own log; empty: no log.
    std::wstring logPath;
    // Where "/json" asked for the run's receipt; empty: none.
    std::wstring receiptPath;
    // How long the install run may wait, all its waits together, while
    // another installation holds the installer: "/wait MINUTES", else 10
    // under /q, else 0 (no waiting: a person at the screen sees the error
    // box at once instead of a program that seems to hang).
    unsigned waitMinutes = 0;
};

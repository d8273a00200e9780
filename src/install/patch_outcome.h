#pragma once

// The result of offering one embedded patch to the machine, or with
// /uninstall of taking it back.
enum PatchOutcome : int {
    kNoOutcome = 0,  // the install run before any patch was looked at
    Failed = 1,
    Installed = 2,
    UpToDate = 3,
    WrongVersion = 4,
    NoProduct = 5,
    NoPatch = 6,
    Removed = 7,          // removed from at least one product (a plan: would be)
    NothingToRemove = 8,  // present on no installed product this account reaches
};

#pragma once

#include "install/patch_outcome.h"
#include "install/product_record.h"
#include "payload/patch_slots.h"
#include "payload/targeting.h"

#include <string>

// One slot's patch, read and decided on before anything changes the machine.
struct SlotDecision {
    PatchBytes patch;
    PatchTargeting targeting;
    ProductRecords records;  // the installed target products, each with its verdict
};

// Reads one slot's patch and gives every installed target product its
// verdict, asking the installer nothing that changes the machine. A product
// in `planned` is taken to be at the version given there, as a plan takes
// it after an earlier slot's patch; the install run passes none and reads
// every version from the installer, which knows what the run installed.
// Returns NoPatch, Failed (the targeting data cannot be read; the last-error
// value says why), NoProduct, or kNoOutcome with the verdicts in `slot`.
PatchOutcome DecideSlot(const std::wstring& resourceName, const PlannedVersions& planned, SlotDecision& slot);

// Offers one embedded patch to every installed target product and sums it
// up; `slot` keeps what was read and decided, and each call's answer. With
// updateMessageName, MessageProductName follows each product examined;
// after an installer error the last-error value is its code.
PatchOutcome ProcessPatch(const std::wstring& resourceName, bool updateMessageName, SlotDecision& slot);

#pragma once

#include "install/decision.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// A fact, looked up read-only before an installing call, that predicts the
// call may fail. Reported in the plan, the log and the receipt; it never
// stops a call.
enum FailureHintKind : int {
    kHintProductPackageMissing,  // the installer's cached package of the product is gone
    kHintPatchPackageMissing,    // that of a patch already applied to it
    kHintCopiesVolumeLow,        // less free space where the patch is copied than its size
    kHintSystemVolumeLow,        // less than twice its size on the system volume
    kHintInstallerBusy,          // another installation holds the installer now
    kHintRestartPending,         // the system waits for a restart
};

struct FailureHint {
    FailureHintKind kind = kHintInstallerBusy;
    std::wstring detail;  // the path, the figures or the key that tells it
};

// Why a missing cached copy of one of this wrapper's patches was not put
// back: the registered path breaks a rule, or the system refused a step.
enum PutBackProblem : int {
    kPutBackNoProblem,
    kPathNotOnDrive,         // not a plain full path on a drive: a share, a device path, a relative one
    kPathDotName,            // a "." or ".." among its names
    kPathNotMsp,             // its file name does not end in .msp
    kPathThroughLink,        // a link or other reparse point on the way
    kPathOtherFolder,        // its folder is not the installer folder itself
    kPathFolderUnopened,     // its folder cannot be opened (error)
    kPathFileExists,         // a file of that name stands there now
    kInstallerFolderUnopened,  // the system's installer folder cannot be opened (error)
    kWriteFailed,            // creating, writing or flushing the copy failed (error)
};

enum PutBackAction : int {
    kPutBackDone,     // put back, byte for byte
    kPutBackPlanned,  // a plan: would be put back
    kPutBackRefused,  // the path breaks a rule: nothing written
    kPutBackFailed,   // a step failed: nothing left
};

// One registered patch of this wrapper whose cached copy (its
// "LocalPackage") was missing before an installer call on the product.
struct PutBack {
    std::wstring resourceName;  // the slot that carries the patch
    std::wstring patchCode;
    std::wstring path;          // as the installer registers it
    PutBackAction action = kPutBackRefused;
    PutBackProblem problem = kPutBackNoProblem;
    unsigned error = 0;         // the system's, where the problem has one
};

// What /uninstall finds of one of this wrapper's patches on one target
// product, and what the removal left.
enum RemovalVerdict : int {
    kRemovalNotInstalled,  // the installer has no such product
    kRemovalNotReachable,  // installed for another user only: this account cannot remove it
    kRemovalNotApplied,    // the patch is not present on it (or the installer answered 1647)
    kRemovalDue,           // present (applied, superseded or obsoleted): to be removed
    kRemovalRemoved,       // the removal succeeded and the patch is no longer present
    kRemovalNotRemoved,    // the removal answered success, yet the patch is still present
    kRemovalFailed,        // the removal failed
};

struct PatchRemovalRecord {
    RemovalVerdict verdict = kRemovalNotInstalled;
    // The installation context the patch is registered in (kContext*); 0
    // where none this account reads registers it.
    int context = 0;
    // The registered states ("State": 1 applied, 2 superseded, 4
    // obsoleted, 8 registered), 0 where none is registered; read just
    // before the removal and after it.
    unsigned stateBefore = 0;
    unsigned stateAfter = 0;
    bool stateAfterRead = false;
    // The registered "Uninstallable" value ("1" or "0"); empty where none is read.
    std::wstring uninstallable;
};

// One target product of one patch: what the decision read and decided, and
// what the install run (or /uninstall) then did. A plain record, so that a plan and a run
// can report it alike.
struct ProductRecord {
    std::wstring productCode;
    std::wstring upgradeVersion;
    std::wstring productName;
    std::wstring language;
    std::wstring commandLine;  // the property string of the last installer call for it
    std::wstring targetVersions;
    std::wstring installedVersion;
    // 0 when installedVersion is the installer's; otherwise the earlier slot
    // whose patch a plan takes to have brought the product there.
    int versionFromSlot = 0;
    ProductVerdict verdict = kVerdictNotInstalled;
    std::vector<FailureHint> hints;
    // The missing cached copies of this wrapper's patches on the product,
    // found before the last installer call for it (or a plan's).
    std::vector<PutBack> putBacks;
    // The installing call's answer; a plan leaves 0, as if every call succeeded.
    unsigned installerResult = 0;
    // A real run reached the installing call: installerResult is its
    // answer, 1618 when the installer stayed busy and was never called.
    bool answered = false;
    // Of a real installing call: its verbose log, the whole seconds it
    // waited for a busy installer, and the version read after its success.
    // Empty (0) where no call was made.
    std::wstring installerLog;
    unsigned secondsWaited = 0;
    std::wstring versionAfter;
    // /uninstall's: this slot's patch on the product.
    PatchRemovalRecord removal;
};

// One product a slot's patch is removed from again when a later slot stops
// the run, with the removing call's answer (a plan takes it to succeed).
struct Removal {
    std::wstring productCode;
    unsigned installerResult = 0;
};

// One installed product a rolled-back slot's patch stays on: the rollback
// removes a patch only where the product stands exactly at its upgrade
// version, and this one stands at `version`.
struct KeptPatch {
    std::wstring productCode;
    std::wstring version;
};

using ProductRecords = std::vector<std::unique_ptr<ProductRecord>>;

// The version a plan takes a product to be at after an earlier slot's patch.
struct PlannedVersion {
    std::wstring version;
    int slot = 0;
};
using PlannedVersions = std::map<std::wstring, PlannedVersion>;  // by product code

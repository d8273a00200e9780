#pragma once

// Installer results that count as an installed patch: success, and success
// with a restart initiated or required.
bool IsInstallSuccess(unsigned installerResult);

// What an installer result means for the log: "success", "restart
// required", "restart started", "another installation is in progress"
// (1618) or "failure".
const wchar_t* InstallerResultMeaning(unsigned installerResult);

// Keeps the stronger of two restart requests: a started restart beats a required one.
unsigned StrongerRestart(unsigned current, unsigned installerResult);

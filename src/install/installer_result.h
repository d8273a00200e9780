#pragma once

// Installer results that count as an installed patch: success, and success
// with a restart initiated or required.
bool IsInstallSuccess(unsigned installerResult);

// Keeps the stronger of two restart requests: a started restart beats a required one.
unsigned StrongerRestart(unsigned current, unsigned installerResult);

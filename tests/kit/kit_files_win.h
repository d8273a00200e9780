#pragma once

#include <string>

// Every product the kit installs has a name that starts with this, so that
// the installer logs its runs leave can be told from anybody else's.
extern const wchar_t kKitNamePrefix[];

// GetTempPathW, without its final backslash: where the wrapper writes the
// installer's logs, "<product name> SP install.log".
std::wstring TempFolder();
// Removes the installer logs of the kit's products from the temp folder,
// copied first to PREFIX followed by their names when PREFIX is not empty.
void RemoveKitInstallerLogs(const std::wstring& prefix = std::wstring());
// FILE in the system folder, by full path (a search would look in the
// kit's own folder first); empty when the folder cannot be named.
std::wstring SystemProgram(const wchar_t* file);

bool FileExists(const std::wstring& path);
// The whole file; false when it cannot be read.
bool ReadWholeFile(const std::wstring& path, std::string& bytes);
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);

#include "install/installer_busy.h"

#include <windows.h>

namespace installer_busy {

// The installer holds the mutex Global\_MSIExecute while it runs an
// execution sequence, and every installer call made meanwhile answers
// ERROR_INSTALL_ALREADY_RUNNING (1618)
// (https://learn.microsoft.com/windows/win32/msi/-msiexecute-mutex; the
// "Global\" prefix names the machine-wide object the installer service uses
// from every session). How it is looked at without holding it up:
// - OpenMutexW with SYNCHRONIZE alone, the only right a wait needs; a mutex
//   that does not exist (ERROR_FILE_NOT_FOUND) means no installation runs
//   (https://learn.microsoft.com/windows/win32/api/synchapi/nf-synchapi-openmutexw);
// - WaitForSingleObject with a zero timeout returns at once: WAIT_TIMEOUT
//   while another thread owns the mutex. A wait that succeeds, WAIT_OBJECT_0,
//   and WAIT_ABANDONED (the owner ended without releasing it) both give
//   this thread ownership
//   (https://learn.microsoft.com/windows/win32/api/synchapi/nf-synchapi-waitforsingleobject),
//   so the mutex is released at once, before anything else: an installation
//   starting in that instant would otherwise be answered 1618 itself.
// Anything else (no access, a failed wait) cannot tell; it counts as free,
// and the installer's own answer (1618) decides.
bool ExecutionMutexHeld()
{
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\_MSIExecute");
    if (mutex == nullptr)
        return false;
    const DWORD wait = WaitForSingleObject(mutex, 0);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
        ReleaseMutex(mutex);
    CloseHandle(mutex);
    return wait == WAIT_TIMEOUT;
}

// GetTickCount, not GetTickCount64: the wrapper still starts on systems
// before Vista, and no wait lasts anywhere near the 49 days it wraps after.
std::uint32_t Milliseconds()
{
    return GetTickCount();
}

void Pause(std::uint32_t milliseconds)
{
    Sleep(milliseconds);
}

} // namespace installer_busy

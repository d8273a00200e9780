// watcher: reads and answers the message boxes of other programs in the same
// Wine prefix, so end-to-end tests can check what a user would have seen.
//
//   watcher OUT.txt [--count N] [--timeout SECONDS] [--dir FOLDER] [--run PROGRAM ARGS...]
//
// For every new visible top-level dialog (class #32770) it writes one UTF-8
// line to OUT.txt, flushed at once (with --run, only the dialogs of the
// processes it started: PROGRAM and what PROGRAM starts, by the job they
// run in; every other window is left alone):
//
//   caption <TAB> text <TAB> icon <TAB> button
//
// Backslash, tab, carriage return and line feed in the caption and text are
// written as \\ \t \r \n, so one box is one line. icon is information, error,
// warning, question, none or unknown; button is the id that was pressed.
//
// It stops after N boxes (exit 0; 2 when the time ran out first), at the
// timeout (default 60 s), or, with --run, once PROGRAM has ended: then its
// exit code is the watcher's (124 when PROGRAM was stopped at the timeout),
// and also printed whole as "exit code N" (wine cuts exit codes to a byte).
// PROGRAM starts in FOLDER when given, else in the watcher's current folder.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "text_win.h"

namespace {

constexpr int kTextControlId = 0xFFFF;
constexpr DWORD kPollMs = 40;
constexpr DWORD kSettleMs = 3000;
constexpr UINT kMessageWaitMs = 2000;
// Mean difference per colour channel (0..255) under which an icon counts as
// the standard one; different standard icons are far apart (measured > 40).
constexpr int kIconMatchLimit = 12;
constexpr int kRunTimedOut = 124;

struct Options {
    std::wstring out;
    int count = 0;
    DWORD timeoutMs = 60000;
    std::wstring dir;
    std::vector<std::wstring> run;
};

struct IconCandidate {
    const wchar_t* kind;
    LPCWSTR resource;
};

const IconCandidate kIcons[] = {
    {L"information", IDI_INFORMATION},
    {L"error", IDI_ERROR},
    {L"warning", IDI_WARNING},
    {L"question", IDI_QUESTION},
};

bool ParseOptions(int argc, wchar_t** argv, Options& options)
{
    if (argc < 2)
        return false;
    options.out = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--run") {
            options.run.assign(argv + i + 1, argv + argc);
            return !options.run.empty();
        }
        if (i + 1 >= argc)
            return false;
        if (arg == L"--count")
            options.count = _wtoi(argv[++i]);
        else if (arg == L"--timeout")
            options.timeoutMs = static_cast<DWORD>(_wtoi(argv[++i])) * 1000;
        else if (arg == L"--dir")
            options.dir = argv[++i];
        else
            return false;
    }
    return true;
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    return bytes;
}

// The window's text asked of its own thread, so it is complete whatever its length.
std::wstring WindowText(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageWaitMs, &length))
        return std::wstring();
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                        SMTO_ABORTIFHUNG, kMessageWaitMs, &copied);
    text.resize(copied);
    return text;
}

std::wstring ClassName(HWND window)
{
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK CollectDialog(HWND window, LPARAM parameter)
{
    if (IsWindowVisible(window) && ClassName(window) == L"#32770")
        reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
    return TRUE;
}

std::vector<HWND> VisibleDialogs()
{
    std::vector<HWND> dialogs;
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

BOOL CALLBACK FindIconControl(HWND child, LPARAM parameter)
{
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    if (IsWindowVisible(child) && ClassName(child) == L"Static" && (style & SS_TYPEMASK) == SS_ICON) {
        *reinterpret_cast<HWND*>(parameter) = child;
        return FALSE;
    }
    return TRUE;
}

// The icon control of a box without an icon is there, but holds no icon.
// Its handle means nothing in this process; whether it has one does.
HWND IconControl(HWND box)
{
    HWND found = nullptr;
    EnumChildWindows(box, FindIconControl, reinterpret_cast<LPARAM>(&found));
    DWORD_PTR icon = 0;
    if (found == nullptr ||
        !SendMessageTimeoutW(found, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kMessageWaitMs, &icon) || icon == 0)
        return nullptr;
    return found;
}

// A top-down 32-bit bitmap selected into its own memory DC.
struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    const DWORD* pixels = nullptr;
    int width = 0;
    int height = 0;
};

bool OpenCanvas(Canvas& canvas, int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    canvas.dc = CreateCompatibleDC(nullptr);
    canvas.bitmap = CreateDIBSection(canvas.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (canvas.dc == nullptr || canvas.bitmap == nullptr)
        return false;
    canvas.previous = SelectObject(canvas.dc, canvas.bitmap);
    canvas.pixels = static_cast<const DWORD*>(bits);
    canvas.width = width;
    canvas.height = height;
    return true;
}

void CloseCanvas(Canvas& canvas)
{
    if (canvas.previous != nullptr)
        SelectObject(canvas.dc, canvas.previous);
    if (canvas.bitmap != nullptr)
        DeleteObject(canvas.bitmap);
    if (canvas.dc != nullptr)
        DeleteDC(canvas.dc);
    canvas = Canvas();
}

int MeanDifference(const Canvas& a, const Canvas& b)
{
    const int count = a.width * a.height;
    long long sum = 0;
    for (int i = 0; i < count; ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            const int x = static_cast<int>((a.pixels[i] >> shift) & 0xFF);
            const int y = static_cast<int>((b.pixels[i] >> shift) & 0xFF);
            sum += x > y ? x - y : y - x;
        }
    }
    return count == 0 ? 255 : static_cast<int>(sum / (count * 3LL));
}

// Icon handles belong to the process that loaded them, so the box's icon is
// told from what is on the screen: the standard icons are drawn here, on the
// box's own background, and compared pixel by pixel.
std::wstring ScreenIconKind(HWND icon)
{
    RECT rect;
    GetWindowRect(icon, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    Canvas shot;
    if (width <= 0 || height <= 0 || !OpenCanvas(shot, width, height)) {
        CloseCanvas(shot);
        return L"unknown";
    }
    HDC screen = GetDC(nullptr);
    BitBlt(shot.dc, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    GdiFlush();

    const COLORREF background = RGB((shot.pixels[0] >> 16) & 0xFF, (shot.pixels[0] >> 8) & 0xFF,
                                    shot.pixels[0] & 0xFF);
    std::wstring best = L"unknown";
    int bestDifference = kIconMatchLimit;
    for (const IconCandidate& candidate : kIcons) {
        Canvas drawn;
        if (OpenCanvas(drawn, width, height)) {
            HBRUSH brush = CreateSolidBrush(background);
            RECT all = {0, 0, width, height};
            FillRect(drawn.dc, &all, brush);
            DeleteObject(brush);
            DrawIconEx(drawn.dc, 0, 0, LoadIconW(nullptr, candidate.resource), width, height, 0, nullptr,
                       DI_NORMAL);
            GdiFlush();
            const int difference = MeanDifference(shot, drawn);
            if (difference < bestDifference) {
                bestDifference = difference;
                best = candidate.kind;
            }
        }
        CloseCanvas(drawn);
    }
    CloseCanvas(shot);
    return best;
}

// The box is shown before it is painted: the icon is read again until it
// matches one of the standard ones or the box has had time to settle.
std::wstring IconKind(HWND box)
{
    const DWORD start = GetTickCount();
    std::wstring kind = L"none";
    do {
        HWND icon = IconControl(box);
        if (icon == nullptr)
            return L"none";
        kind = ScreenIconKind(icon);
        if (kind != L"unknown")
            return kind;
        Sleep(kPollMs);
    } while (GetTickCount() - start < kSettleMs && IsWindow(box));
    return kind;
}

// A box may be found before its dialog procedure has filled it in.
std::wstring MessageText(HWND box)
{
    const DWORD start = GetTickCount();
    for (;;) {
        HWND text = GetDlgItem(box, kTextControlId);
        if (text != nullptr) {
            std::wstring value = WindowText(text);
            if (!value.empty() || GetTickCount() - start >= kSettleMs)
                return value;
        } else if (GetTickCount() - start >= kSettleMs || !IsWindow(box)) {
            return std::wstring();
        }
        Sleep(kPollMs);
    }
}

BOOL CALLBACK FindVisibleButton(HWND child, LPARAM parameter)
{
    if (IsWindowVisible(child) && ClassName(child) == L"Button") {
        *reinterpret_cast<int*>(parameter) = GetDlgCtrlID(child);
        return FALSE;
    }
    return TRUE;
}

bool ButtonShown(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    return button != nullptr && IsWindowVisible(button);
}

// OK when the box offers it, else its default button, else its first one.
// Message boxes keep the buttons they do not offer, hidden.
int ButtonToPress(HWND box)
{
    if (ButtonShown(box, IDOK))
        return IDOK;
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(box, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, kMessageWaitMs, &result) &&
        HIWORD(result) == DC_HASDEFID && ButtonShown(box, LOWORD(result)))
        return LOWORD(result);
    int first = IDCANCEL;
    EnumChildWindows(box, FindVisibleButton, reinterpret_cast<LPARAM>(&first));
    return first;
}

bool WaitUntilGone(HWND box, DWORD ms)
{
    const DWORD start = GetTickCount();
    while (IsWindow(box) && IsWindowVisible(box)) {
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(kPollMs);
    }
    return true;
}

void Press(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    DWORD_PTR ignored = 0;
    if (button != nullptr)
        SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kMessageWaitMs, &ignored);
    // A click can be lost on a button not yet ready for input; the command
    // itself is what the dialog procedure acts on.
    if (!WaitUntilGone(box, 1000))
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    WaitUntilGone(box, kSettleMs);
}

void WriteRecord(FILE* out, HWND box, int button)
{
    const std::wstring line = BoxLineField(WindowText(box)) + L'\t' + BoxLineField(MessageText(box)) + L'\t' +
                              IconKind(box) + L'\t' + std::to_wstring(button) + L'\n';
    const std::string bytes = ToUtf8(line);
    fwrite(bytes.data(), 1, bytes.size(), out);
    fflush(out);
}

// The processes whose boxes are answered, by job ("Job Objects"): the job
// the watcher made for the program it started; or, where the program could
// not join a job of its own (a job inside a job, which Windows takes from
// Windows 8 on, "Nested Jobs"), the one the watcher runs in, which the
// program then inherits. Not by parent process id: ids are reused.
struct Watched {
    bool all = true;  // no program started: every box
    HANDLE job = nullptr;  // null: the watcher's own job
};

bool IsWatched(HWND box, const Watched& watched)
{
    if (watched.all)
        return true;
    DWORD id = 0;
    GetWindowThreadProcessId(box, &id);
    if (watched.job != nullptr) {
        // Wine 8's IsProcessInJob wants the full query right, which the
        // documentation's limited one does not give there.
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id);
        BOOL in = FALSE;
        const bool member = process != nullptr && IsProcessInJob(process, watched.job, &in) && in;
        if (process != nullptr)
            CloseHandle(process);
        return member;
    }
    // A null job handle names the caller's own job (QueryInformationJobObject).
    constexpr DWORD kMostProcesses = 1024;
    std::vector<std::uint8_t> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + kMostProcesses * sizeof(ULONG_PTR));
    auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
    if (!QueryInformationJobObject(nullptr, JobObjectBasicProcessIdList, list, static_cast<DWORD>(buffer.size()),
                                   nullptr))
        return false;
    for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
        if (list->ProcessIdList[i] == id)
            return true;
    }
    return false;
}

// Answers every new box of the watched processes; returns how many there were.
int HandleNewBoxes(FILE* out, std::set<HWND>& seen, const Watched& watched)
{
    int handled = 0;
    for (HWND box : VisibleDialogs()) {
        if (seen.count(box) != 0 || !IsWatched(box, watched))
            continue;
        seen.insert(box);
        const int button = ButtonToPress(box);
        WriteRecord(out, box, button);
        Press(box, button);
        ++handled;
    }
    // A closed box's handle may come back for a later box.
    for (auto it = seen.begin(); it != seen.end();)
        it = IsWindow(*it) ? std::next(it) : seen.erase(it);
    return handled;
}

// Started suspended, put into a job of its own, then let go, so that
// nothing it starts escapes the job.
HANDLE StartProgram(const std::vector<std::wstring>& run, const std::wstring& dir, Watched& watched)
{
    std::wstring commandLine;
    for (const std::wstring& argument : run)
        commandLine += (commandLine.empty() ? L"" : L" ") + Quoted(argument);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // Under load Wine now and then fails to map a program it starts (see
    // tests/wine/bin/wine): such a start is made again, as there.
    for (int attempt = 1; !CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                          dir.empty() ? nullptr : dir.c_str(), &startup, &process);
         ++attempt) {
        fwprintf(stderr, L"watcher: cannot start %ls (error %lu, attempt %d of 3)\n", run[0].c_str(), GetLastError(),
                 attempt);
        if (attempt == 3)
            return nullptr;
        Sleep(kPollMs * 10);
    }
    watched.all = false;
    watched.job = CreateJobObjectW(nullptr, nullptr);
    if (watched.job != nullptr && !AssignProcessToJobObject(watched.job, process.hProcess)) {
        CloseHandle(watched.job);
        watched.job = nullptr;
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    return process.hProcess;
}

int Watch(const Options& options, FILE* out)
{
    Watched watched;
    HANDLE program = options.run.empty() ? nullptr : StartProgram(options.run, options.dir, watched);
    if (!options.run.empty() && program == nullptr)
        return 1;
    std::set<HWND> seen;
    int boxes = 0;
    const DWORD start = GetTickCount();
    for (;;) {
        // Read before the scan, so boxes shown just before the end are still answered.
        const bool ended = program != nullptr && WaitForSingleObject(program, 0) == WAIT_OBJECT_0;
        boxes += HandleNewBoxes(out, seen, watched);
        if (ended) {
            DWORD code = 0;
            GetExitCodeProcess(program, &code);
            CloseHandle(program);
            wprintf(L"exit code %lu\n", code);
            return static_cast<int>(code);
        }
        if (program == nullptr && options.count > 0 && boxes >= options.count)
            return 0;
        if (GetTickCount() - start >= options.timeoutMs)
            break;
        Sleep(kPollMs);
    }
    if (program != nullptr) {
        fwprintf(stderr, L"watcher: %ls still running after the timeout; stopped\n", options.run[0].c_str());
        TerminateProcess(program, kRunTimedOut);
        CloseHandle(program);
        return kRunTimedOut;
    }
    return options.count > 0 ? 2 : 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        fwprintf(stderr, L"usage: watcher OUT.txt [--count N] [--timeout SECONDS] [--dir FOLDER] [--run PROGRAM ARGS...]\n");
        return 1;
    }
    FILE* out = _wfopen(options.out.c_str(), L"wb");
    if (out == nullptr) {
        fwprintf(stderr, L"watcher: cannot write %ls\n", options.out.c_str());
        return 1;
    }
    const int result = Watch(options, out);
    fclose(out);
    return result;
}

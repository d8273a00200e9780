#include "flush_file_fake.h"

#include "shared/flush_file_win.h"

namespace {

struct FlushState {
    std::function<void(HANDLE)> hook;
    DWORD error = ERROR_SUCCESS;
    int count = 0;
};

FlushState& State()
{
    static FlushState state;
    return state;
}

} // namespace

namespace fake_flush {

void Reset() { State() = FlushState(); }
void OnFlush(std::function<void(HANDLE file)> hook) { State().hook = std::move(hook); }
void FailWith(DWORD error) { State().error = error; }
int Count() { return State().count; }

} // namespace fake_flush

bool FlushWrittenFile(HANDLE file)
{
    FlushState& state = State();
    ++state.count;
    if (state.hook)
        state.hook(file);
    if (state.error == ERROR_SUCCESS)
        return true;
    SetLastError(state.error);
    return false;
}

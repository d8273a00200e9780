#include "temp_names_fake.h"

#include "payload/temp_names.h"

#include <deque>

namespace {

struct NameState {
    std::deque<std::uint32_t> scripted;
    std::uint32_t next = 1;
    int drawn = 0;
};

NameState& State()
{
    static NameState state;
    return state;
}

} // namespace

namespace fake_names {

void Reset() { State() = NameState(); }
void Script(const std::vector<std::uint32_t>& numbers) { State().scripted.assign(numbers.begin(), numbers.end()); }
int Drawn() { return State().drawn; }

} // namespace fake_names

std::uint32_t NextTempNameNumber()
{
    NameState& state = State();
    ++state.drawn;
    if (state.scripted.empty())
        return state.next++;
    const std::uint32_t number = state.scripted.front();
    state.scripted.pop_front();
    return number;
}

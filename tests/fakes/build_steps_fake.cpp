#include "build_steps_fake.h"

#include <map>
#include <utility>

namespace {

std::map<BuildStep, std::function<void(const std::wstring&)>>& Actions()
{
    static std::map<BuildStep, std::function<void(const std::wstring&)>> actions;
    return actions;
}

} // namespace

namespace fake_steps {

void ActOnce(BuildStep step, std::function<void(const std::wstring& file)> action)
{
    Actions()[step] = std::move(action);
}

void Reset()
{
    Actions().clear();
}

} // namespace fake_steps

void ReachedBuildStep(BuildStep step, const std::wstring& file)
{
    const auto found = Actions().find(step);
    if (found == Actions().end())
        return;
    const std::function<void(const std::wstring&)> action = std::move(found->second);
    Actions().erase(found);
    action(file);
}

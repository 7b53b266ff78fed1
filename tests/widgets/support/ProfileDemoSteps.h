// The steps the profile_demo fuzz target plays a demo stream through: the seed recorder
// (fuzz/tools/record_profile_demo_seeds.cpp) records its streams around them and a demo test
// replays the seeds through them, so all three must take the same steps, and take them from
// here.
#pragma once

#include "widgets/ProfileMgr.h"

#include <functional>

namespace Vaxo
{

// The list loaded; `meanwhile` (another copy's turn, when recording); a player "Fuzz" made and
// handed to `made` (null when refused); the first player deleted as the player dialog deletes
// him (the save erases his files); the list saved.
inline void PlayProfileDemoSteps(ProfileMgr& mgr, const std::function<void()>& meanwhile = {},
                                 const std::function<void(Profile*)>& made = {})
{
    mgr.Load();
    if (meanwhile)
        meanwhile();
    Profile* added = mgr.CreateProfile("Fuzz");
    if (made)
        made(added);
    if (!mgr.mProfiles.empty())
    {
        mgr.mProfiles.pop_front();
        mgr.mDirty = true;
        mgr.Save();
    }
    mgr.Save();
}

} // namespace Vaxo

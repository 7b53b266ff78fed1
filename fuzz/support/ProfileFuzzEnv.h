// ProfileFuzzEnv: what the player fuzz targets run against, made once per run of a target:
// the test platform, an application object and the profile folder below the test's home.
#pragma once

#include "app/support/AppTestEnv.h"
#include "widgets/Profile.h"

struct ProfileFuzzEnv
{
    Vaxo::AppTestEnv mEnv;
    Vaxo::VaxoAppBase mApp;

    ProfileFuzzEnv() { Vaxo::Profile::InitProfileDir(mEnv.mHome + "users", true); }

    // The player dialogs a run opened (a player deleted meanwhile asks for another) go with
    // the run's manager, their listener.
    void EndRun()
    {
        while (!mApp.mDialogList.empty())
            mApp.KillDialog(mApp.mDialogList.back());
        mApp.ProcessSafeDeleteList();
        mEnv.mPlatform->mCalls.clear();
    }
};

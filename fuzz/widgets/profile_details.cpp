// Player-file bytes through Profile::LoadDetails with a sample details routine of every
// kind of field (numbers, a string from version 2 on, a vector, bits): it must end, and
// leave either what the file held or a fresh player (a damaged file moved aside).
#include "common/DataSync.h"
#include "support/ProfileFuzzEnv.h"
#include "widgets/Profile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace Vaxo;

namespace
{
class SampleProfile : public Profile
{
public:
    int32_t mLevel = 0;
    std::string mTitle;
    std::vector<int> mScores;
    bool mFlags[3] = {};
    bool mWasReset = false;

    void Reset() override
    {
        mWasReset = true;
        mTitle.clear();
        mScores.clear();
    }
    void SyncDetails(DataSync& sync) override
    {
        sync.SyncLong(mLevel);
        if (sync.mVersion >= 2)
            sync.SyncString(mTitle);
        DataSync_SyncSTLVectorImpl(mScores, sync, DataSyncFunc_SyncInt());
        for (bool& flag : mFlags)
            sync.SyncBoolBit(flag);
        sync.EndBit();
    }
    int32_t GetCurVersion() override { return 3; }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ProfileFuzzEnv shared;
    if (!shared.mApp.WriteBytesToFile(Profile::GetDetailsPath(1), data, uint32_t(size)))
        std::abort();
    SampleProfile profile;
    profile.mId = 1;
    profile.LoadDetails();
    if (profile.mScores.size() * 4 > size || (profile.mWasReset && !profile.mScores.empty()))
        std::abort();
    // A damaged file was moved aside and told; a hundred of them would leave no name free.
    std::remove((Profile::GetDetailsPath(1) + ".damaged").c_str());
    shared.mEnv.mPlatform->mCalls.clear();
    return 0;
}

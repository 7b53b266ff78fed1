#include "SampleProfile.h"

#include "common/DataSync.h"

namespace Vaxo
{

std::string SampleProfile::mDefaultGreeting = "Hello";

SampleProfile::SampleProfile()
{
    Reset();
}

void SampleProfile::Reset()
{
    mNote = -1;
    mPitch = 0;
    mMusicOn = false;
    mGreeting = mDefaultGreeting;
}

void SampleProfile::SyncDetails(DataSync& sync)
{
    sync.SyncLong(mNote);
    sync.SyncLong(mPitch);
    sync.SyncBoolBit(mMusicOn);
    sync.EndBit();
    sync.SyncString(mGreeting);
}

int32_t SampleProfile::GetCurVersion()
{
    return 1;
}

Profile* SampleProfile::Factory()
{
    return new SampleProfile();
}

} // namespace Vaxo

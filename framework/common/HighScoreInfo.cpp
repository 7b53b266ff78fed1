#include "common/HighScoreInfo.h"

#include "common/DataSync.h"

namespace Vaxo
{

HighScoreInfo::HighScoreInfo() : mScore(0) {}

HighScoreInfo::HighScoreInfo(const std::string& name, int32_t score) : mName(name), mScore(score) {}

void HighScoreInfo::SyncState(DataSync& sync)
{
    if (sync.IsReading())
    {
        mName.clear();
        mScore = 0;
    }
    sync.SyncString(mName);
    sync.SyncLong(mScore);
}

} // namespace Vaxo

// One row of a high-score table (the progression subsystem keeps ten tables of
// ten rows in "highscores.dat"). The rows are shared objects of the save
// format, so the row lives here beside it; the tables themselves belong to the
// game.
#pragma once

#include "common/SmartPtr.h"

#include <cstdint>
#include <string>

namespace Vaxo
{

class DataSync;

class HighScoreInfo : public RefCount
{
public:
    // An empty row: no name, score 0. Cannot fail (the save format makes one
    // for every new row it reads).
    HighScoreInfo();
    HighScoreInfo(const std::string& name, int32_t score);

    // Name (String), then score (Long). Not virtual: called directly by the
    // shared-object sync. Reading resets the row first.
    void SyncState(DataSync& sync);

    std::string mName;
    int32_t mScore;
};

} // namespace Vaxo

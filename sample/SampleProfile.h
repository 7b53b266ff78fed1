// SampleProfile: what the sample keeps for each player, in the player's own file
// ("users/user<id>.dat" below the data folder): the chosen note, the pitch shift, whether
// music plays, and the greeting. The profile manager makes these through Factory; the
// main screen sets the fields and marks the profile dirty, and saves it.
#pragma once

#include "widgets/Profile.h"

#include <cstdint>
#include <string>

namespace Vaxo
{

class SampleProfile : public Profile
{
public:
    // Line of the note list, -1 for none.
    int32_t mNote;
    // Semitones added to every note, -12 to 12.
    int32_t mPitch;
    bool mMusicOn;
    std::string mGreeting;

    // A new player greets with this (the property "Greeting").
    static std::string mDefaultGreeting;

public:
    SampleProfile();

    void Reset() override;
    // Version 1: note, pitch, music flag, greeting.
    void SyncDetails(DataSync& sync) override;
    int32_t GetCurVersion() override;

    static Profile* Factory();
};

} // namespace Vaxo

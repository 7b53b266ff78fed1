// Internal to framework/widgets (ProfileMgr*.cpp): where the player list's files are, the
// layout version of users.dat, and the lock that copies of the program on one data folder
// take turns at while they read, merge and write the list.
#pragma once

#include <cstdint>
#include <string>

namespace Vaxo
{

// Layout of users.dat this program writes; a larger one is not read.
constexpr int32_t kUsersFileVersion = 2;

// Profile::mProfileDir + "users.dat".
std::string UsersPath();

// The lock on the profile folder. Released when it goes (closing releases it).
class ProfileListLock
{
public:
    // take false: no lock (a demo being played back touches no file of this machine).
    explicit ProfileListLock(bool take);
    ~ProfileListLock();
    ProfileListLock(const ProfileListLock&) = delete;
    ProfileListLock& operator=(const ProfileListLock&) = delete;

private:
    int mFd = -1;
};

} // namespace Vaxo

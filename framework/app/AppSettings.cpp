// Settings: the application's values in the settings store, under "SOFTWARE\" + mRegKey,
// and the nine settings ReadFromRegistry and WriteToRegistry keep. The two orders differ
// ("InProgress" is read last but written before "WaitForVSync"); stored demos replay
// them in these orders, so they stay as they are.
#include "app/DemoFile.h"
#include "app/VaxoAppBase.h"

#include "common/Registry.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

namespace Vaxo
{

namespace
{
// Longest text RegistryReadString reads, in bytes (the store adds a terminator).
constexpr uint32_t kMaxRegistryString = 1023;
// What failed saves of the settings store are reported as.
const char* const kSettingsSaved = "the settings";
// The clean-exit marker: this copy's own, written whatever it held.
const char* const kInProgress = "InProgress";

// A volume as a whole percent. Rounded: truncating made 0.58 come back as 0.57 and lose
// a percent at every start.
int VolumeToPercent(double volume)
{
    return int(std::lround(volume * 100.0));
}
} // namespace

void VaxoAppBase::RegistryKeyAndName(const std::string& valueName, std::string* keyPath,
                                     std::string* name) const
{
    *keyPath = RemoveTrailingSlash("SOFTWARE\\" + mRegKey);
    size_t slash = valueName.rfind('\\');
    if (slash == std::string::npos)
    {
        *name = valueName;
        return;
    }
    *keyPath += "\\" + valueName.substr(0, slash);
    *name = valueName.substr(slash + 1);
}

// While a demo is recorded, the outcome of each store operation below (reads, writes, key
// erasures and listings) is appended to it; while one plays, the answer comes from the
// demo and the store is not touched. After a live close detached the demo, a read fails
// and the rest report success.

namespace
{
// The result bit of a store operation: recorded, or taken from the demo.
bool RecordResult(VaxoAppBase& app, int32_t command, bool result)
{
    if (app.mRecordingDemo)
    {
        BeginDemoCommand(app, command);
        app.mDemoBuffer.WriteNumBits(result ? 1 : 0, 1);
    }
    return result;
}

bool ReplayResult(VaxoAppBase& app, bool detachedAnswer)
{
    if (!TakeDemoAnswer(app))
        return detachedAnswer;
    return app.mDemoBuffer.ReadNumBits(1, false) != 0;
}

// The store answers true once the key exists, even when it refused the value (too long
// for its file, a wrong length, no data) and kept the old one: the value must now have
// the type and length asked for.
bool WriteAndCheck(const std::string& keyPath, const std::string& name, uint32_t type, const uint8_t* data,
                   uint32_t length)
{
    if (data == nullptr && length > 0)
        return false;
    if (!VaxoRegistryWrite(keyPath, name, type, data, length))
        return false;
    uint32_t storedType = 0;
    uint32_t storedLength = 0;
    // A string comes back with its terminator.
    const uint64_t expectedLength = uint64_t(length) + (type == REG_SZ ? 1 : 0);
    return VaxoRegistryRead(keyPath, name, &storedType, nullptr, &storedLength) && storedType == type &&
           storedLength == expectedLength;
}
} // namespace

bool VaxoAppBase::RegistryWrite(const std::string& valueName, uint32_t type, const uint8_t* data,
                                uint32_t length)
{
    if (mRegKey.empty())
        return false;
    if (mPlayingDemo)
        return ReplayResult(*this, true);
    std::string keyPath, name;
    RegistryKeyAndName(valueName, &keyPath, &name);
    return RecordResult(*this, DEMO_REGISTRY_WRITE, WriteAndCheck(keyPath, name, type, data, length));
}

bool VaxoAppBase::RegistryWriteString(const std::string& valueName, const std::string& value)
{
    return RegistryWrite(valueName, REG_SZ, reinterpret_cast<const uint8_t*>(value.data()),
                         uint32_t(value.size()));
}

bool VaxoAppBase::RegistryWriteInteger(const std::string& valueName, int value)
{
    int32_t word = value;
    return RegistryWrite(valueName, REG_DWORD, reinterpret_cast<const uint8_t*>(&word), 4);
}

bool VaxoAppBase::RegistryWriteBoolean(const std::string& valueName, bool value)
{
    return RegistryWriteInteger(valueName, value ? 1 : 0);
}

bool VaxoAppBase::RegistryWriteData(const std::string& valueName, const uint8_t* data, uint32_t length)
{
    return RegistryWrite(valueName, REG_BINARY, data, length);
}

bool VaxoAppBase::RegistryRead(const std::string& valueName, uint32_t* type, uint8_t* data, uint32_t* length)
{
    if (mRegKey.empty())
        return false;
    uint32_t noType = 0;
    uint32_t noLength = 0;
    type = type != nullptr ? type : &noType;
    length = length != nullptr ? length : &noLength;
    if (mPlayingDemo)
    {
        if (!ReplayResult(*this, false))
            return false;
        *type = uint32_t(mDemoBuffer.ReadLong());
        std::vector<uint8_t> value = ReadDemoBytes(mDemoBuffer);
        // As the store answers: what fits is copied, and a buffer too small for the
        // recorded value fails.
        const uint32_t capacity = *length;
        *length = uint32_t(value.size());
        if (data == nullptr)
            return true;
        std::copy_n(value.begin(), std::min<size_t>(value.size(), capacity), data);
        return value.size() <= capacity;
    }
    std::string keyPath, name;
    RegistryKeyAndName(valueName, &keyPath, &name);
    const bool read = VaxoRegistryRead(keyPath, name, type, data, length);
    if (!mRecordingDemo)
        return read;
    RecordResult(*this, DEMO_REGISTRY_READ, read);
    if (read)
    {
        // A size-only query (no data) still records the value, as the command holds it.
        std::vector<uint8_t> value(*length);
        uint32_t size = *length;
        if (data == nullptr)
            VaxoRegistryRead(keyPath, name, type, value.data(), &size, false);
        else
            std::copy_n(data, size, value.begin());
        mDemoBuffer.WriteLong(int32_t(*type));
        WriteDemoBytes(mDemoBuffer, value.data(), int32_t(value.size()));
    }
    return read;
}

bool VaxoAppBase::RegistryReadString(const std::string& valueName, std::string* value)
{
    // One byte more than the longest text: the store hands strings back with their
    // terminator, which is not part of the text.
    uint8_t buffer[kMaxRegistryString + 1];
    uint32_t type = 0;
    uint32_t length = sizeof(buffer);
    if (!RegistryRead(valueName, &type, buffer, &length) || type != REG_SZ)
        return false;
    if (length > 0 && buffer[length - 1] == 0)
        length--;
    value->assign(reinterpret_cast<const char*>(buffer), length);
    return true;
}

bool VaxoAppBase::RegistryReadInteger(const std::string& valueName, int* value)
{
    uint8_t buffer[4];
    uint32_t type = 0;
    uint32_t length = sizeof(buffer);
    // A damaged demo may answer with a shorter integer: the rest of the buffer was never
    // filled.
    if (!RegistryRead(valueName, &type, buffer, &length) || type != REG_DWORD || length != sizeof(buffer))
        return false;
    int32_t word;
    std::memcpy(&word, buffer, 4);
    *value = word;
    return true;
}

bool VaxoAppBase::RegistryReadBoolean(const std::string& valueName, bool* value)
{
    int word = 0;
    if (!RegistryReadInteger(valueName, &word))
        return false;
    *value = word != 0;
    return true;
}

bool VaxoAppBase::RegistryReadData(const std::string& valueName, uint8_t* data, uint32_t* length)
{
    uint32_t type = 0;
    return RegistryRead(valueName, &type, data, length) && type == REG_BINARY;
}

bool VaxoAppBase::RegistryEraseKey(const std::string& keyName)
{
    if (mRegKey.empty())
        return false;
    if (mPlayingDemo)
        return ReplayResult(*this, true);
    return RecordResult(*this, DEMO_REGISTRY_ERASE_KEY,
                        VaxoRegistryEraseKey(RemoveTrailingSlash("SOFTWARE\\" + mRegKey) + "\\" + keyName));
}

void VaxoAppBase::RegistryEraseValue(const std::string& valueName)
{
    if (mRegKey.empty())
        return;
    std::string keyPath, name;
    RegistryKeyAndName(valueName, &keyPath, &name);
    VaxoRegistryEraseVal(keyPath, name);
}

bool VaxoAppBase::RegistryGetSubKeys(const std::string& keyName, std::vector<std::string>* subKeys)
{
    if (mRegKey.empty())
        return false;
    if (mPlayingDemo)
    {
        if (!TakeDemoAnswer(*this))
            return true;
        // The list as the recorded call left it: the store empties it before listing.
        subKeys->clear();
        if (mDemoBuffer.ReadNumBits(1, false) == 0)
            return false;
        // Each name takes at least its 2-byte length.
        int32_t count = std::min(mDemoBuffer.ReadLong(), DemoBytesLeft(mDemoBuffer) / 2);
        for (int32_t i = 0; i < count; i++)
            subKeys->push_back(ReadDemoString(mDemoBuffer));
        return true;
    }
    const bool listed =
        VaxoRegistryGetSubKeys(RemoveTrailingSlash("SOFTWARE\\" + mRegKey) + "\\" + keyName, subKeys);
    if (RecordResult(*this, DEMO_REGISTRY_SUBKEYS, listed) && mRecordingDemo)
    {
        // Every name the call produced: whatever the caller's list held before is gone.
        mDemoBuffer.WriteLong(int32_t(subKeys->size()));
        for (const std::string& name : *subKeys)
            WriteDemoString(mDemoBuffer, name);
    }
    return listed;
}

void VaxoAppBase::FlushSettingsStore(bool waitForLock)
{
    // On a fresh machine nothing else makes the data folder, and the store could not be
    // written into it.
    const std::string store = GetAppDataFolder() + "registry.bin";
    const int folderError = MakeFolderOf(store);
    // The settings stay in memory, and the next flush tries again.
    int error = 0;
    const bool saved = RegistryFileClose(&error, waitForLock ? kTurnLockWait : std::chrono::milliseconds(0));
    TellSettingsSetAside();
    if (!saved && (waitForLock || error != EWOULDBLOCK))
        ReportFailedSave(kSettingsSaved, store, folderError != 0 ? folderError : error);
}

void VaxoAppBase::ReportFailedSave(const std::string& what, const std::string& path, int errorNumber)
{
    // Once per kind: a folder that cannot be written would otherwise ask at every save.
    if (!mReportedSaveFailures.insert(what).second)
        return;
    // The reasons of the locks copies of the program take turns at say what happened, not
    // the system's words for them.
    std::string reason = std::strerror(errorNumber);
    if (errorNumber == EWOULDBLOCK)
        reason = GetString("SAVE_LOCK_HELD", "another copy of the program kept it locked too long");
    else if (errorNumber == ENOLCK)
        reason = GetString("SAVE_LOCK_LOST", "its lock was deleted or replaced while it was saved");
    else if (errorNumber == ESTALE)
        reason = GetString("SAVE_FILE_CHANGED", "another copy of the program changed it while it was saved");
    const std::string text =
        GetString("SAVE_FAILED", "Could not save ") + what + " to \"" + path + "\": " + reason;
    const std::string title = GetString("SAVE_FAILED_TITLE", "Save Failed");
    // The demo is written during teardown, when no widget manager is left to end a
    // popup: the platform shows that box itself.
    if (mWidgetManager != nullptr)
        MsgBox(text, title, MSGBOX_ERROR);
    else if (mPlatform != nullptr)
        mPlatform->MessageBoxA(text.c_str(), title.c_str(), MSGBOX_ERROR, true);
}

void VaxoAppBase::ReportFileSetAside(const FileSetAside& aside, const std::string& title,
                                     const std::string& opening, const std::string& fresh,
                                     const std::string& notSaved)
{
    // The real reason: a file the user may not read is not a damaged one.
    std::string text = opening + aside.mPath;
    if (aside.mReadError != 0)
        text += std::string(": ") + std::strerror(aside.mReadError);
    if (!aside.mKeptAs.empty())
        text += GetString("FILE_KEPT_AS", "\nIt was kept as ") + aside.mKeptAs + fresh;
    else
        text += GetString("FILE_NOT_MOVED", "\nIt could not be moved aside: ") +
                (aside.mMoveError == EEXIST ? "no free name" : std::strerror(aside.mMoveError)) + notSaved;
    MsgBox(text, title, MSGBOX_ERROR);
}

void VaxoAppBase::ReadFromRegistry()
{
    mReadFromRegistry = true;
    TellSettingsSetAside();
    mRegKey = GetString("RegistryKey", mRegKey);
    if (mRegKey.empty())
        return;

    int value = 0;
    if (RegistryReadInteger("MusicVolume", &value))
        mMusicVolume = value / 100.0;
    if (RegistryReadInteger("SfxVolume", &value))
        mSfxVolume = value / 100.0;
    // Saved as 0 or 1. Any other count from a damaged store would overflow the count or,
    // negative, make the player's Mute do nothing.
    if (RegistryReadInteger("Muted", &value))
        mMuteCount = value > 0 ? 1 : 0;
    if (RegistryReadInteger("ScreenMode", &value))
        mIsWindowed = value == 0;
    if (RegistryReadInteger("PreferredX", &value))
        mPreferredX = value;
    if (RegistryReadInteger("PreferredY", &value))
        mPreferredY = value;
    if (RegistryReadInteger("CustomCursors", &value))
    {
        mCustomCursorsEnabled = value != 0;
        EnforceCursor();
    }
    if (RegistryReadInteger("WaitForVSync", &value))
        mWaitForVSync = value != 0;
    if (RegistryReadInteger("InProgress", &value))
        mLastShutdownClean = value == 0;
    // As read (or as they start, where the store has none): what this copy changes from now on.
    // One the store holds as another number (a damaged "Muted" of 5) is written back as read.
    mSettingsAsKnown.clear();
    for (const auto& [name, number] : StoredSettings())
    {
        int32_t stored = 0;
        if (name != kInProgress && (!StoredNumber(name, &stored) || stored == number))
            mSettingsAsKnown[name] = number;
    }

    if (!mIsScreenSaver)
    {
        RegistryWriteInteger("InProgress", 1);
        // On disk now, so that a crash is seen at the next start.
        FlushSettingsStore(false);
    }
}

void VaxoAppBase::TellSettingsSetAside()
{
    FileSetAside aside;
    if (!RegistryTakeFileSetAside(&aside))
        return;
    ReportFileSetAside(aside, GetString("SETTINGS_UNREADABLE_TITLE", "Settings Not Read"),
                       GetString("SETTINGS_UNREADABLE", "The settings could not be read: "),
                       GetString("SETTINGS_NEW", "\nThe settings start afresh."),
                       GetString("SETTINGS_NOT_SAVED", "\nSettings changed now will not be saved."));
    // That box already said the settings are not saved.
    if (aside.mKeptAs.empty())
        mReportedSaveFailures.insert(kSettingsSaved);
}

std::vector<std::pair<std::string, int32_t>> VaxoAppBase::StoredSettings() const
{
    return {{"MusicVolume", VolumeToPercent(mMusicVolume)},
            {"SfxVolume", VolumeToPercent(mSfxVolume)},
            {"Muted", mMuteCount - mAutoMuteCount > 0 ? 1 : 0},
            {"ScreenMode", mIsWindowed ? 0 : 1},
            {"PreferredX", mPreferredX},
            {"PreferredY", mPreferredY},
            {"CustomCursors", mCustomCursorsEnabled ? 1 : 0},
            {kInProgress, 0},
            {"WaitForVSync", mWaitForVSync ? 1 : 0}};
}

bool VaxoAppBase::StoredNumber(const std::string& name, int32_t* number)
{
    if (mPlayingDemo)
        return false;
    std::string keyPath, valueName;
    RegistryKeyAndName(name, &keyPath, &valueName);
    uint32_t type = 0;
    uint32_t length = 4;
    return VaxoRegistryRead(keyPath, valueName, &type, reinterpret_cast<uint8_t*>(number), &length) &&
           type == REG_DWORD && length == 4;
}

void VaxoAppBase::WriteSetting(const std::string& name, int32_t value)
{
    // Unchanged here: the store keeps what it holds, another copy's save or nothing (this copy
    // cannot tell that no other saved one).
    const auto known = mSettingsAsKnown.find(name);
    if (known != mSettingsAsKnown.end() && known->second == value)
    {
        // Still a write in a demo's stream, as recordings have it.
        if (mPlayingDemo)
            ReplayResult(*this, true);
        else
            RecordResult(*this, DEMO_REGISTRY_WRITE, true);
        return;
    }
    mSettingsAsKnown[name] = value;
    RegistryWriteInteger(name, value);
}

void VaxoAppBase::WriteToRegistry()
{
    if (mRegKey.empty())
        return;
    // Only what this copy changed since it read or stored the settings is stored: the rest stays
    // as the store holds it, so that the run's saves (Shutdown's, then the end of Start's) never
    // put back a value another copy saved over. Each is still a write of the demos' streams,
    // in this order.
    for (const auto& [name, number] : StoredSettings())
    {
        if (name == kInProgress)
            RegistryWriteInteger(name, number);
        else
            WriteSetting(name, number);
    }
    FlushSettingsStore();
}

} // namespace Vaxo

// Saving a whole file so that a reader sees either the old version or the new one, never a
// part of either: the settings store, the player files and demo files are saved this way.
// Two copies of the program may save the same file at once (nothing tells one copy that
// another runs), so every save writes a temporary file of its own beside the target and
// renames it over the target.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace Vaxo
{

// Writes `length` bytes to a fresh temporary file in the target's folder (made by mkstemp,
// with the permissions of the file it replaces, or those a new file gets), puts them on disk,
// renames the file over `fileName` and puts the folder's new entry on disk. False, with the
// reason in errno, when any step fails; the old file then stays whole and the temporary file
// is removed. The folder must exist.
//
// beforeRename, when given, is called with the temporary file's path once it is written and
// closed; answering false abandons the save there, leaving the temporary file behind as a
// crash would (tests use it to stand for one); errno is then ECANCELED.
bool WriteFileAtomically(const std::string& fileName, const void* data, uint32_t length,
                         const std::function<bool(const std::string&)>& beforeRename = {});

// Renames a file that was read but could not be understood to "<fileName>.damaged", or to
// ".damaged2" up to ".damaged100" when those names are taken (earlier damaged files keep
// theirs), so that the next save starts a fresh file without losing it. The new name, or ""
// with the reason in *error (0 when every name is taken).
std::string MoveDamagedFileAside(const std::string& fileName, int* error);

} // namespace Vaxo

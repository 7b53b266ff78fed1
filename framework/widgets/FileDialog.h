// FileDialog: the settings of an open or save file chooser (filters, initial folder and
// file name, titles, the settings-store value names that would remember the last folder
// and name, a few switches) and DoDialog to run it. This platform has no chooser:
// DoDialog shows nothing and answers false, so the file list stays empty.
#pragma once

#include "common/Common.h"

#include <list>

namespace Vaxo
{

class FileDialog
{
public:
    struct FilterPair
    {
        // E.g. "*.dmo".
        VaxoString mPattern;
        VaxoString mDescription;
    };

    bool mIsSave;
    // Choose a folder instead of a file.
    bool mGetDir;
    // Open choosers only.
    bool mAllowMultiple;
    // Save choosers only: warn before overwriting.
    bool mWarnIfExists;
    bool mFileMustExist;
    // The chooser leaves the current folder unchanged.
    bool mNoChangeDir;
    // In the order they were added.
    std::list<FilterPair> mFilters;
    // Filled by a chooser.
    std::list<VaxoString> mFileList;
    VaxoString mTitle;
    // Text of the confirm button.
    VaxoString mOkTitle;
    VaxoString mInitialFileName;
    VaxoString mInitialDir;
    // Settings-store value names of the last folder and file name.
    VaxoString mRegDirName;
    VaxoString mRegFileName;

public:
    explicit FileDialog(bool isSave);

    // Ignored for a save chooser.
    void SetAllowMultiple(bool allowMultiple);
    // Ignored for an open chooser.
    void SetWarnIfExists(bool warnIfExists);
    void SetFileMustExist(bool fileMustExist);
    void SetNoChangeDir(bool noChangeDir);
    // Replaces the filters by one that matches no file, so that only folders show,
    // whatever the argument.
    void SetGetDir(bool getDir);
    void AddFilter(const VaxoString& pattern, const VaxoString& description);
    void SetTitle(const VaxoString& title);
    void SetOkTitle(const VaxoString& okTitle);
    void SetInitialFileName(const VaxoString& fileName);
    void SetInitialDir(const VaxoString& dir);
    void SetReg(const VaxoString& dirName, const VaxoString& fileName);
    // "FileDialog_Dir" and "FileDialog_Name".
    void SetStandardReg();
    // Whether the user chose; always false here.
    bool DoDialog();
    std::list<VaxoString>& GetFileList();
    // The first chosen file; "" when none.
    VaxoString GetFile();
};

} // namespace Vaxo

#include "widgets/FileDialog.h"

namespace Vaxo
{

FileDialog::FileDialog(bool isSave)
    : mIsSave(isSave), mGetDir(false), mAllowMultiple(false), mWarnIfExists(false), mFileMustExist(!isSave),
      mNoChangeDir(false)
{
}

void FileDialog::SetAllowMultiple(bool allowMultiple)
{
    if (!mIsSave)
        mAllowMultiple = allowMultiple;
}

void FileDialog::SetWarnIfExists(bool warnIfExists)
{
    if (mIsSave)
        mWarnIfExists = warnIfExists;
}

void FileDialog::SetFileMustExist(bool fileMustExist)
{
    mFileMustExist = fileMustExist;
}

void FileDialog::SetNoChangeDir(bool noChangeDir)
{
    mNoChangeDir = noChangeDir;
}

void FileDialog::SetGetDir(bool getDir)
{
    mGetDir = getDir;
    mFilters.clear();
    AddFilter("*.zzz", "Directories");
}

void FileDialog::AddFilter(const VaxoString& pattern, const VaxoString& description)
{
    mFilters.push_back(FilterPair{pattern, description});
}

void FileDialog::SetTitle(const VaxoString& title)
{
    mTitle = title;
}

void FileDialog::SetOkTitle(const VaxoString& okTitle)
{
    mOkTitle = okTitle;
}

void FileDialog::SetInitialFileName(const VaxoString& fileName)
{
    mInitialFileName = fileName;
}

void FileDialog::SetInitialDir(const VaxoString& dir)
{
    mInitialDir = dir;
}

void FileDialog::SetReg(const VaxoString& dirName, const VaxoString& fileName)
{
    mRegDirName = dirName;
    mRegFileName = fileName;
}

void FileDialog::SetStandardReg()
{
    SetReg("FileDialog_Dir", "FileDialog_Name");
}

bool FileDialog::DoDialog()
{
    // No file chooser on this platform.
    return false;
}

std::list<VaxoString>& FileDialog::GetFileList()
{
    return mFileList;
}

VaxoString FileDialog::GetFile()
{
    return mFileList.empty() ? VaxoString() : mFileList.front();
}

} // namespace Vaxo

// ScopedBeforeRename: while it lives, every save (WriteFileAtomically) calls `before` with
// its temporary file once that is written, just before the rename; an answer of false
// stands for a crash at that moment.
#pragma once

#include "common/AtomicFile.h"

#include <functional>
#include <string>
#include <utility>

namespace Vaxo
{

class ScopedBeforeRename : public SaveRenameHook
{
public:
    explicit ScopedBeforeRename(std::function<bool(const std::string&)> before)
        : mBefore(std::move(before)), mPrevious(SetSaveRenameHook(this))
    {
    }
    ~ScopedBeforeRename() override { SetSaveRenameHook(mPrevious); }
    ScopedBeforeRename(const ScopedBeforeRename&) = delete;
    ScopedBeforeRename& operator=(const ScopedBeforeRename&) = delete;

    bool BeforeRename(const std::string& tempPath) override { return mBefore(tempPath); }

private:
    std::function<bool(const std::string&)> mBefore;
    SaveRenameHook* mPrevious;
};

} // namespace Vaxo

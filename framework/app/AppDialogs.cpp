// Pop-ups and message boxes through the platform, the dialog table, dialog answers as
// button events, deferred widget deletion, and the clipboard.
#include "app/VaxoAppBase.h"

#include "common/MTRand.h"
#include "widgets/Widget.h"
#include "widgets/WidgetManager.h"

namespace Vaxo
{

namespace
{
// The platform's error-icon box style.
constexpr uint32_t kErrorBoxStyle = 16;
} // namespace

// ---- Pop-ups and message boxes ------------------------------------------------------

void VaxoAppBase::BeginPopup()
{
    if (mIsPhysWindowed)
        return;
    mIsPopupOpen = true;
    mPlatform->BeginPopup();
}

void VaxoAppBase::EndPopup()
{
    mPlatform->EndPopup();
    if (!mIsPhysWindowed)
        mIsPopupOpen = false;
    // The time spent in the box is not a backlog of updates.
    mLastTime = GetAccurateTime();
    mTimeAcc = 0.0;
    ClearKeysDown();
    if (mWidgetManager != nullptr && mWidgetManager->mHeldButtons != 0)
    {
        mWidgetManager->DoMouseUps();
        mPlatform->ReleaseCapture();
    }
}

int VaxoAppBase::MsgBox(const std::string& text, const std::string& title, int flags)
{
    if (mIsScreenSaver)
    {
        LogScreenSaverError(text);
        return 1;
    }
    BeginPopup();
    int answer = mPlatform->MessageBoxA(text.c_str(), title.c_str(), uint32_t(flags), true);
    EndPopup();
    return answer;
}

int VaxoAppBase::MsgBox(const std::wstring& text, const std::wstring& title, int flags)
{
    if (mIsScreenSaver)
    {
        LogScreenSaverError(WStringToString(text));
        return 1;
    }
    BeginPopup();
    int answer = mPlatform->MessageBoxW(text.c_str(), title.c_str(), uint32_t(flags), true);
    EndPopup();
    return answer;
}

void VaxoAppBase::Popup(const std::string& text, bool doExit)
{
    if (mIsScreenSaver)
    {
        LogScreenSaverError(text);
        return;
    }
    BeginPopup();
    if (!mShutdown)
    {
        std::string title = GetString("FATAL_ERROR", "FATAL ERROR");
        mPlatform->MessageBoxA(text.c_str(), title.c_str(), kErrorBoxStyle, true);
    }
    EndPopup();
    if (doExit)
        DoExit(1);
}

void VaxoAppBase::Popup(const std::wstring& text, bool doExit)
{
    if (mIsScreenSaver)
    {
        LogScreenSaverError(WStringToString(text));
        return;
    }
    BeginPopup();
    if (!mShutdown)
    {
        std::wstring title = StringToWString(GetString("FATAL_ERROR", "FATAL ERROR"));
        mPlatform->MessageBoxW(text.c_str(), title.c_str(), kErrorBoxStyle, true);
    }
    EndPopup();
    if (doExit)
        DoExit(1);
}

// ---- Dialog table --------------------------------------------------------------------

Dialog* VaxoAppBase::NewDialog(int, bool, const VaxoString&, const VaxoString&, const VaxoString&, int)
{
    // PENDING: a new Dialog of the id, modal flag, texts and button mode.
    return nullptr;
}

Dialog* VaxoAppBase::DoDialog(int dialogId, bool isModal, const VaxoString& header, const VaxoString& lines,
                              const VaxoString& footer, int buttonMode)
{
    KillDialog(dialogId);
    Dialog* dialog = NewDialog(dialogId, isModal, header, lines, footer, buttonMode);
    if (dialog != nullptr)
        AddDialog(dialogId, dialog);
    return dialog;
}

Dialog* VaxoAppBase::GetDialog(int dialogId)
{
    auto found = mDialogMap.find(dialogId);
    return found != mDialogMap.end() ? found->second : nullptr;
}

void VaxoAppBase::AddDialog(int dialogId, Dialog* dialog)
{
    // PENDING: kill an older dialog of the id, place and size the dialog, add it to the
    // widget manager and open its modal layer.
    mDialogMap[dialogId] = dialog;
    mDialogList.push_back(dialog);
}

void VaxoAppBase::AddDialog(Dialog*)
{
    // PENDING: AddDialog with the dialog's own id.
}

bool VaxoAppBase::KillDialog(int dialogId, bool, bool)
{
    // PENDING: result value, removal from the widget manager, modal layer, safe deletion.
    auto found = mDialogMap.find(dialogId);
    if (found == mDialogMap.end())
        return false;
    mDialogList.remove(found->second);
    mDialogMap.erase(found);
    return true;
}

bool VaxoAppBase::KillDialog(int dialogId)
{
    return KillDialog(dialogId, true, true);
}

bool VaxoAppBase::KillDialog(Dialog*)
{
    // PENDING: KillDialog with the dialog's own id.
    return false;
}

void VaxoAppBase::DeleteAllDialogs()
{
    // PENDING: remove each dialog from the widget manager and delete it.
    mDialogMap.clear();
    mDialogList.clear();
}

int VaxoAppBase::GetDialogCount()
{
    return int(mDialogMap.size());
}

void VaxoAppBase::ModalOpen() {}
void VaxoAppBase::ModalClose() {}

void VaxoAppBase::DialogButtonPress(int dialogId, int buttonId)
{
    if (buttonId == 1000)
        ButtonPress(dialogId + 2000);
    else if (buttonId == 1001)
        ButtonPress(dialogId + 3000);
}

void VaxoAppBase::DialogButtonDepress(int dialogId, int buttonId)
{
    if (buttonId == 1000)
        ButtonDepress(dialogId + 2000);
    else if (buttonId == 1001)
        ButtonDepress(dialogId + 3000);
}

// ---- Deferred deletion ---------------------------------------------------------------

void VaxoAppBase::SafeDeleteWidget(Widget* widget)
{
    mSafeDeleteList.push_back(WidgetSafeDeleteInfo{mUpdateAppDepth, widget});
}

void VaxoAppBase::ProcessSafeDeleteList()
{
    struct RandGuard
    {
        RandGuard() { MTRand::SetRandAllowed(false); }
        ~RandGuard() { MTRand::SetRandAllowed(true); }
    } guard;
    // A destructor may queue more deletions: each record leaves the list before its
    // widget is deleted, and the walk starts over after every deletion.
    for (bool deleted = true; deleted;)
    {
        deleted = false;
        for (auto it = mSafeDeleteList.begin(); it != mSafeDeleteList.end(); ++it)
        {
            if (it->mUpdateAppDepth < mUpdateAppDepth)
                continue;
            Widget* widget = it->mWidget;
            mSafeDeleteList.erase(it);
            delete widget;
            deleted = true;
            break;
        }
    }
}

// ---- Clipboard -----------------------------------------------------------------------

void VaxoAppBase::CopyToClipboard(const std::string& text)
{
    if (mPlayingDemo)
        return;
    mPlatform->CopyToClipboard(text);
}

std::string VaxoAppBase::GetClipboard()
{
    std::string text;
    if (!mPlayingDemo)
        text = mPlatform->GetClipboard();
    DemoSyncString(&text);
    return text;
}

} // namespace Vaxo

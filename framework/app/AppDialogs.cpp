// Pop-ups and message boxes through the platform, the dialog table, dialog answers as
// button events, deferred widget deletion, and the clipboard.
#include "app/VaxoAppBase.h"

#include "common/MTRand.h"
#include "widgets/Dialog.h"
#include "widgets/DialogSkin.h"
#include "widgets/Widget.h"
#include "widgets/WidgetManager.h"
#include "widgets/WidgetRef.h"

#include <chrono>
#include <thread>

namespace Vaxo
{

namespace
{
// A fatal pop-up raised off the main thread: the box, the key and mouse state EndPopup
// resets and the exit belong to the main thread, so the main loop shows the text and
// exits. The caller goes no further than it would on the main thread: a loading procedure
// must not go on past a resource it cannot do without.
[[noreturn]] void HandOverFatalPopup(VaxoAppBase& app, const std::string& text)
{
    {
        std::lock_guard<std::mutex> lock(app.mDeferredMutex);
        app.mDeferredPopupText += (app.mDeferredPopupText.empty() ? "" : "\n\n") + text;
        app.mDeferredExit = true;
        app.mDeferredSignal.notify_all();
    }
    // Touches nothing of the application, which the exit may be tearing down.
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}
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
        return MSGBOX_ANSWER_OK;
    }
    // No box off the main thread; what EndPopup resets is the main thread's.
    if (!OnMainThread())
        return MSGBOX_ANSWER_CANCEL;
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
        return MSGBOX_ANSWER_OK;
    }
    if (!OnMainThread())
        return MSGBOX_ANSWER_CANCEL;
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
    // Off the main thread a text that is not fatal is not shown: a box at some later moment
    // would interrupt the running game (a font read while loading reports its errors here,
    // and the failed load is reported again by the resource manager).
    if (!OnMainThread())
    {
        if (doExit)
            HandOverFatalPopup(*this, text);
        return;
    }
    BeginPopup();
    if (!mShutdown)
    {
        std::string title = GetString("FATAL_ERROR", "FATAL ERROR");
        mPlatform->MessageBoxA(text.c_str(), title.c_str(), MSGBOX_ERROR, true);
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
    if (!OnMainThread())
    {
        if (doExit)
            HandOverFatalPopup(*this, WStringToString(text));
        return;
    }
    BeginPopup();
    if (!mShutdown)
    {
        std::wstring title = StringToWString(GetString("FATAL_ERROR", "FATAL ERROR"));
        mPlatform->MessageBoxW(text.c_str(), title.c_str(), MSGBOX_ERROR, true);
    }
    EndPopup();
    if (doExit)
        DoExit(1);
}

// ---- Dialog table --------------------------------------------------------------------

Dialog* VaxoAppBase::NewDialog(int dialogId, bool isModal, const VaxoString& header, const VaxoString& lines,
                               const VaxoString& footer, int buttonMode)
{
    return new Dialog(nullptr, nullptr, dialogId, isModal, header, lines, footer, buttonMode);
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
    // Already shown under this id: killing "the older dialog" would queue this one for
    // deletion while it is being registered.
    if (dialog == nullptr || GetDialog(dialogId) == dialog)
        return;
    // One dialog, one entry: a registration under another id is given up first.
    for (const auto& entry : mDialogMap)
    {
        if (entry.second == dialog)
        {
            KillDialog(entry.first, false, false);
            break;
        }
    }
    // A dialog killed earlier and shown again belongs to the table, not to the queue.
    mSafeDeleteList.remove_if([dialog](const WidgetSafeDeleteInfo& info) { return info.mWidget == dialog; });

    KillDialog(dialogId, true, true);
    if (dialog->mWidth == 0)
    {
        const int width = mWidth / 2;
        dialog->Resize((mWidth - width) / 2, mHeight / 5, width, dialog->GetPreferredHeight(width));
    }
    mDialogMap[dialogId] = dialog;
    mDialogList.push_back(dialog);
    mWidgetManager->AddWidget(dialog);
    if (dialog->IsModal())
    {
        mWidgetManager->AddBaseModal(dialog);
        ModalOpen();
    }
}

void VaxoAppBase::AddDialog(Dialog* dialog)
{
    if (dialog != nullptr)
        AddDialog(dialog->mId, dialog);
}

namespace
{
// Closes the modal layer of a dialog. A layer with others above it is taken out of the
// middle of the stack, the layer above inheriting what it had replaced: left there, it
// would name the deleted dialog and keep everything masked once the upper layers close.
void CloseModalLayer(WidgetManager* manager, Dialog* dialog)
{
    WidgetManager::PreModalInfoList& layers = manager->mPreModalInfoList;
    if (!layers.empty() && layers.back().mModalWidget == dialog)
    {
        manager->RemoveBaseModal(dialog);
        return;
    }
    for (auto it = layers.begin(); it != layers.end(); ++it)
    {
        if (it->mModalWidget != dialog)
            continue;
        PreModalInfo& above = *std::next(it);
        above.mPrevBaseModalWidget = it->mPrevBaseModalWidget;
        above.mPrevBelowModalFlagsMod = it->mPrevBelowModalFlagsMod;
        // A focus inside the dialog goes with it (its removal already cleared it), and the
        // layer above hands back the focus from before the dialog instead.
        if (above.mPrevFocusWidget == nullptr || above.mPrevFocusWidget->mWidgetManager != manager)
            above.mPrevFocusWidget = it->mPrevFocusWidget;
        layers.erase(it);
        return;
    }
}
} // namespace

bool VaxoAppBase::KillDialog(int dialogId, bool removeWidget, bool deleteWidget)
{
    auto found = mDialogMap.find(dialogId);
    if (found == mDialogMap.end())
        return false;
    Dialog* dialog = found->second;
    if (dialog->mResult == -1)
        dialog->mResult = 0;
    mDialogList.remove(dialog);
    mDialogMap.erase(found);
    if (removeWidget || deleteWidget)
        mWidgetManager->RemoveWidget(dialog);
    if (dialog->IsModal())
    {
        ModalClose();
        CloseModalLayer(mWidgetManager.get(), dialog);
    }
    if (deleteWidget)
        SafeDeleteWidget(dialog);
    return true;
}

bool VaxoAppBase::KillDialog(int dialogId)
{
    return KillDialog(dialogId, true, true);
}

bool VaxoAppBase::KillDialog(Dialog* dialog)
{
    if (dialog == nullptr)
        return false;
    // By the id it is registered under: another dialog may hold its own id by now.
    if (GetDialog(dialog->mId) == dialog)
        return KillDialog(dialog->mId);
    for (const auto& entry : mDialogMap)
    {
        if (entry.second == dialog)
            return KillDialog(entry.first);
    }
    return false;
}

void VaxoAppBase::DeleteAllDialogs()
{
    const std::map<int32_t, Dialog*> dialogs = std::move(mDialogMap);
    mDialogMap.clear();
    mDialogList.clear();
    for (const auto& entry : dialogs)
    {
        if (entry.second->mParent != nullptr)
            entry.second->mParent->RemoveWidget(entry.second);
        delete entry.second;
    }
    // The queue owns its widgets; nothing runs later to delete them.
    ProcessSafeDeleteList();
    // The default skin's images belong to this application: left to the static's
    // destructor, they would unregister from an application already gone.
    DialogSkin::StaticDestroy();
}

int VaxoAppBase::GetDialogCount()
{
    return int(mDialogMap.size());
}

void VaxoAppBase::ModalOpen() {}
void VaxoAppBase::ModalClose() {}

void VaxoAppBase::DialogButtonPress(int dialogId, int buttonId)
{
    if (buttonId == DIALOG_BUTTON_YES)
        ButtonPress(dialogId + kDialogYesEventOffset);
    else if (buttonId == DIALOG_BUTTON_NO)
        ButtonPress(dialogId + kDialogNoEventOffset);
}

void VaxoAppBase::DialogButtonDepress(int dialogId, int buttonId)
{
    if (buttonId == DIALOG_BUTTON_YES)
        ButtonDepress(dialogId + kDialogYesEventOffset);
    else if (buttonId == DIALOG_BUTTON_NO)
        ButtonDepress(dialogId + kDialogNoEventOffset);
}

// ---- Deferred deletion ---------------------------------------------------------------

void VaxoAppBase::SafeDeleteWidget(Widget* widget)
{
    // Deleted while still in the tree, or twice, it would leave dangling pointers behind.
    if (widget != nullptr && widget->mParent != nullptr)
        widget->mParent->RemoveWidget(widget);
    for (const WidgetSafeDeleteInfo& info : mSafeDeleteList)
    {
        if (info.mWidget == widget)
            return;
    }
    mSafeDeleteList.push_back(WidgetSafeDeleteInfo{mUpdateAppDepth, widget});
}

void VaxoAppBase::ProcessSafeDeleteList()
{
    struct RandGuard
    {
        RandGuard() { MTRand::SetRandAllowed(false); }
        ~RandGuard() { MTRand::SetRandAllowed(true); }
    } guard;
    // The safe point: a call-out further up may still watch these widgets.
    const SafeDeletePoint safePoint;
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

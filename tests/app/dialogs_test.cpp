// The application's dialog table (placement, replacement, the kill forms, modal layers),
// dialog answers as button events, deferred deletion with its depth rule, and pop-ups and
// message boxes through the scripted platform.
#include "app/support/AppTestEnv.h"
#include "common/MTRand.h"
#include "widgets/Dialog.h"
#include "widgets/DialogSkin.h"
#include "widgets/WidgetManager.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using namespace Vaxo;

namespace
{

// What was deleted, in order.
std::string gDeleted;

// Optionally queues another widget when deleted.
class LoggedWidget : public Widget
{
public:
    explicit LoggedWidget(std::string name, Widget* queue = nullptr) : mName(std::move(name)), mQueue(queue)
    {
    }
    ~LoggedWidget() override
    {
        gDeleted += mName + " ";
        if (mQueue != nullptr)
            gVaxoAppBase->SafeDeleteWidget(mQueue);
    }
    std::string mName;
    Widget* mQueue;
};

class LoggedDialog : public Dialog
{
public:
    LoggedDialog(int id, bool modal, int mode) : Dialog(nullptr, nullptr, id, modal, "Title", "", "", mode) {}
    ~LoggedDialog() override { gDeleted += "d" + std::to_string(mId) + " "; }
};

// Button events as numbers: presses negative, releases positive.
class DialogApp : public RecordingApp
{
public:
    std::vector<int> mButtons;
    using RecordingApp::ButtonPress;
    void ButtonPress(int id) override { mButtons.push_back(-id); }
    void ButtonDepress(int id) override { mButtons.push_back(id); }
    Dialog* NewDialog(int id, bool modal, const VaxoString&, const VaxoString&, const VaxoString&,
                      int mode) override
    {
        return new LoggedDialog(id, modal, mode);
    }
};

class Dialogs : public ::testing::Test
{
protected:
    AppTestEnv mEnv;
    DialogApp mApp;
    WidgetManager* mManager = mApp.mWidgetManager.get();

    // The previous test's application deleted its dialogs as it went.
    void SetUp() override { gDeleted.clear(); }
    std::string Deleted() { return std::exchange(gDeleted, ""); }
    // Modal layers, bottom first, as dialog ids.
    std::string Layers()
    {
        std::string text;
        for (const PreModalInfo& info : mManager->mPreModalInfoList)
            text += std::to_string(static_cast<Dialog*>(info.mModalWidget)->mId) + " ";
        return text;
    }
};

TEST_F(Dialogs, DoDialogPlacesAndReplacesByIdAndAnswersReachTheApplication)
{
    Dialog* first = mApp.DoDialog(5, true, "", "", "", 1);
    // 640 x 480: half the width, centred, a fifth down; 48 of insets, the system font's
    // header of 20, 8 + 24 + 8 of buttons.
    EXPECT_EQ(first->GetRect(), TRect<int>(160, 96, 320, 108));
    EXPECT_EQ(first->mParent, mManager);
    EXPECT_EQ(mManager->mBaseModalWidget, first);
    Dialog* second = mApp.DoDialog(5, false, "", "", "", 0);
    EXPECT_EQ(mApp.GetDialog(5), second);
    EXPECT_EQ(mApp.mDialogList, std::list<Dialog*>{second});
    EXPECT_EQ(first->mParent, nullptr);
    EXPECT_EQ(Layers() + Deleted(), "");
    mApp.ProcessSafeDeleteList();
    EXPECT_EQ(Deleted(), "d5 ");

    // Buttons 1000 and 1001 reach the application as id + 2000 and + 3000, others not.
    for (int button : {1000, 1001, 1002, 5})
        mApp.DialogButtonPress(5, button), mApp.DialogButtonDepress(5, button);
    EXPECT_EQ(mApp.mButtons, (std::vector<int>{-2005, 2005, -3005, 3005}));
}

TEST_F(Dialogs, KillDialogForms)
{
    // Kill; whether the dialog stays in the manager, is queued, keeps its modal layer.
    const std::tuple<std::function<bool(Dialog*)>, bool, bool> rows[] = {
        {[this](Dialog*) { return mApp.KillDialog(5, false, false); }, true, false},
        {[this](Dialog*) { return mApp.KillDialog(5, true, false); }, false, false},
        {[this](Dialog*) { return mApp.KillDialog(5, false, true); }, false, true},
        {[this](Dialog* d) { return mApp.KillDialog(d); }, false, true},
    };
    int row = 0;
    for (const auto& [kill, inManager, queued] : rows)
    {
        SCOPED_TRACE(row++);
        Dialog* dialog = mApp.DoDialog(5, true, "", "", "", 0);
        dialog->mResult = -1;
        EXPECT_TRUE(kill(dialog));
        EXPECT_EQ(mApp.GetDialog(5), nullptr);
        EXPECT_EQ(dialog->mResult, 0);
        EXPECT_EQ(dialog->mParent != nullptr, inManager);
        EXPECT_EQ(mApp.mSafeDeleteList.size(), queued ? 1u : 0u);
        EXPECT_EQ(Layers(), "");
        mApp.SafeDeleteWidget(dialog);
        mApp.ProcessSafeDeleteList();
        EXPECT_EQ(Deleted(), "d5 ");
    }
    EXPECT_FALSE(mApp.KillDialog(5));
    EXPECT_FALSE(mApp.KillDialog(nullptr));
}

TEST(DialogTeardown, TheApplicationDeletesOpenDialogsQueuedWidgetsAndTheDefaultSkin)
{
    AppTestEnv env;
    auto app = std::make_unique<DialogApp>();
    app->DoDialog(1, true, "", "", "", 0);
    app->SafeDeleteWidget(new LoggedWidget("queued"));
    DialogSkin::StaticInit();
    app.reset();
    EXPECT_EQ(std::exchange(gDeleted, ""), "d1 queued ");
    EXPECT_EQ(DialogSkin::mDefSkin, nullptr);
}

TEST_F(Dialogs, RegisteringAgainAndKillingOutOfOrderKeepTheTableAndLayersWhole)
{
    auto* field = new LoggedWidget("field");
    mManager->AddWidget(field);
    mManager->SetFocus(field);
    // The same dialog added again under its id stays registered and is not queued.
    Dialog* lower = mApp.DoDialog(1, true, "", "", "", 0);
    mApp.AddDialog(1, lower);
    EXPECT_EQ(mApp.GetDialog(1), lower);
    EXPECT_TRUE(mApp.mSafeDeleteList.empty());
    // Under another id it moves there.
    mApp.AddDialog(3, lower);
    EXPECT_EQ(mApp.GetDialog(3), lower);
    EXPECT_EQ(mApp.GetDialogCount(), 1);
    EXPECT_EQ(Layers(), "1 ");

    // Killing the lower of two modal dialogs takes its layer out from under the upper one.
    Dialog* upper = mApp.DoDialog(2, true, "", "", "", 0);
    EXPECT_EQ(Layers(), "1 2 ");
    // KillDialog(Dialog*) goes by registration: lower is under 3, another dialog under 1.
    auto* impostor = new LoggedDialog(1, false, 0);
    mApp.AddDialog(impostor);
    EXPECT_TRUE(mApp.KillDialog(lower));
    EXPECT_EQ(mApp.GetDialog(3), nullptr);
    EXPECT_EQ(mApp.GetDialog(1), impostor);
    EXPECT_EQ(Layers(), "2 ");
    mApp.KillDialog(upper);
    EXPECT_EQ(Layers(), "");
    EXPECT_EQ(mManager->mBaseModalWidget, nullptr);
    // The focus from before the killed lower dialog comes back.
    EXPECT_EQ(mManager->mFocusWidget, field);
    mManager->RemoveWidget(field);
    delete field;
    Deleted();
    // Shown again after its kill, a dialog leaves the deletion queue.
    mApp.AddDialog(2, upper);
    mApp.ProcessSafeDeleteList();
    EXPECT_EQ(Deleted(), "d1 ");
}

TEST_F(Dialogs, SafeDeletionKeepsWhatOuterStepsQueuedAndCopesWithDestructorsThatQueueMore)
{
    // Depth of the pass over a widget queued at depth 2; whether it is deleted.
    const std::pair<int, bool> rows[] = {{3, false}, {2, true}, {1, true}, {0, true}};
    for (const auto& [depth, deleted] : rows)
    {
        mApp.mUpdateAppDepth = 2;
        mApp.SafeDeleteWidget(new LoggedWidget("w"));
        mApp.mUpdateAppDepth = depth;
        mApp.ProcessSafeDeleteList();
        EXPECT_EQ(Deleted(), deleted ? "w " : "") << depth;
        mApp.mUpdateAppDepth = 0;
        mApp.ProcessSafeDeleteList();
        Deleted();
    }
    // A destructor queues another widget: it goes in the same pass. A widget still in the
    // tree is taken out first; a second queueing does not delete twice.
    auto* inTree = new LoggedWidget("in-tree");
    mManager->AddWidget(inTree);
    auto* first = new LoggedWidget("first", inTree);
    mApp.SafeDeleteWidget(first);
    mApp.SafeDeleteWidget(first);
    mApp.ProcessSafeDeleteList();
    EXPECT_EQ(Deleted(), "first in-tree ");
    EXPECT_TRUE(mManager->mWidgets.empty());
    EXPECT_EQ(MTRand::GetRandDisallowedCount(), 0);
}

TEST_F(Dialogs, PopupsAndMessageBoxes)
{
    TestPlatform* platform = mEnv.mPlatform;
    auto calls = [platform]
    {
        std::string text;
        for (const std::string& call : std::exchange(platform->mCalls, {}))
            text += call + " ";
        return text;
    };
    calls();
    platform->mMessageBoxAnswers = {6, 4};
    EXPECT_EQ(mApp.MsgBox("Sure?", "Question", 0x24), 6);
    EXPECT_EQ(calls(), "MessageBoxA(36,Question,Sure?) EndPopup "); // no BeginPopup in a window
    mApp.mIsPhysWindowed = false;
    mApp.mTimeAcc = 150.0;
    mManager->mKeyDown[65] = true;
    EXPECT_EQ(mApp.MsgBox(L"Retry?", L"Error", 5), 4);
    EXPECT_EQ(calls(), "BeginPopup MessageBoxA(5,Error,Retry?) EndPopup ");
    // The time in the box is no backlog; keys held before it are up.
    EXPECT_FALSE(mApp.mTimeAcc != 0.0 || mApp.mIsPopupOpen || mManager->mKeyDown[65]);
    mApp.Popup("Broken", false);
    EXPECT_EQ(calls(), "BeginPopup MessageBoxA(16,FATAL ERROR,Broken) EndPopup ");

    // While shutting down the box is left out; in screen-saver mode everything is.
    mApp.Shutdown();
    calls();
    mApp.Popup(L"Late", false);
    EXPECT_EQ(calls(), "BeginPopup EndPopup ");
    mApp.mIsScreenSaver = true;
    EXPECT_EQ(mApp.MsgBox("Saver", "Title", 0), 1);
    mApp.Popup("Saver", true); // neither a box nor an exit
    EXPECT_EQ(calls(), "");
}

// Off the main thread nothing is shown and nothing of the main thread's is reset; the main
// loop does not show a pop-up that was not fatal either (a fatal one ends the program).
TEST_F(Dialogs, PopupsOffTheMainThreadAreNotShown)
{
    mApp.Init();
    mApp.mIsPhysWindowed = false;
    mManager->mKeyDown[65] = true;
    mEnv.mPlatform->mCalls.clear();
    int answer = 0;
    std::thread loader(
        [&]
        {
            answer = mApp.MsgBox("Off", "Thread", 0);
            mApp.Popup("Bad font", false);
            mApp.Popup(L"Worse", false);
        });
    loader.join();
    EXPECT_EQ(answer, 2);
    EXPECT_TRUE(mEnv.mPlatform->mCalls.empty());
    EXPECT_TRUE(mManager->mKeyDown[65]);
    EXPECT_FALSE(mApp.mIsPopupOpen);
    mApp.Process(true);
    EXPECT_TRUE(mEnv.mPlatform->CallsStartingWith("MessageBoxA").empty());
}

} // namespace

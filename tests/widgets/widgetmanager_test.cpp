// The widget manager: mouse capture and hover, modal layers, widgets removed, disabled or
// deleted mid-interaction, keys and window focus, overlays, mouse remapping and dirty
// drawing.
#include "app/support/AppTestEnv.h"
#include "widgets/support/WidgetTestEnv.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace Vaxo;

namespace
{

TEST(WidgetManager, PressOnOneWidgetReleaseOverAnotherAndPopupCommandWidgets)
{
    WidgetTestEnv env;
    RecordingWidget* panel = env.Add("P", 50, 50, 100, 100);
    RecordingWidget* a = env.Add("A", 10, 10, 40, 40, panel); // at (60, 60) on the screen
    env.Add("B", 200, 0, 100, 100);
    WidgetManager* m = env.mManager;
    env.Take();

    m->MouseMove(70, 75);
    m->MouseDown(70, 75, 1);
    m->MouseMove(250, 40);
    m->MouseUp(250, 40, 1);
    EXPECT_EQ(env.TakeText(), "A.MouseEnter A.MouseMove(10,15) A.MouseDown(10,15,0,1) A.MouseDrag(190,-20) "
                              "A.MouseLeave A.MouseUp(190,-20,0,1) B.MouseEnter B.MouseMove(50,40)");
    EXPECT_EQ(m->mCaptureWidget, nullptr);
    EXPECT_FALSE(a->mIsDown);

    // A second button goes to the capture widget, in its own coordinates even over
    // nothing; the capture ends when both are up.
    m->MouseDown(70, 75, 1);
    m->MouseMove(150, 300);
    m->MouseDown(150, 300, -1);
    EXPECT_TRUE(m->IsLeftButtonDown() && m->IsRightButtonDown() && !m->IsMiddleButtonDown());
    m->MouseUp(150, 300, 1);
    EXPECT_EQ(m->mCaptureWidget, a);
    m->MouseUp(70, 75, -1);
    EXPECT_EQ(m->mCaptureWidget, nullptr);
    EXPECT_EQ(env.TakeText(), "B.MouseLeave A.MouseEnter A.MouseMove(10,15) A.MouseDown(10,15,0,1) "
                              "A.MouseDrag(90,240) A.MouseLeave A.MouseDown(90,240,1,1) "
                              "A.MouseUp(90,240,0,1) A.MouseUp(10,15,1,1) A.MouseEnter A.MouseMove(10,15)");
    EXPECT_EQ(m->mLastPressedButton, -1);

    m->MouseExit(0, 0);
    EXPECT_EQ(env.TakeText(), "A.MouseLeave");
    EXPECT_FALSE(m->mMouseInWindow);

    // A press on nothing whose release is lost (the window lost the focus) leaves no
    // button behind to turn later moves into drags.
    m->MouseDown(700, 500, 1);
    m->DoMouseUps();
    m->MouseMove(70, 75);
    EXPECT_EQ(env.TakeText(), "A.MouseEnter A.MouseMove(10,15)");

    // The popup command widget goes on a press outside it.
    WidgetTestEnv popups;
    RecordingWidget* popup = popups.Add("Pop", 10, 10, 50, 50, nullptr, false);
    WidgetManager* p = popups.mManager;
    p->SetPopupCommandWidget(popup);
    Click(p, 20, 20);
    EXPECT_EQ(popup->mParent, p);
    p->MouseDown(100, 100, 1);
    EXPECT_EQ(popup->mParent, nullptr);
    EXPECT_EQ(p->mPopupCommandWidget, nullptr);
}

TEST(WidgetManager, PressesAndReleasesWhileDraggingHoverOnlyTheCaptureWidget)
{
    // A is pressed and dragged over B; a second button goes down and the first up over
    // B: B is not hovered until the capture ends.
    WidgetTestEnv env;
    env.Add("A", 0, 0, 10, 10);
    env.Add("B", 20, 0, 10, 10);
    WidgetManager* m = env.mManager;
    m->MouseMove(5, 5);
    m->MouseDown(5, 5, 1);
    m->MouseMove(25, 5);
    env.Take();
    m->MouseDown(25, 5, -1);
    EXPECT_EQ(env.TakeText(), "A.MouseDown(25,5,1,1)");
    m->MouseUp(26, 5, 1);
    EXPECT_EQ(env.TakeText(), "A.MouseUp(26,5,0,1)");
    EXPECT_EQ(m->mHoverWidget, nullptr);
    // Back over A, the second press and the first release leave it hovered.
    m->MouseDown(6, 5, 1);
    m->MouseUp(7, 5, 1);
    EXPECT_EQ(env.TakeText(), "A.MouseEnter A.MouseDown(6,5,0,1) A.MouseUp(7,5,0,1)");
    m->MouseUp(26, 5, -1);
    EXPECT_EQ(env.TakeText(), "A.MouseUp(26,5,1,1) A.MouseLeave B.MouseEnter B.MouseMove(6,5)");
}

TEST(WidgetManager, ModalLayers)
{
    WidgetTestEnv env;
    RecordingWidget* w = env.Add("W", 0, 0, 100, 100);
    w->mWantsFocus = true;
    RecordingWidget* d = env.Add("D", 300, 300, 100, 100);
    WidgetManager* m = env.mManager;
    m->MouseMove(10, 10);
    m->MouseDown(10, 10, 1);
    env.CleanAll();
    env.Take();

    // What a widget behind the modal layer held is taken away at once.
    m->AddBaseModal(d);
    EXPECT_EQ(env.TakeText(), "W.MouseLeave W.MouseUp(10,10,0,1) W.LostFocus");
    EXPECT_TRUE(m->mHoverWidget == nullptr && m->mCaptureWidget == nullptr && m->mFocusWidget == nullptr);

    // Behind it: no hover, press or focus, but still updated and drawn.
    m->MouseUp(10, 10, 1);
    Click(m, 20, 20);
    w->MarkDirty();
    m->UpdateFrame();
    m->DrawScreen();
    EXPECT_EQ(env.TakeText(), "W.Update D.Update W.Draw");

    // A layer over a layer whose widget is gone pops with it.
    RecordingWidget* e = env.Add("E", 500, 0, 50, 50);
    env.Take();
    m->AddBaseModal(e);
    m->RemoveBaseModal(d); // not on top: ignored
    EXPECT_EQ(m->mPreModalInfoList.size(), 2u);
    m->RemoveWidget(d);
    EXPECT_EQ(m->mBaseModalWidget, e);
    m->RemoveBaseModal(e);
    EXPECT_TRUE(m->mPreModalInfoList.empty());
    // The focus widget from before the first layer comes back.
    EXPECT_EQ(m->mFocusWidget, w);
    EXPECT_EQ(env.TakeText(), "D.RemovedFromManager W.GotFocus");
    m->MouseMove(30, 30);
    EXPECT_EQ(m->mHoverWidget, w);

    // A pop whose own hooks take out (and delete, as a nested loop may) the focus widget
    // it restores leaves the focus empty. Order M2, H, M1, G: M1's layer masks H again.
    WidgetTestEnv t;
    auto* g = new RecordingWidget("G", &t.mLog, 400, 0, 10, 10);
    RecordingWidget* m2 = t.Add("M2", 200, 0, 10, 10);
    t.Add("H", 0, 0, 100, 100)->mActions["MouseLeave"] = [&t, g]() { t.mManager->RemoveWidget(g), delete g; };
    t.mManager->AddBaseModal(t.Add("M1", 300, 0, 10, 10));
    t.mManager->AddWidget(g);
    t.mManager->SetFocus(g);
    t.mManager->AddBaseModal(m2);
    t.mManager->MouseMove(50, 50);
    t.mManager->RemoveBaseModal(m2);
    EXPECT_EQ(t.mManager->mFocusWidget, nullptr);
}

TEST(WidgetManager, TheModalWidgetKeepsWhatItHolds)
{
    // D is hovered, pressed and focused when it becomes the modal widget: it lies above
    // its own layer, so it keeps all three; W behind it loses its focus.
    WidgetTestEnv env;
    RecordingWidget* w = env.Add("W", 300, 300, 10, 10);
    RecordingWidget* d = env.Add("D", 0, 0, 100, 100);
    WidgetManager* m = env.mManager;
    m->SetFocus(w);
    d->mWantsFocus = true;
    m->MouseMove(10, 10);
    m->MouseDown(10, 10, 1);
    env.Take();
    m->AddBaseModal(d);
    EXPECT_EQ(m->mHoverWidget, d);
    EXPECT_EQ(m->mCaptureWidget, d);
    EXPECT_EQ(m->mFocusWidget, d);
    m->SetFocus(w);
    m->AddBaseModal(d);
    EXPECT_EQ(m->mFocusWidget, nullptr);
    m->MouseUp(12, 12, 1);
    EXPECT_EQ(env.TakeText(), "D.LostFocus W.GotFocus W.LostFocus D.MouseUp(12,12,0,1) D.MouseMove(12,12)");
}

TEST(WidgetManager, ClosingALayerGivesNoFocusToAWidgetDisabledMeanwhile)
{
    // W had the focus before D's layer; disabled while the layer is up, it must not take
    // the keys when the layer closes. Enabled again, it gets the focus back as usual.
    for (bool enabledAgain : {false, true})
    {
        WidgetTestEnv env;
        RecordingWidget* w = env.Add("W", 0, 0, 100, 100);
        RecordingWidget* d = env.Add("D", 300, 300, 100, 100);
        WidgetManager* m = env.mManager;
        m->SetFocus(w);
        m->AddBaseModal(d);
        w->SetDisabled(true);
        if (enabledAgain)
            w->SetDisabled(false);
        m->RemoveBaseModal(d);
        env.Take();
        m->KeyChar('a');
        EXPECT_EQ(m->mFocusWidget, enabledAgain ? w : nullptr) << enabledAgain;
        EXPECT_EQ(env.TakeText(), enabledAgain ? "W.KeyChar(97)" : "") << enabledAgain;
    }
}

TEST(WidgetManager, HeldWidgetLeavesMidInteraction)
{
    // W, inside P at (5, 5), is hovered, then pressed (and focused by the press); the
    // action runs from W's hook, or after the press when no hook is named. The missing
    // release reaches W in its own coordinates. What, the hook, the action, W's log.
    typedef std::function<void(WidgetTestEnv&)> Action;
    const Action removeW = [](WidgetTestEnv& e) { e["P"]->RemoveWidget(e["W"]); };
    const Action disableW = [](WidgetTestEnv& e) { e["W"]->SetDisabled(true); };
    // What W hears when the press is taken back.
    const std::string held = "W.GotFocus W.MouseDown(5,5,0,1) W.MouseLeave W.MouseUp(5,5,0,1) W.LostFocus";
    const std::tuple<const char*, const char*, Action, std::string> cases[] = {
        {"removed", "", removeW, held + " W.RemovedFromManager"},
        {"disabled", "", disableW, held},
        {"removes itself when pressed", "MouseDown", removeW, held + " W.RemovedFromManager"},
        {"removes itself when focused: the press is not delivered", "GotFocus", removeW,
         "W.GotFocus W.MouseLeave W.MouseUp(5,5,0,1) W.LostFocus W.RemovedFromManager"},
        {"takes the focus again while leaving, and a modal layer remembers it", "RemovedFromManager",
         [](WidgetTestEnv& e) { e.mManager->SetFocus(e["W"]), e.mManager->AddBaseModal(e["P"]); },
         held + " W.RemovedFromManager W.GotFocus W.LostFocus"},
    };
    for (const auto& [what, hook, action, expected] : cases)
    {
        WidgetTestEnv env;
        RecordingWidget* w = env.Add("W", 0, 0, 100, 100, env.Add("P", 5, 5, 200, 200));
        w->mWantsFocus = true;
        WidgetManager* m = env.mManager;
        m->MouseMove(10, 10);
        env.Take();
        if (*hook != '\0')
            w->mActions[hook] = [&env, &action = action]() { action(env); };
        m->MouseDown(10, 10, 1);
        if (*hook == '\0')
            action(env);
        else if (w->mParent != nullptr)
            removeW(env);
        EXPECT_EQ(env.TakeText(), expected) << what;
        EXPECT_TRUE(m->mHoverWidget == nullptr && m->mCaptureWidget == nullptr && m->mFocusWidget == nullptr)
            << what;
        for (const PreModalInfo& layer : m->mPreModalInfoList)
            EXPECT_NE(layer.mPrevFocusWidget, w) << what;
        m->MouseUp(10, 10, 1);
        EXPECT_EQ(m->mCaptureButtons, 0u) << what;
    }
}

TEST(WidgetManager, AWidgetDeletedByItsFirstMissingReleaseHearsNoMore)
{
    // W holds the left and right buttons when a modal layer masks it; its first release
    // takes it out and deletes it, so the second is not sent.
    WidgetTestEnv env;
    WidgetManager* m = env.mManager;
    auto* w = new RecordingWidget("W", &env.mLog, 0, 0, 100, 100);
    m->AddWidget(w);
    m->MouseMove(10, 10);
    m->MouseDown(10, 10, 1);
    m->MouseDown(12, 12, -1);
    w->mActions["MouseUp"] = [m, w]() { m->RemoveWidget(w), delete w; };
    RecordingWidget* d = env.Add("D", 300, 300, 10, 10);
    env.Take();
    m->AddBaseModal(d);
    EXPECT_EQ(env.TakeText(), "W.MouseLeave W.MouseUp(12,12,0,1) W.RemovedFromManager");
    EXPECT_EQ(m->mCaptureWidget, nullptr);
    EXPECT_EQ(m->mCaptureButtons, 0u);
}

TEST(WidgetManager, KeysTabbingAndWindowFocus)
{
    WidgetTestEnv env;
    RecordingWidget* w = env.Add("W", 0, 0, 10, 10);
    WidgetManager* m = env.mManager;
    m->SetFocus(w);
    for (KeyCode k : {KeyCode(65), KEYCODE_CONTROL, KEYCODE_TAB})
        m->KeyDown(k);
    m->MouseDown(5, 5, 1);
    env.Take();

    // Held keys go up in ascending order, a tab under control excepted; the focus widget
    // keeps its place and hears GotFocus again with the window.
    m->LostFocus();
    m->LostFocus();
    EXPECT_EQ(env.TakeText(), "W.KeyUp(17) W.KeyUp(65) W.LostFocus");
    EXPECT_EQ(m->mHeldButtons, 0u);
    m->GotFocus();
    EXPECT_EQ(env.TakeText(), "W.GotFocus");
    EXPECT_EQ(m->mFocusWidget, w);

    // Codes outside 0-254 reach the widget but never the key table.
    const int32_t lastPressed = m->mLastPressedButton;
    for (int k : {255, -1, 100000})
    {
        m->KeyDown(KeyCode(k));
        m->KeyUp(KeyCode(k));
    }
    EXPECT_EQ(env.TakeText(),
              "W.KeyDown(255) W.KeyUp(255) W.KeyDown(-1) W.KeyUp(-1) W.KeyDown(100000) W.KeyUp(100000)");
    EXPECT_EQ(m->mLastPressedButton, lastPressed);
    for (bool down : m->mKeyDown)
        EXPECT_FALSE(down);

    // Tab under control goes to the default tab widget, and its release nowhere.
    m->mDefaultTabWidget = env.Add("T", 0, 0, 10, 10);
    env.Take();
    m->KeyDown(KEYCODE_CONTROL);
    m->KeyChar('\t');
    m->KeyUp(KEYCODE_TAB);
    m->KeyChar('a');
    m->MouseWheel(-2);
    EXPECT_EQ(env.TakeText(), "W.KeyDown(17) T.KeyChar(9) W.KeyChar(97) W.MouseWheel(-2)");

    // Tab moves along the tab chain.
    WidgetTestEnv tabs;
    RecordingWidget* a = tabs.Add("A", 0, 0, 10, 10);
    RecordingWidget* b = tabs.Add("B", 0, 0, 10, 10);
    RecordingWidget* c = tabs.Add("C", 0, 0, 10, 10);
    b->mTabNext = c;
    b->mTabPrev = a;
    WidgetManager* t = tabs.mManager;
    t->SetFocus(b);
    t->KeyDown(KEYCODE_TAB);
    EXPECT_EQ(t->mFocusWidget, c);
    t->SetFocus(b);
    t->KeyDown(KEYCODE_SHIFT);
    t->KeyDown(KEYCODE_TAB);
    EXPECT_EQ(t->mFocusWidget, a);
    t->KeyDown(KEYCODE_TAB); // A has no target
    EXPECT_EQ(t->mFocusWidget, a);
}

TEST(WidgetManager, TheFocusGoesWhereAskedWhateverTheLosingWidgetDoes)
{
    // The focus moves from A to B while focus hooks ask for it (once, or every time they
    // run: a field that will not let go, two widgets handing it to each other), or run a
    // modal loop in which the user clicks fields. The call returns; one handed the focus in
    // between is told it lost it; a widget that lost it does not take it again from the
    // change that took it (it still held it while its hook ran), though inside a loop its
    // hook runs the clicks move it freely; only the focus widget believes it has the
    // focus; afterwards clicks move it as always.
    struct Ask
    {
        const char* hook; // "A.LostFocus": A's LostFocus asks ...
        const char* to;   // ... for this widget's focus; several: a loop clicking each in turn
    };
    struct Row
    {
        const char* what;
        std::vector<Ask> asks;
        bool everyTime;
        const char* log;
        const char* endsWith;
        const char* loopEndsWith = ""; // where the focus was when the hook's loop ended
    };
    const char* passedC = "A.LostFocus C.GotFocus C.LostFocus B.GotFocus";
    const Row rows[] = {
        {"A hands it to C once", {{"A.LostFocus", "C"}}, false, passedC, "B"},
        {"A asks for it back once", {{"A.LostFocus", "A"}}, false, "A.LostFocus B.GotFocus", "B"},
        {"A hands it to B once", {{"A.LostFocus", "B"}}, false, "A.LostFocus B.GotFocus", "B"},
        {"A will not let go", {{"A.LostFocus", "A"}}, true, "A.LostFocus B.GotFocus", "B"},
        {"A and C hand it to each other", {{"A.LostFocus", "C"}, {"C.LostFocus", "A"}}, true, passedC, "B"},
        {"B and C hand it on as they get it",
         {{"B.GotFocus", "C"}, {"C.GotFocus", "B"}},
         true,
         "A.LostFocus B.GotFocus B.LostFocus C.GotFocus",
         "C"},
        {"C gives it back to A, who hands it to C",
         {{"A.LostFocus", "C"}, {"C.GotFocus", "A"}, {"C.LostFocus", "A"}},
         true,
         passedC,
         "B"},
        {"A runs a modal loop in which D, E and D are clicked",
         {{"A.LostFocus", "DED"}},
         false,
         "A.LostFocus D.GotFocus D.LostFocus E.GotFocus E.LostFocus D.GotFocus D.LostFocus B.GotFocus",
         "B",
         "D"},
    };
    const char* const names[] = {"A", "B", "C", "D", "E"};
    for (const Row& row : rows)
    {
        WidgetTestEnv env;
        for (int i = 0; i < 5; ++i)
            env.Add(names[i], 20 * i, 0, 10, 10)->mWantsFocus = true;
        WidgetManager* m = env.mManager;
        auto clickEach = [&](const std::string& to)
        {
            for (char name : to)
                Click(m, env[std::string(1, name)]->mX + 5, 5);
        };
        m->SetFocus(env["A"]);
        // A cap on the asks, so that a change that never ends fails here instead of hanging.
        int asked = 0;
        std::string loopEndedOn;
        for (const Ask& ask : row.asks)
        {
            const std::string hook(ask.hook);
            env[hook.substr(0, 1)]->mActions[hook.substr(2)] =
                [&, to = std::string(ask.to), done = false]() mutable
            {
                if ((!row.everyTime && std::exchange(done, true)) || ++asked >= 100)
                    return;
                if (to.size() == 1)
                    m->SetFocus(env[to]);
                else
                {
                    clickEach(to);
                    loopEndedOn = m->mFocusWidget != nullptr
                                      ? static_cast<RecordingWidget*>(m->mFocusWidget)->mName
                                      : "";
                }
            };
        }
        env.Take();
        m->SetFocus(env["B"]);
        std::vector<std::string> focusLog;
        for (const std::string& line : env.Take())
        {
            if (line.find("Focus") != std::string::npos)
                focusLog.push_back(line);
        }
        EXPECT_EQ(Join(focusLog), row.log) << row.what;
        EXPECT_EQ(loopEndedOn, row.loopEndsWith) << row.what;
        EXPECT_EQ(m->mFocusWidget, env[row.endsWith]) << row.what;
        for (const char* name : names)
            EXPECT_EQ(env[name]->mHasFocus, env[name] == m->mFocusWidget) << row.what << " " << name;
        for (const char* name : names)
            env[name]->mActions.clear();
        clickEach("DED");
        EXPECT_EQ(m->mFocusWidget, env["D"]) << row.what;
    }
}

TEST(WidgetManager, FocusForAWidgetTheLosingWidgetDeletes)
{
    // A's LostFocus takes out and deletes W, which the focus was moving to.
    WidgetTestEnv env;
    WidgetManager* m = env.mManager;
    RecordingWidget* a = env.Add("A", 0, 0, 10, 10);
    auto* w = new RecordingWidget("W", &env.mLog, 20, 0, 10, 10);
    m->AddWidget(w);
    m->SetFocus(a);
    a->mActions["LostFocus"] = [m, w]() { m->RemoveWidget(w), delete w; };
    env.Take();
    m->SetFocus(w);
    EXPECT_EQ(env.TakeText(), "A.LostFocus W.RemovedFromManager");
    EXPECT_EQ(m->mFocusWidget, nullptr);
}

TEST(WidgetManager, OverlaysOfWidgetsDeletedBeforeTheyDraw)
{
    // X defers an overlay from its Draw; then X itself, or Y drawn after it, takes X out
    // and deletes it. X's overlay is dropped; Y's still draws.
    for (bool byItself : {true, false})
    {
        WidgetTestEnv env;
        WidgetManager* m = env.mManager;
        auto* x = new RecordingWidget("X", &env.mLog, 0, 0, 10, 10);
        x->mOverlayPriority = 0;
        m->AddWidget(x);
        RecordingWidget* y = env.Add("Y", 20, 0, 10, 10);
        y->mOverlayPriority = 0;
        (byItself ? x : y)->mActions["Draw"] = [m, x]() { m->RemoveWidget(x), delete x; };
        env.Take();
        m->DrawScreen();
        EXPECT_EQ(env.TakeText(), byItself ? "X.Draw X.RemovedFromManager Y.Draw Y.DrawOverlay(0@20,0)"
                                           : "X.Draw Y.Draw X.RemovedFromManager Y.DrawOverlay(0@20,0)")
            << byItself;
    }
}

TEST(WidgetManager, HoverForAWidgetTheLeavingWidgetDeletes)
{
    // The mouse moves from A to W; A's MouseLeave takes out and deletes W.
    WidgetTestEnv env;
    WidgetManager* m = env.mManager;
    RecordingWidget* a = env.Add("A", 0, 0, 10, 10);
    auto* w = new RecordingWidget("W", &env.mLog, 20, 0, 10, 10);
    m->AddWidget(w);
    m->MouseMove(5, 5);
    a->mActions["MouseLeave"] = [m, w]() { m->RemoveWidget(w), delete w; };
    env.Take();
    m->MouseMove(25, 5);
    EXPECT_EQ(env.TakeText(), "A.MouseLeave W.RemovedFromManager");
    EXPECT_EQ(m->mHoverWidget, nullptr);
}

TEST(WidgetManager, ADefaultTabWidgetLeavingTheTreeIsForgotten)
{
    // T, the default tab widget, is taken out and deleted; control+tab then goes nowhere.
    WidgetTestEnv env;
    WidgetManager* m = env.mManager;
    auto* t = new RecordingWidget("T", &env.mLog, 0, 0, 10, 10);
    m->AddWidget(t);
    m->mDefaultTabWidget = t;
    m->RemoveWidget(t);
    delete t;
    EXPECT_EQ(m->mDefaultTabWidget, nullptr);
    env.Take();
    m->KeyDown(KEYCODE_CONTROL);
    m->KeyChar('\t');
    EXPECT_EQ(env.TakeText(), "");
}

TEST(WidgetManager, RemapMouse)
{
    // Logical and window rects, the point, the point mapped.
    const std::tuple<TRect<int>, TRect<int>, int, int, int, int> cases[] = {
        {{0, 0, 640, 480}, {0, 0, 1280, 960}, 640, 480, 320, 240},
        {{0, 0, 800, 600}, {0, 0, 800, 600}, 17, 599, 17, 599},
        {{80, 0, 640, 480}, {100, 50, 320, 240}, 101, 51, 82, 2},
        {{0, 0, 800, 600}, {0, 0, 0, 0}, 33, 44, 33, 44},
        {{0, 0, 800, 600}, {0, 0, 1, 1}, 2000000000, -2000000000, INT32_MAX, INT32_MIN},
    };
    for (const auto& [logical, window, x, y, mappedX, mappedY] : cases)
    {
        WidgetManager m(nullptr);
        m.Resize(logical, window);
        TPoint<int> point(x, y);
        m.RemapMouse(point.mX, point.mY);
        EXPECT_EQ(point, TPoint<int>(mappedX, mappedY)) << x << "," << y;
    }
    WidgetManager m(nullptr);
    m.Resize(TRect<int>(80, 10, 640, 480), TRect<int>(0, 0, 800, 500));
    EXPECT_EQ(m.mWidth, 800);
    EXPECT_EQ(m.mHeight, 500);
}

TEST(WidgetManager, DrawsOnlyDirtyTopLevelWidgetsAndOverlaysInPriorityOrder)
{
    AppTestEnv appEnv;
    RecordingApp app;
    WidgetTestEnv env(&app);
    RecordingWidget* a = env.Add("A", 0, 0, 100, 100);
    RecordingWidget* b = env.Add("B", 200, 0, 100, 100);
    a->mFill = Color(255, 0, 0);
    b->mFill = Color(0, 255, 0);
    EXPECT_TRUE(env.mManager->DrawScreen());
    EXPECT_EQ(env.Pixel(50, 50), 0xFFFF0000u);
    EXPECT_EQ(env.Pixel(250, 50), 0xFF00FF00u);
    EXPECT_EQ(env.Pixel(150, 50), 0u);

    env.mScreen->GetBits()[50 * 800 + 250] = 0xFF123456u;
    a->mFill = Color(0, 0, 255);
    a->MarkDirty();
    env.Take();
    EXPECT_TRUE(env.mManager->DrawScreen());
    EXPECT_EQ(env.TakeText(), "A.Draw");
    EXPECT_EQ(env.Pixel(50, 50), 0xFF0000FFu);
    EXPECT_EQ(env.Pixel(250, 50), 0xFF123456u);

    // While the application asks for full redraws, a frame with any change draws all.
    app.mFullRedraw = true;
    EXPECT_FALSE(env.mManager->DrawScreen());
    a->MarkDirty();
    env.mManager->DrawScreen();
    EXPECT_EQ(env.TakeText(), "A.Draw B.Draw");
    EXPECT_EQ(env.Pixel(250, 50), 0xFF00FF00u);

    // A finger widget shows the hand while hovered.
    b->mShowsFinger = true;
    env.mManager->MouseMove(250, 50);
    EXPECT_EQ(app.mCursorNum, 1);
    env.mManager->MouseMove(150, 50);
    EXPECT_EQ(app.mCursorNum, 0);

    // Overlays are drawn after everything else, by priority.
    WidgetTestEnv overlays;
    overlays.Add("X", 0, 0, 10, 10)->mOverlayPriority = 3;
    overlays.Add("Y", 0, 0, 10, 10)->mOverlayPriority = 1;
    RecordingWidget* z = overlays.Add("Z", 100, 100, 50, 50);
    overlays.Add("N", 10, 20, 5, 5, z)->mOverlayPriority = 0;
    overlays.Add("Dlg", 0, 0, 10, 10)->mPriority = 1;
    overlays.Take();
    overlays.mManager->DrawScreen();
    EXPECT_EQ(overlays.TakeText(), "X.Draw Y.Draw Z.Draw N.Draw N.DrawOverlay(0@110,120) Dlg.Draw "
                                   "Y.DrawOverlay(1@0,0) X.DrawOverlay(3@0,0)");
    EXPECT_TRUE(overlays.mManager->mDeferredOverlays.empty());
    EXPECT_FALSE(overlays.mManager->DrawScreen());
}

} // namespace

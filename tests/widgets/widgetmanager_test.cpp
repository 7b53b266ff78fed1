// The widget manager: mouse capture and hover, modal layers, widgets removed or disabled
// mid-interaction, keys and window focus, overlays, mouse remapping and dirty drawing.
#include "app/support/AppTestEnv.h"
#include "widgets/support/WidgetTestEnv.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

using namespace Vaxo;

namespace
{

TEST(WidgetManager, PressOnOneWidgetReleaseOverAnother)
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
    m->MouseMove(20, 20);
    m->MouseDown(20, 20, 1);
    m->MouseUp(20, 20, 1);
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
    EXPECT_EQ(m->mBaseModalWidget, nullptr);
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

TEST(WidgetManager, HeldWidgetLeavesMidInteraction)
{
    // W, inside P at (5, 5), is hovered, then pressed (and focused by the press); the
    // action runs from W's hook, or after the press when no hook is named. The missing
    // release reaches W in its own coordinates. What, the hook, the action, W's log.
    typedef std::function<void(WidgetTestEnv&)> Action;
    const Action removeW = [](WidgetTestEnv& e) { e["P"]->RemoveWidget(e["W"]); };
    const Action disableW = [](WidgetTestEnv& e) { e["W"]->SetDisabled(true); };
    const std::tuple<const char*, const char*, Action, const char*> cases[] = {
        {"removed", "", removeW,
         "W.GotFocus W.MouseDown(5,5,0,1) W.MouseLeave W.MouseUp(5,5,0,1) W.LostFocus "
         "W.RemovedFromManager"},
        {"disabled", "", disableW,
         "W.GotFocus W.MouseDown(5,5,0,1) W.MouseLeave W.MouseUp(5,5,0,1) W.LostFocus"},
        {"removes itself when pressed", "MouseDown", removeW,
         "W.GotFocus W.MouseDown(5,5,0,1) W.MouseLeave W.MouseUp(5,5,0,1) W.LostFocus "
         "W.RemovedFromManager"},
        {"removes itself when focused: the press is not delivered", "GotFocus", removeW,
         "W.GotFocus W.MouseLeave W.MouseUp(5,5,0,1) W.LostFocus W.RemovedFromManager"},
        {"takes the focus again while leaving, and a modal layer remembers it", "RemovedFromManager",
         [](WidgetTestEnv& e) { e.mManager->SetFocus(e["W"]), e.mManager->AddBaseModal(e["P"]); },
         "W.GotFocus W.MouseDown(5,5,0,1) W.MouseLeave W.MouseUp(5,5,0,1) W.LostFocus "
         "W.RemovedFromManager W.GotFocus W.LostFocus"},
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

TEST(WidgetManager, KeysAndWindowFocus)
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
}

TEST(WidgetManager, OverlaysDrawInPriorityOrder)
{
    WidgetTestEnv env;
    env.Add("X", 0, 0, 10, 10)->mOverlayPriority = 3;
    env.Add("Y", 0, 0, 10, 10)->mOverlayPriority = 1;
    RecordingWidget* z = env.Add("Z", 100, 100, 50, 50);
    env.Add("N", 10, 20, 5, 5, z)->mOverlayPriority = 0;
    env.Add("Dlg", 0, 0, 10, 10)->mPriority = 1;
    env.Take();
    env.mManager->DrawScreen();
    EXPECT_EQ(env.TakeText(), "X.Draw Y.Draw Z.Draw N.Draw N.DrawOverlay(0@110,120) Dlg.Draw "
                              "Y.DrawOverlay(1@0,0) X.DrawOverlay(3@0,0)");
    EXPECT_TRUE(env.mManager->mDeferredOverlays.empty());
    EXPECT_FALSE(env.mManager->DrawScreen());
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

TEST(WidgetManager, DrawsOnlyDirtyTopLevelWidgets)
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
}

TEST(WidgetManager, PopupCommandWidgetGoesOnAPressOutside)
{
    WidgetTestEnv env;
    RecordingWidget* popup = env.Add("Pop", 10, 10, 50, 50, nullptr, false);
    WidgetManager* m = env.mManager;
    m->SetPopupCommandWidget(popup);
    m->MouseDown(20, 20, 1);
    m->MouseUp(20, 20, 1);
    EXPECT_EQ(popup->mParent, m);
    m->MouseDown(100, 100, 1);
    EXPECT_EQ(popup->mParent, nullptr);
    EXPECT_EQ(m->mPopupCommandWidget, nullptr);
}

} // namespace

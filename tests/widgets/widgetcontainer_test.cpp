// The widget tree: z-order, the update walk while hooks change the tree, dirty marks at
// the root, widgets deleted from a draw hook, hit testing and the manager hand-over to
// subtrees.
#include "graphics/Graphics.h"
#include "widgets/support/LegacyMarkingManager.h"
#include "widgets/support/WidgetTestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <typeinfo>
#include <utility>
#include <vector>

using namespace Vaxo;

namespace
{

std::string Names(const WidgetContainer::WidgetList& widgets)
{
    std::string names;
    for (Widget* widget : widgets)
        names += (names.empty() ? "" : " ") + static_cast<RecordingWidget*>(widget)->mName;
    return names;
}

// The widgets whose hook of that name ran, in order.
std::string Heard(const std::vector<std::string>& log, const std::string& hook)
{
    std::string names;
    for (const std::string& line : log)
    {
        size_t dot = line.find('.');
        if (line.compare(dot + 1, std::string::npos, hook) == 0)
            names += (names.empty() ? "" : " ") + line.substr(0, dot);
    }
    return names;
}

TEST(WidgetContainer, ZOrderOperations)
{
    // A and B overlap, C stands apart, D overlaps all three. A reordered widget is
    // redrawn with whatever now lies in front of it. What, the order and the dirty
    // widgets after.
    const std::tuple<const char*, std::function<void(WidgetTestEnv&)>, const char*, const char*> cases[] = {
        {"add twice", [](WidgetTestEnv& e) { e.mManager->AddWidget(e["A"]); }, "A B C D", ""},
        {"remove a stranger", [](WidgetTestEnv& e) { e.mManager->RemoveWidget(e["X"]); }, "A B C D", ""},
        {"front", [](WidgetTestEnv& e) { e.mManager->BringToFront(e["A"]); }, "B C D A", "A"},
        {"back", [](WidgetTestEnv& e) { e.mManager->BringToBack(e["D"]); }, "D A B C", "A B C D"},
        {"behind", [](WidgetTestEnv& e) { e.mManager->PutBehind(e["D"], e["B"]); }, "A D B C", "B C D"},
        {"in front", [](WidgetTestEnv& e) { e.mManager->PutInfront(e["A"], e["C"]); }, "B C A D", "A D"},
        {"behind a stranger", [](WidgetTestEnv& e) { e.mManager->PutBehind(e["A"], e["X"]); }, "B C D A",
         "A"},
        {"behind itself", [](WidgetTestEnv& e) { e.mManager->PutBehind(e["B"], e["B"]); }, "A B C D", ""},
        {"in front of itself", [](WidgetTestEnv& e) { e.mManager->PutInfront(e["B"], e["B"]); }, "A B C D",
         ""},
        {"higher band stays in front",
         [](WidgetTestEnv& e)
         {
             e.mManager->RemoveWidget(e["B"]);
             e["B"]->mZOrder = 1;
             e.mManager->AddWidget(e["B"]);
             e.mManager->AddWidget(e["X"]);
             e.mManager->BringToBack(e["B"]);
         },
         "A C D X B", "A B D X"},
        {"moved to another parent", [](WidgetTestEnv& e) { e["A"]->AddWidget(e["B"]); }, "A C D", "A B D"},
        {"never into its own subtree", [](WidgetTestEnv& e) { e["B"]->AddWidget(e["B"]); }, "A B C D", ""},
        {"nor into what its removal put inside it",
         [](WidgetTestEnv& e)
         {
             e["A"]->mActions["RemovedFromManager"] = [&e]() { e["A"]->AddWidget(e["B"]); };
             e["B"]->AddWidget(e["A"]);
             EXPECT_TRUE(e["A"]->mParent == nullptr && e["B"]->mParent == e["A"]);
         },
         "C D", "A B D"},
        {"taken out again by its own removal's hook",
         [](WidgetTestEnv& e)
         {
             e["A"]->mActions["RemovedFromManager"] = [&e]() { e.mManager->RemoveWidget(e["A"]); };
             e.mManager->RemoveWidget(e["A"]);
         },
         "B C D", "A B D"},
    };
    for (const auto& [what, op, order, dirty] : cases)
    {
        WidgetTestEnv env;
        env.Add("A", 0, 0, 10, 10);
        env.Add("B", 5, 5, 10, 10);
        env.Add("C", 30, 0, 10, 10);
        env.Add("D", 0, 8, 40, 4);
        env.Add("X", 0, 0, 10, 10, nullptr, false);
        env.CleanAll();
        op(env);
        EXPECT_EQ(Names(env.mManager->mWidgets), order) << what;
        EXPECT_EQ(env.DirtyNames(), dirty) << what;
    }
}

TEST(WidgetContainer, UpdateWalkWhileHooksChangeTheTree)
{
    // What B's update does, who is updated, the order after.
    const std::tuple<const char*, std::function<void(WidgetTestEnv&)>, const char*, const char*> cases[] = {
        {"nothing", [](WidgetTestEnv&) {}, "A B C D", "A B C D"},
        {"removes itself", [](WidgetTestEnv& e) { e.mManager->RemoveWidget(e["B"]); }, "A B C D", "A C D"},
        {"removes a later sibling", [](WidgetTestEnv& e) { e.mManager->RemoveWidget(e["C"]); }, "A B D",
         "A B D"},
        {"removes an earlier sibling", [](WidgetTestEnv& e) { e.mManager->RemoveWidget(e["A"]); }, "A B C D",
         "B C D"},
        {"to front", [](WidgetTestEnv& e) { e.mManager->BringToFront(e["B"]); }, "A B C D", "A C D B"},
        {"to back", [](WidgetTestEnv& e) { e.mManager->BringToBack(e["B"]); }, "A B C D", "B A C D"},
        {"puts a later sibling behind the walk", [](WidgetTestEnv& e) { e.mManager->BringToBack(e["D"]); },
         "A B C", "D A B C"},
        {"nested frame", [](WidgetTestEnv& e) { e.mManager->UpdateFrame(); }, "A B A B C D", "A B C D"},
    };
    for (const auto& [what, inUpdateOfB, updated, order] : cases)
    {
        WidgetTestEnv env;
        for (const char* name : {"A", "B", "C", "D"})
            env.Add(name, 0, 0, 10, 10);
        env["B"]->mActions["Update"] = [&env, &inUpdateOfB = inUpdateOfB]()
        {
            env["B"]->mActions.clear();
            inUpdateOfB(env);
        };
        env.mManager->UpdateFrame();
        EXPECT_EQ(Heard(env.Take(), "Update"), updated) << what;
        EXPECT_EQ(Names(env.mManager->mWidgets), order) << what;
        // The next frame updates everything still attached once, in order.
        env.mManager->UpdateFrame();
        EXPECT_EQ(Heard(env.Take(), "Update"), order) << what;
    }

    // Deleted with its parent from inside its own update, as a nested modal loop's
    // safe-delete pass may do: neither is touched again and the walk goes on.
    WidgetTestEnv env;
    auto* panel = new RecordingWidget("P", &env.mLog);
    auto* inner = new RecordingWidget("I", &env.mLog);
    env.Add("A", 0, 0, 10, 10);
    env.mManager->AddWidget(panel);
    panel->AddWidget(inner);
    env.Add("C", 0, 0, 10, 10);
    inner->mActions["Update"] = [&]() { env.mManager->RemoveWidget(panel), delete inner, delete panel; };
    env.mManager->UpdateFrame();
    EXPECT_EQ(Heard(env.Take(), "Update"), "A P I C");

    // Below the modal widget the walk uses the below flags.
    WidgetTestEnv modal;
    for (const char* name : {"A", "B", "C"})
        modal.Add(name, 0, 0, 10, 10);
    modal.Add("A1", 0, 0, 5, 5, modal["A"]);
    modal.Add("B1", 0, 0, 5, 5, modal["B"]);
    modal.mManager->AddBaseModal(modal["B"], FlagsMod(0, WF_UPDATE));
    modal.mManager->UpdateFrame();
    EXPECT_EQ(Heard(modal.Take(), "Update"), "B B1 C");
}

TEST(WidgetContainer, DirtyMarksAtTheRoot)
{
    // Back to front: L covers the others' area; R only touches C. Before the mark one
    // widget may be made hidden, translucent, partly painted or dirty already. What, the
    // widget tweaked and how, the one marked (fully or not), the dirty widgets.
    const std::tuple<const char*, const char*, std::string, const char*, bool, const char*> cases[] = {
        {"front overlaps, touching is not overlapping", "", "", "P", false, "P C Q"},
        {"hidden widgets in front are skipped", "C", "hidden", "P", false, "P Q"},
        {"translucent reaches below", "P", "translucent", "P", false, "L M P C Q R"},
        {"an opaque coverer stops the walk", "", "", "Q", true, "C Q"},
        {"a translucent coverer does not", "C", "translucent", "Q", true, "L M P C Q R"},
        {"nor one with transparent parts", "C", "transparent", "Q", true, "L M P C Q R"},
        {"transparent parts show what is below", "P", "transparent", "P", false, "L M P C Q R"},
        {"already dirty does nothing", "P", "dirty", "P", false, "P"},
        {"a child marks its top-level ancestor", "", "", "Q1", false, "Q Q1"},
    };
    for (const auto& [what, tweaked, tweak, marked, full, dirty] : cases)
    {
        WidgetTestEnv env;
        env.Add("L", 0, 0, 400, 400);
        env.Add("M", 50, 50, 100, 100);
        env.Add("P", 100, 100, 100, 100);
        env.Add("C", 140, 140, 120, 120);
        env.Add("Q", 150, 150, 100, 100);
        env.Add("R", 260, 100, 50, 50);
        env.Add("Q1", 10, 10, 5, 5, env["Q"]);
        env.CleanAll();
        if (RecordingWidget* w = env[tweaked])
        {
            w->mVisible = tweak != "hidden";
            w->mTranslucent = tweak == "translucent";
            w->mHasTransparentParts = tweak == "transparent";
            w->mDirty = tweak == "dirty";
        }
        if (full)
            env[marked]->MarkDirtyFull();
        else
            env[marked]->MarkDirty();
        EXPECT_EQ(env.DirtyNames(), dirty) << what;
    }
}

// Widgets whose MarkDirty does more: marks the full area, as an edit field with a
// see-through background does, or marks a partner widget too, as composite controls do.
class FullMarkingWidget : public RecordingWidget
{
public:
    using RecordingWidget::RecordingWidget;
    void MarkDirty() override { MarkDirtyFull(); }
};

class PartneredWidget : public RecordingWidget
{
public:
    using RecordingWidget::RecordingWidget;
    RecordingWidget* mPartner = nullptr;
    // Off: its MarkDirty marks the partner only, as for a widget another one draws.
    bool mMarksSelf = true;
    void MarkDirty() override
    {
        if (mMarksSelf)
            RecordingWidget::MarkDirty();
        if (mPartner != nullptr)
            mPartner->MarkDirty();
    }
};

// A manager over an 800 x 600 screen.
class ScreenManager : public WidgetManager
{
public:
    ScreenManager() : WidgetManager(nullptr)
    {
        Resize(TRect<int>(0, 0, 800, 600), TRect<int>(0, 0, 800, 600));
    }
};

// Adds the widgets to the manager, back to front, and leaves them all clean.
void AddClean(WidgetManager& manager, std::initializer_list<Widget*> widgets)
{
    for (Widget* w : widgets)
        manager.AddWidget(w);
    for (Widget* w : widgets)
        w->mDirty = false;
}

class TwinTrees
{
public:
    WidgetManager mManager{nullptr};
    LegacyMarkingManager mReference{nullptr};
    MemoryImage mScreen{nullptr};
    MemoryImage mReferenceScreen{nullptr};
    std::vector<std::string> mLog;
    std::vector<std::string> mReferenceLog;
    // The same widget in both trees, at the same place.
    std::vector<std::unique_ptr<RecordingWidget>> mWidgets;
    std::vector<std::unique_ptr<RecordingWidget>> mReferenceWidgets;

    // onScreen: the first widget a background covering the screen (mostly opaque), the others
    // mostly within the screen, so that one mark may reach them all.
    TwinTrees(std::mt19937& rng, bool onScreen) : mOnScreen(onScreen)
    {
        for (auto [manager, screen] :
             {std::pair<WidgetManager*, MemoryImage*>(&mManager, &mScreen),
              std::pair<WidgetManager*, MemoryImage*>(&mReference, &mReferenceScreen)})
        {
            manager->Resize(TRect<int>(0, 0, 200, 150), TRect<int>(0, 0, 200, 150));
            screen->Create(200, 150);
            manager->mScreenImage = screen;
        }
        // Some trees hold enough widgets for the marking to bucket them by tiles.
        const int count = 1 + int(rng() % (rng() % 3 == 0 ? 150 : 40));
        for (int i = 0; i < count; ++i)
        {
            // Some are children of an earlier top-level widget.
            const int parent = i > 0 && rng() % 4 == 0 ? int(rng() % uint32_t(i)) : -1;
            AddTwins(rng, parent >= 0 && mWidgets[size_t(parent)]->mParent == &mManager ? parent : -1);
        }
        // A background's partner may lie in front of it: a plain top-level one, since one
        // whose MarkDirty does more could end at the background and mark the partner again,
        // and a child's mark marks the background first.
        const size_t partner = mOnScreen ? rng() % mWidgets.size() : 0;
        for (auto* widgets : {&mWidgets, &mReferenceWidgets})
        {
            auto* background = dynamic_cast<PartneredWidget*>(widgets->front().get());
            RecordingWidget* other = (*widgets)[partner].get();
            if (background != nullptr && typeid(*other) == typeid(RecordingWidget) &&
                other->mParent == background->mParent)
                background->mPartner = other;
        }
    }
    ~TwinTrees()
    {
        for (auto* widgets : {&mWidgets, &mReferenceWidgets})
            for (auto& widget : *widgets)
                if (widget->mParent != nullptr)
                    widget->mParent->RemoveWidget(widget.get());
    }

    // Runs the same change on a widget of both trees.
    void Both(size_t i, const std::function<void(RecordingWidget*)>& change)
    {
        change(mWidgets[i].get());
        change(mReferenceWidgets[i].get());
    }
    // "!" for the manager when marked, then the numbers of the dirty widgets.
    static std::string Dirty(const WidgetManager& manager,
                             const std::vector<std::unique_ptr<RecordingWidget>>& widgets)
    {
        std::string text = manager.mDirty ? "!" : "";
        for (auto& widget : widgets)
            if (widget->mDirty)
                text += " " + widget->mName;
        return text;
    }
    std::string Dirty() const { return Dirty(mManager, mWidgets); }
    std::string ReferenceDirty() const { return Dirty(mReference, mReferenceWidgets); }

private:
    bool mOnScreen;

    void AddTwins(std::mt19937& rng, int parent)
    {
        // Sizes of 0 and below too: Intersects has its own answers for them. Some
        // widgets on a grid of 4 pixels, so that edges meet, some on one of 32 give or
        // take a pixel, so that edges meet the marking's tiles or just miss them.
        const int step = rng() % 3 == 0 ? 32 : rng() % 2 ? 4 : 1;
        auto jitter = [&] { return step == 32 ? int(rng() % 3) - 1 : 0; };
        auto size = [&]
        { return rng() % 6 == 0 ? int(rng() % 3) - 1 : step * (1 + int(rng() % 120) / step) + jitter(); };
        int x = step * ((int(rng() % 260) - 40) / step) + jitter();
        int y = step * ((int(rng() % 210) - 40) / step) + jitter();
        int w = size(), h = size();
        const uint32_t kind = rng() % 10;
        const size_t partner = rng() % (mWidgets.size() + 1);
        bool visible = rng() % 7 != 0, translucent = rng() % 5 == 0, transparent = rng() % 7 == 0;
        const bool background = mOnScreen && mWidgets.empty();
        if (background)
        {
            x = y = 0;
            w = 200;
            h = 150;
            visible = true;
            translucent = rng() % 6 == 0;
            transparent = false;
        }
        else if (mOnScreen)
        {
            if (rng() % 8 != 0)
            {
                x = std::clamp(x, 0, 199);
                y = std::clamp(y, 0, 149);
                w = std::min(w, 200 - x);
                h = std::min(h, 150 - y);
            }
            if (rng() % 3 != 0)
                translucent = transparent = false;
        }
        const Color fill(int(rng() % 256), int(rng() % 256), int(rng() % 256), int(rng() % 256));
        const int inset = int(rng() % 3);
        for (auto [manager, widgets, log] :
             {std::make_tuple<WidgetManager*>(&mManager, &mWidgets, &mLog),
              std::make_tuple<WidgetManager*>(&mReference, &mReferenceWidgets, &mReferenceLog)})
        {
            const std::string name = std::to_string(widgets->size());
            if (kind == 0)
                widgets->push_back(std::make_unique<FullMarkingWidget>(name, log, x, y, w, h));
            else if (kind == 1 || (mOnScreen && kind == 2))
            {
                auto widget = std::make_unique<PartneredWidget>(name, log, x, y, w, h);
                widget->mPartner = partner < widgets->size() ? (*widgets)[partner].get() : nullptr;
                widget->mMarksSelf = kind == 1;
                widgets->push_back(std::move(widget));
            }
            else
                widgets->push_back(std::make_unique<RecordingWidget>(name, log, x, y, w, h));
            RecordingWidget* widget = widgets->back().get();
            widget->mVisible = visible;
            widget->mTranslucent = translucent;
            widget->mHasTransparentParts = transparent;
            widget->mFill = fill;
            widget->mFillInset = inset;
            (parent >= 0 ? static_cast<WidgetContainer*>((*widgets)[size_t(parent)].get()) : manager)
                ->AddWidget(widget);
        }
    }
};

TEST(WidgetContainer, DirtyMarksSpreadAsTheWidgetByWidgetRulesGiveThem)
{
    // Trees of widgets anywhere, then trees on a background.
    for (uint32_t trial = 0; trial < 800; ++trial)
    {
        std::mt19937 rng(trial);
        TwinTrees trees(rng, trial >= 500);
        ASSERT_EQ(trees.Dirty(), trees.ReferenceDirty()) << "trial " << trial << " after adding";
        // Some widgets dirty already, which stops a spread.
        const size_t count = trees.mWidgets.size();
        std::vector<bool> dirty(count);
        for (size_t i = 0; i < count; ++i)
            dirty[i] = rng() % 4 == 0;
        for (size_t i = 0; i < count; ++i)
            trees.Both(i, [&](RecordingWidget* w) { w->mDirty = dirty[i]; });
        trees.mManager.mDirty = trees.mReference.mDirty = false;

        const int changes = 1 + int(rng() % 4);
        for (int c = 0; c < changes; ++c)
        {
            const size_t i = rng() % count;
            const uint32_t what = rng() % 6;
            const int x = int(rng() % 200) - 20, y = int(rng() % 150) - 20, w = int(rng() % 100),
                      h = int(rng() % 100);
            trees.Both(i,
                       [&](RecordingWidget* widget)
                       {
                           if (what == 0)
                               widget->MarkDirty();
                           else if (what == 1)
                               widget->MarkDirtyFull();
                           else if (what == 2)
                               widget->SetVisible(!widget->mVisible);
                           else if (what == 3)
                               widget->Resize(x, y, w, h);
                           else if (widget->mParent != nullptr)
                               what == 4 ? widget->mParent->BringToFront(widget)
                                         : widget->mParent->BringToBack(widget);
                       });
            ASSERT_EQ(trees.Dirty(), trees.ReferenceDirty())
                << "trial " << trial << ", change " << what << " of widget " << i;
        }

        trees.mLog.clear();
        trees.mReferenceLog.clear();
        EXPECT_EQ(trees.mManager.DrawScreen(), trees.mReference.DrawScreen()) << "trial " << trial;
        ASSERT_EQ(trees.mLog, trees.mReferenceLog) << "trial " << trial;
        ASSERT_EQ(trees.Dirty(), trees.ReferenceDirty()) << "trial " << trial << " after drawing";
        ASSERT_EQ(std::vector<uint32_t>(trees.mScreen.GetBits(), trees.mScreen.GetBits() + 200 * 150),
                  std::vector<uint32_t>(trees.mReferenceScreen.GetBits(),
                                        trees.mReferenceScreen.GetBits() + 200 * 150))
            << "trial " << trial;
    }
}

TEST(WidgetContainer, MarksSpreadByTheExactOverlap)
{
    // Enough marked widgets at once for the marking to bucket them: one covering the
    // screen from its left edge, 40 reaching 5 pixels below it. What else there is (back
    // to front), and the dirty widgets after marking the first, "Screen".
    const std::vector<std::tuple<const char*, std::vector<TRect<int>>, std::string>> cases = {
        // Widgets of no width or height on the screen's edge are not overlapped by it
        // (Intersects); those inside it are.
        {"no size",
         {{0, 300, 0, 10}, {100, 0, 10, 0}, {0, 0, 0, 0}, {50, 300, 0, 10}, {50, 50, 0, 0}},
         "3 4"},
        // The last reaches one pixel past the screen; what overlaps only that pixel is
        // marked through it.
        {"one pixel past", {{700, 500, 101, 10}, {800, 505, 5, 5}}, "0 1"},
    };
    for (const auto& [what, rects, dirty] : cases)
    {
        WidgetTestEnv env;
        env.Add("Screen", 0, 0, 800, 600);
        for (int i = 0; i < 40; ++i)
            env.Add("S" + std::to_string(i), 100 + 15 * i, 595, 10, 10);
        for (size_t i = 0; i < rects.size(); ++i)
            env.Add(std::to_string(i), rects[i].mX, rects[i].mY, rects[i].mWidth, rects[i].mHeight);
        env.CleanAll();
        env["Screen"]->MarkDirty();
        std::string expected = "Screen";
        for (int i = 0; i < 40; ++i)
            expected += " S" + std::to_string(i);
        EXPECT_EQ(env.DirtyNames(), expected + " " + dirty) << what;
    }
}

TEST(WidgetContainer, MarksFromTheHooksOfAHidingWidgetJoinTheSpread)
{
    // P hides the translucent T below it; marking P marks its partner X too, which lies
    // in front, apart, and shows Y below it.
    std::vector<std::string> log;
    ScreenManager manager;
    PartneredWidget p("P", &log, 0, 0, 100, 100);
    RecordingWidget y("Y", &log, 310, 310, 10, 10);
    RecordingWidget t("T", &log, 10, 10, 20, 20);
    RecordingWidget x("X", &log, 300, 300, 50, 50);
    t.mTranslucent = x.mTranslucent = true;
    p.mPartner = &x;
    AddClean(manager, {&p, &y, &t, &x});
    t.MarkDirty();
    EXPECT_TRUE(p.mDirty && y.mDirty && t.mDirty && x.mDirty);
    manager.RemoveAllWidgets();
}

TEST(WidgetContainer, AWidgetWhoseMarkDirtyMarksItsPartIsMarkedOnce)
{
    // W's MarkDirty marks its child C too; marking C marks W, whose hook finds C marked.
    std::vector<std::string> log;
    ScreenManager manager;
    PartneredWidget whole("W", &log, 0, 0, 100, 100);
    RecordingWidget part("C", &log, 10, 10, 20, 20);
    manager.AddWidget(&whole);
    whole.AddWidget(&part);
    whole.mPartner = &part;
    whole.mDirty = part.mDirty = false;
    part.MarkDirty();
    EXPECT_TRUE(whole.mDirty && part.mDirty);
    whole.RemoveWidget(&part);
    manager.RemoveAllWidgets();
}

TEST(WidgetContainer, WalksOverWidgetsOneMarkReachedEndAtTheirHider)
{
    // Marking the translucent T over a background covering the screen marks every widget
    // on the screen; T's translucent button B then walks down to P, which hides it and
    // whose MarkDirty marks its partner Q, off the screen, which nothing else reaches.
    std::vector<std::string> log;
    ScreenManager manager;
    RecordingWidget background("Background", &log, 0, 0, 800, 600);
    RecordingWidget q("Q", &log, -50, -50, 10, 10);
    PartneredWidget p("P", &log, 250, 250, 100, 100);
    RecordingWidget t("T", &log, 200, 150, 400, 300);
    RecordingWidget b("B", &log, 260, 260, 20, 20);
    t.mTranslucent = b.mTranslucent = true;
    p.mPartner = &q;
    const std::initializer_list<Widget*> widgets{&background, &q, &p, &t, &b};
    AddClean(manager, widgets);
    t.MarkDirty();
    EXPECT_TRUE(std::all_of(widgets.begin(), widgets.end(), [](Widget* w) { return w->mDirty; }));
    manager.RemoveAllWidgets();
}

TEST(WidgetContainer, MarksSpreadOnlyOverWhatTheMarkedWidgetsCover)
{
    // Enough marked widgets at once for the marking to bucket them: L, twenty reaching
    // past its right edge, and B, the largest, reached through them. Q stands one pixel
    // left of B, on the edge of a 256-pixel tile, and overlaps none of them.
    WidgetTestEnv env;
    env.Add("L", 0, 0, 250, 1024);
    for (int i = 0; i < 20; ++i)
        env.Add("S" + std::to_string(i), 240, 40 * i, 20, 10);
    env.Add("B", 257, 0, 511, 1024);
    env.Add("Q", 256, 500, 1, 1);
    env.Add("Corner", 1000, 1000, 23, 23);
    env.CleanAll();
    env["L"]->MarkDirty();
    std::string expected = "L";
    for (int i = 0; i < 20; ++i)
        expected += " S" + std::to_string(i);
    EXPECT_EQ(env.DirtyNames(), expected + " B");
}

// Counts the rectangle look-ups of the marking.
class CountingWidget : public RecordingWidget
{
public:
    int* mCount;
    CountingWidget(const std::string& name, int* count, int x, int y, int w, int h)
        : RecordingWidget(name, nullptr, x, y, w, h), mCount(count)
    {
    }
    TRect<int> GetRect() override
    {
        ++*mCount;
        return RecordingWidget::GetRect();
    }
};

TEST(WidgetContainer, MarkingLooksAtEachWidgetAFewTimes)
{
    // A grid of 3,000 widgets on a background, under a translucent dialog: marking the
    // dialog marks them all, and widget by widget that walks the list for each of them
    // (millions of look-ups).
    int lookups = 0;
    ScreenManager manager;
    std::vector<std::unique_ptr<CountingWidget>> widgets;
    widgets.push_back(std::make_unique<CountingWidget>("bg", &lookups, 0, 0, 800, 600));
    for (int i = 0; i < 3000; ++i)
        widgets.push_back(
            std::make_unique<CountingWidget>("", &lookups, (i % 60) * 13, (i / 60) * 12, 14, 13));
    widgets.push_back(std::make_unique<CountingWidget>("dialog", &lookups, 200, 150, 400, 300));
    widgets.back()->mTranslucent = true;
    for (auto& w : widgets)
        manager.AddWidget(w.get());
    for (auto& w : widgets)
        w->mDirty = false;

    lookups = 0;
    widgets.back()->MarkDirty();
    EXPECT_TRUE(std::all_of(widgets.begin(), widgets.end(), [](auto& w) { return w->mDirty; }));
    EXPECT_LT(lookups, 10 * int(widgets.size()));
    for (auto& w : widgets)
        manager.RemoveWidget(w.get());
}

TEST(WidgetContainer, WidgetsDeletedFromADrawHook)
{
    // P (children A, B, C) and Q in front of it are drawn; a Draw hook takes a widget
    // out and deletes it, with its children. The pass draws the rest and touches none
    // of the deleted (the sanitizers watch). The hook's widget, the victim, the log.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"A", "A", "P.Draw A.Draw A.RemovedFromManager B.Draw C.Draw Q.Draw"},
        {"A", "B", "P.Draw A.Draw B.RemovedFromManager C.Draw Q.Draw"},
        {"P", "P",
         "P.Draw A.RemovedFromManager B.RemovedFromManager C.RemovedFromManager P.RemovedFromManager Q.Draw"},
        {"A", "P",
         "P.Draw A.Draw A.RemovedFromManager B.RemovedFromManager C.RemovedFromManager P.RemovedFromManager "
         "Q.Draw"},
        {"B", "Q", "P.Draw A.Draw B.Draw Q.RemovedFromManager C.Draw"},
    };
    for (const auto& [hook, victim, expected] : cases)
    {
        WidgetTestEnv env;
        WidgetManager* m = env.mManager;
        // Made in this order, deleted in the reverse one (children before parents).
        std::vector<std::pair<std::string, RecordingWidget*>> widgets;
        auto make = [&](const char* name, WidgetContainer* parent)
        {
            auto* w = new RecordingWidget(name, &env.mLog, 0, 0, 50, 50);
            parent->AddWidget(w);
            widgets.emplace_back(name, w);
            return w;
        };
        RecordingWidget* p = make("P", m);
        for (const char* name : {"A", "B", "C"})
            make(name, p);
        make("Q", m);
        auto find = [&](const std::string& name) {
            return std::find_if(widgets.begin(), widgets.end(),
                                [&](const auto& w) { return w.first == name; });
        };
        find(hook)->second->mActions["Draw"] = [&, victim = std::string(victim)]()
        {
            RecordingWidget* w = find(victim)->second;
            w->mParent->RemoveWidget(w);
            for (Widget* child : w->mWidgets)
                widgets.erase(std::find_if(widgets.begin(), widgets.end(),
                                           [child](const auto& e) { return e.second == child; }));
            w->RemoveAllWidgets(true, true);
            widgets.erase(find(victim));
            delete w;
        };
        env.Take();
        m->DrawScreen();
        EXPECT_EQ(env.TakeText(), expected) << hook << " deletes " << victim;
        for (auto it = widgets.rbegin(); it != widgets.rend(); ++it)
        {
            if (it->second->mParent != nullptr)
                it->second->mParent->RemoveWidget(it->second);
            delete it->second;
        }
    }
}

TEST(WidgetContainer, ChildrenOfADeletedContainerAreLeftWithoutAParent)
{
    // P is taken out and deleted without its children (RemoveAllWidgets(true) does so one
    // level down); C, still made, is changed and added elsewhere afterwards.
    WidgetTestEnv env;
    WidgetManager* m = env.mManager;
    auto* p = new RecordingWidget("P", &env.mLog, 0, 0, 50, 50);
    m->AddWidget(p);
    RecordingWidget* c = env.Add("C", 5, 5, 10, 10, p);
    m->RemoveWidget(p);
    delete p;
    EXPECT_EQ(c->mParent, nullptr);
    c->SetColor(0, Color(1, 2, 3));
    c->Move(20, 20);
    m->AddWidget(c);
    EXPECT_EQ(c->mParent, m);
    EXPECT_EQ(m->GetWidgetAt(25, 25, nullptr, nullptr), c);

    // The other way round: D, deleted without being taken out of Q first, leaves Q's
    // list, and the next update and draw of Q go on without it.
    RecordingWidget* q = env.Add("Q", 100, 100, 50, 50);
    auto* d = new RecordingWidget("D", &env.mLog, 0, 0, 10, 10);
    q->AddWidget(d);
    m->RemoveWidget(q);
    delete d;
    EXPECT_TRUE(q->mWidgets.empty());
    m->AddWidget(q);
    env.Take();
    m->UpdateFrame();
    m->DrawScreen();
    EXPECT_EQ(env.TakeText(), "C.Update Q.Update C.Draw Q.Draw");
}

TEST(WidgetContainer, AContainerDeletedByAHookOfItsJoinRemovalOrMoveLeavesNothingBehind)
{
    // P holds A and B (B focused and hovered) over G, Y stands apart; A's or B's hook
    // takes out and deletes P or Y. What is done, by whose hook; then B (and A, but when it
    // stays in P) is out of the tree and detached, the manager holds neither, and G is
    // drawn again where P was removed.
    enum
    {
        kRemoveP,
        kAddP,
        kMoveBToY
    };
    const std::tuple<const char*, int, const char*> cases[] = {
        {"P removed, A's leave deletes P", kRemoveP, "A.RemovedFromManager"},
        {"P added, A's join deletes P", kAddP, "A.AddedToManager"},
        {"B moved into Y, B's leave deletes Y", kMoveBToY, "B.RemovedFromManager"},
    };
    for (const auto& [what, action, hook] : cases)
    {
        WidgetTestEnv env;
        WidgetManager* m = env.mManager;
        auto* p = new RecordingWidget("P", &env.mLog, 0, 0, 100, 100);
        auto* y = new RecordingWidget("Y", &env.mLog, 200, 0, 100, 100);
        env.Add("G", 0, 0, 100, 100);
        RecordingWidget* a = env.Add("A", 0, 0, 50, 50, p);
        RecordingWidget* b = env.Add("B", 50, 50, 50, 50, p);
        m->AddWidget(y);
        if (action != kAddP)
        {
            m->AddWidget(p);
            m->SetFocus(b);
            m->MouseMove(60, 60);
        }
        env.CleanAll();
        RecordingWidget* deleted = action == kMoveBToY ? y : p;
        const std::string name = hook;
        (name[0] == 'A' ? a : b)->mActions[name.substr(2)] = [m, deleted]()
        {
            m->RemoveWidget(deleted);
            delete deleted;
        };
        if (action == kRemoveP)
            m->RemoveWidget(p);
        else if (action == kAddP)
            m->AddWidget(p);
        else
            y->AddWidget(b);
        EXPECT_TRUE(b->mParent == nullptr && b->mWidgetManager == nullptr) << what;
        EXPECT_EQ(a->mParent, action == kMoveBToY ? p : nullptr) << what;
        EXPECT_EQ(a->mWidgetManager, action == kMoveBToY ? m : nullptr) << what;
        EXPECT_TRUE(m->mFocusWidget == nullptr && m->mHoverWidget == nullptr) << what;
        EXPECT_FALSE(b->mHasFocus || b->mIsOver) << what;
        EXPECT_EQ(Names(m->mWidgets), action == kMoveBToY ? "G P" : "G Y") << what;
        EXPECT_TRUE(action != kRemoveP || env["G"]->mDirty) << what;
        for (RecordingWidget* w : {p, y})
        {
            if (w != deleted)
            {
                m->RemoveWidget(w);
                delete w;
            }
        }
    }
}

TEST(WidgetContainer, HitTest)
{
    // What, the set-up, the point; name@localX,localY of the widget hit, or "none".
    const auto none = [](WidgetTestEnv&) {};
    const std::tuple<const char*, std::function<void(WidgetTestEnv&)>, int, int, const char*> cases[] = {
        {"front to back", none, 125, 125, "Front@5,5"},
        {"children before their parent", none, 115, 115, "Inner@5,5"},
        {"a child outside its parent", none, 360, 360, "Outside@10,10"},
        {"the parent itself", none, 105, 105, "Panel@5,5"},
        {"inset edge, left and top inclusive", none, 510, 410, "Inset@10,10"},
        {"inside the rect, outside the insets", none, 505, 405, "Back@505,405"},
        {"inset right and bottom exclusive", none, 590, 490, "Back@590,490"},
        {"point visible", none, 610, 150, "Round@10,50"},
        {"point not visible goes on behind", none, 690, 150, "Back@690,150"},
        {"hidden", [](WidgetTestEnv& e) { e["Front"]->mVisible = false; }, 125, 125, "Inner@15,15"},
        {"mouse-invisible", [](WidgetTestEnv& e) { e["Front"]->mMouseVisible = false; }, 125, 125,
         "Inner@15,15"},
        {"a mouse-invisible parent keeps its children",
         [](WidgetTestEnv& e) { e["Panel"]->mMouseVisible = false; }, 115, 115, "Inner@5,5"},
        {"disabled is no target", [](WidgetTestEnv& e) { e["Front"]->mDisabled = true; }, 125, 125, "none"},
        {"masked behind the modal widget", [](WidgetTestEnv& e) { e.mManager->AddBaseModal(e["Inset"]); },
         125, 125, "none"},
        {"in front of the modal widget", [](WidgetTestEnv& e) { e.mManager->AddBaseModal(e["Inset"]); }, 610,
         150, "Round@10,50"},
        {"a flags mod without the mouse",
         [](WidgetTestEnv& e) { e["Panel"]->mFlagsMod = FlagsMod(0, WF_MOUSE); }, 115, 115, "Back@115,115"},
    };
    for (const auto& [what, setup, x, y, expected] : cases)
    {
        WidgetTestEnv env;
        env.Add("Back", 0, 0, 800, 600);
        RecordingWidget* panel = env.Add("Panel", 100, 100, 200, 200);
        env.Add("Outside", 250, 250, 100, 100, panel);
        env.Add("Inner", 10, 10, 50, 50, panel);
        env.Add("Front", 120, 120, 30, 30);
        env.Add("Inset", 500, 400, 100, 100)->mInsets = Insets(10, 10, 10, 10);
        env.Add("Round", 600, 100, 100, 100)->mPointVisible = [](int x, int) { return x < 50; };
        setup(env);
        int lx = -1;
        int ly = -1;
        Widget* hit = env.mManager->GetWidgetAt(x, y, &lx, &ly);
        std::string got = hit == nullptr ? "none"
                                         : static_cast<RecordingWidget*>(hit)->mName + "@" +
                                               std::to_string(lx) + "," + std::to_string(ly);
        EXPECT_EQ(got, expected) << what;
    }
    // GetAnyWidgetAt still finds a disabled widget.
    WidgetTestEnv env;
    RecordingWidget* a = env.Add("A", 0, 0, 10, 10);
    RecordingWidget* a1 = env.Add("A1", 0, 0, 10, 10, a);
    a1->mDisabled = true;
    EXPECT_EQ(env.mManager->GetAnyWidgetAt(5, 5, nullptr, nullptr), a1);
    // Lower in the tree means earlier in the drawing order, a parent before its children.
    RecordingWidget* b = env.Add("B", 20, 0, 10, 10);
    EXPECT_TRUE(env.mManager->IsBelow(a, a1) && env.mManager->IsBelow(a1, b) &&
                env.mManager->IsBelow(b, nullptr));
    EXPECT_FALSE(env.mManager->IsBelow(b, a1));
}

TEST(WidgetContainer, SubtreeJoinsAndLeavesTheManagerOnce)
{
    WidgetTestEnv env;
    RecordingWidget* dialog = env.Add("D", 0, 0, 100, 100, nullptr, false);
    RecordingWidget* list = env.Add("L", 0, 0, 50, 50, dialog);
    env.Add("I", 0, 0, 10, 10, list);
    env.Take();

    env.mManager->AddWidget(dialog);
    EXPECT_EQ(Heard(env.Take(), "AddedToManager"), "I L D");
    EXPECT_EQ(env["I"]->mWidgetManager, env.mManager);

    env.mManager->RemoveWidget(dialog);
    EXPECT_EQ(Heard(env.Take(), "RemovedFromManager"), "I L D");
    for (const char* name : {"D", "L", "I"})
        EXPECT_EQ(env[name]->mWidgetManager, nullptr) << name;
    EXPECT_EQ(dialog->mParent, nullptr);
    EXPECT_EQ(list->mParent, dialog);

    // A hook cannot bring back a widget whose removal is under way, nor attach a new
    // child to it.
    env.mManager->AddWidget(dialog);
    RecordingWidget* late = env.Add("N", 0, 0, 10, 10, nullptr, false);
    list->mActions["RemovedFromManager"] = [&env, list, late]()
    {
        env.mManager->AddWidget(list);
        list->AddWidget(late);
    };
    env.mManager->RemoveWidget(dialog);
    EXPECT_EQ(list->mParent, dialog);
    EXPECT_EQ(late->mParent, list);
    EXPECT_EQ(late->mWidgetManager, nullptr);
    EXPECT_EQ(Names(env.mManager->mWidgets), "");

    // A child's hook takes the joining subtree out again: a later child stays out with it.
    list->mActions["AddedToManager"] = [&env, dialog]() { env.mManager->RemoveWidget(dialog); };
    env.Add("M", 0, 0, 10, 10, dialog);
    env.mManager->AddWidget(dialog);
    EXPECT_EQ(env["M"]->mWidgetManager, nullptr);

    // A leave hook takes an ancestor of the leaving widget out: each hears the leave once.
    WidgetTestEnv t;
    RecordingWidget* outer = t.Add("O", 0, 0, 50, 50);
    RecordingWidget* leaving = t.Add("W", 0, 0, 10, 10, outer);
    t.Add("C", 0, 0, 5, 5, leaving)->mActions["RemovedFromManager"] = [&t, outer]()
    { t.mManager->RemoveWidget(outer); };
    t.Add("K", 0, 0, 5, 5, leaving);
    outer->RemoveWidget(leaving);
    EXPECT_EQ(Heard(t.Take(), "RemovedFromManager"), "C O K W");
}

} // namespace

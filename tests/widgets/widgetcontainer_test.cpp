// The widget tree: z-order, the update walk while hooks change the tree, dirty marks at
// the root, hit testing and the manager hand-over to subtrees.
#include "widgets/support/WidgetTestEnv.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
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
    // redrawn with whatever now lies in front of it. What, the order after, the dirty
    // widgets (null: not checked).
    const std::tuple<const char*, std::function<void(WidgetTestEnv&)>, const char*, const char*> cases[] = {
        {"add twice", [](WidgetTestEnv& e) { e.mManager->AddWidget(e["A"]); }, "A B C D", ""},
        {"remove a stranger", [](WidgetTestEnv& e) { e.mManager->RemoveWidget(e["X"]); }, "A B C D", ""},
        {"front", [](WidgetTestEnv& e) { e.mManager->BringToFront(e["A"]); }, "B C D A", "A"},
        {"back", [](WidgetTestEnv& e) { e.mManager->BringToBack(e["D"]); }, "D A B C", "A B C D"},
        {"behind", [](WidgetTestEnv& e) { e.mManager->PutBehind(e["D"], e["B"]); }, "A D B C", "B C D"},
        {"in front", [](WidgetTestEnv& e) { e.mManager->PutInfront(e["A"], e["C"]); }, "B C A D", "A D"},
        {"behind a stranger", [](WidgetTestEnv& e) { e.mManager->PutBehind(e["A"], e["X"]); }, "B C D A",
         "A"},
        {"higher band stays in front",
         [](WidgetTestEnv& e)
         {
             e.mManager->RemoveWidget(e["B"]);
             e["B"]->mZOrder = 1;
             e.mManager->AddWidget(e["B"]);
             e.mManager->AddWidget(e["X"]);
             e.mManager->BringToBack(e["B"]);
         },
         "A C D X B", nullptr},
        {"moved to another parent", [](WidgetTestEnv& e) { e["A"]->AddWidget(e["B"]); }, "A C D", "A B D"},
        {"never into its own subtree", [](WidgetTestEnv& e) { e["B"]->AddWidget(e["B"]); }, "A B C D", ""},
        {"nor into what its removal put inside it",
         [](WidgetTestEnv& e)
         {
             e["A"]->mActions["RemovedFromManager"] = [&e]() { e["A"]->AddWidget(e["B"]); };
             e["B"]->AddWidget(e["A"]);
             EXPECT_TRUE(e["A"]->mParent == nullptr && e["B"]->mParent == e["A"]);
         },
         "C D", nullptr},
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
        if (dirty != nullptr)
        {
            EXPECT_EQ(env.DirtyNames(), dirty) << what;
        }
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
}

TEST(WidgetContainer, BelowTheModalWidgetThePassUsesTheBelowFlags)
{
    WidgetTestEnv env;
    for (const char* name : {"A", "B", "C"})
        env.Add(name, 0, 0, 10, 10);
    env.Add("A1", 0, 0, 5, 5, env["A"]);
    env.Add("B1", 0, 0, 5, 5, env["B"]);
    env.mManager->AddBaseModal(env["B"], FlagsMod(0, WF_UPDATE));
    env.mManager->UpdateFrame();
    EXPECT_EQ(Heard(env.Take(), "Update"), "B B1 C");
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

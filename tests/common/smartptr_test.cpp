#include "common/SmartPtr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Vaxo::ConstSmartPtr;
using Vaxo::RefCount;
using Vaxo::SmartPtr;

namespace
{

// Records destructor calls, most derived first.
std::vector<std::string> gLog;

class Tracked : public RefCount
{
public:
    explicit Tracked(std::string name = "obj") : mName(std::move(name)) {}
    ~Tracked() override { gLog.push_back("~Tracked " + mName); }
    int Value() const { return 7; }

    std::string mName;
};

class Derived : public Tracked
{
public:
    Derived() : Tracked("derived") {}
    ~Derived() override { gLog.push_back("~Derived"); }
};

// A singly linked chain in which each node holds the only reference to the next. A node
// going logs where gHead points at that moment.
class Node;
SmartPtr<Node>* gHead = nullptr;
class Node : public RefCount
{
public:
    explicit Node(int id) : mId(id) {}
    ~Node() override { gLog.push_back("~Node " + std::to_string(mId) + " head " + HeadId()); }
    static std::string HeadId() { return gHead && gHead->get() ? std::to_string((*gHead)->mId) : "none"; }

    int mId;
    SmartPtr<Node> mNext;
};

class SmartPtrTest : public ::testing::Test
{
protected:
    void SetUp() override { gLog.clear(); }
};

TEST_F(SmartPtrTest, NewObjectHasNoOwnersUntilTheFirstPointerAndTheLastRunsTheDestructorChain)
{
    Derived* raw = new Derived();
    EXPECT_EQ(raw->GetRefCount(), 0);
    {
        SmartPtr<Derived> p(raw);
        SmartPtr<Tracked> base(p);
        SmartPtr<RefCount> root;
        root = p.get();
        EXPECT_EQ(raw->GetRefCount(), 3);
        EXPECT_TRUE(gLog.empty());
    }
    EXPECT_EQ(gLog, (std::vector<std::string>{"~Derived", "~Tracked derived"}));
}

TEST_F(SmartPtrTest, AssignmentMovesTheCountsAndSelfAssignmentOrNullCopiesChangeNothing)
{
    SmartPtr<Tracked> a(new Tracked("a"));
    SmartPtr<Tracked> b(a);
    SmartPtr<Tracked>& alias = a;
    a = alias;
    a = a.get();
    EXPECT_EQ(a->GetRefCount(), 2);
    SmartPtr<Tracked> empty, copy(empty), assigned;
    assigned = empty;
    EXPECT_EQ(copy.get(), nullptr);
    EXPECT_EQ(assigned.get(), nullptr);
    SmartPtr<Tracked> other(new Tracked("b"));
    a = other;
    EXPECT_EQ(b->GetRefCount(), 1);
    EXPECT_EQ(other->GetRefCount(), 2);
    b = nullptr;
    EXPECT_EQ(gLog, (std::vector<std::string>{"~Tracked a"}));
    // Moving hands the reference over without counting.
    Tracked* raw = other.get();
    SmartPtr<Tracked> moved(std::move(other));
    EXPECT_EQ(other.get(), nullptr);
    SmartPtr<Tracked> c(new Tracked("c"));
    c = std::move(moved);
    EXPECT_EQ(c.get(), raw);
    EXPECT_EQ(raw->GetRefCount(), 2); // c and a
    EXPECT_EQ(gLog, (std::vector<std::string>{"~Tracked a", "~Tracked c"}));
}

TEST_F(SmartPtrTest, WalkingAChainThroughItsOwnLinkIsSafe)
{
    // The old node holds the only reference to the new one: the new one must gain its
    // reference before the old one goes, and the old one goes after the new one is stored.
    SmartPtr<Node> head(new Node(1));
    gHead = &head;
    head->mNext = new Node(2);
    head->mNext->mNext = new Node(3);
    head = head->mNext;
    EXPECT_EQ(head->mId, 2);
    EXPECT_EQ(head->GetRefCount(), 1);
    head = head->mNext;
    head = head->mNext;
    EXPECT_EQ(head.get(), nullptr);
    EXPECT_EQ(gLog, (std::vector<std::string>{"~Node 1 head 2", "~Node 2 head 3", "~Node 3 head none"}));
    gHead = nullptr;
}

TEST_F(SmartPtrTest, ConstPointersShareAndBothCompareLikeRawPointers)
{
    SmartPtr<Tracked> a(new Tracked()), b(a), n, other(new Tracked("other"));
    ConstSmartPtr<Tracked> c(a.get()), cn;
    EXPECT_EQ(c->Value(), 7);
    EXPECT_EQ(a->GetRefCount(), 3);
    EXPECT_TRUE(a == b && a == a.get() && a.get() == b && a != other && a != nullptr);
    EXPECT_TRUE(n == nullptr && nullptr == n && !n);
    EXPECT_NE(a < other, other < a);
    EXPECT_TRUE(c == a.get() && static_cast<const Tracked*>(a.get()) == c && cn == nullptr && c != cn && !!c);
    auto takesConst = [](const Tracked* t) { return t; };
    auto takesMutable = [](Tracked* t) { return t; };
    EXPECT_EQ(takesConst(a), takesMutable(a));
    EXPECT_EQ(takesConst(c), a.get());
    a = nullptr;
    b = nullptr;
    EXPECT_EQ(gLog.size(), 0u); // the const pointer still holds it
    c = nullptr;
    EXPECT_EQ(gLog, (std::vector<std::string>{"~Tracked obj"}));
    // A copy of a shared object starts unowned.
    Tracked* copy = new Tracked(*other);
    EXPECT_EQ(copy->GetRefCount(), 0);
    SmartPtr<Tracked> owner(copy);
    EXPECT_EQ(copy->GetRefCount(), 1);
    EXPECT_EQ(other->GetRefCount(), 1);
}

} // namespace

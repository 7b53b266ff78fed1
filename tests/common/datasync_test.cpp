// The save format: wire bytes, integer widths, versions, shared objects,
// containers, and the behaviour on damaged streams.
#include "common/Buffer.h"
#include "common/DataSync.h"
#include "common/HighScoreInfo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <list>
#include <map>
#include <string>
#include <vector>

using namespace Vaxo;

namespace
{

typedef std::vector<uint8_t> Bytes;

// Runs `body` on a fresh writer and returns the bytes written.
Bytes Write(const std::function<void(DataSync&)>& body)
{
    DataSync sync;
    sync.OpenWriter(1024);
    body(sync);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(sync.GetWriter()->GetDataPtr());
    return Bytes(p, p + sync.GetWriter()->GetDataLen());
}

// Message of the AceException `body` throws on a reader over `bytes`; empty if none.
std::string ReadError(const Bytes& bytes, const std::function<void(DataSync&)>& body)
{
    DataSync sync;
    sync.OpenReader(reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    try
    {
        body(sync);
    }
    catch (const AceException& e)
    {
        return e.mMessage;
    }
    return "";
}

// A node of a linked structure, to build shared and cyclic graphs.
class Node : public RefCount
{
public:
    void SyncState(DataSync& sync)
    {
        sync.SyncLong(mValue);
        DataSync_SyncSmartPtr(sync, mNext);
    }
    int32_t mValue = 0;
    SmartPtr<Node> mNext;
};

} // namespace

// ------------------------------------------------------------------ wire bytes

struct WireCase
{
    const char* name;
    std::function<void(DataSync&)> write;
    Bytes expected;
};

TEST(DataSyncWire, EachItemHasItsDocumentedBytes)
{
    const WireCase cases[] = {
        {"empty string",
         [](DataSync& s)
         {
             std::string v;
             s.SyncString(v);
         },
         {0x00, 0x00}},
        {"string abc",
         [](DataSync& s)
         {
             std::string v = "abc";
             s.SyncString(v);
         },
         {0x03, 0x00, 'a', 'b', 'c'}},
        {"byte",
         [](DataSync& s)
         {
             int v = 0x1A7;
             s.SyncByte(v);
         },
         {0xA7}},
        {"short",
         [](DataSync& s)
         {
             int v = 0x1234;
             s.SyncShort(v);
         },
         {0x34, 0x12}},
        {"long",
         [](DataSync& s)
         {
             int v = 0x12345678;
             s.SyncLong(v);
         },
         {0x78, 0x56, 0x34, 0x12}},
        {"negative long",
         [](DataSync& s)
         {
             int v = -2;
             s.SyncLong(v);
         },
         {0xFE, 0xFF, 0xFF, 0xFF}},
        {"float 1.0",
         [](DataSync& s)
         {
             float v = 1.0f;
             s.SyncFloat(v);
         },
         {0x00, 0x00, 0x80, 0x3F}},
        {"float -2.5",
         [](DataSync& s)
         {
             float v = -2.5f;
             s.SyncFloat(v);
         },
         {0x00, 0x00, 0x20, 0xC0}},
        {"bytes",
         [](DataSync& s)
         {
             char v[3] = {1, 2, 3};
             s.SyncBytes(v, 3);
         },
         {0x01, 0x02, 0x03}},
        {"bits true false true",
         [](DataSync& s)
         {
             bool a = true, b = false, c = true;
             s.SyncBoolBit(a);
             s.SyncBoolBit(b);
             s.SyncBoolBit(c);
             s.EndBit();
         },
         {0x05}},
        {"nine bits make two bytes",
         [](DataSync& s)
         {
             for (int i = 0; i < 9; ++i)
             {
                 bool v = true;
                 s.SyncBoolBit(v);
             }
             s.EndBit();
         },
         {0xFF, 0x01}},
        {"bits flushed before a byte",
         [](DataSync& s)
         {
             bool v = true;
             s.SyncBoolBit(v);
             int b = 7;
             s.SyncByte(b);
         },
         {0x01, 0x07}},
        {"version", [](DataSync& s) { s.SyncVersion(3, -1, -1); }, {0x03, 0x00, 0x00, 0x00}},
        {"null shared object",
         [](DataSync& s)
         {
             HighScoreInfo* p = nullptr;
             DataSync_SyncRefCount(s, p);
         },
         {0xFE, 0xFF, 0xFF, 0xFF}},
    };
    for (const WireCase& c : cases)
        EXPECT_EQ(Write(c.write), c.expected) << c.name;
}

TEST(DataSyncWire, StringOf300BytesHasLength2C01)
{
    std::string s(300, 'q');
    Bytes bytes = Write([&](DataSync& sync) { sync.SyncString(s); });
    ASSERT_EQ(bytes.size(), 302u);
    EXPECT_EQ(bytes[0], 0x2C);
    EXPECT_EQ(bytes[1], 0x01);
    EXPECT_EQ(std::string(bytes.begin() + 2, bytes.end()), s);
}

TEST(DataSyncWire, StringLongerThan65535IsCutSoTheStreamStaysReadable)
{
    std::string s(70000, 'z');
    Bytes bytes = Write(
        [&](DataSync& sync)
        {
            sync.SyncString(s);
            int tail = 99;
            sync.SyncLong(tail);
        });
    ASSERT_EQ(bytes.size(), 2u + 65535u + 4u);
    DataSync r;
    r.OpenReader(reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    std::string back;
    int tail = 0;
    r.SyncString(back);
    r.SyncLong(tail);
    EXPECT_EQ(back, std::string(65535, 'z'));
    EXPECT_EQ(tail, 99);
}

TEST(DataSyncWire, VectorMarkerOnlyAboveFifty)
{
    std::vector<int> v50(50, 7), v51(51, 7);
    Bytes b50 = Write([&](DataSync& s) { DataSync_SyncSTLVectorImpl(v50, s, DataSyncFunc_SyncInt()); });
    Bytes b51 = Write([&](DataSync& s) { DataSync_SyncSTLVectorImpl(v51, s, DataSyncFunc_SyncInt()); });
    ASSERT_EQ(b50.size(), 4u + 50 * 4);
    EXPECT_EQ(Bytes(b50.begin(), b50.begin() + 8), (Bytes{50, 0, 0, 0, 7, 0, 0, 0}));
    ASSERT_EQ(b51.size(), 8u + 51 * 4);
    EXPECT_EQ(Bytes(b51.begin(), b51.begin() + 12), (Bytes{51, 0, 0, 0, 0x54, 0x43, 0x45, 0x56, 7, 0, 0, 0}));
}

TEST(DataSyncWire, ListAndMapHaveNoMarker)
{
    std::list<SmartPtr<HighScoreInfo>> list(60);
    Bytes bl = Write([&](DataSync& s) { DataSync_SyncSTLListImpl(list, s, DataSyncFunc_SyncSmartPtr()); });
    ASSERT_EQ(bl.size(), 4u + 60 * 4);
    EXPECT_EQ(Bytes(bl.begin(), bl.begin() + 8), (Bytes{60, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF}));

    std::map<std::string, SmartPtr<HighScoreInfo>> map;
    map["b"] = new HighScoreInfo("B", 2);
    map["a"] = nullptr;
    Bytes bm =
        Write([&](DataSync& s)
              { DataSync_SyncSTLMapImpl(map, s, DataSyncFunc_SyncString(), DataSyncFunc_SyncSmartPtr()); });
    Bytes expected = {2,   0,    0,    0,    1,    0, 'a', 0xFE, 0xFF, 0xFF, 0xFF, 1, 0,
                      'b', 0xFF, 0xFF, 0xFF, 0xFF, 1, 0,   'B',  2,    0,    0,    0};
    EXPECT_EQ(bm, expected);
}

TEST(DataSyncWire, CharBitVectorPacksAfterTheCount)
{
    std::vector<char> v = {1, 0, 1, 1};
    Bytes b = Write(
        [&](DataSync& s)
        {
            DataSync_SyncSTLVectorImpl(v, s, DataSyncFunc_SyncCharBit());
            s.EndBit();
        });
    EXPECT_EQ(b, (Bytes{4, 0, 0, 0, 0x0D}));
    std::vector<char> back;
    DataSync r;
    r.OpenReader(reinterpret_cast<const char*>(b.data()), static_cast<int32_t>(b.size()));
    DataSync_SyncSTLVectorImpl(back, r, DataSyncFunc_SyncCharBit());
    EXPECT_EQ(back, v);
}

// -------------------------------------------------------------- shared objects

TEST(DataSyncShared, SameObjectWrittenTwiceIsStateThenId)
{
    SmartPtr<HighScoreInfo> row = new HighScoreInfo("Al", 9);
    std::vector<SmartPtr<HighScoreInfo>> rows = {row, row};
    Bytes b = Write([&](DataSync& s) { DataSync_SyncSTLVectorImpl(rows, s, DataSyncFunc_SyncSmartPtr()); });
    Bytes expected = {2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 'A', 'l', 9, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(b, expected);

    std::vector<SmartPtr<HighScoreInfo>> back;
    DataSync r;
    r.OpenReader(reinterpret_cast<const char*>(b.data()), static_cast<int32_t>(b.size()));
    DataSync_SyncSTLVectorImpl(back, r, DataSyncFunc_SyncSmartPtr());
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].get(), back[1].get());
    EXPECT_EQ(back[0]->mName, "Al");
    EXPECT_EQ(back[0]->mScore, 9);
}

TEST(DataSyncShared, IdsCountFromZeroInOrderOfFirstWriting)
{
    SmartPtr<HighScoreInfo> a = new HighScoreInfo(), b = new HighScoreInfo();
    DataSync s;
    s.OpenWriter(1024);
    EXPECT_EQ(s.AddRefCountForWrite(a), -1);
    EXPECT_EQ(s.AddRefCountForWrite(b), -1);
    EXPECT_EQ(s.AddRefCountForWrite(b), 1);
    EXPECT_EQ(s.AddRefCountForWrite(a), 0);
    // Reopening restarts the ids.
    s.OpenWriter(1024);
    EXPECT_EQ(s.AddRefCountForWrite(b), -1);
    EXPECT_EQ(s.AddRefCountForWrite(b), 0);
}

TEST(DataSyncShared, CycleSurvivesWritingAndReadingBack)
{
    SmartPtr<Node> a = new Node(), b = new Node();
    a->mValue = 1;
    b->mValue = 2;
    a->mNext = b;
    b->mNext = a;
    Bytes bytes = Write([&](DataSync& s) { DataSync_SyncSmartPtr(s, a); });
    b->mNext = nullptr; // break the cycle so both are freed
    Bytes expected = {0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(bytes, expected);

    SmartPtr<Node> back;
    {
        DataSync r;
        r.OpenReader(reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()));
        DataSync_SyncSmartPtr(r, back);
    }
    ASSERT_TRUE(back.get() != nullptr);
    ASSERT_TRUE(back->mNext.get() != nullptr);
    EXPECT_EQ(back->mValue, 1);
    EXPECT_EQ(back->mNext->mValue, 2);
    EXPECT_EQ(back->mNext->mNext.get(), back.get());
    back->mNext->mNext = nullptr;
}

TEST(DataSyncShared, CloseDropsTheReferencesOfTheIdTables)
{
    SmartPtr<HighScoreInfo> row = new HighScoreInfo();
    DataSync s;
    s.OpenWriter(1024);
    s.AddRefCountForWrite(row);
    EXPECT_EQ(row->GetRefCount(), 2);
    s.Close();
    EXPECT_EQ(row->GetRefCount(), 1);

    Bytes bytes = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 5, 0, 0, 0};
    SmartPtr<HighScoreInfo> back;
    s.OpenReader(reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    DataSync_SyncSmartPtr(s, back);
    EXPECT_EQ(back->GetRefCount(), 2);
    EXPECT_EQ(back->mScore, 5);
    s.Close();
    EXPECT_EQ(back->GetRefCount(), 1);
}

TEST(DataSyncShared, VectorOfHighScoreRowsRoundTrips)
{
    std::vector<SmartPtr<HighScoreInfo>> rows;
    for (int i = 0; i < 60; ++i)
        rows.push_back(new HighScoreInfo("Player" + std::to_string(i), 1000 - i * 7));
    rows.push_back(nullptr);
    rows.push_back(rows[3]);
    Bytes bytes =
        Write([&](DataSync& s) { DataSync_SyncSTLVectorImpl(rows, s, DataSyncFunc_SyncSmartPtr()); });

    std::vector<SmartPtr<HighScoreInfo>> back = {new HighScoreInfo("stale", 1)};
    DataSync r;
    r.OpenReader(reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    DataSync_SyncSTLVectorImpl(back, r, DataSyncFunc_SyncSmartPtr());
    EXPECT_EQ(r.GetReader()->GetBytesRemaining(), 0);
    ASSERT_EQ(back.size(), rows.size());
    for (int i = 0; i < 60; ++i)
    {
        EXPECT_EQ(back[i]->mName, rows[i]->mName);
        EXPECT_EQ(back[i]->mScore, rows[i]->mScore);
    }
    EXPECT_EQ(back[60].get(), nullptr);
    EXPECT_EQ(back[61].get(), back[3].get());
}

TEST(DataSyncShared, ReadingARowResetsItsFields)
{
    Bytes bytes = {0, 0, 3, 0, 0, 0};
    HighScoreInfo row("Old", 77);
    DataSync r;
    r.OpenReader(reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    row.SyncState(r);
    EXPECT_EQ(row.mName, "");
    EXPECT_EQ(row.mScore, 3);
}

// ------------------------------------------------------------------ widths

TEST(DataSyncWidths, ByteReadsSignExtendedIntoWiderVariables)
{
    Bytes ff = {0xFF};
    auto read = [&](auto& v)
    {
        DataSync r;
        r.OpenReader(reinterpret_cast<const char*>(ff.data()), 1);
        r.SyncByte(v);
    };
    unsigned long ul = 0;
    long l = 0;
    unsigned int ui = 0;
    int i = 0;
    unsigned short us = 0;
    short s = 0;
    unsigned char uc = 0;
    char c = 0;
    read(ul);
    read(l);
    read(ui);
    read(i);
    read(us);
    read(s);
    read(uc);
    read(c);
    EXPECT_EQ(ul, 0xFFFFFFFFul);
    EXPECT_EQ(l, -1);
    EXPECT_EQ(ui, 0xFFFFFFFFu);
    EXPECT_EQ(i, -1);
    EXPECT_EQ(us, 0xFFFF);
    EXPECT_EQ(s, -1);
    EXPECT_EQ(uc, 255);
    EXPECT_EQ(static_cast<unsigned char>(c), 255);
}

TEST(DataSyncWidths, ShortAndLongReads)
{
    Bytes bytes = {0x34, 0x92, 0xEF, 0xCD, 0xAB, 0x89};
    DataSync r;
    r.OpenReader(reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    unsigned long ul = 0;
    r.SyncShort(ul);
    EXPECT_EQ(ul, 0xFFFF9234ul); // sign-extended from 16 bits
    r.OpenReader(reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    unsigned short us = 0;
    r.SyncShort(us);
    EXPECT_EQ(us, 0x9234);
    r.OpenReader(reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    char c = 0;
    r.SyncShort(c);
    EXPECT_EQ(c, 0x34); // truncated
    r.OpenReader(reinterpret_cast<const char*>(bytes.data() + 2), 4);
    unsigned short low = 0;
    r.SyncLong(low);
    EXPECT_EQ(low, 0xCDEF);
    r.OpenReader(reinterpret_cast<const char*>(bytes.data() + 2), 4);
    unsigned long full = 0;
    r.SyncLong(full);
    EXPECT_EQ(full, 0x89ABCDEFul);
    r.OpenReader(reinterpret_cast<const char*>(bytes.data() + 2), 4);
    long sl = 0;
    r.SyncLong(sl);
    EXPECT_EQ(sl, static_cast<int32_t>(0x89ABCDEFu));
}

TEST(DataSyncWidths, WritesConvertByTheVariablesSignedness)
{
    struct Case
    {
        const char* name;
        std::function<void(DataSync&)> write;
        Bytes expected;
    } cases[] = {
        {"short from char -1",
         [](DataSync& s)
         {
             char v = -1;
             s.SyncShort(v);
         },
         {0xFF, 0xFF}},
        {"short from unsigned char 255",
         [](DataSync& s)
         {
             unsigned char v = 255;
             s.SyncShort(v);
         },
         {0xFF, 0x00}},
        {"long from short -2",
         [](DataSync& s)
         {
             short v = -2;
             s.SyncLong(v);
         },
         {0xFE, 0xFF, 0xFF, 0xFF}},
        {"long from unsigned short 0xFFFE",
         [](DataSync& s)
         {
             unsigned short v = 0xFFFE;
             s.SyncLong(v);
         },
         {0xFE, 0xFF, 0x00, 0x00}},
        {"byte from int 0x1FF",
         [](DataSync& s)
         {
             int v = 0x1FF;
             s.SyncSByte(v);
         },
         {0xFF}},
        {"bool bit from char 2",
         [](DataSync& s)
         {
             char v = 2;
             s.SyncBoolBit(v);
             s.EndBit();
         },
         {0x01}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Write(c.write), c.expected) << c.name;
}

// ------------------------------------------------------------------ versions

TEST(DataSyncVersion, AcceptedRanges)
{
    struct Case
    {
        int32_t stored, version, min, max;
        bool accepted;
    } cases[] = {
        {1, 1, -1, -1, true},  {0, 1, -1, -1, false}, {2, 1, -1, -1, false}, {5, 20, 5, -1, true},
        {20, 20, 5, -1, true}, {12, 20, 5, -1, true}, {4, 20, 5, -1, false}, {21, 20, 5, -1, false},
        {3, 2, -1, 3, true},   {1, 2, -1, 3, false},
    };
    for (const Case& c : cases)
    {
        int32_t stored = c.stored;
        Bytes bytes = Write([&](DataSync& s) { s.SyncLong(stored); });
        DataSync r;
        EXPECT_EQ(r.mVersion, 0);
        r.OpenReader(reinterpret_cast<const char*>(bytes.data()), 4);
        EXPECT_EQ(r.SyncVersion(c.version, c.min, c.max), c.accepted) << c.stored << " in " << c.version;
        EXPECT_EQ(r.mVersion, c.accepted ? c.stored : 0);
    }
}

// ------------------------------------------------------------------ failures

TEST(DataSyncErrors, ThreeDocumentedTexts)
{
    EXPECT_EQ(ReadError({1, 2, 3},
                        [](DataSync& s)
                        {
                            int v;
                            s.SyncLong(v);
                        }),
              "DataReader: attempt to read past end.");
    EXPECT_EQ(ReadError({51, 0, 0, 0, 1, 2, 3, 4},
                        [](DataSync& s)
                        {
                            std::vector<int> v;
                            DataSync_SyncSTLVectorImpl(v, s, DataSyncFunc_SyncInt());
                        }),
              "DataSync: Invalid stl vector");
    EXPECT_EQ(ReadError({5, 0, 0, 0},
                        [](DataSync& s)
                        {
                            HighScoreInfo* p = nullptr;
                            DataSync_SyncRefCount(s, p);
                        }),
              "DataSync: GetRefCountForRead id not found - 5");
}

TEST(DataSyncErrors, ReadPastEndLeavesThePositionWhereTheValueBegan)
{
    Bytes bytes = {9, 0, 1, 2, 3};
    DataSync r;
    r.OpenReader(reinterpret_cast<const char*>(bytes.data()), 5);
    short first = 0;
    r.SyncShort(first);
    int v = 0;
    EXPECT_THROW(r.SyncLong(v), AceException);
    EXPECT_EQ(r.GetReader()->GetPosition(), 2);
    std::string str;
    r.OpenReader(reinterpret_cast<const char*>(bytes.data()), 5);
    EXPECT_THROW(r.SyncString(str), AceException); // claims 9 bytes, has 3
    EXPECT_EQ(r.GetReader()->GetPosition(), 0);
}

TEST(DataSyncErrors, ReaderEndBitSkipsTheRestOfTheBitByte)
{
    Bytes bytes = {0x03, 0x2A};
    DataSync r;
    r.OpenReader(reinterpret_cast<const char*>(bytes.data()), 2);
    bool a = false;
    r.SyncBoolBit(a);
    EXPECT_TRUE(a);
    r.EndBit();
    char next = 0;
    r.SyncByte(next);
    EXPECT_EQ(next, 0x2A);
}

TEST(DataSyncDamaged, NegativeCountsThrow)
{
    Bytes neg = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_NE(ReadError(neg,
                        [](DataSync& s)
                        {
                            std::vector<int> v;
                            DataSync_SyncSTLVectorImpl(v, s, DataSyncFunc_SyncInt());
                        }),
              "");
    EXPECT_NE(ReadError(neg,
                        [](DataSync& s)
                        {
                            std::list<SmartPtr<HighScoreInfo>> l;
                            DataSync_SyncSTLListImpl(l, s, DataSyncFunc_SyncSmartPtr());
                        }),
              "");
    EXPECT_NE(ReadError(neg,
                        [](DataSync& s)
                        {
                            std::map<std::string, SmartPtr<HighScoreInfo>> m;
                            DataSync_SyncSTLMapImpl(m, s, DataSyncFunc_SyncString(),
                                                    DataSyncFunc_SyncSmartPtr());
                        }),
              "");
}

TEST(DataSyncDamaged, HugeVectorCountReservesNoMoreThanTheBytesLeft)
{
    Bytes bytes = {0xFF, 0xFF, 0xFF, 0x7F, 0x54, 0x43, 0x45, 0x56, 1, 0, 0, 0, 2, 0};
    std::vector<int> v;
    DataSync r;
    r.OpenReader(reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    EXPECT_THROW(DataSync_SyncSTLVectorImpl(v, r, DataSyncFunc_SyncInt()), AceException);
    EXPECT_EQ(v.size(), 2u); // the element read so far and the one being read stay
    EXPECT_LE(v.capacity(), 6u);
}

TEST(DataSyncDamaged, BackReferenceToAnObjectOfAnotherClassThrows)
{
    // A row (id 0), then a reference to id 0 read as a Node.
    Bytes bytes = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    std::string error = ReadError(bytes,
                                  [](DataSync& s)
                                  {
                                      SmartPtr<HighScoreInfo> row;
                                      DataSync_SyncSmartPtr(s, row);
                                      SmartPtr<Node> node;
                                      DataSync_SyncSmartPtr(s, node);
                                  });
    EXPECT_EQ(error, "DataSync: shared object of wrong type - 0");
}

TEST(DataSyncDamaged, SharedObjectNestingIsCapped)
{
    auto chain = [](int depth)
    {
        Bytes b;
        for (int i = 0; i < depth; ++i)
            b.insert(b.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
        b.insert(b.end(), {0xFE, 0xFF, 0xFF, 0xFF});
        return b;
    };
    auto readChain = [](DataSync& s)
    {
        SmartPtr<Node> head;
        DataSync_SyncSmartPtr(s, head);
    };
    EXPECT_EQ(ReadError(chain(DataSync::kMaxSharedObjectDepth), readChain), "");
    EXPECT_EQ(ReadError(chain(DataSync::kMaxSharedObjectDepth + 1), readChain),
              "DataSync: shared objects nested too deeply");
}

TEST(DataSyncDamaged, EveryTruncationOfAValidStreamThrowsAceException)
{
    std::vector<SmartPtr<HighScoreInfo>> rows;
    for (int i = 0; i < 55; ++i)
        rows.push_back(new HighScoreInfo("n" + std::to_string(i), i));
    std::vector<char> bits = {1, 0, 1};
    Bytes full = Write(
        [&](DataSync& s)
        {
            DataSync_SyncSTLVectorImpl(rows, s, DataSyncFunc_SyncSmartPtr());
            DataSync_SyncSTLVectorImpl(bits, s, DataSyncFunc_SyncCharBit());
            s.EndBit();
        });
    auto read = [](DataSync& s)
    {
        std::vector<SmartPtr<HighScoreInfo>> r;
        std::vector<char> b;
        DataSync_SyncSTLVectorImpl(r, s, DataSyncFunc_SyncSmartPtr());
        DataSync_SyncSTLVectorImpl(b, s, DataSyncFunc_SyncCharBit());
    };
    EXPECT_EQ(ReadError(full, read), "");
    for (size_t n = 0; n < full.size(); ++n)
        EXPECT_EQ(ReadError(Bytes(full.begin(), full.begin() + n), read),
                  "DataReader: attempt to read past end.")
            << n;
}

// ------------------------------------------------------------------ writer

TEST(DataWriterGrowth, ZeroInitialCapacityStillGrows)
{
    DataSync s;
    s.OpenWriter(0);
    for (int i = 0; i < 1000; ++i)
        s.SyncLong(i);
    ASSERT_EQ(s.GetWriter()->GetDataLen(), 4000);
    const char* p = s.GetWriter()->GetDataPtr();
    EXPECT_EQ(static_cast<uint8_t>(p[999 * 4]), 999 & 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(p[999 * 4 + 1]), 999 >> 8);
}

TEST(DataWriterGrowth, CloseFreesAndZeroes)
{
    DataWriter w;
    w.Open(16);
    w.WriteLong(1);
    w.Close();
    EXPECT_EQ(w.GetDataLen(), 0);
    EXPECT_EQ(w.GetDataPtr(), nullptr);
}

TEST(DataSyncRoundTrip, MapReadingReusesEqualKeysAndClearsFirst)
{
    // Two entries whose keys compare equal without case: the second reuses the first.
    Bytes bytes = {2, 0,   0,    0,    1,    0,    'K', 0xFE, 0xFF, 0xFF, 0xFF, 1,
                   0, 'k', 0xFF, 0xFF, 0xFF, 0xFF, 0,   0,    4,    0,    0,    0};
    std::map<std::string, SmartPtr<HighScoreInfo>, StringLessNoCase> map;
    map["old"] = new HighScoreInfo();
    DataSync r;
    r.OpenReader(reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    DataSync_SyncSTLMapImpl(map, r, DataSyncFunc_SyncString(), DataSyncFunc_SyncSmartPtr());
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.begin()->first, "K");
    ASSERT_TRUE(map.begin()->second.get() != nullptr);
    EXPECT_EQ(map.begin()->second->mScore, 4);
}

TEST(DataSyncRoundTrip, ScalarsAndFloatsComeBackUnchanged)
{
    float values[] = {0.0f, -0.0f, 1.5f, -1e30f, 3.14159f, INFINITY};
    for (float f : values)
    {
        float v = f;
        Bytes b = Write([&](DataSync& s) { s.SyncFloat(v); });
        DataSync r;
        r.OpenReader(reinterpret_cast<const char*>(b.data()), 4);
        float back = 0;
        r.SyncFloat(back);
        EXPECT_EQ(std::memcmp(&back, &f, 4), 0) << f;
    }
}

TEST(DataSyncRoundTrip, ReaderOverABufferReadsItsBytesInPlace)
{
    SmartPtr<HighScoreInfo> row = new HighScoreInfo("Zed", -40);
    Bytes bytes = Write([&](DataSync& s) { DataSync_SyncSmartPtr(s, row); });
    Buffer buffer;
    buffer.SetData(bytes.data(), static_cast<int32_t>(bytes.size()));
    DataSync r;
    r.OpenReader(buffer);
    SmartPtr<HighScoreInfo> back;
    DataSync_SyncSmartPtr(r, back);
    EXPECT_EQ(back->mName, "Zed");
    EXPECT_EQ(back->mScore, -40);
    EXPECT_EQ(r.GetReader()->GetBytesRemaining(), 0);
}

TEST(DataSyncRoundTrip, ProfileStyleCountThroughTheWriterAndReader)
{
    // Profiles write a count with DataWriter::WriteLong and read it back with
    // DataReader::ReadLong, between ordinary syncs.
    Bytes bytes = Write(
        [](DataSync& s)
        {
            s.SyncVersion(2, -1, -1);
            s.GetWriter()->WriteLong(3);
        });
    EXPECT_EQ(bytes, (Bytes{2, 0, 0, 0, 3, 0, 0, 0}));
    DataSync r;
    r.OpenReader(reinterpret_cast<const char*>(bytes.data()), 8);
    EXPECT_TRUE(r.SyncVersion(2, -1, -1));
    EXPECT_EQ(r.mVersion, 2);
    EXPECT_EQ(r.GetReader()->ReadLong(), 3);
    EXPECT_EQ(r.GetWriter(), nullptr);
}

TEST(DataSyncErrors, SyncingAnUnopenedStreamThrowsInsteadOfCrashing)
{
    DataSync s;
    int v = 1;
    std::string str = "x";
    try
    {
        s.SyncLong(v);
        FAIL() << "no exception";
    }
    catch (const AceException& e)
    {
        EXPECT_EQ(e.mMessage, "DataSync: not open");
    }
    EXPECT_THROW(s.SyncString(str), AceException);
    s.OpenWriter(16);
    s.Close();
    EXPECT_THROW(s.EndBit(), AceException);
}

TEST(DataSyncDamaged, LargeVectorReservesAtMostTheCapThenGrowsWithTheData)
{
    // 100,000 Longs claimed and present: the reading succeeds, though the first
    // reservation was capped.
    const int32_t n = 100000;
    std::vector<int> v(n);
    for (int32_t i = 0; i < n; ++i)
        v[i] = i * 3;
    Bytes bytes = Write([&](DataSync& s) { DataSync_SyncSTLVectorImpl(v, s, DataSyncFunc_SyncInt()); });
    std::vector<int> back;
    DataSync r;
    r.OpenReader(reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    DataSync_SyncSTLVectorImpl(back, r, DataSyncFunc_SyncInt());
    EXPECT_EQ(back, v);

    // The same count over a stream cut short: fails once the bytes run out.
    Bytes cut(bytes.begin(), bytes.begin() + 8 + 4 * 70000 + 2);
    std::vector<int> partial;
    r.OpenReader(reinterpret_cast<const char*>(cut.data()), static_cast<int32_t>(cut.size()));
    EXPECT_THROW(DataSync_SyncSTLVectorImpl(partial, r, DataSyncFunc_SyncInt()), AceException);
    EXPECT_EQ(partial.size(), 70001u);
}

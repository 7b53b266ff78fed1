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
#include <tuple>
#include <vector>

using namespace Vaxo;

namespace
{

typedef std::vector<uint8_t> Bytes;
typedef std::function<void(DataSync&)> Body;
typedef std::vector<SmartPtr<HighScoreInfo>> Rows;

// Runs `body` on a fresh writer and returns the bytes written.
Bytes Write(const Body& body)
{
    DataSync sync;
    sync.OpenWriter(1024);
    body(sync);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(sync.GetWriter()->GetDataPtr());
    return Bytes(p, p + sync.GetWriter()->GetDataLen());
}

void Open(DataSync& sync, const Bytes& bytes)
{
    sync.OpenReader(reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()));
}
void Open(DataSync& sync, Bytes&& bytes) = delete; // the reader keeps a pointer into the bytes

// Message of the AceException `body` throws on `sync`; empty if none.
std::string Thrown(DataSync& sync, const Body& body)
{
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

// The same on a reader over `bytes`.
std::string ReadError(const Bytes& bytes, const Body& body)
{
    DataSync sync;
    Open(sync, bytes);
    return Thrown(sync, body);
}

// One value of type T read from `bytes` through `sync`.
template <class T> T ReadAs(const Bytes& bytes, void (DataSync::*sync)(T&))
{
    DataSync r;
    Open(r, bytes);
    T v{};
    (r.*sync)(v);
    return v;
}

// Syncs a copy of `value` through `sync`.
template <class T> Body Sync(void (DataSync::*sync)(T&), T value)
{
    return [sync, value](DataSync& s) mutable { (s.*sync)(value); };
}

// Syncs a vector of numbers, or of shared rows.
Body Ints(std::vector<int>& ints)
{
    return [&ints](DataSync& s) { DataSync_SyncSTLVectorImpl(ints, s, DataSyncFunc_SyncInt()); };
}
Body SyncRows(Rows& rows)
{
    return [&rows](DataSync& s) { DataSync_SyncSTLVectorImpl(rows, s, DataSyncFunc_SyncSmartPtr()); };
}

void SyncBits(DataSync& sync, std::vector<bool> bits)
{
    for (bool bit : bits)
        sync.SyncBoolBit(bit);
    sync.EndBit();
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

TEST(DataSyncWire, EachItemHasItsDocumentedBytes)
{
    char raw[3] = {1, 2, 3};
    bool bit = true;
    int seven = 7;
    HighScoreInfo* null = nullptr;
    const std::tuple<const char*, Body, Bytes> cases[] = {
        {"empty string", Sync(&DataSync::SyncString, std::string()), {0x00, 0x00}},
        {"string abc", Sync(&DataSync::SyncString, std::string("abc")), {0x03, 0x00, 'a', 'b', 'c'}},
        {"byte", Sync(&DataSync::SyncByte, 0x1A7), {0xA7}},
        {"long", Sync(&DataSync::SyncLong, 0x12345678), {0x78, 0x56, 0x34, 0x12}},
        {"float 1.0", Sync(&DataSync::SyncFloat, 1.0f), {0x00, 0x00, 0x80, 0x3F}},
        {"bytes", [&](DataSync& s) { s.SyncBytes(raw, 3); }, {0x01, 0x02, 0x03}},
        {"bits true false true",
         [](DataSync& s) {
             SyncBits(s, {true, false, true});
         },
         {0x05}},
        {"nine bits make two bytes",
         [](DataSync& s) { SyncBits(s, std::vector<bool>(9, true)); },
         {0xFF, 0x01}},
        {"bits flushed before a byte",
         [&](DataSync& s) { s.SyncBoolBit(bit), s.SyncByte(seven); },
         {0x01, 0x07}},
        {"version", [](DataSync& s) { s.SyncVersion(3, -1, -1); }, {0x03, 0x00, 0x00, 0x00}},
        {"null shared object",
         [&](DataSync& s) { DataSync_SyncRefCount(s, null); },
         {0xFE, 0xFF, 0xFF, 0xFF}},
        // Widths convert by the signedness of the variable.
        {"short from char -1", Sync(&DataSync::SyncShort, char(-1)), {0xFF, 0xFF}},
        {"short from unsigned char 255", Sync<unsigned char>(&DataSync::SyncShort, 255), {0xFF, 0x00}},
        {"long from short -2", Sync<short>(&DataSync::SyncLong, -2), {0xFE, 0xFF, 0xFF, 0xFF}},
        {"long from unsigned short",
         Sync<unsigned short>(&DataSync::SyncLong, 0xFFFE),
         {0xFE, 0xFF, 0x00, 0x00}},
        {"byte from int 0x1FF", Sync(&DataSync::SyncSByte, 0x1FF), {0xFF}},
        {"bool bit from char 2",
         [](DataSync& s) { Sync(&DataSync::SyncBoolBit, char(2))(s), s.EndBit(); },
         {0x01}},
    };
    for (const auto& [name, write, expected] : cases)
        EXPECT_EQ(Write(write), expected) << name;
}

TEST(DataSyncWire, StringLengthIsTwoBytesAndLongerTextsAreCut)
{
    std::string s70000(70000, 'z'), back;
    int tail = 99;
    // Cut at 65,535 so the stream stays readable.
    const Bytes bytes = Write([&](DataSync& s) { s.SyncString(s70000), s.SyncLong(tail); });
    ASSERT_EQ(bytes.size(), 2u + 65535u + 4u);
    tail = 0;
    EXPECT_EQ(ReadError(bytes, [&](DataSync& r) { r.SyncString(back), r.SyncLong(tail); }), "");
    EXPECT_EQ(back, std::string(65535, 'z'));
    EXPECT_EQ(tail, 99);
}

TEST(DataSyncWire, ContainersHaveTheirDocumentedBytes)
{
    std::vector<int> v50(50, 7), v51(51, 7);
    Bytes b50 = Write(Ints(v50)), b51 = Write(Ints(v51));
    ASSERT_EQ(b50.size(), 4u + 50 * 4);
    EXPECT_EQ(Bytes(b50.begin(), b50.begin() + 8), (Bytes{50, 0, 0, 0, 7, 0, 0, 0}));
    ASSERT_EQ(b51.size(), 8u + 51 * 4);
    EXPECT_EQ(Bytes(b51.begin(), b51.begin() + 12), (Bytes{51, 0, 0, 0, 0x54, 0x43, 0x45, 0x56, 7, 0, 0, 0}));
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
    EXPECT_EQ(bm, (Bytes{2,   0,    0,    0,    1,    0, 'a', 0xFE, 0xFF, 0xFF, 0xFF, 1, 0,
                         'b', 0xFF, 0xFF, 0xFF, 0xFF, 1, 0,   'B',  2,    0,    0,    0}));
    std::vector<char> v = {1, 0, 1, 1}, back;
    Bytes b =
        Write([&](DataSync& s) { DataSync_SyncSTLVectorImpl(v, s, DataSyncFunc_SyncCharBit()), s.EndBit(); });
    EXPECT_EQ(b, (Bytes{4, 0, 0, 0, 0x0D}));
    EXPECT_EQ(
        ReadError(b, [&](DataSync& r) { DataSync_SyncSTLVectorImpl(back, r, DataSyncFunc_SyncCharBit()); }),
        "");
    EXPECT_EQ(back, v);
}

// -------------------------------------------------------------- shared objects

TEST(DataSyncShared, SameObjectWrittenTwiceIsStateThenIdAndCyclesSurvive)
{
    SmartPtr<HighScoreInfo> row = new HighScoreInfo("Al", 9);
    Rows rows = {row, row}, back;
    Bytes b = Write(SyncRows(rows));
    EXPECT_EQ(b, (Bytes{2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 'A', 'l', 9, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(ReadError(b, SyncRows(back)), "");
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].get(), back[1].get());
    EXPECT_EQ(back[0]->mName, "Al");
    EXPECT_EQ(back[0]->mScore, 9);
    // A cycle survives writing and reading back.
    SmartPtr<Node> na = new Node(), nb = new Node(), nback;
    na->mValue = 1;
    nb->mValue = 2;
    na->mNext = nb;
    nb->mNext = na;
    const Bytes bytes = Write([&](DataSync& s) { DataSync_SyncSmartPtr(s, na); });
    nb->mNext = nullptr; // break the cycle so both are freed
    EXPECT_EQ(bytes,
              (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(ReadError(bytes, [&](DataSync& r) { DataSync_SyncSmartPtr(r, nback); }), "");
    ASSERT_TRUE(nback.get() != nullptr && nback->mNext.get() != nullptr);
    EXPECT_EQ(nback->mValue, 1);
    EXPECT_EQ(nback->mNext->mValue, 2);
    EXPECT_EQ(nback->mNext->mNext.get(), nback.get());
    nback->mNext->mNext = nullptr;
}

TEST(DataSyncShared, MapReadingClearsFirstAndReusesKeysThatCompareEqual)
{
    std::map<std::string, SmartPtr<HighScoreInfo>, StringLessNoCase> map;
    map["old"] = new HighScoreInfo();
    const Bytes bytes = {2, 0,   0,    0,    1,    0,    'K', 0xFE, 0xFF, 0xFF, 0xFF, 1,
                         0, 'k', 0xFF, 0xFF, 0xFF, 0xFF, 0,   0,    4,    0,    0,    0};
    EXPECT_EQ(ReadError(bytes,
                        [&](DataSync& r) {
                            DataSync_SyncSTLMapImpl(map, r, DataSyncFunc_SyncString(),
                                                    DataSyncFunc_SyncSmartPtr());
                        }),
              "");
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.begin()->first, "K");
    ASSERT_TRUE(map.begin()->second.get() != nullptr);
    EXPECT_EQ(map.begin()->second->mScore, 4);
}

// ------------------------------------------------------------------ widths

TEST(DataSyncWidths, ReadsSignExtendOrTruncateAndFloatsComeBackBitForBit)
{
    const Bytes ff = {0xFF}, bytes = {0x34, 0x92, 0xEF, 0xCD, 0xAB, 0x89},
                tail(bytes.begin() + 2, bytes.end());
    EXPECT_EQ(ReadAs<unsigned long>(ff, &DataSync::SyncByte), 0xFFFFFFFFul);
    EXPECT_EQ(ReadAs<int>(ff, &DataSync::SyncByte), -1);
    EXPECT_EQ(ReadAs<unsigned short>(ff, &DataSync::SyncByte), 0xFFFF);
    EXPECT_EQ(ReadAs<unsigned char>(ff, &DataSync::SyncByte), 255);
    EXPECT_EQ(ReadAs<unsigned long>(bytes, &DataSync::SyncShort), 0xFFFF9234ul); // sign-extended from 16 bits
    EXPECT_EQ(ReadAs<unsigned short>(bytes, &DataSync::SyncShort), 0x9234);
    EXPECT_EQ(ReadAs<char>(bytes, &DataSync::SyncShort), 0x34); // truncated
    EXPECT_EQ(ReadAs<unsigned short>(tail, &DataSync::SyncLong), 0xCDEF);
    EXPECT_EQ(ReadAs<unsigned long>(tail, &DataSync::SyncLong), 0x89ABCDEFul);
    EXPECT_EQ(ReadAs<long>(tail, &DataSync::SyncLong), static_cast<int32_t>(0x89ABCDEFu));
    for (float f : {-0.0f, 3.14159f, INFINITY})
    {
        const float back = ReadAs<float>(Write([&](DataSync& s) { s.SyncFloat(f); }), &DataSync::SyncFloat);
        EXPECT_EQ(std::memcmp(&back, &f, 4), 0) << f;
    }
}

// ------------------------------------------------------------------ versions

TEST(DataSyncVersion, AcceptedRanges)
{
    // The stored version, then the version, minimum and maximum asked for, and whether accepted.
    const std::tuple<int32_t, int32_t, int32_t, int32_t, bool> cases[] = {
        {1, 1, -1, -1, true},  {0, 1, -1, -1, false}, {2, 1, -1, -1, false}, {5, 20, 5, -1, true},
        {20, 20, 5, -1, true}, {12, 20, 5, -1, true}, {4, 20, 5, -1, false}, {21, 20, 5, -1, false},
        {3, 2, -1, 3, true},   {1, 2, -1, 3, false},
    };
    for (const auto& [stored, version, min, max, accepted] : cases)
    {
        const Bytes bytes = Write(Sync(&DataSync::SyncLong, stored));
        DataSync r;
        Open(r, bytes);
        EXPECT_EQ(r.SyncVersion(version, min, max), accepted) << stored << " in " << version;
        EXPECT_EQ(r.mVersion, accepted ? stored : 0);
    }
}

// ------------------------------------------------------------------ failures

TEST(DataSyncErrors, DocumentedTextsAndWhereAFailedReadLeavesThePosition)
{
    int v = 0;
    std::vector<int> ints;
    HighScoreInfo* p = nullptr;
    EXPECT_EQ(ReadError({1, 2, 3}, [&](DataSync& s) { s.SyncLong(v); }),
              "DataReader: attempt to read past end.");
    EXPECT_EQ(ReadError({51, 0, 0, 0, 1, 2, 3, 4}, Ints(ints)), "DataSync: Invalid stl vector");
    EXPECT_EQ(ReadError({5, 0, 0, 0}, [&](DataSync& s) { DataSync_SyncRefCount(s, p); }),
              "DataSync: GetRefCountForRead id not found - 5");
    const Bytes bytes = {9, 0, 1, 2, 3};
    DataSync r;
    Open(r, bytes);
    short first = 0;
    v = 0;
    std::string str;
    r.SyncShort(first);
    EXPECT_THROW(r.SyncLong(v), AceException);
    EXPECT_EQ(r.GetReader()->GetPosition(), 2);
    Open(r, bytes);
    EXPECT_THROW(r.SyncString(str), AceException); // claims 9 bytes, has 3
    EXPECT_EQ(r.GetReader()->GetPosition(), 0);
    DataSync s;
    v = 1;
    str = "x";
    EXPECT_EQ(Thrown(s, [&](DataSync& d) { d.SyncLong(v); }), "DataSync: not open");
    EXPECT_THROW(s.SyncString(str), AceException);
    s.OpenWriter(16);
    s.Close();
    EXPECT_THROW(s.EndBit(), AceException);
}

TEST(DataSyncDamaged, CountsAreBoundedByTheBytesLeft)
{
    const Bytes neg = {0xFF, 0xFF, 0xFF, 0xFF};
    std::vector<int> v;
    std::list<SmartPtr<HighScoreInfo>> l;
    std::map<std::string, SmartPtr<HighScoreInfo>> m;
    EXPECT_NE(ReadError(neg, Ints(v)), "");
    EXPECT_NE(
        ReadError(neg, [&](DataSync& s) { DataSync_SyncSTLListImpl(l, s, DataSyncFunc_SyncSmartPtr()); }),
        "");
    EXPECT_NE(
        ReadError(neg, [&](DataSync& s)
                  { DataSync_SyncSTLMapImpl(m, s, DataSyncFunc_SyncString(), DataSyncFunc_SyncSmartPtr()); }),
        "");
    // A huge count reserves no more than the bytes left.
    const Bytes huge = {0xFF, 0xFF, 0xFF, 0x7F, 0x54, 0x43, 0x45, 0x56, 1, 0, 0, 0, 2, 0};
    EXPECT_NE(ReadError(huge, Ints(v)), "");
    EXPECT_EQ(v.size(), 2u); // the element read so far and the one being read stay
    EXPECT_LE(v.capacity(), 6u);
    // A large vector reserves at most the cap, then grows with the data.
    std::vector<int> large(100000), back, partial;
    for (size_t i = 0; i < large.size(); ++i)
        large[i] = int(i) * 3;
    const Bytes bytes = Write(Ints(large));
    EXPECT_EQ(ReadError(bytes, Ints(back)), "");
    EXPECT_EQ(back, large);
    // The same count over a stream cut short: fails once the bytes run out.
    EXPECT_NE(ReadError(Bytes(bytes.begin(), bytes.begin() + 8 + 4 * 70000 + 2), Ints(partial)), "");
    EXPECT_EQ(partial.size(), 70001u);
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
    SmartPtr<Node> head;
    auto readChain = [&](DataSync& s) { DataSync_SyncSmartPtr(s, head); };
    EXPECT_EQ(ReadError(chain(DataSync::kMaxSharedObjectDepth), readChain), "");
    EXPECT_EQ(ReadError(chain(DataSync::kMaxSharedObjectDepth + 1), readChain),
              "DataSync: shared objects nested too deeply");
}

TEST(DataSyncDamaged, EveryTruncationOfAValidStreamThrowsAceException)
{
    Rows rows;
    for (int i = 0; i < 55; ++i)
        rows.push_back(new HighScoreInfo("n" + std::to_string(i), i));
    std::vector<char> bits = {1, 0, 1};
    auto sync = [&](DataSync& s)
    {
        DataSync_SyncSTLVectorImpl(rows, s, DataSyncFunc_SyncSmartPtr());
        DataSync_SyncSTLVectorImpl(bits, s, DataSyncFunc_SyncCharBit());
        s.EndBit();
    };
    const Bytes full = Write(sync);
    EXPECT_EQ(ReadError(full, sync), "");
    for (size_t n = 0; n < full.size(); ++n)
        EXPECT_EQ(ReadError(Bytes(full.begin(), full.begin() + n), sync),
                  "DataReader: attempt to read past end.")
            << n;
}

// ------------------------------------------------------------------ writer

TEST(DataSyncReader, ReadsABufferInPlaceSkipsBitBytesAndTheWriterGrows)
{
    SmartPtr<HighScoreInfo> row = new HighScoreInfo("Zed", -40), back;
    const Bytes bytes = Write([&](DataSync& s) { DataSync_SyncSmartPtr(s, row); });
    Buffer buffer;
    buffer.SetData(bytes.data(), static_cast<int32_t>(bytes.size()));
    DataSync r;
    r.OpenReader(buffer);
    DataSync_SyncSmartPtr(r, back);
    EXPECT_EQ(back->mName, "Zed");
    EXPECT_EQ(back->mScore, -40);
    EXPECT_EQ(r.GetReader()->GetBytesRemaining(), 0);
    // EndBit on a reader skips the rest of the bit byte.
    const Bytes bits = {0x03, 0x2A};
    Open(r, bits);
    bool a = false;
    char next = 0;
    r.SyncBoolBit(a);
    r.EndBit();
    r.SyncByte(next);
    EXPECT_TRUE(a);
    EXPECT_EQ(next, 0x2A);
    // A writer opened with no capacity still grows.
    DataSync s;
    s.OpenWriter(0);
    for (int i = 0; i < 1000; ++i)
        s.SyncLong(i);
    ASSERT_EQ(s.GetWriter()->GetDataLen(), 4000);
    const char* p = s.GetWriter()->GetDataPtr();
    EXPECT_EQ(static_cast<uint8_t>(p[999 * 4]), 999 & 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(p[999 * 4 + 1]), 999 >> 8);
}

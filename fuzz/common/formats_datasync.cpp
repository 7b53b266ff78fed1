// The save-format reader on arbitrary bytes, through a settings-store tree and
// through vector, list and map schemas. Only AceException may come out; a tree
// that was read must write back and read again to the same bytes.
#include "common/DataSync.h"
#include "common/HighScoreInfo.h"
#include "common/Registry.h"

#include <cstdlib>
#include <list>
#include <map>
#include <string>
#include <vector>

using namespace Vaxo;

namespace
{

std::string WriteTree(FRegKey* root)
{
    DataSync sync;
    sync.OpenWriter(1024);
    root->SyncState(sync);
    sync.EndBit();
    return std::string(sync.GetWriter()->GetDataPtr(), sync.GetWriter()->GetDataLen());
}

template <class Schema> void Read(const uint8_t* data, size_t size, Schema schema)
{
    DataSync sync;
    sync.OpenReader(reinterpret_cast<const char*>(data), static_cast<int32_t>(size));
    try
    {
        schema(sync);
    }
    catch (const AceException&)
    {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Read(data, size,
         [](DataSync& sync)
         {
             SmartPtr<FRegKey> root = new FRegKey();
             root->SyncState(sync);
             std::string once = WriteTree(root);
             SmartPtr<FRegKey> again = new FRegKey();
             DataSync reread;
             reread.OpenReader(once.data(), static_cast<int32_t>(once.size()));
             again->SyncState(reread);
             if (WriteTree(again) != once)
                 abort();
         });
    Read(data, size,
         [](DataSync& sync)
         {
             std::vector<SmartPtr<HighScoreInfo>> rows;
             std::list<SmartPtr<HighScoreInfo>> list;
             std::map<std::string, SmartPtr<FRegVal>, StringLessNoCase> map;
             DataSync_SyncSTLVectorImpl(rows, sync, DataSyncFunc_SyncSmartPtr());
             DataSync_SyncSTLListImpl(list, sync, DataSyncFunc_SyncSmartPtr());
             DataSync_SyncSTLMapImpl(map, sync, DataSyncFunc_SyncString(), DataSyncFunc_SyncSmartPtr());
         });
    Read(data, size,
         [](DataSync& sync)
         {
             std::vector<int> ints;
             std::vector<float> floats;
             std::vector<char> bytes, bits;
             DataSync_SyncSTLVectorImpl(ints, sync, DataSyncFunc_SyncInt());
             DataSync_SyncSTLVectorImpl(floats, sync, DataSyncFunc_SyncFloat());
             DataSync_SyncSTLVectorImpl(bytes, sync, DataSyncFunc_SyncByte());
             DataSync_SyncSTLVectorImpl(bits, sync, DataSyncFunc_SyncCharBit());
             sync.EndBit();
         });
    return 0;
}

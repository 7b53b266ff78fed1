// Internal to framework/graphics.
// Saving float vectors in the binary save format: the belt spline files hold their
// points this way. Kept in graphics because the vector type lives here.
#pragma once

#include "common/DataSync.h"
#include "graphics/Vector.h"

namespace Vaxo
{

// x then y, each a Float.
inline void DataSync_SyncVaxoVector2(DataSync& sync, VaxoVector2& v)
{
    sync.SyncFloat(v.x);
    sync.SyncFloat(v.y);
}

// Element functor for DataSync_SyncSTLVectorImpl over vectors of VaxoVector2.
struct DataSyncFunc_SyncVaxoVector2
{
    void operator()(DataSync& sync, VaxoVector2& v) const { DataSync_SyncVaxoVector2(sync, v); }
};

} // namespace Vaxo

#include "model/uZumo2sin_scale50.h"

TZumo2sin50Doc::TZumo2sin50Doc()
    : TZumo2SyncDocOf({20, 19600, 0x5490, 0x74B0, 600, 0}, "Scheme ID:9.0.0.0", "Zumo2 синх 50")
{
}

std::unique_ptr<TZumo2Doc> MakeZumo2sin50Doc() { return MakeDocument<TZumo2sin50Doc>(); }

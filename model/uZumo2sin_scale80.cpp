#include "model/uZumo2sin_scale80.h"

TZumo2sin80Doc::TZumo2sin80Doc()
    : TZumo2SyncDocOf({15, 18380, 0x49CC, 0x74B0, 600, 0}, "Scheme ID:13.0.0.0", "Zumo2 синх 80")
{
}

std::unique_ptr<TZumo2Doc> MakeZumo2sin80Doc() { return MakeDocument<TZumo2sin80Doc>(); }

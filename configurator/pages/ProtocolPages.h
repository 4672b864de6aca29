#pragma once

#include "configurator/tree/FrameDispatch.h"

// Registers the protocol pages the device pages host, each for its page kind
// (TProtocolPage), made by MakeFrame (construct, FillLists, Load) with (tree, device,
// host panel). RegisterDocumentPages calls it, so the program, the benchmarks and the
// tests get the same pages; the pages of further protocols are added here.
void RegisterProtocolPages(TFrameRegistry& registry);

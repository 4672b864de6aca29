#pragma once

#include "configurator/tree/FrameDispatch.h"

// Registers the pages of the document-level nodes: the root's common page (vetoed by
// the document), a port's page, a device's page, the devices group's grid and a
// modem's page; and the protocol pages the device pages host (RegisterProtocolPages).
// The logical channel group's grid: RegisterLogicChannelPage.
void RegisterDocumentPages(TFrameRegistry& registry = Frames());

#pragma once

#include "configurator/tree/FrameDispatch.h"

// Registers the pages of the document-level nodes: the root's common page (vetoed by
// the document), a port's page, a device's page (a Pelvar and a Tramel-5141 device
// each its family's), the devices group's grid and a modem's page; and the protocol
// pages the device pages host (RegisterProtocolPages).
// Also a device's aperture grid and the document's aperture table.
// The logical channel group's grid: RegisterLogicChannelPage.
void RegisterDocumentPages(TFrameRegistry& registry = Frames());

#pragma once

#include "model/uDevProtocols.h"
#include "model/uDocument.h"

// The records of the controller image: ports, small records, logical channels and
// device slots.

// ---------------------------------------------------------------------------------
// Ports and small records

// ---------------------------------------------------------------------------------
// Logical channels

// ---------------------------------------------------------------------------------
// Devices

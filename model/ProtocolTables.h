#pragma once

#include <cstdint>

// The code tables that devices and logical channels store indexes of.

// Protocols by index, as devices show them; a device stores the code. Codes 10, 13,
// 14, 20, 22, 27 and 28 belong to no protocol.
constexpr int ProtocolCount = 29;
extern const char* const ProtocolNames[ProtocolCount];
extern const uint8_t ProtocolCodes[ProtocolCount];

// Logical channel kinds by index; a channel stores the type code.
constexpr int ChannelTypeCount = 8;
extern const char* const ChannelTypeNames[ChannelTypeCount];
extern const uint8_t ChannelTypeCodes[ChannelTypeCount];

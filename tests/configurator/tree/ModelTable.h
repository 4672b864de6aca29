#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// The 18 controller models as their descriptions give them, typed by hand: what the
// model factory's documents must be. Nothing here is read from the model code.
namespace modeltable {

struct Block {
    uint32_t offset;
    int32_t size;
};

struct Row {
    int code;
    const char* className;
    const char* modelName;      // ModelName, the document's caption root
    const char* comboText;      // the model list's text
    const char* caption;        // GetCaption of a new document
    int scheme;                 // "Scheme ID:<scheme>.0.0.0"
    uint32_t base;
    std::vector<Block> blocks;  // in list order
    int devices;
    int32_t deviceSize;
    int logicChannels;
    std::vector<std::string> portNames;  // GetPortNames, "" kept
    uint32_t puMask;
    uint32_t kpMask;
    uint8_t kindMask;
    std::vector<std::string> portNodes;  // the tree's port nodes, in order
    int capacity;               // shown on the common page
    int schemeOffset;           // where "SchemeID" lies in block 0x0000
    int inversions;             // inversion records
    int ownChannels;            // own channels and DIO channels (Zumo 7)

    std::string SchemeId() const { return "Scheme ID:" + std::to_string(scheme) + ".0.0.0"; }
};

inline const std::vector<std::string> ZumoPorts{"COM", "XPort", "485"};
inline const std::vector<std::string> Zumo7Ports{"COM1", "Xport1", "COM2", "USB"};
inline const std::vector<std::string> DravoPorts{"Port B", "Port A"};
inline const std::vector<std::string> HaskPorts44{"Channel", "", "ETH0", "ETH1", "ETH0 или ETH1"};
inline const std::vector<std::string> HaskPorts41{"Channel", "", "ETH0"};
inline const std::vector<std::string> HaskModem1{"Channel", "Параметры модема"};
inline const std::vector<std::string> HaskModem2{"Channel", "Voice", "Параметры модема channel",
                                                  "Параметры модема voice"};
inline const std::vector<Block> BaseBlocks{{0x0000, 84}, {0x0200, 14800}, {0x7000, 1925}};
inline const std::vector<Block> HaskBlocks{{0x0000, 2380}, {0x1000, 14800}, {0x8000, 600}};

constexpr uint32_t ZumoPu = 0x00D59B7E, ZumoKp = 0x0FEFEFBE, HaskPu = 0x159A6A, HaskKp = 0x258E3A;
constexpr uint32_t Stm = 0x08004000, Hask = 0x200F0000;

inline const std::vector<Row>& Rows()
{
    static const std::vector<Row> rows{
        {0, "TZumo2Doc", "Zumo2", "Zumo2", "Zumo2", 8, Stm, BaseBlocks, 20, 724, 20, ZumoPorts, ZumoPu, ZumoKp, 255,
         {"COM"}, 1200, 64, 0, 0},
        {1, "TZumo2sinDoc", "Zumo2 синх", "Zumo2 синх", "Zumo2 синх", 9, Stm,
         {{0x0000, 84}, {0x0200, 21200}, {0x54D0, 6455}, {0x7000, 1925}}, 20, 1044, 20, ZumoPorts, ZumoPu, ZumoKp,
         255, {"COM"}, 1200, 64, 0, 0},
        {2, "TZumo4Doc", "Zumo4", "Zumo4", "Zumo4", 8, Stm, BaseBlocks, 20, 724, 20, ZumoPorts, ZumoPu, ZumoKp, 255,
         {"COM"}, 1200, 56, 0, 0},
        {3, "TZumo7Doc", "Zumo7", "Zumo7", "Zumo7-E1C20", 10, Stm,
         {{0xB700, 64}, {0x0000, 108}, {0x0200, 14800}, {0x7000, 1925}, {0x9000, 704}}, 20, 724, 20, Zumo7Ports,
         ZumoPu, ZumoKp, 255, {"COM1", "COM2"}, 1200, 88, 0, 16},
        {4, "TZumo9Doc", "Zumo9", "Zumo9", "Zumo9", 8, Stm, BaseBlocks, 20, 724, 20, {"COM1", "XPort", "COM2", "USB"},
         ZumoPu, ZumoKp, 255, {"COM1", "COM2"}, 1200, 64, 0, 0},
        {5, "TDravo7Doc", "Dravo7", "Dravo7-STM", "Dravo7", 8, Stm, {{0x0000, 76}, {0x0200, 14800}, {0x7000, 1925}},
         20, 724, 20, DravoPorts, ZumoPu, ZumoKp, 255, DravoPorts, 1200, 56, 125, 0},
        {6, "THask1Doc_1d", "Pelvar-44", "Pelvar-44", "Pelvar-44", 1, Hask, HaskBlocks, 20, 724, 20, HaskPorts44,
         HaskPu, HaskKp, 31, HaskModem1, 50000, 160, 0, 0},
        {7, "TGrendalDoc", "Tramel-5141", "Tramel-5141", "Tramel-5141", 1, 0, {{0x0000, 232}, {0x1000, 145400}}, 200,
         724, 0, {"COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "LAN1", "LAN2", "LAN1 или LAN2"}, 6, 0xA6186, 127,
         {}, 50000, 212, 0, 0},
        {8, "THask1Doc_1v", "Pelvar-42 С1-ТЧ и VOICE", "Pelvar-42 С1-ТЧ и VOICE", "Pelvar-42 С1-ТЧ и VOICE", 1,
         Hask, HaskBlocks, 20, 724, 20, HaskPorts44, HaskPu, HaskKp, 31, HaskModem1, 50000, 160, 0, 0},
        {9, "THask1Doc_2d", "Pelvar-42 2хС1-ТЧ", "Pelvar-42 2хС1-ТЧ", "Pelvar-42 2хС1-ТЧ", 1, Hask, HaskBlocks, 20,
         724, 20, {"Channel", "Voice", "ETH0", "ETH1", "ETH0 или ETH1"}, HaskPu, HaskKp, 31, HaskModem2, 50000, 160,
         0, 0},
        {10, "THask1Doc_41", "Pelvar-41", "Pelvar-41", "Pelvar-41", 1, Hask, HaskBlocks, 20, 724, 20, HaskPorts41,
         HaskPu, HaskKp, 31, HaskModem1, 50000, 160, 0, 0},
        {11, "THask1Doc_1v_43", "Pelvar-43 С1-ТЧ и VOICE", "Pelvar-43 С1-ТЧ и VOICE", "Pelvar-43 С1-ТЧ и VOICE", 1,
         Hask, HaskBlocks, 20, 724, 20, HaskPorts41, HaskPu, HaskKp, 31, HaskModem1, 50000, 160, 0, 0},
        {12, "THask1Doc_2d_43", "Pelvar-43 2хС1-ТЧ", "Pelvar-43 2хС1-ТЧ", "Pelvar-43 2хС1-ТЧ", 1, Hask, HaskBlocks,
         20, 724, 20, {"Channel", "Voice", "ETH0"}, HaskPu, HaskKp, 31, HaskModem2, 50000, 160, 0, 0},
        {13, "TDravo7_sinDoc", "Dravo7 синх", "Dravo7 синх", "Dravo7 синх", 12, Stm,
         {{0x0000, 76}, {0x0200, 13595}, {0x7000, 1800}}, 5, 1364, 20, DravoPorts, ZumoPu, ZumoKp, 255, DravoPorts,
         1200, 56, 0, 0},
        {14, "TZumo2sin80Doc", "Zumo2 синх 80", "Zumo2 синх 80", "Zumo2 синх 80", 13, Stm,
         {{0x0000, 84}, {0x0200, 18380}, {0x49CC, 6455}, {0x74B0, 600}}, 15, 1204, 20, ZumoPorts, ZumoPu, ZumoKp,
         255, {"COM"}, 1200, 64, 0, 0},
        {15, "TZumo2sin50Doc", "Zumo2 синх 50", "Zumo2 синх 50", "Zumo2 синх 50", 9, Stm,
         {{0x0000, 84}, {0x0200, 19600}, {0x5490, 6455}, {0x74B0, 600}}, 20, 964, 20, ZumoPorts, ZumoPu, ZumoKp, 255,
         {"COM"}, 1200, 64, 0, 0},
        {16, "TZumo7sinDoc", "Zumo7sin", "Zumo7 синх", "Zumo7-E1C20", 14, Stm,
         {{0xB700, 64}, {0x0000, 108}, {0x0200, 21200}, {0x55D0, 6455}, {0x7000, 1800}, {0x9000, 640}}, 20, 1044, 20,
         Zumo7Ports, ZumoPu, ZumoKp, 255, {"COM1", "COM2"}, 1200, 88, 0, 16},
        {17, "TZumo2SiemensDoc", "Zumo2 Siemens", "Zumo2 Siemens", "Zumo2 Siemens", 15, Stm,
         {{0x0000, 84}, {0x67D6, 1045}, {0x0200, 5660}, {0x7000, 1800}}, 3, 1780, 20, ZumoPorts, ZumoPu, 0x1FEFEFBE,
         255, {"COM"}, 1200, 64, 0, 0},
    };
    return rows;
}

// Names a row in failure messages.
inline void PrintTo(const Row& row, std::ostream* os) { *os << row.code << " " << row.className; }

// Every model has these.
constexpr int Apertures = 50;
constexpr int Conversions = 50;

} // namespace modeltable

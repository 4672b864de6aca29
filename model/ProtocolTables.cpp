#include "model/ProtocolTables.h"

const char* const ProtocolNames[ProtocolCount] = {
    "Нет",       "МЭК",        "ModBus",   "TM800A",   "TM800B",        "Компас 1.1", "ПУ TM1.1",
    "Меркурий",  "DCON",       "Гранит",   "МКТ-2",    "МКТ-3",         "ТМ 120",     "IEC 1107",
    "Протон-К",  "ТМ 512",     "РПТ-80",   "ANSI C1218-21", "УТМ-7",    "СЭТ-4ТМ",    "УТС-8",
    "МКТ-1",     "ТМ 500",     "МК 51",    "МК 55",    "ТК113 Щит",     "Орион-2",    "Сириус-2",
    "Siemens Symap",
};

const uint8_t ProtocolCodes[ProtocolCount] = {
    255, 1,  2,  3,  4,  5,  6,  7,  8,  9,  11, 12, 15, 16, 17,
    18,  19, 21, 23, 24, 25, 26, 29, 30, 31, 32, 33, 34, 35,
};

const char* const ChannelTypeNames[ChannelTypeCount] = {
    "Нет", "Состояние (ТС)", "Данные (ТИ)", "Счетчик (ТИИ)", "ТУ", "Групповое ТУ ВКЛ", "Групповое ТУ ОТКЛ",
    "Телерегулирование",
};

const uint8_t ChannelTypeCodes[ChannelTypeCount] = {255, 0, 1, 2, 3, 14, 15, 6};

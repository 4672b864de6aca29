#include "model/Mirvak_const.h"

const char* const ModelNames[ModelCount] = {
    "Zumo2",                   // 0
    "Zumo2 синх",              // 1
    "Zumo4",                   // 2
    "Zumo7",                   // 3
    "Zumo9",                   // 4
    "Dravo7-STM",              // 5
    "Pelvar-44",               // 6
    "Tramel-5141",             // 7
    "Pelvar-42 С1-ТЧ и VOICE", // 8
    "Pelvar-42 2хС1-ТЧ",       // 9
    "Pelvar-41",               // 10
    "Pelvar-43 С1-ТЧ и VOICE", // 11
    "Pelvar-43 2хС1-ТЧ",       // 12
    "Dravo7 синх",             // 13
    "Zumo2 синх 80",           // 14
    "Zumo2 синх 50",           // 15
    "Zumo7 синх",              // 16
    "Zumo2 Siemens",           // 17
};

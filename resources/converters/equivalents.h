#pragma once
// Converters the library names that the system's ICU lacks, each with the ICU converter it is built from
// (same mappings, same byte-sequence rules) under the library's name. Names of the tables that have no
// equivalent in ICU are listed in the README; opening them fails as for any unknown converter.

struct KoConverterEquivalent {
    const char* name; // the name in the MIBenum table
    const char* icu;  // an ICU name (or alias) of the converter with the same mappings
};

// clang-format off
inline constexpr KoConverterEquivalent koConverterEquivalents[] = {
    {"ibm-942_P120-2000", "ibm-942_P12A-1999"},     // Shift-JIS, IBM variant
    {"windows-932-2000", "ibm-943_P15A-2003"},       // Shift-JIS, Windows variant
    {"cpibm1140", "ibm-1140"}, {"cpibm1141", "ibm-1141"}, {"cpibm1142", "ibm-1142"}, {"cpibm1143", "ibm-1143"},
    {"cpibm1144", "ibm-1144"}, {"cpibm1145", "ibm-1145"}, {"cpibm1146", "ibm-1146"}, {"cpibm1147", "ibm-1147"},
    {"cpibm1148", "ibm-1148"}, {"cpibm1149", "ibm-1149"},
    {"TESSARA_CID_EUCGB", "ibm-1383"},               // EUC-CN
    {"TESSARA_CID_MACCYR", "x-mac-cyrillic"},
    {"TESSARA_CID_MACEE", "x-mac-centraleurroman"},
    {"TESSARA_CID_MACGRK", "x-mac-greek"},
    {"TESSARA_CID_MACTURK", "x-mac-turkish"},
    {"TESSARA_CID_EUCKSC", "ibm-970"},               // EUC-KR
    {"TESSARA_CID_MACEURO", "macos-0_2-10.2"},       // Mac OS Roman with the euro sign
    {"TESSARA_CID_CP737", "ibm-737"}, {"TESSARA_CID_CP775", "ibm-775"}, {"TESSARA_CID_CP856", "ibm-856"},
    {"TESSARA_CID_CP858", "ibm-858"}, {"TESSARA_CID_CP862", "ibm-862"}, {"TESSARA_CID_CP866", "ibm-866"},
    {"TESSARA_CID_CP874IBM", "ibm-874"}, {"TESSARA_CID_CP875", "ibm-875"},
    {"TESSARA_CID_CP930", "ibm-930"}, {"TESSARA_CID_CP930YEN", "ibm-930"},
    {"TESSARA_CID_CP932", "ibm-932"},                // the IBM PC Japanese code page (CCSID 932)
    {"TESSARA_CID_CP933", "ibm-933"}, {"TESSARA_CID_CP935", "ibm-935"}, {"TESSARA_CID_CP937", "ibm-937"},
    {"TESSARA_CID_CP939YEN", "ibm-939"},
    {"ibm-943_P14A-2000", "ibm-943_P15A-2003"},
    {"TESSARA_CID_CP954", "ibm-954"},                // EUC-JP, IBM variant
    {"TESSARA_CID_CP5026", "ibm-5026"}, {"TESSARA_CID_CP5026YEN", "ibm-5026"},
    {"TESSARA_CID_CP5035YEN", "ibm-5035"},
};
// clang-format on

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "setup/setup.h"
#include "platform/win32.h"
#include "tests/support/odbcsandbox.h"
#include "tests/support/setupmodule.h"

using kotest::attributeList;
using kotest::OdbcSandbox;

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

const auto* env = ::testing::AddGlobalTestEnvironment(new kotest::SetupModuleEnvironment);

class ConfigDsn : public ::testing::Test {
protected:
    kotest::ScriptedUser user;
    BOOL config(WORD request, const std::string& list, HWND window = nullptr) {
        return ConfigDSN(window, request, OdbcSandbox::driverName, list.c_str());
    }
    std::string value(const std::string& dsn, const std::string& key) {
        return sandbox.storedValue(dsn, key);
    }
    bool exists(const std::string& dsn) { return sandbox.readOdbcIni().count(dsn) == 1; }

    OdbcSandbox sandbox;
};

TEST_F(ConfigDsn, AddWritesEveryAttributeWithItsDefault) {
    ASSERT_TRUE(config(ODBC_ADD_DSN, attributeList({"DSN=Sales", "Database=/srv/data"})));
    EXPECT_EQ(value("Sales", "Driver"), OdbcSandbox::driverName);
    EXPECT_EQ(value("Sales", "Description"), "");
    EXPECT_EQ(value("Sales", "Database"), "/srv/data");
    EXPECT_EQ(value("Sales", "UndefinedTable"), "PROMPT");
    EXPECT_EQ(value("Sales", "DataFileExtension"), "DTA");
    EXPECT_EQ(value("Sales", "FileOpenCache"), "0");
    EXPECT_EQ(value("Sales", "UseLongQualifiers"), "0");
    EXPECT_EQ(value("Sales", "LogonID"), "");
    EXPECT_EQ(value("Sales", "IntlSort"), "0");
    EXPECT_EQ(value("Sales", "ArraySize"), "4096");
    EXPECT_EQ(value("Sales", "ApplicationUsingThreads"), "1");
    EXPECT_TRUE(koScriptTakeShownBoxes().empty()) << "the driver library is there: no warning";
}

TEST_F(ConfigDsn, ShortKeywordsFillTheirRowsAndTheFullKeywordWins) {
    ASSERT_TRUE(config(ODBC_ADD_DSN, attributeList({"DSN=A", "DB=/short", "UT=ERROR", "DFE=dat", "AS=100",
                                                    "AUT=0", "Database=/full"})));
    EXPECT_EQ(value("A", "Database"), "/full");
    EXPECT_EQ(value("A", "UndefinedTable"), "ERROR");
    EXPECT_EQ(value("A", "DataFileExtension"), "dat");
    EXPECT_EQ(value("A", "ArraySize"), "100");
    EXPECT_EQ(value("A", "ApplicationUsingThreads"), "0");
    // Keywords match ignoring case; values are kept exactly as given, quotes included.
    ASSERT_TRUE(config(ODBC_ADD_DSN, attributeList({"dsn=B", "description='a;b'", "logonid=Joe"})));
    EXPECT_EQ(value("B", "Description"), "'a;b'");
    EXPECT_EQ(value("B", "LogonID"), "Joe");
}

TEST_F(ConfigDsn, ConfigureKeepsStoredAttributesAndNewNamesGetDefaults) {
    ASSERT_TRUE(config(ODBC_ADD_DSN, attributeList({"DSN=X", "Description=Kept", "DB=/x", "UT=ERROR", "IS=1",
                                                    "FOC=7", "UID=ann"})));
    auto before = sandbox.readOdbcIni()["X"];
    ASSERT_TRUE(config(ODBC_CONFIG_DSN, attributeList({"DSN=X"})));
    EXPECT_EQ(sandbox.readOdbcIni()["X"], before);

    ASSERT_TRUE(config(ODBC_CONFIG_DSN, attributeList({"DSN=X", "FOC=9"})));
    EXPECT_EQ(value("X", "FileOpenCache"), "9");
    EXPECT_EQ(value("X", "Description"), "Kept");
    EXPECT_EQ(value("X", "UndefinedTable"), "ERROR");

    ASSERT_TRUE(config(ODBC_CONFIG_DSN, attributeList({"DSN=Fresh"})));
    EXPECT_EQ(value("Fresh", "ArraySize"), "4096");
    EXPECT_EQ(value("Fresh", "UndefinedTable"), "PROMPT");
}

TEST_F(ConfigDsn, ParenthesisedSecondEntryIsDroppedForConfigureAndRemoveOnly) {
    std::string list = attributeList({"DSN=X", "(any thing)", "Database=D"});
    EXPECT_FALSE(config(ODBC_ADD_DSN, list)) << "for an add it is no valid entry";
    EXPECT_FALSE(exists("X"));
    ASSERT_TRUE(config(ODBC_CONFIG_DSN, list));
    EXPECT_EQ(value("X", "Database"), "D");
    ASSERT_TRUE(config(ODBC_REMOVE_DSN, attributeList({"DSN=X", "(gone)"})));
    EXPECT_FALSE(exists("X"));
    // Only a whole "(...)" entry is dropped.
    EXPECT_FALSE(config(ODBC_CONFIG_DSN, attributeList({"DSN=Y", "(open", "Database=D"})));
}

TEST_F(ConfigDsn, RemoveIgnoresTheWindowAndReportsTheRemoval) {
    ASSERT_TRUE(config(ODBC_ADD_DSN, attributeList({"DSN=Old"})));
    ASSERT_TRUE(config(ODBC_REMOVE_DSN, attributeList({"DSN=Old"}), GetDesktopWindow()));
    EXPECT_FALSE(exists("Old"));
    EXPECT_TRUE(koScriptTakeShownBoxes().empty());
}

TEST_F(ConfigDsn, BadListsFailAndWriteNothing) {
    ASSERT_TRUE(config(ODBC_ADD_DSN, attributeList({"DSN=Keep", "Database=/k"})));
    std::string before = kotest::readFile(sandbox.odbcIniPath());
    const std::string bad[] = {
        attributeList({"DSN=Z", "1A=x"}),       // keyword must begin with a letter
        attributeList({"=x"}),                  //
        attributeList({"DSN=Z", "dsn=Other"}),  // duplicate keyword refused
        attributeList({"DSN=Z", "Database"}),   // no value
        attributeList({"DSN=", "Database=/z"}), // empty name
        attributeList({"Database=/z"}),         // no name at all
        attributeList({"DSN=Bad[Name]"}),       // the installer refuses the name
        attributeList({"DSN=Keep", "ODBC=1"}),  //
        std::string("\0\0", 2),                 // empty list
    };
    for (const auto& list : bad) {
        EXPECT_FALSE(config(ODBC_ADD_DSN, list)) << list;
        EXPECT_FALSE(config(ODBC_CONFIG_DSN, list)) << list;
    }
    EXPECT_EQ(kotest::readFile(sandbox.odbcIniPath()), before);
    EXPECT_FALSE(ConfigDSN(nullptr, ODBC_ADD_DSN, OdbcSandbox::driverName, nullptr))
        << "a null list has no name";
    // "Driver" may be repeated; the first value counts.
    EXPECT_TRUE(config(ODBC_ADD_DSN, attributeList({"DSN=D2", "Driver=a", "DRIVER=b"})));
}

TEST_F(ConfigDsn, ListsPastTheirLimitAreRefusedWholeNotCut) {
    // An attribute past 2048 bytes would be dropped and a value cut mid-path: refuse instead.
    std::string before = kotest::readFile(sandbox.odbcIniPath());
    for (size_t over : {1u, 2u, 900u}) {
        std::string list = "DSN=Long";
        list += '\0';
        list += "Database=/" + std::string(2048 - list.size() - 10 + over, 'y');
        ASSERT_EQ(list.size(), 2048u + over);
        list += std::string("\0\0", 2);
        EXPECT_FALSE(config(ODBC_ADD_DSN, list)) << over;
        EXPECT_EQ(sandbox.installerError(),
                  "The attribute list is longer than 2048 bytes; nothing was written.");
    }
    EXPECT_EQ(kotest::readFile(sandbox.odbcIniPath()), before);

    // A list of exactly 2048 bytes before its double NUL is read whole.
    std::string exact = "DSN=Exact";
    exact += '\0';
    std::string tail = "Database=/edge";
    exact += "Pad=" + std::string(2048 - exact.size() - 4 - 1 - tail.size(), 'p'); // ignored keyword
    exact += '\0';
    exact += tail;
    ASSERT_EQ(exact.size(), 2048u);
    exact += std::string("\0\0", 2);
    ASSERT_TRUE(config(ODBC_ADD_DSN, exact)) << sandbox.installerError();
    EXPECT_EQ(value("Exact", "Database"), "/edge");
}

// Whatever bytes a request holds, it either fails and leaves the file as it was, or succeeds and
// changes at most the one section it names, every remaining section still whole.
TEST_F(ConfigDsn, ArbitraryBytesGiveADefinedResult) {
    std::mt19937 rng(20261207);
    const char alphabet[] = "DSN=ab;'\"`()[]{} \t\r\n\x80\xff\x01=_Database";
    ASSERT_TRUE(config(ODBC_ADD_DSN, attributeList({"DSN=Bystander", "DB=/b"})));
    for (int round = 0; round < 400; ++round) {
        std::string list;
        size_t n = rng() % 80;
        for (size_t i = 0; i < n; ++i)
            list += (rng() % 5 == 0) ? '\0' : alphabet[rng() % (sizeof alphabet - 1)];
        list += std::string("\0\0", 2);
        WORD request = static_cast<WORD>(1 + rng() % 3);
        auto before = sandbox.readOdbcIni();
        std::string fileBefore = kotest::readFile(sandbox.odbcIniPath());
        BOOL ok = config(request, list);
        auto after = sandbox.readOdbcIni();
        if (!ok) {
            EXPECT_EQ(kotest::readFile(sandbox.odbcIniPath()), fileBefore) << "round " << round;
            continue;
        }
        size_t changed = 0;
        for (auto& [name, entries] : before)
            changed += after.count(name) && after[name] == entries ? 0 : 1;
        for (auto& [name, entries] : after)
            changed += before.count(name) ? 0 : 1;
        EXPECT_LE(changed, request == ODBC_ADD_DSN || request == ODBC_CONFIG_DSN ? 2u : 1u)
            << "round " << round; // a rename replaces one section by another
        EXPECT_EQ(after["Bystander"], before["Bystander"]) << "round " << round;
    }
}

TEST_F(ConfigDsn, WindowRequestsLeaveTheProfileToTheDialog) {
    // The sheet runs with nothing scripted: it is cancelled, and the request fails without writing.
    EXPECT_FALSE(config(ODBC_ADD_DSN, attributeList({"DSN=W"}), GetDesktopWindow()));
    EXPECT_FALSE(exists("W"));
    // A handle that is no window of ours (the caller's toolkit's) runs the sheet as the desktop does.
    int notAWindow = 0;
    EXPECT_FALSE(config(ODBC_ADD_DSN, attributeList({"DSN=W"}), reinterpret_cast<HWND>(&notAWindow)));
    EXPECT_FALSE(exists("W"));
    koScriptPush("click 1");
    EXPECT_TRUE(config(ODBC_ADD_DSN, attributeList({"DSN=W"}), reinterpret_cast<HWND>(&notAWindow)));
    EXPECT_TRUE(exists("W"));
}

TEST_F(ConfigDsn, UnknownRequestsTakeTheAddRoad) {
    ASSERT_TRUE(config(7, attributeList({"DSN=Seven", "(kept)"})) == FALSE) << "no entry is dropped";
    ASSERT_TRUE(config(7, attributeList({"DSN=Seven"})));
    EXPECT_TRUE(exists("Seven"));
}

class Record : public ConfigDsn {};

TEST_F(Record, RenameRemovesTheOldNameButACaseChangeRemovesNothing) {
    ASSERT_TRUE(config(ODBC_ADD_DSN, attributeList({"DSN=Old", "Database=/o", "UT=ERROR"})));
    {
        std::string list = attributeList({"DSN=Old"});
        DSNInfoStruct info(GetDesktopWindow(), ODBC_CONFIG_DSN, U(OdbcSandbox::driverName), U(list.c_str()),
                           setupInfoTable, setupInfoTableCount);
        uint16_t show = 7;
        ASSERT_NE(info.config(&show), 0u);
        EXPECT_EQ(show, 1);
        EXPECT_EQ(info.hwnd, nullptr) << "the desktop is no owner";
        ramFree(info.dsnName);
        info.dsnName = ramAllocStr(U("New"));
        ASSERT_EQ(SetDSNAttributes(&info), 1u);
    }
    EXPECT_FALSE(exists("Old"));
    EXPECT_EQ(value("New", "Database"), "/o");
    EXPECT_EQ(value("New", "UndefinedTable"), "ERROR");
    {
        std::string list = attributeList({"DSN=New"});
        DSNInfoStruct info(GetDesktopWindow(), ODBC_CONFIG_DSN, U(OdbcSandbox::driverName), U(list.c_str()),
                           setupInfoTable, setupInfoTableCount);
        uint16_t show = 0;
        ASSERT_NE(info.config(&show), 0u);
        ramFree(info.dsnName);
        info.dsnName = ramAllocStr(U("NEW"));
        ASSERT_EQ(SetDSNAttributes(&info), 1u);
    }
    auto ini = sandbox.readOdbcIni();
    EXPECT_TRUE(ini.count("New") || ini.count("NEW"));
    // A key of no attribute survives a change of case: a removal of the old section would lose it.
    ASSERT_TRUE(sandbox.writeString(ini.count("New") ? "New" : "NEW", "Planted", "keep"));
    {
        std::string list = attributeList({"DSN=NEW"});
        DSNInfoStruct info(GetDesktopWindow(), ODBC_CONFIG_DSN, U(OdbcSandbox::driverName), U(list.c_str()),
                           setupInfoTable, setupInfoTableCount);
        uint16_t show = 0;
        ASSERT_NE(info.config(&show), 0u);
        ramFree(info.dsnName);
        info.dsnName = ramAllocStr(U("new"));
        ASSERT_EQ(SetDSNAttributes(&info), 1u);
    }
    ini = sandbox.readOdbcIni();
    ASSERT_EQ(ini.size(), 1u);
    auto& entries = ini.begin()->second;
    EXPECT_TRUE(std::find(entries.begin(), entries.end(),
                          std::make_pair(std::string("Planted"), std::string("keep"))) != entries.end());
}

TEST_F(Record, AccessorsFindTheFirstRowOfAControl) {
    std::string list = attributeList({"DSN=R", "UT=ERROR"});
    DSNInfoStruct info(GetDesktopWindow(), ODBC_ADD_DSN, U(OdbcSandbox::driverName), U(list.c_str()),
                       setupInfoTable, setupInfoTableCount);
    uint16_t show = 0;
    ASSERT_NE(info.config(&show), 0u);
    EXPECT_STREQ(reinterpret_cast<const char*>(BaseGetInfoValue(&info, 305)), "ERROR");
    EXPECT_EQ(BaseGetInfoValue(&info, 999), nullptr);
    EXPECT_EQ(BaseSetInfoValue(&info, 999, U("x")), koFailure);
    EXPECT_EQ(BaseSetInfoValue(&info, 300, U("/new")), koSuccess);
    EXPECT_STREQ(reinterpret_cast<const char*>(BaseGetInfoValue(&info, 300)), "/new");
    // A failed copy leaves the row without a value.
    ramFailAt(1);
    EXPECT_EQ(BaseSetInfoValue(&info, 300, U("/newer")), koFailure);
    ramFailAt(0);
    EXPECT_EQ(BaseGetInfoValue(&info, 300), nullptr);
}

TEST_F(Record, TypedRowsAreWrittenInTheirStoredForm) {
    static const SetupInfo rows[] = {
        {U("Level"), 1, controlComboFixed, U(""), U("2 - Medium"), 0, U(""), 1, 1},
        {U("Width"), 2, controlComboFilled, U("25,2 Medium"), U("25"), 0, U(""), 1, 1},
        {U("Mode"), 3, controlComboFixed, U(""), U("2 Medium"), 0, U(""), 1, 1},
        {U("Secret"), 4, controlPassword, U(""), U("pa\x01ss=;#"), 0, U(""), 1, 1},
        {U("Kept"), 5, controlNone, U(""), U(" as is"), 0, U(""), 1, 1},
    };
    std::string list = attributeList({"DSN=T"});
    DSNInfoStruct info(nullptr, ODBC_ADD_DSN, U(OdbcSandbox::driverName), U(list.c_str()), rows, 5);
    uint16_t show = 9;
    ASSERT_NE(info.config(&show), 0u);
    EXPECT_EQ(show, 0);
    EXPECT_EQ(sandbox.getString("T", "Level"), "2");
    EXPECT_EQ(sandbox.getString("T", "Width"), "25");
    EXPECT_EQ(sandbox.getString("T", "Mode"), "2 Medium");
    std::string stored = sandbox.getString("T", "Secret");
    EXPECT_EQ(stored.find("pa"), std::string::npos) << "no clear password in the profile: " << stored;
    unsigned char clear[256];
    uint32_t n = koPasswordFromProfile(clear, U(stored.c_str()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(clear), n), "pa\x01ss=;#");
    // A second write keeps the stored form as it is.
    std::string again = reinterpret_cast<const char*>(info.infoArray[3]);
    ASSERT_EQ(SetDSNAttributes(&info), 1u);
    EXPECT_EQ(reinterpret_cast<const char*>(info.infoArray[3]), again);
}

TEST_F(Record, EveryAllocationFailureFailsTheRequestCleanly) {
    ASSERT_TRUE(config(ODBC_ADD_DSN, attributeList({"DSN=Mem", "DB=/old", "Description=kept"})));
    std::string before = kotest::readFile(sandbox.odbcIniPath());
    std::string list = attributeList({"DSN=Mem", "(drop)", "DB=/m", "UT=ERROR"});
    // Wherever memory runs out, the file is either as it was (unwritten or put back) or wholly
    // written (memory ran out after the write, binding the definer); never a mix.
    auto whole = [&] {
        return value("Mem", "Database") == "/m" && value("Mem", "Description") == "kept" &&
               value("Mem", "UndefinedTable") == "ERROR";
    };
    auto check = [&](unsigned n, bool failed) {
        std::string now = kotest::readFile(sandbox.odbcIniPath());
        EXPECT_TRUE(now == before || whole()) << "allocation " << n << ":\n" << now;
        if (!failed) {
            EXPECT_TRUE(whole());
        } else if (now != before) {
            kotest::writeFile(sandbox.odbcIniPath(), before);
        }
    };
    BOOL ok = FALSE;
    unsigned runs = kotest::forEachAllocationFailure([&] { ok = config(ODBC_CONFIG_DSN, list); },
                                                     [&](unsigned n, bool failed) {
                                                         // Success is never reported for a write
                                                         // that is not whole; without a fault the
                                                         // request succeeds.
                                                         if (ok) {
                                                             EXPECT_TRUE(whole()) << "allocation " << n;
                                                         }
                                                         if (!failed) {
                                                             EXPECT_TRUE(ok);
                                                         }
                                                         check(n, failed);
                                                     });
    EXPECT_GT(runs, 5u);
}

} // namespace

namespace {

TEST_F(ConfigDsn, WithoutAnInstallerEveryRowFallsBackToItsDefaultAndTheWriteFails) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    kotest::TempDir empty;
    auto child = [&] {
        // A machine without the installer library: the forwarding calls cannot bind anything.
        setenv("KO_LIBRARY_PATH", empty.path().c_str(), 1);
        setenv("KO_SYSTEM_DIR", empty.path().c_str(), 1);
        koSetFrontEnd(koFrontEndScript);
        koScriptReset();
        std::string list = attributeList({"DSN=Lost", "DB=/given"});
        DSNInfoStruct info(nullptr, ODBC_ADD_DSN, U(OdbcSandbox::driverName), U(list.c_str()), setupInfoTable,
                           setupInfoTableCount);
        uint16_t show = 0;
        bool ok = info.config(&show) != 0;
        auto boxes = koScriptTakeShownBoxes();
        // Ten rows read the profile (row 1 came from the list), then the name check fails.
        bool rowsOk = info.infoArray && std::string(reinterpret_cast<char*>(info.infoArray[9])) == "4096" &&
                      std::string(reinterpret_cast<char*>(info.infoArray[1])) == "/given";
        bool boxesOk = boxes.size() == 11;
        for (auto& b : boxes)
            boxesOk =
                boxesOk && b.text == "The ODBC installer DLL (ODBCCP32.DLL) is not installed on this system.";
        if (ok || !rowsOk || !boxesOk) {
            fprintf(stderr, "ok=%d rows=%d boxes=%zu\n", ok, rowsOk, boxes.size());
            std::exit(1);
        }
        std::exit(0);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

} // namespace

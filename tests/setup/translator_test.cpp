// The translator choice: rows appended to a private copy of the attribute table, memory failures
// while appending, unixODBC's installer that has no translator dialog, and the dialog's answers
// written with the data source through an installer whose dialog answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "foundation/errors/koerrnum.h"
#include "foundation/foundation.h"
#include "platform/win32.h"
#include "setup/setup.h"
#include "setup/translator.h"
#include "tests/support/odbcsandbox.h"

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}
std::string S(const unsigned char* s) {
    return s ? reinterpret_cast<const char*>(s) : "<null>";
}

// A record as config leaves it for the dialog: the table's defaults, nothing written.
std::unique_ptr<DSNInfoStruct> record(const char* dsn) {
    auto info = std::make_unique<DSNInfoStruct>(nullptr, ODBC_CONFIG_DSN, U(kotest::OdbcSandbox::driverName),
                                                nullptr, setupInfoTable, setupInfoTableCount);
    info->infoArray = static_cast<unsigned char**>(ramAllocZ(setupInfoTableCount * sizeof(void*)));
    for (uint16_t i = 0; i < setupInfoTableCount; ++i)
        info->infoArray[i] = ramAllocStr(setupInfoTable[i].defaultValue);
    info->origDSN = ramAllocStr(U(dsn));
    info->dsnName = ramAllocStr(U(dsn));
    return info;
}

// The choice's rows from row `at`: keyword and short keyword alike, no control, the value.
std::string choiceAt(DSNInfoStruct* info, uint16_t at) {
    std::string out;
    for (uint16_t i = at; i < at + 3 && i < info->setupInfoCount; ++i) {
        const SetupInfo& r = info->setupInfo[i];
        bool plain = S(r.keyword) == S(r.abbreviation) && r.keyword != r.abbreviation &&
                     r.controlType == controlNone && !r.controlId && !r.controlValue && !r.defaultValue &&
                     !r.maxLength && !r.flagOne && !r.flagTwo;
        out += S(r.keyword) + (plain ? "=" : "?=") + S(info->infoArray[i]) + ";";
    }
    return out;
}

TEST(Translator, TheFirstChoiceCopiesTheSharedTable) {
    auto info = record("Copy");
    ASSERT_EQ(koAppendTranslatorRows(info.get(), U("Latin"), U("/usr/lib/latin.so"), 4294967295u), koSuccess);
    ASSERT_EQ(info->setupInfoCount, setupInfoTableCount + 3);
    EXPECT_TRUE(info->flags & DSNInfoStruct::ownsSetupInfo);
    for (uint16_t i = 0; i < setupInfoTableCount; ++i) {
        const SetupInfo &copy = info->setupInfo[i], &shared = setupInfoTable[i];
        EXPECT_NE(copy.keyword, shared.keyword);
        EXPECT_EQ(S(copy.keyword) + S(copy.abbreviation) + S(copy.controlValue) + S(copy.defaultValue),
                  S(shared.keyword) + S(shared.abbreviation) + S(shared.controlValue) +
                      S(shared.defaultValue));
        EXPECT_EQ(copy.controlId + copy.controlType + copy.maxLength,
                  shared.controlId + shared.controlType + shared.maxLength);
        EXPECT_EQ(copy.flagOne | copy.flagTwo, 0u) << "the flag words are not copied";
    }
    EXPECT_EQ(choiceAt(info.get(), setupInfoTableCount),
              "TranslationName=Latin;TranslationDll=/usr/lib/latin.so;TranslationOption=4294967295;");
}

// Every allocation of a choice fails in turn, on the shared table and on a private one: the result is
// 1, the rows appended before stay, the record stays whole (a later choice and a write succeed), and
// nothing leaks (the record's destructor frees what it holds; AddressSanitizer checks the rest).
TEST(Translator, RunningOutOfMemoryKeepsTheRowsAppendedBefore) {
    kotest::OdbcSandbox sandbox;
    for (bool privateTable : {false, true}) {
        std::unique_ptr<DSNInfoStruct> info;
        uint16_t before = 0;
        auto fresh = [&] {
            info = record("Oom");
            if (privateTable) koAppendTranslatorRows(info.get(), U("Old"), U("/old.so"), 3);
            before = info->setupInfoCount;
        };
        fresh();
        KoStatus status = koSuccess;
        unsigned runs = kotest::forEachAllocationFailure(
            [&] { status = koAppendTranslatorRows(info.get(), U("New"), U("/new.so"), 9); },
            [&](unsigned n, bool failed) {
                SCOPED_TRACE((privateTable ? "private table, allocation " : "allocation ") +
                             std::to_string(n));
                std::string expected = "TranslationName=New;TranslationDll=/new.so;TranslationOption=9;";
                std::string added = choiceAt(info.get(), before);
                EXPECT_EQ(status, failed ? koFailure : koSuccess);
                EXPECT_EQ(added, expected.substr(0, added.size())) << "whole rows of the choice, in order";
                EXPECT_EQ(added.size() == expected.size(), !failed);
                if (!(info->flags & DSNInfoStruct::ownsSetupInfo)) {
                    EXPECT_EQ(info->setupInfo, setupInfoTable);
                }
                if (privateTable) {
                    EXPECT_EQ(choiceAt(info.get(), setupInfoTableCount).substr(0, 20),
                              "TranslationName=Old;");
                }
                ASSERT_EQ(koAppendTranslatorRows(info.get(), U("Then"), U("/then.so"), n), koSuccess);
                if (n % 8 == 1) { // writing is slow: now and then
                    ASSERT_EQ(SetDSNAttributes(info.get()), 1u);
                    EXPECT_EQ(sandbox.storedValue("Oom", "TranslationOption"), std::to_string(n));
                }
                fresh();
            });
        EXPECT_GE(runs, privateTable ? 9u : 50u) << "the table copy, the slots and each row's texts";
    }
}

TEST(Translator, UnixOdbcOffersNoDialogAndNothingChanges) {
    kotest::ScriptedUser user;
    kotest::OdbcSandbox sandbox;
    ASSERT_TRUE(sandbox.writeString("Plain", "TranslationName", "Kept"));
    auto info = record("Plain");
    EXPECT_EQ(BaseGetTranslator(nullptr, info.get()), koSuccess);
    EXPECT_EQ(info->setupInfoCount, setupInfoTableCount);
    EXPECT_EQ(info->setupInfo, setupInfoTable);
    EXPECT_TRUE(koScriptTakeShownBoxes().empty()) << "nothing alarming is shown";
}

#define CHILD_CHECK(cond)                                                                                    \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            fprintf(stderr, "check failed (line %d): %s\n", __LINE__, #cond);                                \
            std::exit(1);                                                                                    \
        }                                                                                                    \
    } while (0)

// In a process of its own: the installer becomes the stand-in whose translator dialog answers from
// KO_TEST_TRANSLATOR (everything else is unixODBC's).
void useAnsweringInstaller(const kotest::TempDir& temp) {
    namespace fs = std::filesystem;
    fs::create_directories(temp.file("system"));
    fs::create_directories(temp.file("search"));
    fs::copy_file(kotest::buildLib("../stubs/libodbcinst_translator.so"),
                  temp.file("search/libodbcinst.so.2"));
    setenv("KO_LIBRARY_PATH", temp.file("search").c_str(), 1);
    setenv("KO_SYSTEM_DIR", temp.file("system").c_str(), 1);
}

// The installer is chosen once per process: the dialog that answers runs in a process of its own.
TEST(Translator, TheDialogsAnswersAreWrittenTheLastChoiceStanding) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    kotest::TempDir temp;
    auto child = [&] {
        useAnsweringInstaller(temp);
        setenv("KO_TEST_TRANSLATOR_SEEN", temp.file("seen").c_str(), 1);
        kotest::ScriptedUser user;
        kotest::OdbcSandbox sandbox;
        KoErrorKeeper::setErrorList(new KoErrorList(nullptr, 1)); // the process ends with it
        CHILD_CHECK(sandbox.writeString("Fx", "TranslationName", "Old"));
        CHILD_CHECK(sandbox.writeString("Fx", "TranslationDll", "/old.so"));
        auto info = record("Fx");
        auto choose = [&](const std::string& answer) {
            setenv("KO_TEST_TRANSLATOR", answer.c_str(), 1);
            return BaseGetTranslator(nullptr, info.get());
        };
        uint16_t at = setupInfoTableCount;
        CHILD_CHECK(choose("First|/lib/first.so|5") == koSuccess);
        CHILD_CHECK(kotest::readFile(temp.file("seen")) == "Old|/old.so|63|255\n"); // the stored choice
        CHILD_CHECK(choiceAt(info.get(), at) ==
                    "TranslationName=First;TranslationDll=/lib/first.so;TranslationOption=5;");
        CHILD_CHECK(choose("cancel") == koSuccess && info->setupInfoCount == at + 3);
        CHILD_CHECK(choose(std::string(80, 'n') + "|/lib/long.so|6") == koSuccess);
        CHILD_CHECK(S(info->infoArray[at + 3]) == std::string(63, 'n'));
        CHILD_CHECK(SetDSNAttributes(info.get()) == 1);
        CHILD_CHECK(sandbox.storedValue("Fx", "TranslationDll") == "/lib/long.so");
        CHILD_CHECK(choose("Ignored||8") == koSuccess); // no translator
        CHILD_CHECK(choiceAt(info.get(), at + 6) == "TranslationName=;TranslationDll=;TranslationOption=0;");
        CHILD_CHECK(SetDSNAttributes(info.get()) == 1);
        CHILD_CHECK(sandbox.storedValue("Fx", "TranslationName") == "");
        CHILD_CHECK(sandbox.storedValue("Fx", "TranslationOption") == "0");
        // Out of memory the choice is lost, and the page can say why.
        ramFailAt(1, true);
        KoStatus lost = choose("Lost|/lib/lost.so|1");
        ramFailAt(0);
        CHILD_CHECK(lost == koFailure && info->setupInfoCount == at + 9);
        CHILD_CHECK(KoErrorKeeper::getLastErrorNumber() == koErrOutOfMemory);
        CHILD_CHECK(koScriptTakeShownBoxes().empty());
        info.reset();
        std::exit(0);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

// The Advanced page's Translator button in whole sessions: OK stores the choice with the page's
// edits, Cancel stores nothing of it.
TEST(Translator, TheAdvancedPagesButtonStoresTheChoiceOnlyOnOk) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    kotest::TempDir temp;
    auto child = [&] {
        useAnsweringInstaller(temp);
        setenv("KO_TEST_TRANSLATOR", "Latin|/lib/latin.so|3", 1);
        kotest::ScriptedUser user;
        kotest::OdbcSandbox sandbox;
        std::string list = kotest::attributeList({"DSN=Fx"});
        CHILD_CHECK(ConfigDSN(nullptr, ODBC_ADD_DSN, kotest::OdbcSandbox::driverName,
                              kotest::attributeList({"DSN=Fx", "AS=64"}).c_str()));
        std::string before = kotest::readFile(sandbox.odbcIniPath());
        auto session = [&](std::initializer_list<const char*> actions) {
            for (const char* a : actions)
                CHILD_CHECK(koScriptPush(a));
            return ConfigDSN(GetDesktopWindow(), ODBC_CONFIG_DSN, kotest::OdbcSandbox::driverName,
                             list.c_str());
        };
        CHILD_CHECK(!session({"page 1", "click 310", "click 2"}));
        CHILD_CHECK(kotest::readFile(sandbox.odbcIniPath()) == before);
        CHILD_CHECK(session({"page 1", "type 311 128", "click 310", "click 1"}));
        CHILD_CHECK(sandbox.storedValue("Fx", "TranslationName") == "Latin");
        CHILD_CHECK(sandbox.storedValue("Fx", "TranslationDll") == "/lib/latin.so");
        CHILD_CHECK(sandbox.storedValue("Fx", "TranslationOption") == "3");
        CHILD_CHECK(sandbox.storedValue("Fx", "ArraySize") == "128");
        CHILD_CHECK(koScriptTakeShownBoxes().empty());
        std::exit(0);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

} // namespace

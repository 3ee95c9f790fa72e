// The translator choice: rows appended to a private copy of the attribute table, written with the
// data source (the last choice standing), memory failures while appending, unixODBC's installer that
// has no translator dialog, and the dialog's answers through an installer whose dialog answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "foundation/errors/koerrnum.h"
#include "foundation/foundation.h"
#include "platform/win32.h"
#include "setup/pages.h"
#include "setup/setup.h"
#include "setup/translator.h"
#include "tests/support/odbcsandbox.h"
#include "tests/support/support.h"

using kotest::attributeList;
using kotest::OdbcSandbox;

namespace fs = std::filesystem;

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}
std::string S(const unsigned char* s) {
    return s ? reinterpret_cast<const char*>(s) : "<null>";
}

// A record of data source dsn as the dialog road configures it (nothing written yet).
std::unique_ptr<DSNInfoStruct> configured(const std::string& dsn, std::string* list) {
    *list = attributeList({"DSN=" + dsn});
    auto info =
        std::make_unique<DSNInfoStruct>(GetDesktopWindow(), ODBC_CONFIG_DSN, U(OdbcSandbox::driverName),
                                        U(list->c_str()), setupInfoTable, setupInfoTableCount);
    uint16_t show = 0;
    EXPECT_NE(info->config(&show), 0u);
    EXPECT_EQ(show, 1);
    return info;
}

// The rows of a choice appended at row `at`.
void expectChoice(DSNInfoStruct* info, uint16_t at, const char* name, const char* path, const char* option) {
    const char* keywords[] = {"TranslationName", "TranslationDll", "TranslationOption"};
    const char* values[] = {name, path, option};
    for (int i = 0; i < 3; ++i) {
        const SetupInfo& row = info->setupInfo[at + i];
        EXPECT_EQ(S(row.keyword), keywords[i]);
        EXPECT_EQ(S(row.abbreviation), keywords[i]);
        EXPECT_NE(row.keyword, row.abbreviation) << "each text is owned once";
        EXPECT_EQ(row.controlType, uint32_t(controlNone));
        EXPECT_EQ(row.controlId, 0);
        EXPECT_EQ(row.controlValue, nullptr);
        EXPECT_EQ(row.defaultValue, nullptr);
        EXPECT_EQ(row.maxLength, 0);
        EXPECT_EQ(row.flagOne | row.flagTwo, 0u);
        EXPECT_EQ(S(info->infoArray[at + i]), values[i]);
    }
}

class Translator : public ::testing::Test {
protected:
    kotest::ScriptedUser user;
    OdbcSandbox sandbox;
    std::string list;
};

TEST_F(Translator, TheFirstChoiceCopiesTheSharedTable) {
    auto info = configured("Copy", &list);
    ASSERT_EQ(koAppendTranslatorRows(info.get(), U("Latin Translator"), U("/usr/lib/latin.so"), 7),
              koSuccess);
    ASSERT_EQ(info->setupInfoCount, setupInfoTableCount + 3);
    EXPECT_NE(info->setupInfo, setupInfoTable);
    EXPECT_TRUE(info->flags & DSNInfoStruct::ownsSetupInfo);
    for (uint16_t i = 0; i < setupInfoTableCount; ++i) {
        const SetupInfo &copy = info->setupInfo[i], &shared = setupInfoTable[i];
        EXPECT_EQ(S(copy.keyword), S(shared.keyword));
        EXPECT_NE(copy.keyword, shared.keyword);
        EXPECT_EQ(S(copy.abbreviation), S(shared.abbreviation));
        EXPECT_EQ(S(copy.controlValue), S(shared.controlValue));
        EXPECT_EQ(S(copy.defaultValue), S(shared.defaultValue));
        EXPECT_EQ(copy.controlId, shared.controlId);
        EXPECT_EQ(copy.controlType, shared.controlType);
        EXPECT_EQ(copy.maxLength, shared.maxLength);
        EXPECT_EQ(copy.flagOne | copy.flagTwo, 0u) << "the flag words are not copied";
    }
    expectChoice(info.get(), setupInfoTableCount, "Latin Translator", "/usr/lib/latin.so", "7");
    // A second choice grows the private table; the first stays as it was.
    ASSERT_EQ(koAppendTranslatorRows(info.get(), U(""), U(""), 4294967295u), koSuccess);
    ASSERT_EQ(info->setupInfoCount, setupInfoTableCount + 6);
    expectChoice(info.get(), setupInfoTableCount, "Latin Translator", "/usr/lib/latin.so", "7");
    expectChoice(info.get(), setupInfoTableCount + 3, "", "", "4294967295");
}

TEST_F(Translator, TheLastChoiceIsWrittenAndNoTranslatorIsStoredEmpty) {
    {
        auto info = configured("Tr", &list);
        ASSERT_EQ(koAppendTranslatorRows(info.get(), U("First"), U("/lib/first.so"), 1), koSuccess);
        ASSERT_EQ(koAppendTranslatorRows(info.get(), U("Second"), U("/lib/second.so"), 2), koSuccess);
        ASSERT_EQ(SetDSNAttributes(info.get()), 1u);
    }
    EXPECT_EQ(sandbox.storedValue("Tr", "TranslationName"), "Second");
    EXPECT_EQ(sandbox.storedValue("Tr", "TranslationDll"), "/lib/second.so");
    EXPECT_EQ(sandbox.storedValue("Tr", "TranslationOption"), "2");
    EXPECT_EQ(sandbox.storedValue("Tr", "Database"), "") << "the table's rows are written as ever";
    EXPECT_EQ(sandbox.storedValue("Tr", "ArraySize"), "4096");
    size_t names = 0;
    auto ini = sandbox.readOdbcIni();
    for (auto& [key, value] : ini["Tr"])
        names += key == "TranslationName";
    EXPECT_EQ(names, 1u);
    {
        // A later request that does not choose keeps the choice; choosing none empties it.
        auto info = configured("Tr", &list);
        ASSERT_EQ(SetDSNAttributes(info.get()), 1u);
        EXPECT_EQ(sandbox.storedValue("Tr", "TranslationName"), "Second");
        ASSERT_EQ(koAppendTranslatorRows(info.get(), U(""), U(""), 0), koSuccess);
        ASSERT_EQ(SetDSNAttributes(info.get()), 1u);
    }
    EXPECT_EQ(sandbox.storedValue("Tr", "TranslationName"), "");
    EXPECT_EQ(sandbox.storedValue("Tr", "TranslationDll"), "");
    EXPECT_EQ(sandbox.storedValue("Tr", "TranslationOption"), "0");
}

// Every allocation of a choice fails in turn, on the shared table and on a private one: the result is
// 1, the rows appended before stay, the record stays whole (a later choice and the write succeed),
// and nothing leaks (the record's destructor frees what it holds; AddressSanitizer checks the rest).
TEST_F(Translator, RunningOutOfMemoryKeepsTheRowsAppendedBefore) {
    for (bool privateTable : {false, true}) {
        SCOPED_TRACE(privateTable ? "private table" : "shared table");
        std::unique_ptr<DSNInfoStruct> info;
        uint16_t before = 0;
        auto fresh = [&] {
            // Built in memory as config leaves it: the loop runs once per allocation of a choice.
            info = std::make_unique<DSNInfoStruct>(nullptr, ODBC_CONFIG_DSN, U(OdbcSandbox::driverName),
                                                   nullptr, setupInfoTable, setupInfoTableCount);
            info->infoArray = static_cast<unsigned char**>(ramAllocZ(setupInfoTableCount * sizeof(void*)));
            for (uint16_t i = 0; i < setupInfoTableCount; ++i)
                info->infoArray[i] = ramAllocStr(setupInfoTable[i].defaultValue);
            info->origDSN = ramAllocStr(U("Oom"));
            info->dsnName = ramAllocStr(U("Oom"));
            if (privateTable) {
                ASSERT_EQ(koAppendTranslatorRows(info.get(), U("Old"), U("/old.so"), 3), koSuccess);
            }
            before = info->setupInfoCount;
        };
        fresh();
        KoStatus status = koSuccess;
        unsigned runs = kotest::forEachAllocationFailure(
            [&] { status = koAppendTranslatorRows(info.get(), U("New"), U("/new.so"), 9); },
            [&](unsigned n, bool failed) {
                SCOPED_TRACE("allocation " + std::to_string(n));
                if (!failed) {
                    EXPECT_EQ(status, koSuccess);
                    expectChoice(info.get(), before, "New", "/new.so", "9");
                    return;
                }
                EXPECT_EQ(status, koFailure);
                uint16_t added = info->setupInfoCount - before;
                ASSERT_LE(added, 2);
                const char* names[] = {"TranslationName", "TranslationDll"};
                for (uint16_t i = 0; i < added; ++i)
                    EXPECT_EQ(S(info->setupInfo[before + i].keyword), names[i]);
                if (privateTable) {
                    expectChoice(info.get(), setupInfoTableCount, "Old", "/old.so", "3");
                }
                EXPECT_EQ(S(info->infoArray[1]), "") << "the table's own rows are untouched";
                if (!(info->flags & DSNInfoStruct::ownsSetupInfo)) {
                    EXPECT_EQ(info->setupInfo, setupInfoTable);
                    EXPECT_EQ(added, 0);
                }
                // Still whole: another choice is taken, and (now and then, writing is slow) the data
                // source is written with it.
                ASSERT_EQ(koAppendTranslatorRows(info.get(), U("Then"), U("/then.so"), n), koSuccess);
                if (n % 8 == 1) {
                    ASSERT_EQ(SetDSNAttributes(info.get()), 1u);
                    EXPECT_EQ(sandbox.storedValue("Oom", "TranslationOption"), std::to_string(n));
                }
                fresh();
            });
        EXPECT_GE(runs, 5u) << "the table copy, the slots and each row's texts are allocations";
    }
}

TEST_F(Translator, UnixOdbcOffersNoDialogAndNothingChanges) {
    auto info = configured("Plain", &list);
    ASSERT_TRUE(sandbox.writeString("Plain", "TranslationName", "Kept"));
    EXPECT_EQ(BaseGetTranslator(nullptr, info.get()), koSuccess);
    EXPECT_EQ(info->setupInfoCount, setupInfoTableCount);
    EXPECT_EQ(info->setupInfo, setupInfoTable);
    EXPECT_FALSE(info->flags & DSNInfoStruct::ownsSetupInfo);
    EXPECT_TRUE(koScriptTakeShownBoxes().empty()) << "nothing alarming is shown";
    EXPECT_EQ(KoErrorKeeper::getLastError(), nullptr);
}

#define CHILD_CHECK(cond)                                                                                    \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            fprintf(stderr, "check failed (line %d): %s\n", __LINE__, #cond);                                \
            std::exit(1);                                                                                    \
        }                                                                                                    \
    } while (0)

// The installer is chosen once per process, so the dialog that answers runs in a process of its own.
TEST(TranslatorDialog, TheChoiceIsAppendedAndCancelChangesNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    kotest::TempDir temp;
    auto child = [&] {
        std::string search = temp.file("search"), system = temp.file("system");
        fs::create_directories(search);
        fs::create_directories(system);
        fs::copy_file(kotest::buildLib("../stubs/libodbcinst_translator.so"),
                      search + "/libodbcinst.so.2.9.9");
        fs::create_symlink("libodbcinst.so.2.9.9", search + "/libodbcinst.so.2");
        setenv("KO_LIBRARY_PATH", search.c_str(), 1);
        setenv("KO_SYSTEM_DIR", system.c_str(), 1);
        std::string seen = temp.file("seen");
        setenv("KO_TEST_TRANSLATOR_SEEN", seen.c_str(), 1);
        kotest::ScriptedUser user;
        OdbcSandbox sandbox;
        CHILD_CHECK(sandbox.writeString("Fx", "TranslationName", "Old"));
        CHILD_CHECK(sandbox.writeString("Fx", "TranslationDll", "/old.so"));
        std::string list;
        auto info = configured("Fx", &list);

        setenv("KO_TEST_TRANSLATOR", "Chosen|/lib/chosen.so|5", 1);
        CHILD_CHECK(BaseGetTranslator(nullptr, info.get()) == koSuccess);
        CHILD_CHECK(kotest::readFile(seen) == "Old|/old.so|63|255\n");
        CHILD_CHECK(info->setupInfoCount == setupInfoTableCount + 3);
        CHILD_CHECK(S(info->infoArray[setupInfoTableCount]) == "Chosen");
        CHILD_CHECK(S(info->infoArray[setupInfoTableCount + 2]) == "5");

        setenv("KO_TEST_TRANSLATOR", "cancel", 1);
        CHILD_CHECK(BaseGetTranslator(nullptr, info.get()) == koSuccess);
        CHILD_CHECK(info->setupInfoCount == setupInfoTableCount + 3);

        // A name as long as the dialog may give, and then no translator at all.
        std::string longName(80, 'n');
        setenv("KO_TEST_TRANSLATOR", (longName + "|/lib/long.so|6").c_str(), 1);
        CHILD_CHECK(BaseGetTranslator(nullptr, info.get()) == koSuccess);
        CHILD_CHECK(S(info->infoArray[setupInfoTableCount + 3]) == std::string(63, 'n'));
        setenv("KO_TEST_TRANSLATOR", "Ignored||8", 1);
        CHILD_CHECK(BaseGetTranslator(nullptr, info.get()) == koSuccess);
        CHILD_CHECK(info->setupInfoCount == setupInfoTableCount + 9);
        CHILD_CHECK(S(info->infoArray[setupInfoTableCount + 6]) == "");
        CHILD_CHECK(S(info->infoArray[setupInfoTableCount + 7]) == "");
        CHILD_CHECK(S(info->infoArray[setupInfoTableCount + 8]) == "0");
        CHILD_CHECK(SetDSNAttributes(info.get()) == 1);
        CHILD_CHECK(sandbox.storedValue("Fx", "TranslationName") == "");
        CHILD_CHECK(sandbox.storedValue("Fx", "TranslationOption") == "0");
        CHILD_CHECK(koScriptTakeShownBoxes().empty());

        // Out of memory: the choice is lost, and the page can say why.
        uint16_t rows = info->setupInfoCount;
        setenv("KO_TEST_TRANSLATOR", "Lost|/lib/lost.so|1", 1);
        ramFailAt(1, true);
        KoStatus lost = BaseGetTranslator(nullptr, info.get());
        ramFailAt(0);
        CHILD_CHECK(lost == koFailure);
        CHILD_CHECK(KoErrorKeeper::getLastErrorNumber() == koErrOutOfMemory);
        CHILD_CHECK(info->setupInfoCount == rows);
        KoErrorKeeper::clearLastError();

        // A data source not yet written starts the dialog empty.
        std::string newList = attributeList({});
        DSNInfoStruct fresh(GetDesktopWindow(), ODBC_ADD_DSN, U(OdbcSandbox::driverName), U(newList.c_str()),
                            setupInfoTable, setupInfoTableCount);
        uint16_t show = 0;
        CHILD_CHECK(fresh.config(&show) != 0);
        kotest::writeFile(seen, "");
        setenv("KO_TEST_TRANSLATOR", "cancel", 1);
        CHILD_CHECK(BaseGetTranslator(nullptr, &fresh) == koSuccess);
        CHILD_CHECK(kotest::readFile(seen) == "||63|255\n");
        info.reset();
        std::exit(0);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

} // namespace

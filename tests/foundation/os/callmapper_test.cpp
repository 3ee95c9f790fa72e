#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "foundation/foundation.h"
#include "platform/win32.h"
#include "tests/support/support.h"

namespace fs = std::filesystem;

namespace {

std::string stub(const char* name) {
    return std::string(KO_BUILD_LIB_DIR) + "/../stubs/" + name;
}

// Places a copy of a stand-in under a versioned real name, with the soname link pointing at it.
void installCopy(const std::string& dir, const std::string& realName,
                 const char* stubName = "libodbcinst_stub.so") {
    fs::create_directories(dir);
    fs::copy_file(stub(stubName), dir + "/" + realName, fs::copy_options::overwrite_existing);
    fs::remove(dir + "/libodbcinst.so.2");
    fs::create_symlink(realName, dir + "/libodbcinst.so.2");
}

// The forwarding binding is process-wide and never released, so each case runs in a fresh process
// (death tests re-execute the program) whose environment it chooses before the first call.
class InstallerBinding : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
    void useDirs(const std::string& searchDir, const std::string& systemDir) {
        setenv("KO_LIBRARY_PATH", searchDir.c_str(), 1);
        setenv("KO_SYSTEM_DIR", systemDir.c_str(), 1);
        koSetFrontEnd(koFrontEndScript);
    }
    // The path of the copy that answered.
    static std::string chosenCopy() {
        char buffer[512] = "";
        SQLGetPrivateProfileString("s", "k", "", buffer, sizeof buffer, "ODBC.INI");
        std::error_code ec;
        return fs::canonical(buffer, ec).string();
    }
    kotest::TempDir temp;
};

#define CHILD_CHECK(cond)                                                                                    \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            fprintf(stderr, "check failed: %s\n", #cond);                                                    \
            std::exit(1);                                                                                    \
        }                                                                                                    \
    } while (0)

TEST_F(InstallerBinding, NoInstallerAnywhereShowsTheMessageAtEveryCallAndRetries) {
    std::string search = temp.file("search"), sys = temp.file("system");
    fs::create_directories(search);
    fs::create_directories(sys);
    auto child1 = [&] {
        useDirs(search, sys);
        CHILD_CHECK(SQLValidDSN("x") == FALSE);
        CHILD_CHECK(SQLWriteDSNToIni("x", "d") == FALSE);
        char buf[16] = "untouched";
        CHILD_CHECK(SQLGetPrivateProfileString("s", "k", "d", buf, sizeof buf, "ODBC.INI") == 0);
        auto boxes = koScriptTakeShownBoxes();
        CHILD_CHECK(boxes.size() == 3);
        for (auto& b : boxes) {
            CHILD_CHECK(b.text == "The ODBC installer DLL (ODBCCP32.DLL) is not installed on this system.");
            CHILD_CHECK(b.caption == "ODBC Installer Error");
            CHILD_CHECK(b.style == (MB_OK | MB_ICONINFORMATION));
            CHILD_CHECK(b.owner == nullptr);
        }
        // The next call looks again and finds a library that has appeared since.
        installCopy(search, "libodbcinst.so.2.0.0");
        CHILD_CHECK(SQLValidDSN("x") == TRUE);
        CHILD_CHECK(koScriptTakeShownBoxes().empty());
        std::exit(0);
    };
    EXPECT_EXIT(child1(), ::testing::ExitedWithCode(0), "");
}

TEST_F(InstallerBinding, MissingFunctionNamesTheHostTheFunctionAndTheInstaller) {
    std::string search = temp.file("search"), sys = temp.file("system");
    installCopy(search, "libodbcinst.so.2.0.0", "libodbcinst_stub_notranslator.so");
    fs::create_directories(sys);
    auto child2 = [&] {
        useDirs(search, sys);
        char name[32], path[256];
        WORD nameLen = 0, pathLen = 0;
        DWORD option = 0;
        CHILD_CHECK(SQLGetTranslator(nullptr, name, sizeof name, &nameLen, path, sizeof path, &pathLen,
                                     &option) == FALSE);
        auto boxes = koScriptTakeShownBoxes();
        CHILD_CHECK(boxes.size() == 1);
        char host[261];
        GetModuleFileNameA(nullptr, host, sizeof host);
        std::string expected = std::string("The program ") + host +
                               ", or one of its DLLs attempted to call the function SQLGetTranslator which "
                               "is not supported in the loaded ODBC installer DLL (" +
                               fs::canonical(search + "/libodbcinst.so.2").string() +
                               ").  Press OK to proceed.";
        if (boxes[0].text != expected)
            fprintf(stderr, "got: %s\nwant: %s\n", boxes[0].text.c_str(), expected.c_str());
        CHILD_CHECK(boxes[0].text == expected);
        CHILD_CHECK(boxes[0].caption == "ODBC Installer Error");
        // The library stays loaded and its other functions work.
        CHILD_CHECK(SQLValidDSN("x") == TRUE);
        std::exit(0);
    };
    EXPECT_EXIT(child2(), ::testing::ExitedWithCode(0), "");
}

TEST_F(InstallerBinding, TheNewerSystemCopyWinsAndEqualVersionsKeepTheSearchedCopy) {
    std::string search = temp.file("search"), sys = temp.file("system");
    installCopy(search, "libodbcinst.so.2.0.0");
    installCopy(sys, "libodbcinst.so.2.1.0");
    auto child3 = [&] {
        useDirs(search, sys);
        CHILD_CHECK(chosenCopy() == fs::canonical(sys + "/libodbcinst.so.2.1.0").string());
        std::exit(0);
    };
    EXPECT_EXIT(child3(), ::testing::ExitedWithCode(0), "");
    installCopy(sys, "libodbcinst.so.2.0.0");
    auto child4 = [&] {
        useDirs(search, sys);
        CHILD_CHECK(chosenCopy() == fs::canonical(search + "/libodbcinst.so.2.0.0").string());
        std::exit(0);
    };
    EXPECT_EXIT(child4(), ::testing::ExitedWithCode(0), "");
    installCopy(search, "libodbcinst.so.2.3.0");
    auto child5 = [&] {
        useDirs(search, sys);
        CHILD_CHECK(chosenCopy() == fs::canonical(search + "/libodbcinst.so.2.3.0").string());
        std::exit(0);
    };
    EXPECT_EXIT(child5(), ::testing::ExitedWithCode(0), "");
}

TEST_F(InstallerBinding, ASmallUnversionedSystemCopyIsMovedAside) {
    std::string search = temp.file("search"), sys = temp.file("system");
    installCopy(search, "libodbcinst.so.2.0.0");
    fs::create_directories(sys);
    kotest::writeFile(sys + "/stub.so", std::string(19999, 'x'));
    fs::create_symlink("stub.so", sys + "/libodbcinst.so.2");
    kotest::writeFile(sys + "/libodbcinst.bad", "older");
    // Each child process re-runs the test up to its statement, so it checks its own folders.
    auto child6 = [&] {
        useDirs(search, sys);
        CHILD_CHECK(SQLValidDSN("x") == TRUE);
        CHILD_CHECK(!fs::exists(fs::symlink_status(sys + "/libodbcinst.so.2")));
        CHILD_CHECK(fs::is_symlink(sys + "/libodbcinst.bad")); // replacing the older one
        std::exit(0);
    };
    EXPECT_EXIT(child6(), ::testing::ExitedWithCode(0), "");
}

TEST_F(InstallerBinding, ALargeOrVersionedSystemCopyIsLeftAlone) {
    std::string search = temp.file("search"), sys = temp.file("system");
    installCopy(search, "libodbcinst.so.2.0.0");
    fs::create_directories(sys);
    for (auto [size, name] : {std::pair<size_t, const char*>{20000, "big.so"}, {100, "libodbcinst.so.2.9"}}) {
        fs::remove(sys + "/libodbcinst.so.2");
        kotest::writeFile(sys + "/" + name, std::string(size, 'x'));
        fs::create_symlink(name, sys + "/libodbcinst.so.2");
        auto child = [&] {
            useDirs(search, sys);
            SQLValidDSN("x");
            CHILD_CHECK(fs::is_symlink(sys + "/libodbcinst.so.2"));
            CHILD_CHECK(!fs::exists(fs::symlink_status(sys + "/libodbcinst.bad")));
            std::exit(0);
        };
        EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "") << name;
    }
}

// The binder's protected interface, opened for the tests.
class Binder : public UtlLibCallMapper {
public:
    using UtlLibCallMapper::getDLLEntryPoint;
    using UtlLibCallMapper::getInitialized;
    using UtlLibCallMapper::initialize;
    using UtlLibCallMapper::setDLLEntryPoint;
    using UtlLibCallMapper::setDLLName;
    using UtlLibCallMapper::setMaxDLLEntries;
};

const unsigned char* U(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.c_str());
}

class CallMapper : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(koLibraryLoad(), koSuccess); // the thread table that holds the error list
        kotest::useBuildResources();
        KoErrorKeeper::setErrorList(&errors);
    }
    void TearDown() override { KoErrorKeeper::giveUpErrorList(); }
    KoErrorList errors;
};

TEST_F(CallMapper, NameIsBoundedAndFrozenOnceLoaded) {
    Binder b;
    EXPECT_EQ(b.setDLLName(U(std::string(256, 'n'))), koFailure);
    EXPECT_EQ(b.setDLLName(U(std::string(255, 'n'))), koSuccess);
    EXPECT_EQ(b.setDLLName(U(kotest::buildLib("ztbtr20.so"))), koSuccess);
    EXPECT_EQ(b.getInitialized(), 0);
    ASSERT_EQ(b.initialize(), koSuccess);
    EXPECT_EQ(b.getInitialized(), 1);
    EXPECT_EQ(b.initialize(), koFailure) << "already loaded";
    EXPECT_EQ(b.setDLLName(U("other.so")), koFailure);
    EXPECT_EQ(b.setMaxDLLEntries(5), koFailure);
}

TEST_F(CallMapper, IndicesRunFromZeroToTheMaximumInclusive) {
    Binder b;
    ASSERT_EQ(b.setMaxDLLEntries(3), koSuccess);
    ASSERT_EQ(b.setDLLName(U(kotest::buildLib("ztbtr20.so"))), koSuccess);
    EXPECT_EQ(b.setDLLEntryPoint(U("BringUpDefiner"), 0), koFailure) << "nothing loaded yet";
    EXPECT_EQ(b.getDLLEntryPoint(0), nullptr);
    ASSERT_EQ(b.initialize(), koSuccess);
    EXPECT_EQ(b.getDLLEntryPoint(3), nullptr) << "slots start empty";
    EXPECT_EQ(b.setDLLEntryPoint(U("BringUpDefiner"), 3), koSuccess);
    EXPECT_NE(b.getDLLEntryPoint(3), nullptr);
    EXPECT_EQ(b.setDLLEntryPoint(U("BringUpDefiner"), 4), koFailure);
    EXPECT_EQ(b.getDLLEntryPoint(4), nullptr);
    EXPECT_EQ(errors.count, 0u) << "bounds are no library errors";
}

TEST_F(CallMapper, LoadAndLookupFailuresAreRaisedWithTheirNames) {
    Binder b;
    ASSERT_EQ(b.setDLLName(U("/nowhere/libmissing.so")), koSuccess);
    EXPECT_EQ(b.initialize(), koFailure);
    ASSERT_NE(KoErrorKeeper::getLastError(), nullptr);
    EXPECT_EQ(KoErrorKeeper::getLastErrorNumber(), 2733);
    std::string text = reinterpret_cast<const char*>(KoErrorKeeper::getLastError()->getErrorText());
    EXPECT_NE(text.find("/nowhere/libmissing.so"), std::string::npos) << text;

    // A binder whose load failed can be given another name.
    ASSERT_EQ(b.setDLLName(U(kotest::buildLib("ztbtr20.so"))), koSuccess);
    ASSERT_EQ(b.initialize(), koSuccess);
    EXPECT_EQ(b.setDLLEntryPoint(U("NoSuchDefiner"), 0), koFailure);
    EXPECT_EQ(KoErrorKeeper::getLastErrorNumber(), 2734);
    text = reinterpret_cast<const char*>(KoErrorKeeper::getLastError()->getErrorText());
    EXPECT_LT(text.find("NoSuchDefiner"), text.find("ztbtr20.so")) << text;
}

TEST_F(CallMapper, EntryTableAllocationFailureLeavesTheLibraryLoadedButNotInitialized) {
    Binder b;
    ASSERT_EQ(b.setDLLName(U(kotest::buildLib("ztbtr20.so"))), koSuccess);
    ramFailAt(1);
    EXPECT_EQ(b.initialize(), koFailure);
    ramFailAt(0);
    EXPECT_EQ(b.getInitialized(), 0);
    EXPECT_EQ(b.initialize(), koFailure) << "the module stays loaded";
    EXPECT_EQ(b.setDLLEntryPoint(U("BringUpDefiner"), 0), koFailure) << "no table to store into";
}

TEST(ProfileBinding, UnloadWithoutLoadDoesNothingAndLoadBindsBothFunctions) {
    unloadOdbcInst();
    EXPECT_EQ(koBoundGetPrivateProfileString(), nullptr);
    loadOdbcInst();
    EXPECT_NE(koBoundGetPrivateProfileString(), nullptr);
    EXPECT_NE(koBoundWritePrivateProfileString(), nullptr);
    unloadOdbcInst();
    EXPECT_EQ(koBoundWritePrivateProfileString(), nullptr);
}

} // namespace

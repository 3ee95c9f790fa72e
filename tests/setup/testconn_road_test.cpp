// The connection test through unixODBC's driver manager, against our driver and SQLite's.
#include <dlfcn.h>

#include "tests/setup/testconnsupport.h"

using tctest::Record;
using tctest::Row;

namespace {

const UINT boxStyle = MB_OKCANCEL | MB_ICONWARNING;

class Road : public tctest::TestConnectFixture {};

TEST_F(Road, ReadableDataDirectoryConnectsSilently) {
    std::string log = temp.file("driver.log");
    setenv("KO_DRIVER_LOG", log.c_str(), 1);
    Record r(
        {{"Description", "sales"}, {"Database", data}, {"DataFileExtension", "DTA"}, {"ArraySize", "4096"}});
    auto o = run(r);
    EXPECT_EQ(o.result, 1u);
    EXPECT_FALSE(o.notCompleted);
    EXPECT_TRUE(o.boxes.empty());
    EXPECT_EQ(o.attrStr, "DRIVER={ODBC Btrieve Driver};Description=sales;Database=" + data +
                             ";DataFileExtension=DTA;ArraySize=4096;");
    unsetenv("KO_DRIVER_LOG");
    EXPECT_EQ(kotest::readFile(log), o.attrStr + "\n") << "the driver receives the string unchanged";
}

// Every diagnostic record is a box of its own, in record order, owned by the record's window.
TEST_F(Road, EachDiagnosticRecordIsOneBox) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    std::string file = data + "/PERSON.DTA";
    struct Case {
        const char* what;
        std::vector<Row> rows;
        std::vector<std::string> texts;
    } cases[] = {
        {"no directory",
         {{"Database", temp.file("gone")}},
         {"[ODBC Btrieve Driver]Database: the data directory \"" + temp.file("gone") + "\" does not exist"}},
        {"a file",
         {{"Database", file}},
         {"[ODBC Btrieve Driver]Database: \"" + file + "\" is not a directory"}},
        {"no value at all",
         {{"Database", ""}},
         {"[ODBC Btrieve Driver]Database: no data directory is given"}},
        {"three problems",
         {{"ArraySize", "0"},
          {"IntlSort", "7"},
          {"Database", temp.file("gone")},
          {"UndefinedTable", "PROMPT"}},
         {"[ODBC Btrieve Driver]ArraySize must be a number from 1 to 99999, not \"0\"",
          "[ODBC Btrieve Driver]IntlSort must be a number from 0 to 1, not \"7\"",
          "[ODBC Btrieve Driver]Database: the data directory \"" + temp.file("gone") + "\" does not exist"}},
    };
    for (auto& c : cases) {
        // A Cancel does not end the boxes.
        for (size_t i = 0; i < c.texts.size(); ++i)
            koScriptAnswer(IDCANCEL);
        // Without a window the driver cannot prompt for a missing directory.
        HWND window = c.rows[0].value.empty() ? nullptr : owner;
        Record r(c.rows, kotest::OdbcSandbox::driverName, window);
        auto o = run(r);
        EXPECT_EQ(o.result, 0u) << c.what;
        EXPECT_FALSE(o.notCompleted) << c.what;
        ASSERT_EQ(o.boxes.size(), c.texts.size()) << c.what;
        for (size_t i = 0; i < c.texts.size(); ++i) {
            EXPECT_EQ(o.boxes[i].text, c.texts[i]) << c.what;
            EXPECT_EQ(o.boxes[i].caption, "Test Connect Error");
            EXPECT_EQ(o.boxes[i].style, boxStyle);
            EXPECT_EQ(o.boxes[i].answer, IDCANCEL);
            EXPECT_EQ(o.boxes[i].owner, window);
        }
    }
    DestroyWindow(owner);
}

// The driver warns of an attribute it does not know; a warning is no failure and shows nothing.
TEST_F(Road, SuccessWithInformationCountsAsSuccess) {
    Record r({{"Database", data}, {"Colour", "blue"}});
    auto o = run(r);
    EXPECT_EQ(o.result, 1u);
    EXPECT_TRUE(o.boxes.empty());
}

// A value that tries to add an attribute stays one value: here it would have named a good directory
// before the real, missing one.
TEST_F(Road, ValuesCannotInjectAttributes) {
    struct Case {
        std::vector<Row> rows;
    } cases[] = {
        {{{"Description", "x;Database=" + data}, {"Database", temp.file("gone")}}},
        {{{"Description", "{x};Database=" + data + ";"}, {"Database", temp.file("gone")}}},
        {{{"Description", "x}};Database=" + data}, {"Database", temp.file("gone")}}},
        {{{"LogonID", "u;DRIVER={SQLite3 Test Driver};Database=" + temp.file("lite.db")},
          {"Database", temp.file("gone")}}},
    };
    for (auto& c : cases) {
        Record r(c.rows);
        auto o = run(r);
        EXPECT_EQ(o.result, 0u) << o.attrStr;
        ASSERT_EQ(o.boxes.size(), 1u) << o.attrStr;
        EXPECT_NE(o.boxes[0].text.find(temp.file("gone")), std::string::npos) << o.boxes[0].text;
    }
}

// With a window, the driver asks for what the string leaves out; cancelling its prompt is no error.
TEST_F(Road, DriverPromptForTheDirectory) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    {
        ASSERT_TRUE(koScriptPush("file-cancel"));
        Record r({{"Database", ""}, {"DataFileExtension", "DTA"}}, kotest::OdbcSandbox::driverName, owner);
        auto o = run(r);
        EXPECT_EQ(o.result, 0u);
        EXPECT_TRUE(o.notCompleted);
        EXPECT_TRUE(o.boxes.empty());
    }
    {
        ASSERT_TRUE(koScriptPush(("file " + data + "/PERSON.DTA").c_str()));
        Record r({{"Database", ""}}, kotest::OdbcSandbox::driverName, owner);
        auto o = run(r);
        EXPECT_EQ(o.result, 1u);
        EXPECT_FALSE(o.notCompleted);
        EXPECT_TRUE(o.boxes.empty());
    }
    DestroyWindow(owner);
}

TEST_F(Road, SqliteDriverUnderAnotherDescription) {
    Record good({{"Database", temp.file("lite.db")}}, tctest::sqliteDriverName);
    auto o = run(good);
    EXPECT_EQ(o.result, 1u);
    EXPECT_TRUE(o.boxes.empty());
    EXPECT_EQ(o.attrStr, "DRIVER={SQLite3 Test Driver};Database=" + temp.file("lite.db") + ";");

    Record bad({{"Database", temp.file("gone") + "/lite.db"}}, tctest::sqliteDriverName);
    o = run(bad);
    EXPECT_EQ(o.result, 0u);
    ASSERT_FALSE(o.boxes.empty());
    EXPECT_EQ(o.boxes[0].caption, "Test Connect Error");
}

// Many tests in a row leave no handle behind (the leak checker watches the driver manager's and the
// driver's allocations), and connecting again after a failure works.
TEST_F(Road, RepeatedTestsHoldNothing) {
    Record good({{"Database", data}});
    Record bad({{"Database", temp.file("gone")}});
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(run(i % 2 ? bad : good).result, i % 2 ? 0u : 1u);
        void* driver = dlopen(kotest::buildLib("ztbtr20.so").c_str(), RTLD_LAZY | RTLD_NOLOAD);
        ASSERT_NE(driver, nullptr) << "the driver manager keeps the driver loaded";
        auto live = reinterpret_cast<int (*)()>(dlsym(driver, "koDriverLiveHandles"));
        ASSERT_NE(live, nullptr);
        EXPECT_EQ(live(), 0) << "run " << i;
        dlclose(driver);
    }
}

} // namespace

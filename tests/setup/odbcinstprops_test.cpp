// unixODBC's generic data-source editor asks the setup library for the driver's attributes.
#include <gtest/gtest.h>
#include <odbcinstext.h>

#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/odbcsandbox.h"

using kotest::OdbcSandbox;

namespace {

struct Expected {
    const char* name;
    const char* value;
    int prompt;
    std::vector<std::string> choices;
};

std::vector<std::string> choicesOf(HODBCINSTPROPERTY p) {
    std::vector<std::string> out;
    for (char** c = p->aPromptData; c && *c; ++c)
        out.push_back(*c);
    return out;
}

// Through the installer's own ODBCINSTConstructProperties, which loads the driver's Setup library
// as the editors do; the list then describes every attribute a setup request stores.
TEST(OdbcinstProperties, TheEditorsListDescribesEveryAttributeAndRoundTrips) {
    OdbcSandbox sandbox;
    HMODULE installer = LoadLibraryA("libodbcinst.so.2");
    ASSERT_NE(installer, nullptr);
    auto construct = reinterpret_cast<int (*)(char*, HODBCINSTPROPERTY*)>(
        GetProcAddress(installer, "ODBCINSTConstructProperties"));
    auto destruct = reinterpret_cast<int (*)(HODBCINSTPROPERTY*)>(
        GetProcAddress(installer, "ODBCINSTDestructProperties"));
    auto set = reinterpret_cast<int (*)(HODBCINSTPROPERTY, char*, char*)>(
        GetProcAddress(installer, "ODBCINSTSetProperty"));
    ASSERT_TRUE(construct && destruct && set);

    HODBCINSTPROPERTY first = nullptr;
    std::string driver = OdbcSandbox::driverName;
    ASSERT_EQ(construct(driver.data(), &first), ODBCINST_SUCCESS);
    const std::vector<Expected> expected = {
        {"Name", "", ODBCINST_PROMPTTYPE_TEXTEDIT, {}},
        {"Description", OdbcSandbox::driverName, ODBCINST_PROMPTTYPE_TEXTEDIT, {}},
        {"Driver", OdbcSandbox::driverName, ODBCINST_PROMPTTYPE_LABEL, {}},
        {"Database", "", ODBCINST_PROMPTTYPE_FILENAME, {}},
        {"UndefinedTable", "PROMPT", ODBCINST_PROMPTTYPE_LISTBOX, {"PROMPT", "ERROR"}},
        {"DataFileExtension", "DTA", ODBCINST_PROMPTTYPE_TEXTEDIT, {}},
        {"FileOpenCache", "0", ODBCINST_PROMPTTYPE_TEXTEDIT, {}},
        {"UseLongQualifiers", "0", ODBCINST_PROMPTTYPE_LISTBOX, {"0", "1"}},
        {"LogonID", "", ODBCINST_PROMPTTYPE_TEXTEDIT, {}},
        {"IntlSort", "0", ODBCINST_PROMPTTYPE_LISTBOX, {"0", "1"}},
        {"ArraySize", "4096", ODBCINST_PROMPTTYPE_TEXTEDIT, {}},
        {"ApplicationUsingThreads", "1", ODBCINST_PROMPTTYPE_LISTBOX, {"0", "1"}},
    };
    size_t i = 0;
    for (HODBCINSTPROPERTY p = first; p; p = p->pNext, ++i) {
        ASSERT_LT(i, expected.size()) << "unexpected property " << p->szName;
        const Expected& e = expected[i];
        EXPECT_STREQ(p->szName, e.name);
        EXPECT_STREQ(p->szValue, e.value) << e.name;
        EXPECT_EQ(p->nPromptType, e.prompt) << e.name;
        EXPECT_EQ(choicesOf(p), e.choices) << e.name;
        if (i >= 3) {
            EXPECT_NE(p->pszHelp, nullptr) << e.name << " has no help";
        }
    }
    EXPECT_EQ(i, expected.size());
    std::string database = first->pNext->pNext->pNext->pszHelp;
    EXPECT_NE(database.find("127"), std::string::npos) << "the edit's limit is told: " << database;

    // An editor fills the list in and writes it as a data source; every value lands as given.
    char name[] = "Name", ut[] = "UndefinedTable", db[] = "Database";
    char dsn[] = "Edited", error[] = "ERROR", dir[] = "/srv/edited";
    ASSERT_EQ(set(first, name, dsn), ODBCINST_SUCCESS);
    ASSERT_EQ(set(first, ut, error), ODBCINST_SUCCESS);
    ASSERT_EQ(set(first, db, dir), ODBCINST_SUCCESS);
    std::string list;
    for (HODBCINSTPROPERTY p = first; p; p = p->pNext) {
        std::string key = p->szName;
        if (key == "Driver") continue;
        list += (key == "Name" ? std::string("DSN") : key) + "=" + p->szValue + std::string(1, '\0');
    }
    list += '\0';
    ASSERT_TRUE(sandbox.configDataSource(ODBC_ADD_DSN, OdbcSandbox::driverName, list))
        << sandbox.installerError();
    for (HODBCINSTPROPERTY p = first->pNext->pNext->pNext; p; p = p->pNext)
        EXPECT_EQ(sandbox.storedValue("Edited", p->szName), p->szValue) << p->szName;
    EXPECT_EQ(destruct(&first), ODBCINST_SUCCESS);
    FreeLibrary(installer);
}

} // namespace

// btrdsn test: the connection test of a stored data source from the command line.
#include "tests/setup/testconnsupport.h"
#include "tests/setup/toolrun.h"

namespace {

class ToolTest : public tctest::TestConnectFixture {
protected:
    void store(const std::string& dsn, const std::string& driver,
               const std::vector<std::pair<std::string, std::string>>& entries) {
        ASSERT_TRUE(sandbox.writeString(dsn, "Driver", driver));
        for (auto& [k, v] : entries)
            ASSERT_TRUE(sandbox.writeString(dsn, k, v));
    }
};

TEST_F(ToolTest, ExitStatusAndRecordsOnStandardError) {
    store("Good", kotest::OdbcSandbox::driverName, {{"Database", data}, {"ArraySize", "4096"}});
    store("Bad", kotest::OdbcSandbox::driverName, {{"Database", temp.file("gone")}, {"ArraySize", "0"}});
    store("Lite", tctest::sqliteDriverName, {{"Database", temp.file("lite.db")}});
    store("Odd;Name", kotest::OdbcSandbox::driverName, {{"Database", data}});
    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> lines; // each must appear, in this order
    } cases[] = {
        {{"test", "Good"}, 0, {"connected to \"Good\"\n"}},
        {{"test", "DSN=good"}, 0, {"connected to \"good\"\n"}},
        {{"test", "Lite"}, 0, {"connected to \"Lite\"\n"}},
        {{"test", "Odd;Name"}, 0, {"connected to \"Odd;Name\"\n"}},
        {{"test", "Bad"},
         1,
         {"[HY024] [ODBC Btrieve Driver]ArraySize must be a number from 1 to 99999, not \"0\"\n",
          "[08001] [ODBC Btrieve Driver]Database: the data directory \"" + temp.file("gone") +
              "\" does not exist\n",
          "btrdsn: test failed: cannot connect to \"Bad\"\n"}},
        {{"test", "Missing"}, 1, {"[IM002] ", "btrdsn: test failed: cannot connect to \"Missing\"\n"}},
        {{"test"}, 2, {"btrdsn: test: give one data source name\n"}},
        {{"test", "A", "B"}, 2, {"btrdsn: test: give one data source name\n"}},
    };
    for (auto& c : cases) {
        kotest::ToolResult r = kotest::runTool(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.back() << "\n" << r.out;
        size_t at = 0;
        for (auto& line : c.lines) {
            size_t found = r.out.find(line, at);
            EXPECT_NE(found, std::string::npos) << "missing: " << line << "\nin: " << r.out;
            if (found != std::string::npos) at = found + line.size();
        }
    }
}

} // namespace

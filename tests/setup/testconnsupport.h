#pragma once
// Shared pieces of the connection-test tests: a record over a table of rows of the test's choosing,
// and a fixture with a private unixODBC configuration that registers our driver and SQLite's.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/foundation.h"
#include "platform/win32.h"
#include "setup/setup.h"
#include "tests/support/odbcsandbox.h"

namespace tctest {

struct Row {
    std::string keyword;
    std::string value;
    std::string abbreviation = "";
    bool null = false; // the row holds no value at all
};

// A record whose attribute table is rows, with each row's value.
class Record {
public:
    explicit Record(std::vector<Row> rows, std::string driver = kotest::OdbcSandbox::driverName,
                    HWND window = nullptr)
        : rows_(std::move(rows)), driver_(std::move(driver)) {
        for (const Row& r : rows_) {
            SetupInfo s{};
            s.keyword = u(r.keyword);
            s.abbreviation = u(r.abbreviation);
            table_.push_back(s);
        }
        info_ = std::make_unique<DSNInfoStruct>(window, 2, u(driver_), nullptr, table_.data(),
                                                static_cast<uint16_t>(table_.size()));
        info_->infoArray =
            static_cast<unsigned char**>(ramAllocZ(uint32_t(sizeof(unsigned char*) * rows_.size())));
        for (size_t i = 0; i < rows_.size(); ++i)
            if (!rows_[i].null) info_->infoArray[i] = ramAllocStr(u(rows_[i].value));
    }
    DSNInfoStruct* info() { return info_.get(); }

private:
    static const unsigned char* u(const std::string& s) {
        return reinterpret_cast<const unsigned char*>(s.c_str());
    }
    std::vector<Row> rows_;
    std::string driver_;
    std::vector<SetupInfo> table_;
    std::unique_ptr<DSNInfoStruct> info_;
};

inline const char* sqliteDriverName = "SQLite3 Test Driver";
inline const char* sqliteDriverPath = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

struct Outcome {
    unsigned int result;
    bool notCompleted;
    std::string attrStr;
    std::vector<KoShownBox> boxes;
};

// A private configuration with both drivers, the script front end and an error list of its own.
class TestConnectFixture : public ::testing::Test {
protected:
    void SetUp() override {
        kotest::useBuildResources();
        ASSERT_EQ(koLibraryLoad(), koSuccess);
        KoErrorKeeper::setErrorList(&errors);
        kotest::writeFile(sandbox.odbcinstIniPath(), kotest::readFile(sandbox.odbcinstIniPath()) + "[" +
                                                         sqliteDriverName + "]\nDriver=" + sqliteDriverPath +
                                                         "\n");
        data = temp.file("data");
        ASSERT_EQ(CreateDirectoryA(data.c_str(), nullptr), TRUE);
        kotest::writeFile(data + "/PERSON.DTA", "");
    }
    void TearDown() override { KoErrorKeeper::giveUpErrorList(); }

    Outcome run(Record& record) {
        TestConnect test(record.info());
        Outcome o;
        o.result = test.testConnect();
        o.notCompleted = test.isNotCompleted();
        o.attrStr = test.getAttrStr() ? reinterpret_cast<const char*>(test.getAttrStr()) : "<none>";
        o.boxes = koScriptTakeShownBoxes();
        return o;
    }

    kotest::ScriptedUser user;
    kotest::OdbcSandbox sandbox;
    kotest::TempDir temp;
    std::string data; // a readable data directory with one data file
    KoErrorList errors;
};

} // namespace tctest

#pragma once
// The stand-in driver's handles and their diagnostic records.
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#define DRIVER_API extern "C" __attribute__((visibility("default")))

namespace btrdrv {

// The prefix every message of this driver carries, as ODBC components name themselves.
inline const char* const messagePrefix = "[ODBC Btrieve Driver]";

struct DiagRecord {
    std::string state;   // five characters
    SQLINTEGER native;   // 0: none of our own
    std::string message; // prefix included
};

// What every handle has: a magic number that tells its kind, and the records of its last call.
struct Handle {
    enum Kind : unsigned { env = 0x454e5631, dbc = 0x44424331, stmt = 0x53544d31 };
    explicit Handle(Kind k);
    ~Handle();
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    unsigned kind;
    SQLRETURN lastResult = SQL_SUCCESS;
    std::vector<DiagRecord> records;

    void clear() {
        records.clear();
        lastResult = SQL_SUCCESS;
    }
    // Adds one record and returns result, so a failing path can end in one line.
    SQLRETURN post(const char* state, const std::string& text, SQLRETURN result = SQL_ERROR);
};

struct Environment : Handle {
    Environment() : Handle(env) {}
    SQLINTEGER odbcVersion = SQL_OV_ODBC3;
    int connections = 0;
};

struct Connection : Handle {
    explicit Connection(Environment* e) : Handle(dbc), environment(e) {}
    Environment* environment;
    bool connected = false;
    int statements = 0;
    std::string dataSource; // DSN of the connection, "" for a DRIVER= connection
    std::string database;   // the data directory
    SQLUINTEGER loginTimeout = 0;
};

struct Statement : Handle {
    explicit Statement(Connection* c) : Handle(stmt), connection(c) {}
    Connection* connection;
};

// The handle behind an ODBC handle of the given kind, or null when it is not one of ours.
Handle* handleOf(SQLHANDLE h, SQLSMALLINT type);

// Copies text into an application buffer of size bytes (terminated, cut when short) and stores its
// full length; SQL_SUCCESS_WITH_INFO (01004 posted on owner) when it was cut.
SQLRETURN copyOut(Handle* owner, const std::string& text, SQLCHAR* buffer, SQLSMALLINT size,
                  SQLSMALLINT* length);

} // namespace btrdrv

#include "tools/tooltest.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <string>
#include <strings.h>

namespace btrdsn {

namespace {

void printRecords(SQLSMALLINT type, SQLHANDLE handle) {
    for (SQLSMALLINT n = 1;; ++n) {
        SQLCHAR state[6] = "", message[SQL_MAX_MESSAGE_LENGTH + 1] = "";
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRec(type, handle, n, state, &native, message, sizeof message, &length);
        if (!SQL_SUCCEEDED(rc)) break;
        std::fprintf(stderr, "[%s] %s\n", reinterpret_cast<char*>(state), reinterpret_cast<char*>(message));
    }
}

// A name written as the connection-string grammar reads it back whole.
std::string braced(const std::string& name) {
    std::string s = "{";
    for (char c : name) {
        s += c;
        if (c == '}') s += '}';
    }
    return s + "}";
}

} // namespace

int testDataSource(int argc, char** argv) {
    if (argc != 1 || argv[0][0] == '-') {
        std::fprintf(stderr, "btrdsn: test: give one data source name\n");
        return 2;
    }
    std::string name = argv[0];
    if (!strncasecmp(name.c_str(), "DSN=", 4)) name = name.substr(4);

    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
        std::fprintf(stderr, "btrdsn: test failed: the driver manager cannot allocate an environment\n");
        return 1;
    }
    int status = 1;
    if (!SQL_SUCCEEDED(
            SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
        !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        printRecords(SQL_HANDLE_ENV, env);
        std::fprintf(stderr, "btrdsn: test failed: the driver manager cannot allocate a connection\n");
    } else {
        std::string in = "DSN=" + braced(name) + ";";
        SQLCHAR out[1024];
        SQLSMALLINT outLength = 0;
        SQLRETURN rc = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(in.data()), SQL_NTS, out,
                                        sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
        // Warnings of a connection that was made are shown too, as isql does.
        printRecords(SQL_HANDLE_DBC, dbc);
        if (SQL_SUCCEEDED(rc)) {
            std::printf("connected to \"%s\"\n", name.c_str());
            status = 0;
            if (SQLDisconnect(dbc) == SQL_ERROR) {
                printRecords(SQL_HANDLE_DBC, dbc);
                std::fprintf(stderr, "btrdsn: test failed: \"%s\" did not disconnect\n", name.c_str());
                status = 1;
            }
        } else {
            std::fprintf(stderr, "btrdsn: test failed: cannot connect to \"%s\"\n", name.c_str());
        }
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return status;
}

} // namespace btrdsn

// The stand-in driver's connect surface, as the driver manager calls it: handles, environment and
// connection attributes, SQLConnect, SQLDriverConnect, SQLDisconnect and the information the driver
// manager asks after a connect. A connection needs a readable data directory ("Database"); every
// attribute that is wrong gets a diagnostic record of its own.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "driver/connstr.h"
#include "driver/dsnfile.h"
#include "driver/handles.h"
#include "driver/prompt.h"

using namespace btrdrv;

namespace {

enum class Check { text, number, flag, undefinedTable };

struct Keyword {
    const char* name;
    const char* abbreviation;
    Check check;
    long low, high;
};

// The attributes a data source of this driver holds, with their short keywords and their ranges.
const Keyword keywords[] = {
    {"DSN", "", Check::text, 0, 0},
    {"DRIVER", "", Check::text, 0, 0},
    {"Description", "", Check::text, 0, 0},
    {"Database", "DB", Check::text, 0, 0},
    {"UndefinedTable", "UT", Check::undefinedTable, 0, 0},
    {"DataFileExtension", "DFE", Check::text, 0, 0},
    {"FileOpenCache", "FOC", Check::number, 0, 99999},
    {"UseLongQualifiers", "ULQ", Check::flag, 0, 1},
    {"LogonID", "UID", Check::text, 0, 0},
    {"PWD", "", Check::text, 0, 0},
    {"IntlSort", "IS", Check::flag, 0, 1},
    {"ArraySize", "AS", Check::number, 1, 99999},
    {"ApplicationUsingThreads", "AUT", Check::flag, 0, 1},
    {"TranslationDLL", "", Check::text, 0, 0},
    {"TranslationName", "", Check::text, 0, 0},
    {"TranslationOption", "", Check::text, 0, 0},
    {"UseLDAP", "", Check::text, 0, 0},
    {"LDAPHost", "", Check::text, 0, 0},
    {"LDAPPort", "", Check::text, 0, 0},
    {"LDAPPassword", "", Check::text, 0, 0},
    {"DistinguishedName", "", Check::text, 0, 0},
};

const Keyword* findKeyword(const std::string& k) {
    for (const Keyword& kw : keywords)
        if (!strcasecmp(k.c_str(), kw.name) || (*kw.abbreviation && !strcasecmp(k.c_str(), kw.abbreviation)))
            return &kw;
    return nullptr;
}

// The value of one attribute: the connection string first, then the data source's own entry.
struct Settings {
    std::vector<std::pair<const Keyword*, std::string>> values;
    const std::string* find(const char* name) const {
        for (auto& [k, v] : values)
            if (!std::strcmp(k->name, name)) return &v;
        return nullptr;
    }
    void set(const Keyword* k, const std::string& v) {
        for (auto& [key, value] : values)
            if (key == k) {
                value = v;
                return;
            }
        values.emplace_back(k, v);
    }
};

// Not std::to_string: its digit table is a unique symbol, which would keep the driver manager from
// ever unloading this library.
std::string decimal(long n) {
    char text[24];
    std::snprintf(text, sizeof text, "%ld", n);
    return text;
}

std::string quoted(const std::string& s) {
    return "\"" + s + "\"";
}

void checkValue(Connection* c, const Keyword* k, const std::string& v) {
    switch (k->check) {
    case Check::text:
        return;
    case Check::undefinedTable:
        if (!strcasecmp(v.c_str(), "PROMPT") || !strcasecmp(v.c_str(), "ERROR")) return;
        c->post("HY024", std::string(k->name) + " must be PROMPT or ERROR, not " + quoted(v));
        return;
    case Check::number:
    case Check::flag: {
        char* end = nullptr;
        long n = std::strtol(v.c_str(), &end, 10);
        bool digits = !v.empty() && v.find_first_not_of("0123456789") == std::string::npos;
        if (digits && v.size() <= 6 && *end == 0 && n >= k->low && n <= k->high) return;
        c->post("HY024", std::string(k->name) + " must be a number from " + decimal(k->low) + " to " +
                             decimal(k->high) + ", not " + quoted(v));
        return;
    }
    }
}

// The data directory must exist, be a directory and be readable.
void checkDatabase(Connection* c, const std::string& dir) {
    struct stat st;
    if (stat(dir.c_str(), &st) != 0) {
        c->post("08001", "Database: the data directory " + quoted(dir) + " does not exist");
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        c->post("08001", "Database: " + quoted(dir) + " is not a directory");
        return;
    }
    DIR* d = opendir(dir.c_str());
    if (!d) {
        c->post("08001", "Database: the data directory " + quoted(dir) + " cannot be read");
        return;
    }
    closedir(d);
}

// Takes what the connection string leaves out from the data source's entry.
void fillFromDataSource(const std::string& dsn, Settings* s) {
    for (const auto& [key, value] : dataSourceEntries(dsn)) {
        const Keyword* k = findKeyword(key);
        if (!k || !std::strcmp(k->name, "DSN") || !std::strcmp(k->name, "DRIVER") || s->find(k->name))
            continue;
        s->set(k, value);
    }
}

// The whole connect: attributes, checks, the prompt for a missing directory, the completed string.
SQLRETURN connectWith(Connection* c, const std::string& text, HWND window, SQLUSMALLINT completion,
                      std::string* completed) {
    if (c->connected) return c->post("08002", "The connection is already open");
    std::vector<Attribute> attributes;
    size_t where = 0;
    if (!parseConnectionString(text, &attributes, &where))
        return c->post("08001", "The connection string cannot be read at offset " + decimal(where));

    Settings settings;
    for (const Attribute& a : attributes) {
        const Keyword* k = findKeyword(a.keyword);
        if (!k) {
            c->post("01S00", "Invalid connection string attribute " + quoted(a.keyword),
                    SQL_SUCCESS_WITH_INFO);
            continue;
        }
        // The first occurrence of an attribute counts.
        if (!settings.find(k->name)) settings.set(k, a.value);
    }
    // Copies, not pointers: filling in from the data source adds to the settings.
    const std::string dsn = settings.find("DSN") ? *settings.find("DSN") : "";
    if (!dsn.empty() && !settings.find("DRIVER")) fillFromDataSource(dsn, &settings);

    for (auto& [k, v] : settings.values)
        if (!v.empty()) checkValue(c, k, v);

    std::string directory = settings.find("Database") ? *settings.find("Database") : "";
    if (directory.empty()) {
        bool mayPrompt = window != nullptr && completion != SQL_DRIVER_NOPROMPT;
        PromptResult r = mayPrompt ? promptForDirectory(window, &directory) : PromptResult::unavailable;
        if (r == PromptResult::cancelled) {
            c->clear();
            return SQL_NO_DATA;
        }
        if (r == PromptResult::unavailable)
            c->post("08001", "Database: no data directory is given");
        else
            settings.set(findKeyword("Database"), directory);
    }
    if (!directory.empty()) checkDatabase(c, directory);
    if (c->lastResult == SQL_ERROR) return SQL_ERROR;

    c->connected = true;
    c->dataSource = dsn;
    c->database = directory;
    completed->clear();
    for (auto& [k, v] : settings.values)
        *completed += formatAttribute(k->name, v);
    return c->lastResult;
}

// A test names a file in KO_DRIVER_LOG to see each connection string exactly as the driver received it.
void logConnect(const std::string& text) {
    const char* log = std::getenv("KO_DRIVER_LOG");
    if (!log || !*log) return;
    if (FILE* f = std::fopen(log, "a")) {
        std::fprintf(f, "%s\n", text.c_str());
        std::fclose(f);
    }
}

std::string fromCounted(const SQLCHAR* s, SQLSMALLINT n) {
    if (!s) return "";
    if (n == SQL_NTS) return reinterpret_cast<const char*>(s);
    return n > 0 ? std::string(reinterpret_cast<const char*>(s), size_t(n)) : "";
}

template <class T> T* as(SQLHANDLE h, SQLSMALLINT type) {
    return static_cast<T*>(handleOf(h, type));
}

} // namespace

DRIVER_API SQLRETURN SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
    if (!output) return SQL_ERROR;
    switch (type) {
    case SQL_HANDLE_ENV: {
        auto* e = new (std::nothrow) Environment;
        *output = e;
        return e ? SQL_SUCCESS : SQL_ERROR;
    }
    case SQL_HANDLE_DBC: {
        Environment* e = as<Environment>(input, SQL_HANDLE_ENV);
        if (!e) return SQL_INVALID_HANDLE;
        e->clear();
        auto* c = new (std::nothrow) Connection(e);
        *output = c;
        if (!c) return e->post("HY001", "Memory allocation error");
        ++e->connections;
        return SQL_SUCCESS;
    }
    case SQL_HANDLE_STMT: {
        Connection* c = as<Connection>(input, SQL_HANDLE_DBC);
        if (!c) return SQL_INVALID_HANDLE;
        c->clear();
        *output = SQL_NULL_HSTMT;
        if (!c->connected) return c->post("08003", "Connection not open");
        auto* s = new (std::nothrow) Statement(c);
        *output = s;
        if (!s) return c->post("HY001", "Memory allocation error");
        ++c->statements;
        return SQL_SUCCESS;
    }
    default:
        return SQL_ERROR;
    }
}

DRIVER_API SQLRETURN SQLFreeHandle(SQLSMALLINT type, SQLHANDLE h) {
    switch (type) {
    case SQL_HANDLE_ENV: {
        Environment* e = as<Environment>(h, type);
        if (!e) return SQL_INVALID_HANDLE;
        e->clear();
        if (e->connections)
            return e->post("HY010", "Function sequence error: connections are still allocated");
        e->kind = 0;
        delete e;
        return SQL_SUCCESS;
    }
    case SQL_HANDLE_DBC: {
        Connection* c = as<Connection>(h, type);
        if (!c) return SQL_INVALID_HANDLE;
        c->clear();
        if (c->connected) return c->post("HY010", "Function sequence error: the connection is still open");
        --c->environment->connections;
        c->kind = 0;
        delete c;
        return SQL_SUCCESS;
    }
    case SQL_HANDLE_STMT: {
        Statement* s = as<Statement>(h, type);
        if (!s) return SQL_INVALID_HANDLE;
        --s->connection->statements;
        s->kind = 0;
        delete s;
        return SQL_SUCCESS;
    }
    default:
        return SQL_ERROR;
    }
}

DRIVER_API SQLRETURN SQLFreeStmt(SQLHSTMT h, SQLUSMALLINT option) {
    if (!as<Statement>(h, SQL_HANDLE_STMT)) return SQL_INVALID_HANDLE;
    return option == SQL_DROP ? SQLFreeHandle(SQL_HANDLE_STMT, h) : SQL_SUCCESS;
}

DRIVER_API SQLRETURN SQLSetEnvAttr(SQLHENV h, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
    Environment* e = as<Environment>(h, SQL_HANDLE_ENV);
    if (!e) return SQL_INVALID_HANDLE;
    e->clear();
    auto n = static_cast<SQLINTEGER>(reinterpret_cast<SQLLEN>(value));
    switch (attribute) {
    case SQL_ATTR_ODBC_VERSION:
        if (n != SQL_OV_ODBC2 && n != SQL_OV_ODBC3) return e->post("HY024", "Invalid attribute value");
        e->odbcVersion = n;
        return SQL_SUCCESS;
    case SQL_ATTR_OUTPUT_NTS:
    case SQL_ATTR_CONNECTION_POOLING:
    case SQL_ATTR_CP_MATCH:
        return SQL_SUCCESS;
    default:
        return e->post("HY092", "Invalid attribute/option identifier");
    }
}

DRIVER_API SQLRETURN SQLGetEnvAttr(SQLHENV h, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                                   SQLINTEGER* length) {
    Environment* e = as<Environment>(h, SQL_HANDLE_ENV);
    if (!e) return SQL_INVALID_HANDLE;
    e->clear();
    SQLINTEGER v;
    switch (attribute) {
    case SQL_ATTR_ODBC_VERSION:
        v = e->odbcVersion;
        break;
    case SQL_ATTR_OUTPUT_NTS:
        v = SQL_TRUE;
        break;
    default:
        return e->post("HY092", "Invalid attribute/option identifier");
    }
    if (value) *static_cast<SQLINTEGER*>(value) = v;
    if (length) *length = sizeof v;
    return SQL_SUCCESS;
}

DRIVER_API SQLRETURN SQLSetConnectAttr(SQLHDBC h, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
    Connection* c = as<Connection>(h, SQL_HANDLE_DBC);
    if (!c) return SQL_INVALID_HANDLE;
    c->clear();
    switch (attribute) {
    case SQL_ATTR_LOGIN_TIMEOUT:
        c->loginTimeout = static_cast<SQLUINTEGER>(reinterpret_cast<SQLULEN>(value));
        return SQL_SUCCESS;
    case SQL_ATTR_AUTOCOMMIT:
    case SQL_ATTR_ACCESS_MODE:
    case SQL_ATTR_CONNECTION_TIMEOUT:
    case SQL_ATTR_QUIET_MODE:
    case SQL_ATTR_TRACE:
    case SQL_ATTR_ODBC_CURSORS:
        return SQL_SUCCESS;
    default:
        return c->post("HYC00", "Optional feature not implemented");
    }
}

DRIVER_API SQLRETURN SQLGetConnectAttr(SQLHDBC h, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                                       SQLINTEGER* length) {
    Connection* c = as<Connection>(h, SQL_HANDLE_DBC);
    if (!c) return SQL_INVALID_HANDLE;
    c->clear();
    SQLUINTEGER v;
    switch (attribute) {
    case SQL_ATTR_LOGIN_TIMEOUT:
        v = c->loginTimeout;
        break;
    case SQL_ATTR_AUTOCOMMIT:
        v = SQL_AUTOCOMMIT_ON;
        break;
    case SQL_ATTR_ACCESS_MODE:
        v = SQL_MODE_READ_WRITE;
        break;
    case SQL_ATTR_CONNECTION_DEAD:
        v = c->connected ? SQL_CD_FALSE : SQL_CD_TRUE;
        break;
    default:
        return c->post("HYC00", "Optional feature not implemented");
    }
    if (value) *static_cast<SQLUINTEGER*>(value) = v;
    if (length) *length = sizeof v;
    return SQL_SUCCESS;
}

DRIVER_API SQLRETURN SQLDriverConnect(SQLHDBC h, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength,
                                      SQLCHAR* out, SQLSMALLINT outSize, SQLSMALLINT* outLength,
                                      SQLUSMALLINT completion) {
    Connection* c = as<Connection>(h, SQL_HANDLE_DBC);
    if (!c) return SQL_INVALID_HANDLE;
    c->clear();
    std::string completed, text = fromCounted(in, inLength);
    logConnect(text);
    SQLRETURN rc = connectWith(c, text, static_cast<HWND>(window), completion, &completed);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return rc;
    if (copyOut(c, completed, out, outSize, outLength) != SQL_SUCCESS) rc = SQL_SUCCESS_WITH_INFO;
    return rc;
}

DRIVER_API SQLRETURN SQLConnect(SQLHDBC h, SQLCHAR* dsn, SQLSMALLINT dsnLength, SQLCHAR* user,
                                SQLSMALLINT userLength, SQLCHAR* password, SQLSMALLINT passwordLength) {
    Connection* c = as<Connection>(h, SQL_HANDLE_DBC);
    if (!c) return SQL_INVALID_HANDLE;
    c->clear();
    std::string text = formatAttribute("DSN", fromCounted(dsn, dsnLength));
    if (user && userLength != 0) text += formatAttribute("UID", fromCounted(user, userLength));
    if (password && passwordLength != 0)
        text += formatAttribute("PWD", fromCounted(password, passwordLength));
    std::string completed;
    logConnect(text);
    return connectWith(c, text, nullptr, SQL_DRIVER_NOPROMPT, &completed);
}

DRIVER_API SQLRETURN SQLDisconnect(SQLHDBC h) {
    Connection* c = as<Connection>(h, SQL_HANDLE_DBC);
    if (!c) return SQL_INVALID_HANDLE;
    c->clear();
    if (!c->connected) return c->post("08003", "Connection not open");
    if (c->statements) return c->post("HY010", "Function sequence error: statements are still allocated");
    c->connected = false;
    return SQL_SUCCESS;
}

DRIVER_API SQLRETURN SQLGetInfo(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT size,
                                SQLSMALLINT* length) {
    Connection* c = as<Connection>(h, SQL_HANDLE_DBC);
    if (!c) return SQL_INVALID_HANDLE;
    c->clear();
    auto text = [&](const std::string& s) {
        return copyOut(c, s, static_cast<SQLCHAR*>(value), size, length);
    };
    auto u16 = [&](SQLUSMALLINT v) {
        if (value) *static_cast<SQLUSMALLINT*>(value) = v;
        if (length) *length = sizeof v;
        return SQL_SUCCESS;
    };
    auto u32 = [&](SQLUINTEGER v) {
        if (value) *static_cast<SQLUINTEGER*>(value) = v;
        if (length) *length = sizeof v;
        return SQL_SUCCESS;
    };
    switch (type) {
    case SQL_DRIVER_ODBC_VER:
        return text("03.00");
    case SQL_DRIVER_NAME:
        return text("ztbtr20.so");
    case SQL_DRIVER_VER:
        return text("02.00.0000");
    case SQL_DBMS_NAME:
        return text("Btrieve");
    case SQL_DBMS_VER:
        return text("06.15.0000");
    case SQL_DATA_SOURCE_NAME:
        return text(c->dataSource);
    case SQL_DATABASE_NAME:
        return text(c->database);
    case SQL_SERVER_NAME:
    case SQL_USER_NAME:
        return text("");
    case SQL_DATA_SOURCE_READ_ONLY:
        return text("N");
    case SQL_ODBC_VER:
        return text("03.52.0000");
    case SQL_CURSOR_COMMIT_BEHAVIOR:
    case SQL_CURSOR_ROLLBACK_BEHAVIOR:
        return u16(SQL_CB_PRESERVE);
    case SQL_TXN_CAPABLE:
        return u16(SQL_TC_NONE);
    case SQL_MAX_CONCURRENT_ACTIVITIES:
    case SQL_MAX_DRIVER_CONNECTIONS:
        return u16(0);
    case SQL_GETDATA_EXTENSIONS:
        return u32(SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER);
    case SQL_ODBC_INTERFACE_CONFORMANCE:
        return u32(SQL_OIC_CORE);
    case SQL_ASYNC_MODE:
        return u32(SQL_AM_NONE);
    default:
        return c->post("HY096", "Information type out of range");
    }
}

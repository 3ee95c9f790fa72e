// The connection test: connection string, connection attempt through the driver manager, and the
// message boxes that tell the user what went wrong.
#include "setup/testconn.h"

#include <cstring>
#include "foundation/foundation.h"
#include "platform/codepage.h"
#include "platform/window.h"
#include "setup/setup.h"

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

const char errorCaption[] = "Test Connect Error";

// LDAPPort may be left out of a data source; the directory then listens where LDAP servers do by
// default.
const uint16_t defaultLdapPort = 389;

// Rows that steer failover between servers, not the connection itself, stay out of the string.
const char* const failoverKeywords[] = {"ALTERNATESERVERS", "LOADBALANCING", "CONNECTIONRETRYCOUNT",
                                        "CONNECTIONRETRYDELAY"};
const char* const failoverShortKeywords[] = {"ASRV", "LB", "CRC", "CRD"};

bool isFailoverKeyword(const unsigned char* keyword, bool shortForm) {
    char upper[64];
    size_t n = std::strlen(reinterpret_cast<const char*>(keyword));
    if (n > sizeof upper - 1) n = sizeof upper - 1;
    std::memcpy(upper, keyword, n);
    upper[n] = 0;
    CharUpperBuffA(upper, static_cast<DWORD>(n));
    for (const char* k : shortForm ? failoverShortKeywords : failoverKeywords)
        if (!std::strcmp(upper, k)) return true;
    return false;
}

// Appends text with every "}" doubled, so that it cannot close the braces it stands in.
KoStatus appendDoublingBraces(KoString* s, const unsigned char* text) {
    for (const unsigned char* p = text; *p; ++p) {
        if (s->concat(*p)) return koFailure;
        if (*p == '}' && s->concat(static_cast<unsigned char>('}'))) return koFailure;
    }
    return koSuccess;
}

// Appends a value as the connection-string grammar reads it back unchanged: one that holds a
// separator or a brace, or begins with a blank a driver would trim, goes inside braces. Otherwise a
// value could end its pair early and add attributes of its own.
KoStatus appendValue(KoString* s, const unsigned char* value) {
    const char* v = reinterpret_cast<const char*>(value);
    bool braces = std::strpbrk(v, ";{}") != nullptr || v[0] == ' ' || v[0] == '\t';
    if (!braces) return s->concat(value);
    if (s->concat(static_cast<unsigned char>('{')) || appendDoublingBraces(s, value)) return koFailure;
    return s->concat(static_cast<unsigned char>('}'));
}

KoStatus appendPair(KoString* s, const unsigned char* keyword, const unsigned char* value) {
    if (s->concat(keyword) || s->concat(static_cast<unsigned char>('=')) || appendValue(s, value))
        return koFailure;
    return s->concat(static_cast<unsigned char>(';'));
}

bool isEmpty(const unsigned char* value) {
    return !value || !*value;
}

// Keeps an owned copy of value in *slot, replacing an earlier one; 1 when memory is short.
KoStatus keepCopy(unsigned char** slot, const unsigned char* value) {
    unsigned char* copy = ramAllocStr(value);
    if (!copy) return koFailure;
    ramFree(*slot);
    *slot = copy;
    return koSuccess;
}

// An owned copy for the directory object, or null when there is no value or no memory (*failed set).
unsigned char* copyFor(const unsigned char* value, bool* failed) {
    if (!value) return nullptr;
    unsigned char* copy = ramAllocStr(value);
    if (!copy) *failed = true;
    return copy;
}

} // namespace

TestConnect::TestConnect(DSNInfoStruct* info)
    : record(info), ownerWindow(info ? info->hwnd : nullptr), environment(SQL_NULL_HENV),
      connection(SQL_NULL_HDBC), connectString(nullptr), useLDAP(0), ldapHost(nullptr), ldapPort(nullptr),
      distinguishedName(nullptr), ldapPassword(nullptr), notCompleted(0), shortKeywords(0) {}

TestConnect::~TestConnect() {
    ramFree(connectString);
    ramFree(ldapHost);
    ramFree(ldapPort);
    ramFree(distinguishedName);
    ramFree(ldapPassword);
}

KoStatus TestConnect::buildAttrStr() {
    KoString s;
    if (s.concat(U("DRIVER={")) ||
        appendDoublingBraces(&s, record->driverDesc ? record->driverDesc : U("")) || s.concat(U("};")))
        return koFailure;

    const SetupInfo* rows = record->setupInfo;
    uint16_t count = record->setupInfoCount;
    auto valueOf = [&](uint16_t i) -> const unsigned char* {
        return record->infoArray ? record->infoArray[i] : nullptr;
    };

    useLDAP = 0;
    for (uint16_t i = 0; i < count; ++i) {
        if (std::strcmp(reinterpret_cast<const char*>(rows[i].keyword), "UseLDAP")) continue;
        uint16_t v = 0;
        if (!isEmpty(valueOf(i)) && !convert(valueOf(i), &v)) useLDAP = v;
        break;
    }

    if (!useLDAP) {
        bool shortForm = shortKeywords;
        for (uint16_t i = 0; i < count; ++i) {
            const unsigned char* keyword = shortForm ? rows[i].abbreviation : rows[i].keyword;
            const unsigned char* value = valueOf(i);
            if (isEmpty(value) || !keyword || !*keyword || isFailoverKeyword(keyword, shortForm)) continue;
            if (appendPair(&s, keyword, value)) return koFailure;
        }
    } else {
        for (uint16_t i = 0; i < count; ++i) {
            const char* keyword = reinterpret_cast<const char*>(rows[i].keyword);
            const unsigned char* value = valueOf(i);
            if (isEmpty(value) || !std::strcmp(reinterpret_cast<const char*>(value), " ")) continue;
            if (std::strcmp(keyword, "UseLDAP") && std::strcmp(keyword, "DistinguishedName") &&
                std::strncmp(keyword, "LDAP", 4))
                continue;
            if (appendPair(&s, rows[i].keyword, value)) return koFailure;
            unsigned char** slot = !std::strcmp(keyword, "LDAPHost")            ? &ldapHost
                                   : !std::strcmp(keyword, "LDAPPort")          ? &ldapPort
                                   : !std::strcmp(keyword, "DistinguishedName") ? &distinguishedName
                                   : !std::strcmp(keyword, "LDAPPassword")      ? &ldapPassword
                                                                                : nullptr;
            if (slot && keepCopy(slot, value)) return koFailure;
        }
        if (loadLDAPInfo()) {
            directory.disconnect();
            MessageBoxA(ownerWindow, "Unable to connect to specified LDAP Server", errorCaption,
                        MB_OKCANCEL | MB_ICONWARNING);
            return koFailure;
        }
        KoString* pairs = directory.getAttrString();
        KoStatus failed = pairs->length ? s.concat(pairs->text, pairs->length) : koSuccess;
        directory.disconnect();
        if (failed) return koFailure;
    }

    unsigned char* copy = ramAllocStr(s.text ? s.text : U(""), s.length);
    if (!copy) return koFailure;
    ramFree(connectString);
    connectString = copy;
    return koSuccess;
}

KoStatus TestConnect::loadLDAPInfo() {
    uint16_t port = defaultLdapPort;
    if (ldapPort && convert(ldapPort, &port)) return koFailure;

    bool failed = false;
    unsigned char* host = copyFor(ldapHost, &failed);
    unsigned char* dn = copyFor(distinguishedName, &failed);
    unsigned char* password = copyFor(ldapPassword, &failed);
    // The attributes of this driver's entries begin with the product mark and the first three letters
    // of the driver's own name, taken from the resource library's file name.
    unsigned char fileName[256];
    unsigned char* prefix = nullptr;
    if (getDllFileNameAndDirectory(resourceModule, nullptr, fileName) == 0 &&
        std::strlen(reinterpret_cast<char*>(fileName)) >= 5) {
        CharUpperA(reinterpret_cast<char*>(fileName));
        fileName[0] = 'V';
        fileName[1] = 'Z';
        fileName[5] = 0;
        prefix = copyFor(fileName, &failed);
    } else {
        failed = true;
    }
    if (failed) {
        ramFree(host);
        ramFree(dn);
        ramFree(password);
        ramFree(prefix);
        return koFailure;
    }
    if (host) directory.setHost(host);
    directory.setPort(port);
    if (dn) directory.setDistinguishedName(dn);
    if (password) directory.setPassword(password);
    directory.setAttributePrefix(prefix);

    if (directory.connect()) return koFailure;
    return directory.loadDistinguishedName(1) ? koFailure : koSuccess;
}

unsigned int TestConnect::testInit() {
    if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment) == SQL_ERROR) {
        environment = SQL_NULL_HENV;
        testError();
        return 0;
    }
    if (SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                      SQL_IS_INTEGER) == SQL_ERROR ||
        SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection) == SQL_ERROR) {
        connection = SQL_NULL_HDBC;
        testError();
        // What was allocated goes back at once: a failed test must not hold an environment.
        SQLFreeHandle(SQL_HANDLE_ENV, environment);
        environment = SQL_NULL_HENV;
        return 0;
    }
    return 1;
}

unsigned int TestConnect::testConnect() {
    notCompleted = 0;
    if (buildAttrStr()) return 0;
    if (!testInit()) return 0;
    SQLCHAR out[1024];
    size_t length = std::strlen(reinterpret_cast<char*>(connectString));
    // A length past the 16-bit field is given as "terminated" rather than cut to a wrong one.
    SQLSMALLINT given = length > 32767 ? SQLSMALLINT(SQL_NTS) : static_cast<SQLSMALLINT>(length);
    SQLRETURN rc = SQLDriverConnect(connection, ownerWindow, connectString, given, out, sizeof out, nullptr,
                                    SQL_DRIVER_COMPLETE);
    if (rc == SQL_ERROR) {
        testError();
        testTerm();
        return 0;
    }
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        notCompleted = 1;
        testTerm();
        return 0;
    }
    if (SQLDisconnect(connection) == SQL_ERROR) {
        testError();
        testTerm();
        return 0;
    }
    return testTerm();
}

unsigned int TestConnect::testTerm() {
    unsigned int result = 1;
    if (connection != SQL_NULL_HDBC) {
        if (SQLFreeHandle(SQL_HANDLE_DBC, connection) == SQL_ERROR) {
            testError();
            result = 0;
            // A connection the driver would not close keeps its handle (and the environment's);
            // close it without a word and free both, so that a failed test holds nothing.
            SQLDisconnect(connection);
            SQLFreeHandle(SQL_HANDLE_DBC, connection);
        }
        connection = SQL_NULL_HDBC;
    }
    if (environment != SQL_NULL_HENV) {
        if (SQLFreeHandle(SQL_HANDLE_ENV, environment) == SQL_ERROR) {
            testError();
            result = 0;
        }
        environment = SQL_NULL_HENV;
    }
    return result;
}

void TestConnect::testError() {
    SQLSMALLINT type = connection != SQL_NULL_HDBC ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
    SQLHANDLE handle = connection != SQL_NULL_HDBC ? connection : environment;
    for (SQLSMALLINT n = 1;; ++n) {
        SQLCHAR state[6];
        SQLINTEGER native = 0;
        SQLCHAR message[256];
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRec(type, handle, n, state, &native, message, sizeof message, &length);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        message[sizeof message - 1] = 0;
        MessageBoxA(ownerWindow, reinterpret_cast<const char*>(message), errorCaption,
                    MB_OKCANCEL | MB_ICONWARNING);
    }
}

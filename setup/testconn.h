#pragma once
// The connection test of the setup dialogs: the record's attributes become an ODBC connection string
// (read from an LDAP directory first when the data source asks for it), and a connection is opened
// through the driver manager, closed at once and its handles freed. Every diagnostic record the driver
// manager or driver gives is shown in its own message box.
#include <cstdint>
#include "foundation/errors/kostatus.h"
#include "foundation/os/koldap.h"
#include "platform/types.h"

struct DSNInfoStruct;

class KO_EXPORT TestConnect {
public:
    // Stores the record and its window; nothing is allocated before buildAttrStr and testInit.
    explicit TestConnect(DSNInfoStruct* info);
    // Frees the connection string and the LDAP copies; ODBC handles are testTerm's.
    ~TestConnect();
    TestConnect(const TestConnect&) = delete;
    TestConnect& operator=(const TestConnect&) = delete;

    // Builds the connection string from the record (and the directory); 0 on success, 1 on failure.
    KoStatus buildAttrStr();
    // Allocates the environment (ODBC 3) and the connection; 1 on success, 0 (nothing left allocated)
    // on failure.
    unsigned int testInit();
    // The whole test; 1 when the connection succeeded. No ODBC handle is left allocated on any path.
    unsigned int testConnect();
    // Frees the connection, then the environment; 1 on success, 0 when a free failed.
    unsigned int testTerm();
    // Shows every diagnostic record of the connection (or, without one, of the environment).
    void testError();
    // Connects to the directory and loads the entry's attributes as "keyword=value;" pairs; 0 on
    // success.
    KoStatus loadLDAPInfo();

    // The connection string built so far, or null.
    const unsigned char* getAttrStr() const { return connectString; }
    // 1 when the driver's prompt ended with neither success nor error (the user cancelled it).
    unsigned int isNotCompleted() const { return notCompleted; }
    // When set, rows are written under their short keywords.
    void setShortKeywords(unsigned int on) { shortKeywords = on ? 1 : 0; }

private:
    DSNInfoStruct* record;
    HWND ownerWindow;
    SQLHENV environment;
    SQLHDBC connection;
    unsigned char* connectString;
    uint16_t useLDAP;
    unsigned char* ldapHost;
    unsigned char* ldapPort;
    unsigned char* distinguishedName;
    unsigned char* ldapPassword;
    KoLDAP directory;
    unsigned int notCompleted : 1;
    unsigned int shortKeywords : 1;
};

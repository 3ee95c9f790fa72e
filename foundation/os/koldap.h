#pragma once
// Reading the connection attributes of a data source from one entry of an LDAP directory.
#include <cstdint>
#include "foundation/containers/kodictionary.h"
#include "foundation/containers/koobject.h"
#include "foundation/errors/kostatus.h"
#include "foundation/os/callmapper.h"
#include "foundation/text/kostring.h"

// The client library's own handle types, never looked into here; the tags are the library's, so a
// program that also includes its header sees the same types.
typedef struct ldap LDAP;
typedef struct ldapmsg LDAPMessage;
typedef struct berelement BerElement;
typedef struct ldapcontrol LDAPControl;
struct timeval;

// Binds the LDAP client library at run time: the thirteen functions the lookup needs, by name, in a
// fixed table, plus the optional option setter that selects protocol version 3.
class KO_EXPORT KoLDAPCallMapper : public UtlLibCallMapper {
public:
    // Entry-table indices.
    enum : uint32_t {
        idxInit = 0,
        idxSimpleBindS = 1,
        idxUnbind = 2,
        idxSearchExtS = 3,
        idxFirstEntry = 4,
        idxErr2String = 5,
        idxFirstAttribute = 6,
        idxNextAttribute = 7,
        idxGetValues = 8,
        idxValueFree = 9,
        idxMemFree = 10,
        idxMsgFree = 11,
        idxBerFree = 12,
        idxSetOption = 13, // optional: a library without it binds with its default version
        requiredEntries = 13,
    };

    KoLDAPCallMapper();
    ~KoLDAPCallMapper() override;

    // Loads the library and binds the thirteen functions in index order, stopping at the first one
    // missing (error 2734). Once the library is loaded a later call binds only what is still
    // missing. The library is the name derived from the host program, then the system's client.
    KoStatus bindLibrary();
    // 1 once the library is loaded (even when a function was missing).
    int getMapperInitialzed();
    // 1 when every one of the thirteen functions is bound.
    int isComplete();

    // The library name derived from a module's file name: "XRVFLDAP.DLL" when the base name begins
    // with those two letters (any case), else "VZLDAP" + its last two characters + ".DLL". out holds
    // at least 141 bytes. 1 for an empty name.
    static KoStatus deriveLibraryName(const unsigned char* modulePath, unsigned char* out);

    // Forwarders: each calls the bound function with the caller's arguments. An unbound function is
    // never called; its forwarder answers as the library does for a failure (null, an error code,
    // or nothing).
    LDAP* ldap_init(const char* host, int port);
    int ldap_simple_bind_s(LDAP* ld, const char* who, const char* password);
    int ldap_unbind(LDAP* ld);
    int ldap_search_ext_s(LDAP* ld, const char* base, int scope, const char* filter, char** attrs,
                          int attrsonly, LDAPControl** serverctrls, LDAPControl** clientctrls,
                          struct timeval* timeout, int sizelimit, LDAPMessage** res);
    LDAPMessage* ldap_first_entry(LDAP* ld, LDAPMessage* chain);
    char* ldap_err2string(int err);
    char* ldap_first_attribute(LDAP* ld, LDAPMessage* entry, BerElement** ber);
    char* ldap_next_attribute(LDAP* ld, LDAPMessage* entry, BerElement* ber);
    char** ldap_get_values(LDAP* ld, LDAPMessage* entry, const char* target);
    void ldap_value_free(char** vals);
    void ldap_memfree(void* p);
    int ldap_msgfree(LDAPMessage* lm);
    void ber_free(BerElement* ber, int freebuf);
    // 1 (and nothing done) when the library has no option setter.
    int ldap_set_option(LDAP* ld, int option, const void* invalue);
};

// One directory lookup: bind with a distinguished name and password, read the first entry found at
// the distinguished name (or a separate search base), and take every attribute whose name begins
// with the prefix, the prefix cut off, either as "keyword=value;" pairs or into a dictionary.
class KO_EXPORT KoLDAP : public KoObject {
public:
    KoLDAP();
    // Closes a handle still open, then releases everything owned.
    ~KoLDAP() override;
    KoLDAP(const KoLDAP&) = delete;
    KoLDAP& operator=(const KoLDAP&) = delete;

    // Setters of the owned texts take ownership of a ramAlloc'ed text and free the one replaced.
    void setHost(unsigned char* value);
    void setPort(uint16_t value);
    void setDistinguishedName(unsigned char* value);
    void setPassword(unsigned char* value);
    void setAttributePrefix(unsigned char* value);
    void setDITBase(unsigned char* value);
    void setScope(uint16_t value);
    void setFilter(unsigned char* value);
    void setDupKey(unsigned char* value);

    uint16_t isConnected();
    // The pairs of the string-mode loads so far.
    KoString* getAttrString();

    // Opens a handle for host and port (a second connect closes the earlier one first) and binds
    // with protocol version 3. Errors 2730 (no host; the attempt goes on), 2731, 2733, 2734.
    KoStatus connect();
    // Closes the handle; always 0.
    KoStatus disconnect();
    // Reads the first entry of the search. asString nonzero: appends "keyword=value;" per value to
    // the attribute string (a value holding ";", "{" or "}" enclosed in braces, "}" doubled);
    // else adds each value to the dictionary. Error 2732 when the search fails or a string-mode
    // load finds nothing.
    KoStatus loadDistinguishedName(uint16_t asString);
    // The value of keyword from dictionary-mode loads; 1, nothing raised, when it is absent.
    KoStatus findAttribute(const unsigned char* keyword, KoString** value);
    // Frees every owned text, the dictionary's keys and values and the attribute string; port,
    // scope and the connection stay.
    void reset();

private:
    // Adds one pair from the entry; 1 when memory is short.
    KoStatus addPair(const unsigned char* keyword, uint32_t keywordLength, const char* value,
                     uint16_t asString, uint32_t* dupCounter);
    // Raises error number with the library's text for result code as its parameter.
    void raiseLdapError(uint16_t number, int code);

    LDAP* handle;
    KoDictionary attributes;
    unsigned char* host;
    uint16_t port;
    unsigned char* password;
    unsigned char* distinguishedName;
    unsigned char* searchBase;
    unsigned char* attributePrefix;
    uint16_t connected;
    uint16_t scope;
    KoString attributeString;
    KoLDAPCallMapper libraryBinder;
    unsigned char* filter;
    unsigned char* dupKey;
};

#include "foundation/os/koldap.h"

#include <cstring>

#include "foundation/errors/koerrnum.h"
#include "foundation/errors/koerror.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/text/strcomp.h"

namespace {

// The library's option for the protocol version, and version 3: a stock server refuses the
// version-2 bind the library would otherwise make.
constexpr int kOptProtocolVersion = 0x0011;
constexpr int kVersion3 = 3;
// The library's result code for a server it cannot reach.
constexpr int kServerDown = -1;
constexpr uint16_t kExpectedAttributes = 20;
const unsigned char kDefaultFilter[] = "(objectclass=*)";

const char* C(const unsigned char* s) {
    return reinterpret_cast<const char*>(s);
}
const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

void replaceText(unsigned char*& field, unsigned char* value) {
    if (field != value) ramFree(field);
    field = value;
}

// A keyword a connection string cannot carry as one keyword (an attribute description with
// options holds ";"): it would split into other attributes.
bool unusableKeyword(const unsigned char* keyword, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        if (keyword[i] && std::strchr(";={}", keyword[i])) return true;
    return false;
}

// Appends value as one value of a connection string: as it is, or, when it holds a character that
// would end it or open a braced value, enclosed in braces with every "}" doubled.
KoStatus appendValue(KoString& out, const char* value) {
    if (!std::strpbrk(value, ";{}")) return out.concat(U(value));
    if (out.concat('{')) return koFailure;
    for (const char* p = value; *p;) {
        const char* close = std::strchr(p, '}');
        uint32_t n = close ? uint32_t(close - p + 1) : uint32_t(std::strlen(p));
        if (out.concat(U(p), n)) return koFailure;
        if (close && out.concat('}')) return koFailure;
        p += n;
    }
    return out.concat('}');
}

} // namespace

KoLDAP::KoLDAP()
    : handle(nullptr), host(nullptr), port(389), password(nullptr), distinguishedName(nullptr),
      searchBase(nullptr), attributePrefix(nullptr), connected(0), scope(0), filter(nullptr),
      dupKey(nullptr) {
    // A keyword loaded twice replaces the earlier pair, whose texts would otherwise be lost.
    attributes.flags = KoDictionary::ownsKeyAndData;
}

KoLDAP::~KoLDAP() {
    // A handle left open (a bind that worked before a load that failed) is closed while the library
    // is still bound.
    disconnect();
    reset();
}

void KoLDAP::setHost(unsigned char* value) {
    replaceText(host, value);
}
void KoLDAP::setPort(uint16_t value) {
    port = value;
}
void KoLDAP::setDistinguishedName(unsigned char* value) {
    replaceText(distinguishedName, value);
}
void KoLDAP::setPassword(unsigned char* value) {
    replaceText(password, value);
}
void KoLDAP::setAttributePrefix(unsigned char* value) {
    replaceText(attributePrefix, value);
}
void KoLDAP::setDITBase(unsigned char* value) {
    replaceText(searchBase, value);
}
void KoLDAP::setScope(uint16_t value) {
    scope = value;
}
void KoLDAP::setFilter(unsigned char* value) {
    replaceText(filter, value);
}
void KoLDAP::setDupKey(unsigned char* value) {
    replaceText(dupKey, value);
}

uint16_t KoLDAP::isConnected() {
    return connected;
}

KoString* KoLDAP::getAttrString() {
    return &attributeString;
}

void KoLDAP::raiseLdapError(uint16_t number, int code) {
    // The whole code: the library's own codes are negative and name the real cause.
    koRaiseError(number) << libraryBinder.ldap_err2string(code);
}

KoStatus KoLDAP::connect() {
    // Without a host the library picks its default server.
    if (!host) koRaiseError(koErrLdapNoHost);
    if (!libraryBinder.isComplete() && libraryBinder.bindLibrary()) return koFailure;
    disconnect();
    handle = libraryBinder.ldap_init(C(host), port);
    if (!handle) {
        koRaiseError(koErrLdapConnect);
        return koFailure;
    }
    // A library without the option setter binds with its default version.
    libraryBinder.ldap_set_option(handle, kOptProtocolVersion, &kVersion3);
    int rc = libraryBinder.ldap_simple_bind_s(handle, C(distinguishedName), C(password));
    if (rc != 0) {
        raiseLdapError(koErrLdapConnect, rc);
        return koFailure;
    }
    connected = 1;
    return koSuccess;
}

KoStatus KoLDAP::disconnect() {
    if (handle) libraryBinder.ldap_unbind(handle);
    handle = nullptr;
    connected = 0;
    return koSuccess;
}

KoStatus KoLDAP::loadDistinguishedName(uint16_t asString) {
    if (attributes.initialize(kExpectedAttributes)) return koFailure;
    if (!filter) {
        filter = ramAllocStr(kDefaultFilter);
        if (!filter) return koFailure;
    }
    if (!handle || !libraryBinder.isComplete()) {
        raiseLdapError(koErrLdapSearch, kServerDown);
        return koFailure;
    }
    const unsigned char* source = searchBase ? searchBase : distinguishedName;
    unsigned char* base = nullptr;
    if (source) {
        base = ramAllocStr(source);
        if (!base) return koFailure;
    }
    LDAPMessage* result = nullptr;
    int rc = libraryBinder.ldap_search_ext_s(handle, C(base), scope, C(filter), nullptr, 0, nullptr, nullptr,
                                             nullptr, 0, &result);
    ramFree(base);
    if (rc != 0) {
        if (result) libraryBinder.ldap_msgfree(result);
        raiseLdapError(koErrLdapSearch, rc);
        return koFailure;
    }

    // A load that fails leaves the pairs of earlier loads as they were, without a partial pair.
    uint32_t lengthBefore = attributeString.length;
    uint32_t prefixLength = attributePrefix ? uint32_t(std::strlen(C(attributePrefix))) : 0;
    uint32_t dupCounter = 0;
    KoStatus status = koSuccess;
    LDAPMessage* entry = libraryBinder.ldap_first_entry(handle, result);
    if (entry) {
        BerElement* iterator = nullptr;
        for (char* name = libraryBinder.ldap_first_attribute(handle, entry, &iterator); name;
             name = libraryBinder.ldap_next_attribute(handle, entry, iterator)) {
            char** values = libraryBinder.ldap_get_values(handle, entry, name);
            uint32_t nameLength = uint32_t(std::strlen(name));
            if (nameLength >= prefixLength &&
                (prefixLength == 0 || std::memcmp(name, attributePrefix, prefixLength) == 0))
                for (char** v = values; v && *v && status == koSuccess; ++v)
                    status =
                        addPair(U(name) + prefixLength, nameLength - prefixLength, *v, asString, &dupCounter);
            if (values) libraryBinder.ldap_value_free(values);
            libraryBinder.ldap_memfree(name);
            if (status) break;
        }
        if (iterator) libraryBinder.ber_free(iterator, 0);
    }
    libraryBinder.ldap_msgfree(result);
    if (status) {
        attributeString.length = lengthBefore;
        return koFailure;
    }
    if (asString && attributeString.length == 0) {
        koRaiseError(koErrLdapSearch) << "";
        return koFailure;
    }
    return koSuccess;
}

KoStatus KoLDAP::addPair(const unsigned char* keyword, uint32_t keywordLength, const char* value,
                         uint16_t asString, uint32_t* dupCounter) {
    if (asString) {
        if (unusableKeyword(keyword, keywordLength)) return koSuccess;
        if (attributeString.concat(keyword, keywordLength) || attributeString.concat('=') ||
            appendValue(attributeString, value) || attributeString.concat(';'))
            return koFailure;
        return koSuccess;
    }
    KoString* key = new KoString();
    if (!key) return koFailure;
    if (key->initialize(keyword, keywordLength)) {
        delete key;
        return koFailure;
    }
    // Occurrences of the duplicate key after the first are numbered 1, 2, ... 10, 11 ...
    if (dupKey && attributes.doesExist(key) &&
        strEqualCi(key->text, key->length, dupKey, uint32_t(std::strlen(C(dupKey))))) {
        ++*dupCounter;
        if (key->concat(*dupCounter)) {
            delete key;
            return koFailure;
        }
    }
    KoString* text = new KoString();
    if (!text || text->initialize(U(value))) {
        delete key;
        delete text;
        return koFailure;
    }
    if (attributes.addAssoc(key, text)) {
        // Stored all the same when only the growth behind it failed; then the dictionary owns both.
        if (attributes.getPtrForKey(key) != text) {
            delete key;
            delete text;
        }
        return koFailure;
    }
    return koSuccess;
}

KoStatus KoLDAP::findAttribute(const unsigned char* keyword, KoString** value) {
    if (!keyword || !value) return koFailure;
    KoSubString key(keyword);
    KoObject* found = attributes.getPtrForKey(&key);
    if (!found) return koFailure;
    *value = static_cast<KoString*>(found);
    return koSuccess;
}

void KoLDAP::reset() {
    replaceText(host, nullptr);
    replaceText(password, nullptr);
    replaceText(distinguishedName, nullptr);
    replaceText(attributePrefix, nullptr);
    replaceText(searchBase, nullptr);
    replaceText(filter, nullptr);
    replaceText(dupKey, nullptr);
    attributes.deleteKeyAndData();
    attributeString.unInitialize();
}

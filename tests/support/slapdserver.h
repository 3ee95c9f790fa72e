#pragma once
// A throw-away OpenLDAP server for the directory tests: slapd started from the machine's own
// binary on a free loopback port, with a private configuration, a small schema of its own and an
// mdb database in a temporary folder, and stopped by its process id.
//
// slapd is found through KO_SLAPD (the program's path), else the PATH, else /usr/sbin; its back-end
// modules through KO_SLAPD_MODULE_DIR, else the usual module folders. Entries are added with
// ldapadd (found the same way, or KO_LDAPADD).
#include <cstdint>
#include <string>
#include <sys/types.h>
#include "tests/support/support.h"

namespace kotest {

class SlapdServer {
public:
    static constexpr const char* suffix = "cn=kotest";
    static constexpr const char* rootDn = "cn=admin,cn=kotest";
    static constexpr const char* rootPassword = "root-secret";
    // Names of the generated attribute types VZBTRA0 .. VZBTRA<manyAttributes - 1>.
    static constexpr unsigned manyAttributes = 2000;

    // Starts the server with the suffix entry; throws std::runtime_error telling why it cannot.
    SlapdServer();
    // Stops the server.
    ~SlapdServer();
    SlapdServer(const SlapdServer&) = delete;
    SlapdServer& operator=(const SlapdServer&) = delete;

    uint16_t port() const { return port_; }
    pid_t pid() const { return pid_; }
    std::string url() const;
    // Adds the entries of an LDIF text as the root; throws with ldapadd's output when it fails.
    void add(const std::string& ldif);
    // Sends SIGTERM to the server's own process and waits for it (SIGKILL after a grace time).
    void stop();

    // The server of the test program, started at the first call and stopped at exit.
    static SlapdServer& shared();
    // The slapd program, "" when none is found.
    static std::string findSlapd();
    // A loopback port on which nothing listens at the moment of the call.
    static uint16_t freePort();

private:
    void writeFiles(const std::string& moduleDir);
    bool startOn(uint16_t port, std::string* why);

    TempDir dir_;
    std::string slapd_;
    pid_t pid_ = 0;
    uint16_t port_ = 0;
};

// One LDIF line "name:: base64(value)", so a value may hold any byte.
std::string ldifLine(const std::string& name, const std::string& value);

} // namespace kotest

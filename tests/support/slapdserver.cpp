#include "tests/support/slapdserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace kotest {

namespace {

bool executable(const std::string& path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0 && !fs::is_directory(path);
}

// A program named by variable, else found on the PATH, else in the given folders.
std::string findProgram(const char* variable, const char* name, const std::vector<std::string>& fallback) {
    if (const char* v = std::getenv(variable); v && *v) return executable(v) ? v : "";
    std::vector<std::string> folders;
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) folders.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    folders.insert(folders.end(), fallback.begin(), fallback.end());
    for (auto& f : folders)
        if (executable(f + "/" + name)) return f + "/" + name;
    return "";
}

std::string findModuleDir() {
    if (const char* v = std::getenv("KO_SLAPD_MODULE_DIR"); v && *v) return v;
    for (const char* d : {"/usr/lib/ldap", "/usr/lib/openldap", "/usr/libexec/openldap",
                          "/usr/lib64/openldap", "/usr/local/libexec/openldap"})
        if (fs::exists(std::string(d) + "/back_mdb.so")) return d;
    return ""; // the back end is built in
}

// In a child before exec: standard output and error into the log file (not through stdio, whose
// buffer holds the parent's unwritten output).
void redirectOutput(const std::string& log) {
    int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return;
    dup2(fd, 1);
    dup2(fd, 2);
    close(fd);
}

// Runs a program to its end with stdout and stderr into log; its exit status, -1 when it could
// not run.
int runProgram(const std::vector<std::string>& args, const std::string& log) {
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        redirectOutput(log);
        setenv("LDAPNOINIT", "1", 1); // no ldap.conf or ldaprc of the machine or user
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool acceptsConnections(uint16_t port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

// The test schema: the prefixed attributes the tests read, one of octet strings for values of any
// byte, thousands of generated ones, and a structural class.
std::string schemaText() {
    std::string s = "objectidentifier KoTest 2.25.271828182845904523536028747135266249\n"
                    "objectidentifier KoTestAt KoTest:1\n"
                    "objectidentifier KoTestGen KoTest:3\n";
    const char* text = "EQUALITY caseExactMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15";
    const char* names[] = {"VZBTRDatabase", "VZBTRArraySize", "VZBTRServer", "VZBTRDescription",
                           "VZBTRUID",      "VZBTRServer1",   "PFXDatabase", "PFXArraySize",
                           "OTHERDatabase", "VZBTR",          "VZBTRLong"};
    int n = 1;
    for (const char* name : names)
        s += "attributetype ( KoTestAt:" + std::to_string(n++) + " NAME '" + name + "' " + text + " )\n";
    s += "attributetype ( KoTestAt:" + std::to_string(n++) +
         " NAME 'VZBTRBytes' EQUALITY octetStringMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.40 )\n";
    for (unsigned i = 0; i < SlapdServer::manyAttributes; ++i)
        s += "attributetype ( KoTestGen:" + std::to_string(i + 1) + " NAME 'VZBTRA" + std::to_string(i) +
             "' " + text + " )\n";
    s += "objectclass ( KoTest:2.1 NAME 'koTestEntry' SUP top STRUCTURAL MUST cn MAY userPassword )\n";
    return s;
}

} // namespace

std::string SlapdServer::findSlapd() {
    return findProgram("KO_SLAPD", "slapd",
                       {"/usr/sbin", "/usr/local/sbin", "/usr/libexec", "/usr/local/libexec"});
}

uint16_t SlapdServer::freePort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    uint16_t port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
}

std::string SlapdServer::url() const {
    return "ldap://127.0.0.1:" + std::to_string(port_) + "/";
}

void SlapdServer::writeFiles(const std::string& moduleDir) {
    writeFile(dir_.file("kotest.schema"), schemaText());
    std::string conf = "include " + dir_.file("kotest.schema") + "\n";
    if (!moduleDir.empty()) conf += "modulepath " + moduleDir + "\nmoduleload back_mdb\n";
    conf += "pidfile " + dir_.file("slapd.pid") + "\nargsfile " + dir_.file("slapd.args") +
            "\n"
            "database mdb\nmaxsize 268435456\n"
            "suffix \"" +
            std::string(suffix) + "\"\nrootdn \"" + rootDn + "\"\nrootpw " + rootPassword + "\ndirectory " +
            dir_.file("db") + "\n";
    writeFile(dir_.file("slapd.conf"), conf);
    fs::create_directories(dir_.file("db"));
    writeFile(dir_.file("base.ldif"),
              std::string("dn: ") + suffix + "\nobjectClass: koTestEntry\ncn: kotest\n");
}

SlapdServer::SlapdServer() {
    slapd_ = findSlapd();
    if (slapd_.empty())
        throw std::runtime_error("slapd not found (install slapd, or name the program in KO_SLAPD)");
    writeFiles(findModuleDir());
    // The suffix entry goes in offline (slapd in its slapadd role), which also proves the
    // configuration.
    std::vector<std::string> addArgs = {
        slapd_, "-T", "add", "-f", dir_.file("slapd.conf"), "-l", dir_.file("base.ldif")};
    if (runProgram(addArgs, dir_.file("slapadd.log")) != 0)
        throw std::runtime_error("slapadd failed: " + readFile(dir_.file("slapadd.log")));
    std::string why;
    // Another process may take the free port before slapd binds it: try a few.
    for (int attempt = 0; attempt < 5; ++attempt)
        if (startOn(freePort(), &why)) return;
    throw std::runtime_error("slapd did not start: " + why);
}

bool SlapdServer::startOn(uint16_t port, std::string* why) {
    if (port == 0) {
        *why = "no free port";
        return false;
    }
    std::string log = dir_.file("slapd.log");
    std::string listen = "ldap://127.0.0.1:" + std::to_string(port) + "/";
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        *why = std::strerror(errno);
        return false;
    }
    if (pid == 0) {
        // A test program that dies does not leave its server behind.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(1);
        redirectOutput(log);
        // -d keeps slapd in the foreground, so the process started is the server.
        execl(slapd_.c_str(), slapd_.c_str(), "-d", "0", "-h", listen.c_str(), "-f",
              dir_.file("slapd.conf").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            *why = "slapd exited: " + readFile(log);
            return false;
        }
        if (acceptsConnections(port)) {
            pid_ = pid;
            port_ = port;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    *why = "slapd did not listen in time: " + readFile(log);
    return false;
}

void SlapdServer::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = 0;
}

SlapdServer::~SlapdServer() {
    stop();
}

void SlapdServer::add(const std::string& ldif) {
    std::string ldapadd = findProgram("KO_LDAPADD", "ldapadd", {"/usr/bin", "/usr/local/bin"});
    if (ldapadd.empty())
        throw std::runtime_error("ldapadd not found (install ldap-utils, or set KO_LDAPADD)");
    std::string file = dir_.file("add.ldif");
    writeFile(file, ldif);
    if (runProgram({ldapadd, "-x", "-H", url(), "-D", rootDn, "-w", rootPassword, "-f", file},
                   dir_.file("ldapadd.log")) != 0)
        throw std::runtime_error("ldapadd failed: " + readFile(dir_.file("ldapadd.log")));
}

SlapdServer& SlapdServer::shared() {
    static std::unique_ptr<SlapdServer> server(new SlapdServer());
    return *server;
}

std::string ldifLine(const std::string& name, const std::string& value) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out = name + ":: ";
    size_t i = 0;
    for (; i + 2 < value.size(); i += 3) {
        uint32_t v = uint8_t(value[i]) << 16 | uint8_t(value[i + 1]) << 8 | uint8_t(value[i + 2]);
        for (int s = 18; s >= 0; s -= 6)
            out += digits[(v >> s) & 63];
    }
    if (size_t rest = value.size() - i) {
        uint32_t v = uint8_t(value[i]) << 16 | (rest > 1 ? uint8_t(value[i + 1]) << 8 : 0);
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        out += rest > 1 ? digits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out + "\n";
}

} // namespace kotest

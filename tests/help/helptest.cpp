#include "tests/help/helptest.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/registry.h"
#include "platform/system.h"

namespace helptest {

namespace {
FakeBrowser* active = nullptr; // the fake whose callback runs (one per test)
}

std::string openerPath() {
    return std::string(KO_BUILD_STUB_DIR) + "/help_opener";
}

bool waitForOpener(const std::string& log, OpenerRun* run) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (access(log.c_str(), F_OK) != 0) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::string text = kotest::readFile(log);
    *run = OpenerRun();
    size_t i = 0;
    while (i < text.size()) {
        size_t eq = text.find('=', i), colon = text.find(':', eq);
        if (eq == std::string::npos || colon == std::string::npos) return false;
        std::string key = text.substr(i, eq - i);
        size_t length = std::strtoul(text.c_str() + eq + 1, nullptr, 10);
        std::string value = text.substr(colon + 1, length);
        if (key == "arg")
            run->args.push_back(value);
        else
            run->facts[key] = value;
        i = colon + 1 + length + 1;
    }
    return true;
}

HelpSandbox::HelpSandbox() {
    for (const char* var : {"KO_REGISTRY_DIR", "TMPDIR"}) {
        const char* v = std::getenv(var);
        saved_[var] = v ? v : "\x01";
    }
    std::string tmp = dir_.file("tmp");
    setenv("KO_REGISTRY_DIR", dir_.path().c_str(), 1);
    mkdir(tmp.c_str(), 0700);
    setenv("TMPDIR", tmp.c_str(), 1);
}

HelpSandbox::~HelpSandbox() {
    for (auto& [var, value] : saved_)
        if (value == "\x01")
            unsetenv(var.c_str());
        else
            setenv(var.c_str(), value.c_str(), 1);
}

void HelpSandbox::setClassValue(const std::string& key, const std::string& value) {
    HKEY h;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                        nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot make the key " + key);
    RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(h);
}

void HelpSandbox::registerBrowser(const std::string& className, const std::string& commandTail,
                                  const std::string& ddeApplication) {
    setClassValue(".htm", className);
    setClassValue(className + "\\shell\\open\\command",
                  "\"" + openerPath() + "\" \"" + log() + "\" " + commandTail);
    if (!ddeApplication.empty())
        setClassValue(className + "\\shell\\open\\ddeexec\\Application", ddeApplication);
}

std::vector<std::string> HelpSandbox::tempFiles() const {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir_.file("tmp").c_str())) {
        for (dirent* e; (e = readdir(d));)
            if (std::strncmp(e->d_name, "wwh", 3) == 0) names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

FakeBrowser::FakeBrowser(const char* service) {
    active = this;
    if (DdeInitializeA(&instance_, callback, APPCLASS_STANDARD, 0) != DMLERR_NO_ERROR)
        throw std::runtime_error("DdeInitializeA failed");
    service_ = DdeCreateStringHandleA(instance_, service, CP_WINANSI);
    if (!DdeNameService(instance_, service_, nullptr, DNS_REGISTER))
        throw std::runtime_error("DdeNameService failed");
}

FakeBrowser::~FakeBrowser() {
    DdeUninitialize(instance_);
    active = nullptr;
}

void FakeBrowser::answerOpen(int32_t window) {
    answerOpenBytes(std::string(reinterpret_cast<const char*>(&window), 4));
}

void FakeBrowser::answerOpenBytes(const std::string& bytes) {
    std::lock_guard<std::mutex> g(mutex_);
    openAnswers_.push_back(bytes);
}

std::vector<FakeBrowser::Exchange> FakeBrowser::exchanges() {
    std::lock_guard<std::mutex> g(mutex_);
    return exchanges_;
}

HDDEDATA FakeBrowser::callback(UINT type, UINT format, HCONV, HSZ topic, HSZ item, HDDEDATA, ULONG_PTR,
                               ULONG_PTR) {
    if (!active) return nullptr;
    if (type == XTYP_CONNECT) return reinterpret_cast<HDDEDATA>(1);
    if (type == XTYP_REQUEST && format == CF_TEXT) return active->request(topic, item);
    return nullptr;
}

HDDEDATA FakeBrowser::request(HSZ topic, HSZ item) {
    char t[256], i[256];
    DdeQueryStringA(instance_, topic, t, sizeof t, CP_WINANSI);
    DdeQueryStringA(instance_, item, i, sizeof i, CP_WINANSI);
    Exchange e{t, i, ""};
    std::string answer;
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (e.item.rfind("\"^", 0) == 0)
            e.fileContent = kotest::readFile(e.item.substr(2, e.item.find('"', 2) - 2));
        exchanges_.push_back(e);
        if (e.topic == "WWW_OpenURL") {
            if (openAnswers_.empty()) {
                int32_t one = 1;
                answer.assign(reinterpret_cast<const char*>(&one), 4);
            } else {
                answer = openAnswers_.front();
                openAnswers_.pop_front();
            }
        } else if (answerVersion_) {
            answer = e.topic == "WWW_Version" ? "5.0" : "ok";
        } else {
            return nullptr;
        }
    }
    return DdeCreateDataHandle(instance_, reinterpret_cast<const unsigned char*>(answer.data()),
                               static_cast<DWORD>(answer.size()), 0, item, CF_TEXT, 0);
}

} // namespace helptest

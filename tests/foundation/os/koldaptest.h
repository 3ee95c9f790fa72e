#pragma once
// Shared pieces of the directory lookup tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "foundation/errors/koerrnum.h"
#include "foundation/foundation.h"
#include "tests/support/support.h"

namespace ldaptest {

// An owned copy of s for the setters, which take ownership.
inline unsigned char* owned(const std::string& s) {
    return ramAllocStr(reinterpret_cast<const unsigned char*>(s.c_str()));
}

inline std::string str(const KoSubString* s) {
    return s && s->text ? std::string(reinterpret_cast<const char*>(s->text), s->length) : std::string();
}

// Sets or clears an environment variable for the guard's lifetime.
class EnvGuard {
public:
    EnvGuard(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvGuard() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Each test collects its errors in a list of its own; the real client library is the one found,
// without the machine's or user's LDAP configuration files.
class LdapTest : public ::testing::Test {
protected:
    void SetUp() override {
        kotest::useBuildResources();
        ASSERT_EQ(koLibraryLoad(), koSuccess) << "the thread record the error lists hang on";
        KoErrorKeeper::setErrorList(&errors);
    }
    void TearDown() override { KoErrorKeeper::giveUpErrorList(); }

    uint16_t lastNumber() { return KoErrorKeeper::getLastErrorNumber(); }
    std::string lastText() {
        KoError* e = KoErrorKeeper::getLastError();
        return e ? reinterpret_cast<const char*>(e->getErrorText()) : "";
    }
    // The error numbers raised so far, in order.
    std::vector<uint16_t> numbers() {
        std::vector<uint16_t> out;
        for (uint32_t i = 0; i < errors.count; ++i)
            out.push_back(errors.errorAt(i)->number);
        return out;
    }

    EnvGuard noLibraryPath{"KO_LIBRARY_PATH", nullptr};
    EnvGuard noClientConfig{"LDAPNOINIT", "1"};
    KoErrorList errors;
};

} // namespace ldaptest

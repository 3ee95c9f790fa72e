#pragma once
// What the conversion tests compare with: ICU's own whole-text conversions, and a corpus of real text.
#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <string>
#include <vector>

namespace kotest {

// An open ICU converter, closed at the end of the scope.
class Converter {
public:
    explicit Converter(const char* name) {
        UErrorCode err = U_ZERO_ERROR;
        c_ = ucnv_open(name, &err);
        if (U_FAILURE(err) && c_) {
            ucnv_close(c_);
            c_ = nullptr;
        }
    }
    ~Converter() {
        if (c_) ucnv_close(c_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    operator UConverter*() const { return c_; }

private:
    UConverter* c_ = nullptr;
};

// ucnv_convert of the whole text, as bytes; *status receives ICU's status.
std::string icuConvert(const char* to, const char* from, const std::string& text,
                       UErrorCode* status = nullptr);
// UTF-16 of UTF-8 text, and back.
std::u16string utf16(const std::string& utf8);
std::string utf8(const std::u16string& text);
// Bytes of UTF-16 text, in the machine's order.
std::string bytesOf(const std::u16string& text);

// Real text in several scripts (as UTF-8), one entry per language, with and without supplementary
// characters.
const std::vector<std::string>& corpus();

// A buffer with canary bytes on both sides: checks that nothing outside the given size was written.
class Guarded {
public:
    explicit Guarded(size_t size, unsigned char fill = 0xA5) : bytes_(size + 2 * pad, fill), size_(size) {
        setCanaries();
    }
    unsigned char* data() { return bytes_.data() + pad; }
    std::string text(size_t n) const {
        return std::string(reinterpret_cast<const char*>(bytes_.data() + pad), n);
    }
    bool intact() const {
        for (size_t i = 0; i < pad; ++i)
            if (bytes_[i] != canary || bytes_[pad + size_ + i] != canary) return false;
        return true;
    }
    void setCanaries() {
        for (size_t i = 0; i < pad; ++i)
            bytes_[i] = bytes_[pad + size_ + i] = canary;
    }

private:
    static constexpr size_t pad = 16;
    static constexpr unsigned char canary = 0x5A;
    std::vector<unsigned char> bytes_;
    size_t size_;
};

} // namespace kotest

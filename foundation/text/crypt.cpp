#include "foundation/text/crypt.h"

#include <cstring>

#include "foundation/text/fastut.h"
#include "foundation/text/strcopy.h"

namespace {

// The built-in key of mode 3. Stored passwords can only be read back with the key that scrambled them:
// these bytes must never change.
constexpr unsigned char kDefaultKey[16] = {0x5A, 0xC3, 0x17, 0xE8, 0x4D, 0x92, 0x3B, 0x76,
                                           0xA1, 0x0F, 0xD4, 0x68, 0x2E, 0xB9, 0x85, 0x51};

constexpr unsigned char kDelta = 0x9E;      // the high byte of the round constant
constexpr unsigned char kSumAfter32 = 0xC0; // 32 * kDelta modulo 256
constexpr int kRounds = 32;

const unsigned char kStoredTag[] = "KO3:";
constexpr uint32_t kTagLength = 4;
const char kHex[] = "0123456789ABCDEF";

struct Key {
    unsigned char k0, k1, k2, k3;
};

Key keyOf(const unsigned char* keyText) {
    unsigned char key[16];
    memcpy(key, kDefaultKey, sizeof key);
    // Byte 14 becomes 0, then at most 14 bytes of the text (its terminator included) overlay the key.
    if (keyText) strCopy(key, 15, keyText);
    return {key[0], key[1], key[2], key[3]};
}

inline unsigned char u8(unsigned v) {
    return static_cast<unsigned char>(v);
}

inline unsigned char mixX(unsigned char y, unsigned char sum, const Key& k) {
    return u8(u8(u8(y << 4) + k.k0) ^ u8(y + sum) ^ u8((y >> 5) + k.k1));
}

inline unsigned char mixY(unsigned char x, unsigned char sum, const Key& k) {
    return u8(u8(u8(x << 4) + k.k2) ^ u8(x + sum) ^ u8((x >> 5) + k.k3));
}

// The pair at i: (byte i, byte i + 1), or for an odd length's last pair (byte i, byte 0).
inline unsigned char& secondOf(unsigned char* buffer, uint32_t length, uint32_t i) {
    return i + 1 < length ? buffer[i + 1] : buffer[0];
}

void scramblePairs(unsigned char* buffer, uint32_t length, const Key& k) {
    for (uint32_t i = 0; i < length; i += 2) {
        unsigned char x = buffer[i];
        unsigned char& second = secondOf(buffer, length, i);
        unsigned char y = second;
        unsigned char sum = 0;
        for (int r = 0; r < kRounds; ++r) {
            sum = u8(sum + kDelta);
            x = u8(x + mixX(y, sum, k));
            y = u8(y + mixY(x, sum, k));
        }
        buffer[i] = x;
        second = y;
    }
}

void unscramblePairs(unsigned char* buffer, uint32_t length, const Key& k) {
    // The same pairs, last first, so a wrapped pair is undone before the first pair it disturbed.
    for (uint32_t i = (length - 1) & ~1u;; i -= 2) {
        unsigned char x = buffer[i];
        unsigned char& second = secondOf(buffer, length, i);
        unsigned char y = second;
        unsigned char sum = kSumAfter32;
        for (int r = 0; r < kRounds; ++r) {
            y = u8(y - mixY(x, sum, k));
            x = u8(x - mixX(y, sum, k));
            sum = u8(sum - kDelta);
        }
        buffer[i] = x;
        second = y;
        if (i == 0) break;
    }
}

// Mode 2 leaves line breaks and the bytes that would become line breaks alone.
inline bool exemptFromMode2(unsigned char b) {
    return b == 10 || b == 13 || b == u8(~10u) || b == u8(~13u);
}

void complement(unsigned char* buffer, uint32_t length, bool keepLineBreaks) {
    for (uint32_t i = 0; i < length; ++i)
        if (!keepLineBreaks || !exemptFromMode2(buffer[i])) buffer[i] = u8(~buffer[i]);
}

inline int hexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The hexadecimal digits of a stored form (after its tag), or null when value is no stored form.
const unsigned char* storedDigits(const unsigned char* value) {
    if (value[0] == ' ') ++value;
    if (memcmp(value, kStoredTag, kTagLength) != 0) return nullptr;
    const unsigned char* digits = value + kTagLength;
    uint32_t n = 0;
    for (; digits[n]; ++n)
        if (hexValue(digits[n]) < 0) return nullptr;
    return n % 2 == 0 ? digits : nullptr;
}

// Both directions: the complement modes and the one-byte case are their own inverse.
void scramble(unsigned char* buffer, uint32_t length, uint16_t mode, const unsigned char* keyText,
              bool forward) {
    if (mode == 1 || mode == 2) {
        complement(buffer, length, mode == 2);
        return;
    }
    if (mode != 3 || length == 0) return;
    Key k = keyOf(keyText);
    if (length == 1)
        buffer[0] ^= k.k0;
    else if (forward)
        scramblePairs(buffer, length, k);
    else
        unscramblePairs(buffer, length, k);
}

} // namespace

void encrypt(unsigned char* buffer, uint32_t length, uint16_t mode, const unsigned char* keyText) {
    scramble(buffer, length, mode, keyText, true);
}

void decrypt(unsigned char* buffer, uint32_t length, uint16_t mode, const unsigned char* keyText) {
    scramble(buffer, length, mode, keyText, false);
}

uint32_t koPasswordStoredSize(uint32_t len) {
    return 2 * len + kTagLength + 2;
}

uint32_t koPasswordToProfile(unsigned char* dst, const unsigned char* clear, uint32_t len) {
    dst[0] = ' ';
    memcpy(dst + 1, kStoredTag, kTagLength);
    unsigned char* digits = dst + 1 + kTagLength;
    // Scramble in the second half of the digit area, then spread each byte into two digits from the
    // front: a byte is always read before its place is written.
    unsigned char* scrambled = digits + len;
    if (len) memmove(scrambled, clear, len);
    encrypt(scrambled, len, 3, nullptr);
    for (uint32_t i = 0; i < len; ++i) {
        unsigned char b = scrambled[i];
        digits[2 * i] = static_cast<unsigned char>(kHex[b >> 4]);
        digits[2 * i + 1] = static_cast<unsigned char>(kHex[b & 15]);
    }
    digits[2 * len] = 0;
    return 1 + kTagLength + 2 * len;
}

uint16_t koPasswordIsStored(const unsigned char* value) {
    return value && storedDigits(value) ? 1 : 0;
}

uint32_t koPasswordFromProfile(unsigned char* dst, const unsigned char* value) {
    if (!value) {
        dst[0] = 0;
        return 0;
    }
    if (const unsigned char* digits = storedDigits(value)) {
        uint32_t n = BUTSTLEN(digits) / 2;
        for (uint32_t i = 0; i < n; ++i)
            dst[i] = static_cast<unsigned char>(hexValue(digits[2 * i]) << 4 | hexValue(digits[2 * i + 1]));
        decrypt(dst, n, 3, nullptr);
        dst[n] = 0;
        return n;
    }
    if (value[0] == ' ') {
        // Raw scrambled bytes after the blank, as far as the first zero byte.
        uint32_t n = BUTSTLEN(value + 1);
        memmove(dst, value + 1, n + 1);
        decrypt(dst, n, 3, nullptr);
        return n;
    }
    uint32_t n = BUTSTLEN(value);
    memmove(dst, value, n + 1);
    return n;
}

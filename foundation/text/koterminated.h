#pragma once
// A counted text copied as a terminated one, for the runtime functions that read terminated texts:
// in the object itself up to LocalSize - 1 bytes, else on the heap, so a long text is read whole
// rather than cut or overrun. text() is null when the heap copy could not be made.
#include <cstdint>
#include <cstring>
#include "foundation/errors/ramalloc.h"

template <uint32_t LocalSize> class KoTerminatedText {
public:
    KoTerminatedText(const unsigned char* s, uint32_t n) {
        if (n < LocalSize) {
            text_ = local_;
        } else {
            heap_ = n == UINT32_MAX ? nullptr : static_cast<unsigned char*>(ramAlloc(n + 1));
            text_ = heap_;
            if (!text_) return;
        }
        std::memcpy(text_, s, n);
        text_[n] = 0;
    }
    ~KoTerminatedText() { ramFree(heap_); }
    KoTerminatedText(const KoTerminatedText&) = delete;
    KoTerminatedText& operator=(const KoTerminatedText&) = delete;

    const unsigned char* text() const { return text_; }
    const char* chars() const { return reinterpret_cast<const char*>(text_); }

private:
    unsigned char local_[LocalSize];
    unsigned char* heap_ = nullptr;
    unsigned char* text_ = nullptr;
};

#pragma once
#include <cstdint>
#include "foundation/containers/koobject.h"
#include "foundation/errors/kostatus.h"
#include "foundation/text/kodbcs.h"

class KoArray;
class KoString;

// A non-owning view of a run of bytes with its character encoding. The bytes need not be
// zero-terminated; a view never frees them. Every scan steps by whole characters of cpType.
class KO_EXPORT KoSubString : public KoObject {
public:
    uint32_t length = 0;           // bytes in the view
    uint32_t origLength = 0;       // length as last initialized; cleared when length is reset
    unsigned char* text = nullptr; // first byte; null for an empty, unset view
    koCPType cpType = koCPAnsi;    // how the bytes group into characters

    KoSubString();
    explicit KoSubString(const unsigned char* s); // zero-terminated
    KoSubString(const unsigned char* s, uint32_t n);
    explicit KoSubString(koCPType cp);
    KoSubString(const unsigned char* s, uint32_t n, koCPType cp);
    KoSubString(const unsigned char* s, koCPType cp); // zero-terminated
    ~KoSubString() override;

    // Views n bytes at s (ANSI unless a type is given).
    void initialize(const unsigned char* s, uint32_t n);
    void initialize(const unsigned char* s, uint32_t n, koCPType cp);

    // The view holds a quoted literal (first byte the quote, last byte closing it); appends its
    // unquoted content, doubled quotes collapsed, to out.
    KoStatus copyQuotedStr(KoString* out) const;
    // Offset of the first character at or after start whose first byte is c; length when none.
    uint32_t findChar(uint16_t c, uint32_t start) const;
    // Offset of the first occurrence of the zero-terminated pattern at or after start; length when none.
    uint32_t findSubString(const unsigned char* pattern, uint32_t start) const;
    // Sum of the first five bytes upper-cased: equal for texts equal but for case.
    uint32_t hash() const;
    // Case-insensitive order against another KoSubString (-1, 0, 1); the shorter common prefix first.
    int16_t compare(const KoObject* other) const override;
    // Writes the view without its enclosing quotes, doubled quotes collapsed, zero-terminated.
    unsigned char* getCopyUnquoted(unsigned char* out) const;
    // Writes the view enclosed in quote, each quote doubled, zero-terminated; out must hold
    // length + (quotes in the view) + 3 bytes.
    unsigned char* getCopyQuoted(unsigned char* out, uint16_t quote) const;
    // Characters whose first byte is c, up to length or a zero byte.
    uint32_t countChar(uint16_t c) const;
    // Index of the first value with exactly the view's bytes; count when none.
    uint16_t indexInSet(const unsigned char* const* values, uint16_t count) const;
    // The same, ignoring case as compare does.
    uint16_t indexInSetCi(const unsigned char* const* values, uint16_t count) const;
    // Drops trailing white space from the view (the bytes are untouched).
    void rightBlankTrim();
    // Splits the view at "\r\n" into new KoString objects appended to lines; empty lines are
    // skipped and a last stretch without a line end is a line too. Writes a zero at text[length],
    // which must belong to the caller's buffer.
    KoStatus getLines(KoArray* lines);
};

// A string that owns its buffer (or edits an adopted one) and grows it to exactly the size
// needed. Appends do not terminate the text; capacity always leaves room for a terminator in
// an owned buffer.
class KO_EXPORT KoString : public KoSubString {
public:
    uint32_t capacity = 0; // bytes allocated for text; meaningful while text is non-null
    int ownsBuffer = 1;    // 1: allocated here, freed and resized here; 0: adopted, never grows

    KoString();
    explicit KoString(koCPType cp);
    ~KoString() override;
    KoString(const KoString&) = delete;
    KoString& operator=(const KoString&) = delete;

    // Copies a text into a new buffer of exactly n + 1 bytes (n = strlen(s) without n). A buffer
    // the string owned is released after the copy, so s may lie in it. On failure the string
    // holds no buffer.
    KoStatus initialize(const unsigned char* s);
    KoStatus initialize(const unsigned char* s, koCPType cp);
    KoStatus initialize(const unsigned char* s, uint32_t n);
    KoStatus initialize(const unsigned char* s, uint32_t n, koCPType cp);
    // An empty string with room for n bytes and a terminator.
    KoStatus initialize(uint32_t n);
    KoStatus initialize(uint32_t n, koCPType cp);
    // Adopts a caller's buffer of size bytes holding used bytes; it is edited in place, never
    // freed or grown (growth fails with error 2716).
    void initializeWithBuffer(unsigned char* buffer, uint32_t size, uint32_t used);
    void initializeWithBuffer(unsigned char* buffer, uint32_t size, koCPType cp, uint32_t used);
    // Frees an owned buffer and empties the string.
    void unInitialize();

    // Appends one byte.
    KoStatus concat(unsigned char c);
    // Appends one byte (not its numeric value).
    KoStatus concat(char c);
    // Appends a zero-terminated text.
    KoStatus concat(const unsigned char* s);
    // Appends n bytes; s may point into this string.
    KoStatus concat(const unsigned char* s, uint32_t n);
    // Appends a number in decimal, a minus sign before negative values.
    KoStatus concat(uint32_t v);
    KoStatus concat(int32_t v);

    // Replaces oldLen bytes at pos by newLen bytes of src (newLen 0 with src: strlen(src)); a null
    // src leaves a gap of newLen unfilled bytes. Terminates the text.
    KoStatus changeBytes(uint32_t pos, uint32_t oldLen, const unsigned char* src, uint32_t newLen);
    // Replaces every occurrence of old (zero-terminated, oldLen bytes); replaced text is not
    // searched again. Stops at the first failure, keeping earlier replacements.
    KoStatus replaceSubString(const unsigned char* old, uint32_t oldLen, const unsigned char* replacement,
                              uint32_t newLen);
    // The same with lengths by strlen; a null replacement removes.
    KoStatus replaceSubString(const unsigned char* old, const unsigned char* replacement);
    // Replaces exactly the bytes part views (part lies inside this string's buffer).
    KoStatus replaceSubString(const KoSubString* part, const unsigned char* replacement, uint16_t newLen);

    // Encloses the text in quote, doubling each quote inside; unchanged on failure.
    KoStatus addQuotes(uint16_t quote);
    // Drops the first and last byte and collapses doubled quotes (the first byte is the quote).
    void removeQuotes();
    // Appends part enclosed in quote, each quote in it doubled, and terminates.
    KoStatus addQuotedBytes(const KoSubString& part, uint16_t quote);
    // Appends "\r\n" until the text ends in count of them; never removes any.
    KoStatus forceEol(int count);
    // Wraps lines longer than width at spaces outside quoted stretches (q1 0: no quote tracking).
    KoStatus insertLineBreaks(uint32_t width, unsigned char q1, unsigned char q2, unsigned char q3);
    // Each run of "\r\n" outside quotes becomes one space; trailing ones disappear.
    KoStatus removeLineBreaks(unsigned char q1, unsigned char q2, unsigned char q3);
    // Each run of tabs outside quotes becomes one space; trailing ones disappear.
    KoStatus removeTabs(unsigned char q1, unsigned char q2, unsigned char q3);
    // Each run of carriage returns and line feeds outside quotes becomes one space; trailing
    // ones disappear.
    KoStatus removeLineFeeds(unsigned char q1, unsigned char q2, unsigned char q3);

    // Makes room for needed bytes in all: grows the buffer to exactly that size unless it already
    // holds as many. Fails like every growth (2716 for an adopted buffer; 1 and no change when
    // memory is short).
    KoStatus reserve(uint32_t needed);

private:
    friend class KoReplaceString;
    // Makes the buffer exactly size bytes; fails with 2716 for an adopted buffer, and with 1 and
    // no change when memory is short.
    KoStatus resize(uint32_t size);
    // Writes a zero at text[length] where the buffer has room for it.
    void terminate();
    // Replaces the content by the bytes of another string (owned buffers only grow).
    KoStatus assignFrom(const KoString& other);
};

// Rewrites a KoString in one pass: the inherited view is the unread remainder of the target,
// and output goes behind it, into the gap between the written and the unread part. Destroy the
// rewriter before using the target again: the destructor closes the gap.
class KO_EXPORT KoReplaceString : public KoSubString {
public:
    KoString* target = nullptr; // the string being rewritten; not owned
    uint32_t writeOffset = 0;   // where the next output byte goes
    uint32_t readOffset = 0;    // where the unread remainder starts

    KoReplaceString();
    explicit KoReplaceString(koCPType cp);
    explicit KoReplaceString(KoString* target);
    ~KoReplaceString() override;
    KoReplaceString(const KoReplaceString&) = delete;
    KoReplaceString& operator=(const KoReplaceString&) = delete;

    // Writes n bytes at the write position, widening the gap by n + 512 when it is too small;
    // p may point into the target. Fails (1) without a target.
    KoStatus concat(const unsigned char* p, uint32_t n);
    // Writes the n bytes as a literal enclosed in quote, each quote doubled; p may point into
    // the target.
    KoStatus addQuotedBytes(const unsigned char* p, uint32_t n, unsigned char quote);
    // Consumes n bytes of the unread remainder (at most what is left) without writing them: to
    // copy input through, concat(text, n) and then skip(n).
    void skip(uint32_t n);
};

// A message template whose markers "%s1".."%s9", "%d1".."%d9", then "%sx10", "%dx10" ... are
// filled in order: the n-th setParam replaces every marker of ordinal n. The first failure sticks
// and stops later << substitutions.
class KO_EXPORT KoParamString : public KoString {
public:
    enum : uint32_t { failed = 1 }; // bit of flags: an initialization or substitution failed

    uint16_t paramCount = 0; // parameters substituted so far
    uint32_t flags = 0;

    KoParamString();
    explicit KoParamString(koCPType cp);

    // The forms of KoString (the current buffer is released, after the copy); each restarts the
    // numbering and records the outcome in failed.
    KoStatus initialize(const unsigned char* s);
    KoStatus initialize(const unsigned char* s, koCPType cp);
    KoStatus initialize(const unsigned char* s, uint32_t n);
    KoStatus initialize(const unsigned char* s, uint32_t n, koCPType cp);
    KoStatus initialize(uint32_t n);
    KoStatus initialize(uint32_t n, koCPType cp);

    // Fills the next parameter with a text ("%s" markers) or a number ("%d" markers).
    KoStatus setParam(const unsigned char* s);
    KoStatus setParam(uint32_t v);
    KoStatus setParam(int32_t v);
    KoStatus setParam(const KoSubString& s);
    // Fills the next parameter with s enclosed in quote (quotes inside doubled).
    KoStatus setQuotedParam(const unsigned char* s, unsigned char quote);

    // setParam while no failure has been recorded.
    KoParamString& operator<<(const unsigned char* s);
    KoParamString& operator<<(uint32_t v);
    KoParamString& operator<<(int32_t v);
    KoParamString& operator<<(const KoSubString& s);

    // True once an initialization or a substitution has failed.
    bool hasFailed() const;

private:
    // Replaces the marker of the next ordinal by n bytes of value.
    KoStatus substitute(char kind, const unsigned char* value, uint32_t n);
    // Restarts the numbering before an initialization (which releases the current buffer).
    void restart();
    KoStatus record(KoStatus status);
};

#pragma once
// Parser of keyword=value lists separated by one chosen character: NUL for the installer's attribute
// lists, ";" for connection strings (which may begin with the bare keyword "ODBC"). Keywords match
// ignoring case. Parsed keywords and values are views into the caller's text, which must outlive the
// parser; attributes added later are owned copies.
#include <cstdint>
#include "foundation/errors/koerrnum.h"
#include "foundation/containers/koobject.h"
#include "foundation/containers/koseqdictionary.h"
#include "foundation/errors/kostatus.h"
#include "foundation/text/kodbcs.h"
#include "foundation/text/koscanner.h"
#include "foundation/text/kostring.h"

class KO_EXPORT KoValueParser : public KoObject {
public:
    // Library errors: a syntax error at a byte position (2704), the same with the context text
    // (2705); texts appended for a refused duplicate (2706) and for a keyword given in both of its
    // spellings (2707).
    static constexpr uint16_t errSyntax = koErrSyntax;
    static constexpr uint16_t errSyntaxContext = koErrSyntaxContext;
    static constexpr uint16_t errDuplicate = koErrDuplicate;
    static constexpr uint16_t errBothSpellings = koErrBothSpellings;

    // Parses nothing yet. contextText (may be null) names where the text came from in syntax errors;
    // bit 0 of allowDuplicates lets a keyword appear more than once (the first value is kept).
    KoValueParser(const KoSubString* text, unsigned char separator, const unsigned char* contextText,
                  unsigned int allowDuplicates);
    ~KoValueParser() override;

    // Parses the whole text into attributes and clears the used marks. 1 on a syntax error or a
    // refused duplicate (raised on the thread's error list) or when memory runs out; the attributes
    // read before the failure stay.
    KoStatus initialize();

    // Scanner configuration, before initialize: the three quote characters, and extra characters
    // that may begin and continue a keyword (a white-space character given here is no longer
    // skipped). setValidChars returns 1 when memory runs out.
    void setQuotingChars(uint16_t q1, uint16_t q2, uint16_t q3);
    KoStatus setValidChars(const unsigned char* chars);
    void resetValidChars();

    // The value under key (ignoring case), or null; marks the attribute as used.
    const KoSubString* getAttributeValue(const KoSubString* key);
    const KoSubString* getAttributeValue(const unsigned char* key);
    // The value under either spelling (altKey may be null). Both present is an error (1, value not
    // set); otherwise value is the one found, or null.
    KoStatus getAttributeValue(const unsigned char* key, const unsigned char* altKey,
                               const KoSubString*& value);
    // 1 when an attribute has that key (ignoring case); marks nothing.
    unsigned int isAttributeValue(const KoSubString* key) const;
    unsigned int isAttributeValue(const unsigned char* key) const;

    // Attributes nobody looked up: their number, and their keys one by one in list order (null after
    // the last, until resetUnused).
    uint16_t getUnusedCount() const;
    const KoSubString* getUnusedAttribute();
    // Clears every used mark and restarts getUnusedAttribute; 1 when memory runs out (no marks).
    KoStatus resetUnused();

    // Number of attributes, and the key of one of them (null past the end).
    uint32_t getAttributeCount() const;
    const KoSubString* getAttributeKey(uint16_t index) const;

    // Writes every attribute back as key=value, separated by the separator (with NUL, the
    // installer's list without its closing double NUL). 1 when memory runs out (out left empty).
    KoStatus buildString(KoString* out) const;

    // Deletes the attribute with that key, if there is one.
    void removeAttribute(const unsigned char* key);
    // Adds an attribute, or replaces the value of the one under key, else of the one under altKey
    // (may be null). A value holding the separator or a quote character is stored in single quotes,
    // embedded single quotes doubled. 1 when memory runs out, nothing changed.
    KoStatus addAttribute(const unsigned char* key, uint32_t keyLen, const unsigned char* value,
                          uint32_t valueLen, const unsigned char* altKey, uint32_t altKeyLen);
    KoStatus addAttribute(const unsigned char* key, const unsigned char* value, const unsigned char* altKey);

private:
    KoStatus parseAttribute();
    void readValue();
    bool isSeparator(const KoToken& t) const;
    void raiseSyntaxError();
    uint32_t findKey(const KoSubString& key) const;
    const KoSubString* lookUp(const KoSubString& key);
    bool isMarked(uint32_t index) const;
    void mark(uint32_t index);
    KoStatus allocateMarks();
    KoStatus coverMarks(uint32_t entries);
    void dropMark(uint32_t index);
    bool needsQuotes(const unsigned char* value, uint32_t valueLen) const;
    KoString* newValueOf(const unsigned char* value, uint32_t valueLen) const;

    unsigned char separator;
    const unsigned char* contextText;
    KoScanner scanner;
    KoSeqDictionary attributes;
    KoToken token;
    KoSubString* pendingKey = nullptr;
    koCPType cpType;
    uint8_t* usedMarks = nullptr; // bit i set: attribute i was looked up
    uint32_t usedMarkBits = 0;    // attributes the marks cover
    uint32_t usedMarkBytes = 0;   // bytes allocated for the marks
    uint16_t unusedCursor = 0;
    uint32_t allowDuplicates : 1;
};

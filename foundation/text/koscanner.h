#pragma once
// Tokenising scanner over a byte text: quoted strings, bracket groups, SQL comments, numbers,
// identifiers, a fixed table of one- and two-character operators and the outer-join marker "(+)".
// Tokens are views into the scanned text; the scanner never copies or owns that text.
#include <cstdint>
#include "foundation/containers/koobject.h"
#include "foundation/errors/kostatus.h"
#include "foundation/text/kodbcs.h"
#include "foundation/text/kostring.h"

class KoArray;

// Token kinds. Kinds from 33 up are operators: the character's code for a one-character operator,
// first * 256 + second for a two-character one (">=" is 0x3E3D).
enum KoTokenKind : int32_t {
    tokenPlain = 0,        // a view made by getToken(token, start, n); the empty item of getDelimitedToken;
                           // also a zero byte inside the text
    tokenEnd = 1,          // end of text: an empty view at the end
    tokenIdentifier = 2,   // identifier
    tokenQuoted = 3,       // quoted string or bracket group, delimiters included
    tokenUnterminated = 4, // quoted string or group cut off by the end of the text
    tokenNumber = 5,       // number without a decimal point
    tokenWord = 6,         // run of characters read with searchWord
    tokenName = 7,         // name read with searchName
    tokenDelimited = 8,    // item read by getDelimitedToken
    tokenDecimal = 9,      // number with a decimal point (wherever it ends)
    tokenUnknown = 10,     // a character no rule and no operator accepts
    tokenComment = 11,     // SQL comment ("-- ..." or "/* ... */")
    tokenOuterJoin = 12,   // the three characters "(+)"
};

// How getToken reads the next token.
enum SearchType { searchDefault = 0, searchWord = 1, searchName = 2 };

// A token: a view of its bytes inside the scanned text, with its kind and offset.
class KO_EXPORT KoToken : public KoSubString {
public:
    KoToken();
    ~KoToken() override;

    int32_t kind = tokenPlain; // a KoTokenKind or an operator code
    uint32_t position = 0;     // byte offset of the token's first byte in the scanned text
};

class KO_EXPORT KoScanner : public KoObject {
public:
    // options bits
    static constexpr uint32_t optionBraceGroups = 0x1; // "{" ... "}" is one group token
    static constexpr uint32_t optionParenGroups = 0x2; // "(" ... ")" is one group token
    // flags bits
    static constexpr uint32_t flagComments = 0x1;     // "--" and "/*" start comments
    static constexpr uint32_t flagDecimalPoint = 0x2; // a decimal point continues or starts a number
    static constexpr uint32_t flagAtEnd = 0x4;        // a read has met the end of the text
    static constexpr uint16_t noGroup = 0xFFFF;       // groupOpen when there is no extra bracket pair

    KoScanner();
    explicit KoScanner(koCPType cp);
    explicit KoScanner(const unsigned char* s); // zero-terminated (null is an empty text)
    KoScanner(const unsigned char* s, koCPType cp);
    KoScanner(const unsigned char* s, uint32_t n);
    KoScanner(const unsigned char* s, uint32_t n, koCPType cp);
    explicit KoScanner(const KoSubString* s); // the view's bytes, length and type (null: empty)
    explicit KoScanner(KoSubString& s);
    explicit KoScanner(KoString* s); // also the source edited by changeToken and insertToken
    ~KoScanner() override;

    // New text, position 0, no source, end flag cleared, decimal-point flag set; the type becomes
    // koCPAnsi or the one given.
    void setScanString(const unsigned char* s, uint32_t n);
    void setScanString(const unsigned char* s, uint32_t n, koCPType cp);
    // Scans the string's bytes with the string as source; the scanner's type is kept.
    void setScanString(KoString* str);

    koCPType getCodePage() const;

    // Reads the next token (kind tokenEnd, again and again, at the end of the text).
    void getToken(KoToken& token, SearchType type = searchDefault);
    // Makes token the n bytes at start (kind tokenPlain), cut to the text; the scanner does not move.
    void getToken(KoToken& token, uint32_t start, uint32_t n);
    // Moves back to the token's start, so that the next read returns it again.
    void unGetToken(KoToken& token);
    // Reads an item up to the delimiter (outside quotes and groups), trailing white space removed;
    // the delimiter itself is left for the next read. An empty item is an empty tokenPlain view.
    void getDelimitedToken(KoToken& token, uint16_t delimiter);

    // Reads the rest of the text as a delimiter-separated list into items, which is emptied first and
    // made to own its elements: views (KoSubString) or copies (KoString). An empty text, or one
    // ending in the delimiter, gives a final empty item. 1 when memory runs out (the items appended
    // so far stay).
    KoStatus parseList(KoArray* items, uint8_t delimiter);
    KoStatus parseListKoString(KoArray* items, uint8_t delimiter);

    // Matches a phrase of words separated by single spaces ("ORDER BY"), the first word against
    // token and each further word against the next token read. On a match token is lengthened to
    // the end of the last word and the scanner stays behind it (1); otherwise the scanner is back
    // where it was (0). The Ci forms ignore case.
    unsigned int isEqual(KoToken& token, const unsigned char* phrase);
    unsigned int isEqualCi(KoToken& token, const unsigned char* phrase);
    // phrases: zero-terminated phrases one after another, ended by an empty one; 1 when any matches.
    unsigned int isInSet(KoToken& token, const unsigned char* phrases);
    unsigned int isInSetCi(KoToken& token, const unsigned char* phrases);
    // Reads on until the phrase is met (1, the scanner behind it) or the end (0).
    unsigned int isTokenWithin(const unsigned char* phrase);
    unsigned int isTokenWithinCi(const unsigned char* phrase);

    // Edit the source string in place (only a scanner set over a KoString has one; 1 otherwise).
    // changeToken replaces the token's bytes (an empty replacement removes them) and leaves token
    // viewing the replacement; insertToken puts text before the token and moves token with its
    // bytes. The scanner's position follows the edit. 1 when memory runs out, nothing changed.
    KoStatus changeToken(KoToken* token, const KoSubString& replacement);
    KoStatus insertToken(KoToken* token, const KoSubString& text);

    // Configuration and state; set the configuration directly after construction or setScanString.
    const unsigned char* text = nullptr; // scanned bytes (not owned)
    uint32_t length = 0;                 // number of bytes
    uint16_t quote1 = '\'';
    uint16_t quote2 = '"';
    uint16_t quote3 = '`';
    uint32_t position = 0;      // offset of the next byte to read
    uint32_t options = 0;       // optionBraceGroups, optionParenGroups
    KoString* source = nullptr; // the string scanned, when given as a KoString
    KoString startChars;        // extra characters that start an identifier (and are not skipped)
    KoString partChars;         // extra characters that continue an identifier
    KoString delimiters;        // when not empty: an identifier is any run of characters not in it
    koCPType cpType = koCPAnsi;
    uint16_t groupOpen = noGroup; // a further bracket pair
    uint16_t groupClose = noGroup;
    uint32_t flags = flagDecimalPoint;
    uint16_t lastSize = 0; // byte size of the character read last (0 at the end)

private:
    void setText(const unsigned char* s, uint32_t n, koCPType cp);
    bool readChar();
    void backUp();
    // Skips white space and reads the first character of a token; at the end of the text, makes
    // token the end token and returns false.
    bool startToken(KoToken& token);
    uint32_t charSizeAt(uint32_t offset) const;
    bool isWhiteAt(uint32_t offset, uint32_t size) const;
    bool isAlphaAt(uint32_t offset, uint32_t size) const;
    bool inSet(const KoString& set, uint32_t offset, uint32_t size) const;
    bool isQuote(uint32_t offset, uint32_t size) const;
    void skipWhite();
    void readQuoted(unsigned char quote, KoToken& token);
    bool readGroup(uint16_t open, uint16_t close);
    int32_t operatorKind(unsigned char c, unsigned char n, bool& pair) const;
    unsigned int matchPhrase(KoToken& token, const unsigned char* phrase, bool ignoreCase);
    unsigned int matchWithin(const unsigned char* phrase, bool ignoreCase);
    KoStatus parseInto(KoArray* items, uint8_t delimiter, bool copies);
};

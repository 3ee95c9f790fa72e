#pragma once
// Error records, the per-thread error lists and the raising of numbered library errors.
#include <cstdint>
#include "foundation/errors/koerrnum.h"
#include "foundation/containers/kolist.h"
#include "foundation/containers/kosortedarray.h"
#include "foundation/errors/kostatus.h"
#include "foundation/errors/pertask.h"
#include "foundation/text/kodbcs.h"
#include "foundation/text/kostring.h"

enum ErrorType { errorTypeError = 0, errorTypeWarning = 1 };
enum ErrSpecialError { errSpecialMemory = 1, errSpecialDummy = 2 };
enum ErrorsMix { errorsMixNone = 0, errorsMixBoth = 1, errorsMixErrors = 2, errorsMixWarnings = 3 };

// Number of the static memory error.
constexpr uint16_t koMemoryErrorNumber = koErrOutOfMemory;

// One error or warning: library number, the outside component's code, and a message template
// whose parameters are filled in order with <<.
class KO_EXPORT KoError : public KoNode {
public:
    enum : uint32_t {
        warning = 0x01,      // a warning, not an error
        staticRecord = 0x02, // shared; never deleted by a list
        memoryError = 0x04,  // the memory error: its text is fixed
        dummyError = 0x08,   // the dummy: << does nothing
    };

    int32_t nativeError = 0; // code of the outside component (driver, system), 0 if none
    uint16_t number = 0;     // library error number, also the resource string of its text
    uint16_t category = 0;   // classification set by the raising code
    KoParamString text;      // the message template
    koCPType cpType = koCPAnsi;
    unsigned char sqlState[6] = {}; // five-character state code, empty unless set
    uint32_t flags = 0;

    // A record with the given text (copied) in encoding cp; a warning when type is 1.
    KoError(uint16_t number, const unsigned char* text, koCPType cp, ErrorType type, uint16_t category,
            int32_t nativeError);
    // One of the two static records.
    explicit KoError(ErrSpecialError special);
    ~KoError() override;
    KoError(const KoError&) = delete;
    KoError& operator=(const KoError&) = delete;

    // The message, terminated: "Out Of Memory" for the memory error, "" when the text is missing.
    const unsigned char* getErrorText() const;
    // Appends s to the text (static records are left alone); 1 when memory is short.
    KoStatus appendText(const unsigned char* s);

    // Fills the next parameter marker of the text. Nothing happens on the dummy error; when memory
    // runs out the current list's dummy error is returned, so a chain of << goes on harmlessly.
    KoError& operator<<(const unsigned char* s);
    KoError& operator<<(const char* s);
    KoError& operator<<(uint32_t v);
    KoError& operator<<(int32_t v);
    KoError& operator<<(const KoSubString& s);

    bool isWarning() const;

private:
    // The record to hand back after a substitution.
    KoError& afterParam(KoStatus status);
};

// The records of one unit of work, in the order they were raised. Installed per thread with
// KoErrorKeeper::setErrorList; lists nest as a stack. Deleting a list deletes its stored records.
class KO_EXPORT KoErrorList : public KoSortedArray {
public:
    enum : uint32_t {
        keepAll = 0x01,       // every record is kept (else only the first error)
        memoryPending = 0x02, // the thread ran out of memory; the memory error stands last
    };

    void* owner = nullptr; // who created the list
    uint32_t listFlags = 0;
    KoErrorList* previousList = nullptr; // the list current before this one was installed
    void** slotAddress = nullptr;        // the per-thread slot this list is installed in
    uint16_t cursor = 0;                 // position of the node walk

    explicit KoErrorList(void* owner = nullptr, unsigned int keepAll = 1);
    ~KoErrorList() override;

    // The special records and the record factory; a subclass may replace them.
    virtual KoError& getMemoryError();
    virtual KoError& getDummyError();
    // A new record with these values (its category starts at 0); null when memory is short.
    virtual KoError* allocError(uint16_t number, const unsigned char* text, koCPType cp, ErrorType type,
                                uint16_t category, int32_t nativeError);

    // Take out the first or last record (the caller owns it); a pending memory error is cleared and
    // the static memory error returned instead. Null when empty. The walk starts over.
    KoError* removeFirstError();
    KoError* removeLastError();
    // The last record (the memory error while it is pending), or null.
    KoError* getLastError();
    // What the stored records are: none, errors and warnings, errors only, warnings only.
    ErrorsMix getErrorsMix() const;
    // Appends every stored record's text to out, the low byte of separator between them; the result
    // is not terminated. 1 when out cannot grow (records appended before stay).
    KoStatus concatErrors(KoString* out, uint16_t separator);
    // Every record after pos (0-based, pos excluded) becomes a warning.
    void setWarningAfterPos(uint32_t pos);
    // Appends s to every record from pos on.
    void appendTextStartingAtPos(const unsigned char* s, uint32_t pos);
    // Moves the last record to pos when pos is a position below the count.
    void moveLastErrorToPos(uint32_t pos);

    // The node walk: first record (cursor 1), the record at the cursor (advancing it), the record at
    // pos (cursor pos + 1). Null past the end.
    KoNode* getFirstNode();
    KoNode* getNextNode();
    KoNode* getNodeAtPos(uint32_t pos);

    bool isKeepAll() const;
    bool isMemoryErrorPending() const;
    // Clears the memory-error-pending bit.
    void clearMemoryError();
    // The stored record at pos, or null.
    KoError* errorAt(uint32_t pos) const;
};

// The calling thread's current error list, reached statically. Every operation works on that list;
// on a thread without one, records are dropped (the dummy error is handed back) and readers see an
// empty list.
class KO_EXPORT KoErrorKeeper {
public:
    // Appends a record (a null one, from a failed allocation, gives the dummy error). A list that
    // keeps only the first error deletes the record and gives the dummy error while it holds one.
    static KoError& addError(KoError* error);
    // Makes the static memory error stand as the last record; never allocates.
    static void addMemoryError();
    // Removes and deletes the last record (or the pending memory error).
    static void clearLastError();
    static KoError* getLastError();
    // Number and native code of the last record, 0 when there is none.
    static unsigned short getLastErrorNumber();
    static int32_t getLastNativeError();
    // Makes the last record a warning (type 1) or an error (other values).
    static void setLastErrorType(ErrorType type);
    // Appends s to the last record's text; markers in s are numbered from 1 again and filled by
    // the << that follow. The dummy error when there is no record.
    static KoError& appendTextToLastError(const unsigned char* s);
    // Installs list as the current list of the calling thread (or of the given thread record),
    // keeping the one it replaces for giveUpErrorList.
    static void setErrorList(KoErrorList* list);
    static void setErrorList(KoErrorList* list, KoThreadInfo* thread);
    // Restores the previous list and returns the one given up; null, and nothing changes, when
    // there is none.
    static KoErrorList* giveUpErrorList();
    static KoErrorList* giveUpErrorList(KoThreadInfo* thread);
    // Owner of the current list, null without one.
    static void* getOwnerOfList();
    // The calling thread's current list, or null.
    static KoErrorList* getErrorList();
};

// Adds a record whose text the caller supplies (an outside component's message).
KO_EXPORT KoError& addDatabaseError(uint16_t number, int32_t nativeError, const unsigned char* text,
                                    ErrorType type, koCPType cp);
// Raises library error number with its text from the resource library (at most 255 characters; an
// unknown number gives an empty text); feed its parameters with <<.
KO_EXPORT KoError& koRaiseError(uint16_t number);
// Appends resource text number to the last record; feed the parameters of the appended text with <<.
KO_EXPORT KoError& koAppendErrorText(uint16_t number);

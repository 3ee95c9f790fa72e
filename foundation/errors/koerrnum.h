#pragma once
// Every numbered library error, by name. The number is also the resource string that holds its text,
// so the code that raises an error and the string table share these names.
#include <cstdint>

enum KoErrorNumber : uint16_t {
    // Files and the operating system (raised by the bos layer; see bosErrorFromSystem).
    koErrFileCreate = 1501,     // a file could not be created (name)
    koErrFileDelete = 1502,     // a file could not be deleted (name)
    koErrNoSystemMemory = 1503, // the system ran out of memory
    koErrWroteNothing = 1506,   // a write wrote nothing
    koErrBadHandle = 1507,      // a bad file handle
    koErrAccessDenied = 1508,   // access denied (name)
    koErrFileNotFound = 1509,   // no such file (name)
    koErrLocked = 1512,         // a locking violation
    koErrNameTooLong = 1524,    // a file name longer than 128 characters (name)
    koErrFileOpen = 30040,      // a file could not be opened (name)
    koErrSystem = 30041,        // any other system error; also a write cut short
    koErrTooManyFiles = 30045,  // too many open files

    // Numbers in text.
    koErrOutOfRange = 2701, // value out of range (text)
    koErrNotANumber = 2702, // not a number (text)

    // Attribute lists and connection strings.
    koErrSyntax = 2704,        // syntax error at a position (position)
    koErrSyntaxContext = 2705, // the same with the context text (position, text)
    koErrDuplicate = 2706,     // appended: a keyword given twice (text)
    koErrBothSpellings = 2707, // appended: both spellings of a keyword (keyword, short keyword)

    // Record sort.
    koErrSortStackFull = 2709,   // the quicksort's range stack is full
    koErrSortTooManyKeys = 2710, // a 65th sort key

    // Strings.
    koErrFixedBuffer = 2716, // a text does not fit an adopted buffer

    // Directory lookup.
    koErrLdapNoHost = 2730,  // connect without a host
    koErrLdapConnect = 2731, // no handle, or the bind failed (LDAP text)
    koErrLdapSearch = 2732,  // the search failed or found nothing (LDAP text)

    // Libraries bound at run time.
    koErrLibraryLoad = 2733,  // a library could not be loaded (library)
    koErrLibraryEntry = 2734, // a function is missing (function, library)

    // Setup requests: refusals and writes that did not land.
    koErrSetupListTooLong = 2750,  // the attribute list passes 2048 bytes
    koErrSetupLineBreak = 2751,    // an entry holds a line break (entry)
    koErrSetupNameInvalid = 2752,  // the name is refused (name)
    koErrSetupNameEmpty = 2753,    // no name given
    koErrSetupNameReserved = 2754, // a section the driver manager reserves (name)
    koErrSetupValueTooLong = 2755, // a value the file cannot keep whole (keyword, length, limit)
    koErrSetupNotWritten = 2756,   // a value reads back differently (name, file, keyword)
    koErrSetupWriteFailed = 2757,  // the installer refused a write (name, file)
    koErrSetupNoFolder = 2758,     // the folder of the file is missing (file)
    koErrSetupNotWritable = 2759,  // the file cannot be written (file)
    koErrSetupLockTimeout = 2760,  // another request keeps the file locked (file)
    koErrSetupNoRoom = 2761,       // no room for the safety copy (file)
    koErrSetupNotRestored = 2762,  // the file could not be put back (file)
    koErrSetupRemoveFailed = 2763, // the installer refused a removal (name, file)

    // Network transfer.
    koErrNetFailed = 7500,  // the transfer failed (code)
    koErrNetTimeout = 7501, // the transfer timed out
    koErrNetLost = 7503,    // the connection was lost
    koErrNetRefused = 7504, // the transfer was refused by the connection

    // Dialogs.
    koErrDialogCreate = 9999, // a dialog could not be created

    // The static memory error.
    koErrOutOfMemory = 30190,
};

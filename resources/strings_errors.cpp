#include "resources/resources.h"
#include "foundation/errors/koerrnum.h"

// Texts of the library's numbered errors. Markers "%s1", "%d2" ... are filled in order by the code
// that raises the error (a text for "%s", a number for "%d"); an error raised with no parameter has
// no marker. At most 255 characters each.
const KoResourceString koStringsErrors[] = {
    // Files and the operating system.
    {koErrFileCreate, "The file \"%s1\" could not be created."},
    {koErrFileDelete, "The file \"%s1\" could not be deleted."},
    {koErrNoSystemMemory, "The operating system ran out of memory."},
    {koErrWroteNothing, "Nothing could be written to the file; the disk may be full."},
    {koErrBadHandle, "A file was used after it had been closed, or was never opened."},
    {koErrAccessDenied, "Access to \"%s1\" was denied."},
    {koErrFileNotFound, "The file \"%s1\" does not exist."},
    {koErrLocked, "The file is locked by another process."},
    {koErrNameTooLong, "The file name \"%s1\" is longer than 128 characters."},
    {koErrFileOpen, "The file \"%s1\" could not be opened."},
    {koErrSystem, "A file operation failed or was cut short."},
    {koErrTooManyFiles, "Too many files are open."},

    // Numbers in text.
    {koErrOutOfRange, "The number \"%s1\" is out of range."},
    {koErrNotANumber, "\"%s1\" is not a valid number."},

    // Attribute lists and connection strings.
    {koErrSyntax, "Syntax error in the attribute list at position %d1."},
    {koErrSyntaxContext, "Syntax error at position %d1 of %s2."},
    {koErrDuplicate, " The keyword before \"%s1\" is given twice."},
    {koErrBothSpellings, " The keywords \"%s1\" and \"%s2\" may not both be given."},

    // Record sort.
    {koErrSortStackFull,
     "The records are too many or too disordered to sort: the sort's work stack is full."},
    {koErrSortTooManyKeys, "A sort can have at most 64 keys."},

    // Strings.
    {koErrFixedBuffer, "A text does not fit into its fixed-size buffer."},

    // Directory lookup.
    {koErrLdapNoHost, "No LDAP server was given; the LDAP library's default server is used."},
    {koErrLdapConnect, "Could not connect to the LDAP server. %s1"},
    {koErrLdapSearch, "The LDAP search found no usable entry. %s1"},

    // Libraries bound at run time.
    {koErrLibraryLoad, "The library \"%s1\" could not be loaded."},
    {koErrLibraryEntry, "The function \"%s1\" was not found in the library \"%s2\"."},

    // Setup requests.
    {koErrSetupListTooLong, "The attribute list is longer than 2048 bytes; nothing was written."},
    {koErrSetupLineBreak,
     "The entry \"%s1\" holds a line break, which the ODBC configuration file cannot keep; nothing was "
     "written."},
    {koErrSetupNameInvalid,
     "The data source name \"%s1\" is not valid: a name has 1 to 32 characters, none of them a control "
     "character (such as a line break) or one of []{}(),;?*=!@\\."},
    {koErrSetupNameEmpty, "No data source name was given (DSN=name)."},
    {koErrSetupNameReserved,
     "\"%s1\" is a section that unixODBC reserves in odbc.ini and cannot be a data source name."},
    {koErrSetupValueTooLong,
     "The value of \"%s1\" is %d2 characters long; the ODBC configuration file keeps at most %d3; "
     "nothing was written."},
    {koErrSetupNotWritten,
     "The data source \"%s1\" did not land in \"%s2\" (\"%s3\" reads back differently; the disk may be "
     "full); the file was put back as it was."},
    {koErrSetupWriteFailed,
     "The data source \"%s1\" could not be written to \"%s2\" (the disk may be full); the file was put "
     "back as it was."},
    {koErrSetupNoFolder, "The folder of the ODBC configuration file \"%s1\" does not exist."},
    {koErrSetupNotWritable,
     "The ODBC configuration file \"%s1\" is read-only or may not be written by this user."},
    {koErrSetupLockTimeout,
     "The ODBC configuration file \"%s1\" stays locked by another setup request; try again later."},
    {koErrSetupNoRoom,
     "There is no room for a safety copy of \"%s1\" (the disk may be full); nothing was written."},
    {koErrSetupNotRestored, "The ODBC configuration file \"%s1\" could not be put back as it was."},
    {koErrSetupRemoveFailed, "The data source \"%s1\" could not be removed from \"%s2\" (the disk may be "
                             "full); the file was put back "
                             "as it was."},

    // Network transfer.
    {koErrNetFailed, "The network transfer failed (error %d1)."},
    {koErrNetTimeout, "The network transfer timed out."},
    {koErrNetLost, "The network connection was lost."},
    {koErrNetRefused, "The network transfer was refused by the connection."},

    // Dialogs.
    {koErrDialogCreate, "The dialog box could not be created."},

    {0, nullptr},
};

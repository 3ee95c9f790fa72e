#include "resources/resources.h"

// Texts of the library's numbered errors. Markers "%s1", "%d2" ... are filled in order by the code
// that raises the error (a text for "%s", a number for "%d"); an error raised with no parameter has
// no marker. At most 255 characters each.
const KoResourceString koStringsErrors[] = {
    // Files and the operating system.
    {1501, "The file \"%s1\" could not be created."},
    {1502, "The file \"%s1\" could not be deleted."},
    {1503, "The operating system ran out of memory."},
    {1506, "Nothing could be written to the file; the disk may be full."},
    {1507, "A file was used after it had been closed, or was never opened."},
    {1508, "Access to \"%s1\" was denied."},
    {1509, "The file \"%s1\" does not exist."},
    {1512, "The file is locked by another process."},
    {1524, "The file name \"%s1\" is longer than 128 characters."},
    {30040, "The file \"%s1\" could not be opened."},
    {30041, "A file operation failed or was cut short."},
    {30045, "Too many files are open."},

    // Numbers in text.
    {2701, "The number \"%s1\" is out of range."},
    {2702, "\"%s1\" is not a valid number."},

    // Attribute lists and connection strings.
    {2704, "Syntax error in the attribute list at position %d1."},
    {2705, "Syntax error at position %d1 of %s2."},
    {2706, " The keyword before \"%s1\" is given twice."},
    {2707, " The keywords \"%s1\" and \"%s2\" may not both be given."},

    // Record sort.
    {2709, "The records are too many or too disordered to sort: the sort's work stack is full."},
    {2710, "A sort can have at most 64 keys."},

    // Strings.
    {2716, "A text does not fit into its fixed-size buffer."},

    // Directory lookup.
    {2730, "No LDAP server was given; the LDAP library's default server is used."},
    {2731, "Could not connect to the LDAP server. %s1"},
    {2732, "The LDAP search found no usable entry. %s1"},

    // Libraries bound at run time.
    {2733, "The library \"%s1\" could not be loaded."},
    {2734, "The function \"%s1\" was not found in the library \"%s2\"."},

    // Network transfer.
    {7500, "The network transfer failed (error %d1)."},
    {7501, "The network transfer timed out."},
    {7503, "The network connection was lost."},
    {7504, "The network transfer was refused by the connection."},

    // Dialogs.
    {9999, "The dialog box could not be created."},

    {0, nullptr},
};

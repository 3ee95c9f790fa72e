#pragma once
// The registry's store: one tree of keys per root, kept in one human-readable text file per root,
// plus the two ODBC keys that are unixODBC's own INI files (a section is a subkey, an entry a string
// value). Every operation loads what it needs afresh, so other processes' writes are seen at once;
// a writer holds the root file's lock (and the INI file's, under an ODBC key) from load to save.
#include <memory>
#include <string>
#include <vector>
#include "platform/inifile.h"
#include "platform/types.h"

enum class KoRegRoot { classes = 0, user = 1, machine = 2 };

struct KoRegValue {
    std::string name;
    DWORD type;
    std::string data;
};

struct KoRegKey {
    std::string name;
    std::string keyClass;
    std::vector<KoRegValue> values;                 // in the order they were made
    std::vector<std::unique_ptr<KoRegKey>> subkeys; // sorted by name ignoring case
    bool builtIn = false;                           // offered by the layer, not stored

    KoRegKey* child(const std::string& name) const;
    KoRegKey* addChild(const std::string& name); // keeps the order
    KoRegValue* value(const std::string& name);
};

// The parsed text of a root file; false when damaged. Exposed for tests and tools.
bool koRegParse(const std::string& text, KoRegKey* root);
std::string koRegFormat(const KoRegKey& root, const char* rootName);

// One operation's view of a root.
class KoRegSession {
public:
    // Loads the root; with write, under its lock, and under the INI file's lock too when path lies
    // within an ODBC key. status() tells the outcome: ERROR_BADDB for a damaged file.
    KoRegSession(KoRegRoot root, const std::vector<std::string>& path, bool write);
    ~KoRegSession();
    DWORD status() const { return status_; }
    KoRegKey* top() { return &top_; }

    // The key at path, or null.
    KoRegKey* find(const std::vector<std::string>& path);
    // Where path lies in an ODBC key: the depth of that key's path (3), else 0.
    size_t iniDepth(const std::vector<std::string>& path) const;
    KoIniFile* ini() { return ini_.get(); }

    // Writes the root file (the ODBC keys' content excluded) and, when touched, the INI file.
    DWORD save(bool iniTouched);

private:
    KoRegRoot root_;
    std::string file_, iniFile_;
    std::unique_ptr<class KoFileWriteLock> lock_, iniLock_;
    std::unique_ptr<KoIniFile> ini_;
    KoRegKey top_;
    DWORD status_;
};

// Makes an installer loaded in this process forget the profile answers it keeps.
void koForgetInstallerAnswers();

// The file of a root, and the INI file an ODBC key stands for ("" when the root has none).
std::string koRegRootFile(KoRegRoot root);
std::string koRegIniFile(KoRegRoot root);

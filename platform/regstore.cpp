// The registry's files: their text format, where they live, and the ODBC keys over unixODBC's files.
#include "platform/regstore.h"
#include "platform/safefile.h"
#include "platform/system.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#ifndef ERROR_BADDB
#define ERROR_BADDB 1009u
#endif

namespace {

const char* const kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};
const char* const kRootFiles[] = {"classes.reg", "user.reg", "machine.reg"};
const DWORD kSz = 1, kExpandSz = 2, kBinary = 3, kDword = 4, kMultiSz = 7;

std::string upper(const std::string& s) {
    std::string u = s;
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return u;
}

const char kHex[] = "0123456789abcdef";

// A quoted text: backslash, quote and bytes outside printable ASCII escaped, so a value is one line.
void quote(std::string* out, const std::string& s) {
    out->push_back('"');
    for (unsigned char c : s) {
        if (c == '\\' || c == '"') {
            out->push_back('\\');
            out->push_back(char(c));
        } else if (c < 0x20 || c == 0x7f) {
            out->append("\\x");
            out->push_back(kHex[c >> 4]);
            out->push_back(kHex[c & 15]);
        } else
            out->push_back(char(c));
    }
    out->push_back('"');
}

// A key name in a header: "%" and control bytes as %HH (a backslash cannot be in a name).
void pathPart(std::string* out, const std::string& s) {
    for (unsigned char c : s) {
        if (c == '%' || c < 0x20 || c == 0x7f || c == ']') {
            out->push_back('%');
            out->push_back(kHex[c >> 4]);
            out->push_back(kHex[c & 15]);
        } else
            out->push_back(char(c));
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted text at s[*i]; false when malformed.
bool unquote(const std::string& s, size_t* i, std::string* out) {
    out->clear();
    if (*i >= s.size() || s[*i] != '"') return false;
    for (size_t k = *i + 1; k < s.size(); ++k) {
        char c = s[k];
        if (c == '"') {
            *i = k + 1;
            return true;
        }
        if (c != '\\') {
            out->push_back(c);
            continue;
        }
        if (++k >= s.size()) return false;
        if (s[k] == '\\' || s[k] == '"')
            out->push_back(s[k]);
        else if (s[k] == 'x' && k + 2 < s.size() && hexDigit(s[k + 1]) >= 0 && hexDigit(s[k + 2]) >= 0) {
            out->push_back(char(hexDigit(s[k + 1]) * 16 + hexDigit(s[k + 2])));
            k += 2;
        } else
            return false;
    }
    return false;
}

bool plainString(const std::string& d) {
    return !d.empty() && d.back() == 0 && std::memchr(d.data(), 0, d.size() - 1) == nullptr;
}

bool plainMulti(const std::string& d) {
    if (d.size() < 2 || d[d.size() - 1] != 0 || d[d.size() - 2] != 0) return false;
    for (size_t i = 0; i + 1 < d.size(); ++i)
        if (d[i] == 0 && (i == 0 || d[i - 1] == 0) && i + 1 < d.size() - 1) return false;
    return true;
}

void formatValue(std::string* out, const KoRegValue& v) {
    if (v.name.empty())
        out->push_back('@');
    else
        quote(out, v.name);
    out->push_back('=');
    if (v.type == kSz && plainString(v.data)) {
        quote(out, v.data.substr(0, v.data.size() - 1));
    } else if (v.type == kExpandSz && plainString(v.data)) {
        out->append("expand:");
        quote(out, v.data.substr(0, v.data.size() - 1));
    } else if (v.type == kDword && v.data.size() == 4) {
        uint32_t n;
        std::memcpy(&n, v.data.data(), 4);
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", n);
        out->append(text);
    } else if (v.type == kMultiSz && plainMulti(v.data)) {
        out->append("multi:");
        size_t at = 0;
        while (at + 1 < v.data.size()) {
            size_t end = v.data.find('\0', at);
            if (at) out->push_back(',');
            quote(out, v.data.substr(at, end - at));
            at = end + 1;
        }
    } else {
        char text[32];
        if (v.type == kBinary)
            out->append("hex:");
        else {
            std::snprintf(text, sizeof text, "hex(%x):", unsigned(v.type));
            out->append(text);
        }
        for (size_t i = 0; i < v.data.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(v.data[i]);
            if (i) out->push_back(',');
            out->push_back(kHex[c >> 4]);
            out->push_back(kHex[c & 15]);
        }
    }
    out->push_back('\n');
}

bool parseData(const std::string& s, size_t i, KoRegValue* v) {
    auto rest = [&](const char* prefix) {
        size_t n = std::strlen(prefix);
        if (s.compare(i, n, prefix) != 0) return false;
        i += n;
        return true;
    };
    std::string text;
    if (i < s.size() && s[i] == '"') {
        v->type = kSz;
        if (!unquote(s, &i, &text)) return false;
        v->data = text + '\0';
    } else if (rest("expand:")) {
        v->type = kExpandSz;
        if (!unquote(s, &i, &text)) return false;
        v->data = text + '\0';
    } else if (rest("dword:")) {
        if (s.size() - i != 8) return false;
        uint32_t n = 0;
        for (; i < s.size(); ++i) {
            int d = hexDigit(s[i]);
            if (d < 0) return false;
            n = n * 16 + uint32_t(d);
        }
        v->type = kDword;
        v->data.assign(reinterpret_cast<const char*>(&n), 4);
        return true;
    } else if (rest("multi:")) {
        v->type = kMultiSz;
        v->data.clear();
        for (;;) {
            if (!unquote(s, &i, &text)) return false;
            v->data += text + '\0';
            if (i >= s.size()) break;
            if (s[i++] != ',') return false;
        }
        v->data.push_back('\0');
    } else {
        if (rest("hex:"))
            v->type = kBinary;
        else if (rest("hex(")) {
            size_t close = s.find("):", i);
            if (close == std::string::npos || close == i || close - i > 8) return false;
            uint32_t t = 0;
            for (; i < close; ++i) {
                int d = hexDigit(s[i]);
                if (d < 0) return false;
                t = t * 16 + uint32_t(d);
            }
            v->type = t;
            i += 2;
        } else
            return false;
        v->data.clear();
        while (i < s.size()) {
            if (i + 2 > s.size() || hexDigit(s[i]) < 0 || hexDigit(s[i + 1]) < 0) return false;
            v->data.push_back(char(hexDigit(s[i]) * 16 + hexDigit(s[i + 1])));
            i += 2;
            if (i < s.size() && s[i++] != ',') return false;
        }
    }
    return i == s.size();
}

void formatKey(std::string* out, const KoRegKey& key, const std::string& path, const KoRegKey* skip) {
    if (&key == skip) return;
    // A key that only leads to others is implied by their headers.
    bool implied = key.values.empty() && key.keyClass.empty() && !key.subkeys.empty();
    if (!key.builtIn && !implied) {
        out->push_back('[');
        out->append(path);
        out->append("]\n");
        if (!key.keyClass.empty()) {
            out->append("class=");
            quote(out, key.keyClass);
            out->push_back('\n');
        }
        for (const KoRegValue& v : key.values)
            formatValue(out, v);
    }
    for (const auto& sub : key.subkeys) {
        std::string p = path;
        if (!p.empty()) p.push_back('\\');
        pathPart(&p, sub->name);
        formatKey(out, *sub, p, skip);
    }
}

const std::vector<std::string>& iniKeyPath(KoRegRoot root) {
    static const std::vector<std::string> user = {"SOFTWARE", "ODBC", "ODBC.INI"};
    static const std::vector<std::string> machine = {"SOFTWARE", "ODBC", "ODBCINST.INI"};
    static const std::vector<std::string> none;
    return root == KoRegRoot::user ? user : root == KoRegRoot::machine ? machine : none;
}

KoRegKey* walk(KoRegKey* key, const std::vector<std::string>& path, size_t depth, bool create) {
    for (size_t i = 0; i < depth && key; ++i) {
        KoRegKey* next = key->child(path[i]);
        if (!next && create) {
            next = key->addChild(path[i]);
            next->builtIn = true;
        }
        key = next;
    }
    return key;
}

} // namespace

KoRegKey* KoRegKey::child(const std::string& n) const {
    for (const auto& k : subkeys)
        if (koNameEquals(k->name, n)) return k.get();
    return nullptr;
}

KoRegKey* KoRegKey::addChild(const std::string& n) {
    auto key = std::make_unique<KoRegKey>();
    key->name = n;
    std::string u = upper(n);
    auto at = std::find_if(subkeys.begin(), subkeys.end(), [&](const auto& k) { return upper(k->name) > u; });
    return subkeys.insert(at, std::move(key))->get();
}

KoRegValue* KoRegKey::value(const std::string& n) {
    for (KoRegValue& v : values)
        if (koNameEquals(v.name, n)) return &v;
    return nullptr;
}

bool koRegParse(const std::string& text, KoRegKey* root) {
    if (std::memchr(text.data(), 0, text.size())) return false;
    KoRegKey* current = nullptr;
    for (size_t start = 0; start < text.size();) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(start, nl - start);
        start = nl + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            if (line.back() != ']') return false;
            std::string inner = line.substr(1, line.size() - 2);
            current = root;
            size_t at = 0;
            while (!inner.empty() && at <= inner.size()) {
                size_t sep = inner.find('\\', at);
                if (sep == std::string::npos) sep = inner.size();
                std::string part;
                for (size_t k = at; k < sep; ++k) {
                    if (inner[k] == '%') {
                        if (k + 2 >= sep || hexDigit(inner[k + 1]) < 0 || hexDigit(inner[k + 2]) < 0)
                            return false;
                        part.push_back(char(hexDigit(inner[k + 1]) * 16 + hexDigit(inner[k + 2])));
                        k += 2;
                    } else
                        part.push_back(inner[k]);
                }
                if (part.empty() || part.size() > 255) return false;
                KoRegKey* next = current->child(part);
                current = next ? next : current->addChild(part);
                current->builtIn = false;
                at = sep + 1;
            }
            root->builtIn = false;
            continue;
        }
        if (!current) return false;
        if (line.compare(0, 6, "class=") == 0) {
            size_t i = 6;
            if (!unquote(line, &i, &current->keyClass) || i != line.size()) return false;
            continue;
        }
        KoRegValue v;
        size_t i = 0;
        if (line[0] == '@')
            i = 1;
        else if (!unquote(line, &i, &v.name) || v.name.empty())
            return false;
        if (i >= line.size() || line[i] != '=' || !parseData(line, i + 1, &v)) return false;
        if (current->value(v.name)) return false; // a name given twice: which one did the user mean?
        current->values.push_back(std::move(v));
    }
    return true;
}

std::string koRegFormat(const KoRegKey& root, const char* rootName) {
    std::string out = "; ztbtr20 registry ";
    out += rootName;
    out += "\n";
    formatKey(&out, root, "", nullptr);
    return out;
}

std::string koRegRootFile(KoRegRoot root) {
    std::string dir;
    if (koGetEnvironment("KO_REGISTRY_DIR", &dir) && !dir.empty())
        ;
    else if (root == KoRegRoot::user)
        dir = koUserConfigFolder() + "/ztbtr20";
    else
        dir = "/etc/ztbtr20";
    return dir + "/" + kRootFiles[int(root)];
}

std::string koRegIniFile(KoRegRoot root) {
    std::string value;
    if (root == KoRegRoot::user) {
        if (koGetEnvironment("ODBCINI", &value) && !value.empty()) return value;
        if (!koGetEnvironment("HOME", &value) || value.empty()) return std::string();
        return value + "/.odbc.ini";
    }
    if (root == KoRegRoot::machine) {
        std::string folder, name;
        if (!koGetEnvironment("ODBCSYSINI", &folder) || folder.empty()) folder = "/etc";
        if (!koGetEnvironment("ODBCINSTINI", &name) || name.empty()) name = "odbcinst.ini";
        return name[0] == '/' ? name : folder + "/" + name;
    }
    return std::string();
}

KoRegSession::KoRegSession(KoRegRoot root, const std::vector<std::string>& path, bool write)
    : root_(root), status_(ERROR_SUCCESS) {
    file_ = koRegRootFile(root);
    iniFile_ = koRegIniFile(root);
    const std::vector<std::string>& mount = iniKeyPath(root);
    bool underIni = !iniFile_.empty() && iniDepth(path) > 0;
    if (write) {
        status_ = koMakeFolders(koFolderOf(file_));
        if (status_ != ERROR_SUCCESS) return;
        lock_ = std::make_unique<KoFileWriteLock>(file_);
        status_ = lock_->status();
        if (status_ == ERROR_SUCCESS && underIni) {
            iniLock_ = std::make_unique<KoFileWriteLock>(iniFile_);
            status_ = iniLock_->status();
        }
        if (status_ != ERROR_SUCCESS) return;
    }
    std::string text;
    bool exists = false;
    status_ = koReadWholeFile(file_, &text, &exists);
    if (status_ != ERROR_SUCCESS) return;
    top_.builtIn = true;
    if (!koRegParse(text, &top_)) {
        status_ = ERROR_BADDB;
        return;
    }
    if (root == KoRegRoot::classes && !top_.child(".htm")) {
        // Help opens pages through the ".htm" class: without one of the user's, the desktop's opener.
        KoRegKey* htm = top_.addChild(".htm");
        htm->builtIn = true;
        htm->values.push_back({"", kSz, std::string("htmlfile") + '\0'});
        KoRegKey* command = walk(&top_, {"htmlfile", "shell", "open", "command"}, 4, true);
        if (command->values.empty())
            command->values.push_back({"", kSz, std::string("xdg-open \"%1\"") + '\0'});
    }
    if (iniFile_.empty()) return;
    ini_ = std::make_unique<KoIniFile>();
    status_ = koReadWholeFile(iniFile_, &text, &exists);
    if (status_ != ERROR_SUCCESS || !ini_->parse(std::move(text))) {
        if (status_ == ERROR_SUCCESS) status_ = ERROR_BADDB;
        if (!underIni) status_ = ERROR_SUCCESS; // the rest of the root is sound
        ini_->parse(std::string());
        return;
    }
    KoRegKey* odbc = walk(&top_, mount, mount.size(), true);
    for (const std::string& section : ini_->sections()) {
        KoRegKey* key = odbc->child(section);
        if (!key) key = odbc->addChild(section);
        key->builtIn = true;
        for (auto& e : ini_->entries(section))
            key->values.push_back({e.first, kSz, e.second + '\0'});
    }
}

KoRegSession::~KoRegSession() = default;

KoRegKey* KoRegSession::find(const std::vector<std::string>& path) {
    return walk(&top_, path, path.size(), false);
}

size_t KoRegSession::iniDepth(const std::vector<std::string>& path) const {
    const std::vector<std::string>& mount = iniKeyPath(root_);
    if (mount.empty() || iniFile_.empty() || path.size() < mount.size()) return 0;
    for (size_t i = 0; i < mount.size(); ++i)
        if (!koNameEquals(path[i], mount[i])) return 0;
    return mount.size();
}

DWORD KoRegSession::save(bool iniTouched) {
    if (iniTouched && ini_) {
        DWORD e = koReplaceFile(iniFile_, ini_->text());
        if (e == ERROR_SUCCESS) koForgetInstallerAnswers();
        return e;
    }
    const std::vector<std::string>& mount = iniKeyPath(root_);
    const KoRegKey* skip = iniFile_.empty() ? nullptr : walk(&top_, mount, mount.size(), false);
    std::string out = "; ztbtr20 registry ";
    out += kRootNames[int(root_)];
    out += "\n";
    formatKey(&out, top_, "", skip);
    return koReplaceFile(file_, out);
}

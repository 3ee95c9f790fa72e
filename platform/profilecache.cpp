// The snapshot cache of profile files.
#include "platform/profilecache.h"
#include "platform/oserror.h"
#include "platform/safefile.h"
#include "platform/system.h"

#include <mutex>
#include <sys/stat.h>

namespace {

struct Identity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    struct timespec mtime = {0, 0}, ctime = {0, 0};
    bool operator==(const Identity& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

struct Entry {
    Identity id;
    std::shared_ptr<const KoProfileSnapshot> snapshot;
};

// A process reads few profile files; past this many the cache starts afresh.
const size_t kMaxFiles = 64;

std::mutex cacheLock;
std::unordered_map<std::string, Entry>& cache() {
    static auto* files = new std::unordered_map<std::string, Entry>; // lives until the process ends
    return *files;
}

std::string fold(std::string_view section, std::string_view key) {
    std::string k;
    k.reserve(section.size() + key.size() + 1);
    for (char c : section)
        k.push_back(c >= 'A' && c <= 'Z' ? char(c + 32) : c);
    k.push_back('\0');
    for (char c : key)
        k.push_back(c >= 'A' && c <= 'Z' ? char(c + 32) : c);
    return k;
}

std::shared_ptr<const KoProfileSnapshot> load(const std::string& path) {
    auto s = std::make_shared<KoProfileSnapshot>();
    std::string text;
    bool exists = false;
    s->error = koReadWholeFile(path, &text, &exists);
    s->readable = s->error == ERROR_SUCCESS && s->ini.parse(std::move(text));
    if (s->error == ERROR_SUCCESS && !s->readable) s->error = ERROR_INVALID_DATA;
    if (!s->readable) {
        s->ini.parse(std::string());
        return s;
    }
    for (const std::string& section : s->ini.sections())
        for (auto& e : s->ini.entries(section))
            s->values.emplace(fold(section, e.first), std::move(e.second));
    return s;
}

} // namespace

const std::string* KoProfileSnapshot::find(std::string_view section, std::string_view key) const {
    auto it = values.find(fold(section, key));
    return it == values.end() ? nullptr : &it->second;
}

std::shared_ptr<const KoProfileSnapshot> koProfileSnapshot(const std::string& path) {
    Identity id;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        id.dev = st.st_dev;
        id.ino = st.st_ino;
        id.size = st.st_size;
        id.mtime = st.st_mtim;
        id.ctime = st.st_ctim;
    }
    {
        std::lock_guard<std::mutex> hold(cacheLock);
        auto it = cache().find(path);
        if (it != cache().end() && it->second.id == id && id.size >= 0) return it->second.snapshot;
    }
    std::shared_ptr<const KoProfileSnapshot> s = load(path);
    // Kept only when the file did not change while it was read (the identity is taken again).
    struct stat after;
    if (id.size >= 0 && s->readable && stat(path.c_str(), &after) == 0 && after.st_ino == id.ino &&
        after.st_size == id.size && after.st_mtim.tv_nsec == id.mtime.tv_nsec &&
        after.st_mtim.tv_sec == id.mtime.tv_sec) {
        std::lock_guard<std::mutex> hold(cacheLock);
        if (cache().size() >= kMaxFiles) cache().clear();
        cache()[path] = Entry{id, s};
    }
    return s;
}

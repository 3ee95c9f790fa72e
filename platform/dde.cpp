// The in-process DDE: instances, string handles and data handles in one table under one lock.
#include "platform/dde.h"
#include "platform/ddeinternal.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kodde {

State& state() {
    static State* s = new State; // outlives every static destructor that might still call in
    return *s;
}

std::string lower(const char* text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

void setError(State& s, DWORD instance, UINT error) {
    auto it = s.instances.find(instance);
    if (it != s.instances.end()) it->second.lastError = error;
}

void releaseAtom(State& s, uintptr_t atom, uint32_t uses) {
    auto it = s.atoms.find(atom);
    if (it == s.atoms.end()) return;
    it->second.uses -= std::min(uses, it->second.uses);
    if (it->second.uses == 0) {
        s.atomByText.erase(lower(it->second.text.c_str()));
        s.atoms.erase(it);
    }
}

} // namespace kodde

using namespace kodde;

UINT DdeInitializeA(DWORD* instance, PFNCALLBACK callback, DWORD flags, DWORD) {
    if (!instance || !callback) return DMLERR_INVALIDPARAMETER;
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    try {
        if (*instance != 0) {
            auto it = s.instances.find(*instance);
            if (it == s.instances.end()) return DMLERR_INVALIDPARAMETER;
            it->second.callback = callback;
            it->second.flags = flags;
            return DMLERR_NO_ERROR;
        }
        DWORD id = static_cast<DWORD>(s.next++);
        Instance& i = s.instances[id];
        i.callback = callback;
        i.flags = flags;
        *instance = id;
    } catch (const std::bad_alloc&) {
        return DMLERR_MEMORY_ERROR;
    }
    return DMLERR_NO_ERROR;
}

BOOL DdeUninitialize(DWORD instance) {
    State& s = state();
    std::shared_ptr<Worker> own;
    std::vector<std::pair<std::shared_ptr<Worker>, std::function<HDDEDATA()>>> tell;
    {
        std::lock_guard<std::mutex> g(s.lock);
        auto it = s.instances.find(instance);
        if (it == s.instances.end()) return FALSE;
        own = it->second.worker;
        s.services.erase(std::remove_if(s.services.begin(), s.services.end(),
                                        [&](const Service& v) { return v.server == instance; }),
                         s.services.end());
        for (auto c = s.conversations.begin(); c != s.conversations.end();) {
            if (c->second.client != instance && c->second.server != instance) {
                ++c;
                continue;
            }
            // A server that outlives its client hears of the end; a client just finds its
            // conversation gone.
            if (c->second.client == instance && c->second.server != instance) {
                auto server = s.instances.find(c->second.server);
                if (server != s.instances.end()) {
                    PFNCALLBACK cb = server->second.callback;
                    HCONV h = handleOf<HCONV>(c->first);
                    try {
                        tell.emplace_back(server->second.worker, [cb, h] {
                            return cb(XTYP_DISCONNECT, 0, h, nullptr, nullptr, nullptr, 0, 0);
                        });
                    } catch (const std::bad_alloc&) {
                    }
                }
            }
            if (c->second.client != instance) {
                // The client keeps its handle until it disconnects; its transactions now fail.
                c->second.server = 0;
                ++c;
                continue;
            }
            c = s.conversations.erase(c);
        }
        for (auto d = s.data.begin(); d != s.data.end();)
            d = d->second.owner == instance ? s.data.erase(d) : std::next(d);
        for (auto& [atom, uses] : it->second.stringUses)
            releaseAtom(s, atom, uses);
        s.instances.erase(it);
    }
    for (auto& [worker, call] : tell)
        notifyServer(worker, std::move(call));
    stopWorker(own);
    return TRUE;
}

UINT DdeGetLastError(DWORD instance) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.instances.find(instance);
    if (it == s.instances.end()) return DMLERR_DLL_NOT_INITIALIZED;
    UINT e = it->second.lastError;
    it->second.lastError = DMLERR_NO_ERROR;
    return e;
}

HSZ DdeCreateStringHandleA(DWORD instance, LPCSTR text, int codePage) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.instances.find(instance);
    if (it == s.instances.end()) return nullptr;
    if (!text || (codePage != 0 && codePage != CP_WINANSI) || std::strlen(text) > 255) {
        it->second.lastError = DMLERR_INVALIDPARAMETER;
        return nullptr;
    }
    if (!*text) return nullptr; // the empty text is the null handle, as on Windows
    try {
        std::string key = lower(text);
        auto found = s.atomByText.find(key);
        uintptr_t atom;
        if (found != s.atomByText.end()) {
            atom = found->second;
        } else {
            atom = s.next++;
            s.atoms[atom].text = text;
            try {
                s.atomByText[key] = atom;
            } catch (...) {
                s.atoms.erase(atom);
                throw;
            }
        }
        ++it->second.stringUses[atom];
        ++s.atoms[atom].uses;
        return handleOf<HSZ>(atom);
    } catch (const std::bad_alloc&) {
        it->second.lastError = DMLERR_MEMORY_ERROR;
        return nullptr;
    }
}

BOOL DdeFreeStringHandle(DWORD instance, HSZ string) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.instances.find(instance);
    if (it == s.instances.end()) return FALSE;
    auto uses = it->second.stringUses.find(idOf(string));
    if (uses == it->second.stringUses.end()) {
        it->second.lastError = DMLERR_INVALIDPARAMETER;
        return FALSE;
    }
    if (--uses->second == 0) it->second.stringUses.erase(uses);
    releaseAtom(s, idOf(string), 1);
    return TRUE;
}

BOOL DdeKeepStringHandle(DWORD instance, HSZ string) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.instances.find(instance);
    auto atom = s.atoms.find(idOf(string));
    if (it == s.instances.end() || atom == s.atoms.end()) return FALSE;
    try {
        ++it->second.stringUses[idOf(string)];
    } catch (const std::bad_alloc&) {
        it->second.lastError = DMLERR_MEMORY_ERROR;
        return FALSE;
    }
    ++atom->second.uses;
    return TRUE;
}

DWORD DdeQueryStringA(DWORD instance, HSZ string, LPSTR buffer, DWORD size, int) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.instances.count(instance)) return 0;
    auto atom = s.atoms.find(idOf(string));
    if (atom == s.atoms.end()) {
        if (buffer && size) buffer[0] = 0;
        return 0;
    }
    const std::string& t = atom->second.text;
    if (!buffer) return static_cast<DWORD>(t.size());
    if (size == 0) return 0;
    DWORD n = std::min<DWORD>(static_cast<DWORD>(t.size()), size - 1);
    std::memcpy(buffer, t.data(), n);
    buffer[n] = 0;
    return n;
}

int DdeCmpStringHandles(HSZ a, HSZ b) {
    if (idOf(a) == idOf(b)) return 0;
    return idOf(a) < idOf(b) ? -1 : 1;
}

HDDEDATA DdeCreateDataHandle(DWORD instance, const unsigned char* source, DWORD size, DWORD offset, HSZ item,
                             UINT format, UINT command) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.instances.count(instance)) return nullptr;
    try {
        uintptr_t id = s.next++;
        Data& d = s.data[id];
        d.bytes.resize(size);
        if (source && size) std::memcpy(d.bytes.data(), source + offset, size);
        d.format = format;
        d.item = idOf(item);
        d.owner = instance;
        d.appOwned = (command & HDATA_APPOWNED) != 0;
        return handleOf<HDDEDATA>(id);
    } catch (const std::bad_alloc&) {
        setError(s, instance, DMLERR_MEMORY_ERROR);
        return nullptr;
    }
}

DWORD DdeGetData(HDDEDATA data, unsigned char* destination, DWORD size, DWORD offset) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    auto d = s.data.find(idOf(data));
    if (d == s.data.end()) return 0;
    const std::vector<unsigned char>& b = d->second.bytes;
    if (offset > b.size()) {
        setError(s, d->second.owner, DMLERR_INVALIDPARAMETER);
        return 0;
    }
    DWORD available = static_cast<DWORD>(b.size() - offset);
    if (!destination) return available;
    DWORD n = std::min(available, size);
    if (n) std::memcpy(destination, b.data() + offset, n);
    return n;
}

unsigned char* DdeAccessData(HDDEDATA data, DWORD* size) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    auto d = s.data.find(idOf(data));
    if (d == s.data.end()) return nullptr;
    if (size) *size = static_cast<DWORD>(d->second.bytes.size());
    static unsigned char empty = 0;
    return d->second.bytes.empty() ? &empty : d->second.bytes.data();
}

BOOL DdeUnaccessData(HDDEDATA data) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    return s.data.count(idOf(data)) ? TRUE : FALSE;
}

BOOL DdeFreeDataHandle(HDDEDATA data) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    return s.data.erase(idOf(data)) ? TRUE : FALSE;
}

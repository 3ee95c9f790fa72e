// The in-process DDE: instances, string handles, services, conversations and data handles in one
// table under one lock; each server's callbacks run on that server's own thread.
#include "platform/dde.h"

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

// How long a connect waits for a server's answer: DdeConnect has no time-out of its own, and a
// server that never answers must not hold its client for ever.
constexpr DWORD kConnectWait = 10000;

// One callback call for a server's thread, and its answer.
struct Job {
    std::function<HDDEDATA()> call;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool failed = false;    // the server went away before it answered
    bool abandoned = false; // the client stopped waiting: the answer is freed when it comes
    HDDEDATA answer = nullptr;
};

struct Worker {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::shared_ptr<Job>> queue;
    bool stopping = false;
    std::thread thread;
    std::thread::id id;
};

struct Instance {
    PFNCALLBACK callback = nullptr;
    DWORD flags = 0;
    UINT lastError = DMLERR_NO_ERROR;
    std::map<uintptr_t, uint32_t> stringUses; // atom -> uses this instance holds
    std::shared_ptr<Worker> worker;           // made when the instance first offers a service
};

struct Atom {
    std::string text;
    uint32_t uses = 0;
};

struct Data {
    std::vector<unsigned char> bytes;
    UINT format = 0;
    uintptr_t item = 0;
    DWORD owner = 0;
    bool appOwned = false;
};

struct Conversation {
    DWORD client = 0, server = 0;
    uintptr_t service = 0, topic = 0;
};

struct Service {
    DWORD server;
    uintptr_t name;
};

struct State {
    std::mutex lock;
    uintptr_t next = 1; // one counter for every kind of handle, so no two handles are ever equal
    std::map<DWORD, Instance> instances;
    std::map<uintptr_t, Atom> atoms;
    std::map<std::string, uintptr_t> atomByText; // lower-case text -> atom
    std::map<uintptr_t, Data> data;
    std::map<uintptr_t, Conversation> conversations;
    std::vector<Service> services;
};

State& state() {
    static State* s = new State; // outlives every static destructor that might still call in
    return *s;
}

uintptr_t idOf(const void* handle) {
    return reinterpret_cast<uintptr_t>(handle);
}
template <class H> H handleOf(uintptr_t id) {
    return reinterpret_cast<H>(id);
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

void workerMain(std::shared_ptr<Worker> w) {
    std::unique_lock<std::mutex> g(w->mutex);
    for (;;) {
        w->wake.wait(g, [&] { return w->stopping || !w->queue.empty(); });
        if (w->queue.empty()) return;
        std::shared_ptr<Job> job = w->queue.front();
        w->queue.pop_front();
        g.unlock();
        HDDEDATA answer = job->call();
        bool abandoned;
        {
            std::lock_guard<std::mutex> j(job->mutex);
            job->answer = answer;
            job->done = true;
            abandoned = job->abandoned;
        }
        job->finished.notify_all();
        if (abandoned && answer) DdeFreeDataHandle(answer); // nobody takes it any more
        g.lock();
    }
}

// Runs call on the server's thread (at once when the caller is that thread) and waits up to ms
// milliseconds. False when the server did not answer in time or went away; *answer is its result.
bool runOnServer(const std::shared_ptr<Worker>& w, std::function<HDDEDATA()> call, DWORD ms, HDDEDATA* answer,
                 bool* timedOut) {
    *timedOut = false;
    if (!w) return false;
    if (std::this_thread::get_id() == w->id) {
        *answer = call();
        return true;
    }
    auto job = std::make_shared<Job>();
    job->call = std::move(call);
    {
        std::lock_guard<std::mutex> g(w->mutex);
        if (w->stopping) return false;
        w->queue.push_back(job);
    }
    w->wake.notify_one();
    std::unique_lock<std::mutex> j(job->mutex);
    if (!job->finished.wait_for(j, std::chrono::milliseconds(ms), [&] { return job->done; })) {
        job->abandoned = true;
        *timedOut = true;
        return false;
    }
    if (job->failed) return false;
    *answer = job->answer;
    return true;
}

// Posts a notification to a server's thread without waiting for it.
void notifyServer(const std::shared_ptr<Worker>& w, std::function<HDDEDATA()> call) {
    if (!w) return;
    if (std::this_thread::get_id() == w->id) {
        call();
        return;
    }
    auto job = std::make_shared<Job>();
    job->call = std::move(call);
    job->abandoned = true;
    {
        std::lock_guard<std::mutex> g(w->mutex);
        if (w->stopping) return;
        w->queue.push_back(job);
    }
    w->wake.notify_one();
}

void stopWorker(const std::shared_ptr<Worker>& w) {
    if (!w) return;
    std::deque<std::shared_ptr<Job>> dropped;
    {
        std::lock_guard<std::mutex> g(w->mutex);
        w->stopping = true;
        dropped.swap(w->queue);
    }
    w->wake.notify_all();
    for (auto& job : dropped) {
        {
            std::lock_guard<std::mutex> j(job->mutex);
            job->done = job->failed = true;
        }
        job->finished.notify_all();
    }
    if (std::this_thread::get_id() == w->id)
        w->thread.detach(); // a callback ends its own instance: the thread ends after it returns
    else if (w->thread.joinable())
        w->thread.join();
}

// The server side of a conversation, if it is still there.
bool serverOf(State& s, uintptr_t conversation, Conversation* c, PFNCALLBACK* callback,
              std::shared_ptr<Worker>* worker) {
    auto it = s.conversations.find(conversation);
    if (it == s.conversations.end()) return false;
    auto server = s.instances.find(it->second.server);
    if (server == s.instances.end()) return false;
    *c = it->second;
    *callback = server->second.callback;
    *worker = server->second.worker;
    return true;
}

} // namespace

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

HDDEDATA DdeNameService(DWORD instance, HSZ service, HSZ, UINT command) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.instances.find(instance);
    if (it == s.instances.end()) return nullptr;
    Instance& i = it->second;
    if (command & DNS_UNREGISTER) {
        s.services.erase(std::remove_if(s.services.begin(), s.services.end(),
                                        [&](const Service& v) {
                                            return v.server == instance &&
                                                   (!service || v.name == idOf(service));
                                        }),
                         s.services.end());
        return handleOf<HDDEDATA>(1);
    }
    if (!(command & DNS_REGISTER) || !s.atoms.count(idOf(service))) {
        i.lastError = DMLERR_INVALIDPARAMETER;
        return nullptr;
    }
    if (i.flags & APPCMD_CLIENTONLY) {
        i.lastError = DMLERR_DLL_USAGE;
        return nullptr;
    }
    try {
        if (!i.worker) {
            auto w = std::make_shared<Worker>();
            w->thread = std::thread(workerMain, w);
            w->id = w->thread.get_id();
            i.worker = w;
        }
        // The service's name is held for as long as it is offered.
        ++i.stringUses[idOf(service)];
        ++s.atoms[idOf(service)].uses;
        s.services.push_back({instance, idOf(service)});
    } catch (const std::exception&) {
        i.lastError = DMLERR_MEMORY_ERROR;
        return nullptr;
    }
    return handleOf<HDDEDATA>(1);
}

HCONV DdeConnect(DWORD instance, HSZ service, HSZ topic, PCONVCONTEXT context) {
    State& s = state();
    struct Candidate {
        DWORD server;
        uintptr_t name;
        PFNCALLBACK callback;
        std::shared_ptr<Worker> worker;
    };
    std::vector<Candidate> candidates;
    {
        std::lock_guard<std::mutex> g(s.lock);
        if (!s.instances.count(instance)) return nullptr;
        try {
            for (const Service& v : s.services) {
                if (service && v.name != idOf(service)) continue;
                const Instance& server = s.instances.at(v.server);
                if (server.flags & CBF_FAIL_CONNECTIONS) continue;
                candidates.push_back({v.server, v.name, server.callback, server.worker});
            }
        } catch (const std::exception&) {
            setError(s, instance, DMLERR_MEMORY_ERROR);
            return nullptr;
        }
    }
    for (const Candidate& c : candidates) {
        HDDEDATA accepted = nullptr;
        bool timedOut;
        HSZ name = handleOf<HSZ>(c.name);
        bool same = c.server == instance;
        PFNCALLBACK cb = c.callback;
        try {
            if (!runOnServer(
                    c.worker,
                    [=] {
                        return cb(XTYP_CONNECT, 0, nullptr, topic, name, nullptr,
                                  reinterpret_cast<ULONG_PTR>(context), same ? 1 : 0);
                    },
                    kConnectWait, &accepted, &timedOut) ||
                !accepted)
                continue;
        } catch (const std::exception&) {
            continue;
        }
        uintptr_t id;
        {
            std::lock_guard<std::mutex> g(s.lock);
            if (!s.instances.count(instance) || !s.instances.count(c.server)) continue;
            try {
                id = s.next++;
                s.conversations[id] = {instance, c.server, c.name, idOf(topic)};
            } catch (const std::bad_alloc&) {
                setError(s, instance, DMLERR_MEMORY_ERROR);
                return nullptr;
            }
        }
        HCONV h = handleOf<HCONV>(id);
        try {
            notifyServer(c.worker,
                         [=] { return cb(XTYP_CONNECT_CONFIRM, 0, h, topic, name, nullptr, 0, same); });
        } catch (const std::exception&) {
        }
        return h;
    }
    std::lock_guard<std::mutex> g(s.lock);
    setError(s, instance, DMLERR_NO_CONV_ESTABLISHED);
    return nullptr;
}

BOOL DdeDisconnect(HCONV conversation) {
    State& s = state();
    Conversation c;
    PFNCALLBACK cb = nullptr;
    std::shared_ptr<Worker> worker;
    {
        std::lock_guard<std::mutex> g(s.lock);
        auto it = s.conversations.find(idOf(conversation));
        if (it == s.conversations.end()) return FALSE;
        bool live = serverOf(s, idOf(conversation), &c, &cb, &worker);
        s.conversations.erase(it);
        if (!live) return TRUE;
    }
    try {
        notifyServer(worker,
                     [=] { return cb(XTYP_DISCONNECT, 0, conversation, nullptr, nullptr, nullptr, 0, 0); });
    } catch (const std::exception&) {
    }
    return TRUE;
}

HDDEDATA DdeClientTransaction(unsigned char* data, DWORD dataSize, HCONV conversation, HSZ item, UINT format,
                              UINT type, DWORD timeout, DWORD* result) {
    if (result) *result = 0;
    State& s = state();
    Conversation c;
    PFNCALLBACK cb = nullptr;
    std::shared_ptr<Worker> worker;
    HDDEDATA given = nullptr;
    {
        std::lock_guard<std::mutex> g(s.lock);
        auto it = s.conversations.find(idOf(conversation));
        if (it == s.conversations.end()) return nullptr;
        DWORD client = it->second.client;
        if (!serverOf(s, idOf(conversation), &c, &cb, &worker)) {
            setError(s, client, DMLERR_NO_CONV_ESTABLISHED);
            return nullptr;
        }
        bool supported = type == XTYP_REQUEST || type == XTYP_EXECUTE || type == XTYP_POKE;
        if (!supported || timeout == TIMEOUT_ASYNC || (type != XTYP_EXECUTE && !item)) {
            setError(s, client, DMLERR_INVALIDPARAMETER);
            return nullptr;
        }
        if (type != XTYP_REQUEST) {
            // The data travels as a handle of the server's, which the server's callback may keep.
            try {
                uintptr_t id = s.next++;
                Data& d = s.data[id];
                if (data) d.bytes.assign(data, data + dataSize);
                d.format = format;
                d.item = idOf(item);
                d.owner = c.server;
                given = handleOf<HDDEDATA>(id);
            } catch (const std::bad_alloc&) {
                setError(s, client, DMLERR_MEMORY_ERROR);
                return nullptr;
            }
        }
    }
    HSZ topic = handleOf<HSZ>(c.topic);
    HDDEDATA answer = nullptr;
    bool timedOut = false, ran;
    try {
        ran = runOnServer(
            worker, [=] { return cb(type, format, conversation, topic, item, given, 0, 0); }, timeout,
            &answer, &timedOut);
    } catch (const std::exception&) {
        ran = false;
    }
    std::lock_guard<std::mutex> g(s.lock);
    if (given && !timedOut) s.data.erase(idOf(given)); // handed over for the callback's call only
    if (!ran) {
        setError(s, c.client,
                 timedOut ? (type == XTYP_REQUEST   ? DMLERR_DATAACKTIMEOUT
                             : type == XTYP_EXECUTE ? DMLERR_EXECACKTIMEOUT
                                                    : DMLERR_POKEACKTIMEOUT)
                          : DMLERR_NO_CONV_ESTABLISHED);
        return nullptr;
    }
    if (type != XTYP_REQUEST) {
        DWORD flags = static_cast<DWORD>(idOf(answer));
        if (result) *result = flags & 0xFFFFu;
        if (flags & DDE_FACK) return handleOf<HDDEDATA>(1);
        setError(s, c.client, (flags & DDE_FBUSY) ? DMLERR_BUSY : DMLERR_NOTPROCESSED);
        return nullptr;
    }
    auto d = s.data.find(idOf(answer));
    if (!answer || d == s.data.end()) {
        setError(s, c.client, DMLERR_NOTPROCESSED);
        return nullptr;
    }
    if (d->second.appOwned) {
        // The server keeps its own: the client gets a copy.
        try {
            uintptr_t id = s.next++;
            Data copy = d->second;
            copy.appOwned = false;
            copy.owner = c.client;
            s.data[id] = std::move(copy);
            answer = handleOf<HDDEDATA>(id);
        } catch (const std::bad_alloc&) {
            setError(s, c.client, DMLERR_MEMORY_ERROR);
            return nullptr;
        }
    } else {
        d->second.owner = c.client;
    }
    if (result) *result = DDE_FACK;
    return answer;
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

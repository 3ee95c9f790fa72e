// The in-process DDE's servers: each server instance's callbacks run on a thread of its own; the
// services, conversations and transactions that reach them.
#include "platform/dde.h"
#include "platform/ddeinternal.h"

#include <algorithm>
#include <chrono>
#include <new>

using namespace kodde;

namespace {

// How long a connect waits for a server's answer: DdeConnect has no time-out of its own, and a
// server that never answers must not hold its client for ever.
constexpr DWORD kConnectWait = 10000;

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

namespace kodde {

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

} // namespace kodde

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

#pragma once
// The in-process DDE's tables and the server threads, shared by its units. Internal to the layer.
#include "platform/dde.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kodde {

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

// The one table of the process.
State& state();

inline uintptr_t idOf(const void* handle) {
    return reinterpret_cast<uintptr_t>(handle);
}
template <class H> H handleOf(uintptr_t id) {
    return reinterpret_cast<H>(id);
}

// The text as string handles compare it.
std::string lower(const char* text);
// Sets an instance's last error (nothing for an instance that is gone). The table's lock is held.
void setError(State& s, DWORD instance, UINT error);
// Gives back uses of a string handle; the text goes with its last use. The table's lock is held.
void releaseAtom(State& s, uintptr_t atom, uint32_t uses);

// Posts a notification to a server's thread without waiting for it.
void notifyServer(const std::shared_ptr<Worker>& w, std::function<HDDEDATA()> call);
// Ends a server's thread: queued calls are dropped (their waiters fail), a running one finishes.
void stopWorker(const std::shared_ptr<Worker>& w);

} // namespace kodde

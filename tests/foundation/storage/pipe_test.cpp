// The pipe: its default socket transport between two loopback endpoints, the address text, the
// transport library and the destructor's duties.
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "foundation/errors/koerrnum.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/storage/kopipe.h"
#include "platform/module.h"
#include "tests/foundation/storage/blk_fixture.h"

namespace {

size_t openDescriptors() {
    size_t n = 0;
    for (auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)e;
        ++n;
    }
    return n;
}

const unsigned char* u(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.c_str());
}

class Pipe : public StorageTest {};

TEST_F(Pipe, StartsWithTheSocketTransport) {
    KoPipe pipe;
    const KoPipeTransport& d = KoPipe::defaultTransport();
    EXPECT_EQ(memcmp(&pipe.transport, &d, sizeof d), 0);
    EXPECT_EQ(pipe.transportLibrary, nullptr);
    EXPECT_EQ(pipe.connected, 0u);
    EXPECT_EQ(pipe.pipeFlag, 1u);
    EXPECT_EQ(pipe.messageBuffer, nullptr);
    EXPECT_EQ(pipe.socket, INVALID_SOCKET);
    int32_t a = -5, b = -5;
    EXPECT_EQ(pipe.transport.startUp(pipe.socket, &pipe.error, &a), 0);
    EXPECT_EQ(a, 100);
    WSACleanup();
    EXPECT_EQ(pipe.transport.properties(pipe.socket, &pipe.error, &a, &b), 0);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 4);
    EXPECT_EQ(pipe.transport.noOp(pipe.socket, &pipe.error), 0);
}

TEST_F(Pipe, ConnectParsesTheAddressAndClosesOnEveryFailure) {
    uint16_t port;
    SOCKET server = listenLoopback(&port);
    uint16_t deadPort;
    closesocket(listenLoopback(&deadPort)); // nobody listens there
    const std::string p = std::to_string(port);
    const struct {
        std::string address;
        int32_t result, kind;
    } rows[] = {
        {"  127.0.0.1, " + p, 0, 0},
        {",\t127.0.0.1\n" + p + " trailing", 0, 0},
        {"localhost," + p, 0, 0},
        {"", pipeFailed, pipeErrAddress},
        {" ,\t, ", pipeFailed, pipeErrAddress},
        {"127.0.0.1.5 " + p, pipeFailed, pipeErrAddress},
        {"1..2 " + p, pipeFailed, pipeErrAddress},
        {"127.0.0.1", pipeFailed, pipeErrAddress},
        {"127.0.0.1 80x", pipeFailed, pipeErrAddress},
        {"127.0.0.1 70000", pipeFailed, pipeErrAddress},
        {"127.0.0.1 " + std::to_string(deadPort), pipeFailed, pipeErrConnect},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE("address \"" + r.address + "\"");
        KoPipe pipe;
        const size_t before = openDescriptors();
        const int32_t rc = pipe.transport.connect(pipe.socket, &pipe.error, u(r.address));
        EXPECT_EQ(rc, r.result);
        EXPECT_EQ(pipe.error.kind, r.kind);
        if (rc == 0) {
            SOCKET peer = accept(server, nullptr, nullptr);
            ASSERT_NE(peer, INVALID_SOCKET);
            EXPECT_EQ(pipe.transport.send(pipe.socket, &pipe.error, u("hi"), 2, 0), 2);
            char got[2];
            EXPECT_EQ(recv(peer, got, 2, 0), 2);
            closesocket(peer);
            EXPECT_EQ(pipe.transport.close(pipe.socket, &pipe.error), 0);
            EXPECT_EQ(pipe.socket, INVALID_SOCKET);
        } else {
            EXPECT_EQ(pipe.socket, INVALID_SOCKET);
            EXPECT_EQ(pipe.error.code, r.kind == pipeErrConnect ? WSAECONNREFUSED : 0);
        }
        EXPECT_EQ(openDescriptors(), before) << "no socket is left open";
    }
    closesocket(server);
    EXPECT_EQ(errorCount(), 0u) << "the transport never raises library errors";
}

TEST_F(Pipe, ReceiveSendAndPollBetweenTwoEndpoints) {
    uint16_t port;
    SOCKET server = listenLoopback(&port);
    KoPipe pipe;
    ASSERT_EQ(pipe.transport.connect(pipe.socket, &pipe.error, u("127.0.0.1 " + std::to_string(port))), 0);
    SOCKET peer = accept(server, nullptr, nullptr);
    closesocket(server);
    unsigned char buf[16];
    int32_t oob = 0;
    const TIMEVAL zero = {0, 0}, second = {1, 0};

    EXPECT_EQ(pipe.transport.receive(pipe.socket, &pipe.error, buf, 16, &oob, &zero), pipeTimeout);
    EXPECT_EQ(pipe.transport.poll(pipe.socket, &pipe.error), 0);
    ASSERT_EQ(send(peer, "message", 7, 0), 7);
    int32_t n = pipe.transport.receive(pipe.socket, &pipe.error, buf, 16, &oob, &second);
    ASSERT_GT(n, 0);
    EXPECT_EQ(memcmp(buf, "message", size_t(n)), 0);
    EXPECT_EQ(oob, 0);

    // Out-of-band data comes through the exception set and is read as such.
    while (n < 7)
        n += pipe.transport.receive(pipe.socket, &pipe.error, buf, 16, &oob, &second);
    ASSERT_EQ(send(peer, "!", 1, MSG_OOB), 1);
    EXPECT_EQ(pipe.transport.receive(pipe.socket, &pipe.error, buf, 16, &oob, &second), 1);
    EXPECT_EQ(oob, 1);
    EXPECT_EQ(buf[0], '!');

    EXPECT_EQ(pipe.transport.send(pipe.socket, &pipe.error, u("U"), 1, 1), 1);
    char urgent;
    EXPECT_EQ(recv(peer, &urgent, 1, MSG_OOB), 1);
    EXPECT_EQ(urgent, 'U');

    // The peer goes away: the receive reports the connection lost.
    closesocket(peer);
    oob = 0;
    EXPECT_EQ(pipe.transport.receive(pipe.socket, &pipe.error, buf, 16, &oob, &second), pipeLost)
        << pipe.error.kind << " " << pipe.error.code << " oob " << oob;
    int32_t rc = 0;
    for (int i = 0; i < 20 && rc >= 0; ++i)
        rc = pipe.transport.send(pipe.socket, &pipe.error, u("data"), 4, 0);
    EXPECT_EQ(rc, pipeLost);
    EXPECT_EQ(pipe.error.kind, pipeErrSend);
    EXPECT_EQ(pipe.error.code, WSAECONNRESET);

    EXPECT_EQ(pipe.transport.close(pipe.socket, &pipe.error), 0);
    EXPECT_EQ(pipe.transport.close(pipe.socket, &pipe.error), pipeFailed);
    EXPECT_EQ(pipe.error.kind, pipeErrClose);
    EXPECT_EQ(pipe.transport.poll(pipe.socket, &pipe.error), pipeLost);
    EXPECT_EQ(pipe.error.kind, pipeErrReceive);
}

TEST_F(Pipe, TransportLibraryReplacesTheTableUntilDestroyed) {
    const std::string lib = KO_BUILD_LIB_DIR "/../stubs/libpipe_transport.so";
    {
        KoPipe pipe;
        ASSERT_EQ(pipe.loadTransport(u(lib)), koSuccess) << lastError();
        EXPECT_NE(pipe.transportLibrary, nullptr);
        EXPECT_EQ(pipe.transport.noOp(pipe.socket, &pipe.error), 1);
        EXPECT_EQ(pipe.transport.noOp(pipe.socket, &pipe.error), 2);
        int32_t a = 0, b = 0;
        pipe.transport.properties(pipe.socket, &pipe.error, &a, &b);
        EXPECT_EQ(a * 10 + b, 78);
        EXPECT_EQ(pipe.transport.send, KoPipe::defaultTransport().send) << "what the library keeps stays";
        EXPECT_NE(GetModuleHandleA(lib.c_str()), nullptr);
    }
    EXPECT_EQ(GetModuleHandleA(lib.c_str()), nullptr) << "the destructor releases the library";

    const struct {
        std::string library;
        uint16_t error;
    } failures[] = {
        {KO_BUILD_LIB_DIR "/../stubs/libpipe_transport_refusing.so", 0},
        {KO_BUILD_LIB_DIR "/../stubs/libodbcinst_stub.so", koErrLibraryEntry},
        {KO_BUILD_LIB_DIR "/../stubs/no_such_transport.so", koErrLibraryLoad},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.library);
        KoPipe pipe;
        const size_t before = errorCount();
        EXPECT_EQ(pipe.loadTransport(u(f.library)), koFailure);
        EXPECT_EQ(errorCount(), before + (f.error ? 1 : 0));
        if (f.error) {
            EXPECT_EQ(lastError(), f.error);
        }
        EXPECT_EQ(memcmp(&pipe.transport, &KoPipe::defaultTransport(), sizeof(KoPipeTransport)), 0);
        EXPECT_EQ(pipe.transportLibrary, nullptr);
        EXPECT_EQ(GetModuleHandleA(f.library.c_str()), nullptr);
    }
}

int hookCalls = 0;
void countingHook(KoPipe* pipe) {
    ++hookCalls;
    EXPECT_EQ(pipe->secondBuffer, nullptr) << "the second buffer is freed before the hook runs";
    EXPECT_NE(pipe->messageBuffer, nullptr) << "the message buffer is freed after it";
}

TEST_F(Pipe, DestructorCallsTheHookOnlyWhenConnectedAndFreesTheBuffers) {
    for (uint32_t connected : {0u, 1u}) {
        hookCalls = 0;
        KoPipe* pipe = new KoPipe;
        ASSERT_NE(pipe, nullptr);
        pipe->closeHook = countingHook;
        pipe->connected = connected;
        pipe->messageBuffer = static_cast<unsigned char*>(ramAlloc(64));
        pipe->messageLength = 64;
        pipe->secondBuffer = static_cast<unsigned char*>(ramAlloc(32));
        delete pipe; // the leak checker sees whether both buffers went
        EXPECT_EQ(hookCalls, int(connected));
    }
    // Without memory no pipe is built.
    ramFailAt(1);
    KoPipe* none = new KoPipe;
    ramFailAt(0);
    EXPECT_EQ(none, nullptr);
}

} // namespace

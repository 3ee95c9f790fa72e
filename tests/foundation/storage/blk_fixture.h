#pragma once
// Shared by the block temporary file and pipe tests: an error list per test, the built resource
// texts, started sockets and connected loopback pairs.
#include <gtest/gtest.h>

#include <string>

#include "foundation/errors/koerror.h"
#include "foundation/errors/pertask.h"
#include "platform/winsock.h"
#include "tests/support/support.h"

class StorageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static bool loaded = false;
        if (!loaded) {
            ASSERT_EQ(koLibraryLoad(), koSuccess);
        }
        loaded = true;
        kotest::useBuildResources();
    }
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        list_ = new KoErrorList(this, 1);
        ASSERT_NE(list_, nullptr);
        KoErrorKeeper::setErrorList(list_);
    }
    void TearDown() override {
        KoErrorKeeper::giveUpErrorList();
        delete list_;
        WSACleanup();
    }
    uint16_t lastError() const { return KoErrorKeeper::getLastErrorNumber(); }
    size_t errorCount() const { return list_->getCount(); }

    // A listening socket on 127.0.0.1 with an ephemeral port.
    static SOCKET listenLoopback(uint16_t* port) {
        SOCKET l = socket(AF_INET, SOCK_STREAM, 0);
        SOCKADDR_IN a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof a;
        if (bind(l, reinterpret_cast<SOCKADDR*>(&a), sizeof a) != 0 || listen(l, 4) != 0 ||
            getsockname(l, reinterpret_cast<SOCKADDR*>(&a), &len) != 0) {
            ADD_FAILURE() << "cannot listen on loopback: " << WSAGetLastError();
        }
        *port = ntohs(a.sin_port);
        return l;
    }
    // Two connected sockets over loopback.
    static void connectedPair(SOCKET* a, SOCKET* b) {
        uint16_t port;
        SOCKET l = listenLoopback(&port);
        *a = socket(AF_INET, SOCK_STREAM, 0);
        SOCKADDR_IN to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(*a, reinterpret_cast<SOCKADDR*>(&to), sizeof to) != 0) ADD_FAILURE() << WSAGetLastError();
        *b = accept(l, nullptr, nullptr);
        closesocket(l);
    }

    KoErrorList* list_ = nullptr;
};

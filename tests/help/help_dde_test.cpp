// DDE within the process, with Windows' semantics: string handles, services, conversations, request
// transactions with their time-outs, and the ends of instances.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "platform/dde.h"

namespace {

// A server whose behaviour the test sets: which topic it accepts, what it answers, how long it takes.
struct Server {
    static inline std::atomic<int> delayMs{0};
    static inline std::atomic<int> disconnects{0};
    static inline std::atomic<int> confirms{0};
    static inline DWORD instance = 0;

    static HDDEDATA callback(UINT type, UINT, HCONV, HSZ topic, HSZ item, HDDEDATA data, ULONG_PTR,
                             ULONG_PTR) {
        char t[256] = "", i[256] = "";
        DdeQueryStringA(instance, topic, t, sizeof t, CP_WINANSI);
        DdeQueryStringA(instance, item, i, sizeof i, CP_WINANSI);
        switch (type) {
        case XTYP_CONNECT:
            return reinterpret_cast<HDDEDATA>(std::strcmp(t, "Refused") != 0);
        case XTYP_CONNECT_CONFIRM:
            ++confirms;
            return nullptr;
        case XTYP_DISCONNECT:
            ++disconnects;
            return nullptr;
        case XTYP_REQUEST: {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs.load()));
            if (!std::strcmp(i, "none")) return nullptr;
            std::string answer = std::string(t) + "/" + i;
            return DdeCreateDataHandle(instance, reinterpret_cast<const unsigned char*>(answer.c_str()),
                                       static_cast<DWORD>(answer.size() + 1), 0, item, CF_TEXT, 0);
        }
        case XTYP_POKE:
            return reinterpret_cast<HDDEDATA>(
                static_cast<uintptr_t>(DdeGetData(data, nullptr, 0, 0) == 3 ? DDE_FACK : DDE_FBUSY));
        default:
            return nullptr;
        }
    }
};

HDDEDATA quietClient(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

class Dde : public ::testing::Test {
protected:
    void SetUp() override {
        Server::delayMs = 0;
        Server::disconnects = Server::confirms = 0;
        Server::instance = 0;
        ASSERT_EQ(DdeInitializeA(&Server::instance, Server::callback, APPCLASS_STANDARD, 0), DMLERR_NO_ERROR);
        service = DdeCreateStringHandleA(Server::instance, "Browser", CP_WINANSI);
        ASSERT_TRUE(DdeNameService(Server::instance, service, nullptr, DNS_REGISTER));
        ASSERT_EQ(DdeInitializeA(&client, quietClient, APPCMD_CLIENTONLY, 0), DMLERR_NO_ERROR);
    }
    void TearDown() override {
        DdeUninitialize(client);
        DdeUninitialize(Server::instance);
    }
    HSZ str(const char* text) { return DdeCreateStringHandleA(client, text, CP_WINANSI); }
    // A request's answer as text, or "<none>" with the error in *error.
    std::string request(HCONV c, const char* item, DWORD timeout, UINT* error) {
        HDDEDATA d = DdeClientTransaction(nullptr, 0, c, str(item), CF_TEXT, XTYP_REQUEST, timeout, nullptr);
        *error = DdeGetLastError(client);
        if (!d) return "<none>";
        char buffer[256] = "";
        DdeGetData(d, reinterpret_cast<unsigned char*>(buffer), sizeof buffer, 0);
        EXPECT_TRUE(DdeFreeDataHandle(d));
        EXPECT_FALSE(DdeFreeDataHandle(d)) << "a data handle is freed once";
        return buffer;
    }

    HSZ service = nullptr;
    DWORD client = 0;
};

} // namespace

TEST_F(Dde, StringHandlesAreSharedAndIgnoreCase) {
    HSZ a = str("WWW_OpenURL"), b = str("www_openurl");
    EXPECT_EQ(DdeCmpStringHandles(a, b), 0);
    EXPECT_NE(DdeCmpStringHandles(a, str("WWW_Activate")), 0);
    char text[8];
    EXPECT_EQ(DdeQueryStringA(client, a, nullptr, 0, CP_WINANSI), 11u);
    EXPECT_EQ(DdeQueryStringA(client, b, text, sizeof text, CP_WINANSI), 7u) << "cut to the buffer";
    EXPECT_STREQ(text, "WWW_Ope") << "the first spelling is kept";
    EXPECT_EQ(DdeCreateStringHandleA(client, std::string(256, 'x').c_str(), CP_WINANSI), nullptr);
    EXPECT_EQ(DdeGetLastError(client), DMLERR_INVALIDPARAMETER);
    EXPECT_EQ(DdeGetLastError(client), DMLERR_NO_ERROR) << "reading the error clears it";
    // Each create is one use: the text lives until the last use is given back.
    HSZ c = str("Counted");
    EXPECT_TRUE(DdeKeepStringHandle(client, c));
    EXPECT_TRUE(DdeFreeStringHandle(client, c));
    EXPECT_TRUE(DdeFreeStringHandle(client, c));
    EXPECT_EQ(DdeQueryStringA(client, c, nullptr, 0, CP_WINANSI), 0u);
    EXPECT_FALSE(DdeFreeStringHandle(client, c));
}

TEST_F(Dde, RequestsAnswersAndRefusals) {
    EXPECT_EQ(DdeConnect(client, str("Nobody"), str("T"), nullptr), nullptr);
    EXPECT_EQ(DdeGetLastError(client), DMLERR_NO_CONV_ESTABLISHED);
    EXPECT_EQ(DdeConnect(client, str("BROWSER"), str("Refused"), nullptr), nullptr) << "the server said no";

    HCONV c = DdeConnect(client, str("browser"), str("WWW_Version"), nullptr);
    ASSERT_NE(c, nullptr) << "service names ignore case";
    UINT error;
    EXPECT_EQ(request(c, "WWW_Version", 1000, &error), "WWW_Version/WWW_Version");
    EXPECT_EQ(request(c, "none", 1000, &error), "<none>");
    EXPECT_EQ(error, DMLERR_NOTPROCESSED);

    HDDEDATA d = DdeClientTransaction(nullptr, 0, c, str("x"), CF_TEXT, XTYP_REQUEST, 1000, nullptr);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(DdeGetData(d, nullptr, 0, 0), 14u) << "the size, terminator included";
    unsigned char part[4];
    EXPECT_EQ(DdeGetData(d, part, sizeof part, 0), 4u);
    EXPECT_EQ(DdeGetData(d, part, sizeof part, 12), 2u) << "from an offset";
    EXPECT_EQ(DdeGetData(d, part, sizeof part, 15), 0u);
    DWORD size = 0;
    EXPECT_STREQ(reinterpret_cast<char*>(DdeAccessData(d, &size)), "WWW_Version/x");
    EXPECT_TRUE(DdeUnaccessData(d));
    DdeFreeDataHandle(d);

    unsigned char three[] = {1, 2, 3};
    DWORD result = 0;
    EXPECT_NE(DdeClientTransaction(three, 3, c, str("p"), CF_TEXT, XTYP_POKE, 1000, &result), nullptr);
    EXPECT_EQ(result, DDE_FACK);
    EXPECT_EQ(DdeClientTransaction(three, 2, c, str("p"), CF_TEXT, XTYP_POKE, 1000, &result), nullptr);
    EXPECT_EQ(DdeGetLastError(client), DMLERR_BUSY);
    EXPECT_EQ(DdeClientTransaction(nullptr, 0, c, str("x"), CF_TEXT, XTYP_REQUEST, TIMEOUT_ASYNC, nullptr),
              nullptr);
    EXPECT_EQ(DdeGetLastError(client), DMLERR_INVALIDPARAMETER);

    EXPECT_TRUE(DdeDisconnect(c));
    EXPECT_FALSE(DdeDisconnect(c));
    for (int i = 0; i < 200 && Server::disconnects == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(Server::disconnects, 1) << "the server hears of the end";
    EXPECT_EQ(Server::confirms, 1);
    EXPECT_EQ(DdeClientTransaction(nullptr, 0, c, str("x"), CF_TEXT, XTYP_REQUEST, 1000, nullptr), nullptr);
}

TEST_F(Dde, ASlowServerTimesOut) {
    HCONV c = DdeConnect(client, service, str("WWW_OpenURL"), nullptr);
    ASSERT_NE(c, nullptr);
    Server::delayMs = 300;
    auto begin = std::chrono::steady_clock::now();
    UINT error;
    EXPECT_EQ(request(c, "slow", 50, &error), "<none>");
    EXPECT_EQ(error, DMLERR_DATAACKTIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(250))
        << "the client did not wait";
    // The late answer is dropped; the next request gets its own answer.
    Server::delayMs = 0;
    EXPECT_EQ(request(c, "next", 2000, &error), "WWW_OpenURL/next");
}

TEST_F(Dde, EndsOfInstances) {
    DWORD clientOnly = 0;
    ASSERT_EQ(DdeInitializeA(&clientOnly, quietClient, APPCMD_CLIENTONLY, 0), DMLERR_NO_ERROR);
    HSZ name = DdeCreateStringHandleA(clientOnly, "Mine", CP_WINANSI);
    EXPECT_EQ(DdeNameService(clientOnly, name, nullptr, DNS_REGISTER), nullptr);
    EXPECT_EQ(DdeGetLastError(clientOnly), DMLERR_DLL_USAGE);
    EXPECT_TRUE(DdeUninitialize(clientOnly));
    EXPECT_FALSE(DdeUninitialize(clientOnly));

    HCONV c = DdeConnect(client, service, str("T"), nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(DdeNameService(Server::instance, service, nullptr, DNS_UNREGISTER));
    EXPECT_EQ(DdeConnect(client, service, str("T"), nullptr), nullptr) << "the service is withdrawn";
    UINT error;
    EXPECT_EQ(request(c, "still", 1000, &error), "T/still") << "an open conversation outlives the withdrawal";
    EXPECT_TRUE(DdeUninitialize(Server::instance));
    EXPECT_EQ(request(c, "gone", 1000, &error), "<none>");
    EXPECT_EQ(error, DMLERR_NO_CONV_ESTABLISHED);
    EXPECT_EQ(DdeConnect(client, nullptr, str("T"), nullptr), nullptr);
}

#pragma once
// Dynamic Data Exchange with the names, constants and semantics of Windows' DDE management library,
// within one process: there is no system-wide DDE here, so the servers a client can reach are the
// instances of this process that registered a service name (a test registers a fake browser this
// way). Each server instance's callback runs on a thread of its own, one transaction at a time, so a
// client's time-out holds against a server that does not answer. String handles are shared by the
// process and compared ignoring case, as Windows' atoms are.
#include "platform/types.h"

typedef struct KoDdeString__* HSZ;
typedef struct KoDdeConversation__* HCONV;
typedef struct KoDdeData__* HDDEDATA;

typedef HDDEDATA (*PFNCALLBACK)(UINT type, UINT format, HCONV conversation, HSZ string1, HSZ string2,
                                HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);

struct CONVCONTEXT {
    UINT cb;
    UINT wFlags;
    UINT wCountryID;
    int iCodePage;
    DWORD dwLangID;
    DWORD dwSecurity;
    void* qos[3];
};
typedef CONVCONTEXT* PCONVCONTEXT;

#ifndef CF_TEXT
#define CF_TEXT 1u
#endif
#define CP_WINANSI 1004
#define CP_WINUNICODE 1200

// Instance flags of DdeInitializeA.
#define APPCLASS_STANDARD 0x00000000u
#define APPCMD_CLIENTONLY 0x00000010u
#define APPCMD_FILTERINITS 0x00000020u
#define CBF_FAIL_CONNECTIONS 0x00002000u

// Transaction types.
#define XCLASS_BOOL 0x1000u
#define XCLASS_DATA 0x2000u
#define XCLASS_FLAGS 0x4000u
#define XCLASS_NOTIFICATION 0x8000u
#define XTYPF_NOBLOCK 0x0002u
#define XTYP_ERROR (0x0000u | XCLASS_NOTIFICATION | XTYPF_NOBLOCK)
#define XTYP_ADVDATA (0x0010u | XCLASS_FLAGS)
#define XTYP_ADVREQ (0x0020u | XCLASS_DATA | XTYPF_NOBLOCK)
#define XTYP_ADVSTART (0x0030u | XCLASS_BOOL)
#define XTYP_ADVSTOP (0x0040u | XCLASS_NOTIFICATION)
#define XTYP_EXECUTE (0x0050u | XCLASS_FLAGS)
#define XTYP_CONNECT (0x0060u | XCLASS_BOOL | XTYPF_NOBLOCK)
#define XTYP_CONNECT_CONFIRM (0x0070u | XCLASS_NOTIFICATION | XTYPF_NOBLOCK)
#define XTYP_XACT_COMPLETE (0x0080u | XCLASS_NOTIFICATION)
#define XTYP_POKE (0x0090u | XCLASS_FLAGS)
#define XTYP_REGISTER (0x00A0u | XCLASS_NOTIFICATION | XTYPF_NOBLOCK)
#define XTYP_REQUEST (0x00B0u | XCLASS_DATA)
#define XTYP_DISCONNECT (0x00C0u | XCLASS_NOTIFICATION | XTYPF_NOBLOCK)
#define XTYP_UNREGISTER (0x00D0u | XCLASS_NOTIFICATION | XTYPF_NOBLOCK)
#define XTYP_WILDCONNECT (0x00E0u | XCLASS_DATA | XTYPF_NOBLOCK)

#define TIMEOUT_ASYNC 0xFFFFFFFFu
#define DDE_FACK 0x8000u
#define DDE_FBUSY 0x4000u
#define DDE_FNOTPROCESSED 0x0000u
#define HDATA_APPOWNED 0x0001u

#define DNS_REGISTER 0x0001u
#define DNS_UNREGISTER 0x0002u

#define DMLERR_NO_ERROR 0u
#define DMLERR_ADVACKTIMEOUT 0x4000u
#define DMLERR_BUSY 0x4001u
#define DMLERR_DATAACKTIMEOUT 0x4002u
#define DMLERR_DLL_NOT_INITIALIZED 0x4003u
#define DMLERR_DLL_USAGE 0x4004u
#define DMLERR_EXECACKTIMEOUT 0x4005u
#define DMLERR_INVALIDPARAMETER 0x4006u
#define DMLERR_LOW_MEMORY 0x4007u
#define DMLERR_MEMORY_ERROR 0x4008u
#define DMLERR_NOTPROCESSED 0x4009u
#define DMLERR_NO_CONV_ESTABLISHED 0x400Au
#define DMLERR_POKEACKTIMEOUT 0x400Bu
#define DMLERR_POSTMSG_FAILED 0x400Cu
#define DMLERR_REENTRANCY 0x400Du
#define DMLERR_SERVER_DIED 0x400Eu
#define DMLERR_SYS_ERROR 0x400Fu
#define DMLERR_UNADVACKTIMEOUT 0x4010u
#define DMLERR_UNFOUND_QUEUE_ID 0x4011u

// Registers an instance (*instance 0 on entry) and gives its identifier; DMLERR_NO_ERROR or
// DMLERR_INVALIDPARAMETER (no callback, or an unknown instance to re-initialise).
KO_EXPORT UINT DdeInitializeA(DWORD* instance, PFNCALLBACK callback, DWORD flags, DWORD reserved);
// Ends an instance: its services are withdrawn, its conversations end (the other side is told), its
// string and data handles are freed. Waits for a callback of the instance that is running.
KO_EXPORT BOOL DdeUninitialize(DWORD instance);
// The instance's last error, which is then cleared.
KO_EXPORT UINT DdeGetLastError(DWORD instance);

// String handles: the same text (ignoring case) gives the same handle; each create or keep counts
// one use, each free gives one back. Only CP_WINANSI texts are offered.
KO_EXPORT HSZ DdeCreateStringHandleA(DWORD instance, LPCSTR text, int codePage);
KO_EXPORT BOOL DdeFreeStringHandle(DWORD instance, HSZ string);
KO_EXPORT BOOL DdeKeepStringHandle(DWORD instance, HSZ string);
// Copies the text (cut to size - 1 characters) and returns its length; with a null buffer only the
// length. 0 for an unknown handle.
KO_EXPORT DWORD DdeQueryStringA(DWORD instance, HSZ string, LPSTR buffer, DWORD size, int codePage);
// 0 when both handles stand for the same text, else -1 or 1 by the handles' order.
KO_EXPORT int DdeCmpStringHandles(HSZ a, HSZ b);

// Servers: DNS_REGISTER offers the service to clients, DNS_UNREGISTER withdraws it (a null service:
// every one of the instance). Nonzero on success; a client-only instance may not register
// (DMLERR_DLL_USAGE).
KO_EXPORT HDDEDATA DdeNameService(DWORD instance, HSZ service, HSZ reserved, UINT command);

// Opens a conversation with the first server of the service (any service when null) whose callback
// accepts the topic (XTYP_CONNECT, then XTYP_CONNECT_CONFIRM); 0 with DMLERR_NO_CONV_ESTABLISHED
// when none does.
KO_EXPORT HCONV DdeConnect(DWORD instance, HSZ service, HSZ topic, PCONVCONTEXT context);
// Ends a conversation; the server is told (XTYP_DISCONNECT).
KO_EXPORT BOOL DdeDisconnect(HCONV conversation);

// Runs a synchronous transaction. XTYP_REQUEST asks for item in format: the server's answer is a
// data handle that now belongs to the caller (free it with DdeFreeDataHandle); 0 when the server
// gave none (DMLERR_NOTPROCESSED), did not answer within timeout milliseconds
// (DMLERR_DATAACKTIMEOUT) or is gone (DMLERR_NO_CONV_ESTABLISHED). XTYP_EXECUTE and XTYP_POKE hand
// the server cbData bytes of data: nonzero when it acknowledged them (DDE_FACK). Asynchronous
// transactions (TIMEOUT_ASYNC) and advise loops are not offered (DMLERR_INVALIDPARAMETER).
KO_EXPORT HDDEDATA DdeClientTransaction(unsigned char* data, DWORD dataSize, HCONV conversation, HSZ item,
                                        UINT format, UINT type, DWORD timeout, DWORD* result);

// Data handles: made by a server for an answer (or a client for an execute), read with DdeGetData
// (a null destination gives the size; otherwise the bytes copied, at most size) or DdeAccessData.
KO_EXPORT HDDEDATA DdeCreateDataHandle(DWORD instance, const unsigned char* source, DWORD size, DWORD offset,
                                       HSZ item, UINT format, UINT command);
KO_EXPORT DWORD DdeGetData(HDDEDATA data, unsigned char* destination, DWORD size, DWORD offset);
KO_EXPORT unsigned char* DdeAccessData(HDDEDATA data, DWORD* size);
KO_EXPORT BOOL DdeUnaccessData(HDDEDATA data);
KO_EXPORT BOOL DdeFreeDataHandle(HDDEDATA data);

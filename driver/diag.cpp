// Handle checks and diagnostic records of the stand-in driver.
#include <atomic>
#include <cstring>

#include "driver/handles.h"

namespace btrdrv {

namespace {
std::atomic<int> liveHandles{0};
}

Handle::Handle(Kind k) : kind(k) {
    ++liveHandles;
}

Handle::~Handle() {
    --liveHandles;
}

SQLRETURN Handle::post(const char* state, const std::string& text, SQLRETURN result) {
    records.push_back({state, 0, std::string(messagePrefix) + text});
    if (result == SQL_ERROR || lastResult != SQL_ERROR) lastResult = result;
    return result;
}

Handle* handleOf(SQLHANDLE h, SQLSMALLINT type) {
    if (!h) return nullptr;
    Handle* handle = static_cast<Handle*>(h);
    unsigned want = type == SQL_HANDLE_ENV    ? unsigned(Handle::env)
                    : type == SQL_HANDLE_DBC  ? Handle::dbc
                    : type == SQL_HANDLE_STMT ? Handle::stmt
                                              : 0u;
    return want && handle->kind == want ? handle : nullptr;
}

SQLRETURN copyOut(Handle* owner, const std::string& text, SQLCHAR* buffer, SQLSMALLINT size,
                  SQLSMALLINT* length) {
    if (length) *length = static_cast<SQLSMALLINT>(text.size());
    if (!buffer || size <= 0) return text.empty() ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
    size_t n = text.size() < size_t(size) ? text.size() : size_t(size) - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    if (n == text.size()) return SQL_SUCCESS;
    if (owner) owner->post("01004", "String data, right truncated", SQL_SUCCESS_WITH_INFO);
    return SQL_SUCCESS_WITH_INFO;
}

} // namespace btrdrv

using namespace btrdrv;

namespace {

// Diagnostic reading never adds records of its own (that would change what is being read).
SQLRETURN copyQuiet(const std::string& text, SQLCHAR* buffer, SQLSMALLINT size, SQLSMALLINT* length) {
    return copyOut(nullptr, text, buffer, size, length);
}

} // namespace

DRIVER_API SQLRETURN SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT number, SQLCHAR* state,
                                   SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT size,
                                   SQLSMALLINT* length) {
    Handle* handle = handleOf(h, type);
    if (!handle) return SQL_INVALID_HANDLE;
    if (number <= 0 || size < 0) return SQL_ERROR;
    if (size_t(number) > handle->records.size()) return SQL_NO_DATA;
    const DiagRecord& r = handle->records[size_t(number) - 1];
    if (state) std::memcpy(state, r.state.c_str(), 6);
    if (native) *native = r.native;
    return copyQuiet(r.message, message, size, length);
}

DRIVER_API SQLRETURN SQLGetDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT number, SQLSMALLINT field,
                                     SQLPOINTER value, SQLSMALLINT size, SQLSMALLINT* length) {
    Handle* handle = handleOf(h, type);
    if (!handle) return SQL_INVALID_HANDLE;
    // Header fields.
    switch (field) {
    case SQL_DIAG_NUMBER:
        if (value) *static_cast<SQLINTEGER*>(value) = static_cast<SQLINTEGER>(handle->records.size());
        return SQL_SUCCESS;
    case SQL_DIAG_RETURNCODE:
        if (value) *static_cast<SQLRETURN*>(value) = handle->lastResult;
        return SQL_SUCCESS;
    case SQL_DIAG_CURSOR_ROW_COUNT:
    case SQL_DIAG_ROW_COUNT:
        if (value) *static_cast<SQLLEN*>(value) = 0;
        return SQL_SUCCESS;
    case SQL_DIAG_DYNAMIC_FUNCTION:
        return copyQuiet("", static_cast<SQLCHAR*>(value), size, length);
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
        if (value) *static_cast<SQLINTEGER*>(value) = SQL_DIAG_UNKNOWN_STATEMENT;
        return SQL_SUCCESS;
    default:
        break;
    }
    // Record fields.
    if (number <= 0) return SQL_ERROR;
    if (size_t(number) > handle->records.size()) return SQL_NO_DATA;
    const DiagRecord& r = handle->records[size_t(number) - 1];
    auto* text = static_cast<SQLCHAR*>(value);
    switch (field) {
    case SQL_DIAG_SQLSTATE:
        return copyQuiet(r.state, text, size, length);
    case SQL_DIAG_NATIVE:
        if (value) *static_cast<SQLINTEGER*>(value) = r.native;
        return SQL_SUCCESS;
    case SQL_DIAG_MESSAGE_TEXT:
        return copyQuiet(r.message, text, size, length);
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
        // Classes "01", "08", "HY" and "IM" and the ODBC 3 subclasses are ODBC's own.
        return copyQuiet("ODBC 3.0", text, size, length);
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME:
        return copyQuiet("", text, size, length);
    case SQL_DIAG_COLUMN_NUMBER:
    case SQL_DIAG_ROW_NUMBER:
        if (value) *static_cast<SQLLEN*>(value) = -1;
        return SQL_SUCCESS;
    default:
        return SQL_ERROR;
    }
}

// How many handles of this driver are allocated: a program can tell that every handle given out came
// back.
DRIVER_API int koDriverLiveHandles() {
    return btrdrv::liveHandles;
}

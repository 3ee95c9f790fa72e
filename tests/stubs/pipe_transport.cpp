// A transport library for the pipe tests: replaces the no-op and the properties, counts its calls.
#include "foundation/storage/kopipe.h"

#ifndef TRANSPORT_REFUSES
namespace {
int calls = 0;

int32_t countingNoOp(SOCKET&, KoPipeError*) {
    return ++calls;
}

int32_t otherProperties(SOCKET&, KoPipeError*, int32_t* first, int32_t* second) {
    *first = 7;
    *second = 8;
    return 0;
}
} // namespace
#endif

extern "C" __attribute__((visibility("default"))) int koPipeTransport(KoPipeTransport* table) {
#ifdef TRANSPORT_REFUSES
    table->send = nullptr; // an incomplete table must be refused
    return 0;
#else
    table->noOp = countingNoOp;
    table->properties = otherProperties;
    return 0;
#endif
}

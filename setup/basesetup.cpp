// Accessors of the record by control ID, for the pages.
#include "setup/setup.h"

namespace {
// The row of the first control with that ID; rows are visited in table order.
int rowOfControl(const DSNInfoStruct* info, uint16_t controlId) {
    for (uint16_t i = 0; i < info->setupInfoCount; ++i)
        if (info->setupInfo[i].controlId == controlId) return i;
    return -1;
}
} // namespace

const unsigned char* BaseGetInfoValue(DSNInfoStruct* info, uint16_t controlId) {
    int row = rowOfControl(info, controlId);
    return row < 0 || !info->infoArray ? nullptr : info->infoArray[row];
}

KoStatus BaseSetInfoValue(DSNInfoStruct* info, uint16_t controlId, const unsigned char* value) {
    int row = rowOfControl(info, controlId);
    if (row < 0 || !info->infoArray) return koFailure;
    ramFree(info->infoArray[row]);
    info->infoArray[row] = value ? ramAllocStr(value) : nullptr;
    return info->infoArray[row] ? koSuccess : koFailure;
}

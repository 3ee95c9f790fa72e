#include "resources/resources.h"

const KoResourceString koStringsSync[] = {
    {0, nullptr},
};

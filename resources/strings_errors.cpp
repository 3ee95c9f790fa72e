#include "resources/resources.h"

const KoResourceString koStringsErrors[] = {
    {0, nullptr},
};

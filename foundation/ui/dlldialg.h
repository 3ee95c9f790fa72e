#pragma once
// Nested dialogs run from the resource library's templates.
#include "foundation/ui/resourcelib.h"

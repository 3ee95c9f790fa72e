#pragma once
// Inside the error machinery: the shared records and the dummy a failed operation hands back.
#include "foundation/errors/koerror.h"

// The memory error or the dummy error shared by every list.
KoError& koStaticErrorRecord(ErrSpecialError which);
// The dummy error of the calling thread's current list, or the shared one without a list.
KoError& koCurrentDummyError();

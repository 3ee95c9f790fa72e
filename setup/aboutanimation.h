#pragma once
// Starting and stopping the About page's icon reel (the thread runs koPerformAnimation).
#include <cstdint>
#include "platform/types.h"

struct KoAboutDlgAnimate;

// Fills animate for the page (icons of instance, stop cleared) and starts its thread. A reel still
// running is stopped first, so a page never has two. False when the thread cannot be started.
bool koStartAboutAnimation(KoAboutDlgAnimate* animate, HINSTANCE instance, HWND page);
// Sets stop and waits, without limit, for the thread to end; nothing when no reel runs.
void koStopAboutAnimation(KoAboutDlgAnimate* animate);
// The time between frames: 500 milliseconds, or the shorter KO_ABOUT_FRAME_MS.
uint32_t koAboutFrameMilliseconds();

// The About page's icon reel: four icons scrolling up through a window at the page's left edge, one
// frame every half second, drawn by a thread of its own while the page is active.
#include "setup/aboutanimation.h"
#include "setup/pages.h"
#include "setup/setup.h"
#include "platform/win32.h"

namespace {

// The reel's window: four icon slots of 32 pixels from (10, 15).
const int kLeft = 10, kTop = 15, kRight = 50, kBottom = 143;
const int kIconHeight = 32, kStep = 4, kStepsPerIcon = kIconHeight / kStep;
const uint32_t kFrameMilliseconds = 500;

DWORD animationThread(LPVOID animate) {
    return koPerformAnimation(static_cast<KoAboutDlgAnimate*>(animate));
}

} // namespace

uint32_t koAboutFrameMilliseconds() {
    // Tests shorten the frame; a longer one would only delay leaving the page, so it is not taken.
    char text[16] = "";
    DWORD n = GetEnvironmentVariableA("KO_ABOUT_FRAME_MS", text, sizeof text);
    if (n == 0 || n >= sizeof text) return kFrameMilliseconds;
    uint32_t value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return kFrameMilliseconds;
        value = value * 10 + static_cast<uint32_t>(*p - '0');
        if (value > kFrameMilliseconds) return kFrameMilliseconds;
    }
    return value ? value : kFrameMilliseconds;
}

DWORD koPerformAnimation(KoAboutDlgAnimate* animate) {
    HDC dc = GetDC(animate->window);
    if (!dc) return 0; // the page is gone: nothing to draw into
    const uint16_t ids[4] = {animate->icon1, animate->icon2, animate->icon3, animate->icon4};
    HICON icons[4];
    for (int i = 0; i < 4; ++i)
        icons[i] = LoadIconA(animate->instance, MAKEINTRESOURCEA(ids[i]));
    HRGN clip = CreateRectRgn(kLeft, kTop, kRight, kBottom);
    const uint32_t frameTime = koAboutFrameMilliseconds();

    // The counter is 8 bits wide and wraps; the picture repeats every 32 frames, which divides 256.
    for (uint8_t n = 0;; ++n) {
        int slot = n % kStepsPerIcon;
        int rotation = (n / kStepsPerIcon) % 4;
        SelectClipRgn(dc, clip);
        for (int i = 0; i < 4; ++i)
            DrawIcon(dc, kLeft, kTop + kIconHeight * i - kStep * slot, icons[(rotation + i) % 4]);
        // The top icon, leaving at the top, enters again from below.
        if (slot > 0) DrawIcon(dc, kLeft, kBottom - kStep * slot, icons[rotation]);
        Sleep(frameTime);
        if (animate->stop.load(std::memory_order_acquire)) break;
    }

    if (clip) DeleteObject(clip);
    for (HICON icon : icons)
        if (icon) DestroyIcon(icon);
    ReleaseDC(animate->window, dc);
    return 0;
}

bool koStartAboutAnimation(KoAboutDlgAnimate* animate, HINSTANCE instance, HWND page) {
    koStopAboutAnimation(animate);
    animate->instance = instance;
    animate->window = page;
    animate->stop.store(0, std::memory_order_release);
    animate->icon1 = 601;
    animate->icon2 = 602;
    animate->icon3 = 603;
    animate->icon4 = 604;
    // Everything above is written before the thread exists; afterwards this thread writes only stop.
    animate->thread = CreateThread(nullptr, 0, animationThread, animate, 0, nullptr);
    return animate->thread != nullptr;
}

void koStopAboutAnimation(KoAboutDlgAnimate* animate) {
    if (!animate->thread) return;
    animate->stop.store(1, std::memory_order_release);
    WaitForSingleObject(animate->thread, INFINITE);
    CloseHandle(animate->thread);
    animate->thread = nullptr;
}

void koAboutDlgPaint(HWND) {
    // The reel draws itself; the rest of the page is the dialog's default painting.
}

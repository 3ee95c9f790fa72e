// Help display: Internet Explorer steered through the shell's window list and browser automation.
#include "foundation/ui/kohelpstate.h"

#include <cstring>

#include "platform/codepage.h"
#include "platform/shellwin.h"
#include "platform/thread.h"
#include "platform/window.h"

namespace {

const OLECHAR* wide(const char* text, OLECHAR* out) {
    for (size_t i = 0;; ++i)
        if (!(out[i] = static_cast<unsigned char>(text[i]))) return out;
}

// Whether the program's full name holds "iexplore.exe", in whatever case Windows spells it.
bool isExplorer(BSTR fullName) {
    static const char target[] = "iexplore.exe";
    UINT n = SysStringLen(fullName), m = sizeof target - 1;
    for (UINT i = 0; i + m <= n; ++i) {
        UINT k = 0;
        while (k < m) {
            OLECHAR c = fullName[i + k];
            if (c >= 'A' && c <= 'Z') c = static_cast<OLECHAR>(c - 'A' + 'a');
            if (c != static_cast<OLECHAR>(target[k])) break;
            ++k;
        }
        if (k == m) return true;
    }
    return false;
}

// The first window of the list whose browser is Internet Explorer, referenced; null when none is.
IWebBrowser2* firstExplorer(IShellWindows* list, REFIID browserIid) {
    LONG count = 0;
    if (FAILED(list->get_Count(&count))) return nullptr;
    for (LONG i = 0; i < count; ++i) {
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = i;
        IDispatch* window = nullptr;
        if (FAILED(list->Item(index, &window)) || !window) continue;
        IWebBrowser2* browser = nullptr;
        HRESULT hr = window->QueryInterface(browserIid, reinterpret_cast<void**>(&browser));
        window->Release();
        if (FAILED(hr) || !browser) continue;
        BSTR name = nullptr;
        bool explorer = SUCCEEDED(browser->get_FullName(&name)) && isExplorer(name);
        SysFreeString(name);
        if (explorer) return browser;
        browser->Release();
    }
    return nullptr;
}

} // namespace

bool koHelpShellWindowsSend(const unsigned char* address) {
    OLECHAR text[40];
    IID listIid, browserIid;
    if (FAILED(IIDFromString(wide("{85CB6900-4D95-11CF-960C-0080C7F4EE85}", text), &listIid)) ||
        FAILED(IIDFromString(wide("{D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}", text), &browserIid)))
        return false;
    IShellWindows* list = nullptr;
    if (FAILED(CoCreateInstance(koHelpState().shellWindowsClass, nullptr, CLSCTX_ALL, listIid,
                                reinterpret_cast<void**>(&list))) ||
        !list)
        return false;
    IWebBrowser2* browser = firstExplorer(list, browserIid);
    list->Release();
    if (!browser) return false;

    // The address in the ANSI code page, as the browser's automation takes text.
    const char* a = reinterpret_cast<const char*>(address);
    int units = MultiByteToWideChar(CP_ACP, 0, a, -1, nullptr, 0);
    BSTR url = units > 0 ? SysAllocStringLen(nullptr, static_cast<UINT>(units - 1)) : nullptr;
    if (!url) {
        browser->Release();
        return false;
    }
    MultiByteToWideChar(CP_ACP, 0, a, -1, reinterpret_cast<LPWSTR>(url), units);
    VARIANT none;
    VariantInit(&none);
    browser->Navigate(url, &none, &none, &none, &none);
    SysFreeString(url);
    // Wait for the page, but not for ever: a browser that stays busy is brought forward anyway.
    Sleep(100);
    VARIANT_BOOL busy = VARIANT_FALSE;
    for (DWORD waited = 0; waited < kHelpDdeTimeout && SUCCEEDED(browser->get_Busy(&busy)) && busy;
         waited += 100)
        Sleep(100);
    SHANDLE_PTR handle = 0;
    if (SUCCEEDED(browser->get_HWND(&handle))) {
        HWND window = reinterpret_cast<HWND>(handle);
        if (IsIconic(window))
            ShowWindow(window, SW_RESTORE);
        else
            SetForegroundWindow(window);
    }
    browser->Release();
    return true;
}

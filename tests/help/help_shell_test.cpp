// COM as the help display uses it (identifier texts, strings, class objects of the process) and
// Internet Explorer steered through a shell window list that the test registers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "foundation/ui/kohelp.h"
#include "foundation/ui/kohelpstate.h"
#include "platform/shellwin.h"
#include "platform/window.h"
#include "tests/help/helptest.h"

namespace {

const unsigned char* u(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

std::vector<OLECHAR> wide(const char* s) {
    std::vector<OLECHAR> w;
    do
        w.push_back(static_cast<unsigned char>(*s));
    while (*s++);
    return w;
}

std::string narrow(const OLECHAR* s, UINT n) {
    std::string out;
    for (UINT i = 0; i < n; ++i)
        out += static_cast<char>(s[i]);
    return out;
}

const GUID kListIid = {0x85CB6900, 0x4D95, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xF4, 0xEE, 0x85}};
const GUID kBrowserIid = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
const GUID kShellWindows = {0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};
const GUID kUnknownIid = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kDispatchIid = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kFactoryIid = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

#define NOT_HERE(name, ...)                                                                                  \
    HRESULT name(__VA_ARGS__) override {                                                                     \
        return E_NOTIMPL;                                                                                    \
    }

// A browser window of the list: a program name, a real window, what it was asked to show.
struct Browser final : IWebBrowser2 {
    int refs = 1;
    bool isBrowser;
    std::string program;
    HWND window;
    int busyAnswers = 0; // how many times it still reports busy
    int busyAsked = 0;
    std::vector<std::string> navigated;

    Browser(bool browser, std::string name, HWND w)
        : isBrowser(browser), program(std::move(name)), window(w) {}

    HRESULT QueryInterface(REFIID iid, void** object) override {
        *object = nullptr;
        if (IsEqualGUID(iid, kUnknownIid) || IsEqualGUID(iid, kDispatchIid) ||
            (isBrowser && IsEqualGUID(iid, kBrowserIid))) {
            *object = this;
            ++refs;
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    NOT_HERE(GetTypeInfoCount, UINT*)
    NOT_HERE(GetTypeInfo, UINT, LCID, void**)
    NOT_HERE(GetIDsOfNames, REFIID, OLECHAR**, UINT, LCID, DISPID*)
    NOT_HERE(Invoke, DISPID, REFIID, LCID, WORD, void*, VARIANT*, void*, UINT*)
    NOT_HERE(GoBack)
    NOT_HERE(GoForward)
    NOT_HERE(GoHome)
    NOT_HERE(GoSearch)
    HRESULT Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override {
        navigated.push_back(narrow(url, SysStringLen(url)));
        return S_OK;
    }
    NOT_HERE(Refresh)
    NOT_HERE(Refresh2, VARIANT*)
    NOT_HERE(Stop)
    NOT_HERE(get_Application, IDispatch**)
    NOT_HERE(get_Parent, IDispatch**)
    NOT_HERE(get_Container, IDispatch**)
    NOT_HERE(get_Document, IDispatch**)
    NOT_HERE(get_TopLevelContainer, VARIANT_BOOL*)
    NOT_HERE(get_Type, BSTR*)
    NOT_HERE(get_Left, LONG*)
    NOT_HERE(put_Left, LONG)
    NOT_HERE(get_Top, LONG*)
    NOT_HERE(put_Top, LONG)
    NOT_HERE(get_Width, LONG*)
    NOT_HERE(put_Width, LONG)
    NOT_HERE(get_Height, LONG*)
    NOT_HERE(put_Height, LONG)
    NOT_HERE(get_LocationName, BSTR*)
    NOT_HERE(get_LocationURL, BSTR*)
    HRESULT get_Busy(VARIANT_BOOL* busy) override {
        ++busyAsked;
        *busy = busyAnswers-- > 0 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    NOT_HERE(Quit)
    NOT_HERE(ClientToWindow, int*, int*)
    NOT_HERE(PutProperty, BSTR, VARIANT)
    NOT_HERE(GetProperty, BSTR, VARIANT*)
    NOT_HERE(get_Name, BSTR*)
    HRESULT get_HWND(SHANDLE_PTR* w) override {
        *w = reinterpret_cast<SHANDLE_PTR>(window);
        return S_OK;
    }
    HRESULT get_FullName(BSTR* name) override {
        *name = SysAllocString(wide(program.c_str()).data());
        return S_OK;
    }
    NOT_HERE(get_Path, BSTR*)
    NOT_HERE(get_Visible, VARIANT_BOOL*)
    NOT_HERE(put_Visible, VARIANT_BOOL)
    NOT_HERE(get_StatusBar, VARIANT_BOOL*)
    NOT_HERE(put_StatusBar, VARIANT_BOOL)
    NOT_HERE(get_StatusText, BSTR*)
    NOT_HERE(put_StatusText, BSTR)
    NOT_HERE(get_ToolBar, int*)
    NOT_HERE(put_ToolBar, int)
    NOT_HERE(get_MenuBar, VARIANT_BOOL*)
    NOT_HERE(put_MenuBar, VARIANT_BOOL)
    NOT_HERE(get_FullScreen, VARIANT_BOOL*)
    NOT_HERE(put_FullScreen, VARIANT_BOOL)
    NOT_HERE(Navigate2, VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*)
    NOT_HERE(QueryStatusWB, int, int*)
    NOT_HERE(ExecWB, int, int, VARIANT*, VARIANT*)
    NOT_HERE(ShowBrowserBar, VARIANT*, VARIANT*, VARIANT*)
    NOT_HERE(get_ReadyState, int*)
    NOT_HERE(get_Offline, VARIANT_BOOL*)
    NOT_HERE(put_Offline, VARIANT_BOOL)
    NOT_HERE(get_Silent, VARIANT_BOOL*)
    NOT_HERE(put_Silent, VARIANT_BOOL)
    NOT_HERE(get_RegisterAsBrowser, VARIANT_BOOL*)
    NOT_HERE(put_RegisterAsBrowser, VARIANT_BOOL)
    NOT_HERE(get_RegisterAsDropTarget, VARIANT_BOOL*)
    NOT_HERE(put_RegisterAsDropTarget, VARIANT_BOOL)
    NOT_HERE(get_TheaterMode, VARIANT_BOOL*)
    NOT_HERE(put_TheaterMode, VARIANT_BOOL)
    NOT_HERE(get_AddressBar, VARIANT_BOOL*)
    NOT_HERE(put_AddressBar, VARIANT_BOOL)
    NOT_HERE(get_Resizable, VARIANT_BOOL*)
    NOT_HERE(put_Resizable, VARIANT_BOOL)
};

// The shell's window list over the test's browsers, and its class factory in one object.
struct ShellWindows final : IShellWindows, IClassFactory {
    int refs = 1;
    std::vector<Browser*> windows;

    HRESULT QueryInterface(REFIID iid, void** object) override {
        *object = nullptr;
        if (IsEqualGUID(iid, kFactoryIid))
            *object = static_cast<IClassFactory*>(this);
        else if (IsEqualGUID(iid, kListIid) || IsEqualGUID(iid, kUnknownIid))
            *object = static_cast<IShellWindows*>(this);
        else
            return E_NOINTERFACE;
        ++refs;
        return S_OK;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (outer) return E_INVALIDARG;
        return static_cast<IShellWindows*>(this)->QueryInterface(iid, object);
    }
    NOT_HERE(LockServer, BOOL)
    NOT_HERE(GetTypeInfoCount, UINT*)
    NOT_HERE(GetTypeInfo, UINT, LCID, void**)
    NOT_HERE(GetIDsOfNames, REFIID, OLECHAR**, UINT, LCID, DISPID*)
    NOT_HERE(Invoke, DISPID, REFIID, LCID, WORD, void*, VARIANT*, void*, UINT*)
    HRESULT get_Count(LONG* count) override {
        *count = static_cast<LONG>(windows.size());
        return S_OK;
    }
    HRESULT Item(VARIANT index, IDispatch** window) override {
        *window = nullptr;
        if (index.vt != VT_I4 || index.lVal < 0 || size_t(index.lVal) >= windows.size()) return E_INVALIDARG;
        windows[index.lVal]->AddRef();
        *window = windows[index.lVal];
        return S_OK;
    }
    NOT_HERE(_NewEnum, IUnknown**)
    NOT_HERE(Register, IDispatch*, LONG, int, LONG*)
    NOT_HERE(RegisterPending, LONG, VARIANT*, VARIANT*, int, LONG*)
    NOT_HERE(Revoke, LONG)
    NOT_HERE(OnNavigate, LONG, VARIANT*)
    NOT_HERE(OnActivated, LONG, VARIANT_BOOL)
    NOT_HERE(FindWindowSW, VARIANT*, VARIANT*, int, LONG*, int, IDispatch**)
    NOT_HERE(OnCreated, LONG, IUnknown*)
    NOT_HERE(ProcessAttachDetach, VARIANT_BOOL)
};

HWND topWindow(const char* title) {
    return CreateWindowExA(0, "STATIC", title, WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr, nullptr,
                           nullptr);
}

// A help request for a browser registered as Internet Explorer, with the test's window list.
class Explorer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        sandbox.registerBrowser("htmlfile", "\"%1\"", "IExplore");
        ASSERT_EQ(CoRegisterClassObject(kShellWindows, static_cast<IClassFactory*>(&list),
                                        CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie),
                  S_OK);
    }
    void TearDown() override {
        EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
        EXPECT_EQ(list.refs, 1) << "every reference given back";
        for (Browser* b : list.windows) {
            EXPECT_EQ(b->refs, 1) << b->program;
            DestroyWindow(b->window);
            delete b;
        }
        CoUninitialize();
    }
    helptest::HelpSandbox sandbox;
    helptest::FakeBrowser dde{"IExplore"}; // answers the version
    ShellWindows list;
    DWORD cookie = 0;
};

} // namespace

TEST(Com, IdentifierTextsAndStrings) {
    GUID g;
    EXPECT_EQ(UuidFromStringA(u("9ba05972-F6A8-11CF-A442-00A0C90A8F39"), &g), RPC_S_OK);
    EXPECT_TRUE(IsEqualGUID(g, kShellWindows));
    EXPECT_EQ(IIDFromString(wide("{D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}").data(), &g), S_OK);
    EXPECT_TRUE(IsEqualGUID(g, kBrowserIid));
    for (const char* bad :
         {"{D30C1661-CDAF-11D0-8A3E-00C04FC9E26E", "D30C1661-CDAF-11D0-8A3E-00C04FC9E26E",
          "{D30C1661-CDAF-11D0-8A3E-00C04FC9E26}", "{D30C1661-CDAF-11D0-8A3E_00C04FC9E26E}",
          "{D30C1661-CDAF-11D0-8A3E-00C04FC9E26EE}", "{G30C1661-CDAF-11D0-8A3E-00C04FC9E26E}"}) {
        EXPECT_EQ(IIDFromString(wide(bad).data(), &g), E_INVALIDARG) << bad;
        EXPECT_EQ(CLSIDFromString(wide(bad).data(), &g), CO_E_CLASSSTRING) << bad;
        EXPECT_EQ(g.Data1, 0u) << "a refused text gives the null identifier";
    }
    EXPECT_EQ(UuidFromStringA(u("{9BA05972-F6A8-11CF-A442-00A0C90A8F39}"), &g), RPC_S_INVALID_STRING_UUID);

    BSTR s = SysAllocString(wide("iexplore").data());
    EXPECT_EQ(SysStringLen(s), 8u);
    EXPECT_EQ(s[8], 0);
    SysFreeString(s);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(wide("x").data());
    EXPECT_EQ(VariantClear(&v), S_OK) << "the string is freed with the variant";
    EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST(Com, CreationNeedsInitialisationAndAClass) {
    void* object = &object;
    EXPECT_EQ(CoCreateInstance(kShellWindows, nullptr, CLSCTX_ALL, kListIid, &object), CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(CoCreateInstance(kShellWindows, nullptr, CLSCTX_ALL, kListIid, &object), REGDB_E_CLASSNOTREG)
        << "the system knows no class";
    ShellWindows list;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kShellWindows, static_cast<IClassFactory*>(&list), CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    EXPECT_EQ(CoCreateInstance(kShellWindows, nullptr, CLSCTX_LOCAL_SERVER, kListIid, &object),
              REGDB_E_CLASSNOTREG)
        << "not offered in that context";
    EXPECT_EQ(CoCreateInstance(kShellWindows, nullptr, CLSCTX_ALL, kBrowserIid, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(CoCreateInstance(kShellWindows, nullptr, CLSCTX_ALL, kListIid, &object), S_OK);
    EXPECT_EQ(object, static_cast<IShellWindows*>(&list));
    list.Release();
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);
    EXPECT_EQ(list.refs, 1);
    CoUninitialize();
    CoUninitialize();
}

TEST_F(Explorer, NavigatesTheFirstExplorerWindowAndRestoresIt) {
    list.windows = {new Browser(false, "", topWindow("folder")),
                    new Browser(true, "/usr/bin/firefox", topWindow("other")),
                    new Browser(true, "C:\\PROGRAM FILES\\INTERNET EXPLORER\\IEXPLORE.EXE", topWindow("ie")),
                    new Browser(true, "C:\\iexplore.exe", topWindow("second ie"))};
    Browser* ie = list.windows[2];
    ShowWindow(ie->window, SW_MINIMIZE);
    ie->busyAnswers = 2;
    koDisplayHelp2(u("/srv/help"), u("ODBC"), u("btrgeneral"));
    ASSERT_EQ(ie->navigated.size(), 1u);
    EXPECT_EQ(
        ie->navigated[0],
        "javascript:x=unescape('file:///srv/help/help.htm%3fcontext=ODBC%26topic=btrgeneral%26single=true');"
        "if(typeof window.WWHFrame!='undefined'){window.WWHFrame.WWHHelp.fSetContextDocument(x);}else{"
        "location=x;}");
    EXPECT_EQ(ie->busyAsked, 3) << "polled while it reported busy";
    EXPECT_FALSE(IsIconic(ie->window)) << "a minimised window is restored";
    EXPECT_TRUE(list.windows[1]->navigated.empty());
    EXPECT_TRUE(list.windows[3]->navigated.empty()) << "only the first one";
    usleep(100000);
    EXPECT_NE(access(sandbox.log().c_str(), F_OK), 0) << "no new browser";
}

TEST_F(Explorer, BringsAnOpenWindowForward) {
    list.windows = {new Browser(true, "C:\\Program Files\\Internet Explorer\\iexplore.exe", topWindow("ie"))};
    HWND other = topWindow("someone else");
    SetForegroundWindow(other);
    koDisplayHelp2(u("/srv/help"), u("ODBC"), u("btradvanced"));
    EXPECT_EQ(list.windows[0]->navigated.size(), 1u);
    EXPECT_EQ(GetForegroundWindow(), list.windows[0]->window);
    DestroyWindow(other);
}

TEST_F(Explorer, WithoutAnExplorerWindowTheBrowserIsStarted) {
    list.windows = {new Browser(true, "/usr/bin/firefox", topWindow("other"))};
    koDisplayHelp2(u("/srv/help"), u("ODBC"), u("btrgeneral"));
    helptest::OpenerRun run;
    ASSERT_TRUE(helptest::waitForOpener(sandbox.log(), &run));
    EXPECT_EQ(run.args, std::vector<std::string>{
                            "file:///srv/help/help.htm?context=ODBC&topic=btrgeneral&single=true"});
    EXPECT_TRUE(list.windows[0]->navigated.empty());
}

#pragma once
// The shell's window list and the web browser automation interfaces, as Windows declares them, for
// steering a browser window through COM. The system offers no class behind them (see com.h); a
// process may register one of its own.
#include "platform/com.h"

typedef LONG_PTR SHANDLE_PTR;

// The shell's list of open browser and folder windows.
struct IShellWindows : IDispatch {
    virtual HRESULT get_Count(LONG* count) = 0;
    virtual HRESULT Item(VARIANT index, IDispatch** window) = 0;
    virtual HRESULT _NewEnum(IUnknown** enumerator) = 0;
    virtual HRESULT Register(IDispatch* window, LONG hwnd, int windowClass, LONG* cookie) = 0;
    virtual HRESULT RegisterPending(LONG threadId, VARIANT* location, VARIANT* root, int windowClass,
                                    LONG* cookie) = 0;
    virtual HRESULT Revoke(LONG cookie) = 0;
    virtual HRESULT OnNavigate(LONG cookie, VARIANT* location) = 0;
    virtual HRESULT OnActivated(LONG cookie, VARIANT_BOOL active) = 0;
    virtual HRESULT FindWindowSW(VARIANT* location, VARIANT* root, int windowClass, LONG* hwnd, int options,
                                 IDispatch** window) = 0;
    virtual HRESULT OnCreated(LONG cookie, IUnknown* object) = 0;
    virtual HRESULT ProcessAttachDetach(VARIANT_BOOL attach) = 0;

protected:
    ~IShellWindows() = default;
};

struct IWebBrowser : IDispatch {
    virtual HRESULT GoBack() = 0;
    virtual HRESULT GoForward() = 0;
    virtual HRESULT GoHome() = 0;
    virtual HRESULT GoSearch() = 0;
    virtual HRESULT Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrame, VARIANT* postData,
                             VARIANT* headers) = 0;
    virtual HRESULT Refresh() = 0;
    virtual HRESULT Refresh2(VARIANT* level) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT get_Application(IDispatch** application) = 0;
    virtual HRESULT get_Parent(IDispatch** parent) = 0;
    virtual HRESULT get_Container(IDispatch** container) = 0;
    virtual HRESULT get_Document(IDispatch** document) = 0;
    virtual HRESULT get_TopLevelContainer(VARIANT_BOOL* topLevel) = 0;
    virtual HRESULT get_Type(BSTR* type) = 0;
    virtual HRESULT get_Left(LONG* left) = 0;
    virtual HRESULT put_Left(LONG left) = 0;
    virtual HRESULT get_Top(LONG* top) = 0;
    virtual HRESULT put_Top(LONG top) = 0;
    virtual HRESULT get_Width(LONG* width) = 0;
    virtual HRESULT put_Width(LONG width) = 0;
    virtual HRESULT get_Height(LONG* height) = 0;
    virtual HRESULT put_Height(LONG height) = 0;
    virtual HRESULT get_LocationName(BSTR* name) = 0;
    virtual HRESULT get_LocationURL(BSTR* url) = 0;
    virtual HRESULT get_Busy(VARIANT_BOOL* busy) = 0;

protected:
    ~IWebBrowser() = default;
};

struct IWebBrowserApp : IWebBrowser {
    virtual HRESULT Quit() = 0;
    virtual HRESULT ClientToWindow(int* width, int* height) = 0;
    virtual HRESULT PutProperty(BSTR property, VARIANT value) = 0;
    virtual HRESULT GetProperty(BSTR property, VARIANT* value) = 0;
    virtual HRESULT get_Name(BSTR* name) = 0;
    virtual HRESULT get_HWND(SHANDLE_PTR* window) = 0;
    virtual HRESULT get_FullName(BSTR* fullName) = 0;
    virtual HRESULT get_Path(BSTR* path) = 0;
    virtual HRESULT get_Visible(VARIANT_BOOL* visible) = 0;
    virtual HRESULT put_Visible(VARIANT_BOOL visible) = 0;
    virtual HRESULT get_StatusBar(VARIANT_BOOL* shown) = 0;
    virtual HRESULT put_StatusBar(VARIANT_BOOL shown) = 0;
    virtual HRESULT get_StatusText(BSTR* text) = 0;
    virtual HRESULT put_StatusText(BSTR text) = 0;
    virtual HRESULT get_ToolBar(int* toolBar) = 0;
    virtual HRESULT put_ToolBar(int toolBar) = 0;
    virtual HRESULT get_MenuBar(VARIANT_BOOL* shown) = 0;
    virtual HRESULT put_MenuBar(VARIANT_BOOL shown) = 0;
    virtual HRESULT get_FullScreen(VARIANT_BOOL* fullScreen) = 0;
    virtual HRESULT put_FullScreen(VARIANT_BOOL fullScreen) = 0;

protected:
    ~IWebBrowserApp() = default;
};

struct IWebBrowser2 : IWebBrowserApp {
    virtual HRESULT Navigate2(VARIANT* url, VARIANT* flags, VARIANT* targetFrame, VARIANT* postData,
                              VARIANT* headers) = 0;
    virtual HRESULT QueryStatusWB(int command, int* status) = 0;
    virtual HRESULT ExecWB(int command, int options, VARIANT* in, VARIANT* out) = 0;
    virtual HRESULT ShowBrowserBar(VARIANT* bar, VARIANT* show, VARIANT* size) = 0;
    virtual HRESULT get_ReadyState(int* state) = 0;
    virtual HRESULT get_Offline(VARIANT_BOOL* offline) = 0;
    virtual HRESULT put_Offline(VARIANT_BOOL offline) = 0;
    virtual HRESULT get_Silent(VARIANT_BOOL* silent) = 0;
    virtual HRESULT put_Silent(VARIANT_BOOL silent) = 0;
    virtual HRESULT get_RegisterAsBrowser(VARIANT_BOOL* registered) = 0;
    virtual HRESULT put_RegisterAsBrowser(VARIANT_BOOL registered) = 0;
    virtual HRESULT get_RegisterAsDropTarget(VARIANT_BOOL* registered) = 0;
    virtual HRESULT put_RegisterAsDropTarget(VARIANT_BOOL registered) = 0;
    virtual HRESULT get_TheaterMode(VARIANT_BOOL* theater) = 0;
    virtual HRESULT put_TheaterMode(VARIANT_BOOL theater) = 0;
    virtual HRESULT get_AddressBar(VARIANT_BOOL* shown) = 0;
    virtual HRESULT put_AddressBar(VARIANT_BOOL shown) = 0;
    virtual HRESULT get_Resizable(VARIANT_BOOL* resizable) = 0;
    virtual HRESULT put_Resizable(VARIANT_BOOL resizable) = 0;

protected:
    ~IWebBrowser2() = default;
};

#pragma once
// Property sheets and the open-file dialog: Windows' structures, messages and flags.
#include <cstddef>
#include "platform/wndconst.h"

struct KoSheetPage;
typedef KoSheetPage* HPROPSHEETPAGE;
struct PROPSHEETPAGEA;
typedef UINT (*LPFNPSPCALLBACKA)(HWND, UINT, PROPSHEETPAGEA*);
typedef int (*PFNPROPSHEETCALLBACK)(HWND, UINT, LPARAM);

// A dialog template in memory (DLGTEMPLATE, followed by its variable-length parts).
#pragma pack(push, 2)
struct DLGTEMPLATE {
    DWORD style;
    DWORD dwExtendedStyle;
    WORD cdit;
    short x, y, cx, cy;
};
struct DLGITEMTEMPLATE {
    DWORD style;
    DWORD dwExtendedStyle;
    short x, y, cx, cy;
    WORD id;
};
#pragma pack(pop)
typedef const DLGTEMPLATE* LPCDLGTEMPLATEA;

struct PROPSHEETPAGEA {
    DWORD dwSize;
    DWORD dwFlags;
    HINSTANCE hInstance;
    union {
        LPCSTR pszTemplate;
        LPCDLGTEMPLATEA pResource;
    };
    union {
        HICON hIcon;
        LPCSTR pszIcon;
    };
    LPCSTR pszTitle;
    DLGPROC pfnDlgProc;
    LPARAM lParam;
    LPFNPSPCALLBACKA pfnCallback;
    UINT* pcRefParent;
    LPCSTR pszHeaderTitle;
    LPCSTR pszHeaderSubTitle;
};
typedef PROPSHEETPAGEA* LPPROPSHEETPAGEA;
typedef const PROPSHEETPAGEA* LPCPROPSHEETPAGEA;
#define PROPSHEETPAGEA_V1_SIZE (offsetof(PROPSHEETPAGEA, pcRefParent) + sizeof(UINT*))
#define PROPSHEETPAGEA_V2_SIZE sizeof(PROPSHEETPAGEA)

struct PROPSHEETHEADERA {
    DWORD dwSize;
    DWORD dwFlags;
    HWND hwndParent;
    HINSTANCE hInstance;
    union {
        HICON hIcon;
        LPCSTR pszIcon;
    };
    LPCSTR pszCaption;
    UINT nPages;
    union {
        UINT nStartPage;
        LPCSTR pStartPage;
    };
    union {
        LPCPROPSHEETPAGEA ppsp;
        HPROPSHEETPAGE* phpage;
    };
    PFNPROPSHEETCALLBACK pfnCallback;
    void* hbmWatermark;
    void* hplWatermark;
    void* hbmHeader;
};
typedef const PROPSHEETHEADERA* LPCPROPSHEETHEADERA;
#define PROPSHEETHEADERA_V1_SIZE (offsetof(PROPSHEETHEADERA, pfnCallback) + sizeof(PFNPROPSHEETCALLBACK))
#define PROPSHEETHEADERA_V2_SIZE sizeof(PROPSHEETHEADERA)

struct PSHNOTIFY {
    NMHDR hdr;
    LPARAM lParam;
};
typedef PSHNOTIFY* LPPSHNOTIFY;

enum : DWORD {
    PSP_DEFAULT = 0x0,
    PSP_DLGINDIRECT = 0x1,
    PSP_USEHICON = 0x2,
    PSP_USEICONID = 0x4,
    PSP_USETITLE = 0x8,
    PSP_RTLREADING = 0x10,
    PSP_HASHELP = 0x20,
    PSP_USEREFPARENT = 0x40,
    PSP_USECALLBACK = 0x80,
    PSP_PREMATURE = 0x400,
};
enum : UINT { PSPCB_ADDREF = 0, PSPCB_RELEASE = 1, PSPCB_CREATE = 2 };
enum : DWORD {
    PSH_DEFAULT = 0x0,
    PSH_PROPTITLE = 0x1,
    PSH_USEHICON = 0x2,
    PSH_USEICONID = 0x4,
    PSH_PROPSHEETPAGE = 0x8,
    PSH_WIZARD = 0x20,
    PSH_USEPSTARTPAGE = 0x40,
    PSH_NOAPPLYNOW = 0x80,
    PSH_USECALLBACK = 0x100,
    PSH_HASHELP = 0x200,
    PSH_MODELESS = 0x400,
    PSH_NOCONTEXTHELP = 0x2000000,
};
enum : UINT { PSCB_INITIALIZED = 1, PSCB_PRECREATE = 2 };

// Notifications a page receives in WM_NOTIFY.
enum : UINT {
    PSN_FIRST = 0u - 200u,
    PSN_SETACTIVE = PSN_FIRST - 0,
    PSN_KILLACTIVE = PSN_FIRST - 1,
    PSN_APPLY = PSN_FIRST - 2,
    PSN_RESET = PSN_FIRST - 3,
    PSN_HELP = PSN_FIRST - 5,
    PSN_WIZBACK = PSN_FIRST - 6,
    PSN_WIZNEXT = PSN_FIRST - 7,
    PSN_WIZFINISH = PSN_FIRST - 8,
    PSN_QUERYCANCEL = PSN_FIRST - 9,
};
enum : LRESULT {
    PSNRET_NOERROR = 0,
    PSNRET_INVALID = 1,
    PSNRET_INVALID_NOCHANGEPAGE = 2,
    PSNRET_MESSAGEHANDLED = 3
};

// Messages a sheet answers.
enum : UINT {
    PSM_SETCURSEL = WM_USER + 101,
    PSM_REMOVEPAGE = WM_USER + 102,
    PSM_ADDPAGE = WM_USER + 103,
    PSM_CHANGED = WM_USER + 104,
    PSM_RESTARTWINDOWS = WM_USER + 105,
    PSM_REBOOTSYSTEM = WM_USER + 106,
    PSM_CANCELTOCLOSE = WM_USER + 107,
    PSM_QUERYSIBLINGS = WM_USER + 108,
    PSM_UNCHANGED = WM_USER + 109,
    PSM_APPLY = WM_USER + 110,
    PSM_SETTITLEA = WM_USER + 111,
    PSM_SETWIZBUTTONS = WM_USER + 112,
    PSM_PRESSBUTTON = WM_USER + 113,
    PSM_SETCURSELID = WM_USER + 114,
    PSM_SETFINISHTEXTA = WM_USER + 115,
    PSM_GETTABCONTROL = WM_USER + 116,
    PSM_ISDIALOGMESSAGE = WM_USER + 117,
    PSM_GETCURRENTPAGEHWND = WM_USER + 118,
    PSM_INSERTPAGE = WM_USER + 119,
    PSM_HWNDTOINDEX = WM_USER + 129,
    PSM_INDEXTOHWND = WM_USER + 130,
    PSM_PAGETOINDEX = WM_USER + 131,
    PSM_INDEXTOPAGE = WM_USER + 132,
    PSM_IDTOINDEX = WM_USER + 133,
    PSM_INDEXTOID = WM_USER + 134,
    PSM_GETRESULT = WM_USER + 135,
};
enum : int {
    PSBTN_BACK = 0,
    PSBTN_NEXT = 1,
    PSBTN_FINISH = 2,
    PSBTN_OK = 3,
    PSBTN_APPLYNOW = 4,
    PSBTN_CANCEL = 5,
    PSBTN_HELP = 6
};
enum : int { ID_PSRESTARTWINDOWS = 2, ID_PSREBOOTSYSTEM = 3 };
// Control IDs of the sheet frame's own children.
enum : int {
    IDC_TABCONTROL = 12320,
    IDC_APPLY_BUTTON = 12321,
    IDC_BACK_BUTTON = 12323,
    IDC_NEXT_BUTTON = 12324,
    IDC_FINISH_BUTTON = 12325
};

#define PropSheet_SetCurSel(d, hpage, index)                                                                 \
    SendMessageA(d, PSM_SETCURSEL, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(hpage))
#define PropSheet_Changed(d, page) SendMessageA(d, PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0)
#define PropSheet_UnChanged(d, page) SendMessageA(d, PSM_UNCHANGED, reinterpret_cast<WPARAM>(page), 0)
#define PropSheet_PressButton(d, button) SendMessageA(d, PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0)
#define PropSheet_GetCurrentPageHwnd(d) reinterpret_cast<HWND>(SendMessageA(d, PSM_GETCURRENTPAGEHWND, 0, 0))
#define PropSheet_HwndToIndex(d, page)                                                                       \
    static_cast<int>(SendMessageA(d, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page), 0))
#define PropSheet_IndexToHwnd(d, i)                                                                          \
    reinterpret_cast<HWND>(SendMessageA(d, PSM_INDEXTOHWND, static_cast<WPARAM>(i), 0))
#define PropSheet_AddPage(d, hpage) SendMessageA(d, PSM_ADDPAGE, 0, reinterpret_cast<LPARAM>(hpage))
#define PropSheet_RemovePage(d, index, hpage)                                                                \
    SendMessageA(d, PSM_REMOVEPAGE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(hpage))
#define PropSheet_Apply(d) SendMessageA(d, PSM_APPLY, 0, 0)
#define PropSheet_CancelToClose(d) SendMessageA(d, PSM_CANCELTOCLOSE, 0, 0)
#define PropSheet_GetResult(d) SendMessageA(d, PSM_GETRESULT, 0, 0)

// The open-file dialog.
struct OPENFILENAMEA {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCSTR lpstrFilter;
    LPSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;
    LPSTR lpstrFile;
    DWORD nMaxFile;
    LPSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCSTR lpstrInitialDir;
    LPCSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCSTR lpstrDefExt;
    LPARAM lCustData;
    void* lpfnHook;
    LPCSTR lpTemplateName;
    void* pvReserved;
    DWORD dwReserved;
    DWORD FlagsEx;
};
typedef OPENFILENAMEA* LPOPENFILENAMEA;
enum : DWORD {
    OFN_READONLY = 0x1,
    OFN_OVERWRITEPROMPT = 0x2,
    OFN_HIDEREADONLY = 0x4,
    OFN_NOCHANGEDIR = 0x8,
    OFN_ALLOWMULTISELECT = 0x200,
    OFN_PATHMUSTEXIST = 0x800,
    OFN_FILEMUSTEXIST = 0x1000,
    OFN_EXPLORER = 0x80000,
};
// Common dialog errors (CommDlgExtendedError).
enum : DWORD {
    CDERR_STRUCTSIZE = 0x0001,
    CDERR_INITIALIZATION = 0x0002,
    CDERR_MEMALLOCFAILURE = 0x0009,
    CDERR_DIALOGFAILURE = 0xFFFF,
    FNERR_BUFFERTOOSMALL = 0x3003,
    FNERR_INVALIDFILENAME = 0x3002,
};

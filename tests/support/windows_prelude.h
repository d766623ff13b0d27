#pragma once
// The names <windows.h> (MinGW-w64's, with UNICODE) defines as macros that our headers could
// also use, defined the same way, so a header that compiles after this one can sit beside the
// system header in a Windows backend. Macros ignore namespaces and classes: a member, enumerator
// or constant of one of these names would be rewritten there.
#define WM_USER 0x0400
#define INFINITE 0xffffffff
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7
#define MB_OK (0x00000000L)
#define MB_OKCANCEL (0x00000001L)
#define MB_YESNO (0x00000004L)
#define MB_ICONERROR (0x00000010L)
#define MB_ICONQUESTION (0x00000020L)
#define MB_ICONWARNING (0x00000030L)
#define MB_ICONINFORMATION (0x00000040L)
#define EV_RXCHAR 0x1
#define EV_RXFLAG 0x2
#define EV_TXEMPTY 0x4
#define EV_CTS 0x8
#define EV_DSR 0x10
#define EV_RLSD 0x20
#define EV_BREAK 0x40
#define EV_ERR 0x80
#define EV_RING 0x100
#define CE_RXOVER 0x1
#define CE_OVERRUN 0x2
#define CE_RXPARITY 0x4
#define CE_FRAME 0x8
#define CE_BREAK 0x10
#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5
#define DRIVE_RAMDISK 6
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define WPF_RESTORETOMAXIMIZED 0x0002
#define E_INVALIDARG ((long)0x80070057)
#define FAILED(hr) ((long)(hr) < 0)
#define FALSE 0
#define RGB(r, g, b) ((unsigned long)(((unsigned char)(r) | ((unsigned short)((unsigned char)(g)) << 8)) | (((unsigned long)(unsigned char)(b)) << 16)))
#define TEXT(quote) L##quote
#define far
#define near
#define MessageBox MessageBoxW
#define GetProfileInt GetProfileIntW
#define GetProfileString GetProfileStringW
#define WriteProfileString WriteProfileStringW
#define RegisterWindowMessage RegisterWindowMessageW
#define FindText FindTextW
#define GetWindowText GetWindowTextW
#define SetWindowText SetWindowTextW
#define SetPort SetPortW

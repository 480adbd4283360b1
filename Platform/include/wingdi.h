// GDI records and calls, for the Linux build, with the documented layouts and values.
// Included by windows.h.
#pragma once

#include <windows.h>

typedef struct tagPALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
} PALETTEENTRY, *PPALETTEENTRY, *LPPALETTEENTRY;

#define RDH_RECTANGLES 1

typedef struct _RGNDATAHEADER {
    DWORD dwSize;
    DWORD iType;
    DWORD nCount;
    DWORD nRgnSize;
    RECT rcBound;
} RGNDATAHEADER, *PRGNDATAHEADER;

typedef struct _RGNDATA {
    RGNDATAHEADER rdh;
    char Buffer[1];
} RGNDATA, *PRGNDATA, *LPRGNDATA;

#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) (LOBYTE(rgb))
#define GetGValue(rgb) (LOBYTE(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) (LOBYTE((rgb) >> 16))

// The stock objects: brushes, pens, fonts and the palette that always exist.
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define SYSTEM_FONT 13
#define DEVICE_DEFAULT_FONT 14
#define DEFAULT_PALETTE 15
#define SYSTEM_FIXED_FONT 16
#define DEFAULT_GUI_FONT 17
#define DC_BRUSH 18
#define DC_PEN 19

// What GetObjectA tells of a bitmap.
typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;

// Raster operations of BitBlt.
#define SRCCOPY (DWORD)0x00CC0020

#ifdef __cplusplus
extern "C" {
#endif
// The stock object of that index; null for an index that names none.
HGDIOBJ WINAPI GetStockObject(int i);
// A memory device context like hdc (the screen's when null), with a 1 x 1 monochrome
// bitmap selected.
HDC WINAPI CreateCompatibleDC(HDC hdc);
// Selects a bitmap into a memory device context; the bitmap selected before, or null.
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);
BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
BOOL WINAPI DeleteDC(HDC hdc);
// Fails for an object that is selected into a device context.
BOOL WINAPI DeleteObject(HGDIOBJ ho);
// A bitmap's description (a BITMAP); the bytes written, or the size needed when pv is
// null, and 0 for a handle that is no bitmap or a buffer too small.
int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv);
#ifdef __cplusplus
}
#endif

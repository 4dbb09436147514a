// The main window's background: the 256-colour picture centred and drawn
// through its own palette on palette displays, the 16-colour tile repeated
// everywhere else, and a white line along the top in both cases.
#pragma once

#include <windows.h>

constexpr char kPictureName[] = "IDB_BACKGROUND"; // 600 x 400, 8 bits per pixel
constexpr char kTileName[] = "IDB_BACKGRND";      // 317 x 158, 4 bits per pixel

// The main window's WM_PAINT. Paints the whole client area in one pass without
// erasing; every GDI object it makes is released before it returns. Returns 0.
LRESULT PaintMainWindow(HWND window);

// Width and height in pixels of a device bitmap; 0 for a null or unknown handle.
int BitmapWidth(HBITMAP bitmap);
int BitmapHeight(HBITMAP bitmap);

// A logical palette holding the colour table of the bitmap resource `name`
// of `instance`, in table order. The caller deletes it. Null when the
// resource cannot be found or locked, or is not a well-formed picture
// (see ViewDib).
HPALETTE PaletteFromDibResource(HINSTANCE instance, const char *name);

// Draws the pixels of the bitmap resource `name` of `instance` unscaled with
// their top-left corner at (x, y) of `dc`, the colours matched to the palette
// realized in `dc`. Returns false, having drawn nothing, when the resource is
// missing or its pixels do not lie wholly within it.
bool DrawDibResource(HDC dc, int x, int y, HINSTANCE instance, const char *name);

// Repeats `tile` over the rectangle (0, 0)-(right, bottom) of `dc`: rows top
// to bottom from y 0, each from x 0 left to right; the last row and column
// are left to the device context's clipping. Does nothing for a null tile.
void TileArea(HDC dc, HBITMAP tile, int right, int bottom);

// Start of a picture of `size` pixels centred between `start` and `end`:
// start + (end - start - size) / 2 with the division truncating toward zero,
// so an odd shortfall leaves the extra pixel on the far side (598 wide gives
// -1, 399 high gives 0).
int CentredOrigin(int start, int end, int size);

// Number of colour table entries of a picture: biClrUsed when it is not 0,
// else 2, 16, 256 or 0 for 1, 4, 8 or 24 bits per pixel. -1 for any other
// depth with a count field of 0: such a picture has no defined table.
int DibColourCount(const BITMAPINFOHEADER &header);

// Where the parts of a packed picture (header, colour table, pixels) lie.
struct DibView {
    const BYTE *data;        // the packed picture, header first: a BITMAPINFO
    BITMAPINFOHEADER header; // copied: the data need not be aligned for it
    const BYTE *colourTable; // RGBQUAD entries, right behind the header's biSize bytes
    int colourCount;
    const BYTE *pixels; // null unless every row of an uncompressed picture lies in the data
};

// Reads the packed picture of `size` bytes at `data` into `view`. Returns
// false when the header (biSize of 40 or more) or the whole colour table does
// not lie within `size` bytes, or the colour count is undefined or larger than
// a palette holds. Nothing beyond `size` bytes is read.
bool ViewDib(const void *data, size_t size, DibView *view);

// Turns `count` RGBQUAD entries (blue, green, red, reserved) at `table` into
// palette entries (red, green, blue, flags 0) in `entries`.
void PaletteEntriesFromColourTable(const BYTE *table, int count, PALETTEENTRY *entries);

#include "screens/paint.h"

#include <stddef.h>
#include <string.h>

#include "core/context.h"

namespace
{

constexpr int kPaletteDisplayEntries = 256; // fewer than this and the tile is used
constexpr int kMostPaletteEntries = 0xFFFF; // palNumEntries is 16 bits wide

struct LockedDib {
    HGLOBAL resource;
    DibView view;
};

// Finds, loads and locks the bitmap resource `name` and locates its parts.
// Returns false when it is missing or malformed; nothing is then held.
// A true result is paired with ReleaseDib.
bool LockDib(HINSTANCE instance, const char *name, LockedDib *dib)
{
    HRSRC found = FindResourceA(instance, name, reinterpret_cast<LPCSTR>(RT_BITMAP));
    if (!found)
        return false;
    dib->resource = LoadResource(instance, found);
    const void *data = dib->resource ? LockResource(dib->resource) : nullptr;
    if (data && ViewDib(data, SizeofResource(instance, found), &dib->view))
        return true;
    if (dib->resource)
        FreeResource(dib->resource);
    return false;
}

void ReleaseDib(LockedDib *dib)
{
    FreeResource(dib->resource);
}

BITMAP DescribeBitmap(HBITMAP bitmap)
{
    BITMAP description = {};
    if (!bitmap || !GetObjectA(bitmap, sizeof description, &description))
        memset(&description, 0, sizeof description);
    return description;
}

// Whitens the top pixel row from the left edge to the screen's width; the
// window clips whatever lies beyond its client area.
void DrawTopLine(HDC dc)
{
    HGDIOBJ keptPen = SelectObject(dc, GetStockObject(WHITE_PEN));
    MoveToEx(dc, 0, 0, nullptr);
    LineTo(dc, GetSystemMetrics(SM_CXSCREEN), 0);
    SelectObject(dc, keptPen);
}

} // namespace

int CentredOrigin(int start, int end, int size)
{
    return start + (end - start - size) / 2;
}

int DibColourCount(const BITMAPINFOHEADER &header)
{
    if (header.biClrUsed != 0)
        return header.biClrUsed > static_cast<DWORD>(kMostPaletteEntries)
                   ? -1
                   : static_cast<int>(header.biClrUsed);
    switch (header.biBitCount) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    case 24:
        return 0;
    default:
        return -1;
    }
}

bool ViewDib(const void *data, size_t size, DibView *view)
{
    const BYTE *bytes = static_cast<const BYTE *>(data);
    if (size < sizeof view->header)
        return false;
    view->data = bytes;
    memcpy(&view->header, bytes, sizeof view->header);
    const BITMAPINFOHEADER &header = view->header;
    // A smaller header is another record altogether; a larger one must still fit.
    if (header.biSize < sizeof header || header.biSize > size)
        return false;
    view->colourCount = DibColourCount(header);
    if (view->colourCount < 0)
        return false;
    size_t tableBytes = 4 * static_cast<size_t>(view->colourCount);
    if (tableBytes > size - header.biSize)
        return false;
    view->colourTable = bytes + header.biSize;

    // The pixels count only for an uncompressed bottom-up picture whose rows
    // all lie within the data; the arithmetic is 64-bit so a huge header
    // cannot wrap it round into a small size.
    view->pixels = nullptr;
    if (header.biCompression != BI_RGB || header.biWidth <= 0 || header.biHeight <= 0)
        return true;
    unsigned long long rowBytes =
        (static_cast<unsigned long long>(header.biWidth) * header.biBitCount + 31) / 32 * 4;
    unsigned long long pixelBytes = rowBytes * static_cast<unsigned long long>(header.biHeight);
    size_t pixelsAt = header.biSize + tableBytes;
    if (rowBytes > 0 && pixelBytes <= size - pixelsAt)
        view->pixels = bytes + pixelsAt;
    return true;
}

void PaletteEntriesFromColourTable(const BYTE *table, int count, PALETTEENTRY *entries)
{
    for (int i = 0; i < count; ++i) {
        const BYTE *quad = table + 4 * i;
        entries[i].peRed = quad[2];
        entries[i].peGreen = quad[1];
        entries[i].peBlue = quad[0];
        entries[i].peFlags = 0;
    }
}

int BitmapWidth(HBITMAP bitmap)
{
    return DescribeBitmap(bitmap).bmWidth;
}

int BitmapHeight(HBITMAP bitmap)
{
    return DescribeBitmap(bitmap).bmHeight;
}

HPALETTE PaletteFromDibResource(HINSTANCE instance, const char *name)
{
    LockedDib dib;
    if (!LockDib(instance, name, &dib))
        return nullptr;

    int count = dib.view.colourCount;
    size_t blockSize = offsetof(LOGPALETTE, palPalEntry) + count * sizeof(PALETTEENTRY);
    if (blockSize < sizeof(LOGPALETTE))
        blockSize = sizeof(LOGPALETTE);
    HPALETTE palette = nullptr;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, blockSize);
    LOGPALETTE *logical = block ? static_cast<LOGPALETTE *>(GlobalLock(block)) : nullptr;
    if (logical) {
        logical->palVersion = 0x300;
        logical->palNumEntries = static_cast<WORD>(count);
        PaletteEntriesFromColourTable(dib.view.colourTable, count, logical->palPalEntry);
        palette = CreatePalette(logical);
        GlobalUnlock(block);
    }
    if (block)
        GlobalFree(block);
    ReleaseDib(&dib);
    return palette;
}

bool DrawDibResource(HDC dc, int x, int y, HINSTANCE instance, const char *name)
{
    LockedDib dib;
    if (!LockDib(instance, name, &dib))
        return false;
    const DibView &view = dib.view;
    bool drawn = false;
    if (view.pixels) {
        const BITMAPINFO *info = reinterpret_cast<const BITMAPINFO *>(view.data);
        int width = view.header.biWidth;
        int height = view.header.biHeight;
        drawn = SetDIBitsToDevice(dc, x, y, width, height, 0, 0, 0, height, view.pixels, info,
                                  DIB_RGB_COLORS) != 0;
    }
    ReleaseDib(&dib);
    return drawn;
}

void TileArea(HDC dc, HBITMAP tile, int right, int bottom)
{
    int width = BitmapWidth(tile);
    int height = BitmapHeight(tile);
    if (width <= 0 || height <= 0)
        return;
    HDC tileDc = CreateCompatibleDC(dc);
    if (!tileDc)
        return;
    HGDIOBJ kept = SelectObject(tileDc, tile);
    for (int y = 0; y < bottom; y += height)
        for (int x = 0; x < right; x += width)
            BitBlt(dc, x, y, width, height, tileDc, 0, 0, SRCCOPY);
    SelectObject(tileDc, kept);
    DeleteDC(tileDc);
}

LRESULT PaintMainWindow(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    // The device bitmap is made only to learn the picture's size; the pixels
    // are drawn from the resource itself so that they go through the palette.
    HBITMAP picture = LoadBitmapA(g_setup.instance, kPictureName);
    int x = CentredOrigin(client.left, client.right, BitmapWidth(picture));
    int y = CentredOrigin(client.top, client.bottom, BitmapHeight(picture));
    HPALETTE palette = PaletteFromDibResource(g_setup.instance, kPictureName);

    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    HPALETTE keptPalette = nullptr;
    if (GetDeviceCaps(dc, SIZEPALETTE) < kPaletteDisplayEntries) {
        GetClientRect(window, &client);
        TileArea(dc, g_setup.tileBitmap, client.right, client.bottom);
    } else {
        if (palette) {
            keptPalette = SelectPalette(dc, palette, FALSE);
            RealizePalette(dc);
        }
        DrawDibResource(dc, x, y, g_setup.instance, kPictureName);
    }
    DrawTopLine(dc);
    if (keptPalette)
        SelectPalette(dc, keptPalette, FALSE);
    EndPaint(window, &paint);

    if (picture)
        DeleteObject(picture);
    if (palette)
        DeleteObject(palette);
    return 0;
}

#include "screens/paint.h"

#include "core/context.h"
#include "guardpage.h"
#include "tempdir.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace
{

// ---------------------------------------------------------------------------
// Helpers

std::vector<BYTE> ResourceBytes(HMODULE module, const char *name)
{
    HRSRC found = FindResourceA(module, name, reinterpret_cast<LPCSTR>(RT_BITMAP));
    if (!found)
        return {};
    const BYTE *data = static_cast<const BYTE *>(LockResource(LoadResource(module, found)));
    return std::vector<BYTE>(data, data + SizeofResource(module, found));
}

BITMAPINFOHEADER HeaderOf(const std::vector<BYTE> &dib)
{
    BITMAPINFOHEADER header;
    memcpy(&header, dib.data(), sizeof header);
    return header;
}

// Colour of pixel (x, y), counted from the top, of a packed 4- or 8-bit
// bottom-up picture with a 40-byte header, decoded here independently.
COLORREF DibPixel(const std::vector<BYTE> &dib, int x, int y)
{
    BITMAPINFOHEADER header = HeaderOf(dib);
    int colours = header.biClrUsed ? header.biClrUsed : 1 << header.biBitCount;
    const BYTE *table = dib.data() + header.biSize;
    const BYTE *pixels = table + 4 * colours;
    int rowBytes = (header.biWidth * header.biBitCount + 31) / 32 * 4;
    const BYTE *row = pixels + (header.biHeight - 1 - y) * rowBytes;
    int index = header.biBitCount == 8 ? row[x] : (x & 1 ? row[x / 2] & 15 : row[x / 2] >> 4);
    const BYTE *quad = table + 4 * index;
    return RGB(quad[2], quad[1], quad[0]);
}

constexpr COLORREF kUntouched = RGB(1, 2, 3);

// A 32-bit top-down memory picture to draw into, read straight from its bits.
class Canvas
{
  public:
    Canvas(int width, int height) : width_(width), height_(height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void *bits = nullptr;
        bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<DWORD *>(bits);
        dc_ = CreateCompatibleDC(nullptr);
        kept_ = SelectObject(dc_, bitmap_);
        for (int i = 0; i < width * height; ++i)
            bits_[i] = 0x010203; // kUntouched as BGRX
    }
    ~Canvas()
    {
        SelectObject(dc_, kept_);
        DeleteDC(dc_);
        DeleteObject(bitmap_);
    }
    HDC dc() const { return dc_; }
    COLORREF At(int x, int y) const
    {
        GdiFlush();
        DWORD bgr = bits_[y * width_ + x];
        return RGB((bgr >> 16) & 255, (bgr >> 8) & 255, bgr & 255);
    }
    bool AllUntouched() const
    {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (At(x, y) != kUntouched)
                    return false;
        return true;
    }

  private:
    int width_, height_;
    HBITMAP bitmap_;
    DWORD *bits_;
    HDC dc_;
    HGDIOBJ kept_;
};

std::vector<PALETTEENTRY> EntriesOf(HPALETTE palette)
{
    UINT count = GetPaletteEntries(palette, 0, 0, nullptr);
    std::vector<PALETTEENTRY> entries(count);
    if (count)
        GetPaletteEntries(palette, 0, count, entries.data());
    return entries;
}

// A packed picture header in memory, for the layout rules.
std::vector<BYTE> PackedHeader(int width, int height, int bits, DWORD coloursUsed, DWORD size = 40,
                               DWORD compression = BI_RGB)
{
    BITMAPINFOHEADER header = {};
    header.biSize = size;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bits);
    header.biCompression = compression;
    header.biClrUsed = coloursUsed;
    std::vector<BYTE> bytes(size > sizeof header ? size : sizeof header, 0);
    memcpy(bytes.data(), &header, sizeof header);
    return bytes;
}

bool ViewGuarded(const std::vector<BYTE> &bytes, DibView *view)
{
    // A read past the data faults instead of passing unseen.
    GuardedPage memory(bytes.size());
    return ViewDib(memory.Place(bytes.data(), bytes.size()), bytes.size(), view);
}

} // namespace

// ---------------------------------------------------------------------------
// The pure rules

TEST(PictureOrigin, CentresWithDivisionTruncatingTowardZero)
{
    EXPECT_EQ(CentredOrigin(0, 598, 600), -1);
    EXPECT_EQ(CentredOrigin(0, 399, 400), 0); // -1 / 2 is 0, not -1
    EXPECT_EQ(CentredOrigin(0, 594, 600), -3);
    EXPECT_EQ(CentredOrigin(0, 395, 400), -2); // -5 / 2 is -2, not -3
    EXPECT_EQ(CentredOrigin(0, 600, 600), 0);
    EXPECT_EQ(CentredOrigin(0, 1001, 600), 200);
    EXPECT_EQ(CentredOrigin(10, 608, 600), 9);
}

TEST(ColourCount, CountFieldWinsElseTheDepthDecides)
{
    BITMAPINFOHEADER header = {};
    header.biBitCount = 1;
    EXPECT_EQ(DibColourCount(header), 2);
    header.biBitCount = 4;
    EXPECT_EQ(DibColourCount(header), 16);
    header.biBitCount = 8;
    EXPECT_EQ(DibColourCount(header), 256);
    header.biBitCount = 24;
    EXPECT_EQ(DibColourCount(header), 0);
    header.biClrUsed = 3;
    EXPECT_EQ(DibColourCount(header), 3);
    header.biBitCount = 8;
    EXPECT_EQ(DibColourCount(header), 3);
}

TEST(ColourCount, OtherDepthsWithoutCountHaveNone)
{
    BITMAPINFOHEADER header = {};
    for (int bits : {0, 2, 16, 32, 7}) {
        header.biBitCount = static_cast<WORD>(bits);
        EXPECT_EQ(DibColourCount(header), -1) << bits;
    }
    header.biBitCount = 16;
    header.biClrUsed = 2;
    EXPECT_EQ(DibColourCount(header), 2);
    header.biClrUsed = 0x10000; // more than a palette can hold
    EXPECT_EQ(DibColourCount(header), -1);
}

TEST(ColourTable, RgbQuadOrderBecomesRedGreenBlue)
{
    const BYTE table[] = {1, 2, 3, 0, 10, 20, 30, 99};
    PALETTEENTRY entries[3] = {};
    entries[2].peRed = 77;
    PaletteEntriesFromColourTable(table, 2, entries);
    EXPECT_EQ(entries[0].peRed, 3);
    EXPECT_EQ(entries[0].peGreen, 2);
    EXPECT_EQ(entries[0].peBlue, 1);
    EXPECT_EQ(entries[1].peRed, 30);
    EXPECT_EQ(entries[1].peGreen, 20);
    EXPECT_EQ(entries[1].peBlue, 10);
    EXPECT_EQ(entries[1].peFlags, 0); // the reserved byte is not copied
    EXPECT_EQ(entries[2].peRed, 77);  // nothing beyond the count is written
}

TEST(PictureLayout, WellFormedPictureHasTableAndPixels)
{
    std::vector<BYTE> dib = PackedHeader(3, 2, 8, 3);
    dib.resize(40 + 3 * 4 + 2 * 4);
    DibView view;
    ASSERT_TRUE(ViewGuarded(dib, &view));
    EXPECT_EQ(view.colourCount, 3);
    EXPECT_EQ(view.colourTable - view.data, 40);
    ASSERT_NE(view.pixels, nullptr);
    EXPECT_EQ(view.pixels - view.data, 52);
}

TEST(PictureLayout, ColourTableFollowsALongerHeader)
{
    std::vector<BYTE> dib = PackedHeader(1, 1, 8, 1, 108);
    dib.resize(108 + 4 + 4);
    DibView view;
    ASSERT_TRUE(ViewGuarded(dib, &view));
    EXPECT_EQ(view.colourTable - view.data, 108);
    EXPECT_EQ(view.pixels - view.data, 112);
}

TEST(PictureLayout, MalformedHeadersAreRefusedWithoutReadingPastTheData)
{
    DibView view;
    std::vector<BYTE> dib = PackedHeader(600, 400, 8, 0);
    EXPECT_FALSE(ViewGuarded(std::vector<BYTE>(dib.begin(), dib.begin() + 39), &view));
    EXPECT_FALSE(ViewGuarded(std::vector<BYTE>(dib.begin(), dib.begin() + 1), &view));

    dib.resize(40 + 255 * 4); // the table lacks its last entry
    EXPECT_FALSE(ViewGuarded(dib, &view));

    std::vector<BYTE> core = PackedHeader(2, 2, 8, 0, 40);
    core[0] = 12; // a 12-byte header is another record
    core.resize(40 + 256 * 4 + 8);
    EXPECT_FALSE(ViewGuarded(core, &view));

    std::vector<BYTE> longer = PackedHeader(2, 2, 8, 1);
    longer[1] = 1; // biSize 296 in a 52-byte picture
    longer.resize(52);
    EXPECT_FALSE(ViewGuarded(longer, &view));

    std::vector<BYTE> odd = PackedHeader(2, 2, 16, 0);
    odd.resize(40 + 8);
    EXPECT_FALSE(ViewGuarded(odd, &view));
}

TEST(PictureLayout, PixelsAreOnlyOfferedWhenEveryRowLiesInTheData)
{
    DibView view;
    std::vector<BYTE> dib = PackedHeader(3, 2, 8, 1);
    dib.resize(40 + 4 + 2 * 4 - 1); // the last row lacks a padding byte
    ASSERT_TRUE(ViewGuarded(dib, &view));
    EXPECT_EQ(view.pixels, nullptr);

    std::vector<BYTE> huge = PackedHeader(0x7FFFFFFF, 0x7FFFFFFF, 24, 0);
    huge.resize(48);
    ASSERT_TRUE(ViewGuarded(huge, &view));
    EXPECT_EQ(view.pixels, nullptr);

    std::vector<BYTE> topDown = PackedHeader(2, -2, 8, 1);
    topDown.resize(40 + 4 + 8);
    ASSERT_TRUE(ViewGuarded(topDown, &view));
    EXPECT_EQ(view.pixels, nullptr);

    std::vector<BYTE> packed = PackedHeader(2, 2, 8, 1, 40, BI_RLE8);
    packed.resize(40 + 4 + 64);
    ASSERT_TRUE(ViewGuarded(packed, &view));
    EXPECT_EQ(view.pixels, nullptr);
}

// ---------------------------------------------------------------------------
// The pictures that setup.exe ships, read from the built program itself.

class ShellPictures : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        shell_ = LoadLibraryExA((testfs::ExeFolder() + "setup.exe").c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() { FreeLibrary(shell_); }
    void SetUp() override
    {
        ASSERT_NE(shell_, nullptr) << "setup.exe must lie beside this program";
        picture_ = ResourceBytes(shell_, kPictureName);
        tile_ = ResourceBytes(shell_, kTileName);
        ASSERT_FALSE(picture_.empty());
        ASSERT_FALSE(tile_.empty());
    }
    HINSTANCE shell() const { return reinterpret_cast<HINSTANCE>(shell_); }

    static HMODULE shell_;
    std::vector<BYTE> picture_;
    std::vector<BYTE> tile_;
};

HMODULE ShellPictures::shell_ = nullptr;

TEST_F(ShellPictures, AreUncompressedBottomUpWithFullTables)
{
    BITMAPINFOHEADER picture = HeaderOf(picture_);
    EXPECT_EQ(picture.biSize, 40u);
    EXPECT_EQ(picture.biWidth, 600);
    EXPECT_EQ(picture.biHeight, 400);
    EXPECT_EQ(picture.biBitCount, 8);
    EXPECT_EQ(picture.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(picture.biClrUsed, 0u);
    EXPECT_EQ(picture_.size(), 40u + 256 * 4 + 600 * 400);

    BITMAPINFOHEADER tile = HeaderOf(tile_);
    EXPECT_EQ(tile.biSize, 40u);
    EXPECT_EQ(tile.biWidth, 317);
    EXPECT_EQ(tile.biHeight, 158);
    EXPECT_EQ(tile.biBitCount, 4);
    EXPECT_EQ(tile.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(tile.biClrUsed, 0u);
    EXPECT_EQ(tile_.size(), 40u + 16 * 4 + 160 * 158);
}

TEST_F(ShellPictures, DeviceBitmapsKnowTheirSize)
{
    HBITMAP picture = LoadBitmapA(shell(), kPictureName);
    HBITMAP tile = LoadBitmapA(shell(), kTileName);
    EXPECT_EQ(BitmapWidth(picture), 600);
    EXPECT_EQ(BitmapHeight(picture), 400);
    EXPECT_EQ(BitmapWidth(tile), 317);
    EXPECT_EQ(BitmapHeight(tile), 158);
    DeleteObject(picture);
    DeleteObject(tile);
    EXPECT_EQ(BitmapWidth(nullptr), 0);
    EXPECT_EQ(BitmapHeight(nullptr), 0);
}

TEST_F(ShellPictures, PaletteHoldsThePicturesOwnColoursInOrder)
{
    for (const char *name : {kPictureName, kTileName}) {
        const std::vector<BYTE> &dib = name == kPictureName ? picture_ : tile_;
        HPALETTE palette = PaletteFromDibResource(shell(), name);
        ASSERT_NE(palette, nullptr) << name;
        std::vector<PALETTEENTRY> entries = EntriesOf(palette);
        DeleteObject(palette);
        ASSERT_EQ(entries.size(), name == kPictureName ? 256u : 16u) << name;
        for (size_t i = 0; i < entries.size(); ++i) {
            const BYTE *quad = dib.data() + 40 + 4 * i;
            EXPECT_EQ(RGB(entries[i].peRed, entries[i].peGreen, entries[i].peBlue),
                      RGB(quad[2], quad[1], quad[0]))
                << name << " entry " << i;
            EXPECT_EQ(entries[i].peFlags, 0);
        }
    }
}

TEST_F(ShellPictures, PictureIsDrawnUnscaledFromItsOrigin)
{
    // The 594 x 395 client area of the main window: the origin is (-3, -2).
    Canvas canvas(594, 395);
    ASSERT_TRUE(DrawDibResource(canvas.dc(), -3, -2, shell(), kPictureName));
    int wrong = 0;
    for (int y = 0; y < 395; ++y)
        for (int x = 0; x < 594; ++x)
            wrong += canvas.At(x, y) != DibPixel(picture_, x + 3, y + 2);
    EXPECT_EQ(wrong, 0);
}

TEST_F(ShellPictures, PictureCoversExactlyItsOwnSize)
{
    Canvas canvas(620, 410);
    ASSERT_TRUE(DrawDibResource(canvas.dc(), 10, 5, shell(), kPictureName));
    EXPECT_EQ(canvas.At(10, 5), DibPixel(picture_, 0, 0));
    EXPECT_EQ(canvas.At(609, 404), DibPixel(picture_, 599, 399));
    EXPECT_EQ(canvas.At(9, 5), kUntouched);
    EXPECT_EQ(canvas.At(10, 4), kUntouched);
    EXPECT_EQ(canvas.At(610, 404), kUntouched);
    EXPECT_EQ(canvas.At(609, 405), kUntouched);
}

TEST_F(ShellPictures, TileRepeatsFromTheTopLeftOverTheWholeArea)
{
    HBITMAP tile = LoadBitmapA(shell(), kTileName);
    ASSERT_NE(tile, nullptr);
    Canvas canvas(594, 395);
    TileArea(canvas.dc(), tile, 594, 395);
    DeleteObject(tile);
    int wrong = 0;
    for (int y = 0; y < 395; ++y)
        for (int x = 0; x < 594; ++x)
            wrong += canvas.At(x, y) != DibPixel(tile_, x % 317, y % 158);
    EXPECT_EQ(wrong, 0);
}

TEST_F(ShellPictures, TilesStartOnlyWithinTheArea)
{
    HBITMAP tile = LoadBitmapA(shell(), kTileName);
    ASSERT_NE(tile, nullptr);
    Canvas exact(700, 400);
    TileArea(exact.dc(), tile, 317, 158); // one tile fills it: no second column or row
    EXPECT_EQ(exact.At(316, 157), DibPixel(tile_, 316, 157));
    EXPECT_EQ(exact.At(317, 5), kUntouched);
    EXPECT_EQ(exact.At(5, 158), kUntouched);

    Canvas over(700, 400);
    TileArea(over.dc(), tile, 318, 159); // one pixel more starts a whole tile
    EXPECT_EQ(over.At(317 + 5, 5), DibPixel(tile_, 5, 5));
    EXPECT_EQ(over.At(5, 158 + 5), DibPixel(tile_, 5, 5));
    EXPECT_EQ(over.At(317 + 316, 158 + 157), DibPixel(tile_, 316, 157));
    EXPECT_EQ(over.At(634, 5), kUntouched);
    DeleteObject(tile);

    Canvas none(50, 50);
    TileArea(none.dc(), nullptr, 50, 50);
    EXPECT_TRUE(none.AllUntouched());
}

// ---------------------------------------------------------------------------
// Small and malformed pictures embedded in this program (paint_test.rc).

class TestPictures : public ::testing::Test
{
  protected:
    HINSTANCE self() const { return GetModuleHandleA(nullptr); }
};

TEST_F(TestPictures, ColourCountFieldSetsTableAndPixelOffsets)
{
    const COLORREF colours[] = {RGB(200, 10, 20), RGB(30, 40, 250), RGB(0, 160, 0)};
    for (const char *name : {"TINY8", "V4HEAD"}) {
        HPALETTE palette = PaletteFromDibResource(self(), name);
        ASSERT_NE(palette, nullptr) << name;
        std::vector<PALETTEENTRY> entries = EntriesOf(palette);
        DeleteObject(palette);
        ASSERT_EQ(entries.size(), 3u) << name;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(RGB(entries[i].peRed, entries[i].peGreen, entries[i].peBlue), colours[i])
                << name;

        Canvas canvas(5, 4);
        ASSERT_TRUE(DrawDibResource(canvas.dc(), 1, 1, self(), name)) << name;
        EXPECT_EQ(canvas.At(1, 1), colours[0]) << name; // top row: 0 1 2
        EXPECT_EQ(canvas.At(2, 1), colours[1]) << name;
        EXPECT_EQ(canvas.At(3, 1), colours[2]) << name;
        EXPECT_EQ(canvas.At(1, 2), colours[2]) << name; // bottom row: 2 1 0
        EXPECT_EQ(canvas.At(3, 2), colours[0]) << name;
        EXPECT_EQ(canvas.At(0, 0), kUntouched) << name;
        EXPECT_EQ(canvas.At(4, 3), kUntouched) << name;
    }
}

TEST_F(TestPictures, OddDepthWithoutCountDrawsNothingAndHasNoPalette)
{
    EXPECT_EQ(PaletteFromDibResource(self(), "ODD16"), nullptr);
    Canvas canvas(4, 4);
    EXPECT_FALSE(DrawDibResource(canvas.dc(), 0, 0, self(), "ODD16"));
    EXPECT_TRUE(canvas.AllUntouched());
}

TEST_F(TestPictures, OddDepthWithCountUsesTheCount)
{
    HPALETTE palette = PaletteFromDibResource(self(), "ODD16TABLE");
    ASSERT_NE(palette, nullptr);
    std::vector<PALETTEENTRY> entries = EntriesOf(palette);
    DeleteObject(palette);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(RGB(entries[1].peRed, entries[1].peGreen, entries[1].peBlue), RGB(4, 5, 6));

    Canvas canvas(2, 2);
    ASSERT_TRUE(DrawDibResource(canvas.dc(), 0, 0, self(), "ODD16TABLE"));
    EXPECT_EQ(canvas.At(0, 0), RGB(0, 0, 255)); // 5-5-5 pixels behind a 2-entry table
    EXPECT_EQ(canvas.At(1, 0), RGB(255, 255, 255));
    EXPECT_EQ(canvas.At(0, 1), RGB(255, 0, 0));
    EXPECT_EQ(canvas.At(1, 1), RGB(0, 255, 0));
}

TEST_F(TestPictures, CutPixelsKeepThePaletteButDrawNothing)
{
    HPALETTE palette = PaletteFromDibResource(self(), "CUTROWS");
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(EntriesOf(palette).size(), 256u);
    DeleteObject(palette);
    Canvas canvas(600, 400);
    EXPECT_FALSE(DrawDibResource(canvas.dc(), 0, 0, self(), "CUTROWS"));
    EXPECT_TRUE(canvas.AllUntouched());
}

TEST_F(TestPictures, CutTablesShortHeadersAndMissingPicturesGiveNothing)
{
    for (const char *name : {"CUTTABLE", "SHORTHEAD", "LONGHEAD", "NOSUCHPICTURE"}) {
        EXPECT_EQ(PaletteFromDibResource(self(), name), nullptr) << name;
        Canvas canvas(8, 8);
        EXPECT_FALSE(DrawDibResource(canvas.dc(), 0, 0, self(), name)) << name;
        EXPECT_TRUE(canvas.AllUntouched()) << name;
    }
}

// ---------------------------------------------------------------------------
// The whole paint, on this display. The tests run on a true-colour display,
// where the tile is used; the palette branch is looked at end to end.

namespace
{

LRESULT CALLBACK PaintingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT)
        return PaintMainWindow(window);
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

TEST_F(ShellPictures, TiledPaintCoversTheClientAreaUnderAWhiteTopRow)
{
    HDC screen = GetDC(nullptr);
    int paletteSize = GetDeviceCaps(screen, SIZEPALETTE);
    ReleaseDC(nullptr, screen);
    if (paletteSize >= 256)
        GTEST_SKIP() << "palette display: the end-to-end test covers this branch";

    memset(&g_setup, 0, sizeof g_setup);
    g_setup.instance = shell();
    g_setup.tileBitmap = LoadBitmapA(shell(), kTileName);
    WNDCLASSA cls = {};
    cls.lpfnWndProc = PaintingWindowProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    cls.lpszClassName = "PaintTestWindow";
    RegisterClassA(&cls);
    HWND window = CreateWindowExA(0, cls.lpszClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, 594, 395,
                                  nullptr, nullptr, cls.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    UpdateWindow(window);

    HDC dc = GetDC(window);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 400, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 593, 0), RGB(255, 255, 255));
    int wrong = 0;
    for (int y = 1; y < 395; y += 3)
        for (int x = 0; x < 594; x += 3)
            wrong += GetPixel(dc, x, y) != DibPixel(tile_, x % 317, y % 158);
    EXPECT_EQ(wrong, 0);
    ReleaseDC(window, dc);
    DestroyWindow(window);
    DeleteObject(g_setup.tileBitmap);
    memset(&g_setup, 0, sizeof g_setup);
}

// The resources that the product carries, read from the built 32-bit executable as data: ids, types and
// languages, the dialog templates and their initialisation data, the skin images, icon, page, manifest,
// version block, and the header fields that make it a Windows 5.1 GUI program.
#include <gtest/gtest.h>

#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "framework/DialogTemplate.h"

namespace {

constexpr WORD kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);  // 2052
constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);          // 1033
const wchar_t* const kPng = L"PNG";
const wchar_t* const kDlgInit = MAKEINTRESOURCEW(240);

// The product sits two levels above the test executables (build/x64/tests -> build).
std::wstring ProductPath()
{
    wchar_t self[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir(self, n);
    for (int up = 0; up < 3; ++up) dir = dir.substr(0, dir.find_last_of(L"\\/"));
    return dir + L"\\Velmora.exe";
}

std::string Narrow(const std::wstring& w)
{
    return std::string(w.begin(), w.end());
}

// A resource id or a named type as readable text, for failure messages.
std::string Describe(const wchar_t* name)
{
    return IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<ULONG_PTR>(name)) : Narrow(name);
}

class Resources : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        path = ProductPath();
        module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&gdiplusToken, &input, nullptr);
    }
    static void TearDownTestSuite()
    {
        Gdiplus::GdiplusShutdown(gdiplusToken);
        if (module) ::FreeLibrary(module);
        module = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(module, nullptr) << "cannot open the product " << Narrow(path)
                                   << " (error " << ::GetLastError() << "): build it with `make build` first";
    }

    // The bytes of a resource in the given language; fails the test when it is absent.
    static std::vector<BYTE> Bytes(const wchar_t* name, const wchar_t* type, WORD language = kChinesePrc)
    {
        HRSRC info = ::FindResourceExW(module, type, name, language);
        if (!info) {
            ADD_FAILURE() << "no resource " << Describe(name) << " of type " << Describe(type) << " in language " << language;
            return {};
        }
        const BYTE* data = static_cast<const BYTE*>(::LockResource(::LoadResource(module, info)));
        return std::vector<BYTE>(data, data + ::SizeofResource(module, info));
    }

    static std::wstring path;
    static HMODULE module;
    static ULONG_PTR gdiplusToken;
};
std::wstring Resources::path;
HMODULE Resources::module = nullptr;
ULONG_PTR Resources::gdiplusToken = 0;

// --- what is there, and in which language ---------------------------------------------------------------

std::string TypeKey(const wchar_t* type)
{
    return IS_INTRESOURCE(type) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(type)) : Narrow(type);
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out)
{
    reinterpret_cast<std::vector<WORD>*>(out)->push_back(language);
    return TRUE;
}

struct Inventory {
    HMODULE module;
    std::map<std::string, std::map<std::string, std::vector<WORD>>> entries;  // type -> name -> languages
};

BOOL CALLBACK CollectName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR out)
{
    auto* inventory = reinterpret_cast<Inventory*>(out);
    std::vector<WORD>& languages = inventory->entries[TypeKey(type)][TypeKey(name)];
    ::EnumResourceLanguagesW(module, type, name, CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    return TRUE;
}

BOOL CALLBACK CollectType(HMODULE module, LPWSTR type, LONG_PTR out)
{
    ::EnumResourceNamesW(module, type, CollectName, out);
    return TRUE;
}

TEST_F(Resources, CarriesExactlyTheListedResourcesEachInOneLanguage)
{
    using Names = std::map<std::string, std::vector<WORD>>;
    const std::vector<WORD> zh{kChinesePrc}, en{kEnglishUs};
    Names pngs;
    for (int id : {137, 138, 139, 140, 141, 142, 143, 144, 145, 147, 158, 159, 160}) pngs["#" + std::to_string(id)] = zh;
    const std::map<std::string, Names> expected{
        {"#5", {{"#102", zh}, {"#103", zh}, {"#150", zh}}},  // RT_DIALOG
        {"#240", {{"#103", zh}}},                            // dialog initialisation data
        {"#23", {{"#106", zh}}},                             // RT_HTML
        {"PNG", pngs},
        {"#3", {{"#1", zh}}},    // RT_ICON: the one image of the group
        {"#14", {{"#155", zh}}},  // RT_GROUP_ICON
        {"#16", {{"#1", zh}}},    // RT_VERSION
        {"#24", {{"#1", en}}},    // RT_MANIFEST: the only resource in US English
    };
    Inventory inventory{module, {}};
    ::EnumResourceTypesW(module, CollectType, reinterpret_cast<LONG_PTR>(&inventory));
    EXPECT_EQ(inventory.entries, expected);
}

// --- dialog templates ------------------------------------------------------------------------------------

DialogTemplateInfo ParseDialog(const std::vector<BYTE>& bytes)
{
    DialogTemplateInfo info;
    EXPECT_TRUE(ParseDialogTemplateEx(bytes.data(), bytes.size(), &info)) << "not an extended template";
    return info;
}

TEST_F(Resources, DialogTemplatesHaveTheirFramesFontsAndSizes)
{
    struct Expected {
        UINT id;
        DWORD style, exStyle;
        short cx, cy;
        const wchar_t* caption;
        const wchar_t* typeface;
        WORD pointSize, weight;
        BYTE charSet;
        size_t controls;
    };
    const Expected table[] = {
        {102, WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MAXIMIZEBOX | DS_SETFONT | DS_FIXEDSYS, WS_EX_APPWINDOW, 315, 208,
         L"Velmora", L"MS Shell Dlg", 9, 0, DEFAULT_CHARSET, 0},
        {103, WS_POPUP | DS_SETFONT, 0, 662, 388, L"", L"MS Sans Serif", 9, 0, ANSI_CHARSET, 9},
        {150, WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFONT | DS_FIXEDSYS, WS_EX_APPWINDOW, 835, 415,
         L"Velmora", L"MS Shell Dlg", 8, 400, DEFAULT_CHARSET, 0},
    };
    for (const Expected& e : table) {
        SCOPED_TRACE("dialog " + std::to_string(e.id));
        DialogTemplateInfo d = ParseDialog(Bytes(MAKEINTRESOURCEW(e.id), RT_DIALOG));
        EXPECT_EQ(d.style, e.style);
        EXPECT_EQ(d.exStyle, e.exStyle);
        EXPECT_EQ(d.helpId, 0u);
        EXPECT_EQ(d.x, 0);
        EXPECT_EQ(d.y, 0);
        EXPECT_EQ(d.cx, e.cx);
        EXPECT_EQ(d.cy, e.cy);
        EXPECT_TRUE(!d.menu.isOrdinal && d.menu.text.empty()) << "no menu";
        EXPECT_TRUE(!d.windowClass.isOrdinal && d.windowClass.text.empty()) << "the dialog class";
        EXPECT_EQ(d.title, e.caption);
        ASSERT_TRUE(d.hasFont);
        EXPECT_EQ(d.typeface, e.typeface);
        EXPECT_EQ(d.pointSize, e.pointSize);
        EXPECT_EQ(d.weight, e.weight);
        EXPECT_EQ(d.italic, 0);
        EXPECT_EQ(d.charSet, e.charSet);
        EXPECT_EQ(d.items.size(), e.controls);
    }
}

TEST_F(Resources, CompanionTemplateListsItsNineControlsInOrder)
{
    constexpr WORD kButtonOrdinal = 0x0080;  // the predefined "Button" class
    const wchar_t* const kBrowser = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";
    struct Expected {
        DWORD id;
        const wchar_t* className;  // null: the predefined button class, stored as an ordinal
        const wchar_t* text;
        DWORD style, exStyle;
        short x, y, cx, cy;
    };
    const DWORD plain = WS_CHILD | WS_VISIBLE;
    const Expected table[] = {
        {104, nullptr, L"官方网站", WS_CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON | BS_BITMAP | BS_VCENTER, 0, 3, 1, 55, 17},
        {1005, kBrowser, L"", plain, 0, 141, 108, 37, 20},
        {1006, L"MfcButton", L"", plain | WS_TABSTOP | BS_DEFPUSHBUTTON, WS_EX_TRANSPARENT, 201, 113, 57, 13},
        {1004, L"MfcButton", L"", plain, 0, 531, 61, 16, 16},
        {1008, L"MfcButton", L"", plain, 0, 274, 110, 50, 14},
        {1009, L"MfcButton", L"", plain, 0, 425, 114, 50, 14},
        {1010, L"MfcButton", L"", plain, 0, 524, 114, 50, 14},
        {105, nullptr, L"", WS_CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 62, 3, 50, 14},
        {1012, L"MfcButton", L"", plain | WS_TABSTOP, 0, 137, 155, 50, 14},
    };
    DialogTemplateInfo d = ParseDialog(Bytes(MAKEINTRESOURCEW(103), RT_DIALOG));
    ASSERT_EQ(d.items.size(), std::size(table));
    for (size_t i = 0; i < std::size(table); ++i) {
        const Expected& e = table[i];
        const DialogItem& item = d.items[i];
        SCOPED_TRACE("control " + std::to_string(e.id));
        EXPECT_EQ(item.id, e.id);
        if (e.className) {
            EXPECT_FALSE(item.className.isOrdinal);
            EXPECT_EQ(item.className.text, e.className) << Narrow(item.className.text);
        } else {
            EXPECT_TRUE(item.className.isOrdinal);
            EXPECT_EQ(item.className.ordinal, kButtonOrdinal);
        }
        EXPECT_FALSE(item.title.isOrdinal);
        EXPECT_EQ(item.title.text, e.text);
        EXPECT_EQ(item.style, e.style);
        EXPECT_EQ(item.exStyle, e.exStyle);
        EXPECT_EQ(item.helpId, 0u);
        EXPECT_EQ(item.x, e.x);
        EXPECT_EQ(item.y, e.y);
        EXPECT_EQ(item.cx, e.cx);
        EXPECT_EQ(item.cy, e.cy);
        EXPECT_TRUE(item.creationData.empty());
    }
    EXPECT_EQ(d.items[1].IsClassIdControl(), true);
}

std::string Settings(const char* imageType, const char* fullTextTool)
{
    return std::string("<MFCButton_Style>6</MFCButton_Style>") + "<MFCButton_Autosize>FALSE</MFCButton_Autosize>" +
           "<MFCButton_Tooltip></MFCButton_Tooltip>" + "<MFCButton_FullTextTool>" + fullTextTool +
           "</MFCButton_FullTextTool>" + "<MFCButton_CursorType>12</MFCButton_CursorType>" +
           "<MFCButton_ImageType>" + imageType + "</MFCButton_ImageType>" +
           "<MFCButton_ImageOnTop>FALSE</MFCButton_ImageOnTop>" + "<MFCButton_ImageOnRight>FALSE</MFCButton_ImageOnRight>";
}

TEST_F(Resources, CompanionInitialisationDataHoldsTheBrowserStateAndEachButtonsSettings)
{
    constexpr WORD kLoadFromStream = 0x0376, kInitCtrl = 0x037C;
    struct Expected {
        WORD id, message;
        size_t length;
        std::string text;  // the settings; empty for the browser's binary state
    };
    const Expected table[] = {
        {1005, kLoadFromStream, 160, ""},
        {1006, kInitCtrl, 371, Settings("10", "FALSE")},
        {1004, kInitCtrl, 371, Settings("10", "FALSE")},
        {1008, kInitCtrl, 370, Settings("8", "FALSE")},
        {1009, kInitCtrl, 371, Settings("10", "FALSE")},
        {1010, kInitCtrl, 371, Settings("10", "FALSE")},
        {1012, kInitCtrl, 369, Settings("8", "TRUE")},
    };
    std::vector<BYTE> bytes = Bytes(MAKEINTRESOURCEW(103), kDlgInit);
    std::vector<DialogInitRecord> records = ParseDialogInit(bytes.data(), bytes.size());
    ASSERT_EQ(records.size(), std::size(table));
    size_t used = 0;
    for (size_t i = 0; i < std::size(table); ++i) {
        const Expected& e = table[i];
        const DialogInitRecord& r = records[i];
        SCOPED_TRACE("record " + std::to_string(i) + " for control " + std::to_string(e.id));
        EXPECT_EQ(r.controlId, e.id);
        EXPECT_EQ(r.message, e.message);
        EXPECT_EQ(r.data.size(), e.length);
        if (!e.text.empty()) {
            EXPECT_EQ(std::string(r.data.begin(), r.data.end()), e.text);
        }
        used += 8 + r.data.size();
    }
    // The browser's state: its extent in HIMETRIC, nothing else set.
    std::vector<BYTE> browser = records[0].data;
    ASSERT_EQ(browser.size(), 160u);
    LONG extent[2];
    std::memcpy(extent, browser.data(), sizeof extent);
    EXPECT_EQ(extent[0], 1482);
    EXPECT_EQ(extent[1], 794);
    EXPECT_EQ(std::vector<BYTE>(browser.begin() + 8, browser.end()), std::vector<BYTE>(152, 0));
    // Ended by a zero word, and nothing after it.
    ASSERT_EQ(bytes.size(), used + 2);
    EXPECT_EQ(bytes[used], 0);
    EXPECT_EQ(bytes[used + 1], 0);
}

// --- page, manifest, version ----------------------------------------------------------------------------

TEST_F(Resources, PlaceholderPageIsTheBlackPageByteForByte)
{
    const std::string expected =
        "<HTML>\r\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\"/>\r\n"
        "<BODY ID=CZuGameDlg BGCOLOR=BLACK>\r\n"
        "\r\n"
        "<TABLE WIDTH=100%>\r\n"
        "<TR>\r\n"
        "<TD ALIGN=RIGHT>\r\n"
        "</TD>\r\n"
        "</TR>\r\n"
        "<TR WIDTH=100% HEIGHT=75>\r\n"
        "</TR>\r\n"
        "</TABLE>\r\n"
        "\r\n"
        "</BODY>\r\n"
        "</HTML>";
    std::vector<BYTE> bytes = Bytes(MAKEINTRESOURCEW(106), RT_HTML);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
}

TEST_F(Resources, ManifestRunsAsInvokerDpiAwareWithoutDependencies)
{
    std::vector<BYTE> bytes = Bytes(MAKEINTRESOURCEW(1), RT_MANIFEST, kEnglishUs);
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_TRUE(bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) << "UTF-8 byte-order mark";
    const std::string text(bytes.begin() + 3, bytes.end());
    for (const char* part : {"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>", "manifestVersion=\"1.0\"",
                             "level=\"asInvoker\"", "uiAccess=\"false\"",
                             "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part;
    }
    EXPECT_EQ(text.find("dependency"), std::string::npos);
    EXPECT_EQ(text.find("Common-Controls"), std::string::npos);
}

TEST_F(Resources, VersionBlockNamesTheProduct)
{
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(1, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(1, 17));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(1, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(1, 17));
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileSubtype, 0u);

    WORD* translation = nullptr;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u) << "one translation entry";
    EXPECT_EQ(translation[0], 0x0804);
    EXPECT_EQ(translation[1], 0x03A8);

    auto value = [&](const wchar_t* key) {
        wchar_t* text = nullptr;
        UINT chars = 0;
        std::wstring query = std::wstring(L"\\StringFileInfo\\080403a8\\") + key;
        if (!::VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &chars) || !text) return std::wstring(L"<absent>");
        return std::wstring(text);
    };
    EXPECT_EQ(value(L"FileDescription"), L"pexo Launcher");
    EXPECT_EQ(value(L"FileVersion"), L"1.1.17.1");
    EXPECT_EQ(value(L"InternalName"), L"Velmora.exe");
    EXPECT_EQ(value(L"OriginalFilename"), L"Velmora.exe");
    EXPECT_EQ(value(L"ProductName"), L"Velmora");
    EXPECT_EQ(value(L"ProductVersion"), L"1.1.17.1");
    const std::wstring company = value(L"CompanyName");
    EXPECT_FALSE(company.empty() || company == L"<absent>");
    EXPECT_NE(value(L"LegalCopyright").find(company), std::wstring::npos) << "the notice names the company";
}

// --- icon and images -------------------------------------------------------------------------------------

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct GroupIconHeader {
    WORD reserved, type, count;
};
#pragma pack(pop)

TEST_F(Resources, IconIsOne48PixelImageWithAlpha)
{
    std::vector<BYTE> group = Bytes(MAKEINTRESOURCEW(155), RT_GROUP_ICON);
    ASSERT_EQ(group.size(), sizeof(GroupIconHeader) + sizeof(GroupIconEntry));
    GroupIconHeader header;
    GroupIconEntry entry;
    std::memcpy(&header, group.data(), sizeof header);
    std::memcpy(&entry, group.data() + sizeof header, sizeof entry);
    EXPECT_EQ(header.type, 1);
    EXPECT_EQ(header.count, 1);
    EXPECT_EQ(entry.width, 48);
    EXPECT_EQ(entry.height, 48);
    EXPECT_EQ(entry.planes, 1);
    EXPECT_EQ(entry.bitCount, 32);

    std::vector<BYTE> image = Bytes(MAKEINTRESOURCEW(entry.id), RT_ICON);
    ASSERT_EQ(image.size(), entry.bytes);
    ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, image.data(), sizeof bih);
    EXPECT_EQ(bih.biWidth, 48);
    EXPECT_EQ(bih.biHeight, 96) << "colour and mask";
    EXPECT_EQ(bih.biBitCount, 32);
    // Some pixels are see-through, some solid: the alpha is really used.
    std::set<BYTE> alphas;
    for (size_t p = sizeof bih + 3; p < sizeof bih + 48 * 48 * 4; p += 4) alphas.insert(image[p]);
    EXPECT_TRUE(alphas.count(0) && alphas.count(255));

    HICON icon = ::CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE, 0x00030000, 48, 48, 0);
    EXPECT_NE(icon, nullptr);
    if (icon) ::DestroyIcon(icon);
}

// A skin image decoded by GDI+ from the resource bytes.
class DecodedPng {
public:
    explicit DecodedPng(const std::vector<BYTE>& bytes)
    {
        HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        if (!memory) return;
        std::memcpy(::GlobalLock(memory), bytes.data(), bytes.size());
        ::GlobalUnlock(memory);
        IStream* stream = nullptr;
        if (FAILED(::CreateStreamOnHGlobal(memory, TRUE, &stream))) {
            ::GlobalFree(memory);
            return;
        }
        m_bitmap.reset(Gdiplus::Bitmap::FromStream(stream));
        stream->Release();
        if (m_bitmap && m_bitmap->GetLastStatus() != Gdiplus::Ok) m_bitmap.reset();
    }
    bool ok() const { return m_bitmap != nullptr; }
    UINT width() const { return m_bitmap->GetWidth(); }
    UINT height() const { return m_bitmap->GetHeight(); }
    bool hasAlpha() const { return Gdiplus::IsAlphaPixelFormat(m_bitmap->GetPixelFormat()); }

    // All pixels as 0xAARRGGBB, row by row.
    std::vector<UINT32> pixels() const
    {
        std::vector<UINT32> out(static_cast<size_t>(width()) * height());
        Gdiplus::Rect all(0, 0, static_cast<INT>(width()), static_cast<INT>(height()));
        Gdiplus::BitmapData data{};
        data.Width = width();
        data.Height = height();
        data.Stride = static_cast<INT>(width() * 4);
        data.PixelFormat = PixelFormat32bppARGB;
        data.Scan0 = out.data();
        if (m_bitmap->LockBits(&all, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf, PixelFormat32bppARGB, &data) != Gdiplus::Ok)
            return {};
        m_bitmap->UnlockBits(&data);
        return out;
    }

private:
    std::unique_ptr<Gdiplus::Bitmap> m_bitmap;
};

struct SkinImage {
    UINT id, width, height;
    bool alpha;
    int x, y;  // where the companion places it (button images only)
};
const SkinImage kSkin[] = {
    {158, 1257, 877, true, 0, 0},
    {139, 165, 48, true, 363, 305}, {140, 165, 48, true, 363, 305},
    {143, 165, 48, true, 528, 305}, {144, 165, 48, true, 528, 305},
    {145, 165, 48, true, 696, 305}, {147, 165, 48, true, 696, 305},
    {141, 166, 48, true, 858, 305}, {142, 166, 48, true, 858, 305},
    {138, 52, 80, true, 1018, 249}, {137, 52, 80, true, 1018, 249},
    {159, 57, 61, true, 962, 237}, {160, 57, 61, false, 962, 237},
};

constexpr UINT32 kKeyGreen = 0x0000FF00;  // RGB(0, 255, 0): the companion's colour key

TEST_F(Resources, SkinImagesHaveTheirPixelSizesAndAlpha)
{
    for (const SkinImage& s : kSkin) {
        SCOPED_TRACE("image " + std::to_string(s.id));
        DecodedPng png(Bytes(MAKEINTRESOURCEW(s.id), kPng));
        ASSERT_TRUE(png.ok()) << "GDI+ cannot decode it";
        EXPECT_EQ(png.width(), s.width);
        EXPECT_EQ(png.height(), s.height);
        EXPECT_EQ(png.hasAlpha(), s.alpha);
    }
}

// The buttons sit on a window keyed on pure green: a half-transparent button pixel would be blended with
// the key and show as a green fringe, and key-coloured artwork would turn into a hole.
TEST_F(Resources, ButtonImagesAreHardEdgedAndNoArtworkUsesTheColourKey)
{
    for (const SkinImage& s : kSkin) {
        SCOPED_TRACE("image " + std::to_string(s.id));
        std::vector<UINT32> pixels = DecodedPng(Bytes(MAKEINTRESOURCEW(s.id), kPng)).pixels();
        ASSERT_EQ(pixels.size(), static_cast<size_t>(s.width) * s.height);
        size_t soft = 0, key = 0, opaque = 0;
        for (UINT32 p : pixels) {
            BYTE a = static_cast<BYTE>(p >> 24);
            if (a != 0 && a != 255) soft++;
            if (a == 255) opaque++;
            if (a != 0 && (p & 0x00FFFFFF) == kKeyGreen) key++;
        }
        EXPECT_EQ(key, 0u);
        if (s.id != 158) {
            EXPECT_EQ(soft, 0u);
            EXPECT_GT(opaque, pixels.size() / 4) << "the button shows something";
        } else {
            EXPECT_GT(soft, 10000u) << "the launcher's edges fade out";
        }
    }
}

// Everything the companion covers with a control must be solid in the background picture, or the desktop
// would show through the buttons' surroundings and the browser's frame.
TEST_F(Resources, BackgroundIsOpaqueUnderTheButtonsAndThePanel)
{
    DecodedPng background(Bytes(MAKEINTRESOURCEW(158), kPng));
    std::vector<UINT32> pixels = background.pixels();
    ASSERT_EQ(pixels.size(), 1257u * 877u);
    auto alphaAt = [&](int x, int y) { return static_cast<BYTE>(pixels[static_cast<size_t>(y) * 1257 + x] >> 24); };
    struct Area {
        int x, y, w, h;
    };
    std::vector<Area> areas{{364, 371, 656, 360}};  // the browser
    for (const SkinImage& s : kSkin)
        if (s.id != 158) areas.push_back({s.x, s.y, static_cast<int>(s.width), static_cast<int>(s.height)});
    for (const Area& a : areas) {
        size_t clear = 0;
        for (int y = a.y; y < a.y + a.h; ++y)
            for (int x = a.x; x < a.x + a.w; ++x) clear += alphaAt(x, y) != 255;
        EXPECT_EQ(clear, 0u) << "area at " << a.x << "," << a.y;
    }
    EXPECT_EQ(alphaAt(0, 0), 0) << "the corners are outside the launcher's shape";
    EXPECT_EQ(alphaAt(1256, 876), 0);
}

// --- executable header ----------------------------------------------------------------------------------

std::vector<char> ReadWholeFile(const std::wstring& name)
{
    std::vector<char> bytes;
    HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file, &size) && size.QuadPart < (1 << 30)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) read = 0;
        bytes.resize(read);
    }
    ::CloseHandle(file);
    return bytes;
}

TEST_F(Resources, ExecutableIsA32BitGuiProgramForWindows51)
{
    std::vector<char> bytes = ReadWholeFile(path);
    IMAGE_DOS_HEADER dos;
    ASSERT_GE(bytes.size(), sizeof dos);
    std::memcpy(&dos, bytes.data(), sizeof dos);
    ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
    IMAGE_NT_HEADERS32 nt;
    ASSERT_GE(dos.e_lfanew, 0);
    ASSERT_GE(bytes.size(), static_cast<size_t>(dos.e_lfanew) + sizeof nt);
    std::memcpy(&nt, bytes.data() + dos.e_lfanew, sizeof nt);
    ASSERT_EQ(nt.Signature, IMAGE_NT_SIGNATURE);
    EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_EQ(nt.OptionalHeader.MajorSubsystemVersion, 5);
    EXPECT_EQ(nt.OptionalHeader.MinorSubsystemVersion, 1);
    EXPECT_EQ(nt.OptionalHeader.MajorOperatingSystemVersion, 5);
    EXPECT_EQ(nt.OptionalHeader.MinorOperatingSystemVersion, 1);
}

// The functions a 32-bit executable imports, as "dll!function" with the DLL name in lower case ("#n" for an
// import by ordinal), read from the file's import table. Empty when the table cannot be read.
std::set<std::string> ImportsOf(const std::vector<char>& bytes)
{
    std::set<std::string> imports;
    auto fits = [&](size_t at, size_t size) { return at <= bytes.size() && size <= bytes.size() - at; };
    IMAGE_DOS_HEADER dos;
    if (!fits(0, sizeof dos)) return imports;
    std::memcpy(&dos, bytes.data(), sizeof dos);
    IMAGE_NT_HEADERS32 nt;
    if (dos.e_lfanew < 0 || !fits(static_cast<size_t>(dos.e_lfanew), sizeof nt)) return imports;
    std::memcpy(&nt, bytes.data() + dos.e_lfanew, sizeof nt);
    const size_t sections = static_cast<size_t>(dos.e_lfanew) + 4 + sizeof(IMAGE_FILE_HEADER) + nt.FileHeader.SizeOfOptionalHeader;
    auto offsetOf = [&](DWORD rva, size_t size, size_t* offset) {
        for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER section;
            if (!fits(sections + i * sizeof section, sizeof section)) return false;
            std::memcpy(&section, bytes.data() + sections + i * sizeof section, sizeof section);
            DWORD length = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
            if (rva >= section.VirtualAddress && rva - section.VirtualAddress < length) {
                *offset = section.PointerToRawData + (rva - section.VirtualAddress);
                return fits(*offset, size);
            }
        }
        return false;
    };
    auto text = [&](DWORD rva) {
        size_t at = 0;
        std::string out;
        if (!offsetOf(rva, 1, &at)) return out;
        while (at < bytes.size() && bytes[at] && out.size() < 256) out += bytes[at++];
        return out;
    };
    size_t at = 0;
    const DWORD table = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (DWORD rva = table; offsetOf(rva, sizeof(IMAGE_IMPORT_DESCRIPTOR), &at); rva += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR entry;
        std::memcpy(&entry, bytes.data() + at, sizeof entry);
        if (!entry.Name) break;
        std::string dll = text(entry.Name);
        std::transform(dll.begin(), dll.end(), dll.begin(), [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
        DWORD thunk = entry.OriginalFirstThunk ? entry.OriginalFirstThunk : entry.FirstThunk;
        size_t slot = 0;
        for (; offsetOf(thunk, 4, &slot); thunk += 4) {
            DWORD value;
            std::memcpy(&value, bytes.data() + slot, 4);
            if (!value) break;
            imports.insert(dll + "!" + (value & IMAGE_ORDINAL_FLAG32 ? "#" + std::to_string(value & 0xFFFF) : text(value + 2)));
        }
    }
    return imports;
}

// Everything the product imports must exist on Windows XP, the oldest system it is built for: a single
// function that came later (a newer API, or one a runtime library pulls in) stops the loader before the
// program runs. The list below holds what the product uses, each checked to be on Windows XP; a new import
// must be checked the same way before it joins the list.
TEST_F(Resources, EveryImportExistsOnWindowsXp)
{
    static const std::map<std::string, std::set<std::string>> kOnWindowsXp{
        {"kernel32.dll",
         {"CloseHandle", "CompareStringW", "CreateSemaphoreW", "DeleteCriticalSection", "EnterCriticalSection",
          "FindResourceW", "FreeLibrary", "GetCurrentThreadId", "GetLastError", "GetModuleFileNameW",
          "GetModuleHandleA", "GetModuleHandleW", "GetPrivateProfileStringW", "GetProcAddress", "GetShortPathNameW",
          "GetStartupInfoW", "GlobalAlloc", "GlobalFree", "GlobalLock", "GlobalUnlock", "InitializeCriticalSection",
          "IsDBCSLeadByteEx", "LeaveCriticalSection", "LoadLibraryA", "LoadLibraryW", "LoadResource", "LockResource",
          "MultiByteToWideChar", "ReleaseSemaphore", "SetLastError", "SetUnhandledExceptionFilter", "SizeofResource",
          "Sleep", "TlsAlloc", "TlsFree", "TlsGetValue", "TlsSetValue", "VirtualProtect", "VirtualQuery",
          "WaitForSingleObject", "WideCharToMultiByte", "lstrcmpW"}},
        {"user32.dll",
         {"AdjustWindowRect", "BeginPaint", "BringWindowToTop", "CallNextHookEx", "CallWindowProcW",
          "CreateDialogIndirectParamW", "CreateWindowExW", "DefWindowProcW", "DestroyWindow", "DispatchMessageW",
          "DrawEdge", "EnableWindow", "EndDialog", "EndPaint", "FillRect", "GetActiveWindow", "GetAncestor",
          "GetClassInfoExW", "GetClientRect", "GetCursorPos", "GetDC", "GetDlgItem", "GetForegroundWindow",
          "GetMessageW", "GetParent", "GetPropW", "GetSysColorBrush", "GetSystemMetrics", "GetWindowLongW",
          "GetWindowRect", "GetWindowTextLengthW", "GetWindowTextW", "GetWindowThreadProcessId", "InvalidateRect",
          "IsChild", "IsDialogMessageW", "IsWindow", "IsWindowEnabled", "IsWindowVisible", "KillTimer", "LoadBitmapW",
          "LoadCursorW", "LoadIconW", "MapDialogRect", "MapWindowPoints", "MessageBoxW", "MoveWindow", "PeekMessageW",
          "PostMessageW", "PostQuitMessage", "PtInRect", "RegisterClassExW", "RegisterClassW",
          "RegisterWindowMessageW", "ReleaseDC",
          "RemovePropW", "SendDlgItemMessageW", "SendMessageW", "SetActiveWindow", "SetCursor", "SetPropW",
          "SetTimer", "SetWindowLongW", "SetWindowPos", "SetWindowTextW", "SetWindowsHookExW", "ShowWindow",
          "SystemParametersInfoW", "TrackMouseEvent", "TranslateMessage", "UnhookWindowsHookEx", "UpdateWindow",
          "WindowFromPoint"}},
        {"gdi32.dll",
         {"BitBlt", "CreateCompatibleBitmap", "CreateCompatibleDC", "CreateDIBSection", "CreateSolidBrush", "DeleteDC",
          "DeleteObject", "OffsetViewportOrgEx", "RestoreDC", "SaveDC", "SelectObject", "SetBrushOrgEx"}},
        {"gdiplus.dll",
         {"GdipAlloc", "GdipCloneImage", "GdipCreateBitmapFromHBITMAP", "GdipCreateBitmapFromScan0",
          "GdipCreateFromHDC", "GdipDeleteGraphics", "GdipDisposeImage", "GdipDrawImageRectI", "GdipFree",
          "GdipGetImageGraphicsContext", "GdipGetImageHeight", "GdipGetImageWidth", "GdipLoadImageFromStream",
          "GdipSetCompositingMode", "GdipSetInterpolationMode", "GdipSetPixelOffsetMode", "GdipSetSmoothingMode",
          "GdiplusShutdown", "GdiplusStartup"}},
        {"shell32.dll", {"ShellExecuteW", "Shell_NotifyIconW"}},
        {"ole32.dll", {"CLSIDFromString", "CoCreateInstance", "CreateStreamOnHGlobal", "OleInitialize", "OleUninitialize"}},
        {"oleaut32.dll",
         {"SafeArrayAccessData", "SafeArrayCreateVector", "SafeArrayUnaccessData", "SysAllocString", "SysFreeString",
          "SysStringLen", "VariantChangeType", "VariantClear", "VariantCopyInd", "VariantInit"}},
        {"msvcrt.dll",
         {"__mb_cur_max", "__p__commode", "__p__fmode", "__p__wcmdln", "__set_app_type", "__setusermatherr",
          "__wgetmainargs", "__winitenv", "_amsg_exit", "_cexit", "_close", "_errno", "_initterm", "_iob", "_onexit",
          "_read", "_vscwprintf", "_vsnwprintf", "abort", "atoi", "calloc", "exit", "fprintf", "fputc", "fputs", "free",
          "fwrite", "localeconv", "malloc", "memchr", "memcmp", "memcpy", "memmove", "memset", "realloc", "setlocale",
          "signal", "strchr", "strcmp", "strerror", "strlen", "strncmp", "vfprintf", "wcslen"}},
    };
    std::set<std::string> imports = ImportsOf(ReadWholeFile(path));
    ASSERT_FALSE(imports.empty()) << "the import table could not be read";
    EXPECT_TRUE(imports.count("kernel32.dll!GetPrivateProfileStringW")) << "the reading of the table is off";
    std::vector<std::string> unchecked;
    for (const std::string& import : imports) {
        size_t bang = import.find('!');
        auto dll = kOnWindowsXp.find(import.substr(0, bang));
        if (dll == kOnWindowsXp.end() || !dll->second.count(import.substr(bang + 1))) unchecked.push_back(import);
    }
    EXPECT_TRUE(unchecked.empty()) << "not known to be on Windows XP: " << ::testing::PrintToString(unchecked);
}

}  // namespace

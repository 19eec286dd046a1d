// Reads the setup's own resources back from the built images, the test
// executable (which links the same resource script) and Setup.exe beside it,
// and checks every field of the dialog templates, the picture and icon
// headers and the version record.
#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include <vector>
#include <windows.h>
#include "tests/support/files.h"

namespace {

// ---------------------------------------------------------------------------
// Dialog templates (DLGTEMPLATE and DLGTEMPLATEEX), parsed field by field.

struct Reader {
    const BYTE* data;
    DWORD size;
    DWORD at = 0;
    bool ok = true;

    DWORD Take(DWORD n)
    {
        DWORD value = 0;
        if (at + n > size) {
            ok = false;
            return 0;
        }
        for (DWORD i = 0; i < n; ++i)
            value |= DWORD(data[at + i]) << (8 * i);
        at += n;
        return value;
    }
    WORD Word() { return WORD(Take(2)); }
    DWORD Dword() { return Take(4); }
    short Short() { return short(Take(2)); }
    void Align() { at = (at + 3) & ~3u; }
    // A name or ordinal: 0 for none, 0xFFFF and an ordinal (given as "#n"),
    // or a zero-ended UTF-16 string (non-ASCII shown as '?').
    std::string NameOrOrdinal()
    {
        WORD first = Word();
        if (first == 0xFFFF)
            return "#" + std::to_string(Word());
        std::string text;
        for (WORD c = first; c && ok; c = Word())
            text += c < 0x80 ? char(c) : '?';
        return text;
    }
};

// Every field of one control as one line, so a mismatch shows all of it.
std::string DescribeControl(DWORD id, const std::string& cls, const std::string& text, int x, int y,
                            int cx, int cy, DWORD style, DWORD exStyle, DWORD helpId, WORD extra)
{
    char line[512];
    snprintf(line, sizeof line, "id %lu class %s text \"%s\" at %d,%d %dx%d style %08lx ex %08lx help %lu extra %u",
             id, cls.c_str(), text.c_str(), x, y, cx, cy, style, exStyle, helpId, extra);
    return line;
}

struct Dialog {
    std::string header;                 // every field before the controls
    std::vector<std::string> controls;  // one description per control
    DWORD end = 0;                      // where the last control ended
};

bool ParseDialog(const BYTE* data, DWORD size, Dialog* dialog)
{
    Reader r{data, size};
    bool extended = r.Word() == 1 && r.Word() == 0xFFFF;
    r.at = extended ? 4 : 0;
    // DLGTEMPLATEEX and DLGITEMTEMPLATEEX put a help id first and the
    // extended style before the style.
    auto styles = [&r, extended](DWORD& help, DWORD& ex, DWORD& style) {
        help = extended ? r.Dword() : 0;
        extended ? (ex = r.Dword(), style = r.Dword()) : (style = r.Dword(), ex = r.Dword());
    };
    DWORD helpId, exStyle, style;
    styles(helpId, exStyle, style);
    WORD count = r.Word();
    short x = r.Short(), y = r.Short(), cx = r.Short(), cy = r.Short();
    std::string menu = r.NameOrOrdinal(), cls = r.NameOrOrdinal(), caption = r.NameOrOrdinal();
    char font[200] = "no font";
    if (style & DS_SETFONT) {
        WORD points = r.Word();
        WORD weight = extended ? r.Word() : 0;
        DWORD italic = extended ? r.Take(1) : 0, charset = extended ? r.Take(1) : 0;
        snprintf(font, sizeof font, "font %u \"%s\" weight %u italic %lu charset %lu", points,
                 r.NameOrOrdinal().c_str(), weight, italic, charset);
    }
    char header[600];
    snprintf(header, sizeof header,
             "%s style %08lx ex %08lx help %lu at %d,%d %dx%d menu \"%s\" class \"%s\" caption \"%s\" %s",
             extended ? "DIALOGEX" : "DIALOG", style, exStyle, helpId, x, y, cx, cy, menu.c_str(),
             cls.c_str(), caption.c_str(), font);
    dialog->header = header;
    for (WORD i = 0; i < count && r.ok; ++i) {
        r.Align();
        DWORD itemHelp, itemEx, itemStyle, id;
        styles(itemHelp, itemEx, itemStyle);
        short ix = r.Short(), iy = r.Short(), icx = r.Short(), icy = r.Short();
        id = extended ? r.Dword() : r.Word();
        std::string itemClass = r.NameOrOrdinal(), text = r.NameOrOrdinal();
        WORD extra = r.Word();
        r.at += extra;
        dialog->controls.push_back(
            DescribeControl(id, itemClass, text, ix, iy, icx, icy, itemStyle, itemEx, itemHelp, extra));
    }
    dialog->end = r.at;
    return r.ok;
}

struct ExpectedDialog {
    int id;
    const char* header;
    std::vector<std::string> controls;
};

// Classes are the predefined ordinals: #128 Button, #130 Static. Bitmap
// controls name their picture by ordinal. A control without an id is -1,
// which a DIALOGEX stores in 32 bits and a DIALOG in 16.
const ExpectedDialog ExpectedDialogs[] = {
    {100,
     "DIALOGEX style 80c808c4 ex 00000000 help 0 at 0,0 299x157 menu \"\" class \"\" caption "
     "\"Marlune Driver Installation Wizard\" font 8 \"MS Sans Serif\" weight 0 italic 0 charset 1",
     {
         DescribeControl(0xFFFFFFFF, "#130", "#200", 97, 0, 195, 62, 0x5000080E, 0x20, 0, 0),
         DescribeControl(0xFFFFFFFF, "#130", "#201", 7, 7, 83, 143, 0x5080180E, 0, 0, 0),
         DescribeControl(1100, "#130",
                         "This program will install the Marlune driver and associated files onto your "
                         "computer.  We recommend exiting any other programs that are currently running "
                         "before continuing the installation process.",
                         97, 61, 195, 35, 0x50020000, 0, 0, 0),
         DescribeControl(1101, "#130",
                         "Your Marlune Audio Card should already be installed in a PCI Slot inside your "
                         "computer.",
                         97, 96, 195, 18, 0x50020000, 0, 0, 0),
         DescribeControl(1102, "#130",
                         "Select \"Continue\" to proceed with the driver installation, or select "
                         "\"Cancel\" to quit.",
                         97, 116, 195, 18, 0x50020000, 0, 0, 0),
         DescribeControl(1, "#128", "Continue", 193, 136, 50, 14, 0x50010001, 0, 0, 0),
         DescribeControl(2, "#128", "Cancel", 127, 136, 50, 14, 0x50010000, 0, 0, 0),
     }},
    {109,
     "DIALOG style 80c800c0 ex 00000000 help 0 at 0,0 186x56 menu \"\" class \"\" caption "
     "\"Copy Files\" font 8 \"MS Sans Serif\" weight 0 italic 0 charset 0",
     {
         DescribeControl(1008, "#130", "File 0 of 10", 7, 16, 172, 8, 0x50020001, 0, 0, 0),
         DescribeControl(1001, "#130", "", 7, 30, 172, 8, 0x50020001, 0, 0, 0),
     }},
    {110,
     "DIALOG style 80c800c0 ex 00000000 help 0 at 0,0 322x102 menu \"\" class \"\" caption "
     "\"Installation Complete\" font 8 \"MS Sans Serif\" weight 0 italic 0 charset 0",
     {
         DescribeControl(2, "#128", "Close", 147, 81, 50, 14, 0x50010000, 0, 0, 0),
         DescribeControl(1101, "#130",
                         "Your Marlune driver installation has completed successfully!\n\nPlease be "
                         "sure to send in your warranty registration card or run the Online "
                         "Registration Wizard so we can provide you with the best service possible.",
                         113, 20, 202, 52, 0x50020000, 0, 0, 0),
         DescribeControl(0xFFFF, "#130", "#202", 7, 7, 103, 88, 0x5000100E, 0, 0, 0),
         DescribeControl(0xFFFF, "#130", "Congratulations!", 113, 7, 202, 8, 0x50020001, 0, 0, 0),
         DescribeControl(1, "#128", "Restart", 225, 81, 50, 14, 0x50010001, 0, 0, 0),
     }},
};

const BYTE* LoadData(HMODULE module, LPCSTR type, int id, DWORD* size)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    *size = found ? SizeofResource(module, found) : 0;
    return found ? static_cast<const BYTE*>(LockResource(LoadResource(module, found))) : nullptr;
}

void CheckDialogs(HMODULE module)
{
    for (const ExpectedDialog& e : ExpectedDialogs) {
        SCOPED_TRACE("dialog " + std::to_string(e.id));
        DWORD size;
        const BYTE* data = LoadData(module, RT_DIALOG, e.id, &size);
        ASSERT_NE(data, nullptr);
        Dialog dialog;
        ASSERT_TRUE(ParseDialog(data, size, &dialog)) << "template ends early";
        EXPECT_EQ(dialog.header, e.header);
        EXPECT_EQ(dialog.controls, e.controls);
        EXPECT_EQ(dialog.end, size) << "bytes after the last control";
    }
}

// ---------------------------------------------------------------------------
// Pictures and icon.

void CheckBitmaps(HMODULE module)
{
    const struct {
        int id;
        LONG width, height;
        WORD bitCount;
        DWORD compression, colours;
    } table[] = {
        {200, 293, 100, 8, BI_RGB, 196},
        {201, 120, 226, 4, BI_RLE4, 16},
        {202, 150, 140, 8, BI_RGB, 256},
    };
    for (const auto& e : table) {
        SCOPED_TRACE("bitmap " + std::to_string(e.id));
        DWORD size;
        const BYTE* data = LoadData(module, RT_BITMAP, e.id, &size);
        ASSERT_NE(data, nullptr);
        ASSERT_GE(size, sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER h;
        memcpy(&h, data, sizeof h);
        EXPECT_EQ(h.biSize, 40u);
        EXPECT_EQ(h.biWidth, e.width);
        EXPECT_EQ(h.biHeight, e.height);  // positive: stored bottom-up
        EXPECT_EQ(h.biPlanes, 1);
        EXPECT_EQ(h.biBitCount, e.bitCount);
        EXPECT_EQ(h.biCompression, e.compression);
        EXPECT_EQ(h.biClrUsed, e.colours);
        DWORD pixels = e.compression == BI_RGB ? (e.width * e.bitCount + 31) / 32 * 4 * e.height
                                               : h.biSizeImage;
        EXPECT_EQ(size, 40 + 4 * e.colours + pixels) << "header, palette and pixels";
        if (e.compression == BI_RLE4 && size >= 2)
            EXPECT_TRUE(data[size - 2] == 0 && data[size - 1] == 1) << "RLE4 end-of-bitmap escape";
        if (module == GetModuleHandleA(nullptr)) {  // the platform decodes it
            HBITMAP bitmap = LoadBitmapA(module, MAKEINTRESOURCEA(e.id));
            BITMAP info{};
            ASSERT_TRUE(bitmap && GetObjectA(bitmap, sizeof info, &info));
            EXPECT_EQ(info.bmWidth, e.width);
            EXPECT_EQ(info.bmHeight, e.height);
            DeleteObject(bitmap);
        }
    }
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

void CheckIcon(HMODULE module)
{
    DWORD size;
    const BYTE* group = LoadData(module, RT_GROUP_ICON, 203, &size);
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(size, 6 + 3 * sizeof(GroupIconEntry));
    WORD header[3];
    memcpy(header, group, sizeof header);
    EXPECT_EQ(header[0], 0);
    EXPECT_EQ(header[1], 1);  // icons, not cursors
    EXPECT_EQ(header[2], 3);
    for (WORD n = 0; n < 3; ++n) {
        SCOPED_TRACE("icon image " + std::to_string(n + 1));
        GroupIconEntry entry;
        memcpy(&entry, group + 6 + n * sizeof entry, sizeof entry);
        WORD bits = n == 0 ? 1 : 4;
        EXPECT_EQ(entry.id, n + 1);
        EXPECT_EQ(entry.width, 32);
        EXPECT_EQ(entry.height, 32);
        EXPECT_EQ(entry.bitCount, bits);
        DWORD imageSize;
        const BYTE* image = LoadData(module, RT_ICON, entry.id, &imageSize);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(imageSize, entry.bytes);
        BITMAPINFOHEADER h;
        ASSERT_GE(imageSize, sizeof h);
        memcpy(&h, image, sizeof h);
        EXPECT_EQ(h.biWidth, 32);
        EXPECT_EQ(h.biHeight, 64);  // colour mask and AND mask
        EXPECT_EQ(h.biBitCount, bits);
        // colour rows, AND-mask rows and the full palette
        DWORD expected = 40 + 4 * (1u << bits) + 32 * (32 * bits / 8) + 32 * 4;
        EXPECT_EQ(imageSize, expected);
    }
}

// ---------------------------------------------------------------------------
// Version record.

void CheckVersion(const std::string& path)
{
    DWORD ignored;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_NE(size, 0u) << path;
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed;
    UINT length;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010014u);  // 1.20
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000018u);  // 0.24
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010014u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000018u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 4u);       // VOS__WINDOWS32
    EXPECT_EQ(fixed->dwFileType, 3u);     // VFT_DRV
    EXPECT_EQ(fixed->dwFileSubtype, 9u);  // VFT2_DRV_SOUND

    WORD* translation;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1252);

    const struct {
        const char* name;
        const char* value;
    } strings[] = {
        {"CompanyName", "Brenmark, Inc."},
        {"FileDescription", "Setup.exe"},
        {"FileVersion", "1.20 Build 024l"},
        {"InternalName", "Vesk.Sys"},
        {"LegalCopyright", "Copyright (C) 2002 Brenmark, Inc.  All rights reserved."},
        {"OriginalFilename", "Setup.exe"},
        {"ProductName", "Brenmark Marlune Audio Card Driver"},
        {"ProductVersion", "1.20 Build 024l"},
    };
    for (const auto& s : strings) {
        std::string query = std::string("\\StringFileInfo\\040904e4\\") + s.name;
        char* value;
        ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
            << s.name;
        EXPECT_STREQ(value, s.value) << s.name;
    }
}

} // namespace

TEST(Resources, TestImageCarriesTheSetupResources)
{
    HMODULE self = GetModuleHandleA(nullptr);
    CheckDialogs(self);
    CheckBitmaps(self);
    CheckIcon(self);
    CheckVersion(ModulePath(self));
}

// Setup.exe is built beside the test executable from the same script.
TEST(Resources, SetupImageCarriesTheSameResources)
{
    std::string path = ModulePath();
    path = path.substr(0, path.find_last_of('\\') + 1) + "Setup.exe";
    HMODULE setup = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(setup, nullptr) << path << " (build the Setup target)";
    CheckDialogs(setup);
    CheckBitmaps(setup);
    CheckIcon(setup);
    CheckVersion(path);
    FreeLibrary(setup);
}

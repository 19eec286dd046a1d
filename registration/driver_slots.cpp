// The multimedia driver slots of Windows NT: the card's driver becomes the
// first Wave, MIDI and Mixer driver, every other driver of those kinds moves
// behind it, and the driver's description is recorded.
#include "registration/registrations.h"
#include "base/registry.h"
#include "base/system_library.h"
#include "base/text.h"
#include <mmsystem.h>
#include <array>

namespace {

constexpr char SlotKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
constexpr char DescriptionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc";
constexpr char DriverModule[] = "Vesk.Dll";
constexpr size_t DriverModuleLength = sizeof DriverModule - 1;
constexpr char CardName[] = "Marlune";

// The kinds in the order they are always handled; the words are the base
// slot names, in exactly this case.
constexpr std::array<const char*, 3> SlotKind = {"Wave", "MIDI", "Mixer"};
constexpr int SlotKindCount = static_cast<int>(SlotKind.size());

// At most this many names of each kind are examined: the word alone and the
// word numbered 1 to 15.
constexpr int SlotRows = 16;
constexpr DWORD SlotCellSize = 256;
constexpr DWORD SlotNameSize = 256;

// The drivers taken out of the slots, one column per kind, each filled from
// row 0 downward in the order its values were read.
struct SlotTable {
    char Cells[SlotRows][SlotKindCount][SlotCellSize];
    int Count[SlotKindCount];
};

// Reads one slot value into a cell. The registry layer takes any value as
// text ending inside the cell; a value too large for the cell, or one that
// fills it without a terminator, counts as unreadable.
bool ReadSlot(const char* slotName, char* cell)
{
    DWORD count = SlotCellSize;
    return RegReadMachineValue(SlotKey, slotName, cell, &count) != FALSE;
}

bool IsCardDriver(const char* text)
{
    return CompareTextNoCase(text, DriverModule, DriverModuleLength) == 0;
}

} // namespace

void FormatSlotName(char* buffer, const char* kindWord, int number)
{
    if (number == 0)
        FormatText(buffer, SlotNameSize, "%s", kindWord);
    else
        FormatText(buffer, SlotNameSize, "%s%d", kindWord, number);
}

void WriteDriverDescription()
{
    RegWriteMachineString(DescriptionKey, DriverModule, CardName);
}

void ReorderDriverSlots()
{
    SlotTable table = {};
    char slotName[SlotNameSize];

    // Take every driver out of the names Wave, MIDI, Mixer, Wave1 ... Mixer15.
    // A value that cannot be read stays where it is.
    for (int number = 0; number < SlotRows; ++number) {
        for (int kind = 0; kind < SlotKindCount; ++kind) {
            FormatSlotName(slotName, SlotKind[kind], number);
            if (ReadSlot(slotName, table.Cells[table.Count[kind]][kind])) {
                ++table.Count[kind];
                RegRemoveValue(HKEY_LOCAL_MACHINE, SlotKey, slotName);
            }
        }
    }

    for (const char* word : SlotKind)
        RegWriteMachineString(SlotKey, word, DriverModule);

    // Put the other drivers back behind the card's, each kind numbered on its
    // own from 1, dropping the card's own earlier entries.
    for (int kind = 0; kind < SlotKindCount; ++kind) {
        int number = 1;
        for (int row = 0; row < table.Count[kind]; ++row) {
            const char* driver = table.Cells[row][kind];
            if (IsCardDriver(driver))
                continue;
            FormatSlotName(slotName, SlotKind[kind], number++);
            RegWriteMachineString(SlotKey, slotName, driver);
        }
    }
}

void InstallAndEnableDriver()
{
    // The driver is opened by its full path in the system folder: WINMM
    // loads a driver named without a path as any library, from the program's
    // folder first.
    char path[MAX_PATH];
    wchar_t widePath[MAX_PATH];
    if (!FormatSystemPath(path, DriverModule) || !MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH))
        return;
    HDRVR driver = pOpenDriver(widePath, nullptr, 0);
    if (!driver)
        return;
    pSendDriverMessage(driver, DRV_INSTALL, 0, 0);
    pSendDriverMessage(driver, DRV_ENABLE, 0, 0);
    pCloseDriver(driver, 0, 0);
}

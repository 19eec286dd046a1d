// The install step's order of actions on each platform, seen through the
// platform calls each action makes. The calls that would change the machine
// are replaced: the payload enumeration, shortcut objects, the Start-menu
// folder, registry writes, SETUPAPI.DLL and the driver.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>
#include <objbase.h>
#include <setupapi.h>
#include <algorithm>
#include <string>
#include <vector>
#include "base/install_context.h"
#include "setup/setup_sequence.h"
#include "setup/startup.h"
#include "tests/support/import_hook.h"
#include "wizard/progress.h"

namespace {

using Steps = std::vector<std::string>;
Steps steps;
BOOL copyFilesResult;
DWORD folderError;
LONG setValueResult;
HCURSOR waitCursor;

void Step(const std::string& step)
{
    if (steps.empty() || steps.back() != step)  // runs of one action count once
        steps.push_back(step);
}

// Whether this run's progress window is on the screen.
bool ProgressShown()
{
    HWND window = Context.ProgressWindow.load();
    return window && IsWindow(window) && IsWindowVisible(window);
}

HANDLE progressThread;
DWORD progressThreadId;
decltype(&CreateThread) realCreateThread;
decltype(&SetCursor) realSetCursor;
decltype(&MessageBoxA) realMessageBox;

HRESULT WINAPI StepCoInitialize(LPVOID) { Step("CoInitialize"); return S_OK; }
HANDLE WINAPI StepCreateThread(LPSECURITY_ATTRIBUTES a, SIZE_T s, LPTHREAD_START_ROUTINE f, LPVOID p, DWORD c, LPDWORD id)
{
    Step("ProgressThread");
    HANDLE thread = realCreateThread(a, s, f, p, c, id);
    progressThread = OpenThread(SYNCHRONIZE, FALSE, progressThreadId = *id);
    return thread;
}
HCURSOR WINAPI StepSetCursor(HCURSOR cursor)
{
    if (cursor == waitCursor)
        Step("WaitCursor");
    else
        Step(ProgressShown() ? "RestoreCursor with progress shown" : "RestoreCursor");
    return realSetCursor(cursor);
}
// A file in the Inf folder is named alone; anywhere else with its whole path.
BOOL WINAPI StepDeleteFile(LPCSTR path)
{
    std::string p = path, inf = Context.InfDir;
    Step("Delete " + (p.rfind(inf, 0) == 0 && p.find('\\', inf.size()) == std::string::npos ? p.substr(inf.size()) : p));
    return FALSE;
}
BOOL WINAPI StepEnumResourceNames(HMODULE, LPCSTR, ENUMRESNAMEPROCA, LONG_PTR)
{
    Step("CopyFiles");
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return copyFilesResult;
}
HRESULT WINAPI StepCoCreateInstance(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* object)
{
    Step("Shortcut");
    *object = nullptr;
    return E_FAIL;
}
BOOL WINAPI StepCreateDirectory(LPCSTR, LPSECURITY_ATTRIBUTES)
{
    Step("StartMenuFolder");
    SetLastError(folderError);
    return folderError == ERROR_SUCCESS;
}
LONG WINAPI StepSetValue(HKEY, LPCSTR name, DWORD, DWORD, const BYTE* data, DWORD)
{
    std::string n = name ? name : "@";
    const char* text = reinterpret_cast<const char*>(data);
    if (n == "DisplayName" || n == "UninstallString")
        Step("Uninstall");
    else if (n == "@" && strchr(text, '\\'))
        Step(std::string("AsioModule ") + (strrchr(text, '\\') + 1));
    else if (n == "CLSID" || n == "@" || n == "ThreadingModel")
        Step("Asio");
    else if (n == "7C3110B5")
        Step("PciBus");
    else if (n == "Vesk.Dll")
        Step("DriverDescription");
    else if (n.rfind("Wave", 0) == 0 || n.rfind("MIDI", 0) == 0 || n.rfind("Mixer", 0) == 0)
        Step("DriverSlots");
    else
        Step("Registry " + n);
    return setValueResult;
}
LONG WINAPI KeepValue(HKEY, LPCSTR) { return ERROR_FILE_NOT_FOUND; }
LONG WINAPI RefuseSlotDelete(HKEY, LPCSTR name)
{
    Step(std::string("Delete refused ") + name);
    return ERROR_ACCESS_DENIED;
}
HMODULE WINAPI StepLoadLibrary(LPCSTR name)
{
    Step(std::string("LoadLibrary ") + name);
    return nullptr;
}
HDRVR WINAPI StepOpenDriver(LPCWSTR, LPCWSTR, LPARAM) { Step("InstallAndEnableDriver"); return nullptr; }
int WINAPI StepMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT)
{
    std::string step = std::string("Message ") + text;
    if (caption)
        step += std::string(" [") + caption + "]";
    if (ProgressShown() || GetCursor() == waitCursor)
        step += " (while installing)";
    Step(step);
    return IDOK;
}

} // namespace

// Ends the progress thread of the last install step, so that none runs on into
// the next; it takes the quit message once it has made its message queue.
void EndInstallProgress()
{
    while (!PostThreadMessageA(progressThreadId, WM_QUIT, 0, 0) && WaitForSingleObject(progressThread, 1) == WAIT_TIMEOUT) {}
    WaitForSingleObject(progressThread, INFINITE);
    CloseHandle(progressThread);
}

// The setup sequence's tests leave the machine alone with these too.
void HookInstallStep()
{
    steps.clear();
    copyFilesResult = TRUE;
    folderError = ERROR_SUCCESS;
    setValueResult = ERROR_SUCCESS;
    waitCursor = LoadCursorA(nullptr, IDC_WAIT);
    HOOK_IMPORT(CoInitialize, StepCoInitialize);
    realCreateThread = HOOK_IMPORT(CreateThread, StepCreateThread);
    realSetCursor = HOOK_IMPORT(SetCursor, StepSetCursor);
    HOOK_IMPORT(DeleteFileA, StepDeleteFile);
    HOOK_IMPORT(EnumResourceNamesA, StepEnumResourceNames);
    HOOK_IMPORT(CoCreateInstance, StepCoCreateInstance);
    HOOK_IMPORT(CreateDirectoryA, StepCreateDirectory);
    HOOK_IMPORT(RegSetValueExA, StepSetValue);
    HOOK_IMPORT(RegDeleteValueA, KeepValue);
    HOOK_IMPORT(LoadLibraryA, StepLoadLibrary);
    HOOK_IMPORT(OpenDriver, StepOpenDriver);
    HOOK_IMPORT(MessageBoxA, StepMessageBox);
}

Steps Join(std::initializer_list<Steps> parts)
{
    Steps all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

namespace {

void PrepareContext(int platform, DWORD major, BOOL upgrade, BOOL registerDevices)
{
    ASSERT_TRUE(RunStartup(GetModuleHandleA(nullptr), ""));
    Context.Platform = platform;
    Context.OsMajorVersion = major;
    Context.Upgrade = upgrade;
    Context.RegisterDevices = registerDevices;
}

BOOL RunInstallAndSettle()
{
    BOOL result = RunInstall();
    EndInstallProgress();
    return result;
}

const Steps Begin = {"CoInitialize", "ProgressThread", "WaitCursor"};
const Steps StaleInf = {"Delete Vesk.PNF"};
const Steps StartMenu = {"CopyFiles", "Shortcut", "StartMenuFolder", "Shortcut", "Uninstall"};
const Steps NtAsio = {"Asio", "AsioModule Vesk.Dll", "Asio", "DriverDescription"};
// SETUPAPI.DLL by its full path in the system folder, never by its bare name.
const Steps Devices = {"LoadLibrary C:\\windows\\system32\\SETUPAPI.DLL", "Message Unable to Load SetupAPI.Dll (while installing)"};

} // namespace

TEST(InstallStep, ActionsInOrderForEachPlatformAndMode)
{
    struct Case {
        const char* name;
        int platform;
        DWORD major;
        BOOL upgrade, registerDevices;
        Steps expected;
    };
    const Case cases[] = {
        {"NT 4 fresh", PlatformNt, 4, FALSE, TRUE,
         Join({Begin, StartMenu, NtAsio, {"DriverSlots", "RestoreCursor", "InstallAndEnableDriver"}})},
        {"NT 4 upgrade", PlatformNt, 4, TRUE, TRUE,
         Join({Begin, StartMenu, NtAsio, {"DriverSlots", "RestoreCursor"}})},
        {"NT 5 fresh", PlatformNt, 5, FALSE, TRUE,
         Join({Begin, StaleInf, StartMenu, NtAsio, Devices, {"DriverSlots", "RestoreCursor", "InstallAndEnableDriver"}})},
        {"NT 5 NOW2K", PlatformNt, 5, FALSE, FALSE,
         Join({Begin, StaleInf, StartMenu, NtAsio, {"DriverSlots", "RestoreCursor", "InstallAndEnableDriver"}})},
        {"NT 5 upgrade", PlatformNt, 5, TRUE, TRUE,
         Join({Begin, StaleInf, StartMenu, NtAsio, Devices, {"DriverSlots", "RestoreCursor"}})},
        {"9x fresh", Platform9x, 4, FALSE, TRUE,
         Join({Begin, StartMenu, {"Asio", "AsioModule VeskASIO.Dll", "Asio", "PciBus", "RestoreCursor"}})},
        {"9x upgrade", Platform9x, 4, TRUE, TRUE,
         Join({Begin, StartMenu, {"Asio", "AsioModule VeskASIO.Dll", "Asio", "PciBus", "RestoreCursor"}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetInstallContext();
        ResetProgressWindow();
        PrepareContext(c.platform, c.major, c.upgrade, c.registerDevices);
        HookInstallStep();
        EXPECT_TRUE(RunInstallAndSettle());
        EXPECT_EQ(steps, c.expected);
        EXPECT_NE(Context.ProgressWindow.load(), nullptr);
        EXPECT_FALSE(ProgressShown()) << "the progress window stayed after the step";
        RestoreImports();
    }
}

// Each failure closes the progress window and restores the cursor before its
// message, and stops the step: nothing after it is made.
TEST(InstallStep, FailuresStopTheStepAfterClosingTheProgressWindow)
{
    PrepareContext(PlatformNt, 5, FALSE, TRUE);
    HookInstallStep();
    copyFilesResult = FALSE;
    EXPECT_FALSE(RunInstallAndSettle());
    // The payload's own message comes while the window is up; the step's
    // message after it is gone.
    EXPECT_EQ(steps, Join({Begin, StaleInf, {"CopyFiles",
                           "Message EnumResourceNames [00000715] (while installing)",
                           "RestoreCursor", "Message CopyFiles Failed!"}}));
    RestoreImports();

    ResetInstallContext();
    PrepareContext(Platform9x, 4, FALSE, TRUE);
    HookInstallStep();
    folderError = ERROR_PATH_NOT_FOUND;
    EXPECT_FALSE(RunInstallAndSettle());
    ASSERT_GE(steps.size(), 3u);
    EXPECT_EQ(Steps(steps.end() - 3, steps.end() - 1), Steps({"StartMenuFolder", "RestoreCursor"}));
    EXPECT_EQ(steps.back().rfind("Message Unable to create Vesk Start Menu folder! [00000003] [", 0), 0u) << steps.back();
    EXPECT_NE(steps.back().find("\\Brenmark]"), std::string::npos) << steps.back();
    EXPECT_EQ(steps.back().find("while installing"), std::string::npos) << steps.back();
}

namespace {

// SETUPAPI.DLL with one card whose every property write is refused.
const HMODULE FakeSetupApi = reinterpret_cast<HMODULE>(0x5E700000);
HDEVINFO WINAPI FakeClassDevs(const GUID*, PCSTR, HWND, DWORD) { return reinterpret_cast<HDEVINFO>(0x5EED); }
BOOL WINAPI OneCard(HDEVINFO, DWORD index, PSP_DEVINFO_DATA)
{
    SetLastError(ERROR_NO_MORE_ITEMS);
    return index == 0;
}
BOOL WINAPI CardIds(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE data, DWORD size, PDWORD)
{
    lstrcpynA(reinterpret_cast<char*>(data), "PCI\\VEN_10B5&DEV_7C31&SUBSYS_00000000", size);
    return TRUE;
}
BOOL WINAPI RefuseProperty(HDEVINFO, PSP_DEVINFO_DATA, DWORD, const BYTE*, DWORD)
{
    Step("Device property refused");
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
BOOL WINAPI DestroyList(HDEVINFO) { return TRUE; }
HMODULE WINAPI LoadFakeSetupApi(LPCSTR) { return FakeSetupApi; }
BOOL WINAPI FreeFakeSetupApi(HMODULE) { return TRUE; }
decltype(&GetProcAddress) realGetProcAddress;
FARPROC WINAPI FakeEntryPoints(HMODULE module, LPCSTR name)
{
    if (module != FakeSetupApi)
        return realGetProcAddress(module, name);
    const std::pair<const char*, void*> entries[] = {
        {"SetupDiGetClassDevsA", reinterpret_cast<void*>(FakeClassDevs)},
        {"SetupDiEnumDeviceInfo", reinterpret_cast<void*>(OneCard)},
        {"SetupDiGetDeviceRegistryPropertyA", reinterpret_cast<void*>(CardIds)},
        {"SetupDiSetDeviceRegistryPropertyA", reinterpret_cast<void*>(RefuseProperty)},
        {"SetupDiDestroyDeviceInfoList", reinterpret_cast<void*>(DestroyList)},
    };
    for (const auto& e : entries)
        if (strcmp(name, e.first) == 0)
            return reinterpret_cast<FARPROC>(e.second);
    return nullptr;
}

const char SlotKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

} // namespace

// Refused writes, a refused slot delete and refused device properties: every
// registration is still attempted and the step succeeds.
TEST(InstallStep, FailingRegistrationsDoNotChangeTheResult)
{
    HKEY slots;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, SlotKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &slots, nullptr), ERROR_SUCCESS);
    RegSetValueExA(slots, "Wave9", 0, REG_SZ, reinterpret_cast<const BYTE*>("other.drv"), 10);
    PrepareContext(PlatformNt, 5, TRUE, TRUE);
    HookInstallStep();
    HOOK_IMPORT(RegDeleteValueA, RefuseSlotDelete);
    HOOK_IMPORT(LoadLibraryA, LoadFakeSetupApi);
    HOOK_IMPORT(FreeLibrary, FreeFakeSetupApi);
    realGetProcAddress = HOOK_IMPORT(GetProcAddress, FakeEntryPoints);
    setValueResult = ERROR_ACCESS_DENIED;
    EXPECT_TRUE(RunInstallAndSettle());
    RestoreImports();
    RegDeleteValueA(slots, "Wave9");
    RegCloseKey(slots);
    int refused = 0;
    for (const auto& s : steps)
        refused += s.rfind("Message RegSetValueEx Failed!", 0) == 0;
    EXPECT_GE(refused, 5);  // every registration was still attempted
    auto at = [](const std::string& step) { return std::find(steps.begin(), steps.end(), step) - steps.begin(); };
    EXPECT_LT(at("Device property refused"), at("Delete refused Wave9"));
    EXPECT_LT(at("Delete refused Wave9"), at("DriverSlots"));
    EXPECT_LT(at("DriverSlots"), static_cast<long>(steps.size()));
    EXPECT_EQ(steps.back(), "RestoreCursor");
}

namespace {

bool progressSeenWhileCopying;
BOOL WINAPI CopyFilesOnceProgressShows(HMODULE module, LPCSTR type, ENUMRESNAMEPROCA callback, LONG_PTR parameter)
{
    while (!ProgressShown())
        Sleep(20);
    progressSeenWhileCopying = true;
    return StepEnumResourceNames(module, type, callback, parameter);
}

} // namespace

// Windows 95 and 98 refuse to start a thread without a place for its id (the
// platform rules hold this run to that): the progress window still appears
// while the files are copied, and is gone once the step has ended.
TEST(InstallStepWin98, ShowsTheProgressWindowAndClosesIt)
{
    PrepareContext(Platform9x, 4, FALSE, TRUE);
    HookInstallStep();
    progressSeenWhileCopying = false;
    HOOK_IMPORT(EnumResourceNamesA, CopyFilesOnceProgressShows);
    EXPECT_TRUE(RunInstallAndSettle());
    EXPECT_TRUE(progressSeenWhileCopying);
    EXPECT_FALSE(ProgressShown());
}

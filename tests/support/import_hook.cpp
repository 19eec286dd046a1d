#include "tests/support/import_hook.h"
#include <gtest/gtest.h>
#include <mutex>

namespace {

struct Replaced {
    void** slot;
    void* original;
};
std::vector<Replaced> replaced;
std::mutex messagesLock;
std::vector<MessageRecord> messages;

void** FindImportSlot(const char* name)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
    for (; desc->Name; ++desc) {
        if (!desc->OriginalFirstThunk)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), name) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

void WriteSlot(void** slot, void* value)
{
    DWORD old;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    std::lock_guard<std::mutex> guard(messagesLock);
    messages.push_back({owner, text ? text : "", caption ? caption : "", caption == nullptr,
                        style, GetCurrentThreadId()});
    return MessageAnswer;
}

} // namespace

int MessageAnswer = IDOK;

void* ReplaceImport(const char* name, void* replacement)
{
    void** slot = FindImportSlot(name);
    if (!slot) {
        ADD_FAILURE() << "the test executable does not import " << name;
        return nullptr;
    }
    void* original = *slot;
    for (const Replaced& r : replaced)
        if (r.slot == slot)
            original = r.original;  // keep the first original for the restore
    replaced.push_back({slot, original});
    WriteSlot(slot, replacement);
    return original;
}

void RestoreImports()
{
    for (auto it = replaced.rbegin(); it != replaced.rend(); ++it)
        WriteSlot(it->slot, it->original);
    replaced.clear();
}

std::vector<MessageRecord> RecordedMessages()
{
    std::lock_guard<std::mutex> guard(messagesLock);
    return messages;
}

void ClearRecordedMessages()
{
    std::lock_guard<std::mutex> guard(messagesLock);
    messages.clear();
}

void InstallMessageRecorder()
{
    ClearRecordedMessages();
    MessageAnswer = IDOK;
    HOOK_IMPORT(MessageBoxA, RecordMessageBox);
}

#include "tests/support/import_hook.h"
#include <gtest/gtest.h>
#include <mutex>

namespace {

// A replaced import slot, or the "next" variable of an upper layer.
struct Replaced {
    void** slot;
    void* original;
};
// Layers that stay above every later replacement of an import: a later
// replacement goes into the layer's "next" variable instead of the slot.
struct UpperLayer {
    void** slot;
    void** next;
};
std::vector<UpperLayer> upperLayers;
std::vector<Replaced> replaced;
// Replacements below this mark belong to the lasting layers; RestoreImports
// keeps them.
size_t baseCount;
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
    for (const UpperLayer& layer : upperLayers)
        if (layer.slot == slot)
            slot = layer.next;
    // The replacement calls on to what lies beneath the tests' own hooks: the
    // lasting layers or the platform's function. A test's hooks of one import
    // replace each other rather than chain, so hooking again is harmless.
    void* beneath = *slot;
    for (size_t i = baseCount; i < replaced.size(); ++i)
        if (replaced[i].slot == slot) {
            beneath = replaced[i].original;
            break;
        }
    replaced.push_back({slot, *slot});
    WriteSlot(slot, replacement);
    return beneath;
}

void PlaceImportOnTop(const char* name, void* replacement, void** next)
{
    void** slot = FindImportSlot(name);
    if (!slot) {
        ADD_FAILURE() << "the test executable does not import " << name;
        return;
    }
    *next = *slot;
    WriteSlot(slot, replacement);
    upperLayers.push_back({slot, next});
}

void KeepImportsAsBase()
{
    baseCount = replaced.size();
}

void RestoreImports()
{
    // Undone in reverse order, each slot back to what it held before.
    while (replaced.size() > baseCount) {
        WriteSlot(replaced.back().slot, replaced.back().original);
        replaced.pop_back();
    }
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

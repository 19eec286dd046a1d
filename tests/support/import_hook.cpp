#include "tests/support/import_hook.h"
#include "tests/support/import_slots.h"
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
    WriteImportSlot(slot, replacement);
    return original;
}

void RestoreImports()
{
    for (auto it = replaced.rbegin(); it != replaced.rend(); ++it)
        WriteImportSlot(it->slot, it->original);
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

#include "tests/support/import_hook.h"
#include "tests/support/import_slots.h"
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
    WriteImportSlot(slot, replacement);
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
    WriteImportSlot(slot, replacement);
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
        WriteImportSlot(replaced.back().slot, replaced.back().original);
        replaced.pop_back();
    }
}

std::vector<MessageRecord> RecordedMessages()
{
    std::lock_guard<std::mutex> guard(messagesLock);
    return messages;
}

void ExpectMessages(const std::vector<std::pair<std::string, const char*>>& expected, UINT style)
{
    auto recorded = RecordedMessages();
    ASSERT_EQ(recorded.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(recorded[i].text, expected[i].first) << i;
        EXPECT_EQ(recorded[i].caption, expected[i].second ? expected[i].second : "") << i;
        EXPECT_EQ(recorded[i].captionIsNull, expected[i].second == nullptr) << i;
        EXPECT_EQ(recorded[i].owner, nullptr) << i;
        EXPECT_EQ(recorded[i].style, style) << i;
    }
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
    static bool installed = false;
    if (!installed) {
        HOOK_IMPORT(MessageBoxA, RecordMessageBox);
        installed = true;
    }
}

// Fault injection: replace an imported Win32 function in this test
// executable's own import address table. Every call through the table, the
// product code's included, then reaches the replacement. Replacements are
// undone by RestoreImports(), which the test listener calls after each test;
// lasting layers installed before the tests run stay beneath them.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Replaces the import `name` (from any DLL) and returns what lies beneath the
// tests' own replacements: the platform's function, or the lasting layers
// (KeepImportsAsBase) that chain onto it. Fails the current test when the
// image does not import it.
void* ReplaceImport(const char* name, void* replacement);
// Undoes the replacements made since KeepImportsAsBase, newest first.
void RestoreImports();
// Puts `replacement` above the import `name` for good: it sees every call
// first and calls on through `*next`, which holds what lies beneath; later
// replacements of the import go beneath it.
void PlaceImportOnTop(const char* name, void* replacement, void** next);
// Makes the replacements made so far lasting layers (such as the handle
// ledger) that RestoreImports keeps.
void KeepImportsAsBase();

template <typename F>
F ReplaceImportTyped(const char* name, F replacement)
{
    return reinterpret_cast<F>(ReplaceImport(name, reinterpret_cast<void*>(replacement)));
}
#define HOOK_IMPORT(name, replacement) \
    ReplaceImportTyped<decltype(&::name)>(#name, replacement)

// One message box as the product showed it.
struct MessageRecord {
    HWND owner;
    std::string text;
    std::string caption;  // empty with captionIsNull when no caption was given
    bool captionIsNull;
    UINT style;
    DWORD threadId;
};

// The MessageBoxA recorder: it records and answers `MessageAnswer` (IDOK by
// default) without showing anything. It is put in place once, before the
// tests, as a lasting layer, so RestoreImports never brings back the real
// message box; InstallMessageRecorder then only forgets what was recorded
// and resets the answer.
std::vector<MessageRecord> RecordedMessages();
void ClearRecordedMessages();
// Fails the current test unless the recorded messages are these, in order:
// each text with its caption (null: none given), no owner window, `style`.
void ExpectMessages(const std::vector<std::pair<std::string, const char*>>& expected,
                    UINT style = MB_OK | MB_ICONWARNING);
extern int MessageAnswer;
void InstallMessageRecorder();

// The handle ledger: every handle that the product's code opens through the
// platform (registry key, file, find handle, LZ file, token, thread, library,
// device list, driver, COM object) is entered when it is opened and struck
// out when it is closed. What is still open when a test ends fails that test,
// naming the call that opened it.
//
// Each tracked import gets two hooks. The upper one stays above every test's
// own hook and sees each call straight from its caller: the call is the
// product's when its return address lies in the product's code, which the
// unit tests link into a section of its own (".prodtxt"). The lower one sits
// beneath the tests' hooks, next to the platform, and enters or strikes out
// what really was opened or closed during a product's call. So a test that
// fakes a failure and passes the rest on is still watched, a close that a
// test's hook swallows leaves the handle open, and the test's own calls
// (GoogleTest, helpers, checks) are never entered.
#pragma once
#include <string>
#include <vector>

// Puts the ledger's hooks in place for the rest of the process; false when
// the product's code section cannot be found.
bool InstallHandleLedger();
// What the product opened and has not closed: "<opening call> <handle>".
std::vector<std::string> OpenProductHandles();
// Fails the running test once for each handle the product left open, then
// forgets them, so that one test's leak is not blamed on the next.
void ReportOpenProductHandles();

// Test entry: every test starts with the MessageBoxA recorder in place (no
// test can block on a real message box), a fresh install context, and ends
// with every replaced import restored and every handle the product opened
// closed (the handle ledger), the single-run mutex of a start-up included.
// The platform rules of the version the tests run under stay in place
// throughout, beneath every other layer.
#include <gtest/gtest.h>
#include "tests/support/import_hook.h"
#include "tests/support/handle_ledger.h"
#include "tests/support/platform_rules.h"
#include "setup/install_context.h"
#include "setup/startup.h"
#include "wizard/progress.h"

namespace {

class ImportListener : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override
    {
        ResetInstallContext();
        ResetProgressWindow();
        InstallMessageRecorder();
    }
    void OnTestEnd(const testing::TestInfo&) override
    {
        RestoreImports();
        EndSingleRun();  // a start-up's claim lasts for its process, a test's here
        ReportOpenProductHandles();
    }
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Windows 95/98 and NT 4 refuse what Wine accepts: every test under those
    // versions runs with their documented answers. The ledger goes above, so
    // it sees what the platform really opened.
    InstallPlatformRules(PlatformRulesForThisVersion());
    if (!InstallHandleLedger()) {
        fprintf(stderr, "the product's code section .prodtxt is missing\n");
        return 1;
    }
    InstallMessageRecorder();
    KeepImportsAsBase();
    testing::UnitTest::GetInstance()->listeners().Append(new ImportListener);
    return RUN_ALL_TESTS();
}

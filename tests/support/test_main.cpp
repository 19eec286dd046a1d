// Test entry: every test starts with the MessageBoxA recorder in place (no
// test can block on a real message box), a fresh install context, and ends
// with every replaced import restored. The platform rules of the version the
// tests run under stay in place throughout.
#include <gtest/gtest.h>
#include "tests/support/import_hook.h"
#include "tests/support/platform_rules.h"
#include "setup/install_context.h"
#include "wizard/progress.h"

namespace {

class ImportListener : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override
    {
        ResetInstallContext();
        ResetProgressWindow();
        InstallMessageRecorder();
    }
    void OnTestEnd(const testing::TestInfo&) override { RestoreImports(); }
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Windows 95/98 and NT 4 refuse what Wine accepts: every test under those
    // versions runs with their documented answers.
    InstallPlatformRules(PlatformRulesForThisVersion());
    testing::UnitTest::GetInstance()->listeners().Append(new ImportListener);
    return RUN_ALL_TESTS();
}

#include "setup/setup_sequence.h"
#include "setup/install_context.h"
#include "setup/message.h"
#include "setup/startup.h"
#include "setup/system_library.h"
#include "wizard/wizard.h"

int SetupMain(HINSTANCE instance, const char* commandTail)
{
    LoadSystemImports();
    if (!RunStartup(instance, commandTail))
        return 0;
    CloseRunningApps();
    Context.Upgrade = DeleteOldDriver();

    if (ShowWizardDialog(WelcomeDialogId, nullptr) != 1) {
        RestoreOldDriver();  // nothing is installed: put the working driver back
        return 0;
    }

    // The old driver's backup is kept until the new driver is in place: an
    // install that fails before that puts the old one back.
    if (!RunInstall()) {
        RestoreOldDriver();
        ShowWarning("The Marlune Driver Installation Wizard was unable to complete successfully.\n\n"
                    "Please report this problem to Brenmark as soon as possible.");
        return 0;
    }
    DiscardOldDriverBackup();
    INT_PTR choice = ShowWizardDialog(CompletionDialogId, nullptr);
    if (!Context.Upgrade || choice != 1)
        return 0;
    RestartSystem();
    return 0;
}

#include "setup/setup_sequence.h"
#include "setup/install_context.h"
#include "setup/message.h"
#include "setup/startup.h"
#include "payload/payload.h"
#include "wizard/wizard.h"

namespace {

void RunSequence()
{
    CloseRunningApps();
    // The old driver stays at its name throughout: "Cancel" and a failed
    // install leave it as it was, and an install replaces it only with a
    // complete new one. (A driver that a cut-off run left aside is never one
    // in use, so the answer is the same before it takes its name back.)
    Context.Upgrade = OldDriverInUse();
    // What a run cut off left is recovered before anything changes the
    // install folders.
    RecoverLeftovers(Context.Upgrade);

    if (ShowWizardDialog(WelcomeDialogId, nullptr) != 1)
        return;
    if (!RunInstall()) {
        ShowWarning("The Marlune Driver Installation Wizard was unable to complete successfully.\n\n"
                    "Please report this problem to Brenmark as soon as possible.");
        return;
    }
    INT_PTR choice = ShowWizardDialog(CompletionDialogId, nullptr);
    if (Context.Upgrade && choice == 1)
        RestartSystem();
}

} // namespace

int SetupMain(HINSTANCE instance, const char* commandTail)
{
    if (RunStartup(instance, commandTail))
        RunSequence();
    EndSingleRun();
    return 0;
}

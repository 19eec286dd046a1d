// Makes Wine answer as Windows 95/98 and NT 4 are documented to answer, for
// the calls the product makes. Wine exports every function whatever version
// it imitates and accepts arguments those platforms refuse; these rules put
// the refusals back, so that tests under those versions see them.
#pragma once

enum PlatformRuleSet {
    NoPlatformRules,
    Windows9xRules,   // Windows 95 and 98
    WindowsNt4Rules,  // Windows NT 4
    LaterRules,       // Windows 2000 and XP: only the documented GetWindow answer
};

// The rules for the version this process sees (GetVersionExA).
PlatformRuleSet PlatformRulesForThisVersion();
// Replaces the imports the rules cover, for the rest of the process. Imports
// replaced later (fault injection) call through to the rules.
void InstallPlatformRules(PlatformRuleSet rules);

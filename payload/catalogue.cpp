#include "payload/payload.h"
#include "payload/catalogue.h"
#include "base/message.h"
#include "base/paths.h"
#include "base/text.h"

bool TempPath(char* path, const char* resourceName, char lastCharacter)
{
    if (!JoinPath(path, Context.TempDir, resourceName))
        return false;
    if (lastCharacter)
        path[lstrlenA(path) - 1] = lastCharacter;
    return true;
}

// Nothing of the payload has been written.
BOOL RefuseLongPath(const char* resourceName, const char* path)
{
    char text[3 * MAX_PATH];
    FormatText(text, sizeof text, "Unable to install %s: the path\n\n%s\n\nis too long for this setup program!",
               resourceName, path);
    ShowWarning(text, "Path Too Long!");
    return FALSE;
}

BOOL MapPayloadDestination(const char* resourceName, char* destination, BOOL* deferred)
{
    destination[0] = '\0';
    if (IS_INTRESOURCE(resourceName))
        return TRUE;  // a numbered resource is not in the catalogue
    for (const CatalogueEntry& entry : Catalogue) {
        if (entry.resourceName != resourceName)
            continue;
        bool here = Context.Platform == PlatformNt
            ? entry.onNt && Context.OsMajorVersion >= entry.minNtMajorVersion
            : Context.Platform == Platform9x && entry.on9x;
        if (!here)
            continue;
        char composed[2 * MAX_PATH];
        bool whole = FormatText(composed, sizeof composed, "%s%s", Context.*entry.directory,
                                entry.fileName.data());
        if (!whole || lstrlenA(composed) >= MAX_PATH)
            return RefuseLongPath(resourceName, composed);
        lstrcpyA(destination, composed);
        if (entry.deferredOnUpgrade)
            *deferred = Context.Upgrade;
    }
    return TRUE;
}

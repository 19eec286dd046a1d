#include "payload/payload.h"
#include "payload/catalogue.h"
#include "base/file_replacement.h"
#include "base/paths.h"

void RecoverLeftovers(BOOL upgrade)
{
    // Only the names a run writes: beside each catalogue destination and, in
    // the temporary folder, the compressed copies and the files Windows 95
    // and 98 take from there at the restart. Whatever else lies there is not
    // ours, and nothing in the temporary folder becomes a file of the system.
    // The temporary folder may be writable by others: its names are cleared
    // with DeleteFileA alone, which removes a link and never changes what it
    // points at.
    for (const CatalogueEntry& entry : Catalogue) {
        char destination[MAX_PATH], path[MAX_PATH];
        if (!JoinPath(destination, Context.*entry.directory, entry.fileName.data()))
            continue;
        if (entry.deferredOnUpgrade && upgrade) {
            // A driver in use was never renamed aside: a file aside is the
            // one the restart is to move, cut off while Windows 95 or 98 put
            // a new one in its place. That file stays for the restart.
            SiblingPath(path, destination, Queued);
            RecoverReplaced(path);
            if (Context.Platform == Platform9x && TempPath(path, entry.resourceName.data(), '\0'))
                RecoverReplaced(path);
        } else {
            // Otherwise an expansion beside the destination is partial.
            RecoverStaged(destination, false);
        }
        if (entry.deferredOnUpgrade) {
            SiblingPath(path, destination, Expanding);
            RemoveFile(path);
            if (TempPath(path, entry.resourceName.data(), Expanding))
                DeleteFileA(path);
        }
        if (TempPath(path, entry.resourceName.data(), '$'))
            DeleteFileA(path);
    }
}

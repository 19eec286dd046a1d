// The command tail: what follows the program's own name on its command line.
#include "base/command_line.h"
#include "base/paths.h"

namespace {

// The length of the program's own path at the start of an unquoted command
// line, or 0. The path may hold blanks, so the text before each blank is
// tried in turn. It names the program when it is the path the program was
// loaded by or has the same short form: the platform may report the path in
// one form while the program was started by the other.
int ProgramPathLength(const char* line)
{
    char program[MAX_PATH];
    char programShort[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 0;
    n = GetShortPathNameA(program, programShort, MAX_PATH);
    bool haveShort = n > 0 && n < MAX_PATH;
    char candidate[MAX_PATH];
    char candidateShort[MAX_PATH];
    // Blanks are single bytes that no double-byte character holds.
    for (int length = 0; length < MAX_PATH; ++length) {
        char c = line[length];
        if (c == '\0' || c == ' ' || c == '\t') {
            candidate[length] = '\0';
            if (SamePath(candidate, program))
                return length;
            n = haveShort ? GetShortPathNameA(candidate, candidateShort, MAX_PATH) : 0;
            if (n > 0 && n < MAX_PATH && SamePath(candidateShort, programShort))
                return length;
            if (c == '\0')
                break;
        }
        candidate[length] = c;
    }
    return 0;
}

} // namespace

const char* SkipProgramName(const char* commandLine)
{
    int length = *commandLine == '"' ? 0 : ProgramPathLength(commandLine);
    // Otherwise the name ends at its closing quote or at the first blank.
    const char* tail = commandLine + length;
    if (length == 0 && *tail == '"') {
        ++tail;
        while (*tail && *tail != '"')
            ++tail;
        if (*tail == '"')
            ++tail;
    } else if (length == 0) {
        while (static_cast<unsigned char>(*tail) > ' ')
            ++tail;
    }
    while (*tail == ' ' || *tail == '\t')
        ++tail;
    return tail;
}

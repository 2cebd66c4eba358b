// kvel-cli's two ways of speaking: results on stdout, failures with their reason on stderr.
#pragma once

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kvel::cli {

// `text` as a terminal may show it: text from files, the line and the command line could
// otherwise retitle, recolour or clear the terminal. Every control character (C0 but the
// newlines the program writes itself, DEL, C1, so ESC too) is shown as "\u001b", a byte that is
// no UTF-8 as "\xff"; Cyrillic and every other character stay as they are. The escapes are
// JSON's own, so JSON output stays JSON.
std::string TerminalSafe(const std::string& text);

// A note beside the results: a warning, or one of several failures before the exit.
inline void Tell(const std::string& what) {
    std::fprintf(stderr, "kvel-cli: %s\n", TerminalSafe(what).c_str());
}

inline int Fail(int code, const std::string& what) {
    Tell(what);
    return code;
}

inline void Print(const std::string& text) {
    std::fputs(TerminalSafe(text).c_str(), stdout);
    if (!text.empty() && text.back() != '\n') std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Progress that redraws itself in place is for a person's terminal; a file or a pipe gets whole
// lines.
inline bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

} // namespace kvel::cli

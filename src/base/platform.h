// What the program asks of the operating system beyond files: where it lives, where
// a user's settings go, how a typed path separates its folders, whether stderr is a
// terminal, and its arguments as UTF-8 with wildcards expanded where no shell does.
// One implementation per platform: platform_posix.cpp, platform_win.cpp.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace varnolt {

// The folder of the running executable; empty when it cannot be told.
std::filesystem::path ExecutableDirectory();

// True when a new file can be created in `dir` (tried, not guessed from attributes:
// Windows' Program Files is read-only by its access rules alone).
bool DirectoryWritable(const std::filesystem::path& dir);

// The user's own folder for this program's settings: $XDG_CONFIG_HOME/varnolt
// (default ~/.config/varnolt) on Linux, %APPDATA%\Varnolt on Windows.
std::filesystem::path UserSettingsDirectory();

// True for a character that separates folders in a path typed on this platform:
// "/" everywhere, "\" too on Windows (on Linux it is part of a name).
bool IsPathSeparator(char c);

// True when standard error is a terminal (a console on Windows), for progress bars.
bool StderrIsTerminal();

// Readies the process for the command line: on Windows the console shows UTF-8 and
// standard output and error carry the bytes as written (no CR inserted); on Linux a
// file-size limit fails a write (reported) instead of killing the program.
void PrepareCommandLineProcess();

// The command line's arguments in UTF-8, the program first. On Windows they are
// taken from the UTF-16 command line, not from `argv` in the ANSI code page.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// One argument with its wildcards expanded where the shell leaves them: on Windows a
// name holding "*" or "?" in its last part gives the files and folders it matches as
// cmd's dir lists them (any letter case, hidden and system ones left out), in name
// order, each behind the argument's own folder part ("out\*.dxf" gives
// "out\a.dxf"); nothing when none matches. Any other argument, and every argument on
// Linux, whose shell has expanded them, comes back as it is.
std::vector<std::string> ExpandWildcards(const std::string& argument);

}  // namespace varnolt

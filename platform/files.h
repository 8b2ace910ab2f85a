// Opening the program's files by the names the game writes ("GFX\Tile1.png"):
// backslashes become slashes, and a file that is read is looked for in the
// working directory first, then in the build tree's assets (for a program in
// its build tree) and in the installed data folder next to the program's own
// (<program folder>/../share/games/shooter), so the game also starts from a
// desktop menu. SHOOTER_DATA, when set, is the only folder searched.
#pragma once
#include <cstdio>
#include <string>

// Like fopen; null when the file is found nowhere (or cannot be created).
// Files opened for writing are created relative to the working directory.
std::FILE* plat_fopen(const char* name, const char* mode);
// The path plat_fopen would read, or an empty string when there is none.
std::string plat_find_file(const char* name);
// The folder that holds the running program, without a trailing slash.
std::string plat_executable_dir();
// Why plat_fopen could not read name, in words for a message: "not found
// (looked in ...)" with the folders searched, or the file found and the
// system's reason (open_errno, errno right after the failed open).
std::string plat_open_problem(const char* name, int open_errno);

// Test stand-in for a failing disk: once installed, every read of a file
// whose path ends with `name` breaks off after `offset` bytes (files_fault.cpp).
enum class PlatFileFault { None, Fails, EndsEarly };
void plat_files_inject_fault(const char* name, long offset, PlatFileFault kind);
// Opens a file plat_fopen found, through the injected fault where it applies.
std::FILE* plat_files_open_found(const std::string& path, const char* mode);

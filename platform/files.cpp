// File look-up for the program's assets: path separators, the search
// folders, and names whose letter case differs from the files on disk.
#include "platform/files.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

// Where the build tree and its source's assets are; a program that runs
// from inside that build tree reads the assets from there.
#ifndef SHOOTER_BUILD_DIR
#define SHOOTER_BUILD_DIR ""
#endif
#ifndef SHOOTER_ASSETS_DIR
#define SHOOTER_ASSETS_DIR ""
#endif

namespace {

std::string normalise(const char* name) {
  std::string path(name);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool is_file(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The entry of dir whose name equals part ignoring case, or empty.
std::string match_entry(const std::string& dir, std::string_view part) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return {};
  std::string found;
  const std::string wanted(part);
  while (dirent* entry = readdir(d)) {
    if (strcasecmp(entry->d_name, wanted.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}

// Walks a relative path one component at a time, allowing any letter case
// (the names come from a system whose file names ignore case).
std::string find_ignoring_case(const std::string& base, const std::string& relative) {
  std::string dir = base;
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    std::string_view part(relative.data() + start, end - start);
    if (!part.empty() && part != ".") {
      const std::string entry = match_entry(dir, part);
      if (entry.empty()) return {};
      dir = join(dir, entry);
    }
    start = end + 1;
  }
  return is_file(dir) ? dir : std::string{};
}

std::string find_in(const std::string& base, const std::string& relative) {
  const std::string exact = join(base, relative);
  if (is_file(exact)) return exact;
  return find_ignoring_case(base, relative);
}

bool inside(const std::string& path, const std::string& dir) {
  return !dir.empty() && path.compare(0, dir.size(), dir) == 0 &&
         (path.size() == dir.size() || path[dir.size()] == '/');
}

// SHOOTER_DATA alone when set; else the working directory, the build tree's
// assets for a program in its build tree, and the installed data found from
// the program's own folder, so that any prefix or a moved tree works.
std::vector<std::string> search_folders() {
  const char* data = std::getenv("SHOOTER_DATA");
  if (data && *data) return {data};
  const std::string exe = plat_executable_dir();
  std::vector<std::string> bases = {""};
  if (inside(exe, SHOOTER_BUILD_DIR)) bases.push_back(SHOOTER_ASSETS_DIR);
  bases.push_back(exe + "/../share/games/shooter");
  return bases;
}

bool is_read_only(const char* mode) {
  return mode[0] == 'r' && std::strchr(mode, '+') == nullptr;
}

}  // namespace

std::string plat_executable_dir() {
  std::array<char, 4096> buffer{};
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return ".";
  std::string path(buffer.data(), static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string plat_find_file(const char* name) {
  if (!name || !*name) return {};
  const std::string path = normalise(name);
  if (path[0] == '/') return is_file(path) ? path : find_ignoring_case("/", path.substr(1));
  for (const auto& base : search_folders()) {
    std::string found = find_in(base, path);
    if (!found.empty()) return found;
  }
  return {};
}

std::FILE* plat_fopen(const char* name, const char* mode) {
  if (!name || !*name || !mode || !*mode) return nullptr;
  if (!is_read_only(mode)) return std::fopen(normalise(name).c_str(), mode);
  const std::string found = plat_find_file(name);
  return found.empty() ? nullptr : plat_files_open_found(found, mode);
}

std::string plat_open_problem(const char* name, int open_errno) {
  if (!name || !*name) return "no file name";
  const std::string found = plat_find_file(name);
  if (!found.empty()) return found + ": " + std::strerror(open_errno);
  std::string where;
  if (normalise(name)[0] == '/') return "not found";
  for (const auto& base : search_folders()) {
    if (!where.empty()) where += ", ";
    if (base.empty()) {
      std::array<char, 4096> cwd{};
      where += getcwd(cwd.data(), cwd.size()) ? cwd.data() : ".";
    } else {
      where += base;
    }
  }
  return "not found (looked in " + where + ")";
}

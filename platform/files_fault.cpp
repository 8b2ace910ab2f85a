// A stand-in for a failing disk: reads of one file break off at a chosen
// byte offset, with an I/O error or as if the file ended there, while its
// size and seeks stay those of the real file. Tests use it to prove that
// every reader copes with a read cut short anywhere.
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/files.h"

namespace {
struct Fault {
  std::string name;  // the end of the path the fault applies to
  long offset = 0;
  PlatFileFault kind = PlatFileFault::None;
};
Fault g_fault;

struct FaultyFile {
  std::FILE* real;
  long position;
  Fault fault;
};

ssize_t faulty_read(void* cookie, char* buffer, std::size_t bytes) {
  auto* f = static_cast<FaultyFile*>(cookie);
  if (f->position >= f->fault.offset) {
    if (f->fault.kind == PlatFileFault::EndsEarly) return 0;
    errno = EIO;
    return -1;
  }
  const auto room = static_cast<std::size_t>(f->fault.offset - f->position);
  const std::size_t got = std::fread(buffer, 1, bytes < room ? bytes : room, f->real);
  f->position += static_cast<long>(got);
  return static_cast<ssize_t>(got);
}

int faulty_seek(void* cookie, off64_t* offset, int whence) {
  auto* f = static_cast<FaultyFile*>(cookie);
  if (std::fseek(f->real, static_cast<long>(*offset), whence) != 0) return -1;
  f->position = std::ftell(f->real);
  *offset = f->position;
  return 0;
}

int faulty_close(void* cookie) {
  auto* f = static_cast<FaultyFile*>(cookie);
  const int rc = std::fclose(f->real);
  delete f;
  return rc;
}

bool applies(const std::string& path) {
  const std::string& name = g_fault.name;
  return g_fault.kind != PlatFileFault::None && path.size() >= name.size() &&
         path.compare(path.size() - name.size(), name.size(), name) == 0;
}
}  // namespace

void plat_files_inject_fault(const char* name, long offset, PlatFileFault kind) {
  g_fault = Fault{name ? name : "", offset, name ? kind : PlatFileFault::None};
}

std::FILE* plat_files_open_found(const std::string& path, const char* mode) {
  std::FILE* real = std::fopen(path.c_str(), mode);
  if (!real || !applies(path)) return real;
  auto* f = new FaultyFile{real, 0, g_fault};
  std::FILE* wrapped = fopencookie(f, mode, {faulty_read, nullptr, faulty_seek, faulty_close});
  if (!wrapped) faulty_close(f);
  return wrapped;
}

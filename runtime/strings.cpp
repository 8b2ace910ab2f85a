// Strings in the string heap and the temporary buffer in which string
// expressions are built. Texts in the buffer are named by positions, because
// the buffer moves when it grows.
#include "runtime/strings.h"

#include <cstring>
#include <vector>

#include "runtime/heap.h"

namespace {
constexpr std::int32_t kFirstCapacity = 16;
constexpr std::int32_t kGrowth = 16384;
constexpr std::int32_t kSpare = 5;  // every block carries a zero and spare bytes

RtHeap* g_heap = nullptr;
char* g_base = nullptr;
std::int32_t g_position = 0;
std::int32_t g_capacity = 0;

// A second init replaces the heap; blocks of the old one stay valid until
// the process ends.
std::vector<RtHeap*>& retired_heaps() {
  static auto* heaps = new std::vector<RtHeap*>;  // never destroyed: outlives exit handlers
  return *heaps;
}

void ensure_started() {
  if (!g_base) rt_strings_init();
}

std::int32_t length_of(const char* text) {
  return text ? static_cast<std::int32_t>(std::strlen(text)) : 0;
}

// Writes the digits of v, most significant first; returns the count.
template <typename U>
int write_digits(char* out, U v) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  for (int k = 0; k < n; ++k) out[k] = digits[n - 1 - k];
  return n;
}
}  // namespace

void rt_strings_init() {
  if (g_heap) retired_heaps().push_back(g_heap);
  g_heap = rt_heap_create();
  g_base = static_cast<char*>(rt_heap_alloc(g_heap, kFirstCapacity));
  g_capacity = kFirstCapacity;
  g_position = 0;
}

char* rt_str_reserve(std::int32_t length, std::int32_t position) {
  ensure_started();
  if (length < 0) length = 0;
  if (position < 0) position = 0;
  // The growth test uses the further of the two ends, so that a position
  // beyond the text in use still lands inside the buffer.
  std::int64_t end = (position > g_position ? position : g_position) + std::int64_t{length};
  if (end >= g_capacity - 4) {
    std::int64_t capacity = end + kGrowth;
    if (capacity > INT32_MAX - kSpare) return nullptr;
    auto* base = static_cast<char*>(
        rt_heap_realloc(g_heap, g_base, static_cast<std::size_t>(capacity + kSpare)));
    if (!base) return nullptr;
    g_base = base;
    g_capacity = static_cast<std::int32_t>(capacity);
  }
  g_position = position + length;
  return g_base + position;
}

std::int32_t rt_str_unreserve(std::int32_t n) {
  g_position -= n;
  if (g_position < 0) g_position = 0;
  return g_position;
}

void rt_str_append(const char* text) {
  ensure_started();
  if (!text) {
    g_base[g_position] = 0;
    return;
  }
  std::int32_t length = length_of(text);
  // The text may lie in the buffer itself: keep its offset across growth.
  std::intptr_t offset = rt_str_temp_offset(text);
  char* out = rt_str_reserve(length, g_position);
  if (!out) return;
  if (offset) text = rt_str_temp_ptr(offset);
  std::memmove(out, text, static_cast<std::size_t>(length));
  out[length] = 0;
}

void rt_str_from_long(std::int32_t position, std::int32_t value) {
  char* out = rt_str_reserve(32, position);
  if (!out) return;
  int n = 0;
  if (value < 0) {
    out[n++] = '-';
    // The magnitude in unsigned arithmetic also covers -2147483648.
    n += write_digits(out + n, 0u - static_cast<std::uint32_t>(value));
  } else {
    n += write_digits(out + n, static_cast<std::uint32_t>(value));
  }
  rt_str_unreserve(32 - n);
  out[n] = 0;
}

void rt_str_from_quad(std::int64_t value, std::int32_t position) {
  if (value >= INT32_MIN && value <= INT32_MAX) {
    rt_str_from_long(position, static_cast<std::int32_t>(value));
    return;
  }
  char* out = rt_str_reserve(64, position);
  if (!out) return;
  int n = 0;
  auto magnitude = static_cast<std::uint64_t>(value);
  if (value < 0) {
    out[n++] = '-';
    magnitude = 0ull - magnitude;
  }
  n += write_digits(out + n, magnitude);
  rt_str_unreserve(64 - n);
  out[n] = 0;
}

std::int32_t rt_str_assign(char** variable, std::int32_t start) {
  ensure_started();
  if (start < 0) start = 0;
  std::int32_t n = g_position - start;
  if (n < 0) n = 0;
  auto bytes = static_cast<std::size_t>(n) + kSpare;
  char* block = *variable ? static_cast<char*>(rt_heap_realloc(g_heap, *variable, bytes, false))
                          : static_cast<char*>(rt_heap_alloc(g_heap, bytes, false));
  if (block) {
    std::memcpy(block, g_base + start, static_cast<std::size_t>(n));
    block[n] = 0;
    *variable = block;
  }
  g_position = start;
  return start;
}

void rt_str_free(char* text) {
  if (text) rt_heap_free(g_heap, text);
}

int rt_str_equal(const char* a, const char* b) {
  if (!a) a = "";
  if (!b) b = "";
  return std::strcmp(a, b) == 0 ? 1 : 0;
}

std::int32_t rt_str_len(const char* text) {
  return length_of(text);
}

std::int32_t rt_str_asc(const char* text) {
  return text ? static_cast<std::int32_t>(static_cast<unsigned char>(text[0])) : 0;
}

char* rt_str_file_part(const char* path, std::int32_t position) {
  std::int32_t begin = 0;
  std::int32_t end = 0;
  if (path) {
    std::int32_t length = length_of(path);
    if (path[0] == '"') begin = 1;
    for (std::int32_t k = 0; k < length; ++k)
      if (path[k] == '/' || path[k] == '\\') begin = k + 1 > begin ? k + 1 : begin;
    end = begin;
    while (end < length && path[end] != '"') ++end;
  }
  std::intptr_t offset = rt_str_temp_offset(path);
  char* out = rt_str_reserve(end - begin, position);
  if (!out) return nullptr;
  if (offset) path = rt_str_temp_ptr(offset);
  if (end > begin) std::memmove(out, path + begin, static_cast<std::size_t>(end - begin));
  out[end - begin] = 0;
  return out;
}

std::int32_t rt_str_copy_z(char* destination, const char* text) {
  std::int32_t length = length_of(text);
  if (!destination) return length;
  if (length) std::memmove(destination, text, static_cast<std::size_t>(length));
  destination[length] = 0;
  return length;
}

void rt_str_duplicate(char** variable, const char* text) {
  if (!text) return;
  ensure_started();
  std::int32_t length = length_of(text);
  auto* block =
      static_cast<char*>(rt_heap_alloc(g_heap, static_cast<std::size_t>(length) + kSpare, false));
  if (!block) return;
  std::memcpy(block, text, static_cast<std::size_t>(length) + 1);
  *variable = block;
}

std::int32_t rt_str_set(char** variable, const char* text) {
  if (!text) {
    rt_str_free(*variable);
    *variable = nullptr;
    return 1;
  }
  ensure_started();
  std::int32_t length = length_of(text);
  // A text taken from the variable's own block is moved to its start
  // before the block shrinks or moves.
  char* old = *variable;
  bool inside = old && text >= old && text <= old + std::strlen(old);
  if (inside) std::memmove(old, text, static_cast<std::size_t>(length) + 1);
  auto bytes = static_cast<std::size_t>(length) + kSpare;
  char* block = old ? static_cast<char*>(rt_heap_realloc(g_heap, old, bytes, false))
                    : static_cast<char*>(rt_heap_alloc(g_heap, bytes, false));
  if (!block) return 0;
  if (!inside) std::memcpy(block, text, static_cast<std::size_t>(length));
  block[length] = 0;
  *variable = block;
  return length + 1;
}

std::intptr_t rt_str_temp_offset(const char* pointer) {
  if (!pointer || !g_base || pointer < g_base || pointer > g_base + g_position) return 0;
  return 1 + (pointer - g_base);
}

char* rt_str_temp_ptr(std::intptr_t offset) {
  return offset > 0 && g_base ? g_base + offset - 1 : nullptr;
}

char* rt_str_base() {
  ensure_started();
  return g_base;
}
std::int32_t rt_str_position() {
  return g_position;
}
void rt_str_set_position(std::int32_t position) {
  ensure_started();
  if (position >= 0 && position <= g_capacity) g_position = position;
}
std::int32_t rt_str_capacity() {
  return g_capacity;
}
std::size_t rt_str_heap_blocks() {
  return rt_heap_block_count(g_heap);
}

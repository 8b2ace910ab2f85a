// Strings in the string heap and the process-wide temporary buffer in which
// string expressions are built (positions, not pointers, name texts there).
#pragma once
#include <cstddef>
#include <cstdint>

void rt_strings_init();
char* rt_str_reserve(std::int32_t length, std::int32_t position);
std::int32_t rt_str_unreserve(std::int32_t n);
void rt_str_append(const char* text);
void rt_str_from_long(std::int32_t position, std::int32_t value);
void rt_str_from_quad(std::int64_t value, std::int32_t position);
std::int32_t rt_str_assign(char** variable, std::int32_t start);
void rt_str_free(char* text);
int rt_str_equal(const char* a, const char* b);
std::int32_t rt_str_len(const char* text);
std::int32_t rt_str_asc(const char* text);
char* rt_str_file_part(const char* path, std::int32_t position);
std::int32_t rt_str_copy_z(char* destination, const char* text);
void rt_str_duplicate(char** variable, const char* text);
std::int32_t rt_str_set(char** variable, const char* text);
std::intptr_t rt_str_temp_offset(const char* pointer);
char* rt_str_temp_ptr(std::intptr_t offset);

// The temporary buffer: base, position in use, capacity.
char* rt_str_base();
std::int32_t rt_str_position();
void rt_str_set_position(std::int32_t position);
std::int32_t rt_str_capacity();
// Blocks in use in the current string heap, the temporary buffer included.
std::size_t rt_str_heap_blocks();

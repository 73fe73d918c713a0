// Writing bytes to an open file or pipe until all are written.
#pragma once

#include <string_view>

// Writes every byte of `bytes` to `descriptor`, going on after a signal or a
// short write; false when the system refuses (errno tells why) or writes
// nothing (a full disk).
bool write_all(int descriptor, std::string_view bytes) noexcept;

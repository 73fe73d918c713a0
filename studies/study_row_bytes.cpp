#include "studies/study_row_bytes.h"

#include <cstdint>
#include <cstring>

namespace {

template <typename T>
void put(std::string& out, T value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
bool take(std::string_view& in, T& value) {
  if (in.size() < sizeof value) return false;
  std::memcpy(&value, in.data(), sizeof value);
  in.remove_prefix(sizeof value);
  return true;
}

}  // namespace

std::string encode_study_row(const StudyRow& row) {
  std::string bytes;
  put<uint64_t>(bytes, row.run);
  put<uint32_t>(bytes, static_cast<uint32_t>(row.figures.size()));
  for (double value : row.figures) put(bytes, value);
  put(bytes, row.ms);
  put<uint32_t>(bytes, static_cast<uint32_t>(row.status.size()));
  bytes += row.status;
  return bytes;
}

std::optional<StudyRow> decode_study_row(std::string_view bytes) {
  StudyRow row;
  uint64_t run = 0;
  uint32_t figures = 0, length = 0;
  if (!take(bytes, run) || !take(bytes, figures) || figures > bytes.size() / sizeof(double))
    return std::nullopt;
  row.run = static_cast<std::size_t>(run);
  row.figures.resize(figures);
  for (double& value : row.figures) take(bytes, value);
  if (!take(bytes, row.ms) || !take(bytes, length) || length != bytes.size()) return std::nullopt;
  row.status.assign(bytes);
  return row;
}

// The parameter file's reader and writer on an arbitrary file and section.
// Input: the section name up to the first line feed, then the file's bytes
// (no line feed: the whole input is the file, section "ScanParameter").
// Properties: scn_LoadPar on the file reads what load_scan_par reads from the
// same text in memory; a loaded record holds only finite numbers; a record
// saved into the text under a writable section loads back as the texts it
// was saved as; saving into one section leaves what another section reads
// unchanged; and scn_SavePar leaves in the file the text save_scan_par makes
// in memory.
//
// The reading and saving are tried on the text in memory, where the parser
// and the line editing are the same code as on files: scn_SavePar replaces
// the file once per key, ten file replacements that held the target to a few
// hundred inputs a second. The file functions themselves, thin wrappers that
// read or replace the whole file, run on the short inputs.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_work_dir.h"
#include "scan/default_par.h"
#include "scan/include/scan.h"

namespace {

constexpr char kDefaultSection[] = "ScanParameter";
constexpr ScnPar kDefaults = kDefaultScnPar;
// The reader keeps at most this many characters of a value.
constexpr std::size_t kMaxValueChars = 255;
// Inputs up to this size go through the file functions as well.
constexpr std::size_t kMaxFileBytes = 64;

double ScnPar::*const kRealFields[] = {&ScnPar::LambdaF,    &ScnPar::CamResX,  &ScnPar::CamResY,
                                       &ScnPar::Alpha,      &ScnPar::MaskRadius, &ScnPar::MaskXOfs,
                                       &ScnPar::MaskYOfs,   &ScnPar::DepthLimit};

void check_finite(const ScnPar& par) {
  for (double ScnPar::*field : kRealFields)
    if (!std::isfinite(par.*field)) fuzz_fail("a loaded parameter is not finite");
}

bool same_record(const ScnPar& a, const ScnPar& b) {
  if (a.NFilt != b.NFilt || a.FlawThr != b.FlawThr) return false;
  for (double ScnPar::*field : kRealFields)
    if (a.*field != b.*field) return false;
  return true;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool same_section(std::string_view a, std::string_view b) {
  a = trimmed(a);
  b = trimmed(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Sections the writer refuses: empty, or with a character that would break
// the section line.
bool writable_section(std::string_view section) {
  section = trimmed(section);
  return !section.empty() && section.find_first_of("\r\n]") == std::string_view::npos;
}

// The record as it reads back after saving: integers unchanged, doubles as
// "%lf" writes them (six decimals). The `fits` flags mark values whose text
// the reader keeps whole.
ScnPar as_saved(const ScnPar& par, bool fits[8]) {
  ScnPar saved = par;
  for (int i = 0; i < 8; ++i) {
    char text[400];
    const int length = std::snprintf(text, sizeof text, "%lf", par.*kRealFields[i]);
    fits[i] = length > 0 && static_cast<std::size_t>(length) <= kMaxValueChars;
    saved.*kRealFields[i] = fits[i] ? std::strtod(text, nullptr) : 0.0;
  }
  return saved;
}

ScnPar loaded_from(const std::string& text, const char* section) {
  ScnPar par = kDefaults;
  load_scan_par(&par, ProfileFileText::of_text(text), section);
  check_finite(par);
  return par;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t line_end = input.find('\n');
  // A section name is a C string: it ends at the first NUL byte.
  const std::string section = line_end == std::string::npos
                                  ? std::string(kDefaultSection)
                                  : std::string(input.substr(0, line_end).c_str());
  const std::string text = line_end == std::string::npos ? input : input.substr(line_end + 1);

  const ScnPar loaded = loaded_from(text, section.c_str());
  const ScnPar other = loaded_from(text, kDefaultSection);

  // Save the loaded record back into the same text and section.
  std::string saved = text;
  save_scan_par(&loaded, saved, section.c_str());
  if (writable_section(section)) {
    bool fits[8];
    const ScnPar expected = as_saved(loaded, fits);
    const ScnPar reread = loaded_from(saved, section.c_str());
    if (reread.NFilt != expected.NFilt || reread.FlawThr != expected.FlawThr)
      fuzz_fail("a saved integer parameter reads back changed");
    for (int i = 0; i < 8; ++i) {
      if (fits[i] && reread.*kRealFields[i] != expected.*kRealFields[i])
        fuzz_fail("a saved parameter reads back changed");
    }
  } else if (saved != text) {
    fuzz_fail("saving under a section that cannot be written changed the text");
  }
  if (!same_section(section, kDefaultSection) && !same_record(other, loaded_from(saved, kDefaultSection)))
    fuzz_fail("saving changed another section");

  if (size <= kMaxFileBytes) {
    const std::string file = fuzz_work_file("scnmod.ini");
    write_work_file(file, text);
    ScnPar from_file = kDefaults;
    scn_LoadPar(&from_file, file.c_str(), section.c_str());
    if (!same_record(loaded, from_file)) fuzz_fail("the file and its text in memory load differently");
    scn_SavePar(&loaded, file.c_str(), section.c_str());
    if (read_work_file(file) != saved) fuzz_fail("scn_SavePar wrote another text than save_scan_par");
    clear_work_dir();
  }
  return 0;
}

// The ten scan parameters in their INI file: one key per field, named like
// the field, in the order of ScnPar.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "c_boundary.h"
#include "classic_numbers.h"
#include "default_par.h"
#include "private_profile.h"
#include "scan.h"

namespace {

// One key: either an integer or a double field, with its default text.
struct ParKey {
  const char* name;
  const char* default_text;
  int32_t ScnPar::*integer;  // null for a double field
  double ScnPar::*real;      // null for an integer field
};

constexpr ParKey kParKeys[] = {
    {"NFilt", "2", &ScnPar::NFilt, nullptr},
    {"FlawThr", "16", &ScnPar::FlawThr, nullptr},
    {"LambdaF", "10.0", nullptr, &ScnPar::LambdaF},
    {"CamResX", "0.01", nullptr, &ScnPar::CamResX},
    {"CamResY", "0.01", nullptr, &ScnPar::CamResY},
    {"Alpha", "30.0", nullptr, &ScnPar::Alpha},
    {"MaskRadius", "3.5", nullptr, &ScnPar::MaskRadius},
    {"MaskXOfs", "0.0", nullptr, &ScnPar::MaskXOfs},
    {"MaskYOfs", "0.0", nullptr, &ScnPar::MaskYOfs},
    {"DepthLimit", "-10.0", nullptr, &ScnPar::DepthLimit},
};

// The formatted scan skips leading white space, reads an optional sign and
// the longest number and ignores the rest ("12.5 mm" is 12.5, "2.7" as an
// integer is 2). Text without a number leaves the field as it was. So does a
// number the field cannot hold: an integer outside 32 bits (the C library
// saturates "%ld" at the long range, which lies outside it as well) or a
// double that is not finite ("1e999", "inf", "nan").
void load_field(ScnPar* par, const ParKey& key, const std::string& text) {
  if (key.integer != nullptr) {
    long value = 0;
    if (std::sscanf(text.c_str(), "%ld", &value) != 1) return;
    if (value < INT32_MIN || value > INT32_MAX) return;
    par->*key.integer = static_cast<int32_t>(value);
  } else {
    double value = 0.0;
    if (std::sscanf(text.c_str(), "%lf", &value) != 1) return;
    if (!std::isfinite(value)) return;
    par->*key.real = value;
  }
}

// "%ld" for integers; "%lf" (six decimals: 10 gives "10.000000") for doubles.
// The text is sized to the number, so even 1e300 is written in full.
std::string field_text(const ScnPar* par, const ParKey& key) {
  char buffer[256];
  int length = 0;
  if (key.integer != nullptr) {
    length = std::snprintf(buffer, sizeof buffer, "%ld", static_cast<long>(par->*key.integer));
  } else {
    length = std::snprintf(buffer, sizeof buffer, "%lf", par->*key.real);
    if (length >= static_cast<int>(sizeof buffer)) {
      std::string text(static_cast<std::size_t>(length) + 1, '\0');
      std::snprintf(text.data(), text.size(), "%lf", par->*key.real);
      text.resize(static_cast<std::size_t>(length));
      return text;
    }
  }
  return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}

}  // namespace

// Keys absent from the file, and a missing file, give the default texts.
// A null record, file or section does nothing, and so does a load that
// fails part of the way (out of memory): the record is all read or as it was.
void scn_LoadPar(ScnPar* par, const char* iniFile, const char* section) noexcept {
  if (par == nullptr || iniFile == nullptr) return;
  at_c_boundary([par, iniFile, section] {
    ScnPar loaded = *par;
    load_scan_par(&loaded, ProfileFileText(iniFile), section);
    *par = loaded;
  });
}

void load_scan_par(ScnPar* par, const ProfileFileText& file, const char* section) {
  if (par == nullptr || section == nullptr) return;
  const ClassicNumbers points;
  for (const ParKey& key : kParKeys) load_field(par, key, file.value(section, key.name, key.default_text));
}

// Creates the file and the section as needed and replaces or adds the ten
// keys; other sections and keys stay as they were. A failed write is ignored,
// and one that fails part of the way (out of memory) stops there: each key
// written before it is in place, the file whole at every step.
void scn_SavePar(const ScnPar* par, const char* iniFile, const char* section) noexcept {
  if (par == nullptr || iniFile == nullptr || section == nullptr) return;
  at_c_boundary([par, iniFile, section] {
    const ClassicNumbers points;
    for (const ParKey& key : kParKeys)
      profile_write(iniFile, section, key.name, field_text(par, key).c_str());
  });
}

void save_scan_par(const ScnPar* par, std::string& text, const char* section) {
  if (par == nullptr || section == nullptr) return;
  const ClassicNumbers points;
  for (const ParKey& key : kParKeys) {
    std::optional<std::string> written = profile_text_with(text, section, key.name, field_text(par, key).c_str());
    if (written) text = std::move(*written);
  }
}

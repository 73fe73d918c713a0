// The C API under memory that runs out at every allocation in turn: nothing
// unwinds into a C caller, no stream stays open, and a parameter record is
// loaded whole or not at all.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>

#include "failing_allocation.h"
#include "fringe_image.h"
#include "scan.h"
#include "scan/default_par.h"
#include "temp_dir.h"

namespace {

static_assert(noexcept(scn_Init()) && noexcept(scn_Exit(nullptr)) &&
              noexcept(scn_LoadPar(nullptr, nullptr, nullptr)) && noexcept(scn_SavePar(nullptr, nullptr, nullptr)) &&
              noexcept(scn_SetPar(nullptr, nullptr)) && noexcept(scn_GetPar(nullptr, nullptr)) &&
              noexcept(scn_LoadImage(nullptr, nullptr)) && noexcept(scn_ImageProcessing(nullptr)) &&
              noexcept(scn_SetReference(nullptr)) && noexcept(scn_ProfileCalculation(nullptr, 0)) &&
              noexcept(scn_SaveProfile(nullptr, nullptr)) && noexcept(scn_GetImageSize(nullptr, nullptr, nullptr)) &&
              noexcept(scn_ReadImageLine(nullptr, 0, 0, nullptr)),
              "a C caller cannot take an exception: every scn_ function is noexcept");

std::size_t open_descriptors() {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

bool same_par(const ScnPar& a, const ScnPar& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class CBoundary : public ::testing::Test {
 protected:
  void TearDown() override { scn_Exit(scn_Init()); }
  TempDir dir_;
};

// Runs `call` with the first, second, ... allocation failing until it needs
// fewer than that; `check` after each run, with whether one failed.
void under_every_failure(const char* name, const std::function<void()>& call,
                         const std::function<void(bool failed)>& check) {
  const std::size_t descriptors = open_descriptors();
  for (long allowed = 0;; ++allowed) {
    ASSERT_LT(allowed, 100000) << name;
    bool failed = false;
    {
      FailingAllocation failing(allowed);
      call();
      failed = FailingAllocation::failed();
    }
    ASSERT_EQ(open_descriptors(), descriptors) << name << ": a stream left open with allocation " << allowed
                                               << " failing";
    check(failed);
    if (!failed) break;
  }
}

TEST_F(CBoundary, EveryEntryPointFailsQuietlyWhereverMemoryRunsOut) {
  SphereFringes small;
  small.width = 96;
  small.height = 64;
  ASSERT_TRUE(write_sphere_fringes(small, "picture.bmp"));
  const ScnPar given{3, 20, 12.5, 0.02, 0.03, 45.0, 0.5, 0.25, -0.5, -7.0};
  scn_SavePar(&given, "scan.ini", "ScanParameter");

  // A load gives the file's record or leaves the old one, never a mixture.
  const ScnPar before = kDefaultScnPar;
  ScnPar loaded = before;
  under_every_failure(
      "scn_LoadPar", [&] { scn_LoadPar(&loaded, "scan.ini", "ScanParameter"); },
      [&](bool failed) {
        EXPECT_TRUE(same_par(loaded, failed ? before : given) || same_par(loaded, given)) << "scn_LoadPar";
        loaded = before;
      });
  // A save stops between whole files: what is there reads back as a record.
  under_every_failure(
      "scn_SavePar", [&] { scn_SavePar(&given, "saved.ini", "ScanParameter"); },
      [&](bool failed) {
        ScnPar back = kDefaultScnPar;
        scn_LoadPar(&back, "saved.ini", "ScanParameter");
        if (!failed) {
          EXPECT_TRUE(same_par(back, given)) << "scn_SavePar";
        }
        std::filesystem::remove("saved.ini");
      });

  ScnHandle handle = scn_Init();
  ASSERT_NE(handle, nullptr);
  under_every_failure(
      "scn_LoadImage", [&] { (void)scn_LoadImage(handle, "picture.bmp"); }, [](bool) {});
  int32_t width = 0, height = 0;
  scn_GetImageSize(handle, &width, &height);
  ASSERT_EQ(std::make_pair(width, height), std::make_pair(96, 64));
  scn_SetPar(handle, &given);
  under_every_failure("scn_ImageProcessing", [&] { scn_ImageProcessing(handle); }, [](bool) {});
  under_every_failure("scn_ProfileCalculation", [&] { scn_ProfileCalculation(handle, 0); }, [](bool) {});
  scn_SaveProfile(handle, "expected.txt");
  const std::string expected = read_file_bytes("expected.txt");
  ASSERT_EQ(expected.substr(0, 6), "24 16\n");
  under_every_failure(
      "scn_SaveProfile", [&] { scn_SaveProfile(handle, "profile.txt"); },
      [&](bool failed) {
        // Whole or not there: a failed write puts no part of a file in place.
        if (std::filesystem::exists("profile.txt")) {
          EXPECT_EQ(read_file_bytes("profile.txt"), expected);
        } else {
          EXPECT_TRUE(failed);
        }
        std::filesystem::remove("profile.txt");
      });
  under_every_failure("scn_Init", [&] { handle = scn_Init(); }, [&](bool failed) {
    if (!failed) {
      EXPECT_NE(handle, nullptr);
    }
  });
}

}  // namespace

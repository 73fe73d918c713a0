// One pointer move over the channel 0 map with line scans and magnifier on:
// readout, statistics, six labelled scans, the magnifier and the repaint
// requests. Budget: 1 ms per move. The counter median_us_per_move is the
// median of the single moves.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "gui/main_window/unit1.h"
#include "settings/channel_settings.h"

namespace {

constexpr int kMoves = 1000;

// One application object for the whole program, on the offscreen platform.
// It is never destroyed: the process ends with it.
void ensure_application() {
  static int argc = 1;
  static char name[] = "bench_pointer_move";
  static char* argv[] = {name, nullptr};
  static QApplication* application = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    auto* app = new QApplication(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    return app;
  }();
  (void)application;
}

// A working directory with the default settings files, removed afterwards.
class SettingsDirectory {
 public:
  SettingsDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fringe-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
    write_default_settings(".");
  }
  ~SettingsDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  SettingsDirectory(const SettingsDirectory&) = delete;
  SettingsDirectory& operator=(const SettingsDirectory&) = delete;

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

// What is left of a slightly flattened sphere after the perfect one is
// subtracted, with a little ripple: a few microns inside a 3.3 mm mask.
void fill_residual(HeightMatrix& map, double flattening) {
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) {
      const double dx = (x - 128) * 0.04;  // mm, 10.24 mm over 256 cells
      const double dy = (y - 128) * 0.04;
      const double r2 = dx * dx + dy * dy;
      map(x, y) = r2 <= 3.3 * 3.3 ? flattening * r2 * r2 + 0.0003 * std::sin(dx * 7.0) : 0.0;
    }
}

void BM_PointerMoveOverChannelMap(benchmark::State& state) {
  ensure_application();
  SettingsDirectory directory;
  TForm1 form;
  WorkbenchData& d = form.data;
  fill_residual(d.channels[0].height_map, 2e-5);
  fill_residual(d.channels[1].height_map, -1.5e-5);
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) d.difference_map(x, y) = d.channels[0].height_map(x, y) - d.channels[1].height_map(x, y);
  form.show_magnifier->setChecked(true);
  form.show_magnifierClick();
  // Shown, so that update() really queues the repaints.
  form.show();
  QCoreApplication::processEvents();
  const bool paint = state.range(0) != 0;

  // A diagonal sweep over the cells where the magnifier is drawn (31..224).
  std::vector<std::pair<int, int>> path;
  for (int i = 0; i < kMoves; ++i) path.emplace_back(31 + (i * 7) % 194, 31 + (i * 3) % 194);

  std::vector<double> microseconds;
  microseconds.reserve(kMoves);
  for (auto _ : state) {
    for (const auto& [x, y] : path) {
      const auto start = std::chrono::steady_clock::now();
      form.Image_prof_0MouseMove(x, y);
      if (paint) QCoreApplication::processEvents();
      const auto end = std::chrono::steady_clock::now();
      microseconds.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    // Without painting, the queued repaints are done outside the timing.
    state.PauseTiming();
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
  std::nth_element(microseconds.begin(), microseconds.begin() + microseconds.size() / 2, microseconds.end());
  state.counters["median_us_per_move"] = microseconds[microseconds.size() / 2];
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kMoves);
}

}  // namespace

// Argument 0: the handler with its repaint requests (the 1 ms budget).
// Argument 1: each move also painted at once by the offscreen platform.
BENCHMARK(BM_PointerMoveOverChannelMap)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

#include "cli/study_subcommand.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "cli/option_checks.h"
#include "cli/study_mpi.h"

namespace {

StudyStop g_stop;
volatile std::sig_atomic_t g_signal = 0;

extern "C" void on_stop_signal(int signal) {
  g_signal = signal;
  g_stop.request();
}

// SIGINT (Ctrl-C), SIGTERM (kill, a batch system's time limit) and SIGHUP
// stop the study: no run starts any more, the runs going end unreported, and
// the journal keeps every finished run.
void catch_stop_signals() {
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

// The progress line on stderr: rewritten in place on a terminal (at most
// ten times a second), a line every ten seconds into a file or pipe.
class StderrProgress final : public StudyObserver {
 public:
  StderrProgress() : terminal_(::isatty(STDERR_FILENO) == 1) {}
  ~StderrProgress() override { end_line(); }
  void status(const std::string& text) override { text_ = text; }
  void progress(int position) override {
    const auto now = std::chrono::steady_clock::now();
    const auto interval = terminal_ ? std::chrono::milliseconds(100) : std::chrono::seconds(10);
    if (printed_ && position < 100 && now - last_ < interval) return;
    last_ = now;
    if (terminal_) {
      const std::size_t width = std::max(text_.size(), shown_);
      std::cerr << '\r' << text_ << std::string(width - text_.size(), ' ') << std::flush;
      shown_ = text_.size();
    } else {
      std::cerr << text_ << '\n' << std::flush;
    }
    printed_ = true;
  }
  void end_line() {
    if (terminal_ && printed_) std::cerr << '\n' << std::flush;
    printed_ = false;
  }

 private:
  bool terminal_;
  bool printed_ = false;
  std::size_t shown_ = 0;
  std::string text_;
  std::chrono::steady_clock::time_point last_;
};

const char* const kExample =
    "\nExample:\n"
    "  fringe study --dir W --channel 0 --vary noise=0:1:11 --vary contrast=0.25,0.5,1 \\\n"
    "               --repeats 5 --seed 1 --jobs 2 --csv study.csv --json study.json\n"
    "runs 11 x 3 grid points x 5 repeats = 165 runs of \"apply\" then \"profile\" on the\n"
    "channel's settings; repeat k uses seed 1 + k. Each row of study.csv holds the varied\n"
    "values, repeat, seed, pv_um, rms_um, mean_um (residual to the true sphere inside the\n"
    "mask), coverage (share of mask cells with data), order_errors (mask cells off by half\n"
    "a fringe order or more), ms and status. Rows are kept in study.csv.part as they\n"
    "finish; after Ctrl-C the same command with --resume continues the study. Under\n"
    "mpirun -n K the runs are spread over the K processes.\n"
    "\n"
    "  fringe study --dir W --vary method=quadrature,fourier,phase-shift --vary noise=0:1:6 \\\n"
    "               --steps 8 --csv methods.csv\n"
    "compares the three methods (a line per method in the study window's plot); --method,\n"
    "--steps, --periods, --gamma, --blur, --bits and --ambient set every run's method over\n"
    "the channel's method.ini, and a varied method, steps, gamma, blur, bits or ambient\n"
    "overrides them run by run.\n"
    "\nExit status: 0 when every run measured; 3 when the study finished and wrote its\n"
    "files but some runs failed (the tool says how many; their rows' status says why);\n"
    "1 for bad input (nothing written); 128 + N when signal N stopped it (Ctrl-C: 130).\n";

std::string parameters_help() {
  std::string text = "varied setting NAME=a:b:n (n values from a to b) or NAME=v1,v2,...; "
                     "repeat for a grid (the last varies fastest). NAME: ";
  for (const StudyParameter& p : study_parameters()) {
    text += std::string("\n  ") + p.name + " (" + p.meaning;
    if (!p.names.empty()) text += ": " + parameter_names_words(p);
    if (*p.unit != '\0') text += std::string(", ") + p.unit;
    text += ")";
  }
  return text;
}

}  // namespace

bool started_by_mpirun() {
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"})
    if (std::getenv(name) != nullptr) return true;
  return false;
}

StudySubcommand::StudySubcommand(CLI::App& app) {
  app_ = app.add_subcommand(
      "study", "run \"apply\" then \"profile\" over a grid of settings and measure each run "
               "against the true sphere; writes a CSV table and/or a JSON file");
  StudyOptions& o = options_;
  app_->add_option("--dir", o.dir, "working directory with the settings files")
      ->capture_default_str();
  app_->add_option("--channel", o.channel, "channel whose settings are the base: 0 or 1")
      ->transform(option_domain(domains::channel))->capture_default_str();
  app_->add_option("--vary", o.vary, parameters_help())->required();
  app_->add_option("--repeats", o.repeats, "runs per grid point")
      ->transform(option_domain(domains::repeats))->capture_default_str();
  app_->add_option("--seed", o.seed, "seed of repeat 0; repeat k uses seed + k")
      ->transform(option_domain(domains::seed))->capture_default_str();
  app_->add_option("--jobs", o.jobs, "runs at once (default: every core; under mpirun: 1 per process)")
      ->transform(option_domain(domains::jobs));
  app_->add_option("--csv", o.csv, "CSV table to write, one row per run");
  app_->add_option("--json", o.json, "JSON file to write: settings, per-point summaries, rows");
  app_->add_flag("--resume", o.resume, "continue an interrupted study, keeping its finished rows");
  app_->add_option("--contrast", o.contrast, "base fringe contrast, 0..1")
      ->transform(option_domain(domains::unit))->capture_default_str();
  app_->add_option("--noise", o.noise, "base noise weight, 0..1")
      ->transform(option_domain(domains::unit))->capture_default_str();
  app_->add_option("--max-noise", o.max_noise, "amplitude of the proportional noise, grey levels")
      ->transform(option_domain(domains::max_noise))->capture_default_str();
  add_method_options(app_, o.method, true);
  app_->footer(kExample);
}

int StudySubcommand::run() {
  catch_stop_signals();
  // 128 + the signal, as a shell reports a process the signal ended.
  const auto stopped = [] { return 128 + (g_signal != 0 ? static_cast<int>(g_signal) : SIGINT); };
  StderrProgress progress;
  StudyEnd end;
  if (started_by_mpirun()) {
    std::string error;
    const int status = run_study_over_mpi(options_, progress, g_stop, end, error);
    progress.end_line();
    // Ranks other than 0 have nothing to say.
    if (status == 1) {
      if (!error.empty()) std::cerr << "fringe: " << error << '\n';
      return 1;
    }
  } else {
    const StudySetup setup = prepare_study(options_);
    const StudyOutcome outcome = run_study(*setup.plan, setup.request, progress, g_stop);
    progress.end_line();
    end = study_end(outcome, options_, setup.plan->run_count());
  }
  if (end.status < 0) {
    if (!end.summary.empty()) std::cerr << "fringe: " << end.summary << '\n';
    return stopped();
  }
  if (!end.summary.empty()) std::cout << end.summary << '\n' << std::flush;
  if (!end.failures.empty()) std::cerr << "fringe: " << end.failures << '\n';
  // 0, or kStudyRunsFailed (3): the files are written, yet some runs failed.
  return end.status;
}

#include "runs/study_workers.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "common/errors.h"
#include "common/write_all.h"
#include "runs/study_run.h"

namespace {

constexpr int kPollMs = 50;
constexpr int kMmapThreshold = 32 << 20;  // glibc's largest on 64 bits
constexpr int kTrimThreshold = 512 << 20;
constexpr std::size_t kHeapBlock = std::size_t{30} << 20;
constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
using Clock = std::chrono::steady_clock;
constexpr const char* kWorkerProgram = "fringe-study-worker";
constexpr const char* kOrderFile = "study-run.order";  // in the run's folder

// One worker out: its process, the read end of its pipe, its folder and the
// bytes it has sent so far.
struct Worker {
  pid_t pid = -1;
  int pipe = -1;
  std::size_t run = 0;
  std::string folder;
  std::string bytes;
};

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

// An error text as one CSV-friendly line.
std::string one_line(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text.empty() ? "error" : text;
}

// A run in a fresh process touches some 20 MB it has never used: image
// planes, phase and height grids, each zeroed once. Page by page that is
// some 5000 page faults per run, more than a third of its time on a virtual
// machine. So the worker keeps large buffers in its malloc arena (not mapped
// and unmapped one by one), takes one block of kHeapBlock there, asks for
// transparent huge pages over it and gives it back to the arena: the run's
// buffers then come from 2 MB pages. This works in the main arena (the
// tool) and in a thread's arena (the window forks from its study thread).
// Speed only: where the buffers lie does not change a single result.
void prepare_heap() {
  ::mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
  ::mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
  // Through a volatile pointer: a compiler may drop an unused malloc and its free.
  static void* volatile block = nullptr;
  block = std::malloc(kHeapBlock);  // in the arena: below the mmap threshold
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const auto first = (start + kHugePage - 1) & ~(kHugePage - 1);
  const auto last = (start + kHeapBlock) & ~(kHugePage - 1);
  if (block != nullptr && last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  std::free(block);  // stays in the arena: below the trim threshold
}

// Signals a worker leaves to its parent: the parent decides when a run
// ends. Ctrl-C and a terminal hang-up reach the whole process group, and a
// run they cut short would pass for a failed one. The parent kills its
// workers when it stops, and the kernel kills them when the parent dies.
constexpr int kParentsSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Ties a worker's life to its parent's; false when the parent is gone.
bool follow_parent(pid_t parent) {
  for (int signal : kParentsSignals) std::signal(signal, SIG_IGN);
  std::signal(SIGPIPE, SIG_DFL);
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  return ::getppid() == parent;
}

// One run in the current process and folder, its failure as the row's status.
StudyRow run_row(std::size_t run_number, const StudyRunSettings& settings, const StudyRunFunction& run) {
  StudyRow row;
  row.run = run_number;
  const Clock::time_point start = Clock::now();
  try {
    row.figures = run(settings);
    row.status = "ok";
  } catch (const std::exception& error) {
    row.figures.clear();
    row.status = one_line(error.what());
  } catch (...) {
    row.figures.clear();
    row.status = "unknown error";
  }
  row.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  return row;
}

// A forked child's whole life, for a run function given by the caller:
// never returns.
[[noreturn]] void work(pid_t parent, int pipe, const Worker& w, const StudyRunSettings& settings,
                       const StudyRunFunction& run) {
  if (!follow_parent(parent)) ::_exit(1);
  prepare_heap();
  const StudyRow row = run_row(w.run, settings, [&](const StudyRunSettings& s) {
    if (::chdir(w.folder.c_str()) != 0) throw directory_error(FileAction::open, w.folder);
    return run(s);
  });
  // _exit: no destructors or exit handlers of the parent's objects run twice.
  ::_exit(write_all(pipe, encode_study_row(row)) ? 0 : 1);
}

// True when this process runs no thread but the caller's (the thread count
// of /proc/self/stat); false when that cannot be read.
bool alone_in_process() {
  std::ifstream file("/proc/self/stat");
  const std::string stat{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const std::size_t name_end = stat.rfind(')');  // the program's name may hold blanks and ')'
  if (name_end == std::string::npos) return false;
  std::istringstream fields(stat.substr(name_end + 1));
  std::string field;
  for (int number = 3; number <= 20 && fields >> field; ++number)
    if (number == 20) return field == "1";  // num_threads
  return false;
}

// Starts the worker program in `folder` with its row going to `out`; the
// process id, or -1 with errno set. Nothing of this process but `out` and
// the environment reaches the program; the signals the parent decides on are
// blocked from its first instruction.
pid_t spawn_worker(const std::string& program, const std::string& folder, pid_t parent, int out) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawnattr_init(&attributes);
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  ::posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  sigset_t blocked, defaults;
  sigemptyset(&blocked);
  for (int signal : kParentsSignals) sigaddset(&blocked, signal);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  ::posix_spawnattr_setsigmask(&attributes, &blocked);
  ::posix_spawnattr_setsigdefault(&attributes, &defaults);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::string name = program, parent_text = std::to_string(parent);
  char* arguments[] = {name.data(), parent_text.data(), nullptr};
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, arguments, environ);
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  if (error == 0) return pid;
  errno = error;
  return -1;
}

// Why a worker that sent no row ended.
std::string ended_without_row(int status) {
  if (WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    const char* name = ::strsignal(signal);
    return "the worker process ended by signal " + std::to_string(signal) +
           (name != nullptr ? std::string(" (") + name + ")" : std::string());
  }
  return "the worker process exited with status " +
         std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + " without a result";
}

void remove_folder(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

// The workers of one call: whatever way the call ends, its destructor kills
// and reaps the workers still out and removes every folder.
class WorkerPool {
 public:
  // `program`: the worker program to start, or empty to fork for `fn`.
  WorkerPool(const std::string& root, std::string program) : program_(std::move(program)) {
    std::string pattern = (std::filesystem::path(root) / "fringe-study-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
      throw directory_error(FileAction::create, pattern, std::string(": ") + std::strerror(errno));
    folder_ = pattern;
  }
  ~WorkerPool() {
    for (Worker& w : workers_) {
      ::kill(w.pid, SIGKILL);
      reap(w);
    }
    remove_folder(folder_);
  }
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  std::vector<Worker>& workers() { return workers_; }

  void start(std::size_t run, const StudyRunSettings& settings, const StudyRunFunction& fn) {
    Worker w;
    w.run = run;
    w.folder = folder_ + "/run-" + std::to_string(run);
    if (::mkdir(w.folder.c_str(), 0700) != 0 && errno != EEXIST)
      throw directory_error(FileAction::create, w.folder, std::string(": ") + std::strerror(errno));
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
      remove_folder(w.folder);
      throw directory_error(FileAction::create, w.folder, ": no pipe for its worker");
    }
    const pid_t parent = ::getpid();
    if (program_.empty()) {
      w.pid = ::fork();
      if (w.pid == 0) {
        ::close(ends[0]);
        work(parent, ends[1], w, settings, fn);
      }
    } else {
      w.pid = leave_order(w.folder, {run, settings})
                  ? spawn_worker(program_, w.folder, parent, ends[1])
                  : -1;
    }
    const int start_error = errno;
    ::close(ends[1]);
    if (w.pid < 0) {
      ::close(ends[0]);
      remove_folder(w.folder);
      const std::string reason = std::string(": no worker process (") + std::strerror(start_error) + ")";
      if (program_.empty()) throw directory_error(FileAction::create, w.folder, reason);
      throw file_error(FileAction::open, program_, reason);
    }
    w.pipe = ends[0];
    workers_.push_back(std::move(w));
  }

  // Waits for the worker's end and removes its folder; the exit status.
  static int reap(Worker& w) {
    if (w.pipe >= 0) ::close(w.pipe);
    w.pipe = -1;
    int status = 0;
    while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    remove_folder(w.folder);
    return status;
  }

 private:
  // Writes the run's order file into its folder; false with errno set.
  static bool leave_order(const std::string& folder, const StudyWorkerOrder& order) {
    const std::string bytes = encode_study_worker_order(order);
    const std::string name = folder + "/" + kOrderFile;
    const int file = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (file < 0) return false;
    const bool written = write_all(file, bytes);
    const int write_error = errno;
    if (::close(file) != 0 || !written) {
      errno = written ? errno : write_error;
      return false;
    }
    return true;
  }

  std::string folder_;
  std::string program_;
  std::vector<Worker> workers_;
};

}  // namespace

int available_cores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

std::string study_work_root() {
  if (const char* chosen = std::getenv("TMPDIR"); chosen != nullptr && *chosen != '\0') return chosen;
  const char* const shm = "/dev/shm";
  struct stat status {};
  if (::stat(shm, &status) == 0 && S_ISDIR(status.st_mode) && ::access(shm, W_OK | X_OK) == 0)
    return shm;
  return "/tmp";
}

std::string study_worker_program(const StudyWorkerOptions& options) {
  if (options.run) return {};
  const char* chosen = std::getenv("FRINGE_STUDY_WORKER");
  const bool named = chosen != nullptr && *chosen != '\0';
  if (!named && alone_in_process()) return {};
  std::vector<std::string> candidates;
  if (named) {
    candidates.push_back(chosen);  // the user's choice, and only it
  } else {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) candidates.push_back((self.parent_path() / kWorkerProgram).string());
#ifdef FRINGE_STUDY_WORKER_BUILT
    candidates.push_back(FRINGE_STUDY_WORKER_BUILT);
#endif
  }
  for (const std::string& program : candidates) {
    struct stat status {};
    if (::stat(program.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(program.c_str(), X_OK) == 0)
      return program;
  }
  std::string where;
  for (const std::string& program : candidates) where += (where.empty() ? "" : ", ") + program;
  throw file_error(FileAction::open, kWorkerProgram,
                   " (the study's worker program: not at " + (where.empty() ? std::string("any known place") : where) +
                       "; FRINGE_STUDY_WORKER names it)");
}

int study_worker_main(int argc, char** argv) {
  return study_worker_main(argc, argv, [](const StudyRunSettings& s) { return measure_study_run(s); });
}

int study_worker_main(int argc, char** argv, const StudyRunFunction& run) {
  char* end = nullptr;
  const long parent = argc == 2 ? std::strtol(argv[1], &end, 10) : 0;
  if (parent <= 0 || *end != '\0') {
    std::fprintf(stderr, "%s: started by a study, never by hand (%s PARENT_PID in a run's folder)\n",
                 kWorkerProgram, kWorkerProgram);
    return 2;
  }
  if (!follow_parent(static_cast<pid_t>(parent))) return 1;
  prepare_heap();
  std::ifstream file(kOrderFile, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const std::optional<StudyWorkerOrder> order = decode_study_worker_order(bytes);
  if (!order) {
    std::fprintf(stderr, "%s: no whole order in %s\n", kWorkerProgram, kOrderFile);
    return 1;
  }
  // The order is the worker's own copy; the run leaves its work files beside it.
  const StudyRow row = run_row(order->run, order->settings, run);
  return write_all(STDOUT_FILENO, encode_study_row(row)) ? 0 : 1;
}

bool run_in_workers(const StudyPlan& plan, const std::vector<std::size_t>& runs,
                    const StudyWorkerOptions& options,
                    const std::function<void(StudyRow)>& finished, const StudyStop& stop,
                    const std::function<void()>& idle) {
  const StudyRunFunction run = options.run ? options.run : StudyRunFunction([](const StudyRunSettings& s) { return measure_study_run(s); });
  const std::size_t jobs = static_cast<std::size_t>(std::max(1, options.jobs));
  WorkerPool pool(options.work_root.empty() ? study_work_root() : options.work_root,
                  study_worker_program(options));
  std::vector<Worker>& out = pool.workers();
  std::size_t next = 0;
  std::vector<pollfd> fds;
  while (next < runs.size() || !out.empty()) {
    if (stop.requested()) return false;
    while (out.size() < jobs && next < runs.size()) {
      const std::size_t number = runs[next++];
      pool.start(number, plan.run_settings(number), run);
    }
    fds.clear();
    for (const Worker& w : out) fds.push_back({w.pipe, POLLIN, 0});
    const int ready = ::poll(fds.data(), fds.size(), kPollMs);
    if (ready < 0 && errno != EINTR)
      throw std::runtime_error(std::string("cannot wait for the study's workers: ") + std::strerror(errno));
    if (stop.requested()) return false;
    // Collect the workers whose pipes closed, then report them.
    std::vector<StudyRow> done;
    for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      Worker& w = out[i];
      char buffer[4096];
      const ssize_t count = ::read(w.pipe, buffer, sizeof buffer);
      if (count > 0) {
        w.bytes.append(buffer, static_cast<std::size_t>(count));
        continue;
      }
      if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      const int status = WorkerPool::reap(w);
      std::optional<StudyRow> row = decode_study_row(w.bytes);
      if (!row || row->run != w.run) {
        row = StudyRow{};
        row->run = w.run;
        row->status = ended_without_row(status);
      }
      done.push_back(std::move(*row));
      w.pid = -1;
    }
    std::erase_if(out, [](const Worker& w) { return w.pid < 0; });
    for (StudyRow& row : done) finished(std::move(row));
    if (idle) idle();
  }
  return true;
}

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

namespace {

void put_text(std::string& out, const std::string& text) {
  put<uint32_t>(out, static_cast<uint32_t>(text.size()));
  out += text;
}

bool take_text(std::string_view& in, std::string& text) {
  uint32_t length = 0;
  if (!take(in, length) || length > in.size()) return false;
  text.assign(in.substr(0, length));
  in.remove_prefix(length);
  return true;
}

void put_lines(std::string& out, const std::vector<std::string>& lines) {
  put<uint32_t>(out, static_cast<uint32_t>(lines.size()));
  for (const std::string& line : lines) put_text(out, line);
}

bool take_lines(std::string_view& in, std::vector<std::string>& lines) {
  uint32_t count = 0;
  // Every line takes at least its length field: a count beyond that is damage.
  if (!take(in, count) || count > in.size() / sizeof(uint32_t)) return false;
  lines.resize(count);
  for (std::string& line : lines)
    if (!take_text(in, line)) return false;
  return true;
}

}  // namespace

std::string encode_study_worker_order(const StudyWorkerOrder& order) {
  const StudyRunSettings& s = order.settings;
  std::string bytes;
  put<uint64_t>(bytes, order.run);
  put<int32_t>(bytes, s.channel);
  put_lines(bytes, s.scan);
  put_lines(bytes, s.image);
  put_lines(bytes, s.surface);
  put(bytes, s.contrast);
  put(bytes, s.noise);
  put_text(bytes, s.max_noise_text);
  put<uint32_t>(bytes, s.seed);
  return bytes;
}

std::optional<StudyWorkerOrder> decode_study_worker_order(std::string_view bytes) {
  StudyWorkerOrder order;
  StudyRunSettings& s = order.settings;
  uint64_t run = 0;
  int32_t channel = 0;
  if (!take(bytes, run) || !take(bytes, channel) || !take_lines(bytes, s.scan) ||
      !take_lines(bytes, s.image) || !take_lines(bytes, s.surface) || !take(bytes, s.contrast) ||
      !take(bytes, s.noise) || !take_text(bytes, s.max_noise_text) || !take(bytes, s.seed) ||
      !bytes.empty())
    return std::nullopt;
  order.run = static_cast<std::size_t>(run);
  s.channel = channel;
  return order;
}

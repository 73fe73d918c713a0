#include "cli/study_mpi.h"

#include <mpi.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <thread>

#include "studies/study_row_bytes.h"
#include "studies/study_run.h"

namespace {

constexpr int kRowTag = 1;   // a finished run, encode_study_row's bytes
constexpr int kDoneTag = 2;  // a rank has no more rows: one byte, 1 complete, 0 stopped
// Rank 0 to each other rank, once, no bytes: stop starting runs (when it comes
// while they run) and finish. A rank ends MPI only after it, so that rank 0
// never ends MPI while another rank may still send it rows.
constexpr int kEndTag = 3;
constexpr auto kWaitStep = std::chrono::milliseconds(10);

// Variable-length bytes from rank 0 to every rank.
void broadcast(std::string& bytes, int rank) {
  uint64_t size = bytes.size();
  MPI_Bcast(&size, 1, MPI_UINT64_T, 0, MPI_COMM_WORLD);
  if (rank != 0) bytes.resize(size);
  // In pieces: a count is an int.
  constexpr uint64_t kPiece = 1U << 30;
  for (uint64_t offset = 0; offset < size; offset += kPiece)
    MPI_Bcast(bytes.data() + offset, static_cast<int>(std::min(kPiece, size - offset)), MPI_BYTE, 0,
              MPI_COMM_WORLD);
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

void send(const std::string& bytes, int tag) {
  MPI_Send(bytes.data(), static_cast<int>(bytes.size()), MPI_BYTE, 0, tag, MPI_COMM_WORLD);
}

// Rank 0's side of the messages: rows into the record, ends of the ranks.
class RowCollector {
 public:
  RowCollector(StudyRecord& record, const StudyClock& clock, std::size_t total,
               StudyObserver& observer)
      : record_(record), clock_(clock), total_(total), observer_(observer) {}

  void add(StudyRow row) {
    record_.add(row);
    const StudyProgress p = clock_.at(record_.finished_count());
    observer_.row_finished(row, p);
    observer_.status(progress_text(p));
    observer_.progress(static_cast<int>(100 * p.done / std::max<std::size_t>(total_, 1)));
  }
  // Takes every message waiting, without blocking.
  void drain() {
    while (true) {
      int waiting = 0;
      MPI_Status status;
      MPI_Iprobe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &waiting, &status);
      if (!waiting) return;
      int count = 0;
      MPI_Get_count(&status, MPI_BYTE, &count);
      std::string bytes(static_cast<std::size_t>(count), '\0');
      MPI_Recv(bytes.data(), count, MPI_BYTE, status.MPI_SOURCE, status.MPI_TAG, MPI_COMM_WORLD,
               MPI_STATUS_IGNORE);
      if (status.MPI_TAG == kDoneTag) {
        ++ranks_done_;
        if (bytes != "\1") other_stopped_ = true;
      } else if (std::optional<StudyRow> row = decode_study_row(bytes)) {
        add(std::move(*row));
      }
    }
  }
  int ranks_done() const { return ranks_done_; }
  bool other_stopped() const { return other_stopped_; }

 private:
  StudyRecord& record_;
  const StudyClock& clock_;
  std::size_t total_;
  StudyObserver& observer_;
  int ranks_done_ = 0;
  bool other_stopped_ = false;
};

}  // namespace

int run_study_over_mpi(const StudyOptions& options, StudyObserver& observer, const StudyStop& stop,
                       StudyEnd& end, std::string& message) {
  // The runs go on threads of their own, but only this thread calls MPI (the
  // rows are sent and received between runs, in run_on_threads' `finished`
  // and `idle`).
  int provided = 0;
  MPI_Init_thread(nullptr, nullptr, MPI_THREAD_FUNNELED, &provided);
  int rank = 0, size = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);

  // Rank 0 checks the input and the files; the others learn the outcome.
  std::string error, scan, image, surface, method, system, runs_bytes;
  StudySetup setup;
  std::unique_ptr<StudyRecord> record;
  if (rank == 0) {
    try {
      setup = prepare_study(options);
      record = std::make_unique<StudyRecord>(*setup.plan, setup.request.files, options.resume);
      const std::vector<std::size_t> missing = record->missing_runs();
      for (std::size_t run : missing) {
        const uint64_t value = run;
        runs_bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
      }
      record->start();
      scan = joined(setup.plan->base().scan);
      image = joined(setup.plan->base().image);
      surface = joined(setup.plan->base().surface);
      method = joined(setup.plan->base().method);
      system = joined(setup.plan->base().system);
    } catch (const std::exception& e) {
      error = e.what();
      if (error.empty()) error = "error";
    }
  }
  broadcast(error, rank);
  if (!error.empty()) {
    if (rank == 0) message = error;
    MPI_Finalize();
    return 1;
  }
  broadcast(scan, rank);
  broadcast(image, rank);
  broadcast(surface, rank);
  broadcast(method, rank);
  broadcast(system, rank);
  broadcast(runs_bytes, rank);

  std::unique_ptr<StudyPlan> plan;
  if (rank != 0) {
    // The method lines come with rank 0's options applied.
    const ChannelSettings files{options.channel,      lines_of(scan),   lines_of(image),
                                lines_of(surface),    lines_of(method), lines_of(system)};
    StudyRunSettings base = study_base_settings(files, method_file(options.channel), {}, options.contrast,
                                                options.noise, options.max_noise);
    plan = std::make_unique<StudyPlan>(std::move(base), study_axes(options), options.repeats,
                                       options.seed);
  }
  const StudyPlan& the_plan = rank == 0 ? *setup.plan : *plan;
  // Round-robin over the missing runs: neighbouring grid points cost about
  // the same, so every rank gets a like share.
  std::vector<std::size_t> mine;
  for (std::size_t i = 0; i * sizeof(uint64_t) < runs_bytes.size(); ++i) {
    if (static_cast<int>(i % static_cast<std::size_t>(size)) != rank) continue;
    uint64_t run = 0;
    std::memcpy(&run, runs_bytes.data() + i * sizeof run, sizeof run);
    mine.push_back(static_cast<std::size_t>(run));
  }
  StudyThreadOptions threads;
  threads.jobs = options.jobs.value_or(1);

  try {
    if (rank != 0) {
      // Stopped by its own signal or by rank 0's word.
      StudyStop halt;
      bool ended = false;
      const auto listen = [&] {
        if (stop.requested()) halt.request();
        int waiting = 0;
        MPI_Iprobe(0, kEndTag, MPI_COMM_WORLD, &waiting, MPI_STATUS_IGNORE);
        if (!waiting) return;
        MPI_Recv(nullptr, 0, MPI_BYTE, 0, kEndTag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        ended = true;
        halt.request();
      };
      const bool complete = run_on_threads(
          the_plan, mine, threads, [](StudyRow row) { send(encode_study_row(row), kRowTag); }, halt, listen);
      // Every row went before this: rank 0 takes them all before it ends.
      send(complete ? "\1" : std::string(1, '\0'), kDoneTag);
      if (!ended) MPI_Recv(nullptr, 0, MPI_BYTE, 0, kEndTag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
      MPI_Finalize();
      end.status = complete ? 0 : kStudyStopped;
      return 0;
    }

    const std::size_t total = the_plan.run_count();
    const StudyClock clock(total, record->finished_count());
    RowCollector rows(*record, clock, total, observer);
    const std::size_t before = record->finished_count();
    bool complete = run_on_threads(
        the_plan, mine, threads, [&rows](StudyRow row) { rows.add(std::move(row)); }, stop,
        [&rows] { rows.drain(); });
    // The word to end goes to each rank once: at a stop, so that they stop
    // starting runs; else when they are all done. Either way the rows they
    // send until they say they are done are taken into the journal.
    bool told = false;
    const auto tell_the_ranks_to_end = [&] {
      if (told) return;
      told = true;
      for (int other = 1; other < size; ++other)
        MPI_Send(nullptr, 0, MPI_BYTE, other, kEndTag, MPI_COMM_WORLD);
    };
    while (rows.ranks_done() < size - 1) {
      if (!complete || stop.requested()) {
        complete = false;
        tell_the_ranks_to_end();
      }
      rows.drain();
      if (rows.ranks_done() < size - 1) std::this_thread::sleep_for(kWaitStep);
    }
    tell_the_ranks_to_end();
    complete = complete && !rows.other_stopped() && record->finished_count() == total;
    if (complete) record->finish();

    StudyOutcome outcome;
    outcome.complete = complete;
    outcome.rows = record->rows();
    outcome.ran = record->finished_count() - before;
    for (const StudyRow& row : outcome.rows) outcome.failed += row.status == "ok" ? 0 : 1;
    outcome.seconds = clock.at(record->finished_count()).elapsed_s;
    end = study_end(outcome, options, total);
    end.summary += " (" + std::to_string(size) + " processes)";
    MPI_Finalize();
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "fringe: " << e.what() << std::endl;
    MPI_Abort(MPI_COMM_WORLD, 1);
    return 1;
  }
}

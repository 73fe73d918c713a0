#include "studies/study.h"

#include <cmath>
#include <cstdio>

#include "studies/study_threads.h"

namespace {

std::string duration_text(double seconds) {
  const long total = std::lrint(std::max(0.0, seconds));
  char text[32];
  if (total >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  return text;
}

}  // namespace

std::string progress_text(const StudyProgress& p) {
  return "runs " + std::to_string(p.done) + " of " + std::to_string(p.total) + ", " +
         duration_text(p.elapsed_s) + " elapsed, " +
         (p.left_s < 0 ? std::string("?") : duration_text(p.left_s)) + " left";
}

StudyClock::StudyClock(std::size_t total, std::size_t done_before)
    : total_(total), done_before_(done_before), start_(std::chrono::steady_clock::now()) {}

StudyProgress StudyClock::at(std::size_t done) const {
  StudyProgress p;
  p.done = done;
  p.total = total_;
  p.elapsed_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const std::size_t ran = done > done_before_ ? done - done_before_ : 0;
  if (ran > 0) p.left_s = p.elapsed_s / static_cast<double>(ran) * static_cast<double>(total_ - done);
  if (done >= total_) p.left_s = 0.0;
  return p;
}

StudyOutcome run_study(const StudyPlan& plan, const StudyRequest& request, StudyObserver& observer,
                       const StudyStop& stop) {
  StudyRecord record(plan, request.files, request.resume);
  const std::vector<std::size_t> missing = record.missing_runs();
  record.start();

  const std::size_t total = plan.run_count();
  const StudyClock clock(total, record.finished_count());
  const auto report = [&](const StudyProgress& p) {
    observer.status(progress_text(p));
    observer.progress(static_cast<int>(100 * p.done / std::max<std::size_t>(total, 1)));
  };
  report(clock.at(record.finished_count()));

  StudyOutcome outcome;
  outcome.complete = run_on_threads(
      plan, missing, request.threads,
      [&](StudyRow row) {
        record.add(row);
        ++outcome.ran;
        const StudyProgress p = clock.at(record.finished_count());
        observer.row_finished(row, p);
        report(p);
      },
      stop);
  if (outcome.complete) record.finish();
  outcome.rows = record.rows();
  for (const StudyRow& row : outcome.rows) outcome.failed += row.status == "ok" ? 0 : 1;
  outcome.seconds = clock.at(record.finished_count()).elapsed_s;
  return outcome;
}

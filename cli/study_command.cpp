#include "cli/study_command.h"

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "cli/option_checks.h"
#include "cli/workspace.h"
#include "common/text_to_number.h"
#include "studies/study_run.h"

namespace {

std::string absolute(const std::string& file) {
  return file.empty() ? file : std::filesystem::absolute(file).string();
}

}  // namespace

std::vector<std::string> study_method_lines(const ChannelSettings& settings, const MethodOverrides& overrides) {
  return overridden_method_lines(settings.method, method_file(settings.channel), overrides);
}

std::vector<StudyAxis> study_axes(const StudyOptions& options) {
  std::vector<StudyAxis> axes;
  for (const std::string& text : options.vary) axes.push_back(parse_study_axis(text));
  return axes;
}

StudySetup prepare_study(const StudyOptions& o) {
  if (o.csv.empty() && o.json.empty())
    throw StudyError("give the table's file: --csv FILE and/or --json FILE");
  StudySetup setup;
  setup.request.files = {absolute(o.csv), absolute(o.json)};
  if (setup.request.files.csv == setup.request.files.json)
    throw StudyError("--csv and --json name the same file");
  if (o.jobs && *o.jobs < 1) throw StudyError("--jobs must be at least 1");
  if (o.jobs) require_in_domain("--jobs", *o.jobs, domains::jobs);
  require_in_domain("--repeats", o.repeats, domains::repeats);
  require_in_domain("--contrast", o.contrast, domains::unit);
  require_in_domain("--noise", o.noise, domains::unit);
  require_in_domain("--max-noise", o.max_noise, domains::max_noise);
  std::vector<StudyAxis> axes = study_axes(o);

  enter_directory(o.dir);
  const ChannelSettings settings = workspace_settings(o.channel);
  StudyRunSettings base =
      study_base_settings(settings, method_file(o.channel), o.method, o.contrast, o.noise, o.max_noise);
  setup.plan = std::make_unique<StudyPlan>(std::move(base), std::move(axes), o.repeats, o.seed);
  check_study_run_settings(setup.plan->run_settings(0));
  {
    const StudyRunSettings& first = setup.plan->run_settings(0);
    const SimParams params = measurement_sim_params(first);
    const std::string warning = coarse_period_warning(read_method_settings(first.method, method_file(o.channel)),
                                                      params.fringe_period, params.x_pixels);
    if (!warning.empty()) std::cerr << "fringe: warning: " << warning << '\n';
  }

  setup.request.resume = o.resume;
  setup.request.threads.jobs = o.jobs.value_or(available_cores());
  return setup;
}

StudyOutcome cmd_study(const StudyOptions& options, StudyObserver& observer, const StudyStop& stop) {
  const StudySetup setup = prepare_study(options);
  return run_study(*setup.plan, setup.request, observer, stop);
}

std::string study_summary(const StudyOutcome& outcome, const StudyOptions& options,
                          std::size_t total_runs) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", outcome.seconds);
  if (!outcome.complete) {
    const std::string journal = journal_name({options.csv, options.json});
    return "study stopped: " + std::to_string(outcome.rows.size()) + " of " +
           std::to_string(total_runs) + " runs kept in " + journal +
           "; run the same command with --resume to continue";
  }
  std::string files;
  for (const std::string* file : {&options.csv, &options.json})
    if (!file->empty()) files += (files.empty() ? "" : ", ") + *file;
  return "study: " + std::to_string(outcome.rows.size()) + " runs (" +
         std::to_string(outcome.failed) + " failed, " + std::to_string(outcome.ran) +
         " run now) in " + seconds + " s; wrote " + files;
}

StudyEnd study_end(const StudyOutcome& outcome, const StudyOptions& options, std::size_t total_runs) {
  StudyEnd end;
  end.summary = study_summary(outcome, options, total_runs);
  if (!outcome.complete) {
    end.status = kStudyStopped;
    return end;
  }
  if (outcome.failed > 0) {
    // Every file is written; the status tells scripts that not every run measured.
    end.failures = std::to_string(outcome.failed) + " of " + std::to_string(outcome.rows.size()) +
                   (outcome.rows.size() == 1 ? " run" : " runs") +
                   " failed; the status column of their rows says why";
    end.status = kStudyRunsFailed;
  }
  return end;
}

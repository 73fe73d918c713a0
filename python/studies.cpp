// fringe.study: the chain over a grid of settings (studies/study.h), rows in
// memory and, when files are named, the tool's CSV, JSON and journal.
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <Python.h>

#include <filesystem>
#include <memory>
#include <optional>

#include "common/round_trip_number.h"
#include "python/results.h"
#include "settings/workspace_settings.h"
#include "studies/study.h"
#include "studies/study_run.h"

namespace {

// "name=v1,v2,..." of a --vary text for one entry of the vary dict: a text
// is taken as it is ("0:1:5", "fourier"), numbers as the shortest text that
// reads back to each, so the grid holds exactly the values given, and names
// (a list of methods) as they are.
std::string axis_text(const std::string& name, const py::handle& values) {
  if (py::isinstance<py::str>(values)) return name + "=" + values.cast<std::string>();
  const std::string expected = "vary[\"" + name + "\"]: expected numbers, a number, names or a text \"a:b:n\"";
  const auto value_text = [&](const py::handle& value) {
    if (py::isinstance<py::str>(value)) return value.cast<std::string>();
    if (!py::isinstance<py::float_>(value) && !py::isinstance<py::int_>(value)) throw py::type_error(expected);
    return round_trip_text(value.cast<double>());
  };
  std::string text;
  if (py::isinstance<py::float_>(values) || py::isinstance<py::int_>(values)) {
    text = value_text(values);
  } else {
    if (!py::isinstance<py::iterable>(values)) throw py::type_error(expected);
    for (const py::handle& value : values) {
      if (!text.empty()) text += ",";
      text += value_text(value);
    }
  }
  return name + "=" + text;
}

// A varied value as the CSV shows it: a method by its name, a number as a float.
py::object value_object(const std::string& parameter, double value) {
  const StudyParameter* p = find_study_parameter(parameter);
  if (p != nullptr && !p->names.empty()) return py::str(parameter_value_text(*p, value));
  return py::float_(value);
}

// Asks the study to stop when Python has a signal pending (Ctrl-C:
// KeyboardInterrupt), checked with the GIL taken back briefly each time the
// study reports; the exception is kept to be raised once the study returns.
class InterruptibleObserver final : public StudyObserver {
 public:
  explicit InterruptibleObserver(StudyStop& stop) : stop_(stop) {}
  ~InterruptibleObserver() override {
    if (pending_) {
      py::gil_scoped_acquire gil;
      Py_XDECREF(type_);
      Py_XDECREF(value_);
      Py_XDECREF(traceback_);
    }
  }
  void status(const std::string&) override { check(); }
  void progress(int) override {}
  // Raises what stopped the study, if anything did. Needs the GIL.
  void raise_pending() {
    if (!pending_) return;
    pending_ = false;
    PyErr_Restore(type_, value_, traceback_);
    type_ = value_ = traceback_ = nullptr;
    throw py::error_already_set();
  }

 private:
  void check() {
    if (pending_) return;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) {
      PyErr_Fetch(&type_, &value_, &traceback_);
      pending_ = true;
      stop_.request();
    }
  }
  StudyStop& stop_;
  bool pending_ = false;
  PyObject* type_ = nullptr;
  PyObject* value_ = nullptr;
  PyObject* traceback_ = nullptr;
};

std::string absolute(const std::optional<std::filesystem::path>& file) {
  return file ? std::filesystem::absolute(*file).string() : std::string();
}

py::object number_or_none(double value) { return std::isnan(value) ? py::object(py::none()) : py::float_(value); }

py::list row_dicts(const StudyTable& table) {
  py::list rows;
  for (const StudyTableRow& row : table.rows) {
    py::dict d;
    for (std::size_t i = 0; i < table.parameters.size(); ++i)
      d[py::str(table.parameters[i])] = value_object(table.parameters[i], row.values[i]);
    d["repeat"] = row.repeat;
    d["seed"] = row.seed;
    for (std::size_t i = 0; i < table.figures.size(); ++i) d[py::str(table.figures[i])] = number_or_none(row.figures[i]);
    d["ms"] = row.ms;
    d["status"] = row.status;
    rows.append(d);
  }
  return rows;
}

py::list summary_dicts(const StudyTable& table) {
  py::list points;
  for (const PointSummary& point : summarise(table)) {
    py::dict d;
    for (std::size_t i = 0; i < table.parameters.size(); ++i)
      d[py::str(table.parameters[i])] = value_object(table.parameters[i], point.values[i]);
    d["runs"] = point.runs;
    d["ok"] = point.ok;
    for (std::size_t i = 0; i < table.figures.size(); ++i) {
      const FigureSummary& f = point.figures[i];
      py::dict figure;
      figure["count"] = f.count;
      figure["mean"] = number_or_none(f.mean);
      figure["sd"] = number_or_none(f.sd);
      figure["min"] = number_or_none(f.min);
      figure["max"] = number_or_none(f.max);
      d[py::str(table.figures[i])] = figure;
    }
    points.append(d);
  }
  return points;
}

py::dict run_python_study(const WorkspaceArgument& workspace_argument, const py::dict& vary, int repeats, Seed seed,
                          std::optional<int> jobs, int channel, double contrast, double noise, double max_noise,
                          std::optional<std::filesystem::path> csv, std::optional<std::filesystem::path> json,
                          bool resume, std::optional<std::string> method, std::optional<int> steps,
                          const py::object& periods, std::optional<double> gamma, std::optional<double> blur,
                          std::optional<int> bits, std::optional<double> ambient) {
  const Workspace& workspace = workspace_argument.workspace;
  StudyRequest request;
  request.files = {absolute(csv), absolute(json)};
  if (!request.files.csv.empty() && request.files.csv == request.files.json)
    throw StudyError("csv and json name the same file");
  if (jobs) checked("jobs", *jobs, domains::jobs);
  checked("repeats", repeats, domains::repeats);
  const MethodOverrides overrides = method_arguments(method, steps, periods, gamma, blur, bits, ambient);
  const ChannelSettings files = read_workspace_settings(workspace.path, channel_argument(channel));
  const double base_contrast = checked("contrast", contrast, domains::unit);
  const double base_noise = checked("noise", noise, domains::unit);
  const std::string base_max_noise = max_noise_text(max_noise);
  StudyRunSettings base = in_python_words([&] {
    return study_base_settings(files, workspace_file(workspace.path, method_file(files.channel)), overrides,
                               base_contrast, base_noise, base_max_noise);
  });
  std::vector<StudyAxis> axes;
  for (const auto& [name, values] : vary) axes.push_back(parse_study_axis(axis_text(py::str(name), values)));
  // The record refers to the plan: it stays where it is.
  const auto plan = std::make_unique<StudyPlan>(std::move(base), std::move(axes), repeats, seed_argument(seed));
  check_study_run_settings(plan->run_settings(0));
  request.resume = resume;
  request.threads.jobs = jobs.value_or(available_cores());

  StudyStop stop;
  InterruptibleObserver observer(stop);
  StudyOutcome outcome;
  {
    py::gil_scoped_release release;
    outcome = run_study(*plan, request, observer, stop);
  }
  observer.raise_pending();
  const StudyTable table = study_table(*plan, outcome.rows);
  py::dict result;
  result["rows"] = row_dicts(table);
  result["summaries"] = summary_dicts(table);
  result["parameters"] = table.parameters;
  result["figures"] = table.figures;
  result["complete"] = outcome.complete;
  result["failed"] = outcome.failed;
  result["ran"] = outcome.ran;
  result["seconds"] = outcome.seconds;
  return result;
}

}  // namespace

void bind_studies(py::module_& m) {
  m.def("study", &run_python_study, py::arg("workspace"), py::kw_only(), py::arg("vary"), py::arg("repeats") = 1,
        py::arg("seed") = 1, py::arg("jobs") = py::none(), py::arg("channel") = 0, py::arg("contrast") = 1.0,
        py::arg("noise") = 0.0, py::arg("max_noise") = 64, py::arg("csv") = py::none(), py::arg("json") = py::none(),
        py::arg("resume") = false, py::arg("method") = py::none(), py::arg("steps") = py::none(),
        py::arg("periods") = py::none(), py::arg("gamma") = py::none(), py::arg("blur") = py::none(),
        py::arg("bits") = py::none(), py::arg("ambient") = py::none(),
        (std::string(R"(`fringe study`: "apply" then "profile" over a grid of settings, each run measured
against the true sphere.

vary: {name: values} in grid order (the last varies fastest); values a list of numbers, a
number, or a text "a:b:n" (n values from a to b) as --vary takes it; the names are the
tool's (contrast, noise, period, angle, radius, mask_radius, passes, pixel_size, rx, ry,
axis, q, method, steps, gamma, blur, bits, ambient); method takes names, e.g.
{"method": ["quadrature", "fourier", "phase-shift"], "noise": "0:1:6"}, and the rows and
summaries hold them ("fourier"). Repeat k uses seed + k. jobs: runs at once (default: every core). csv, json:
the tool's files, written when every run is done (rows are kept in the journal
"<csv>.part" as they finish; resume=True continues an interrupted study).

Returns a dict: rows (one dict per run in table order with the CSV's columns: the varied
parameters, repeat, seed, the figures (None where a run failed), ms, status), summaries
(per grid point: the values, runs, ok and for each figure {count, mean, sd, min, max}),
parameters, figures (the column names), complete, failed, ran and seconds. The rows are
those `fringe study` writes for the same arguments. Ctrl-C (KeyboardInterrupt) stops the
study once the runs going are done; the finished rows stay in the journal when a file
was named, and the KeyboardInterrupt is raised. Raises ValueError for bad arguments or
settings, OSError for files.

method, steps, periods, gamma, blur, bits, ambient: the base of every run, as the tool's
options of the same names; a varied parameter overrides them run by run.
)") + kMethodArgumentsDoc).c_str());
}

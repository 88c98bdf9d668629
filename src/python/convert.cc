// jx4.convert: a jx4 convert run from Python. The run works on a thread of
// its own with the GIL released, while the calling thread wakes every 50 ms
// to let Python handle its signals: a KeyboardInterrupt (Ctrl-C) stops the
// run as SIGINT stops the program (the stores in hand finish, every record
// is whole) and is raised once it has stopped. A record callback that
// raises stops the run the same way, and its exception is raised.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "conversion/words.h"
#include "jx4/command.h"
#include "jx4/convert_run.h"
#include "python/bindings.h"

namespace py = pybind11;

namespace nimbrel::python {

namespace {

// What jx4.convert gives back.
struct Summary {
  int status = 0;  // jx4 convert's exit status: 0, or 1 when an input or a store had trouble
  bool interrupted = false;
  int64_t stored = 0;
  int64_t filesCreated = 0;
  double seconds = 0;
  std::map<std::string, int64_t> outcomes;  // products and members, by outcome word
  std::map<std::string, int64_t> inputs;    // inputs, by how they ended
};

std::string SummaryText(const Summary& summary) {
  std::string text = "Summary(stored=" + std::to_string(summary.stored) +
                     ", files_created=" + std::to_string(summary.filesCreated) + ", outcomes={";
  bool first = true;
  for (const auto& [word, count] : summary.outcomes) {
    if (count == 0) continue;
    text += (first ? "'" : ", '") + word + "': " + std::to_string(count);
    first = false;
  }
  return text + "}, sound=" + (summary.status == 0 ? "True" : "False") + ")";
}

Summary Convert(const py::object& inputs, const py::object& out, const std::string& catalogue,
                const py::object& only, const py::object& stations, const py::object& from,
                const py::object& to, const std::string& layout, int jobs, bool sync, bool dryRun,
                const py::object& onRecord) {
  ConvertOptions options;
  options.inputs = TextList(inputs, true);
  if (options.inputs.empty()) throw py::value_error("no input given");
  options.output = PathText(out);
  options.catalogue = catalogue;
  options.layout = layout;
  options.selection.categories = TextList(only, false);
  options.selection.stations = TextList(stations, false);
  options.selection.from = TimeBound(from);
  options.selection.to = TimeBound(to);
  if (jobs < 1 || jobs > 1024) throw py::value_error("jobs must be from 1 to 1024");
  options.jobs = jobs;
  options.sync = sync;
  options.dryRun = dryRun;
  options.quiet = true;
  options.errors = nullptr;  // every trouble is in the records and the summary

  std::atomic<bool> stop{false};
  options.stop = &stop;
  std::optional<py::error_already_set> raised;  // touched with the GIL held only
  py::object loads = py::module_::import("json").attr("loads");
  if (!onRecord.is_none()) {
    if (!PyCallable_Check(onRecord.ptr())) throw py::type_error("on_record must be callable");
    options.onRecord = [&](const std::string& line) {
      py::gil_scoped_acquire gil;
      if (raised) return;  // the caller has its exception: no more calls
      try {
        onRecord(loads(py::str(line)));
      } catch (py::error_already_set& error) {
        raised = std::move(error);
        stop = true;
      }
    };
  }

  ConvertSummary done;
  int status = 0;
  {
    py::gil_scoped_release released;
    std::mutex mutex;
    std::condition_variable finished;
    bool over = false;
    std::thread run([&] {
      status = RunConvert(options, &done);
      std::lock_guard<std::mutex> hold(mutex);
      over = true;
      finished.notify_one();
    });
    std::unique_lock<std::mutex> hold(mutex);
    while (!finished.wait_for(hold, std::chrono::milliseconds(50), [&] { return over; })) {
      hold.unlock();
      {
        py::gil_scoped_acquire gil;
        if (PyErr_CheckSignals() != 0) {
          if (!raised) raised.emplace();  // takes the pending KeyboardInterrupt
          PyErr_Clear();
          stop = true;
        }
      }
      hold.lock();
    }
    hold.unlock();
    run.join();
  }
  if (raised) throw *raised;
  if (!done.failure.empty()) {
    if (status == kExitUsage) throw py::value_error(done.failure);
    RaiseOSError(done.failure);
  }
  Summary summary;
  summary.status = status;
  summary.stored = done.stats.productsStored;
  summary.filesCreated = done.stats.filesCreated;
  summary.seconds = done.seconds;
  for (int i = 0; i < kOutcomeCount; ++i) {
    summary.outcomes[OutcomeWord(static_cast<Outcome>(i))] = done.stats.outcomes[i];
  }
  for (int i = 0; i < kInputEndCount; ++i) {
    summary.inputs[InputEndWord(static_cast<InputEnd>(i))] = done.inputs[static_cast<size_t>(i)];
  }
  summary.interrupted = done.inputs[static_cast<size_t>(InputEnd::kInterrupted)] > 0;
  return summary;
}

}  // namespace

void AddConvert(py::module_& module) {
  py::class_<Summary>(module, "Summary", "What a jx4.convert run did.")
      .def_readonly("status", &Summary::status,
                    "jx4 convert's exit status: 0, or 1 when an input was damaged or unreadable "
                    "or a store failed (all else was still done)")
      .def_property_readonly("sound", [](const Summary& s) { return s.status == 0; },
                             "Every input read to its end and no store failed")
      .def_readonly("interrupted", &Summary::interrupted, "The run was stopped before its end")
      .def_readonly("stored", &Summary::stored, "Products stored")
      .def_readonly("files_created", &Summary::filesCreated, ".jx4 files created")
      .def_readonly("seconds", &Summary::seconds)
      .def_readonly("outcomes", &Summary::outcomes,
                    "Products and members by outcome word (the report's words)")
      .def_readonly("inputs", &Summary::inputs, "Inputs by how they ended (the report's words)")
      .def("__repr__", &SummaryText);

  module.def("convert", &Convert, py::arg("inputs"), py::arg("out") = ".", py::kw_only(),
             py::arg("catalogue") = "classic", py::arg("only") = py::none(),
             py::arg("stations") = py::none(), py::arg("time_from") = py::none(),
             py::arg("time_to") = py::none(), py::arg("layout") = "flat", py::arg("jobs") = 1,
             py::arg("sync") = false, py::arg("dry_run") = false, py::arg("on_record") = py::none(),
             R"(Files the Level III products of the inputs into .jx4 files in `out`.

inputs: a path or a list of paths (archives, folders, product and feed files;
"-" for standard input). The options are jx4 convert's: catalogue "classic" or
"extended"; only: categories ("N0Q" or ["N0Q", "N0B"]); stations: ids ("KTLX",
"TLX"); time_from / time_to: datetime, date or ISO 8601 text, UTC; layout
"flat", "station", "station/year", "station/year/month" or
"station/year/month/day"; jobs: inputs converted at once; sync: durable stores;
dry_run: nothing written. on_record(dict) gets each report record as it is
written. A wrong argument raises ValueError, an output folder that cannot be
used OSError; Ctrl-C stops the run cleanly and raises KeyboardInterrupt.)");
}

}  // namespace nimbrel::python

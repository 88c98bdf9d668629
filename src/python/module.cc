// The module itself and the conversions of arguments its calls share.
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "python/bindings.h"

namespace py = pybind11;

namespace nimbrel::python {

std::string PathText(const py::handle& path) {
  py::object text = py::module_::import("os").attr("fsdecode")(path);
  return text.cast<std::string>();
}

std::vector<std::string> TextList(const py::handle& value, bool paths) {
  std::vector<std::string> texts;
  if (value.is_none()) return texts;
  auto one = [paths](const py::handle& item) {
    if (paths) return PathText(item);
    if (!py::isinstance<py::str>(item)) throw py::type_error("expected a str, not " + std::string(py::str(item.get_type())));
    return item.cast<std::string>();
  };
  py::object fspath = py::module_::import("os").attr("PathLike");
  if (py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value) ||
      py::isinstance(value, fspath)) {
    texts.push_back(one(value));
    return texts;
  }
  for (const py::handle& item : py::iter(value)) texts.push_back(one(item));
  return texts;
}

std::string TimeBound(const py::handle& value) {
  if (value.is_none()) return "";
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  py::module_ datetime = py::module_::import("datetime");
  if (py::isinstance(value, datetime.attr("datetime"))) {
    py::object time = py::reinterpret_borrow<py::object>(value);
    if (!time.attr("tzinfo").is_none()) {
      time = time.attr("astimezone")(datetime.attr("timezone").attr("utc"));
    }
    return time.attr("strftime")("%Y-%m-%dT%H:%M:%S").cast<std::string>();
  }
  if (py::isinstance(value, datetime.attr("date"))) {
    return value.attr("isoformat")().cast<std::string>();
  }
  throw py::type_error("a time bound is a datetime, a date or an ISO 8601 str, not " +
                       std::string(py::str(value.get_type())));
}

py::object UtcTime(int64_t seconds) {
  py::module_ datetime = py::module_::import("datetime");
  py::object utc = datetime.attr("timezone").attr("utc");
  py::object epoch = datetime.attr("datetime")(1970, 1, 1, 0, 0, 0, 0, utc);
  return epoch + datetime.attr("timedelta")(py::arg("seconds") = seconds);
}

void RaiseOSError(const std::string& text) {
  PyErr_SetString(PyExc_OSError, text.c_str());
  throw py::error_already_set();
}

}  // namespace nimbrel::python

PYBIND11_MODULE(jx4, module) {
  module.doc() =
      "Level III weather-radar products filed into .jx4 files, one per radar station and\n"
      "volume scan: convert archives, folders and feed files (convert), open a .jx4 file\n"
      "(open), walk a collection's products (scan) and decode a product into numpy arrays\n"
      "(Product.decode). The same code as the jx4 program.";
  nimbrel::python::AddConvert(module);
  nimbrel::python::AddVolumes(module);
}

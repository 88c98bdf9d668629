// The Python module jx4: the library's conversion and its .jx4 reading,
// with Python's types at the edge. Nothing here converts, reads or decodes
// on its own: each call hands its work to the same code as the jx4 program.
//
// Invariants: the GIL is held whenever a Python object is touched, and
// released while the library works on files; a library failure is raised as
// ValueError (a wrong argument, a file that is not a .jx4 file, a product
// that does not decode) or OSError (a path that cannot be read or written).
#ifndef NIMBREL_PYTHON_BINDINGS_H_
#define NIMBREL_PYTHON_BINDINGS_H_

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

namespace nimbrel::python {

// jx4.convert and its Summary.
void AddConvert(pybind11::module_& module);
// jx4.open, jx4.scan, VolumeFile, Product and Decoded.
void AddVolumes(pybind11::module_& module);

// A path argument (str or os.PathLike) as the library takes it.
std::string PathText(const pybind11::handle& path);
// One text or path, or an iterable of them; none for None.
std::vector<std::string> TextList(const pybind11::handle& value, bool paths);
// A time bound: None (""), an ISO 8601 text as it is, or a datetime or date
// (a naive datetime is taken as UTC).
std::string TimeBound(const pybind11::handle& value);
// An aware datetime in UTC for seconds since 1970.
pybind11::object UtcTime(int64_t seconds);
// Raises OSError with `text`.
[[noreturn]] void RaiseOSError(const std::string& text);

}  // namespace nimbrel::python

#endif  // NIMBREL_PYTHON_BINDINGS_H_

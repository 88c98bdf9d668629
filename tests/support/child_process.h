// Running a program as a child process and timing it, for the benchmarks
// that compare our programs with the reference tools end to end.
#ifndef NIMBREL_TESTS_SUPPORT_CHILD_PROCESS_H_
#define NIMBREL_TESTS_SUPPORT_CHILD_PROCESS_H_

#include <string>
#include <vector>

namespace nimbrel {

struct ChildRun {
  bool ok = false;          // exited with status 0
  double seconds = 0;       // wall clock
  double cpuSeconds = 0;    // user + system
  long peakKilobytes = 0;   // largest resident set
};

// Runs `argv` in `folder` with standard input from `inputFile` and standard
// output and error to /dev/null, and times it.
ChildRun RunChild(const std::vector<std::string>& argv, const std::string& folder,
                  const std::string& inputFile = "/dev/null");

double Median(std::vector<double> values);

}  // namespace nimbrel

#endif  // NIMBREL_TESTS_SUPPORT_CHILD_PROCESS_H_

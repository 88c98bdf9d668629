// Commands and programs on POSIX systems: the shell runs both.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "support/test_env.h"

namespace nimbrel {

namespace {

int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

int RunCommand(const std::string& command) {
  std::fflush(stdout);
  int status = std::system(command.c_str());
  return status == -1 ? -1 : ExitCode(status);
}

void RunPrograms(const std::string& program, const std::string& folder, std::vector<ProgramRun>* runs) {
  TempDir outputs;
  std::vector<pid_t> children;
  std::fflush(stdout);
  for (size_t i = 0; i < runs->size(); ++i) {
    std::string output = outputs.File(std::to_string(i));
    std::string command = "exec '" + program + "' " + (*runs)[i].arguments;
    // The input (a few bytes) waits in the pipe before the program starts,
    // so a program that never reads it cannot make a write fail.
    int input[2];
    const std::string& bytes = (*runs)[i].input;
    if (pipe(input) != 0 ||
        (!bytes.empty() && write(input[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))) {
      std::abort();
    }
    close(input[1]);
    const std::string& inputFile = (*runs)[i].inputFile;
    pid_t child = fork();
    if (child == 0) {
      int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int err = open((output + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int in = inputFile.empty() ? input[0] : open(inputFile.c_str(), O_RDONLY);
      if (out < 0 || err < 0 || in < 0 || chdir(folder.c_str()) != 0) _exit(127);
      dup2(in, 0);
      dup2(out, 1);
      dup2(err, 2);
      close(input[0]);
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(input[0]);
    children.push_back(child);
  }
  for (size_t i = 0; i < runs->size(); ++i) {
    int status = 0;
    bool ended = children[i] > 0 && waitpid(children[i], &status, 0) == children[i];
    (*runs)[i].status = ended ? ExitCode(status) : -1;
    std::vector<uint8_t> bytes = ReadFileBytes(outputs.File(std::to_string(i)));
    (*runs)[i].output.assign(bytes.begin(), bytes.end());
    bytes = ReadFileBytes(outputs.File(std::to_string(i) + ".err"));
    (*runs)[i].errors.assign(bytes.begin(), bytes.end());
  }
}

}  // namespace nimbrel
#endif  // _WIN32

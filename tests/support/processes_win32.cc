// Commands and programs on Windows. Programs are started directly; shell
// commands go to the POSIX shell named by NIMBREL_POSIX_SHELL. Under wine
// that is a host program, which wine starts detached (there is no process
// handle to wait on), so the command's exit status comes back through a
// file.
#ifdef _WIN32
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/test_env.h"

namespace nimbrel {

namespace {

// `argument` quoted so that the C runtime's command-line splitting gives it
// back unchanged.
std::string QuoteArgument(const std::string& argument) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

// Starts `commandLine` in `folder` (null: here) with the given standard
// handles, which must be inheritable; false on failure. `process` is null
// for a program that runs detached.
bool Start(std::string commandLine, const char* folder, HANDLE input, HANDLE output, HANDLE* process,
           HANDLE errors = GetStdHandle(STD_ERROR_HANDLE)) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = errors;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, folder,
                      &startup, &started)) {
    return false;
  }
  // For a host program wine leaves no process handle, and a thread "handle"
  // that is not one: closing it would close some other handle of ours.
  if (started.hProcess != nullptr) CloseHandle(started.hThread);
  *process = started.hProcess;
  return true;
}

int WaitForExit(HANDLE process) {
  DWORD code = 0;
  bool ended = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
               GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return ended ? static_cast<int>(code) : -1;
}

SECURITY_ATTRIBUTES Inheritable() { return {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE}; }

}  // namespace

int RunCommand(const std::string& command) {
  const char* shell = std::getenv("NIMBREL_POSIX_SHELL");
  if (shell == nullptr || *shell == '\0') return -1;
  std::fflush(stdout);
  TempDir scratch;
  std::string status = scratch.File("status");
  std::string script = "(" + command + "); echo $? > '" + status + ".part' && mv '" + status +
                       ".part' '" + status + "'";
  HANDLE process = nullptr;
  if (!Start(QuoteArgument(shell) + " -c " + QuoteArgument(script), nullptr,
             GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE), &process)) {
    return -1;
  }
  if (process != nullptr) {
    WaitForExit(process);
  } else {
    for (int waited = 0; !std::filesystem::exists(status) && waited < 600000; waited += 5) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  std::ifstream in(status);
  int code = -1;
  return in >> code ? code : -1;
}

void RunPrograms(const std::string& program, const std::string& folder, std::vector<ProgramRun>* runs) {
  TempDir outputs;
  std::vector<HANDLE> processes;
  std::fflush(stdout);
  for (size_t i = 0; i < runs->size(); ++i) {
    // The input (a few bytes) waits in the pipe before the program starts.
    SECURITY_ATTRIBUTES inheritable = Inheritable();
    HANDLE read = nullptr, write = nullptr;
    DWORD written = 0;
    const std::string& bytes = (*runs)[i].input;
    if (!CreatePipe(&read, &write, &inheritable, 0) ||
        !WriteFile(write, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      std::abort();
    }
    CloseHandle(write);
    auto create = [&inheritable](const std::string& path) {
      HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) std::abort();
      return file;
    };
    HANDLE output = create(outputs.File(std::to_string(i)));
    HANDLE errors = create(outputs.File(std::to_string(i) + ".err"));
    const std::string& inputFile = (*runs)[i].inputFile;
    if (!inputFile.empty()) {
      CloseHandle(read);
      read = CreateFileA(inputFile.c_str(), GENERIC_READ, FILE_SHARE_READ, &inheritable,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (read == INVALID_HANDLE_VALUE) std::abort();
    }
    HANDLE process = nullptr;
    Start(QuoteArgument(program) + " " + (*runs)[i].arguments, folder.c_str(), read, output, &process,
          errors);
    processes.push_back(process);
    CloseHandle(read);
    CloseHandle(output);
    CloseHandle(errors);
  }
  for (size_t i = 0; i < runs->size(); ++i) {
    (*runs)[i].status = processes[i] != nullptr ? WaitForExit(processes[i]) : -1;
    std::vector<uint8_t> bytes = ReadFileBytes(outputs.File(std::to_string(i)));
    (*runs)[i].output.assign(bytes.begin(), bytes.end());
    bytes = ReadFileBytes(outputs.File(std::to_string(i) + ".err"));
    (*runs)[i].errors.assign(bytes.begin(), bytes.end());
  }
}

}  // namespace nimbrel
#endif  // _WIN32

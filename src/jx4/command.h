// How the jx4 commands plug into the program: each adds its subcommand, with
// its options, to the command line, and gives back what runs it once the
// line is parsed. Exit statuses, error lines and the output folder are the
// same everywhere.
#ifndef NIMBREL_JX4_COMMAND_H_
#define NIMBREL_JX4_COMMAND_H_

#include <functional>
#include <string>

namespace CLI {
class App;
}

namespace nimbrel {

// 0: all done and sound; 1: something could not be read, was damaged or
// could not be written (everything else still done); 2: the command line
// was wrong.
inline constexpr int kExitOk = 0;
inline constexpr int kExitTrouble = 1;
inline constexpr int kExitUsage = 2;

struct Command {
  CLI::App* app = nullptr;  // the subcommand
  std::function<int()> run;
};

Command AddConvertCommand(CLI::App& jx4);
Command AddListCommand(CLI::App& jx4);
Command AddInfoCommand(CLI::App& jx4);
Command AddVerifyCommand(CLI::App& jx4);
Command AddExtractCommand(CLI::App& jx4);
Command AddDecodeCommand(CLI::App& jx4);
Command AddRenderCommand(CLI::App& jx4);
Command AddCatalogueCommand(CLI::App& jx4);

#if defined(__GNUC__)
#define NIMBREL_PRINTF_LIKE __attribute__((format(printf, 1, 2)))
#else
#define NIMBREL_PRINTF_LIKE
#endif

// Prints "jx4: <message>\n" to standard error.
void PrintError(const char* format, ...) NIMBREL_PRINTF_LIKE;

// Creates the output folder `path` (with its parents) when it is missing and
// opens it by `open`; when that fails, says so and what to do (into `error`
// when given, else on standard error), and is false.
bool PrepareOutputFolder(const std::string& path, const std::function<bool(const char*)>& open,
                         std::string* error = nullptr);

}  // namespace nimbrel

#endif  // NIMBREL_JX4_COMMAND_H_

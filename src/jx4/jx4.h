// The jx4 program as a call: its command line parsed and the command run.
#ifndef NIMBREL_JX4_JX4_H_
#define NIMBREL_JX4_JX4_H_

namespace nimbrel {

// Returns the exit status (jx4/command.h).
int RunJx4(int argc, char** argv);

}  // namespace nimbrel

#endif  // NIMBREL_JX4_JX4_H_

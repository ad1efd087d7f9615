// ExitedProcessNumber over fork(2) and waitpid(2).
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/exited_process.h"

namespace testimg {

unsigned long ExitedProcessNumber() {
  const pid_t child = fork();
  if (child == 0) {
    _exit(0);
  }
  if (child < 0) {
    return 0;
  }
  int status = 0;
  waitpid(child, &status, 0);
  return static_cast<unsigned long>(child);
}

}  // namespace testimg

// Test support: the number of a process that has surely ended, for tests of
// what is done with files whose owner process is gone.
#pragma once

namespace testimg {

// Starts a child process that exits at once, waits for it and returns its
// process number; 0 when no child could be started.
unsigned long ExitedProcessNumber();

}  // namespace testimg

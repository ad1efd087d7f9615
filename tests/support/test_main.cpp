// The main of every test program. The engine's threads start at idle
// priority unless told otherwise (the window's choice); on a machine busy with
// other work an idle thread may wait for minutes, and a test waiting on it
// would fail for no fault of the code. The tests therefore run them at normal
// priority, as morvane-cli does; the priority test sets its own.
#include <gtest/gtest.h>

#include "base/thread.h"

int main(int argc, char** argv) {
  kiv::Thread::SetPriority(kiv::ThreadPriority::kNormal);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

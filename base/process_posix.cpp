// The POSIX parts of the owner texts: getpid(2) and kill(2) with signal 0.
#include <errno.h>
#include <stdio.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/process.h"
#include "base/unicode.h"

namespace kiv {

wchar_t ProcessPlatformLetter() {
  return L'p';
}

unsigned long CurrentProcessNumber() {
  return static_cast<unsigned long>(getpid());
}

std::wstring PlatformHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) {
    return std::wstring();
  }
  return Utf8ToWide(name);
}

namespace {

// The first line of a small system file, or the empty string.
std::string FirstLine(const char* path) {
  char line[128] = {};
  FILE* file = std::fopen(path, "re");
  if (file == nullptr) {
    return std::string();
  }
  const bool read = std::fgets(line, sizeof line, file) != nullptr;
  std::fclose(file);
  std::string text = read ? line : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.pop_back();
  }
  return text;
}

}  // namespace

std::wstring PlatformMachineIdentity() {
  // The machine-id stays across reboots, so that a later boot still knows
  // the temporaries of its own dead processes; the boot id stands in where
  // there is none.
  std::string identity = FirstLine("/etc/machine-id");
  if (identity.empty()) {
    identity = FirstLine("/var/lib/dbus/machine-id");
  }
  if (identity.empty()) {
    identity = FirstLine("/proc/sys/kernel/random/boot_id");
  }
  // Containers that share a host name number their processes apart.
  char space[64] = {};
  const ssize_t length = readlink("/proc/self/ns/pid", space, sizeof space - 1);
  if (length > 0) {
    identity += "|" + std::string(space, static_cast<std::size_t>(length));
  }
  return Utf8ToWide(identity);
}

bool ProcessMayRun(unsigned long number) {
  // Signal 0 only checks: ESRCH means no such process, EPERM one that runs
  // under another user.
  return kill(static_cast<pid_t>(number), 0) == 0 || errno != ESRCH;
}

}  // namespace kiv

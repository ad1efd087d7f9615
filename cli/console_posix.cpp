// The console edge on POSIX: arguments and output are UTF-8.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "base/path.h"
#include "base/unicode.h"
#include "cli/console.h"

namespace cli {

namespace {

volatile sig_atomic_t interrupted = 0;

// The first signal asks for a clean stop; the second asks the run to remove
// its temporaries and end at once (it polls for it); a third ends the
// process where it stands.
void OnInterrupt(int) {
  if (interrupted >= 2) {
    _exit(130);
  }
  interrupted = interrupted + 1;
}

}  // namespace

std::vector<std::wstring> Arguments(int argc, char** argv) {
  std::vector<std::wstring> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.push_back(kiv::Utf8ToWide(argv[i]));
  }
  return arguments;
}

void WriteLine(const std::wstring& text, bool toError) {
  std::FILE* out = toError ? stderr : stdout;
  const std::string bytes = kiv::WideToUtf8(text) + "\n";
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fflush(out);
}

void WriteRaw(const std::wstring& text) {
  const std::string bytes = kiv::WideToUtf8(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
}

bool IsTerminal(bool toError) {
  return isatty(toError ? STDERR_FILENO : STDOUT_FILENO) == 1;
}

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = &OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() {
  return interrupted != 0;
}

bool InterruptInsisted() {
  return interrupted > 1;
}

void EndAtOnce(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(status);
}

bool ReadStandardInput(std::string* bytes, size_t limit) {
  bytes->clear();
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got == 0) {
      return true;
    }
    if (got < 0) {
      if (errno == EINTR) {
        if (interrupted != 0) {
          return true;  // stopped: the run ends without converting
        }
        continue;
      }
      return false;
    }
    if (static_cast<size_t>(got) > limit - bytes->size()) {
      return false;
    }
    bytes->append(buffer, static_cast<size_t>(got));
  }
}

std::wstring FullPath(const std::wstring& path) {
  if (path.empty() || path[0] == L'/') {
    return path;
  }
  std::unique_ptr<char, decltype(&free)> current(getcwd(nullptr, 0), &free);
  if (!current) {
    return path;
  }
  std::wstring relative = path;
  while (relative.size() > 2 && relative[0] == L'.' && relative[1] == L'/') {
    relative.erase(0, 2);
  }
  if (relative == L".") {
    return kiv::Utf8ToWide(current.get());
  }
  return kiv::AddSeparator(kiv::Utf8ToWide(current.get())) + relative;
}

}  // namespace cli

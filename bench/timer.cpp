// Times commands as a benchmark needs: runs two commands alternately, after a
// warm-up of each, and prints for each the median wall time and the median
// CPU time (user + system) in microseconds, one line per command:
//   A <wall_us> <cpu_us>
//   B <wall_us> <cpu_us>
// Usage: tallsay_timer RUNS -- COMMAND_A... -- COMMAND_B...
// The commands' standard output and error go to /dev/null.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Sample {
  long long wall_us;
  long long cpu_us;
};

Sample run_once(char* const* command) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execvp(command[0], command);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  const auto wall = std::chrono::steady_clock::now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "tallsay_timer: %s failed\n", command[0]);
    std::exit(1);
  }
  const auto micros = [](const timeval& t) { return t.tv_sec * 1000000LL + t.tv_usec; };
  return {std::chrono::duration_cast<std::chrono::microseconds>(wall).count(),
          micros(usage.ru_utime) + micros(usage.ru_stime)};
}

long long median(std::vector<long long> values) {
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || std::strcmp(argv[2], "--") != 0) {
    std::fputs("usage: tallsay_timer RUNS -- COMMAND_A... -- COMMAND_B...\n", stderr);
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  char** command_a = argv + 3;
  char** command_b =
      std::find_if(command_a, argv + argc, [](const char* a) { return std::strcmp(a, "--") == 0; });
  if (command_b == argv + argc) return 2;
  *command_b++ = nullptr;  // argv[argc] is already null
  std::vector<long long> wall[2], cpu[2];
  run_once(command_a);
  run_once(command_b);
  for (int i = 0; i < runs; ++i) {
    for (int which = 0; which < 2; ++which) {
      const Sample sample = run_once(which == 0 ? command_a : command_b);
      wall[which].push_back(sample.wall_us);
      cpu[which].push_back(sample.cpu_us);
    }
  }
  std::printf("A %lld %lld\nB %lld %lld\n", median(wall[0]), median(cpu[0]), median(wall[1]),
              median(cpu[1]));
  return 0;
}

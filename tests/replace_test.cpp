// The script replaced whole: what a reader of the script sees while an
// interactive run rewrites it, what a failed write leaves, and the scripts
// that are written where they stand instead.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#else
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#endif

#include "frontend/run_options.h"
#include "support.h"

namespace tallsay {
namespace {

using test::names_in;
using test::read_file;
using test::ScratchDir;
using test::write_file;

const std::string kOld = "old script\r\n";
const std::set<std::string> kRunFiles = {"out.cfg", "in.txt", "stdin", "stdout", "stderr"};

// Converts `text` in `dir` into the script `name`: a batch run over in.txt,
// or an interactive run with `text` typed.
test::ProgramResult convert(const ScratchDir& dir, bool batch, const std::string& text,
                            const char* name = "out.cfg") {
  write_file(dir.path / "in.txt", text);
  write_file(dir.path / "stdin", text);
  std::vector<std::string> args = {std::string("--out-file=") + dir.file(name)};
  if (batch) args.push_back("--in-file=" + dir.file("in.txt"));
  return test::run_in_process(test::run_tool, dir, args,
                              open_file(dir.file("stdin").c_str(), "rb"));
}

// The script that a run leaves for the one line `text`.
std::string script_of(const std::string& text) {
  ScratchDir dir;
  convert(dir, true, text + "\n");
  return read_file(dir.path / "out.cfg");
}

TEST(ReplaceTest, AReaderOfTheScriptSeesOnlyWholeScripts) {
  ScratchDir dir;
  const auto out = dir.path / "out.cfg";
  write_file(out, kOld);
  std::set<std::string> whole = {kOld};
  std::string lines;
  for (int i = 0; i < 300; ++i) {
    lines += "line " + std::to_string(i) + "\n";
    whole.insert(script_of("line " + std::to_string(i)));
  }
  std::atomic<bool> done{false};
  int reads = 0;
  int refused = 0;
  int broken = 0;
  std::thread game([&] {
    while (!done) {
      std::ifstream script(out, std::ios::binary);
      if (!script.is_open()) {
        ++refused;
        continue;
      }
      ++reads;
      if (whole.count(std::string(std::istreambuf_iterator<char>(script), {})) == 0) ++broken;
#ifdef _WIN32
      // A game reads its script now and then. One that held it open all the
      // time would keep the rename from ever happening, and the tool would
      // write the script in place after trying for a while.
      script.close();
      Sleep(1);
#endif
    }
  });
  std::FILE* input = test::start_program(TALLSAY_EXE, dir, {"--out-file=" + dir.file("out.cfg")});
  for (std::size_t start = 0; start < lines.size();) {
    const std::size_t end = lines.find('\n', start) + 1;
    std::fwrite(lines.data() + start, 1, end - start, input);
    std::fflush(input);
    start = end;
  }
  EXPECT_EQ(0, test::finish_program(dir, input).status);
  done = true;
  game.join();
  EXPECT_EQ(script_of("line 299"), read_file(out));
  std::printf("%d reads of the script while it was rewritten, %d not whole, %d refused\n", reads,
              broken, refused);
  EXPECT_EQ(0, broken) << "of " << reads << " reads";
  EXPECT_LT(100, reads);
#ifdef _WIN32
  // Windows refuses to open a file while it is renamed to a reader that does
  // not share deleting, as most programs do not; such a reader tries again.
  EXPECT_GT(reads, refused);
#else
  EXPECT_EQ(0, refused);
#endif
  EXPECT_EQ(std::set<std::string>({"out.cfg", "stdout", "stderr"}), names_in(dir));
}

TEST(ReplaceTest, ANameWithNoRoomForTheTemporaryOneIsWrittenInPlace) {
  // The temporary name adds to the script's name, past the longest name a
  // folder takes.
  const std::string name(250, 'n');
  for (const bool batch : {true, false}) {
    ScratchDir dir;
    write_file(dir.path / name, kOld);
    const auto result = convert(dir, batch, "!\n", name.c_str());
    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_EQ(script_of("!"), read_file(dir.path / name));
    EXPECT_EQ(std::set<std::string>({name, "in.txt", "stdin", "stdout", "stderr"}), names_in(dir));
  }
}

// A device, and a stream the caller opened, are written where they stand,
// whatever the script's memory held before (as a script on the stack may).
TEST(ReplaceTest, ScriptsWrittenWhereTheyStandWhateverTheMemoryHeld) {
  static ScriptFile script;
  std::memset(&script, 0xA5, sizeof script);
#ifdef _WIN32
  ASSERT_TRUE(open_script(script, "NUL"));
#else
  ASSERT_TRUE(open_script(script, "/dev/null"));
#endif
  EXPECT_TRUE(close_script(script));
  std::memset(&script, 0xA5, sizeof script);
  start_script(script, std::tmpfile());
  EXPECT_TRUE(close_script(script));
}

#ifdef _WIN32
TEST(ReplaceTest, AScriptHeldOpenIsWrittenInPlace) {
  // A program that holds the script open without sharing its deletion keeps
  // it from being renamed over; after trying for a while, the tool writes it
  // in place.
  ScratchDir dir;
  write_file(dir.path / "out.cfg", kOld);
  const HANDLE held =
      CreateFileW((dir.path / "out.cfg").wstring().c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  const auto result = convert(dir, false, "!\n");
  CloseHandle(held);
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_EQ(script_of("!"), read_file(dir.path / "out.cfg"));
  EXPECT_EQ(kRunFiles, names_in(dir));
}

TEST(ReplaceTest, AReadOnlyScriptIsNotReplaced) {
  for (const bool batch : {true, false}) {
    ScratchDir dir;
    write_file(dir.path / "out.cfg", kOld);
    const std::wstring script = (dir.path / "out.cfg").wstring();
    SetFileAttributesW(script.c_str(), FILE_ATTRIBUTE_READONLY);
    const auto result = convert(dir, batch, "!\n");
    SetFileAttributesW(script.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("Error, output file open error\n", result.err);
    EXPECT_EQ(kOld, read_file(dir.path / "out.cfg"));
    EXPECT_EQ(kRunFiles, names_in(dir));
  }
}
#else
TEST(ReplaceTest, AFailedWriteKeepsThePreviousScript) {
  // Past the file size limit a write fails (the tool ignores the signal that
  // would end it, as the test does here).
  std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  for (const bool batch : {true, false}) {
    ScratchDir dir;
    write_file(dir.path / "out.cfg", kOld);
    struct rlimit limit = saved;
    limit.rlim_cur = 16 * 1024;  // below the 25 KB block of the line
    setrlimit(RLIMIT_FSIZE, &limit);
    const auto result = convert(dir, batch, std::string(1024, 'H') + "\n");
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(1, result.status) << batch;
    EXPECT_EQ("Error, output file write error\n", result.err) << batch;
    EXPECT_EQ(kOld, read_file(dir.path / "out.cfg")) << batch;
    EXPECT_EQ(kRunFiles, names_in(dir)) << batch;
  }
}

TEST(ReplaceTest, TheNewScriptKeepsTheOwnerAndPermissionsOfTheOld) {
  const mode_t mask = umask(022);
  // Where the tests may, the old script belongs to another user.
  const uid_t owner = geteuid() == 0 ? 65534 : geteuid();
  const gid_t group = geteuid() == 0 ? 65534 : getegid();
  for (const mode_t mode : {0600, 0640, 0664}) {
    ScratchDir dir;
    write_file(dir.path / "out.cfg", kOld);
    chmod(dir.file("out.cfg").c_str(), mode);
    EXPECT_EQ(0, chown(dir.file("out.cfg").c_str(), owner, group));
    struct stat info;
    stat(dir.file("out.cfg").c_str(), &info);
    const ino_t old_file = info.st_ino;
    EXPECT_EQ(0, convert(dir, false, "!\n").status);
    stat(dir.file("out.cfg").c_str(), &info);
    EXPECT_NE(old_file, info.st_ino) << "replaced, not written in place";
    EXPECT_EQ(mode, info.st_mode & 07777);
    EXPECT_EQ(owner, info.st_uid);
    EXPECT_EQ(group, info.st_gid);
    EXPECT_EQ(script_of("!"), read_file(dir.path / "out.cfg"));
  }
  ScratchDir dir;
  EXPECT_EQ(0, convert(dir, false, "!\n").status);
  struct stat info;
  stat(dir.file("out.cfg").c_str(), &info);
  EXPECT_EQ(0644u, info.st_mode & 07777) << "a new script is made as the mask allows";
  umask(mask);
}

TEST(ReplaceTest, AFifoIsWrittenInPlace) {
  ScratchDir dir;
  ASSERT_EQ(0, mkfifo(dir.file("out.cfg").c_str(), 0600));
  std::string read;
  std::thread game([&] { read = read_file(dir.path / "out.cfg"); });
  const auto result = convert(dir, true, "Hi\n!\n");
  game.join();
  EXPECT_EQ(0, result.status);
  // The header once, then both blocks.
  EXPECT_EQ(script_of("Hi") + script_of("!").substr(38), read);
  EXPECT_EQ(kRunFiles, names_in(dir));
}

// Scripts their user may not replace. When the tests run as root, the run
// gives up the powers that let root pass over a file's mode, so that the
// modes hold for it as for anyone.
TEST(ReplaceTest, ScriptsOfLockedFoldersAndFiles) {
  struct Case {
    const char* name;
    mode_t folder;
    mode_t script;
    int status;
    const char* err;
    bool replaced;
  };
  for (const Case& c : {
           Case{"folder_takes_no_new_file", 0555, 0666, 0, "", true},
           Case{"read_only_script", 0755, 0444, 1, "Error, output file open error\n", false},
       }) {
    for (const bool batch : {true, false}) {
      ScratchDir dir;
      for (const char* name : {"in.txt", "stdin", "stdout", "stderr"})
        write_file(dir.path / name, "");
      write_file(dir.path / "out.cfg", kOld);
      chmod(dir.file("out.cfg").c_str(), c.script);
      chmod(dir.path.c_str(), c.folder);
      const pid_t child = fork();
      if (child == 0) {
        __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct powers[2] = {};
        syscall(SYS_capget, &header, powers);
        powers[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        if (syscall(SYS_capset, &header, powers) != 0) _exit(99);
        std::_Exit(convert(dir, batch, "!\n").status);
      }
      int status = 0;
      waitpid(child, &status, 0);
      chmod(dir.path.c_str(), 0755);
      EXPECT_EQ(c.status, WIFEXITED(status) ? WEXITSTATUS(status) : -1) << c.name << batch;
      EXPECT_EQ(c.err, read_file(dir.path / "stderr")) << c.name << batch;
      EXPECT_EQ(c.replaced ? script_of("!") : kOld, read_file(dir.path / "out.cfg")) << c.name;
      EXPECT_EQ(kRunFiles, names_in(dir)) << c.name << batch;
    }
  }
}
#endif

}  // namespace
}  // namespace tallsay

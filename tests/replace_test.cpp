// The script replaced whole: what a reader of the script sees while an
// interactive run rewrites it, what a failed write leaves, and the scripts
// that are written where they stand instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which they need.
#include <sddl.h>
#include <cstdlib>
#include <cwchar>
#else
#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#endif

#include "frontend/run_options.h"
#include "support.h"

namespace tallsay {
namespace {

using test::convert;
using test::names_in;
using test::read_file;
using test::ScratchDir;
using test::write_file;

const std::string kOld = "old script\r\n";

// The script that a run leaves for the one line `text`.
std::string script_of(const std::string& text) {
  ScratchDir dir;
  convert(dir, true, text + "\n");
  return read_file(dir.path / "out.cfg");
}

// A game that reads the script over and over while an interactive run
// rewrites it sees the old or a new script, whole. A script of two hard
// links is written where it stands: a reader may see a new script over the
// rest of an older one, but never an empty script.
TEST(ReplaceTest, AReaderOfTheScriptSeesOnlyWholeScripts) {
#ifdef _WIN32
  for (const bool linked : {false}) {
#else
  for (const bool linked : {false, true}) {
#endif
    ScratchDir dir;
    const auto out = dir.path / "out.cfg";
    write_file(out, kOld);
    if (linked) std::filesystem::create_hard_link(out, dir.path / "second.cfg");
    std::set<std::string> whole = {kOld};
    for (int i = 0; i < 300; ++i) whole.insert(script_of("line " + std::to_string(i)));
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
        const std::string bytes(std::istreambuf_iterator<char>(script), {});
        if (linked ? bytes.empty() : whole.count(bytes) == 0) ++broken;
#ifdef _WIN32
        // A game reads its script now and then. One that held it open all
        // the time would keep the rename from ever happening, and the run
        // would fail after trying for a few seconds.
        script.close();
        Sleep(5);
#endif
      }
    });
    std::FILE* input = test::start_program(TALLSAY_EXE, dir, {"--out-file=" + dir.file("out.cfg")});
    for (int i = 0; i < 300; ++i) {
      std::fprintf(input, "line %d\n", i);
      std::fflush(input);
    }
    EXPECT_EQ(0, test::finish_program(dir, input).status);
    done = true;
    game.join();
    EXPECT_EQ(script_of("line 299"), read_file(out));
    EXPECT_EQ(0, broken) << "of " << reads << " reads, linked " << linked;
    EXPECT_LT(100, reads);
#ifndef _WIN32
    // Windows refuses to open a file while it is renamed, and the new script
    // until the run has closed it, to a reader that does not share deleting,
    // as most programs do not; such a reader tries again, as often as the
    // load of the machine lets it, so the refusals tell nothing there.
    EXPECT_EQ(0, refused);
#endif
    std::set<std::string> left = {"out.cfg", "stdout", "stderr"};
    if (linked) left.insert("second.cfg");
    EXPECT_EQ(left, names_in(dir));
  }
}

// A script replaced, made new, written where it stands (a device, a FIFO
// that a game reads, a stream the caller opened), or not opened at all, whatever its memory held
// before (as a script on the stack may): nothing of an earlier script is taken for this one's, and
// a failed open closes no descriptor it did not open.
TEST(ReplaceTest, ScriptsWhateverTheMemoryHeld) {
  static ScriptFile script;
  // The script's path (those with a '.' in the scratch folder, where link.cfg
  // leads into a missing folder and fifo.cfg is a FIFO; "" a stream of the
  // test's), and whether it opens.
  const std::pair<const char*, bool> kScripts[] = {
#ifdef _WIN32
      {"NUL", true},
#else
      {"/dev/null", true}, {"missing/out.cfg", false}, {"link.cfg", false}, {"fifo.cfg", true},
#endif
      {"", true},
      {"old.cfg", true},
      {"new.cfg", true}};
  const std::string written = std::string(kScriptHeader) + "\r\n\r\nsay \"x\"\r\n";
  for (const int fill : {0x00, 0xA5, 0xFF}) {
    ScratchDir dir;
    write_file(dir.path / "old.cfg", kOld);
#ifndef _WIN32
    ASSERT_EQ(0, symlink("missing/out.cfg", dir.file("link.cfg").c_str()));
    ASSERT_EQ(0, mkfifo(dir.file("fifo.cfg").c_str(), 0600));
    std::string read;
    std::thread game([&] { read = read_file(dir.path / "fifo.cfg"); });
    // Descriptor 0 held by a file of the test's own.
    const int saved = dup(0);  // -1 where descriptor 0 is closed
    const int held = open(dir.file("old.cfg").c_str(), O_RDONLY);
    if (held != 0) {
      dup2(held, 0);
      close(held);
    }
#endif
    for (const auto& [name, opens] : kScripts) {
      const bool in_folder = std::strchr(name, '.') != nullptr;
      std::memset(&script, fill, sizeof script);
      bool opened = true;
      if (*name == '\0') start_script(script, std::tmpfile());
      if (*name != '\0') opened = open_script(script, in_folder ? dir.file(name).c_str() : name);
      EXPECT_EQ(opens, opened) << fill << name;
      if (opened) {
        EXPECT_TRUE(write_line(script, "say \"x\"")) << fill << name;
        EXPECT_TRUE(close_script(script)) << fill << name;
      }
      if (opened && in_folder && std::strcmp(name, "fifo.cfg") != 0) {
        EXPECT_EQ(written, read_file(dir.path / name)) << fill << name;
      }
#ifndef _WIN32
      EXPECT_NE(-1, fcntl(0, F_GETFD)) << fill << name << ": descriptor 0 was closed";
#endif
    }
#ifndef _WIN32
    game.join();
    EXPECT_EQ(written, read) << fill;
    std::filesystem::remove(dir.path / "link.cfg");
    std::filesystem::remove(dir.path / "fifo.cfg");
    saved < 0 ? close(0) : (dup2(saved, 0), close(saved));
#endif
    EXPECT_EQ(std::set<std::string>({"old.cfg", "new.cfg"}), names_in(dir)) << fill;
  }
}

#ifdef _WIN32
// The attributes of windows_scripts.cases: H, S and R.
DWORD attributes_of(const std::string& letters) {
  const auto has = [&](char letter) { return letters.find(letter) != std::string::npos; };
  return FILE_ATTRIBUTE_NORMAL | (has('H') ? FILE_ATTRIBUTE_HIDDEN : 0u) |
         (has('S') ? FILE_ATTRIBUTE_SYSTEM : 0u) | (has('R') ? FILE_ATTRIBUTE_READONLY : 0u);
}

// Fills the small disk `disk` with the file filler but for `free_kb` KiB.
void fill(const std::filesystem::path& disk, int free_kb) {
  const int fd = _wopen((disk / "filler").c_str(), _O_WRONLY | _O_CREAT | _O_BINARY, 0600);
  const std::string chunk(4096, 'f');
  while (_write(fd, chunk.data(), 4096) == 4096) {
  }
  _chsize_s(fd, std::max<long long>(0, _filelengthi64(fd) - free_kb * 1024LL));
  _close(fd);
}

// The names in the folder `folder`, listed by its \\?\ path, which takes
// paths past 260 characters.
int count_names(const std::filesystem::path& folder) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((L"\\\\?\\" + folder.wstring() + L"\\*").c_str(), &found);
  int count = 0;
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
    count += std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0;
  }
  FindClose(search);
  return count;
}

// The access list of the file `path`, as bytes; "none" when it has none.
std::string access_list(const std::filesystem::path& path) {
  alignas(8) unsigned char security[16384];
  DWORD needed = 0;
  PACL list = nullptr;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  if (GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, security, sizeof security,
                       &needed) == 0 ||
      GetSecurityDescriptorDacl(security, &present, &list, &defaulted) == 0 || list == nullptr) {
    return "none";
  }
  return std::string(reinterpret_cast<const char*>(list), list->AclSize);
}

// Runs the rows of windows_scripts.cases on the small disk `disk`, or, when
// it is empty, those that are not for it.
void replace_windows_scripts(const std::filesystem::path& disk) {
  const std::string line(1024, 'H');
  const std::string script = script_of(line);
  for (const auto& c : test::read_cases({"windows_scripts.cases"}, 9, 9)) {
    if (c[5].empty() != disk.empty()) continue;
    for (const bool batch : {true, false}) {
      ScratchDir dir;
      const auto folder = (disk.empty() ? dir.path : disk) / "s";
      // convert() takes a name in the scratch folder, or a whole path in ASCII.
      const std::string name = (disk.empty() ? "s" : folder.u8string()) + "/" + c[1];
      auto old = folder / std::filesystem::u8path(c[2].empty() ? c[1] : c[2]);
      old.make_preferred();
      std::filesystem::create_directories(old.parent_path());
      if (!c[2].empty()) write_file(old, kOld);
      const bool linked = c[3] == "L";
      if (linked) std::filesystem::create_hard_link(old, old.parent_path() / "second.cfg");
      SetFileAttributesW(old.c_str(), attributes_of(c[3]));
      if (c[3] == "A") {
        // Full access for everyone, reading for the users, nothing inherited.
        PSECURITY_DESCRIPTOR own = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;WD)(A;;FR;;;BU)",
                                                             SDDL_REVISION_1, &own, nullptr);
        EXPECT_NE(0, SetFileSecurityW(old.c_str(), DACL_SECURITY_INFORMATION, own));
        LocalFree(own);
      }
      // The access list the script must have: the old one's, or for a new
      // one what its folder gives any new file.
      if (c[2].empty()) write_file(folder / "plain.cfg", "");
      const std::string access = access_list(c[2].empty() ? folder / "plain.cfg" : old);
      std::filesystem::remove(folder / "plain.cfg");
      if (!disk.empty()) fill(disk, std::stoi(c[5]));
      const HANDLE held =
          c[4].empty() ? INVALID_HANDLE_VALUE
                       : CreateFileW(old.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
      // Let go of by another program after a moment, or after the run.
      std::thread release([&] {
        if (c[4] == "run" || c[4].empty()) return;
        Sleep(std::stoul(c[4]));
        CloseHandle(held);
      });
      const auto result = convert(dir, batch, line + "\n", name.c_str());
      release.join();
      if (c[4] == "run") CloseHandle(held);
      const DWORD kept = GetFileAttributesW(old.c_str());
      const std::string kept_access = access_list(old);
      SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_NORMAL);
      std::filesystem::remove(disk / "filler");
      EXPECT_EQ(std::stoi(c[6]), result.status) << c[0] << batch;
      EXPECT_EQ(c[7], result.err) << c[0] << batch;
      const bool made = std::filesystem::exists(old);
      const std::string after = made ? read_file(old) : "";
      EXPECT_EQ(c[8], after == script ? "new"
                      : after == kOld ? "old"
                      : made          ? "other"
                                      : "none")
          << c[0] << batch << ": " << after.size() << " bytes";
      if (made) {
        EXPECT_EQ(attributes_of(c[3]) & 7, kept & 7) << c[0] << batch;
        EXPECT_EQ(access, kept_access) << c[0] << batch;
      }
      if (linked) {
        EXPECT_EQ(after, read_file(old.parent_path() / "second.cfg")) << c[0] << batch;
        std::filesystem::remove(old.parent_path() / "second.cfg");
      }
      EXPECT_EQ(made ? 1 : 0, count_names(old.parent_path()))
          << c[0] << batch << ": files left beside the script";
      // Removed by their \\?\ paths too.
      for (auto at = old; at != folder; at = at.parent_path()) {
        const std::wstring whole = L"\\\\?\\" + at.wstring();
        if (DeleteFileW(whole.c_str()) == 0) RemoveDirectoryW(whole.c_str());
      }
    }
  }
}

TEST(ReplaceTest, WindowsScripts) {
  replace_windows_scripts({});
}

// Run by wine_check.sh, with TALLSAY_FULL_DISK naming the folder of a small disk.
TEST(ReplaceTest, DISABLED_WindowsScriptsOnAFullDisk) {
  const char* disk = std::getenv("TALLSAY_FULL_DISK");
  ASSERT_NE(nullptr, disk);
  replace_windows_scripts(std::filesystem::u8path(disk));
}

TEST(ReplaceTest, AnArgumentThatIsNoTextIsRefused) {
  // A lone surrogate, which has no UTF-8 form, in the script's name.
  ScratchDir dir;
  const std::wstring command = L"\"\"" + std::filesystem::u8path(TALLSAY_EXE).wstring() +
                               L"\" \"--out-file=" + (dir.path / L"x\xD800.cfg").wstring() +
                               L"\" 2>\"" + (dir.path / "stderr").wstring() + L"\"\"";
  std::FILE* input = _wpopen(command.c_str(), L"wb");
  std::fputs("Hi\n", input);
  EXPECT_EQ(1, _pclose(input));
  EXPECT_EQ("Error, an argument is not valid text: it holds a lone UTF-16 surrogate\r\n",
            read_file(dir.path / "stderr"));
  EXPECT_EQ(std::set<std::string>({"stderr"}), names_in(dir));
}

#else
// The second user of the tests that run as root, an id no account uses;
// the one below it is a third user.
constexpr unsigned kOther = 65534;

// Runs `work` in a child process as the second user, and returns the child's
// id; the child ends with the status `work` returns.
template <typename Work>
pid_t as_other_user(Work work) {
  const pid_t child = fork();
  if (child != 0) return child;
  if (setgroups(0, nullptr) != 0 || setresgid(kOther, kOther, kOther) != 0 ||
      setresuid(kOther, kOther, kOther) != 0) {
    _exit(99);
  }
  _exit(work());
}

int exit_status(pid_t child) {
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Ends the child process `child` and waits for it.
void stop(pid_t child) {
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

// The folder of the tests of the second user: /tmp, which every user
// reaches, whatever TMPDIR is.
const char* const kOpenToAll = "/tmp";

// Whether the second user can reach the folder `dir`: not when the tests do
// not run as root.
bool other_user_reaches(const ScratchDir& dir) {
  return exit_status(
             as_other_user([&] { return access(dir.file("").c_str(), X_OK) == 0 ? 0 : 1; })) == 0;
}

#define SKIP_UNLESS_THE_SECOND_USER_REACHES(dir)                                          \
  if (!other_user_reaches(dir)) {                                                         \
    GTEST_SKIP() << "no second user reaches " << (dir).path << ": run the tests as root"; \
  }

// The second user owns the folder att and swaps a name on the script's path,
// over and over, with a link to root's file victim/chat.cfg or to the folder
// victim of a third user's, while root writes the script: the file outside
// att stays as it was.
TEST(ReplaceTest, ASwapOfANameAndALinkChangesNothingOutsideTheFolder) {
  // The name swapped with att/link, and where att/link leads.
  for (const auto& swap : {std::pair{"chat.cfg", "../victim/chat.cfg"}, {"game", "../victim"}}) {
    ScratchDir dir(kOpenToAll);
    SKIP_UNLESS_THE_SECOND_USER_REACHES(dir);
    const std::string folder = dir.file("att");
    const std::string victim = dir.file("victim/chat.cfg");
    ASSERT_EQ(0, mkdir(folder.c_str(), 0755));
    ASSERT_EQ(0, chown(folder.c_str(), kOther, kOther));
    ASSERT_EQ(0, mkdir(dir.file("victim").c_str(), 0755));
    ASSERT_EQ(0, chown(dir.file("victim").c_str(), kOther - 1, kOther - 1));
    write_file(victim, kOld);
    const bool in_folder = std::strcmp(swap.first, "game") == 0;
    const pid_t swapper = as_other_user([&]() -> int {
      const std::string name = folder + "/" + swap.first;
      const std::string link = folder + "/link";
      if (in_folder && mkdir(name.c_str(), 0755) != 0) return 1;
      write_file(in_folder ? name + "/chat.cfg" : name, kOld);
      const auto is_link = [](const std::string& at) {
        struct stat info;
        return lstat(at.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
      };
      for (;;) {
        // A run that renamed its new script over the link took the link's
        // place: the link is made anew.
        if (!is_link(name) && !is_link(link)) {
          unlink(link.c_str());
          symlink(swap.second, link.c_str());
        }
        renameat2(AT_FDCWD, name.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
      }
    });
    while (access((folder + "/link").c_str(), F_OK) != 0) std::this_thread::yield();
    const std::string script = in_folder ? "att/game/chat.cfg" : "att/chat.cfg";
    int runs = 0;
    int replaced = 0;
    for (; runs < 300 && read_file(victim) == kOld; ++runs) {
      replaced += convert(dir, runs % 2 == 0, "!\n", script.c_str()).status == 0;
    }
    stop(swapper);
    EXPECT_EQ(kOld, read_file(victim)) << swap.first << " after " << runs << " runs";
    EXPECT_LT(0, replaced) << swap.first;
  }
}

TEST(ReplaceTest, ASecondUserOpensNoNewScript) {
  // A script of root's that only root may read, rewritten line by line with
  // a mask that lets everyone write new files; the second user opens every
  // such file the moment it appears in the folder, until the file end
  // appears, and ends with the count of those it opened.
  ScratchDir dir(kOpenToAll);
  SKIP_UNLESS_THE_SECOND_USER_REACHES(dir);
  write_file(dir.path / "out.cfg", kOld);
  chmod(dir.file("out.cfg").c_str(), 0600);
  const int watch = inotify_init();
  ASSERT_LE(0, inotify_add_watch(watch, dir.file("").c_str(), IN_CREATE));
  const pid_t reader = as_other_user([&] {
    int opened = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t size; (size = read(watch, events, sizeof events)) > 0;) {
      for (ssize_t at = 0; at < size;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        if (std::strcmp(event->name, "end") == 0) return std::min(opened, 200);
        // The run's own files are open to all; the new script's must not be.
        const int fd = std::strncmp(event->name, "out.cfg", 7) == 0
                           ? open((dir.path / event->name).c_str(), O_RDONLY)
                           : -1;
        opened += fd >= 0 ? 1 : 0;
        if (fd >= 0) close(fd);
        at += static_cast<ssize_t>(sizeof *event + event->len);
      }
    }
    return 100;
  });
  const mode_t mask = umask(0);
  const auto result = convert(dir, false, test::numbered_lines(2000));
  umask(mask);
  write_file(dir.path / "end", "");
  EXPECT_EQ(0, exit_status(reader)) << "files the second user opened while 2000 lines were written";
  close(watch);
  EXPECT_EQ(0, result.status);
  struct stat info;
  stat(dir.file("out.cfg").c_str(), &info);
  EXPECT_EQ(0600u, info.st_mode & 07777);
}

// The users (and groups) of scripts.cases by name: me (root, who runs the
// tool), b and c.
unsigned id_of(const std::string& name) {
  return name == "b" ? kOther : name == "c" ? kOther - 1 : 0;
}
const char* name_of(unsigned id) {
  return id == 0 ? "me" : id == kOther ? "b" : id == kOther - 1 ? "c" : "?";
}

// Makes the item `item` of scripts.cases in `dir`; `append_only` gets the
// folders made append-only. Returns false when that cannot be done here.
bool make_item(const ScratchDir& dir, const std::string& item, std::vector<int>& append_only) {
  const auto w = test::split(item, ':');
  const std::string path = dir.file(w[1].c_str());
  if (w[0] == "hard") return link(dir.file(w[2].c_str()).c_str(), path.c_str()) == 0;
  if (w[0] == "squat") {
    // The names a temporary file of this process could take if they were
    // made of its id and a count, made first by the second user.
    const std::string front = path + ".tallsay-" + std::to_string(getpid()) + "-";
    return exit_status(as_other_user([&] {
             for (int n = 0; n < std::stoi(w[2]); ++n) {
               if (open((front + std::to_string(n) + ".tmp").c_str(), O_CREAT | O_EXCL, 0644) < 0) {
                 return 1;
               }
             }
             return 0;
           })) == 0;
  }
  if (w[0] == "attr") {
    std::string pairs;  // from_hex reads the bytes apart by spaces
    for (std::size_t at = 0; at < w[3].size(); at += 2) pairs += w[3].substr(at, 2) + ' ';
    const std::string value = test::from_hex(pairs);
    return setxattr(path.c_str(), w[2].c_str(), value.data(), value.size(), 0) == 0;
  }
  if (w[0] == "append") {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    append_only.push_back(fd);
    return ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
           (flags |= FS_APPEND_FL, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
  }
  if (w[0] == "dir") mkdir(path.c_str(), 0755);
  if (w[0] == "file") write_file(path, kOld);
  if (w[0] == "link") symlink(w[2].c_str(), path.c_str());
  const auto owner = test::split(w[w[0] == "link" ? 3 : 2], '.');
  lchown(path.c_str(), id_of(owner[0]), id_of(owner.back()));
  if (w.size() == 4 && w[0] != "link")
    chmod(path.c_str(), static_cast<mode_t>(std::stoul(w[3], nullptr, 8)));
  return true;
}

// Every name under `dir`, its folders' too, a link not followed.
std::set<std::string> all_names(const ScratchDir& dir) {
  std::set<std::string> names;
  for (auto at = std::filesystem::recursive_directory_iterator(dir.path); at != decltype(at)();
       ++at) {
    names.insert(at->path().lexically_relative(dir.path).u8string());
  }
  return names;
}

// What the file `name` is now, as an after field of scripts.cases says it;
// `before` is its inode before the run, 0 when it was not there.
std::string file_now(const ScratchDir& dir, const std::string& name, ino_t before) {
  const std::string path = dir.file(name.c_str());
  struct stat info = {};
  char text[256] = {};
  if (lstat(path.c_str(), &info) != 0) return "none";
  if (S_ISLNK(info.st_mode) && readlink(path.c_str(), text, sizeof text - 1) > 0) {
    return "link:" + std::string(text);
  }
  const std::string bytes = read_file(path);
  std::snprintf(text, sizeof text, "%s,%04o,%s.%s,%s",
                bytes == kOld ? "old"
                : bytes == script_of("!") ? "new"
                                          : "other",
                static_cast<unsigned>(info.st_mode & 07777), name_of(info.st_uid),
                name_of(info.st_gid),
                before == 0 ? "made"
                : info.st_ino == before ? "kept"
                                        : "replaced");
  // Its extended attributes, in the order of their names.
  char names[1024];
  const ssize_t size = listxattr(path.c_str(), names, sizeof names);
  std::set<std::string> attributes;
  for (ssize_t at = 0; at < size; at += static_cast<ssize_t>(std::strlen(names + at) + 1)) {
    unsigned char value[256];
    const ssize_t length = getxattr(path.c_str(), names + at, value, sizeof value);
    std::string attribute = std::string(",x:") + (names + at) + ":";
    for (ssize_t i = 0; i < length; ++i) {
      for (const int shift : {4, 0}) attribute += "0123456789abcdef"[value[i] >> shift & 15];
    }
    attributes.insert(attribute);
  }
  std::string now = text;
  for (const auto& attribute : attributes) now += attribute;
  return now;
}

// Runs `run` as root; with "nocaps" in a child that has given up the powers
// that let root pass over a file's mode, so that modes hold for it as for
// anyone; with "fsize" in a child whose writes fail past 64 bytes (the tool
// ignores the signal that would end it, as the child does).
int run_as(const std::string& how, const std::function<int()>& run) {
  if (how == "root") return run();
  const pid_t child = fork();
  if (child == 0 && how == "fsize") {
    std::signal(SIGXFSZ, SIG_IGN);
    // The hard limit stays as it is: a limit set on the tests may be below
    // any other.
    struct rlimit limit = {};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 64;
    std::_Exit(setrlimit(RLIMIT_FSIZE, &limit) == 0 ? run() : 99);
  }
  if (child == 0) {
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct powers[2] = {};
    syscall(SYS_capget, &header, powers);
    powers[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
    std::_Exit(syscall(SYS_capset, &header, powers) == 0 ? run() : 99);
  }
  return exit_status(child);
}

TEST(ReplaceTest, LinuxScripts) {
  for (const auto& c : test::read_cases({"scripts.cases"}, 7, 7)) {
    for (const bool batch : {true, false}) {
      ScratchDir dir(kOpenToAll);
      SKIP_UNLESS_THE_SECOND_USER_REACHES(dir);
      for (const char* name : {"in.txt", "stdin", "stdout", "stderr", "console"}) {
        write_file(dir.path / name, "");
      }
      const mode_t mask = umask(022);
      std::vector<int> append_only;
      std::istringstream items(c[2]);
      bool made = true;
      for (std::string item; items >> item;) made = made && make_item(dir, item, append_only);
      // The files named after the run, with their inodes before it.
      std::vector<std::pair<std::string, ino_t> > files;
      std::istringstream after(c[6]);
      for (std::string item; after >> item;) {
        const std::string name = item.substr(0, item.find('='));
        struct stat info = {};
        stat(dir.file(name.c_str()).c_str(), &info);
        files.emplace_back(name, info.st_ino);
      }
      std::set<std::string> names = all_names(dir);
      // Standard input open for writing too, as a terminal is: a failure
      // must not end up writing the script through it.
      const int saved = dup(0);
      dup2(open(dir.file("console").c_str(), O_RDWR), 0);
      const int status =
          made ? run_as(c[1], [&] { return convert(dir, batch, "!\n", c[3].c_str()).status; }) : -1;
      dup2(saved, 0);
      close(saved);
      umask(mask);
      for (const int fd : append_only) {
        int flags = 0;
        if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) flags &= ~FS_APPEND_FL;
        ioctl(fd, FS_IOC_SETFLAGS, &flags);
        close(fd);
      }
      if (!made) {
        std::printf("%s: passed over, as this file system cannot do what it needs\n", c[0].c_str());
        continue;
      }
      std::string now = std::to_string(status) + " " + read_file(dir.path / "stderr");
      for (const auto& [name, inode] : files) {
        const std::string state = file_now(dir, name, inode);
        now += " " + name + "=" + state;
        if (state.rfind("new", 0) == 0) names.insert(name);
      }
      EXPECT_EQ(c[4] + " " + c[5] + " " + c[6], now) << c[0] << (batch ? " batch" : " typed");
      EXPECT_EQ(names, all_names(dir)) << c[0] << ": files made or left";
      EXPECT_EQ("", read_file(dir.path / "console")) << c[0];
    }
  }
}

TEST(ReplaceTest, EndingSignalsRemoveTheTemporaryFile) {
  // The name that usage.md gives for what a killed run leaves.
  const auto temporary = [](const std::string& name) {
    int end = 0;
    std::sscanf(name.c_str(), "out.cfg.tallsay-%*16[0-9a-f]%n", &end);
    return end == 32 && name.substr(32) == ".tmp";
  };
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
                           SIGPROF, SIGIO, SIGPWR, SIGSYS, SIGXCPU, SIGRTMIN, SIGRTMAX}) {
    // A batch run reads its text from a FIFO, which holds it while the new
    // script is being written.
    ScratchDir dir;
    write_file(dir.path / "out.cfg", kOld);
    ASSERT_EQ(0, mkfifo(dir.file("in.fifo").c_str(), 0600));
    const pid_t tool = fork();
    if (tool == 0) {
      std::signal(signal, SIG_DFL);
      const struct rlimit no_core = {0, 0};
      setrlimit(RLIMIT_CORE, &no_core);
      execl(TALLSAY_EXE, TALLSAY_EXE, ("--in-file=" + dir.file("in.fifo")).c_str(),
            ("--out-file=" + dir.file("out.cfg")).c_str(), nullptr);
      _exit(127);
    }
    std::FILE* text = std::fopen(dir.file("in.fifo").c_str(), "wb");
    ASSERT_NE(nullptr, text);
    std::fputs(test::numbered_lines(20000).c_str(), text);
    std::fflush(text);
    const auto waited = std::chrono::steady_clock::now();
    while (names_in(dir).size() < 3 &&
           std::chrono::steady_clock::now() - waited < std::chrono::seconds(10)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::set<std::string> names = names_in(dir);
    EXPECT_EQ(2u, names.erase("out.cfg") + names.erase("in.fifo"));
    EXPECT_TRUE(names.size() == 1 && temporary(*names.begin())) << testing::PrintToString(names);
    kill(tool, signal);
    EXPECT_EQ(128 + signal, exit_status(tool));
    std::fclose(text);
    EXPECT_EQ(kOld, read_file(dir.path / "out.cfg")) << signal;
    EXPECT_EQ(std::set<std::string>({"out.cfg", "in.fifo"}), names_in(dir)) << signal;
  }
}

#endif

}  // namespace
}  // namespace tallsay

// Platform services for POSIX systems: files, replacements, raw reads, file
// identity and the process's streams and signals (the rest is in
// platform_utf8.cpp).
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace tallsay {
namespace {

static_assert(kMaxPathBytes >= PATH_MAX, "realpath fills a replacement's target");

bool copy_path(const char* path, char (&copy)[kMaxPathBytes]) {
  const std::size_t length = std::strlen(path);
  if (length >= sizeof copy) return false;
  std::memcpy(copy, path, length + 1);
  return true;
}

// Finds the file that `path` stands for: the path itself, or where its
// symbolic links lead. Returns false when that cannot be told (a link that
// leads nowhere, a path too long).
bool find_target(const char* path, char (&target)[kMaxPathBytes]) {
  struct stat info;
  if (lstat(path, &info) == 0 && S_ISLNK(info.st_mode)) return realpath(path, target) != nullptr;
  return copy_path(path, target);
}

// Makes a new empty file beside `target`, named in `temporary`, and returns
// its descriptor; or -1, with `temporary` empty.
int create_temporary(const char* target, char (&temporary)[kMaxPathBytes]) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const int length = std::snprintf(temporary, sizeof temporary, "%s.tallsay-%ld-%u.tmp", target,
                                     static_cast<long>(getpid()), attempt);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof temporary) break;
    const int fd = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  temporary[0] = '\0';
  return -1;
}

// Gives the new file the owner, group and permissions of the old one.
// Returns false when it cannot take that owner or group.
bool take_over(int fd, const struct stat& old) {
  const bool same_owner = old.st_uid == geteuid() && old.st_gid == getegid();
  if (!same_owner && fchown(fd, old.st_uid, old.st_gid) != 0) return false;
  return fchmod(fd, old.st_mode & 07777) == 0;
}

void remove_temporary(Replacement& replacement) {
  const int error = errno;
  unlink(replacement.temporary);
  replacement.temporary[0] = '\0';
  errno = error;
}

}  // namespace

std::FILE* open_file(const char* path, const char* mode) {
  std::FILE* stream = std::fopen(path, mode);
  struct stat info;
  if (stream != nullptr && fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(stream);
    errno = EISDIR;
    return nullptr;
  }
  return stream;
}

std::FILE* begin_replacement(Replacement& replacement, const char* path) {
  replacement.temporary[0] = '\0';
  struct stat old;
  const bool exists = stat(path, &old) == 0;
  const bool whole = exists ? S_ISREG(old.st_mode) && old.st_nlink == 1 : errno == ENOENT;
  if (path[0] == '\0' || !whole || !find_target(path, replacement.target)) {
    return open_file(path, "wb");
  }
  if (exists) {
    // Nothing is replaced that could not be written where it stands.
    const int writable = open(path, O_WRONLY | O_CLOEXEC);
    if (writable < 0) return nullptr;
    close(writable);
  }
  const int fd = create_temporary(replacement.target, replacement.temporary);
  if (fd < 0) return open_file(path, "wb");
  std::FILE* stream = nullptr;
  if (!exists || take_over(fd, old)) stream = fdopen(fd, "wb");
  if (stream != nullptr) return stream;
  close(fd);
  remove_temporary(replacement);
  return open_file(path, "wb");
}

bool end_replacement(Replacement& replacement, std::FILE* stream, bool keep) {
  const bool closed = std::fclose(stream) == 0;
  if (replacement.temporary[0] == '\0') return keep && closed;
  if (keep && closed && std::rename(replacement.temporary, replacement.target) == 0) {
    replacement.temporary[0] = '\0';
    return true;
  }
  remove_temporary(replacement);
  return false;
}

void prepare_process() {
  // Each closed descriptor is the lowest free one when it is reached, so the
  // null device is opened on it.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", O_RDWR);
  }
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

long read_some(std::FILE* stream, unsigned char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t count = read(fileno(stream), buffer, size);
    if (count >= 0) return static_cast<long>(count);
    if (errno != EINTR) return -1;
  }
}

bool is_same_file(std::FILE* stream, const char* path) {
  struct stat opened;
  struct stat named;
  if (fstat(fileno(stream), &opened) != 0 || stat(path, &named) != 0) return false;
  return S_ISREG(opened.st_mode) && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace tallsay

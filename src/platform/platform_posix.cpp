// Platform services for POSIX systems: files, replacements, raw reads, file
// identity and the process's streams and signals (the rest is in
// platform_utf8.cpp).
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/random.h>
#endif

#include "platform/platform.h"

namespace tallsay {
namespace {

// A folder held open to name files in, not to read it.
#ifdef O_PATH
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// The most symbolic links followed from the script's name to its file.
constexpr int kMaxLinks = 40;

// Tries at a free temporary name: with 64 random bits a name, a second is
// needed only when another program made that very name first.
constexpr int kNameTries = 16;

// The buffers of a list of extended attribute names and of one value; a file
// whose attributes need more is written in place.
constexpr std::size_t kAttributeBytes = 16 * 1024;

// The one piece of process state: the temporary file of the replacement
// under way, for the handler of INT, TERM and HUP to remove. The name and
// folder are set, and `armed` changed, only while those signals are blocked,
// so that the handler sees either no file or one that this process made.
struct PendingFile {
  volatile std::sig_atomic_t armed;
  int folder;
  char name[kMaxPathBytes];
};
PendingFile pending;

void remove_pending_and_end(int signal) {
  if (pending.armed != 0) unlinkat(pending.folder, pending.name, 0);
  // The handler was installed to be reset and not to block its signal: this
  // ends the process by the signal's default action, with its usual status.
  raise(signal);
}

// Blocks INT, TERM and HUP, keeping the mask they had in `saved`.
void block_ending_signals(sigset_t& saved) {
  sigset_t ending;
  sigemptyset(&ending);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, signal);
  sigprocmask(SIG_BLOCK, &ending, &saved);
}

void restore_signals(const sigset_t& saved) {
  sigprocmask(SIG_SETMASK, &saved, nullptr);
}

bool copy_name(const char* name, std::size_t length, char (&copy)[kMaxPathBytes]) {
  if (length >= sizeof copy) return false;
  std::memcpy(copy, name, length);
  copy[length] = '\0';
  return true;
}

// Opens, relative to the folder `at`, the folder of `path` (the part before
// its last '/'), and copies the last part into `name`. Returns the folder's
// descriptor, or -1 with errno set: EISDIR when the path ends in a folder.
int open_folder_of(int at, const char* path, char (&name)[kMaxPathBytes]) {
  const char* slash = std::strrchr(path, '/');
  const char* base = slash == nullptr ? path : slash + 1;
  if (*base == '\0' || std::strcmp(base, ".") == 0 || std::strcmp(base, "..") == 0) {
    errno = EISDIR;
    return -1;
  }
  char folder[kMaxPathBytes];
  const auto folder_length = static_cast<std::size_t>(slash == nullptr ? 1
                                                      : slash == path  ? 1
                                                                       : slash - path);
  if (!copy_name(base, std::strlen(base), name) ||
      !copy_name(slash == nullptr ? "." : path, folder_length, folder)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  return openat(at, folder, kFolderFlags);
}

// Replaces the folder and name of `replacement` with those that the symbolic
// link `name` in it leads to. Returns the owner of the link, or -1 with errno
// set; EAGAIN when the name is no longer a link.
long follow_link(Replacement& replacement) {
#ifdef O_PATH
  const int link = openat(replacement.folder, replacement.target, O_PATH | O_NOFOLLOW | O_CLOEXEC);
#else
  const int link = -1;
  errno = ELOOP;
#endif
  if (link < 0) return -1;
  // The owner and the text come from the one link opened, whatever the name
  // is swapped for meanwhile.
  struct stat info;
  char text[kMaxPathBytes];
  ssize_t length = -1;
  if (fstat(link, &info) != 0) {
    length = -1;
  } else if (!S_ISLNK(info.st_mode)) {
    errno = EAGAIN;
  } else {
    length = readlinkat(link, "", text, sizeof text);
  }
  close(link);
  if (length < 0) return -1;
  if (static_cast<std::size_t>(length) >= sizeof text) {
    errno = ENAMETOOLONG;
    return -1;
  }
  text[length] = '\0';
  const int folder = open_folder_of(replacement.folder, text, replacement.target);
  if (folder < 0) return -1;
  close(replacement.folder);
  replacement.folder = folder;
  return static_cast<long>(info.st_uid);
}

// Whether a file of `owner` may be written through a link of `link_owner`:
// a user's own links lead anywhere, another user's only to that user's files,
// so that no one can plant a link that makes this user write where that one
// may not.
bool may_follow(uid_t link_owner, uid_t owner) {
  return link_owner == geteuid() || owner == link_owner;
}

// Opens what the name `replacement.target` in `replacement.folder` stands
// for, for writing without waiting, symbolic links followed (see
// may_follow), and fills `info` from the file opened. Returns its
// descriptor, or -1 with errno set and `free` telling whether the name is
// free (the folder and name are then where the new file goes).
int look_up(Replacement& replacement, struct stat& info, bool& free) {
  uid_t link_owner = geteuid();
  free = false;
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    const int flags = O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
    int fd = openat(replacement.folder, replacement.target, flags | O_NONBLOCK);
    if (fd < 0 && errno == ENXIO &&
        fstatat(replacement.folder, replacement.target, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISFIFO(info.st_mode)) {
      // A FIFO is written once a reader opens it.
      fd = openat(replacement.folder, replacement.target, flags);
    }
    if (fd >= 0) {
      if (fstat(fd, &info) == 0 && may_follow(link_owner, info.st_uid)) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return fd;
      }
      replacement.foreign = true;
      close(fd);
      errno = EACCES;
      return -1;
    }
    if (errno == ENOENT) {
      struct stat folder;
      if (fstat(replacement.folder, &folder) != 0) return -1;
      free = may_follow(link_owner, folder.st_uid);
      replacement.foreign = !free;
      errno = free ? ENOENT : EACCES;
      return -1;
    }
    if (errno != ELOOP) return -1;
    const long owner = follow_link(replacement);
    if (owner < 0 && errno != EAGAIN) return -1;
    if (owner >= 0) {
      if (!may_follow(link_owner, static_cast<uid_t>(owner))) {
        replacement.foreign = true;
        errno = EACCES;
        return -1;
      }
      link_owner = static_cast<uid_t>(owner);
    }
  }
  errno = ELOOP;
  return -1;
}

// Whether the folder keeps every name it has, so that nothing made in it can
// be renamed or removed again.
bool is_append_only(int folder) {
#ifdef FS_IOC_GETFLAGS
  const int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  const bool append_only = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL) != 0;
  close(fd);
  return append_only;
#else
  (void)folder;
  return false;
#endif
}

bool random_bytes(unsigned char* bytes, std::size_t size) {
#ifdef __linux__
  if (getrandom(bytes, size, 0) == static_cast<ssize_t>(size)) return true;
#endif
  const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool read_all = read(fd, bytes, size) == static_cast<ssize_t>(size);
  close(fd);
  return read_all;
}

// Puts into `temporary` the name of `target` followed by ".tallsay-", 16
// random hexadecimal digits and ".tmp". Returns false with errno set when
// there are no random bytes or no room for the name.
bool make_temporary_name(const char* target, char (&temporary)[kMaxPathBytes]) {
  unsigned char bytes[8];
  if (!random_bytes(bytes, sizeof bytes)) return false;
  char digits[2 * sizeof bytes + 1];
  for (std::size_t i = 0; i < sizeof bytes; ++i) {
    digits[2 * i] = "0123456789abcdef"[bytes[i] >> 4];
    digits[2 * i + 1] = "0123456789abcdef"[bytes[i] & 15];
  }
  digits[sizeof digits - 1] = '\0';
  const int length =
      std::snprintf(temporary, sizeof temporary, "%s.tallsay-%s.tmp", target, digits);
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof temporary) {
    errno = ENAMETOOLONG;
    return false;
  }
  return true;
}

// Makes the new file under a free temporary name (see create_temporary),
// leaving the last name tried in replacement.temporary when it cannot.
int try_temporary_names(Replacement& replacement) {
  for (int attempt = 0; attempt < kNameTries; ++attempt) {
    if (!make_temporary_name(replacement.target, replacement.temporary)) return -1;
    sigset_t saved;
    block_ending_signals(saved);
    const bool signalled = pending.armed == 0;
    if (signalled) {
      pending.folder = replacement.folder;
      std::memcpy(pending.name, replacement.temporary, sizeof pending.name);
    }
    const int fd = openat(replacement.folder, replacement.temporary,
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    const int error = errno;
    replacement.signalled = signalled && fd >= 0;
    if (replacement.signalled) pending.armed = 1;
    restore_signals(saved);
    if (fd >= 0) return fd;
    errno = error;
    if (error != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

// Makes the new file in the folder under a free temporary name, for the
// maker alone, and tells the signal handlers of it. Returns its descriptor,
// or -1 with errno set and no temporary name kept.
int create_temporary(Replacement& replacement) {
  const int fd = try_temporary_names(replacement);
  if (fd < 0) replacement.temporary[0] = '\0';
  return fd;
}

// Forgets the temporary file: removes it unless `renamed`, and tells the
// signal handlers that it is gone.
void drop_temporary(Replacement& replacement, bool renamed) {
  const int error = errno;
  sigset_t saved;
  block_ending_signals(saved);
  if (!renamed) unlinkat(replacement.folder, replacement.temporary, 0);
  if (replacement.signalled) pending.armed = 0;
  restore_signals(saved);
  replacement.signalled = false;
  errno = error;
}

void close_descriptors(Replacement& replacement) {
  const int error = errno;
  if (replacement.old >= 0) close(replacement.old);
  if (replacement.folder >= 0) close(replacement.folder);
  replacement.old = -1;
  replacement.folder = -1;
  errno = error;
}

// Writes the file `fd` where it stands, as fopen's "wb" does: emptied, when
// it is a regular file. Returns the stream, or null with errno set.
std::FILE* write_in_place(Replacement& replacement, int fd, const struct stat& info) {
  replacement.temporary[0] = '\0';
  replacement.old = -1;
  close_descriptors(replacement);
  std::FILE* stream = nullptr;
  if (!S_ISREG(info.st_mode) || ftruncate(fd, 0) == 0) stream = fdopen(fd, "wb");
  if (stream == nullptr) {
    const int error = errno;
    close(fd);
    errno = error;
  }
  return stream;
}

// Hands the run a stream whose writes fail, after the new file could not be
// made for `error`: the run then ends with a write error, the old file as it
// was. The descriptors are given back first, for want of which it may have
// failed.
std::FILE* fail_later(Replacement& replacement, int error) {
  close_descriptors(replacement);
  replacement.error = error;
  // Not empty, so that end_replacement looks at the error; no file has it.
  std::memcpy(replacement.temporary, "?", 2);
  std::FILE* stream = std::fopen("/dev/full", "wbe");
  if (stream == nullptr) stream = std::fopen("/dev/null", "wbe");
  errno = error;
  return stream;
}

mode_t creation_mask() {
  // Read by setting it, as there is no other way; nothing is created meanwhile.
  const mode_t mask = umask(077);
  umask(mask);
  return mask;
}

// Whether `name` is one of the NUL-ended names in `list`.
bool is_listed(const char* list, ssize_t size, const char* name) {
  for (const char* at = list; at < list + size; at += std::strlen(at) + 1) {
    if (std::strcmp(at, name) == 0) return true;
  }
  return false;
}

// Gives the file `to` the extended attributes (and so the access control
// lists) of `from`, and no others. Returns false when it cannot.
bool copy_attributes(int from, int to) {
  char names[kAttributeBytes];
  char new_names[kAttributeBytes];
  const ssize_t size = flistxattr(from, names, sizeof names);
  const ssize_t new_size = flistxattr(to, new_names, sizeof new_names);
  if (size < 0 || new_size < 0) return errno == ENOTSUP && size <= 0 && new_size <= 0;
  for (const char* name = new_names; name < new_names + new_size; name += std::strlen(name) + 1) {
    // Such as an access list that the folder gives every new file.
    if (!is_listed(names, size, name) && fremovexattr(to, name) != 0) return false;
  }
  for (const char* name = names; name < names + size; name += std::strlen(name) + 1) {
    char value[kAttributeBytes];
    char new_value[kAttributeBytes];
    const ssize_t length = fgetxattr(from, name, value, sizeof value);
    if (length < 0) return false;
    const ssize_t new_length = fgetxattr(to, name, new_value, sizeof new_value);
    if (new_length == length &&
        std::memcmp(value, new_value, static_cast<std::size_t>(length)) == 0) {
      continue;  // as a security label the system gives both
    }
    if (fsetxattr(to, name, value, static_cast<std::size_t>(length), 0) != 0) return false;
  }
  return true;
}

// Gives the new file `fd` the owner, group, extended attributes and
// permissions it is to have. Returns false when the file, as it then is, has
// not all of them (a setgid folder's group that cannot be changed, a user
// who may not give a file away, an attribute it may not set).
bool take_over(const Replacement& replacement, int fd) {
  struct stat now;
  if (fstat(fd, &now) != 0) return false;
  if ((now.st_uid != replacement.owner || now.st_gid != replacement.group) &&
      fchown(fd, replacement.owner, replacement.group) != 0) {
    return false;
  }
  if (replacement.old >= 0 && !copy_attributes(replacement.old, fd)) return false;
  // Last: a change of owner drops the setuid and setgid bits.
  if (fchmod(fd, replacement.mode) != 0 || fstat(fd, &now) != 0) return false;
  return now.st_uid == replacement.owner && now.st_gid == replacement.group &&
         (now.st_mode & 07777) == replacement.mode;
}

bool write_all(int fd, const char* bytes, std::size_t size, off_t at) {
  while (size > 0) {
    const ssize_t count = pwrite(fd, bytes, size, at);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    bytes += count;
    size -= static_cast<std::size_t>(count);
    at += count;
  }
  return true;
}

// Copies the finished new file `from` over the old file `to` where it
// stands: every byte first, then the old file is cut to the new length and
// flushed to the disk.
bool copy_in_place(int from, int to) {
  char buffer[64 * 1024];
  off_t at = 0;
  for (;;) {
    const ssize_t count = pread(from, buffer, sizeof buffer, at);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    if (count == 0) break;
    if (!write_all(to, buffer, static_cast<std::size_t>(count), at)) return false;
    at += count;
  }
  return ftruncate(to, at) == 0 && fdatasync(to) == 0;
}

// Whether the error of a rename says that this name can never be renamed
// over (a file mounted on it, another user's file in a sticky folder),
// rather than that something went wrong.
bool cannot_rename_over(int error) {
  return error == EBUSY || error == EXDEV || error == EPERM || error == EACCES;
}

// Puts the finished, flushed new file `fd` in place of the old one: renamed
// over it, or, where it cannot be renamed over or has what the new file
// cannot take, copied over it. Returns whether it is in place.
bool put_in_place(Replacement& replacement, int fd, bool taken_over) {
  if (taken_over) {
    sigset_t saved;
    block_ending_signals(saved);
    const bool renamed = renameat(replacement.folder, replacement.temporary, replacement.folder,
                                  replacement.target) == 0;
    const int error = errno;
    if (renamed) {
      drop_temporary(replacement, true);
      replacement.temporary[0] = '\0';
    }
    restore_signals(saved);
    if (renamed) return true;
    errno = error;
    if (!cannot_rename_over(error)) return false;
  }
  return replacement.old >= 0 && copy_in_place(fd, replacement.old);
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
  replacement.old = -1;
  replacement.error = 0;
  replacement.signalled = false;
  replacement.foreign = false;
  replacement.folder = open_folder_of(AT_FDCWD, path, replacement.target);
  if (replacement.folder < 0) return path[0] == '\0' ? open_file(path, "wb") : nullptr;
  struct stat info;
  bool free = false;
  const int old = look_up(replacement, info, free);
  if (old < 0 && !free) {
    close_descriptors(replacement);
    return nullptr;
  }
  replacement.existed = old >= 0;
  if (old >= 0 &&
      (!S_ISREG(info.st_mode) || info.st_nlink != 1 || is_append_only(replacement.folder))) {
    return write_in_place(replacement, old, info);
  }
  replacement.old = old;
  replacement.owner = old >= 0 ? info.st_uid : geteuid();
  replacement.mode = old >= 0 ? info.st_mode & 07777 : 0666 & ~creation_mask();
  const int fd = create_temporary(replacement);
  const int error = errno;
  if (fd < 0) {
    const bool by_design =
        error == EACCES || error == EPERM || error == EROFS || error == ENAMETOOLONG;
    if (!by_design) return fail_later(replacement, error);
    if (old >= 0) return write_in_place(replacement, old, info);
    // A new file where no temporary name fits is made under its own name;
    // one that the folder takes no new file for cannot be made at all.
    const int made = error != ENAMETOOLONG
                         ? -1
                         : openat(replacement.folder, replacement.target,
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    close_descriptors(replacement);
    std::FILE* stream = made < 0 ? nullptr : fdopen(made, "wb");
    if (made < 0) errno = error;
    return stream;
  }
  // A new file takes the group that the folder gives it, as it would without
  // a replacement.
  struct stat made;
  fstat(fd, &made);
  replacement.group = old >= 0 ? info.st_gid : made.st_gid;
  std::FILE* stream = fdopen(fd, "wb");
  if (stream != nullptr) return stream;
  close(fd);
  drop_temporary(replacement, false);
  return fail_later(replacement, error);
}

bool end_replacement(Replacement& replacement, std::FILE* stream, bool keep) {
  if (replacement.temporary[0] == '\0') return std::fclose(stream) == 0 && keep;
  if (replacement.error != 0) {
    std::fclose(stream);
    errno = replacement.error;
    return false;
  }
  const int fd = fileno(stream);
  bool placed = false;
  if (keep && std::fflush(stream) == 0) {
    // The new file's data reaches the disk before its name does, so that a
    // crash, or a disk that fails to take it, leaves the old file.
    const bool taken_over = take_over(replacement, fd);
    placed = fdatasync(fd) == 0 && put_in_place(replacement, fd, taken_over);
  }
  if (replacement.temporary[0] != '\0') drop_temporary(replacement, false);
  // Once flushed to the disk, closing the new file can lose nothing.
  const int error = errno;
  std::fclose(stream);
  close_descriptors(replacement);
  replacement.temporary[0] = '\0';
  errno = error;
  return placed;
}

void prepare_process() {
  // Each closed descriptor is the lowest free one when it is reached, so the
  // null device, or else the pipe made for it, takes it. Standard input gets
  // the end of a pipe that nothing writes, the others an end that nothing
  // reads (writes to it fail, and SIGPIPE is ignored).
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF || open("/dev/null", O_RDWR) == fd) continue;
    int ends[2];
    if (pipe(ends) != 0) continue;
    const int kept = fd == 0 ? ends[0] : ends[1];
    if (kept != fd) dup2(kept, fd);
    for (const int end : ends) {
      if (end != fd) close(end);
    }
  }
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action;
    // A run started to ignore a signal (as nohup does) keeps ignoring it.
    if (sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = remove_pending_and_end;
    sigemptyset(&action.sa_mask);
    action.sa_flags = static_cast<int>(SA_RESETHAND | SA_NODEFER);
    sigaction(signal, &action, nullptr);
  }
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

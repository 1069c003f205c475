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
// under way, for the handler of the ending signals to remove. The name and
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

// Fills `set` with every signal whose default action ends the process and
// that a program may catch, but PIPE and XFSZ, which a run ignores.
void ending_signals(sigset_t& set) {
  sigemptyset(&set);
  for (const int signal :
       {SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV,
        SIGUSR2, SIGALRM, SIGTERM, SIGXCPU, SIGVTALRM, SIGPROF, SIGSYS}) {
    sigaddset(&set, signal);
  }
#ifdef __linux__
  for (const int signal : {SIGSTKFLT, SIGIO, SIGPWR}) sigaddset(&set, signal);
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) sigaddset(&set, signal);
#endif
}

// Blocks the ending signals, keeping the mask they had in `saved`.
void block_ending_signals(sigset_t& saved) {
  sigset_t ending;
  ending_signals(ending);
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

// Whether a link of `link_owner` may be followed to a file or folder of
// `owner`: the links of the user who runs this, and root's, lead anywhere;
// another user's only to that user's own, so that no one can plant a link
// that makes this user write where that one may not.
bool may_follow(uid_t link_owner, uid_t owner) {
  return link_owner == geteuid() || link_owner == 0 || owner == link_owner;
}

// How a part of a path is opened: as itself, a link not followed.
#ifdef O_PATH
constexpr int kPartFlags = O_PATH | O_NOFOLLOW | O_CLOEXEC;
#else
constexpr int kPartFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#endif

int open_folder_path(int at, const char* path, std::size_t length, int& links, bool& foreign);

// Reads the text of the link `link`, opened as itself, into `text`.
bool read_link(int link, char (&text)[kMaxPathBytes]) {
  const ssize_t length = readlinkat(link, "", text, sizeof text);
  if (length < 0) return false;
  if (static_cast<std::size_t>(length) >= sizeof text) {
    errno = ENAMETOOLONG;
    return false;
  }
  text[length] = '\0';
  return true;
}

// Opens the part `name` of a folder path in the folder `at`: a folder as it
// is, a link followed to the folder it leads to when may_follow lets it.
// Returns the folder, or -1 with errno set (and `foreign` when a link was
// refused).
int open_part(int at, const char* name, int& links, bool& foreign) {
  const int part = openat(at, name, kPartFlags);
  if (part < 0) return -1;
  struct stat info;
  char text[kMaxPathBytes];
  bool read = false;
  if (fstat(part, &info) != 0) {
    read = false;
  } else if (S_ISDIR(info.st_mode)) {
    return part;
  } else if (!S_ISLNK(info.st_mode)) {
    errno = ENOTDIR;
  } else if (++links > kMaxLinks) {
    errno = ELOOP;
  } else {
    read = read_link(part, text);
  }
  const int error = errno;
  close(part);
  if (!read) {
    errno = error;
    return -1;
  }
  // The owner and the text come from the one link opened, whatever the name
  // is swapped for meanwhile; the owner of where it leads, from the folder
  // that is then used.
  const int folder = open_folder_path(at, text, std::strlen(text), links, foreign);
  struct stat reached;
  if (folder >= 0 && fstat(folder, &reached) == 0 && may_follow(info.st_uid, reached.st_uid)) {
    return folder;
  }
  if (folder >= 0) {
    foreign = true;
    close(folder);
    errno = EACCES;
  }
  return -1;
}

// Opens the folder that the first `length` bytes of `path` name, relative to
// the folder `at`, one part at a time, each link on the way checked as
// open_part does; `links` counts the links followed. Returns the folder, or
// -1 with errno set.
int open_folder_path(int at, const char* path, std::size_t length, int& links, bool& foreign) {
  int folder = openat(at, length > 0 && path[0] == '/' ? "/" : ".", kFolderFlags);
  for (std::size_t start = 0; folder >= 0 && start < length;) {
    std::size_t end = start;
    while (end < length && path[end] != '/') ++end;
    char name[NAME_MAX + 1];
    const std::size_t size = end - start;
    if (size >= sizeof name) {
      close(folder);
      errno = ENAMETOOLONG;
      return -1;
    }
    std::memcpy(name, path + start, size);
    name[size] = '\0';
    start = end + 1;
    if (size == 0 || std::strcmp(name, ".") == 0) continue;
    const int next = open_part(folder, name, links, foreign);
    const int error = errno;
    close(folder);
    folder = next;
    errno = error;
  }
  return folder;
}

// Opens, relative to the folder `at`, the folder of `path` (the part before
// its last '/', each link on it checked), and copies the last part into
// `name`. Returns the folder's descriptor, or -1 with errno set: EISDIR when
// the path ends in a folder.
int open_folder_of(int at, const char* path, char (&name)[kMaxPathBytes], int& links,
                   bool& foreign) {
  const char* slash = std::strrchr(path, '/');
  const char* base = slash == nullptr ? path : slash + 1;
  if (*base == '\0' || std::strcmp(base, ".") == 0 || std::strcmp(base, "..") == 0) {
    errno = EISDIR;
    return -1;
  }
  if (!copy_name(base, std::strlen(base), name)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const std::size_t length = slash == nullptr ? 0
                             : slash == path  ? 1
                                              : static_cast<std::size_t>(slash - path);
  return open_folder_path(at, path, length, links, foreign);
}

// Replaces the folder and name of `replacement` with those that the symbolic
// link `name` in it leads to. Returns the owner of the link, or -1 with errno
// set; EAGAIN when the name is no longer a link.
long follow_link(Replacement& replacement, int& links) {
#ifdef O_PATH
  const int link = openat(replacement.folder, replacement.target, O_PATH | O_NOFOLLOW | O_CLOEXEC);
#else
  const int link = -1;
  errno = ELOOP;
#endif
  if (link < 0) return -1;
  struct stat info;
  char text[kMaxPathBytes];
  bool read = false;
  if (fstat(link, &info) == 0) {
    read = S_ISLNK(info.st_mode) && read_link(link, text);
    if (!S_ISLNK(info.st_mode)) errno = EAGAIN;
  }
  const int error = errno;
  close(link);
  if (!read) {
    errno = error;
    return -1;
  }
  const int folder =
      open_folder_of(replacement.folder, text, replacement.target, links, replacement.foreign);
  if (folder < 0) return -1;
  close(replacement.folder);
  replacement.folder = folder;
  return static_cast<long>(info.st_uid);
}

// Opens what the name `replacement.target` in `replacement.folder` stands
// for, for writing without waiting, symbolic links followed (see
// may_follow), and fills `info` from the file opened. Returns its
// descriptor, or -1 with errno set and `free` telling whether the name is
// free (the folder and name are then where the new file goes).
int look_up(Replacement& replacement, struct stat& info, bool& free, int& links) {
  uid_t link_owner = geteuid();
  free = false;
  while (links <= kMaxLinks) {
    const int flags = O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
    int fd = openat(replacement.folder, replacement.target, flags | O_NONBLOCK);
    if (fd < 0 && errno == ENXIO &&
        fstatat(replacement.folder, replacement.target, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISFIFO(info.st_mode)) {
      // A FIFO is written once a reader opens it.
      fd = openat(replacement.folder, replacement.target, flags);
    }
    if (fd >= 0) {
      const bool known = fstat(fd, &info) == 0;
      if (known && may_follow(link_owner, info.st_uid)) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return fd;
      }
      const int error = known ? EACCES : errno;
      replacement.foreign = known;
      close(fd);
      errno = error;
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
    ++links;
    const long owner = follow_link(replacement, links);
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

// Writes the file `fd`, which is not a regular file (a device, a FIFO),
// where it stands. Returns the stream, or null with errno set.
std::FILE* write_in_place(Replacement& replacement, int fd) {
  replacement.temporary[0] = '\0';
  replacement.old = -1;
  close_descriptors(replacement);
  std::FILE* stream = fdopen(fd, "wb");
  if (stream == nullptr) {
    const int error = errno;
    close(fd);
    errno = error;
  }
  return stream;
}

// Whether a file of several hard links may be written where it stands: only
// where no other user can have made the name, so that no one can link a file
// of the user who runs this into a folder of theirs and have it written. The
// file belongs to that user or to the folder's owner, and the folder to that
// user, writable by no one else (a group of the user's own aside).
bool may_write_linked(const struct stat& file, const struct stat& folder) {
  const bool others_write = folder.st_uid != geteuid() || (folder.st_mode & S_IWOTH) != 0 ||
                            ((folder.st_mode & S_IWGRP) != 0 && folder.st_gid != getegid());
  return file.st_nlink <= 1 ||
         (!others_write && (file.st_uid == geteuid() || file.st_uid == folder.st_uid));
}

// Makes a new file with no name, readable and writable by its maker alone,
// for a script that is copied over the old one at the end: in the script's
// folder where the system can, else where the system keeps temporary files.
// Returns its descriptor, or -1 with errno set.
int create_unnamed(int folder) {
#ifdef O_TMPFILE
  const int unnamed = openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (unnamed >= 0) return unnamed;
#else
  (void)folder;
#endif
  std::FILE* file = std::tmpfile();
  if (file == nullptr) return -1;
  const int fd = fcntl(fileno(file), F_DUPFD_CLOEXEC, 0);
  const int error = errno;
  std::fclose(file);
  errno = error;
  return fd;
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

// Makes sure that the file `fd`, now `size` bytes long, has room on the disk
// for `length` bytes. Returns false with errno set when there is none, the
// file as it was.
bool reserve(int fd, off_t size, off_t length) {
  if (length <= size) return true;
#ifdef __linux__
  // Room kept for the file without changing its length or its bytes.
  if (fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, length) == 0) return true;
  if (errno != EOPNOTSUPP && errno != ENOSYS) return false;
#endif
  const int error = posix_fallocate(fd, size, length - size);
  if (error == 0) return true;
  if (ftruncate(fd, size) != 0) return false;
  errno = error;
  return false;
}

// Copies the finished new file `from` over the file `to` where it stands:
// room for every byte first, or nothing is written; then every byte, flushed
// to the disk; only then the file is cut to the new length. A reader sees
// the old file, the new one, or the new one's first bytes over the rest of
// the old one, never an empty file.
bool copy_in_place(int from, int to) {
  struct stat source;
  struct stat old;
  if (fstat(from, &source) != 0 || fstat(to, &old) != 0 ||
      !reserve(to, old.st_size, source.st_size)) {
    return false;
  }
  char buffer[64 * 1024];
  for (off_t at = 0; at < source.st_size;) {
    const ssize_t count = pread(from, buffer, sizeof buffer, at);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0 || !write_all(to, buffer, static_cast<std::size_t>(count), at)) {
      if (count == 0) errno = EIO;  // the new file ended early
      return false;
    }
    at += count;
  }
  return fdatasync(to) == 0 && ftruncate(to, source.st_size) == 0 && fsync(to) == 0;
}

// Flushes the folder to the disk, so that a rename in it outlasts a crash.
void sync_folder(int folder) {
  const int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
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
    if (renamed) sync_folder(replacement.folder);
    if (renamed) return true;
    errno = error;
    if (!cannot_rename_over(error)) return false;
  }
  return replacement.old >= 0 && copy_in_place(fd, replacement.old);
}

// Copies the finished unnamed new file `fd` over the old file, or, where
// there was none, into a new file made under the script's name, which is
// removed again when the copy fails. Returns whether it is in place.
bool copy_over(Replacement& replacement, int fd) {
  if (replacement.old >= 0) return copy_in_place(fd, replacement.old);
  replacement.old = openat(replacement.folder, replacement.target,
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (replacement.old < 0) return false;
  if (copy_in_place(fd, replacement.old)) return true;
  const int error = errno;
  unlinkat(replacement.folder, replacement.target, 0);
  errno = error;
  return false;
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
  replacement.copied = false;
  int links = 0;
  replacement.folder =
      open_folder_of(AT_FDCWD, path, replacement.target, links, replacement.foreign);
  if (replacement.folder < 0) return nullptr;
  struct stat info;
  bool free = false;
  const int old = look_up(replacement, info, free, links);
  struct stat folder;
  if (old < 0 && !free) {
    close_descriptors(replacement);
    return nullptr;
  }
  replacement.old = old;
  replacement.existed = old >= 0;
  if (old >= 0 && !S_ISREG(info.st_mode)) return write_in_place(replacement, old);
  if (fstat(replacement.folder, &folder) != 0) return fail_later(replacement, errno);
  if (old >= 0 && !may_write_linked(info, folder)) {
    replacement.foreign = true;
    close_descriptors(replacement);
    errno = EACCES;
    return nullptr;
  }
  replacement.owner = old >= 0 ? info.st_uid : geteuid();
  replacement.mode = old >= 0 ? info.st_mode & 07777 : 0666 & ~creation_mask();
  // A file of several names, and one in a folder that keeps every name it
  // has, cannot be renamed over: the new file has no name and is copied over
  // the old one at the end. So is a file whose folder takes no new file, or
  // whose name leaves no room for the temporary one.
  const bool renamed = old < 0 || (info.st_nlink == 1 && !is_append_only(replacement.folder));
  int fd = renamed ? create_temporary(replacement) : -1;
  if (fd < 0 && renamed) {
    const int error = errno;
    const bool by_design =
        error == EACCES || error == EPERM || error == EROFS || error == ENAMETOOLONG;
    if (!by_design) return fail_later(replacement, error);
    // A folder that takes no new file takes no new script either.
    if (old < 0 && error != ENAMETOOLONG) {
      close_descriptors(replacement);
      errno = error;
      return nullptr;
    }
  }
  if (fd < 0) {
    fd = create_unnamed(replacement.folder);
    if (fd < 0) return fail_later(replacement, errno);
    replacement.copied = true;
  }
  // A new file takes the group that the folder gives it, as it would without
  // a replacement.
  struct stat made;
  std::FILE* stream = fstat(fd, &made) == 0 ? fdopen(fd, "wb") : nullptr;
  if (stream != nullptr) {
    replacement.group = old >= 0 ? info.st_gid : made.st_gid;
    return stream;
  }
  const int error = errno;
  close(fd);
  if (replacement.temporary[0] != '\0') drop_temporary(replacement, false);
  return fail_later(replacement, error);
}

bool end_replacement(Replacement& replacement, std::FILE* stream, bool keep) {
  if (replacement.temporary[0] == '\0' && !replacement.copied) {
    return std::fclose(stream) == 0 && keep;
  }
  if (replacement.error != 0) {
    std::fclose(stream);
    replacement.temporary[0] = '\0';
    errno = replacement.error;
    return false;
  }
  const int fd = fileno(stream);
  bool placed = false;
  if (keep && std::fflush(stream) == 0) {
    if (replacement.copied) {
      placed = copy_over(replacement, fd);
    } else {
      // The new file's data and what it took over reach the disk before its
      // name does, so that a crash, or a disk that fails to take it, leaves
      // the old file.
      const bool taken_over = take_over(replacement, fd);
      placed = fsync(fd) == 0 && put_in_place(replacement, fd, taken_over);
    }
  }
  if (replacement.temporary[0] != '\0') drop_temporary(replacement, false);
  // Once flushed to the disk, closing the new file can lose nothing.
  const int error = errno;
  std::fclose(stream);
  close_descriptors(replacement);
  replacement.temporary[0] = '\0';
  replacement.copied = false;
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
  sigset_t ending;
  ending_signals(ending);
  for (int signal = 1; signal < NSIG; ++signal) {
    struct sigaction action;
    if (sigismember(&ending, signal) != 1) continue;
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

// Platform services for Windows, where names and console text are UTF-16.
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include "platform/platform.h"

namespace tallsay {
namespace {

// The system's limit on a command line and on a path, in UTF-16 units.
constexpr int kMaxWide = 32768;

template <int N>
bool widen(const char* text, wchar_t (&wide)[N]) {
  return MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, N) != 0;
}

bool file_identity(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
  return handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info) != 0;
}

HANDLE handle_of(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

bool copy_path(const char* path, char (&copy)[kMaxPathBytes]) {
  const std::size_t length = std::strlen(path);
  if (length >= sizeof copy) return false;
  std::memcpy(copy, path, length + 1);
  return true;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Tries at a free temporary name: with 64 random bits a name, a second is
// needed only when another program made that very name first.
constexpr int kNameTries = 16;

// Puts into replacement.temporary the name of the target followed by
// ".tallsay-", 16 random hexadecimal digits and ".tmp", and into `wide` the
// same in UTF-16. Returns false when there are no random bytes or no room.
bool make_temporary_name(Replacement& replacement, wchar_t (&wide)[kMaxWide]) {
  unsigned char bytes[8];
  if (BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
    return false;
  }
  char digits[2 * sizeof bytes + 1];
  for (std::size_t i = 0; i < sizeof bytes; ++i) {
    digits[2 * i] = "0123456789abcdef"[bytes[i] >> 4];
    digits[2 * i + 1] = "0123456789abcdef"[bytes[i] & 15];
  }
  digits[sizeof digits - 1] = '\0';
  const int length = std::snprintf(replacement.temporary, sizeof replacement.temporary,
                                   "%s.tallsay-%s.tmp", replacement.target, digits);
  return length > 0 && static_cast<std::size_t>(length) < sizeof replacement.temporary &&
         widen(replacement.temporary, wide);
}

// Whether an error in making the temporary file says that no such file can
// be made beside the target (a folder that takes no new file, a name too
// long), rather than that something went wrong. (Some systems say that a
// name too long is not found.)
bool cannot_be_made(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ||
         error == ERROR_FILENAME_EXCED_RANGE || error == ERROR_INVALID_NAME ||
         error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ||
         error == ERROR_BUFFER_OVERFLOW;
}

// Hands the run a stream that writes nothing, after the new file could not be
// made for `error`: the run then ends with a write error, the old file as it
// was.
std::FILE* fail_later(Replacement& replacement, DWORD error) {
  replacement.error = static_cast<int>(error);
  // Not empty, so that end_replacement looks at the error; no file has it.
  std::memcpy(replacement.temporary, "?", 2);
  std::FILE* stream = _wfopen(L"NUL", L"wb");
  SetLastError(error);
  errno = EIO;
  return stream;
}

// Makes a new empty file beside replacement.target with the `attributes` of
// the old one, named in replacement.temporary, that no other program may
// open while it is written, and returns a stream that writes it. Where no
// such file can be made beside the target, it returns the stream of the
// target itself, emptied; for any other failure, see fail_later.
std::FILE* create_temporary(Replacement& replacement, const char* path, DWORD attributes) {
  wchar_t wide[kMaxWide];
  DWORD error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < kNameTries && error == ERROR_FILE_EXISTS; ++attempt) {
    if (!make_temporary_name(replacement, wide)) {
      error = ERROR_FILENAME_EXCED_RANGE;
      break;
    }
    const HANDLE file = CreateFileW(wide, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    attributes, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY);
      std::FILE* stream = fd < 0 ? nullptr : _fdopen(fd, "wb");
      if (stream != nullptr) return stream;
      error = GetLastError();
      if (fd < 0) {
        CloseHandle(file);
      } else {
        _close(fd);
      }
      DeleteFileW(wide);
      return fail_later(replacement, error);
    }
    error = GetLastError();
  }
  replacement.temporary[0] = '\0';
  if (cannot_be_made(error)) return open_file(path, "wb");
  return fail_later(replacement, error);
}

bool write_all(HANDLE file, const char* bytes, DWORD size) {
  while (size > 0) {
    DWORD written = 0;
    if (WriteFile(file, bytes, size, &written, nullptr) == 0 || written == 0) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

// Copies the finished file `from` over `to` where it stands: every byte
// first, then `to` is cut to the new length and flushed to the disk, so
// that a copy that fails midway leaves no empty script.
bool copy_in_place(const wchar_t* from, const wchar_t* to) {
  const HANDLE in =
      CreateFileW(from, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  const HANDLE out = in == INVALID_HANDLE_VALUE ? INVALID_HANDLE_VALUE
                                                : CreateFileW(to, GENERIC_WRITE, kShareAll, nullptr,
                                                              OPEN_EXISTING, 0, nullptr);
  bool copied = out != INVALID_HANDLE_VALUE;
  char buffer[16384];
  for (DWORD count = 0; copied;) {
    copied = ReadFile(in, buffer, sizeof buffer, &count, nullptr) != 0;
    if (!copied || count == 0) break;
    copied = write_all(out, buffer, count);
  }
  copied = copied && SetEndOfFile(out) != 0 && FlushFileBuffers(out) != 0;
  const DWORD error = GetLastError();
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
  SetLastError(error);
  return copied;
}

// Gives the file `to` the owner, group and access list of the file `from`.
// Returns false when it cannot (another owner that this user may not give,
// a descriptor larger than the buffers).
bool copy_security(const wchar_t* from, const wchar_t* to) {
  const SECURITY_INFORMATION kinds =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  alignas(8) unsigned char old_security[16384];
  alignas(8) unsigned char new_security[16384];
  DWORD needed = 0;
  if (GetFileSecurityW(from, kinds, old_security, sizeof old_security, &needed) == 0 ||
      GetFileSecurityW(to, kinds, new_security, sizeof new_security, &needed) == 0) {
    return false;
  }
  // The owner and group are set only where they differ, as setting them
  // needs a privilege even when they stay the same.
  SECURITY_INFORMATION changed = DACL_SECURITY_INFORMATION;
  PSID old_sid = nullptr;
  PSID new_sid = nullptr;
  BOOL defaulted = FALSE;
  if (GetSecurityDescriptorOwner(old_security, &old_sid, &defaulted) == 0 ||
      GetSecurityDescriptorOwner(new_security, &new_sid, &defaulted) == 0) {
    return false;
  }
  if (old_sid != nullptr && (new_sid == nullptr || EqualSid(old_sid, new_sid) == 0)) {
    changed |= OWNER_SECURITY_INFORMATION;
  }
  if (GetSecurityDescriptorGroup(old_security, &old_sid, &defaulted) == 0 ||
      GetSecurityDescriptorGroup(new_security, &new_sid, &defaulted) == 0) {
    return false;
  }
  if (old_sid != nullptr && (new_sid == nullptr || EqualSid(old_sid, new_sid) == 0)) {
    changed |= GROUP_SECURITY_INFORMATION;
  }
  return SetFileSecurityW(to, changed, old_security) != 0;
}

// Whether an error in putting a file in place says that another program
// holds the old file open, which may end soon.
bool is_held(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
         error == ERROR_LOCK_VIOLATION;
}

// Puts the finished, flushed file `from` in place of `to`, with the owner,
// group and access list of the old `to` where there is one. It is renamed
// over `to` in one step; while another program holds `to` open, which stops
// a rename, it tries again for about 100 ms. Where it cannot take the old
// file's security, or `to` stays held, it is copied over `to` in place.
bool move_into_place(const wchar_t* from, const wchar_t* to, bool existed) {
  if (!existed || copy_security(to, from)) {
    for (int attempt = 0; attempt < 10; ++attempt) {
      if (MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
        return true;
      }
      if (!is_held(GetLastError())) return false;
      Sleep(10);
    }
  }
  return existed && copy_in_place(from, to);
}

}  // namespace

int with_utf8_arguments(int argc, wchar_t** argv, int (*run)(int, const char* const*)) {
  // A command line holds at most kMaxWide - 1 units, so at most kMaxWide / 2
  // arguments, each at least one unit and a blank; a UTF-16 unit becomes at
  // most three bytes of UTF-8, and together with the NULs they fit `text`.
  char text[3 * kMaxWide];
  const char* arguments[kMaxWide / 2 + 1];
  const int count = argc < kMaxWide / 2 ? argc : kMaxWide / 2;
  int used = 0;
  for (int i = 0; i < count; ++i) {
    arguments[i] = text + used;
    const int length = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, text + used,
                                           static_cast<int>(sizeof text) - used, nullptr, nullptr);
    if (length == 0) text[used++] = '\0';
    used += length;
  }
  arguments[count] = nullptr;
  return run(count, arguments);
}

std::FILE* open_file(const char* path, const char* mode) {
  wchar_t wide_path[kMaxWide];
  wchar_t wide_mode[8];
  if (!widen(path, wide_path) || !widen(mode, wide_mode)) {
    errno = EINVAL;
    return nullptr;
  }
  const DWORD attributes = GetFileAttributesW(wide_path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    errno = EISDIR;
    return nullptr;
  }
  return _wfopen(wide_path, wide_mode);
}

std::FILE* begin_replacement(Replacement& replacement, const char* path) {
  replacement.temporary[0] = '\0';
  replacement.error = 0;
  replacement.existed = false;
  replacement.foreign = false;
  wchar_t wide[kMaxWide];
  if (path[0] == '\0' || !widen(path, wide) || !copy_path(path, replacement.target)) {
    return open_file(path, "wb");
  }
  // The name alone first, to tell a file from a device or a folder without
  // disturbing a program that holds it open.
  const HANDLE named = CreateFileW(wide, 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  if (named == INVALID_HANDLE_VALUE) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return open_file(path, "wb");
    return create_temporary(replacement, path, FILE_ATTRIBUTE_NORMAL);
  }
  BY_HANDLE_FILE_INFORMATION info;
  const bool whole = GetFileType(named) == FILE_TYPE_DISK && file_identity(named, info) &&
                     info.nNumberOfLinks == 1 &&
                     (GetFileAttributesW(wide) & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  CloseHandle(named);
  if (!whole) return open_file(path, "wb");
  // Nothing is replaced that could not be written where it stands (the
  // attribute is tested too, as it is not where the system ignores it).
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    errno = EACCES;
    return nullptr;
  }
  const HANDLE writable =
      CreateFileW(wide, GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  if (writable == INVALID_HANDLE_VALUE) {
    errno = EACCES;
    return nullptr;
  }
  CloseHandle(writable);
  replacement.existed = true;
  const DWORD kept = info.dwFileAttributes &
                     (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  return create_temporary(replacement, path, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
}

bool end_replacement(Replacement& replacement, std::FILE* stream, bool keep) {
  if (replacement.temporary[0] == '\0') return std::fclose(stream) == 0 && keep;
  if (replacement.error != 0) {
    std::fclose(stream);
    replacement.temporary[0] = '\0';
    SetLastError(static_cast<DWORD>(replacement.error));
    errno = EIO;
    return false;
  }
  // The new file's data reaches the disk before its name does, so that a
  // crash leaves the old file or the new one.
  const bool flushed = keep && std::fflush(stream) == 0 && FlushFileBuffers(handle_of(stream)) != 0;
  const bool closed = std::fclose(stream) == 0;
  wchar_t temporary[kMaxWide];
  wchar_t target[kMaxWide];
  const bool named = widen(replacement.temporary, temporary) && widen(replacement.target, target);
  const bool placed =
      flushed && closed && named && move_into_place(temporary, target, replacement.existed);
  // Gone once put in place; left after a copy in place or a failure.
  const DWORD error = GetLastError();
  const int c_error = errno;
  if (named) DeleteFileW(temporary);
  SetLastError(error);
  errno = c_error;
  replacement.temporary[0] = '\0';
  return placed;
}

void prepare_process() {}

const char* console_argument(const char* argument, char* buffer, std::size_t size) {
  wchar_t wide[kMaxWide];
  if (!widen(argument, wide) ||
      WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, static_cast<int>(size), nullptr, nullptr) ==
          0) {
    return argument;
  }
  return buffer;
}

bool write_text(std::FILE* stream, const char* text, std::size_t size) {
  const HANDLE console = handle_of(stream);
  DWORD mode = 0;
  wchar_t wide[kMaxWide];
  const int length =
      size == 0 || GetConsoleMode(console, &mode) == 0
          ? 0
          : MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(size), wide, kMaxWide);
  if (length == 0) return std::fwrite(text, 1, size, stream) == size;
  DWORD written = 0;
  return std::fflush(stream) == 0 &&
         WriteConsoleW(console, wide, static_cast<DWORD>(length), &written, nullptr) != 0;
}

void use_binary_mode(std::FILE* stream) {
  _setmode(_fileno(stream), _O_BINARY);
}

long read_some(std::FILE* stream, unsigned char* buffer, std::size_t size) {
  const int count = _read(_fileno(stream), buffer, static_cast<unsigned>(size));
  return count < 0 ? -1 : count;
}

bool is_same_file(std::FILE* stream, const char* path) {
  BY_HANDLE_FILE_INFORMATION opened;
  const HANDLE open_handle = handle_of(stream);
  if (GetFileType(open_handle) != FILE_TYPE_DISK) return false;
  // A file whose identity cannot be read may be the script itself.
  if (!file_identity(open_handle, opened)) return true;
  if ((opened.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  wchar_t wide_path[kMaxWide];
  if (!widen(path, wide_path)) return false;
  // Opening for no access at all reads the identity without disturbing a
  // file that another program holds open.
  const HANDLE named_handle = CreateFileW(wide_path, 0, kShareAll, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION named;
  const bool known = file_identity(named_handle, named);
  if (named_handle != INVALID_HANDLE_VALUE) CloseHandle(named_handle);
  return known && opened.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
         opened.nFileIndexHigh == named.nFileIndexHigh &&
         opened.nFileIndexLow == named.nFileIndexLow;
}

}  // namespace tallsay

// Platform services for Windows, where names and console text are UTF-16.
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

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

// Makes a new empty file beside replacement.target with the `attributes` of
// the old one, named in replacement.temporary, and returns a stream that
// writes it; or null, with the name empty.
std::FILE* create_temporary(Replacement& replacement, DWORD attributes) {
  wchar_t wide[kMaxWide];
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const int length =
        std::snprintf(replacement.temporary, sizeof replacement.temporary, "%s.tallsay-%lu-%u.tmp",
                      replacement.target, GetCurrentProcessId(), attempt);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof replacement.temporary ||
        !widen(replacement.temporary, wide)) {
      break;
    }
    const HANDLE file = CreateFileW(wide, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, CREATE_NEW, attributes, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY);
      std::FILE* stream = fd < 0 ? nullptr : _fdopen(fd, "wb");
      if (stream != nullptr) return stream;
      if (fd < 0) {
        CloseHandle(file);
      } else {
        _close(fd);
      }
      DeleteFileW(wide);
      break;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) break;
  }
  replacement.temporary[0] = '\0';
  return nullptr;
}

// Copies the file `from` over `to`, which is emptied and written in place.
bool copy_in_place(const wchar_t* from, const wchar_t* to) {
  std::FILE* in = _wfopen(from, L"rb");
  std::FILE* out = in == nullptr ? nullptr : _wfopen(to, L"wb");
  bool copied = out != nullptr;
  char buffer[16384];
  for (std::size_t count; copied && (count = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
    copied = std::fwrite(buffer, 1, count, out) == count;
  }
  copied = copied && std::ferror(in) == 0;
  if (out != nullptr && std::fclose(out) != 0) copied = false;
  if (in != nullptr) std::fclose(in);
  return copied;
}

// Renames `from` over `to`. While another program holds `to` open, which
// stops a rename, it tries again for about 100 ms; then it copies `from`
// over `to` in place.
bool move_into_place(const wchar_t* from, const wchar_t* to) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING) != 0) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
        error != ERROR_LOCK_VIOLATION) {
      break;
    }
    Sleep(10);
  }
  return copy_in_place(from, to);
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
  wchar_t wide[kMaxWide];
  if (path[0] == '\0' || !widen(path, wide) || !copy_path(path, replacement.target)) {
    return open_file(path, "wb");
  }
  // The name alone first, to tell a file from a device or a folder without
  // disturbing a program that holds it open.
  const HANDLE named = CreateFileW(wide, 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  if (named == INVALID_HANDLE_VALUE) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return open_file(path, "wb");
    std::FILE* stream = create_temporary(replacement, FILE_ATTRIBUTE_NORMAL);
    return stream != nullptr ? stream : open_file(path, "wb");
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
  const DWORD kept = info.dwFileAttributes &
                     (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  std::FILE* stream = create_temporary(replacement, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
  return stream != nullptr ? stream : open_file(path, "wb");
}

bool end_replacement(Replacement& replacement, std::FILE* stream, bool keep) {
  const bool closed = std::fclose(stream) == 0;
  if (replacement.temporary[0] == '\0') return keep && closed;
  wchar_t temporary[kMaxWide];
  wchar_t target[kMaxWide];
  const bool named = widen(replacement.temporary, temporary) && widen(replacement.target, target);
  const bool placed = keep && closed && named && move_into_place(temporary, target);
  // Gone once renamed; left after a copy in place or a failure.
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

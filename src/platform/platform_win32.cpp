// Platform services for Windows, where names and console text are UTF-16.
#include <cerrno>

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
  if (!file_identity(open_handle, opened) || GetFileType(open_handle) != FILE_TYPE_DISK ||
      (opened.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  wchar_t wide_path[kMaxWide];
  if (!widen(path, wide_path)) return false;
  // Opening for no access at all reads the identity without disturbing a
  // file that another program holds open.
  const HANDLE named_handle =
      CreateFileW(wide_path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION named;
  const bool known = file_identity(named_handle, named);
  if (named_handle != INVALID_HANDLE_VALUE) CloseHandle(named_handle);
  return known && opened.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
         opened.nFileIndexHigh == named.nFileIndexHigh &&
         opened.nFileIndexLow == named.nFileIndexLow;
}

}  // namespace tallsay

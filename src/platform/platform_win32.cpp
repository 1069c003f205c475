// Platform services for Windows.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/platform.h"

namespace tallsay {
namespace {

bool file_identity(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
  return handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info) != 0;
}

}  // namespace

void use_binary_mode(std::FILE* stream) {
  _setmode(_fileno(stream), _O_BINARY);
}

long read_some(std::FILE* stream, unsigned char* buffer, std::size_t size) {
  const int count = _read(_fileno(stream), buffer, static_cast<unsigned>(size));
  return count < 0 ? -1 : count;
}

bool is_directory(std::FILE* stream) {
  BY_HANDLE_FILE_INFORMATION info;
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  return file_identity(handle, info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool is_same_file(std::FILE* stream, const char* path) {
  BY_HANDLE_FILE_INFORMATION open_file;
  const auto open_handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (!file_identity(open_handle, open_file) || GetFileType(open_handle) != FILE_TYPE_DISK ||
      (open_file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  // Opening for no access at all reads the identity without disturbing a
  // file that another program holds open.
  const HANDLE named = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION named_file;
  const bool known = file_identity(named, named_file);
  if (named != INVALID_HANDLE_VALUE) CloseHandle(named);
  return known && open_file.dwVolumeSerialNumber == named_file.dwVolumeSerialNumber &&
         open_file.nFileIndexHigh == named_file.nFileIndexHigh &&
         open_file.nFileIndexLow == named_file.nFileIndexLow;
}

}  // namespace tallsay

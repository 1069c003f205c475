// Platform services for Windows, where names and console text are UTF-16.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <bcrypt.h>
#include <winternl.h>

#include "platform/platform.h"

namespace tallsay {
namespace {

// The system's limit on a command line and on a path, in UTF-16 units.
constexpr int kMaxWide = 32768;

// The longest name a folder takes, in UTF-16 units.
constexpr std::size_t kMaxName = 255;

// The most links followed from the script's path to its file.
constexpr int kMaxLinks = 40;

// Tries at a free temporary name: with 64 random bits a name, a second is
// needed only when another program made that very name first.
constexpr int kNameTries = 16;

// A rename kept from the old file by another program that holds it open is
// tried this many times, this many ms apart: about 3 seconds, often enough
// to find a moment when a program that reads the script all the time does not.
constexpr int kRenameTries = 300;
constexpr DWORD kRenamePause = 10;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A folder opened so cannot be renamed or removed while it is held.
constexpr DWORD kShareKept = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The one piece of process state: the temporary file of the replacement
// under way, for the console's control handler to remove. It is set and
// cleared, and the file renamed, only under `lock`, so that the handler
// removes either no file or one that is still the temporary one.
struct PendingFile {
  SRWLOCK lock;
  HANDLE file;  // the temporary file, or null
  bool ending;  // the handler has run: the process is ending
};
PendingFile pending = {SRWLOCK_INIT, nullptr, false};

// Marks the open file `file` to go when its last handle is closed.
bool remove_on_close(HANDLE file) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) !=
         0;
}

BOOL WINAPI remove_pending(DWORD) {
  AcquireSRWLockExclusive(&pending.lock);
  if (pending.file != nullptr) remove_on_close(pending.file);
  pending.file = nullptr;
  pending.ending = true;
  ReleaseSRWLockExclusive(&pending.lock);
  // The next handler, the system's, ends the process, which closes the file.
  return FALSE;
}

// Tells the handler that `file` is no longer the temporary file.
void forget_pending(HANDLE file) {
  AcquireSRWLockExclusive(&pending.lock);
  if (pending.file == file) pending.file = nullptr;
  ReleaseSRWLockExclusive(&pending.lock);
}

template <int N>
bool widen(const char* text, wchar_t (&wide)[N]) {
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide, N) != 0;
}

bool file_identity(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
  return handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info) != 0;
}

HANDLE handle_of(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

// Sets the system's and the C library's error, and returns `result`.
template <typename T>
T fail(DWORD error, int c_error, T result) {
  SetLastError(error);
  errno = c_error;
  return result;
}

bool starts_with(const wchar_t* text, const wchar_t* front) {
  return std::wcsncmp(text, front, std::wcslen(front)) == 0;
}

// Puts into `whole` the whole path of `path` in the form that no length limit
// applies to: \\?\C:\..., \\?\UNC\server\share\..., or a device's \\.\NAME
// as it stands. Returns false when there is none or it does not fit.
bool whole_path(const wchar_t* path, wchar_t (&whole)[kMaxWide]) {
  // Room for the longest prefix: \\?\UNC in place of the UNC path's first \.
  constexpr DWORD kRoom = 8;
  wchar_t* full = whole + kRoom;
  const DWORD length = GetFullPathNameW(path, kMaxWide - kRoom, full, nullptr);
  if (length == 0 || length >= kMaxWide - kRoom) return false;
  const bool as_is = starts_with(full, L"\\\\?\\") || starts_with(full, L"\\\\.\\");
  const bool unc = !as_is && starts_with(full, L"\\\\");
  const wchar_t* prefix = as_is ? L"" : unc ? L"\\\\?\\UNC" : L"\\\\?\\";
  const std::size_t prefix_length = std::wcslen(prefix);
  const wchar_t* rest = full + (unc ? 1 : 0);
  std::memmove(whole + prefix_length, rest, (length + 1 - (rest - full)) * sizeof(wchar_t));
  std::memcpy(whole, prefix, prefix_length * sizeof(wchar_t));
  return true;
}

// The length of the root of the whole path `path`, up to and with the
// separator after it: \\?\C:\, \\?\UNC\server\share\, or \\?\NAME\ for any
// other volume's name. 0 when it has none.
std::size_t root_length(const wchar_t* path) {
  if (!starts_with(path, L"\\\\?\\")) return 0;
  const bool unc = starts_with(path, L"\\\\?\\UNC\\");
  const wchar_t* at = path + (unc ? 8 : 4);
  for (int parts = unc ? 2 : 1; parts > 0; --parts) {
    at = std::wcschr(at, L'\\');
    if (at == nullptr) return 0;
    ++at;
  }
  return static_cast<std::size_t>(at - path);
}

// Opens `length` units of `name` in the folder `folder` with NtCreateFile,
// for synchronous reads and writes. Returns INVALID_HANDLE_VALUE with
// GetLastError() set when it cannot.
HANDLE open_in(HANDLE folder, const wchar_t* name, std::size_t length, ACCESS_MASK access,
               ULONG share, ULONG disposition, ULONG options, ULONG attributes = 0,
               void* security = nullptr) {
  UNICODE_STRING text;
  text.Buffer = const_cast<wchar_t*>(name);
  text.Length = text.MaximumLength = static_cast<USHORT>(length * sizeof(wchar_t));
  OBJECT_ATTRIBUTES object;
  InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, folder, security);
  IO_STATUS_BLOCK io;
  HANDLE handle = INVALID_HANDLE_VALUE;
  const NTSTATUS status =
      NtCreateFile(&handle, access | SYNCHRONIZE, &object, &io, nullptr, attributes, share,
                   disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (status >= 0) return handle;
  SetLastError(RtlNtStatusToDosError(status));
  return INVALID_HANDLE_VALUE;
}

// Opens `length` units of `name` in `folder` as it stands, a link not
// followed, to read its attributes and security.
HANDLE open_name(HANDLE folder, const wchar_t* name, std::size_t length, DWORD share) {
  return open_in(folder, name, length, FILE_READ_ATTRIBUTES | READ_CONTROL, share, FILE_OPEN,
                 FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT);
}

// A security identifier, copied.
struct Sid {
  alignas(8) unsigned char bytes[SECURITY_MAX_SID_SIZE];
};

bool copy_sid(PSID from, Sid& to) {
  return from != nullptr && CopySid(sizeof to.bytes, to.bytes, from) != 0;
}

bool same_sid(const Sid& one, const Sid& other) {
  return EqualSid(const_cast<unsigned char*>(one.bytes), const_cast<unsigned char*>(other.bytes)) !=
         0;
}

// Fills `owner` with the owner of the file or folder `handle`.
bool owner_of(HANDLE handle, Sid& owner) {
  alignas(8) unsigned char security[4096];
  DWORD needed = 0;
  PSID sid = nullptr;
  BOOL defaulted = FALSE;
  return GetKernelObjectSecurity(handle, OWNER_SECURITY_INFORMATION, security, sizeof security,
                                 &needed) != 0 &&
         GetSecurityDescriptorOwner(security, &sid, &defaulted) != 0 && copy_sid(sid, owner);
}

// Fills `user` with the user this process runs as, and `owner` with the
// owner it gives new files (the administrators, for an elevated one).
bool own_sids(Sid& user, Sid& owner) {
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) == 0) return false;
  alignas(8) unsigned char info[512];
  DWORD size = 0;
  const bool known = GetTokenInformation(token, TokenUser, info, sizeof info, &size) != 0 &&
                     copy_sid(reinterpret_cast<TOKEN_USER*>(info)->User.Sid, user) &&
                     GetTokenInformation(token, TokenOwner, info, sizeof info, &size) != 0 &&
                     copy_sid(reinterpret_cast<TOKEN_OWNER*>(info)->Owner, owner);
  CloseHandle(token);
  return known;
}

// Who owns the links followed so far: while they are the user's own (or
// there are none), anything may be reached through them; else only what
// belongs to the owner of the last.
struct LinkOwner {
  bool own;
  Sid sid;
};

// Whether what `handle` is open on may be written or followed through the
// links of `link`: another user's links lead only to that user's files, so
// that no one can plant a link that makes this user write where that one
// may not.
bool may_follow(const LinkOwner& link, HANDLE handle) {
  Sid owner;
  return link.own || (owner_of(handle, owner) && same_sid(owner, link.sid));
}

// Makes `link` the owner of the link `handle`.
bool take_link_owner(LinkOwner& link, HANDLE handle) {
  Sid user;
  Sid owner;
  if (!owner_of(handle, link.sid) || !own_sids(user, owner)) return false;
  link.own = same_sid(link.sid, user) || same_sid(link.sid, owner);
  return true;
}

// What a look-up of a script's path found.
struct Place {
  HANDLE folder;                // the folder of the last name, held open
  HANDLE file;                  // the last name, not followed; INVALID_HANDLE_VALUE when free
  FILE_ATTRIBUTE_TAG_INFO tag;  // the attributes of `file`
  const wchar_t* name;          // the last name, in the path
};

// The attributes and reparse tag of what `handle` is open on; all zero when
// they cannot be read.
FILE_ATTRIBUTE_TAG_INFO tag_of(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag);
  return tag;
}

bool is_link(const FILE_ATTRIBUTE_TAG_INFO& tag) {
  return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         IsReparseTagNameSurrogate(tag.ReparseTag);
}

bool same_file(const BY_HANDLE_FILE_INFORMATION& one, const BY_HANDLE_FILE_INFORMATION& other) {
  return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

// Follows the link `link_handle`, the name `name` (`length` units) in
// `folder`: `link` takes its owner, and what the system reaches through it is
// opened, which must belong to that owner unless the link is the user's own
// (see may_follow). Closes `link_handle`. Returns INVALID_HANDLE_VALUE with
// GetLastError() set, and `foreign` when refused.
HANDLE follow(LinkOwner& link, HANDLE link_handle, HANDLE folder, const wchar_t* name,
              std::size_t length, bool& foreign) {
  foreign = !may_follow(link, link_handle);
  const bool taken = !foreign && take_link_owner(link, link_handle);
  CloseHandle(link_handle);
  const HANDLE target = taken ? open_in(folder, name, length, FILE_READ_ATTRIBUTES | READ_CONTROL,
                                        kShareKept, FILE_OPEN, FILE_OPEN_FOR_BACKUP_INTENT)
                              : INVALID_HANDLE_VALUE;
  foreign = foreign || (target != INVALID_HANDLE_VALUE && !may_follow(link, target));
  if (target != INVALID_HANDLE_VALUE && !foreign) return target;
  if (target != INVALID_HANDLE_VALUE) CloseHandle(target);
  return fail(foreign || !taken ? ERROR_ACCESS_DENIED : GetLastError(), EACCES,
              INVALID_HANDLE_VALUE);
}

// Looks up the whole path `path` from its root, opening every name in the
// folder before it without following a link. A link (a symbolic link, a
// junction, a mounted folder) is followed as may_follow allows: in a folder
// of the path, the walk goes on from what it leads to; as the last name, the
// walk starts again from the whole path of the file it leads to, which must
// then be that file still. Fills `place`, or returns false with errno and
// GetLastError() set, and `replacement.foreign` when a link was refused.
bool look_up(Replacement& replacement, wchar_t (&path)[kMaxWide], Place& place) {
  LinkOwner link = {true, {}};
  BY_HANDLE_FILE_INFORMATION expected = {};  // the file that a last link led to
  bool expecting = false;
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    const std::size_t root = root_length(path);
    if (root == 0) return fail(ERROR_INVALID_NAME, ENOENT, false);
    const wchar_t kept = path[root];
    path[root] = L'\0';
    HANDLE folder =
        CreateFileW(path, FILE_READ_ATTRIBUTES | READ_CONTROL, kShareKept, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    path[root] = kept;
    if (folder == INVALID_HANDLE_VALUE) return fail(GetLastError(), ENOENT, false);
    for (std::size_t at = root;;) {
      const wchar_t* separator = std::wcschr(path + at, L'\\');
      const bool last = separator == nullptr;
      const std::size_t end =
          last ? at + std::wcslen(path + at) : static_cast<std::size_t>(separator - path);
      HANDLE name = end == at || end - at > kMaxName
                        ? fail(ERROR_DIRECTORY, EISDIR, INVALID_HANDLE_VALUE)
                        : open_name(folder, path + at, end - at, last ? kShareAll : kShareKept);
      const DWORD error = GetLastError();
      const bool free =
          name == INVALID_HANDLE_VALUE && last && !expecting && error == ERROR_FILE_NOT_FOUND;
      if (free && may_follow(link, folder)) {
        place = {folder, INVALID_HANDLE_VALUE, {}, path + at};
        return true;
      }
      replacement.foreign = free;
      FILE_ATTRIBUTE_TAG_INFO tag = {};
      if (name != INVALID_HANDLE_VALUE) tag = tag_of(name);
      if (name != INVALID_HANDLE_VALUE && is_link(tag)) {
        name = follow(link, name, folder, path + at, end - at, replacement.foreign);
      } else if (name != INVALID_HANDLE_VALUE && last) {
        BY_HANDLE_FILE_INFORMATION info;
        replacement.foreign = !may_follow(link, name);
        if (!replacement.foreign &&
            (!expecting || (file_identity(name, info) && same_file(info, expected)))) {
          place = {folder, name, tag, path + at};
          return true;
        }
        CloseHandle(name);
        name = fail(replacement.foreign ? ERROR_ACCESS_DENIED : ERROR_CANT_RESOLVE_FILENAME, EACCES,
                    INVALID_HANDLE_VALUE);
      }
      if (name == INVALID_HANDLE_VALUE) {
        CloseHandle(folder);
        return fail(free ? ERROR_ACCESS_DENIED : GetLastError(),
                    replacement.foreign ? EACCES : ENOENT, false);
      }
      CloseHandle(folder);
      if (last) {
        // A link as the last name: the walk starts again from its file's path.
        const DWORD length = GetFinalPathNameByHandleW(name, path, kMaxWide, VOLUME_NAME_DOS);
        expecting = file_identity(name, expected) && length > 0 && length < kMaxWide;
        CloseHandle(name);
        if (!expecting) return fail(ERROR_CANT_RESOLVE_FILENAME, ENOENT, false);
        break;
      }
      if ((tag_of(name).FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        CloseHandle(name);
        return fail(ERROR_PATH_NOT_FOUND, ENOTDIR, false);
      }
      folder = name;
      at = end + 1;
    }
  }
  return fail(ERROR_CANT_RESOLVE_FILENAME, ELOOP, false);
}

// Whether `path`, a whole path, names a stream of a file: it holds ':' after
// its root.
bool names_stream(const wchar_t* path) {
  return std::wcschr(path + root_length(path), L':') != nullptr;
}

// Returns a stream that writes the open file `file`, or null when there is
// none (no free descriptor); `file` is then closed, and removed first when
// it is `temporary`.
std::FILE* stream_of(HANDLE file, bool temporary = false) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY);
  std::FILE* stream = fd < 0 ? nullptr : _fdopen(fd, "wb");
  if (stream != nullptr) return stream;
  if (temporary) remove_on_close(file);
  if (fd < 0) {
    CloseHandle(file);
  } else {
    _close(fd);
  }
  return nullptr;
}

void close_old(Replacement& replacement) {
  if (replacement.old_handle != nullptr) CloseHandle(replacement.old_handle);
  replacement.old_handle = nullptr;
}

void close_handles(Replacement& replacement) {
  const DWORD error = GetLastError();
  close_old(replacement);
  if (replacement.folder_handle != nullptr) CloseHandle(replacement.folder_handle);
  replacement.folder_handle = nullptr;
  SetLastError(error);
}

// Writes the device at the whole path `path` (\\.\NUL, \\.\CON, a pipe)
// where it stands. A disk reached so is refused.
std::FILE* open_device(const wchar_t* path) {
  const HANDLE device = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (device == INVALID_HANDLE_VALUE) return fail(GetLastError(), EACCES, nullptr);
  if (GetFileType(device) == FILE_TYPE_DISK) {
    CloseHandle(device);
    return fail(ERROR_ACCESS_DENIED, EACCES, nullptr);
  }
  return stream_of(device);
}

// Hands the run a stream that writes nothing, after the new file could not be
// made for `error`: the run then ends with a write error, the old file as it
// was.
std::FILE* fail_later(Replacement& replacement, DWORD error) {
  close_handles(replacement);
  replacement.error = static_cast<int>(error);
  // Not empty, so that end_replacement looks at the error; no file has it.
  std::memcpy(replacement.temporary, "?", 2);
  std::FILE* stream = _wfopen(L"NUL", L"wb");
  return fail(error, EIO, stream);
}

// Puts into `name` the name of the new file: `target` followed by
// ".tallsay-", 16 random hexadecimal digits and ".tmp", or, where that name
// would be too long for a folder, "tallsay-" and the digits and ".tmp".
bool make_temporary_name(const wchar_t* target, wchar_t (&name)[kMaxName + 1]) {
  unsigned char bytes[8];
  if (BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
    return false;
  }
  wchar_t digits[2 * sizeof bytes + 1];
  for (std::size_t i = 0; i < sizeof bytes; ++i) {
    digits[2 * i] = L"0123456789abcdef"[bytes[i] >> 4];
    digits[2 * i + 1] = L"0123456789abcdef"[bytes[i] & 15];
  }
  digits[sizeof digits / sizeof *digits - 1] = L'\0';
  const bool room = std::wcslen(target) + 13 + 16 <= kMaxName;
  return std::swprintf(name, kMaxName + 1, L"%ls%ls%ls.tmp", room ? target : L"",
                       room ? L".tallsay-" : L"tallsay-", digits) > 0;
}

// A security descriptor that gives the user who runs this every right and
// no one else any, and inherits nothing.
struct PrivateSecurity {
  SECURITY_DESCRIPTOR descriptor;
  alignas(8) unsigned char list[sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE];
};

bool make_private(PrivateSecurity& security) {
  Sid user;
  Sid owner;
  auto* list = reinterpret_cast<PACL>(security.list);
  return own_sids(user, owner) && InitializeAcl(list, sizeof security.list, ACL_REVISION) != 0 &&
         AddAccessAllowedAce(list, ACL_REVISION, FILE_ALL_ACCESS, user.bytes) != 0 &&
         InitializeSecurityDescriptor(&security.descriptor, SECURITY_DESCRIPTOR_REVISION) != 0 &&
         SetSecurityDescriptorDacl(&security.descriptor, TRUE, list, FALSE) != 0 &&
         SetSecurityDescriptorControl(&security.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED) !=
             0;
}

// Whether an error in making the new file says that the folder takes no new
// file, rather than that something went wrong.
bool is_refusal(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ||
         error == ERROR_INVALID_NAME || error == ERROR_FILENAME_EXCED_RANGE;
}

// Makes the new file in the look-up's folder under a free temporary name,
// with the `attributes` of the old file and a security that lets no one else
// open it, tells the console's control handler of it, and returns a stream
// that writes it.
std::FILE* create_temporary(Replacement& replacement, const wchar_t* target, DWORD attributes) {
  PrivateSecurity security;
  if (!make_private(security)) return fail_later(replacement, GetLastError());
  wchar_t name[kMaxName + 1];
  std::FILE* stream = nullptr;
  DWORD error = ERROR_ALREADY_EXISTS;
  for (int attempt = 0; attempt < kNameTries && error == ERROR_ALREADY_EXISTS; ++attempt) {
    if (!make_temporary_name(target, name)) return fail_later(replacement, GetLastError());
    // Made and known to the handler at once, so that it removes any file made.
    AcquireSRWLockExclusive(&pending.lock);
    const HANDLE file = pending.ending ? INVALID_HANDLE_VALUE
                                       : open_in(replacement.folder_handle, name, std::wcslen(name),
                                                 GENERIC_READ | GENERIC_WRITE | DELETE |
                                                     READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                                                 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE,
                                                 attributes, &security.descriptor);
    error = pending.ending ? ERROR_OPERATION_ABORTED : GetLastError();
    if (file != INVALID_HANDLE_VALUE) {
      stream = stream_of(file, true);
      error = stream != nullptr ? ERROR_SUCCESS : ERROR_TOO_MANY_OPEN_FILES;
      if (stream != nullptr && pending.file == nullptr) pending.file = file;
    }
    ReleaseSRWLockExclusive(&pending.lock);
    if (error == ERROR_FILE_EXISTS) error = ERROR_ALREADY_EXISTS;
  }
  if (stream != nullptr) {
    WideCharToMultiByte(CP_UTF8, 0, name, -1, replacement.temporary, sizeof replacement.temporary,
                        nullptr, nullptr);
    return stream;
  }
  if (!is_refusal(error)) return fail_later(replacement, error);
  close_handles(replacement);
  return fail(error, EACCES, nullptr);
}

// Whether the volume of `file` keeps security (FAT and exFAT keep none).
bool keeps_security(HANDLE file) {
  DWORD flags = 0;
  return GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) ==
             0 ||
         (flags & FILE_PERSISTENT_ACLS) != 0;
}

// Gives the new file `file` the owner, group and access list of the old one,
// or, for a new script, the access list its folder gives new files, where
// its volume keeps them. Where the old owner cannot be given, the file keeps
// its own. Closes the old file, which, held open by this process, would
// stop the rename.
bool take_security(Replacement& replacement, HANDLE file) {
  if (!keeps_security(file)) {
    close_old(replacement);
    return true;
  }
  if (replacement.old_handle == nullptr) {
    ACL none;
    return InitializeAcl(&none, sizeof none, ACL_REVISION) != 0 &&
           SetSecurityInfo(file, SE_FILE_OBJECT,
                           DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                           nullptr, nullptr, &none, nullptr) == ERROR_SUCCESS;
  }
  const SECURITY_INFORMATION kinds =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  alignas(8) unsigned char old_security[16384];
  alignas(8) unsigned char new_security[4096];
  DWORD needed = 0;
  if (GetKernelObjectSecurity(replacement.old_handle, kinds, old_security, sizeof old_security,
                              &needed) == 0 ||
      GetKernelObjectSecurity(file, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
                              new_security, sizeof new_security, &needed) == 0) {
    close_handles(replacement);
    return false;
  }
  // The owner and group are set only where they differ, as setting them
  // needs a privilege even when they stay the same.
  SECURITY_INFORMATION changed = DACL_SECURITY_INFORMATION;
  PSID old_sid = nullptr;
  PSID new_sid = nullptr;
  BOOL defaulted = FALSE;
  GetSecurityDescriptorOwner(old_security, &old_sid, &defaulted);
  GetSecurityDescriptorOwner(new_security, &new_sid, &defaulted);
  if (old_sid != nullptr && (new_sid == nullptr || EqualSid(old_sid, new_sid) == 0)) {
    changed |= OWNER_SECURITY_INFORMATION;
  }
  GetSecurityDescriptorGroup(old_security, &old_sid, &defaulted);
  GetSecurityDescriptorGroup(new_security, &new_sid, &defaulted);
  if (old_sid != nullptr && (new_sid == nullptr || EqualSid(old_sid, new_sid) == 0)) {
    changed |= GROUP_SECURITY_INFORMATION;
  }
  const bool taken =
      SetKernelObjectSecurity(file, changed, old_security) != 0 ||
      SetKernelObjectSecurity(file, changed & ~OWNER_SECURITY_INFORMATION, old_security) != 0;
  close_old(replacement);
  return taken;
}

// Whether an error in renaming over the old file `name` in `folder` says
// that another program holds it open, which may end soon: a denial is one
// only where this user may remove the old file.
bool is_held(DWORD error, HANDLE folder, const wchar_t* name) {
  if (error == ERROR_ACCESS_DENIED) {
    const HANDLE old = open_in(folder, name, std::wcslen(name), DELETE, kShareAll, FILE_OPEN,
                               FILE_OPEN_REPARSE_POINT);
    if (old != INVALID_HANDLE_VALUE) CloseHandle(old);
    return old != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED;
  }
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_USER_MAPPED_FILE;
}

// Renames the finished, flushed new file `file` over the old one in the
// folder, in one step, through its handle. While another program holds the
// old file open, which stops a rename, it tries again for about 3 seconds.
bool put_in_place(Replacement& replacement, HANDLE file) {
  wchar_t name[kMaxName + 1];
  if (!widen(replacement.target, name)) return fail(ERROR_INVALID_NAME, EINVAL, false);
  alignas(8) unsigned char buffer[sizeof(FILE_RENAME_INFORMATION) + sizeof name];
  auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer);
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = replacement.folder_handle;
  rename->FileNameLength = static_cast<ULONG>(std::wcslen(name) * sizeof(wchar_t));
  std::memcpy(rename->FileName, name, rename->FileNameLength);
  const auto size = static_cast<ULONG>(sizeof(FILE_RENAME_INFORMATION) + rename->FileNameLength);
  for (int attempt = 1;; ++attempt) {
    AcquireSRWLockExclusive(&pending.lock);
    IO_STATUS_BLOCK io;
    // What SetFileInformationByHandle does with FileRenameInfo; called here
    // as it is, since some of its versions make a name in a folder a whole path.
    const NTSTATUS status =
        pending.ending ? static_cast<NTSTATUS>(0xC0000120L)  // cancelled
                       : NtSetInformationFile(file, &io, rename, size, FileRenameInformation);
    if (status >= 0 && pending.file == file) pending.file = nullptr;
    ReleaseSRWLockExclusive(&pending.lock);
    if (status >= 0) return true;
    const DWORD error = RtlNtStatusToDosError(status);
    replacement.held = is_held(error, replacement.folder_handle, name);
    if (!replacement.held || attempt == kRenameTries) {
      return fail(replacement.held ? ERROR_SHARING_VIOLATION : error, EIO, false);
    }
    Sleep(kRenamePause);
  }
}

// Writes `size` bytes of `bytes` into `file` at `at`. Returns false with the
// system's reason when it cannot.
bool write_at(HANDLE file, const char* bytes, DWORD size, std::uint64_t at) {
  while (size > 0) {
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD written = 0;
    if (WriteFile(file, bytes, size, &written, &where) == 0 || written == 0) return false;
    bytes += written;
    size -= written;
    at += written;
  }
  return true;
}

// Copies bytes `from` to `to` of the file `source` into `file` at the same
// places. Returns false with the system's reason when it cannot.
bool copy_range(HANDLE source, HANDLE file, std::uint64_t from, std::uint64_t to) {
  char buffer[64 * 1024];
  while (from < to) {
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(from);
    where.OffsetHigh = static_cast<DWORD>(from >> 32);
    const DWORD want = static_cast<DWORD>(to - from < sizeof buffer ? to - from : sizeof buffer);
    DWORD got = 0;
    if (ReadFile(source, buffer, want, &got, &where) == 0) return false;
    if (got == 0) return fail(ERROR_HANDLE_EOF, EIO, false);
    if (!write_at(file, buffer, got, from)) return false;
    from += got;
  }
  return true;
}

bool set_length(HANDLE file, std::uint64_t length) {
  FILE_END_OF_FILE_INFO end;
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  return SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) != 0;
}

// Copies the finished new file `source` over the old file where it stands,
// so that all its names show the new script: the new bytes past the old
// file's end first, flushed to the disk, and when they do not fit the file
// is cut back to its old length, as it was; then the bytes over the old
// ones, flushed, and only then the file is cut to the new length. A reader
// finds the old script, the new one, or the new one's first bytes and the
// rest of the old one, never an empty script.
bool copy_over(Replacement& replacement, HANDLE source) {
  wchar_t name[kMaxName + 1];
  if (!widen(replacement.target, name)) return fail(ERROR_INVALID_NAME, EINVAL, false);
  close_old(replacement);
  const HANDLE file =
      open_in(replacement.folder_handle, name, std::wcslen(name), GENERIC_WRITE, kShareAll,
              FILE_OPEN, FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  LARGE_INTEGER old_size;
  bool copied = GetFileSizeEx(source, &size) != 0 && GetFileSizeEx(file, &old_size) != 0;
  const auto length = static_cast<std::uint64_t>(size.QuadPart);
  const auto old_length = static_cast<std::uint64_t>(old_size.QuadPart);
  if (copied && length > old_length) {
    copied = copy_range(source, file, old_length, length) && FlushFileBuffers(file) != 0;
    const DWORD error = GetLastError();
    if (!copied) set_length(file, old_length);
    SetLastError(error);
  }
  copied = copied && copy_range(source, file, 0, length < old_length ? length : old_length) &&
           FlushFileBuffers(file) != 0 && set_length(file, length) && FlushFileBuffers(file) != 0;
  const DWORD error = GetLastError();
  CloseHandle(file);
  SetLastError(error);
  return copied;
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
    const int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, argv[i], -1, text + used,
                                           static_cast<int>(sizeof text) - used, nullptr, nullptr);
    if (length == 0 && GetLastError() == ERROR_NO_UNICODE_TRANSLATION) {
      std::fputs("Error, an argument is not valid text: it holds a lone UTF-16 surrogate\n",
                 stderr);
      return 1;
    }
    if (length == 0) text[used++] = '\0';
    used += length;
  }
  arguments[count] = nullptr;
  return run(count, arguments);
}

std::FILE* open_file(const char* path, const char* mode) {
  wchar_t wide_path[kMaxWide];
  wchar_t whole[kMaxWide];
  wchar_t wide_mode[8];
  if (!widen(path, wide_path) || !widen(mode, wide_mode) || !whole_path(wide_path, whole)) {
    errno = path[0] == '\0' ? ENOENT : EINVAL;
    return nullptr;
  }
  const DWORD attributes = GetFileAttributesW(whole);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    errno = EISDIR;
    return nullptr;
  }
  return _wfopen(whole, wide_mode);
}

std::FILE* begin_replacement(Replacement& replacement, const char* path) {
  replacement.temporary[0] = '\0';
  replacement.error = 0;
  replacement.existed = false;
  replacement.foreign = false;
  replacement.held = false;
  replacement.named_stream = false;
  replacement.copied = false;
  replacement.folder_handle = nullptr;
  replacement.old_handle = nullptr;
  wchar_t wide[kMaxWide];
  wchar_t whole[kMaxWide];
  if (!widen(path, wide) || !whole_path(wide, whole)) {
    return fail(ERROR_INVALID_NAME, path[0] == '\0' ? ENOENT : EINVAL, nullptr);
  }
  if (starts_with(whole, L"\\\\.\\")) return open_device(whole);
  if (names_stream(whole)) {
    replacement.named_stream = true;
    return fail(ERROR_INVALID_NAME, EINVAL, nullptr);
  }
  Place place;
  if (!look_up(replacement, whole, place)) return nullptr;
  replacement.folder_handle = place.folder;
  if (place.file != INVALID_HANDLE_VALUE) replacement.old_handle = place.file;
  // The name is kept in UTF-8 for the rename; one that holds a lone
  // surrogate (as a name that a link leads to may) has no UTF-8 form.
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, place.name, -1, replacement.target,
                          sizeof replacement.target, nullptr, nullptr) == 0) {
    close_handles(replacement);
    return fail(ERROR_INVALID_NAME, EINVAL, nullptr);
  }
  if (place.file == INVALID_HANDLE_VALUE) {
    return create_temporary(replacement, place.name, FILE_ATTRIBUTE_NORMAL);
  }
  const DWORD attributes = place.tag.FileAttributes;
  BY_HANDLE_FILE_INFORMATION info;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !file_identity(place.file, info)) {
    close_handles(replacement);
    return fail(ERROR_DIRECTORY, EISDIR, nullptr);
  }
  // Nothing is replaced that could not be written where it stands (the
  // attribute is tested too, as it is not where the system ignores it).
  const HANDLE writable =
      (attributes & FILE_ATTRIBUTE_READONLY) != 0
          ? INVALID_HANDLE_VALUE
          : open_in(place.folder, place.name, std::wcslen(place.name), FILE_WRITE_DATA, kShareAll,
                    FILE_OPEN, FILE_OPEN_REPARSE_POINT | FILE_NON_DIRECTORY_FILE);
  const DWORD error = writable == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  if (writable != INVALID_HANDLE_VALUE) CloseHandle(writable);
  if (writable == INVALID_HANDLE_VALUE && error != ERROR_SHARING_VIOLATION) {
    close_handles(replacement);
    return fail(ERROR_ACCESS_DENIED, EACCES, nullptr);
  }
  replacement.existed = true;
  // A file of several names is written over where it stands at the end, so
  // that all its names show the new script.
  replacement.copied = info.nNumberOfLinks > 1;
  const DWORD kept =
      attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  return create_temporary(replacement, place.name, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
}

bool end_replacement(Replacement& replacement, std::FILE* stream, bool keep) {
  if (replacement.temporary[0] == '\0') return std::fclose(stream) == 0 && keep;
  if (replacement.error != 0) {
    std::fclose(stream);
    replacement.temporary[0] = '\0';
    return fail(static_cast<DWORD>(replacement.error), EIO, false);
  }
  const HANDLE file = handle_of(stream);
  // The new file's data reaches the disk before its name does, so that a
  // crash leaves the old file or the new one.
  const bool flushed = keep && std::fflush(stream) == 0 && FlushFileBuffers(file) != 0;
  const bool placed = flushed && (replacement.copied ? copy_over(replacement, file)
                                                     : take_security(replacement, file) &&
                                                           put_in_place(replacement, file));
  const DWORD error = GetLastError();
  if (!placed || replacement.copied) remove_on_close(file);
  forget_pending(file);
  std::fclose(stream);
  close_handles(replacement);
  replacement.temporary[0] = '\0';
  return placed || fail(error, EIO, false);
}

void prepare_process() {
  SetConsoleCtrlHandler(remove_pending, TRUE);
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
  if (GetFileType(open_handle) != FILE_TYPE_DISK) return false;
  // A file whose identity cannot be read may be the script itself.
  if (!file_identity(open_handle, opened)) return true;
  if ((opened.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  wchar_t wide_path[kMaxWide];
  wchar_t whole[kMaxWide];
  if (!widen(path, wide_path) || !whole_path(wide_path, whole)) return false;
  // Opening for no access at all reads the identity without disturbing a
  // file that another program holds open.
  const HANDLE named_handle =
      CreateFileW(whole, 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION named;
  const bool known = file_identity(named_handle, named);
  if (named_handle != INVALID_HANDLE_VALUE) CloseHandle(named_handle);
  return known && opened.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
         opened.nFileIndexHigh == named.nFileIndexHigh &&
         opened.nFileIndexLow == named.nFileIndexLow;
}

}  // namespace tallsay

// Platform: the console streams of a program, and the few services whose
// form differs between systems: the program's arguments, files opened by
// name, files replaced whole, binary streams, raw reads, file identity and
// console text.
#pragma once

#include <cstddef>
#include <cstdio>

namespace tallsay {

// The console streams a program writes to: its output and its messages.
struct Console {
  std::FILE* out;
  std::FILE* err;
};

// A program starts at TALLSAY_MAIN(int argc, tallsay::ArgChar** argv): on
// Windows that is wmain, which the C runtime hands the arguments in UTF-16
// (programs linked with -municode), so that a name outside the system's ANSI
// code page arrives intact; elsewhere it is main, with the bytes as given.
#ifdef _WIN32
#define TALLSAY_MAIN wmain
using ArgChar = wchar_t;
#else
#define TALLSAY_MAIN main
using ArgChar = char;
#endif

// Calls `run` with the program's arguments `argv` in UTF-8 and returns what
// it returns. On Windows an argument that holds a lone UTF-16 surrogate, which
// no UTF-8 text can hold, is refused: `run` is not called, an error goes to
// standard error and 1 is returned.
int with_utf8_arguments(int argc, ArgChar** argv, int (*run)(int, const char* const*));

// Opens the file that the UTF-8 `path` names, as std::fopen does with
// `mode` (on Windows a path past 260 characters too). Returns null with errno
// set when it cannot; a folder gives EISDIR.
std::FILE* open_file(const char* path, const char* mode);

// The longest path a replacement keeps, in bytes with its NUL.
inline constexpr std::size_t kMaxPathBytes = 4096;

// A file put in place whole: written under a temporary name in its folder,
// then renamed over the old file in one step, so that at every instant its
// path names the old file or the new one, never a part of either. On POSIX
// systems the path is looked up once: the folder is held open and every
// later step names files relative to it, so that nothing outside that folder
// can be changed by a swap of names in it. On Windows likewise: every name of
// the path is opened in the folder before it, without following a link, and
// the new file is made, and renamed through its own handle, in the folder.
struct Replacement {
  // The file replaced (symbolic links followed) and the new file until it is
  // in place: their names in the folder. `temporary` is empty when the file
  // is written in place.
  char target[kMaxPathBytes];
  char temporary[kMaxPathBytes];
  int folder;      // POSIX: the folder, held open while the new file is written
  int old;         // POSIX: the old file, opened for writing; -1 when there was none
  int error;       // why the new file could not be made (errno), or 0
  bool existed;    // an old file is replaced, not a new one made
  bool foreign;    // refused: a link that another user controls leads out of the folder named
  bool signalled;  // POSIX: the signal handlers know of the new file
  bool copied;     // the new file is copied over the old one at the end (POSIX: it has no name)
  unsigned owner;  // POSIX: the owner, group and mode that the new file takes
  unsigned group;
  unsigned mode;
  void* folder_handle;  // Windows: the folder, held open while the new file is written
  void* old_handle;     // Windows: the old file, opened to read its security; null when none
  bool held;            // Windows: refused: another program held the old file open throughout
  bool named_stream;    // Windows: refused: the name holds ':', which names a stream of a file
};

// Opens the file that the UTF-8 `path` names for binary writing, to be ended
// by end_replacement. The new file is written whole before the old one is
// touched: under a temporary name beside it, a new file that only its maker
// may open until it is complete. On POSIX systems, where it cannot be renamed
// over the old file (a file of more than one hard link, a folder that takes
// no new file or keeps every name it has, a name with no room for the
// temporary one), it is written into a file with no name instead and copied
// over the old one at the end; a device or a FIFO is written as it stands.
// Each symbolic link on the path, in its folders or its last part, is
// followed when it belongs to the user who runs this or to root, or leads to
// what its own owner owns; a file of several hard links is written only
// where no other user can have made its name. Any other link is refused
// (EACCES, with `foreign` set). Returns null with errno set, having changed
// nothing, when the file cannot be opened for writing (a read-only file, a
// folder, a missing folder); on Windows GetLastError() then holds the
// system's reason. When the new file cannot be made for any other reason (no
// space, no free descriptor), it returns a stream that fails and
// end_replacement reports that reason, the old file untouched.
// On Windows a file of more than one hard link is written under a temporary
// name too and copied over the old one at the end, and only a device is
// written where it stands: a script whose folder takes no new file is
// refused (EACCES), and
// one whose name leaves no room for the temporary name gets a temporary name
// of its own, tallsay-<16 hexadecimal digits>.tmp. A link there is a symbolic
// link or a junction, in any folder of the path too, and its owner and that
// of where it leads are those of their security. A name that holds ':' is
// refused (EINVAL) with `named_stream` set, and a path past 260 characters
// works.
std::FILE* begin_replacement(Replacement& replacement, const char* path);

// Closes `stream`, opened by begin_replacement. When `keep` and every write
// succeeded, gives the new file the old one's owner, group, permissions and
// extended attributes (on Windows its hidden, system and archive attributes,
// owner, group and access list where its volume keeps them, but not its
// streams; a new file gets the access list its folder gives new files),
// flushes it to the disk, puts it in place and flushes the folder, and
// returns true. On POSIX systems, where the new file cannot take what the old
// one had, or the old one cannot be renamed over (a file mounted on its
// name), the finished new file is copied over the old one in place: only
// after room for all of it is reserved, every byte written and flushed before
// the file is cut to its new length. On Windows only a file of several hard
// links is copied in place (the new bytes past the old end first, cut back
// when they do not fit, then the rest, flushed, then the length): where the
// new file cannot take the old one's owner, it belongs to the user who runs
// this, and while another program holds the old file open the rename is
// tried again for about 3 seconds, after which it fails with `held` set.
// Otherwise, and whenever a step fails, it removes the temporary file, so
// that the old file stays as it was, and returns false with errno (on
// Windows also GetLastError()) saying why.
bool end_replacement(Replacement& replacement, std::FILE* stream, bool keep);

// Prepares the process for a run of the tool: a standard stream that is
// closed is opened on the null device (or, where there is none, on a pipe
// that gives no input and takes output nowhere), so that no file the run
// opens takes its place; a write to a closed pipe or past the file size limit
// fails with an error that the run reports, instead of ending the process;
// and every signal that would end the process and can be caught (on POSIX
// systems; INT, TERM and HUP among them) removes the temporary file of a
// replacement under way before it ends the process as it would have. On
// Windows the console's Ctrl+C, Ctrl+Break, closing, logging off and
// shutting down remove it likewise.
void prepare_process();

// Returns the UTF-8 `argument` as the console shows a program's argument:
// in the system's ANSI code page on Windows, written into `buffer` (or
// `argument` itself when it has not room), and `argument` itself elsewhere.
const char* console_argument(const char* argument, char* buffer, std::size_t size);

// Writes `size` bytes of UTF-8 text to `stream`; a Windows console gets it
// as UTF-16, which shows every character whatever its code page. Returns
// false when the write fails.
bool write_text(std::FILE* stream, const char* text, std::size_t size);

// Switches a standard stream to binary mode, so every byte passes unchanged.
void use_binary_mode(std::FILE* stream);

// Reads up to `size` bytes from the descriptor under `stream`, returning as
// soon as any are there (it does not wait to fill `buffer`). Returns the
// count read, 0 at the end of input, or -1 on a read error. Interrupted reads
// are retried. REQUIRES: nothing has been read from `stream` through stdio.
long read_some(std::FILE* stream, unsigned char* buffer, std::size_t size);

// Returns true when `stream` is open on an existing regular file and the
// UTF-8 `path` names that same file (compared by identity, not by spelling),
// and also when `stream` is open on a disk file whose identity cannot be read.
bool is_same_file(std::FILE* stream, const char* path);

}  // namespace tallsay

// A zip archive of files stored as they are, for the page's download of a
// chain of scripts. Scripts are a few kilobytes each, so compressing them
// would gain little; storing them keeps the writer a few dozen lines that
// any unzip reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace tallsay {

// The time the files of an archive carry, in local time.
struct ZipTime {
  int year;   // 1980 to 2107
  int month;  // 1 to 12
  int day;    // 1 to 31
  int hour;
  int minute;
  int second;
};

// The CRC-32 of `bytes`, as zip archives hold it.
std::uint32_t crc32_of(std::string_view bytes);

// Writes a zip archive of `count` files to `out`: file i is named `names[i]`
// (ASCII, without folders) and holds `contents[i]`, stored. Returns false
// when a write fails or a file or the archive is too large for a zip without
// its 64-bit extensions (4 GiB, 65535 files).
bool write_zip(std::FILE* out, const std::string_view* names, const std::string_view* contents,
               std::size_t count, const ZipTime& time);

}  // namespace tallsay

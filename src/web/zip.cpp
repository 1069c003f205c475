// The stored zip archive: a local header and the bytes of each file, then
// the central directory, which repeats the headers with each one's place,
// and its end record.
#include "web/zip.h"

#include <array>

namespace tallsay {
namespace {

constexpr std::uint32_t kLocalHeader = 0x04034B50;
constexpr std::uint32_t kCentralHeader = 0x02014B50;
constexpr std::uint32_t kEndRecord = 0x06054B50;
constexpr std::uint16_t kVersion = 10;  // 1.0: stored files, no extensions
constexpr std::uint64_t kMost32 = 0xFFFFFFFF;

constexpr std::array<std::uint32_t, 256> crc_table() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320 ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = crc_table();

// Numbers are written least significant byte first.
struct Writer {
  std::FILE* out;
  std::uint64_t offset;
  bool failed;

  void bytes(std::string_view data) {
    if (std::fwrite(data.data(), 1, data.size(), out) != data.size()) failed = true;
    offset += data.size();
  }
  void u16(std::uint32_t value) {
    const char data[2] = {static_cast<char>(value), static_cast<char>(value >> 8)};
    bytes(std::string_view(data, 2));
  }
  void u32(std::uint32_t value) {
    u16(value & 0xFFFF);
    u16(value >> 16);
  }
};

// The fields that the local header and the central directory share.
struct Entry {
  std::uint16_t time;
  std::uint16_t date;
  std::uint32_t crc;
  std::uint32_t size;
  std::string_view name;
};

void write_common(Writer& w, const Entry& entry) {
  w.u16(kVersion);
  w.u16(0);  // flags
  w.u16(0);  // stored
  w.u16(entry.time);
  w.u16(entry.date);
  w.u32(entry.crc);
  w.u32(entry.size);  // compressed
  w.u32(entry.size);
  w.u16(static_cast<std::uint32_t>(entry.name.size()));
  w.u16(0);  // extra field
}

Entry entry_of(std::string_view name, std::string_view content, const ZipTime& t) {
  Entry entry;
  entry.time = static_cast<std::uint16_t>(t.hour << 11 | t.minute << 5 | t.second / 2);
  entry.date = static_cast<std::uint16_t>((t.year - 1980) << 9 | t.month << 5 | t.day);
  entry.crc = crc32_of(content);
  entry.size = static_cast<std::uint32_t>(content.size());
  entry.name = name;
  return entry;
}

}  // namespace

std::uint32_t crc32_of(std::string_view bytes) {
  std::uint32_t c = 0xFFFFFFFF;
  for (const char byte : bytes)
    c = kCrcTable[(c ^ static_cast<unsigned char>(byte)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFF;
}

bool write_zip(std::FILE* out, const std::string_view* names, const std::string_view* contents,
               std::size_t count, const ZipTime& time) {
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < count; ++i) total += 76 + 2 * names[i].size() + contents[i].size();
  if (count > 0xFFFF || total > kMost32) return false;
  Writer w{out, 0, false};
  for (std::size_t i = 0; i < count; ++i) {
    w.u32(kLocalHeader);
    write_common(w, entry_of(names[i], contents[i], time));
    w.bytes(names[i]);
    w.bytes(contents[i]);
  }
  const std::uint64_t directory = w.offset;
  std::uint64_t local = 0;
  for (std::size_t i = 0; i < count; ++i) {
    w.u32(kCentralHeader);
    w.u16(kVersion);  // made by: MS-DOS attributes, version 1.0
    write_common(w, entry_of(names[i], contents[i], time));
    w.u16(0);  // comment
    w.u16(0);  // disk
    w.u16(0);  // internal attributes
    w.u32(0);  // external attributes
    w.u32(static_cast<std::uint32_t>(local));
    w.bytes(names[i]);
    local += 30 + names[i].size() + contents[i].size();
  }
  const std::uint64_t directory_size = w.offset - directory;
  w.u32(kEndRecord);
  w.u16(0);  // this disk
  w.u16(0);  // the directory's disk
  w.u16(static_cast<std::uint32_t>(count));
  w.u16(static_cast<std::uint32_t>(count));
  w.u32(static_cast<std::uint32_t>(directory_size));
  w.u32(static_cast<std::uint32_t>(directory));
  w.u16(0);  // comment
  return !w.failed;
}

}  // namespace tallsay

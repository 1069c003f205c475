// The launchers of the Windows kit, chat.bat and convert.bat, run by the
// command interpreter from a folder whose name holds & and parentheses, as
// a game's folder may: the runs of launchers.cases.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support.h"

namespace tallsay {
namespace {

#ifdef _WIN32
using test::read_file;

TEST(LauncherTest, Runs) {
  // The command interpreter shows paths in the console's code page, where the
  // letters of the scratch folder's name become question marks; the part of
  // the name that the launchers are tested on is the kit's folder.
  const std::regex shown_kit("[^\"\r\n]*Tom & Jerry \\(x86\\)");
  for (const auto& c : test::read_cases({"blocks.cases", "launchers.cases"}, 10, 10)) {
    test::ScratchDir dir;
    const auto kit = dir.path / "Tom & Jerry (x86)";
    std::filesystem::create_directory(kit);
    std::filesystem::copy_file(TALLSAY_EXE, kit / "tallsay.exe");
    std::filesystem::copy_file(TALLSAY_CONVERTER, kit / "convert.bat");
    std::string chat = read_file(TALLSAY_LAUNCHER);
    const std::string shipped = "set \"SCRIPT=%~dp0chat.cfg\"";
    ASSERT_NE(std::string::npos, chat.find(shipped));
    if (!c[2].empty()) chat.replace(chat.find(shipped), shipped.size(), c[2]);
    test::write_file(kit / "chat.bat", chat);
    test::write_file(kit / "hi.txt", "Hi\r\n");
    std::vector<std::string> args;
    if (!c[3].empty()) args.push_back((kit / c[3]).u8string());
    std::FILE* input = test::start_program((kit / c[1]).u8string().c_str(), dir, args);
    std::fputs(c[4].c_str(), input);
    const auto result = test::finish_program(dir, input);
    EXPECT_EQ(std::stoi(c[5]), result.status) << c[0];
    EXPECT_EQ(c[6], std::regex_replace(result.out, shown_kit, "{KIT}")) << c[0];
    EXPECT_EQ(c[7], result.err) << c[0];
    EXPECT_EQ(c[9], std::filesystem::exists(kit / c[8]) ? read_file(kit / c[8]) : "") << c[0];
  }
}
#endif

}  // namespace
}  // namespace tallsay

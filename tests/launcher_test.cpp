// The launchers of the Windows kit, chat.bat and convert.bat, run by the
// command interpreter from a folder whose name holds & and parentheses, as
// a game's folder may.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support.h"

namespace tallsay {
namespace {

#ifdef _WIN32
using test::read_file;
using test::ScratchDir;

// The header and the block of "Hi", as the interactive run writes them.
std::string header_and_hi() {
  return test::read_cases({"blocks.cases", "interactive.cases"}, 2, 2)[0][1];
}

// The command interpreter shows paths in the console's code page, where the
// letters of the scratch folder's name become question marks; the part of
// the name that the launchers are tested on is the kit's folder.
constexpr const char* kKitFolder = "Tom & Jerry (x86)";

// A folder named like a game's, holding the tool and the launchers.
std::filesystem::path kit_folder(const ScratchDir& dir) {
  const auto folder = dir.path / kKitFolder;
  std::filesystem::create_directory(folder);
  std::filesystem::copy_file(TALLSAY_EXE, folder / "tallsay.exe");
  std::filesystem::copy_file(TALLSAY_LAUNCHER, folder / "chat.bat");
  std::filesystem::copy_file(TALLSAY_CONVERTER, folder / "convert.bat");
  return folder;
}

test::ProgramResult run_launcher(const ScratchDir& dir, const std::filesystem::path& launcher,
                                 const std::vector<std::string>& args, const char* input) {
  std::FILE* pipe = test::start_program(launcher.u8string().c_str(), dir, args);
  std::fputs(input, pipe);
  return test::finish_program(dir, pipe);
}

TEST(LauncherTest, ChatQuotesThePathItShows) {
  ScratchDir dir;
  const auto folder = kit_folder(dir);
  const auto result = run_launcher(dir, folder / "chat.bat", {}, "Hi\n\n");
  EXPECT_EQ(0, result.status);
  EXPECT_NE(std::string::npos, result.out.find(std::string(kKitFolder) + "\\chat.cfg\"\r\n"))
      << result.out;
  EXPECT_EQ("", result.err);
  EXPECT_EQ(header_and_hi(), read_file(folder / "chat.cfg"));
}

TEST(LauncherTest, ChatSaysBeforeTheFirstLineThatTheScriptsFolderIsMissing) {
  ScratchDir dir;
  const auto folder = kit_folder(dir);
  std::string launcher = read_file(folder / "chat.bat");
  const std::string line = "set \"SCRIPT=%~dp0chat.cfg\"";
  ASSERT_NE(std::string::npos, launcher.find(line));
  launcher.replace(launcher.find(line), line.size(), "set \"SCRIPT=%~dp0missing\\chat.cfg\"");
  test::write_file(folder / "chat.bat", launcher);
  const auto result = run_launcher(dir, folder / "chat.bat", {}, "Hi\n\nkey\n");
  EXPECT_EQ(1, result.status);
  EXPECT_EQ(0u, result.out.find("The folder of the script does not exist:\r\n\"")) << result.out;
  EXPECT_NE(std::string::npos, result.out.find(std::string(kKitFolder) + "\\missing\\\"\r\n"))
      << result.out;
  EXPECT_EQ("", result.err);  // the tool was not started
}

// Dropped on convert.bat, the text gives its script, and the window waits
// for a key so that the player sees what happened.
TEST(LauncherTest, ConvertWritesTheScriptBesideTheTextAndWaitsForAKey) {
  ScratchDir dir;
  const auto folder = kit_folder(dir);
  test::write_file(folder / "hi.txt", "Hi\r\n");
  const auto result =
      run_launcher(dir, folder / "convert.bat", {(folder / "hi.txt").u8string()}, "key\n");
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(0u, result.out.find("The text\r\n\"")) << result.out;
  const std::string shown = std::string(kKitFolder) + "\\hi.txt\"\r\nis now the script\r\n\"";
  EXPECT_NE(std::string::npos, result.out.find(shown)) << result.out;
  const std::string end =
      std::string(kKitFolder) + "\\hi.cfg\"\r\nPress a key to close this window.\r\n";
  EXPECT_EQ(result.out.size() - end.size(), result.out.rfind(end)) << result.out;
  EXPECT_EQ(header_and_hi(), read_file(folder / "hi.cfg"));
}

TEST(LauncherTest, ConvertSaysWhyAndWaitsForAKey) {
  ScratchDir dir;
  const auto folder = kit_folder(dir);
  const auto missing =
      run_launcher(dir, folder / "convert.bat", {(folder / "nope.txt").u8string()}, "key\n");
  EXPECT_EQ(1, missing.status);
  EXPECT_EQ("Error, input file not found\r\n", missing.err);
  EXPECT_EQ(
      "\r\ntallsay stopped: the line above says why.\r\nPress a key to close this window.\r\n",
      missing.out);
  EXPECT_FALSE(std::filesystem::exists(folder / "nope.cfg"));
  const auto nothing = run_launcher(dir, folder / "convert.bat", {}, "key\n");
  EXPECT_EQ(1, nothing.status);
  EXPECT_EQ(
      "Drop a text file on convert.bat, or run:  convert.bat FILE\r\n"
      "The script of the same name with .cfg is then written beside the text.\r\n"
      "Press a key to close this window.\r\n",
      nothing.out);
}
#endif

}  // namespace
}  // namespace tallsay

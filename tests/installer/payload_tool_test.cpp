// qrvn-payload run as a program: append, list, extract, and refusals that write nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/installer/installer_test_files.h"
#include "tests/support/temp_root.h"

namespace qrvn::installer {
namespace {

using test_files::Bytes;
using test_files::ReadFile;
using test_files::WriteFile;

class InstallerPayloadToolTest : public ::testing::Test {
 protected:
  // Runs the tool with args; returns its exit code and keeps its output and errors.
  int Run(const std::string& args) {
    std::string command = std::string("'") + QRVN_PAYLOAD_TOOL + "' " + args + " >'" +
                          root_.File("out.txt") + "' 2>'" + root_.File("err.txt") +
                          "'; echo $? >'" + root_.File("code.txt") + "'";
    if (std::system(command.c_str()) != 0) return -1;
    output_ = Text(root_.File("out.txt"));
    errors_ = Text(root_.File("err.txt"));
    return std::atoi(Text(root_.File("code.txt")).c_str());
  }
  static std::string Text(const std::string& path) {
    std::vector<uint8_t> bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
  }
  std::string Quoted(const std::string& name) { return "'" + root_.File(name) + "'"; }

  qrvn::testing::TempRoot root_;
  std::string output_;
  std::string errors_;
};

TEST_F(InstallerPayloadToolTest, AppendListAndExtractChainedBlocks) {
  WriteFile(root_.File("setup"), Bytes("PROGRAM IMAGE"));
  WriteFile(root_.File("first"), Bytes("first payload"));
  WriteFile(root_.File("second"), Bytes("2nd"));
  ASSERT_EQ(Run("append " + Quoted("setup") + " " + Quoted("first")), 0) << errors_;
  ASSERT_EQ(Run("append " + Quoted("setup") + " " + Quoted("second")), 0) << errors_;

  ASSERT_EQ(Run("list " + Quoted("setup")), 0) << errors_;
  EXPECT_EQ(output_,
            "block 1: offset 30, 3 bytes\n"
            "block 2: offset 13, 13 bytes\n"
            "front: 13 bytes\n");

  ASSERT_EQ(Run("extract " + Quoted("setup") + " 1 " + Quoted("one")), 0) << errors_;
  EXPECT_EQ(ReadFile(root_.File("one")), Bytes("2nd"));
  ASSERT_EQ(Run("extract " + Quoted("setup") + " 2 " + Quoted("two")), 0) << errors_;
  EXPECT_EQ(ReadFile(root_.File("two")), Bytes("first payload"));
}

TEST_F(InstallerPayloadToolTest, EmptyPayloadGivesAnEmptyFile) {
  WriteFile(root_.File("setup"), {'M', 'Z', 4, 0, 0, 0});
  WriteFile(root_.File("out"), Bytes("old contents"));
  ASSERT_EQ(Run("extract " + Quoted("setup") + " 1 " + Quoted("out")), 0) << errors_;
  EXPECT_TRUE(std::filesystem::exists(root_.File("out")));
  EXPECT_EQ(std::filesystem::file_size(root_.File("out")), 0u);
}

TEST_F(InstallerPayloadToolTest, CorruptLengthsAreRefusedAndWriteNothing) {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"before the start of the file", {'a', 'b', 0x10, 0x27, 0, 0}, "before the start"},
      {"below 4", {'a', 'b', 2, 0, 0, 0}, "below 4"},
      {"no room for the length", {1, 0}, "4-byte length"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(root_.File("setup"), c.file);
    EXPECT_EQ(Run("extract " + Quoted("setup") + " 1 " + Quoted("new")), 1);
    EXPECT_NE(errors_.find(c.reason), std::string::npos) << errors_;
    EXPECT_FALSE(std::filesystem::exists(root_.File("new")));
    WriteFile(root_.File("kept"), Bytes("kept"));
    EXPECT_EQ(Run("extract " + Quoted("setup") + " 1 " + Quoted("kept")), 1);
    EXPECT_EQ(ReadFile(root_.File("kept")), Bytes("kept"));
  }
}

TEST_F(InstallerPayloadToolTest, BadCommandLinesAreUsageErrors) {
  WriteFile(root_.File("setup"), {'a', 5, 0, 0, 0});
  EXPECT_EQ(Run(""), 2);
  EXPECT_EQ(Run("extract " + Quoted("setup") + " 0 " + Quoted("out")), 2);
  EXPECT_EQ(Run("extract " + Quoted("setup") + " x " + Quoted("out")), 2);
  EXPECT_FALSE(std::filesystem::exists(root_.File("out")));
  EXPECT_EQ(Run("append " + Quoted("setup") + " " + Quoted("missing")), 1);
  EXPECT_NE(errors_.find("missing"), std::string::npos);
  EXPECT_EQ(ReadFile(root_.File("setup")), (std::vector<uint8_t>{'a', 5, 0, 0, 0}));
}

}  // namespace
}  // namespace qrvn::installer

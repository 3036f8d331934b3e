#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/cli/cli.h"
#include "platform/registry.h"
#include "tests/support/temp_root.h"

namespace qrvn::cli {
namespace {

using platform::RegAccess;
using platform::RegistryKey;
using platform::RegResult;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

// Runs `qrvn ARGS...` with input as its standard input.
Outcome Qrvn(std::vector<std::string> args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  CommandIo io{in, out, err};
  int status = RunCli(args, io);
  return {status, out.str(), err.str()};
}

Outcome Reg(std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.begin(), "reg");
  return Qrvn(std::move(args), input);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

const std::string kDone = "The operation completed successfully.\n";
const std::string kKey = "HKLM\\SOFTWARE\\Qrvn";

class RegCommandTest : public ::testing::Test {
 protected:
  std::string Registry() const { return ReadFile(platform::RegistryFilePath()); }
  testing::TempRoot root_;
};

TEST_F(RegCommandTest, AddsAndQueriesEveryType) {
  EXPECT_EQ(Reg({"add", kKey, "/v", "PBXTYPE", "/t", "REG_DWORD", "/d", "26"}).out, kDone);
  EXPECT_EQ(Reg({"add", kKey, "/v", "IPADDRESS", "/d", "192.168.1.20"}).out, kDone);
  EXPECT_EQ(Reg({"add", kKey, "/v", "MSGWAITCALLBACK", "/t", "reg_binary", "/d", "3132abCD"}).out,
            kDone);
  EXPECT_EQ(Reg({"add", kKey, "/ve", "/d", "Привет \"мир\" C:\\x"}).out, kDone);
  EXPECT_EQ(Reg({"add", kKey, "/v", "Max", "/t", "REG_DWORD", "/d", "0xFFFFFFFF"}).out, kDone);
  EXPECT_EQ(Reg({"add", kKey, "/v", "Empty", "/t", "REG_BINARY"}).out, kDone);
  EXPECT_EQ(Reg({"add", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\\Ports"}).out, kDone);

  Outcome query = Reg({"query", "hklm\\software\\qrvn"});
  EXPECT_EQ(query.status, 0);
  EXPECT_EQ(query.out,
            "\nHKEY_LOCAL_MACHINE\\software\\qrvn\n"
            "    PBXTYPE    REG_DWORD    0x1a\n"
            "    IPADDRESS    REG_SZ    192.168.1.20\n"
            "    MSGWAITCALLBACK    REG_BINARY    3132ABCD\n"
            "    (Default)    REG_SZ    Привет \"мир\" C:\\x\n"
            "    Max    REG_DWORD    0xffffffff\n"
            "    Empty    REG_BINARY    \n"
            "\nHKEY_LOCAL_MACHINE\\software\\qrvn\\Ports\n");
  EXPECT_EQ(Reg({"query", kKey, "/v", "msgwaitcallback"}).out,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\n"
            "    msgwaitcallback    REG_BINARY    3132ABCD\n\n");
  EXPECT_EQ(Reg({"query", "HKLM", "/s"}).out,
            "\nHKEY_LOCAL_MACHINE\n\nHKEY_LOCAL_MACHINE\\SOFTWARE\n"
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\n"
            "    PBXTYPE    REG_DWORD    0x1a\n"
            "    IPADDRESS    REG_SZ    192.168.1.20\n"
            "    MSGWAITCALLBACK    REG_BINARY    3132ABCD\n"
            "    (Default)    REG_SZ    Привет \"мир\" C:\\x\n"
            "    Max    REG_DWORD    0xffffffff\n"
            "    Empty    REG_BINARY    \n"
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\\Ports\n");

  // What the command wrote is what the registry holds.
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Open("SOFTWARE\\Qrvn", RegAccess::Read, key), RegResult::Ok);
  uint32_t dword = 0;
  std::vector<uint8_t> bytes;
  std::string text;
  EXPECT_EQ(key.QueryDword("PBXTYPE", dword), RegResult::Ok);
  EXPECT_EQ(dword, 26u);
  EXPECT_EQ(key.QueryBinary("MSGWAITCALLBACK", bytes), RegResult::Ok);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x31, 0x32, 0xab, 0xcd}));
  EXPECT_EQ(key.QueryString("", text), RegResult::Ok);
  EXPECT_EQ(text, "Привет \"мир\" C:\\x");
}

TEST_F(RegCommandTest, BadInputFailsWithOneLineAndChangesNothing) {
  ASSERT_EQ(Reg({"add", kKey, "/v", "Keep", "/t", "REG_DWORD", "/d", "1"}).status, 0);
  const std::string badImport = root_.File("bad.reg");
  WriteFile(badImport,
            "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn]\n"
            "\"Keep\"=dword:00000002\n\"New\"=hex:01,0g\n");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"add", kKey, "/v", "X", "/t", "REG_QWORD", "/d", "1"}, "unsupported value type"},
      {{"add", kKey, "/v", "X", "/t", "REG_DWORD", "/d", "12x"}, "invalid REG_DWORD data"},
      {{"add", kKey, "/v", "X", "/t", "REG_DWORD", "/d", "4294967296"}, "invalid REG_DWORD data"},
      {{"add", kKey, "/v", "X", "/t", "REG_DWORD", "/d", "-1"}, "invalid REG_DWORD data"},
      {{"add", kKey, "/v", "X", "/t", "REG_DWORD", "/d", "0x"}, "invalid REG_DWORD data"},
      {{"add", kKey, "/v", "X", "/t", "REG_DWORD"}, "needs data"},
      {{"add", kKey, "/v", "X", "/t", "REG_BINARY", "/d", "123"}, "invalid REG_BINARY data"},
      {{"add", kKey, "/v", "X", "/t", "REG_BINARY", "/d", "zz"}, "invalid REG_BINARY data"},
      {{"add", kKey, "/v"}, "needs an argument"},
      {{"add", kKey, "/d", "1"}, "/v NAME or /ve"},
      {{"add", "HKCU\\Software\\X", "/v", "X", "/d", "1"}, "HKEY_LOCAL_MACHINE"},
      {{"add", "HKEY_USERS\\X"}, "HKEY_LOCAL_MACHINE"},
      {{"add", "SOFTWARE\\Qrvn", "/v", "X", "/d", "1"}, "invalid key name"},
      {{"add", "HKLM\\SOFTWARE\\\\Qrvn"}, "invalid key name"},
      {{"add", "\\\\server\\HKLM\\SOFTWARE"}, "remote"},
      {{"add", "HKLM", "/v", "X", "/d", "1"}, "holds no values"},
      {{"query", "HKLM\\SOFTWARE\\Missing"}, "unable to find"},
      {{"query", kKey, "/v", "Missing"}, "unable to find"},
      {{"query"}, "missing KEY"},
      {{"query", kKey, "extra"}, "unexpected argument \"extra\""},
      {{"delete", "HKLM\\SOFTWARE\\Missing", "/f"}, "unable to find"},
      {{"delete", kKey, "/v", "Missing", "/f"}, "unable to find"},
      {{"delete", "HKLM", "/f"}, "cannot be deleted"},
      {{"import", root_.File("missing.reg")}, "cannot open"},
      {{"import", badImport}, badImport + ":5: bad hex byte \"0g\""},
      {{"export", "HKLM\\SOFTWARE\\Missing", root_.File("out.reg")}, "unable to find"},
      {{"frobnicate"}, "unknown operation"},
      {{}, "missing operation"},
  };
  const std::string before = Registry();
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& arg : c.args) line += arg + " ";
    SCOPED_TRACE(line);
    Outcome outcome = Reg(c.args);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.err.starts_with("ERROR: ")) << outcome.err;
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(Registry(), before);
  }
  EXPECT_FALSE(std::filesystem::exists(root_.File("out.reg")));
}

TEST_F(RegCommandTest, AsksBeforeOverwritingOrDeleting) {
  struct Answer {
    std::string input;
    bool yes;
  };
  const std::vector<Answer> answers = {
      {"y\n", true}, {"Yes\r\n", true}, {"n\n", false}, {"", false}, {"whatever\n", false}};
  for (const Answer& answer : answers) {
    SCOPED_TRACE(answer.input);
    ASSERT_EQ(Reg({"add", kKey + "\\Sub", "/v", "V", "/d", "old", "/f"}).status, 0);
    std::string before = Registry();

    Outcome add = Reg({"add", kKey + "\\Sub", "/v", "V", "/d", "new"}, answer.input);
    EXPECT_TRUE(add.out.starts_with("Value V exists, overwrite (Yes/No)? ")) << add.out;
    EXPECT_EQ(add.status, answer.yes ? 0 : 1);
    EXPECT_EQ(Registry() == before, !answer.yes);

    before = Registry();
    Outcome value = Reg({"delete", kKey + "\\Sub", "/v", "v"}, answer.input);
    EXPECT_TRUE(value.out.starts_with("Delete the registry value v (Yes/No)? ")) << value.out;
    EXPECT_EQ(value.status, answer.yes ? 0 : 1);
    EXPECT_EQ(Registry() == before, !answer.yes);

    before = Registry();
    Outcome key = Reg({"delete", kKey + "\\Sub"}, answer.input);
    EXPECT_TRUE(key.out.starts_with(
        "Permanently delete the registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\\Sub (Yes/No)? "))
        << key.out;
    EXPECT_EQ(key.status, answer.yes ? 0 : 1);
    EXPECT_EQ(Registry() == before, !answer.yes);
  }
  // /f asks nothing.
  ASSERT_EQ(Reg({"add", kKey, "/v", "V", "/d", "1"}).status, 0);
  EXPECT_EQ(Reg({"add", kKey, "/v", "V", "/d", "2", "/f"}).out, kDone);
  EXPECT_EQ(Reg({"delete", kKey, "/v", "V", "/f"}).out, kDone);
  EXPECT_EQ(Reg({"delete", kKey, "/f"}).out, kDone);
  EXPECT_EQ(Reg({"query", kKey}).status, 1);
}

TEST_F(RegCommandTest, ImportOfAnExportReproducesTheFile) {
  const std::string ports = kKey + "\\Ports";
  const std::string pbx = kKey + "\\PBX0000001a";
  std::string blob;
  for (int i = 0; i < 300; ++i) blob += "0123456789abcdef"[i % 16];
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"add", ports, "/v", "COM1", "/d", "/dev/ttyUSB0"},
           {"add", pbx, "/v", "PBXTYPE", "/t", "REG_DWORD", "/d", "1"},
           {"add", pbx, "/v", "IPADDRESS", "/d", "\"quoted\" \\ back"},
           {"add", pbx, "/v", "LINECTRLFLAG", "/t", "REG_BINARY", "/d", blob},
           {"add", pbx, "/ve", "/d", ""},
           {"add", pbx + "\\Линия"},
           {"add", "HKLM\\SOFTWARE\\Other", "/v", "X", "/d", "not exported"},
       }) {
    ASSERT_EQ(Reg(args).status, 0) << args[1];
  }
  const std::string exported = root_.File("qrvn.reg");
  ASSERT_EQ(Reg({"export", kKey, exported}).out, kDone);
  const std::string text = ReadFile(exported);
  EXPECT_TRUE(text.starts_with("Windows Registry Editor Version 5.00\n\n"));
  EXPECT_EQ(text.find("Other"), std::string::npos);

  std::filesystem::remove(platform::RegistryFilePath());
  Outcome import = Reg({"import", exported});
  ASSERT_EQ(import.status, 0) << import.err;
  EXPECT_EQ(Registry(), text);

  // The whole registry exports as the registry file itself.
  const std::string all = root_.File("all.reg");
  ASSERT_EQ(Reg({"export", "HKEY_LOCAL_MACHINE", all}).status, 0);
  EXPECT_EQ(ReadFile(all), Registry());

  // Exporting over an existing file asks first.
  Outcome again = Reg({"export", "HKLM\\SOFTWARE\\Qrvn\\Ports", all});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(ReadFile(all), Registry());
  EXPECT_EQ(Reg({"export", "HKLM\\SOFTWARE\\Qrvn\\Ports", all, "/y"}).status, 0);
  EXPECT_EQ(ReadFile(all),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\\Ports]\n\"COM1\"=\"/dev/ttyUSB0\"\n\n");
}

TEST_F(RegCommandTest, ImportMergesDeletesKeysAndValues) {
  ASSERT_EQ(Reg({"add", kKey + "\\Old\\Child", "/v", "A", "/d", "a"}).status, 0);
  ASSERT_EQ(Reg({"add", kKey, "/v", "Stay", "/d", "s"}).status, 0);
  ASSERT_EQ(Reg({"add", kKey, "/v", "Drop", "/d", "d"}).status, 0);
  const std::string merge = root_.File("merge.reg");
  WriteFile(merge,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\\Old]\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn]\r\n"
            "\"DROP\"=-\r\n\"Added\"=dword:0000000a\r\n");
  ASSERT_EQ(Reg({"import", merge}).status, 0);
  EXPECT_EQ(Reg({"query", kKey}).out,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\n"
            "    Stay    REG_SZ    s\n"
            "    Added    REG_DWORD    0xa\n");
}

TEST_F(RegCommandTest, DispatchesSubcommandsAndExplainsUsage) {
  Outcome help = Qrvn({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("  reg "), std::string::npos) << help.out;
  Outcome regHelp = Reg({"/?"});
  EXPECT_EQ(regHelp.status, 0);
  EXPECT_NE(regHelp.out.find("qrvn reg export KEY FILE"), std::string::npos);
  Outcome unknown = Qrvn({"bogus"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("unknown command \"bogus\""), std::string::npos);
  EXPECT_EQ(Qrvn({}).status, 1);
}

}  // namespace
}  // namespace qrvn::cli

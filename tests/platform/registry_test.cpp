#include "platform/registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "tests/support/temp_root.h"

namespace qrvn::platform {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

RegValue Dword(uint32_t v) {
  RegValue value;
  value.type = RegType::Dword;
  value.dword = v;
  return value;
}

RegValue Text(std::string s) {
  RegValue value;
  value.type = RegType::String;
  value.text = std::move(s);
  return value;
}

RegValue Bytes(std::vector<uint8_t> b) {
  RegValue value;
  value.type = RegType::Binary;
  value.bytes = std::move(b);
  return value;
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed);
  return bytes;
}

bool SameValue(const RegValue& a, const RegValue& b) {
  return a.type == b.type && a.dword == b.dword && a.text == b.text && a.bytes == b.bytes;
}

class RegistryTest : public ::testing::Test {
 protected:
  testing::TempRoot root_;
};

TEST_F(RegistryTest, EveryValueTypeRoundTripsThroughTheFile) {
  struct Case {
    std::string name;
    RegValue value;
  };
  const std::vector<Case> cases = {
      {"Zero", Dword(0)},
      {"Max", Dword(0xffffffff)},
      {"PBXTYPE", Dword(0x1a)},
      {"Empty", Text("")},
      {"Address", Text("192.168.1.20")},
      {"Quotes", Text("say \"hi\" to C:\\Temp\\ and \\\\server\\ \\\"")},
      {"Cyrillic", Text("Привет, мир")},
      {"Lines", Text("one\ntwo\r\nthree\\n")},
      {"Name with \"quotes\" and \\", Text("x")},
      {"", Text("the default value")},
      {"NoBytes", Bytes({})},
      {"OneByte", Bytes({0x00})},
      {"MSGWAITCALLBACK", Bytes({0x31, 0x32, 0x33, 0x34})},
      {"Many", Bytes(Pattern(5000, 3))},
      {"Имя", Bytes(Pattern(77, 250))},
  };
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create("SOFTWARE\\Qrvn\\Test", key), RegResult::Ok);
  for (const Case& c : cases) ASSERT_EQ(key.Set(c.name, c.value), RegResult::Ok) << c.name;

  // A fresh handle reads everything back from the file.
  RegistryKey reader;
  ASSERT_EQ(RegistryKey::Open("SOFTWARE\\Qrvn\\Test", RegAccess::Read, reader), RegResult::Ok);
  for (const Case& c : cases) {
    RegValue value;
    ASSERT_EQ(reader.Query(c.name, value), RegResult::Ok) << c.name;
    EXPECT_TRUE(SameValue(value, c.value)) << c.name;
  }
  std::vector<std::string> names;
  ASSERT_EQ(reader.ValueNames(names), RegResult::Ok);
  ASSERT_EQ(names.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(names[i], cases[i].name);

  uint32_t dword = 0;
  std::string text;
  std::vector<uint8_t> bytes;
  EXPECT_EQ(reader.QueryDword("pbxtype", dword), RegResult::Ok);
  EXPECT_EQ(dword, 0x1au);
  EXPECT_EQ(reader.QueryString("cyrillic", text), RegResult::Ok);
  EXPECT_EQ(text, "Привет, мир");
  EXPECT_EQ(reader.QueryBinary("many", bytes), RegResult::Ok);
  EXPECT_EQ(bytes, Pattern(5000, 3));

  // The file keeps the editor's layout: fixed forms, and hex lines wrapped within 80 columns.
  std::string file = ReadFile(RegistryFilePath());
  EXPECT_TRUE(
      file.starts_with("Windows Registry Editor Version 5.00\n\n"
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\\Test]\n"
                       "\"Zero\"=dword:00000000\n\"Max\"=dword:ffffffff\n"
                       "\"PBXTYPE\"=dword:0000001a\n\"Empty\"=\"\"\n"))
      << file;
  EXPECT_NE(file.find("\n@=\"the default value\"\n"), std::string::npos);
  EXPECT_NE(file.find("\n\"MSGWAITCALLBACK\"=hex:31,32,33,34\n"), std::string::npos);
  EXPECT_NE(file.find("\n\"NoBytes\"=hex:\n"), std::string::npos);
  std::istringstream lines(file);
  std::string line;
  bool continued = false;
  while (std::getline(lines, line)) {
    auto characters =
        std::count_if(line.begin(), line.end(), [](char c) { return (c & 0xc0) != 0x80; });
    EXPECT_LE(characters, 80) << line;
    if (continued) {
      EXPECT_TRUE(line.starts_with("  ")) << line;
    }
    continued = line.ends_with(",\\");
  }
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling) {
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create("HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\\Ports", key), RegResult::Ok);
  ASSERT_EQ(key.SetString("ComPort", "/dev/ttyS0"), RegResult::Ok);
  ASSERT_EQ(key.SetString("COMPORT", "/dev/ttyUSB0"), RegResult::Ok);

  RegistryKey other;
  ASSERT_EQ(RegistryKey::Open("hklm\\software\\QRVN\\ports", RegAccess::Write, other),
            RegResult::Ok);
  std::string device;
  EXPECT_EQ(other.QueryString("comport", device), RegResult::Ok);
  EXPECT_EQ(device, "/dev/ttyUSB0");
  std::vector<std::string> names;
  ASSERT_EQ(other.ValueNames(names), RegResult::Ok);
  EXPECT_EQ(names, std::vector<std::string>{"ComPort"});

  ASSERT_EQ(RegistryKey::Create("software\\qrvn\\PORTS\\Ключ", key), RegResult::Ok);
  ASSERT_EQ(key.SetDword("Значение", 5), RegResult::Ok);
  uint32_t v = 0;
  ASSERT_EQ(RegistryKey::Open("SOFTWARE\\Qrvn\\Ports\\КЛЮЧ", RegAccess::Read, other),
            RegResult::Ok);
  EXPECT_EQ(other.QueryDword("ЗНАЧЕНИЕ", v), RegResult::Ok);
  EXPECT_EQ(v, 5u);

  RegistryKey parent;
  ASSERT_EQ(RegistryKey::Open("SOFTWARE\\QRVN", RegAccess::Read, parent), RegResult::Ok);
  ASSERT_EQ(parent.SubKeyNames(names), RegResult::Ok);
  EXPECT_EQ(names, std::vector<std::string>{"Ports"});
  EXPECT_NE(ReadFile(RegistryFilePath()).find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\\Ports]\n"),
            std::string::npos);
}

TEST_F(RegistryTest, ReportsMissingWrongTypeAndDeniedAccess) {
  RegistryKey key;
  // No file yet: an empty registry.
  EXPECT_EQ(RegistryKey::Open("SOFTWARE\\Qrvn", RegAccess::Read, key), RegResult::NotFound);
  ASSERT_EQ(RegistryKey::Open("", RegAccess::Read, key), RegResult::Ok);
  std::vector<std::string> names;
  EXPECT_EQ(key.SubKeyNames(names), RegResult::Ok);
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(Exists(RegistryFilePath()));

  ASSERT_EQ(RegistryKey::Create("SOFTWARE\\Qrvn", key), RegResult::Ok);
  ASSERT_EQ(key.SetString("Text", "abc"), RegResult::Ok);
  uint32_t dword = 0;
  std::vector<uint8_t> bytes;
  std::string text;
  RegValue value;
  EXPECT_EQ(key.QueryDword("Text", dword), RegResult::WrongType);
  EXPECT_EQ(key.QueryBinary("Text", bytes), RegResult::WrongType);
  EXPECT_EQ(key.QueryString("Missing", text), RegResult::NotFound);
  EXPECT_EQ(key.Query("", value), RegResult::NotFound);
  EXPECT_EQ(key.DeleteValue("Missing"), RegResult::NotFound);

  RegistryKey reader;
  ASSERT_EQ(RegistryKey::Open("SOFTWARE\\Qrvn", RegAccess::Read, reader), RegResult::Ok);
  std::string before = ReadFile(RegistryFilePath());
  EXPECT_EQ(reader.SetDword("X", 1), RegResult::AccessDenied);
  EXPECT_EQ(reader.DeleteValue("Text"), RegResult::AccessDenied);
  EXPECT_EQ(ReadFile(RegistryFilePath()), before);

  for (const char* bad : {"HKEY_CURRENT_USER\\Software", "HKCU\\Software", "SOFTWARE\\\\Qrvn",
                          "\\SOFTWARE", "SOFTWARE\\Qr\nvn"}) {
    EXPECT_EQ(RegistryKey::Open(bad, RegAccess::Read, key), RegResult::NotFound) << bad;
    EXPECT_EQ(RegistryKey::Create(bad, key), RegResult::NotFound) << bad;
  }
  RegistryKey root;
  ASSERT_EQ(RegistryKey::Open("HKLM", RegAccess::Write, root), RegResult::Ok);
  EXPECT_EQ(root.SetDword("X", 1), RegResult::AccessDenied);
  EXPECT_EQ(DeleteRegistryKey("HKEY_LOCAL_MACHINE"), RegResult::AccessDenied);
  EXPECT_EQ(ReadFile(RegistryFilePath()), before);
}

TEST_F(RegistryTest, DeletingAKeyDeletesItsSubkeys) {
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create("SOFTWARE\\A\\B\\C", key), RegResult::Ok);
  ASSERT_EQ(key.SetDword("Deep", 1), RegResult::Ok);
  RegistryKey b;
  ASSERT_EQ(RegistryKey::Open("SOFTWARE\\A\\B", RegAccess::Write, b), RegResult::Ok);
  ASSERT_EQ(b.SetDword("Mid", 2), RegResult::Ok);
  RegistryKey sibling;
  ASSERT_EQ(RegistryKey::Create("SOFTWARE\\A\\Bee", sibling), RegResult::Ok);

  EXPECT_EQ(DeleteRegistryKey("software\\a\\b"), RegResult::Ok);
  RegistryKey probe;
  EXPECT_EQ(RegistryKey::Open("SOFTWARE\\A\\B\\C", RegAccess::Read, probe), RegResult::NotFound);
  EXPECT_EQ(RegistryKey::Open("SOFTWARE\\A\\B", RegAccess::Read, probe), RegResult::NotFound);
  EXPECT_EQ(RegistryKey::Open("SOFTWARE\\A\\Bee", RegAccess::Read, probe), RegResult::Ok);
  // A handle to a deleted key does not bring it back.
  EXPECT_EQ(key.SetDword("Deep", 3), RegResult::NotFound);
  EXPECT_EQ(RegistryKey::Open("SOFTWARE\\A\\B\\C", RegAccess::Read, probe), RegResult::NotFound);
  EXPECT_EQ(DeleteRegistryKey("SOFTWARE\\A\\B"), RegResult::NotFound);
  EXPECT_EQ(ReadFile(RegistryFilePath()).find("\\B]"), std::string::npos);
}

TEST_F(RegistryTest, ReadsFilesWrittenByHandOrOnWindows) {
  WriteFile(RegistryFilePath(),
            "\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n\r\n"
            "; ports of this machine\r\n"
            "[hkey_local_machine\\SOFTWARE\\Qrvn\\Ports]\r\n"
            "\"COM1\"=\"/dev/ttyUSB0\"\r\n"
            "@=\"default\"\r\n"
            "\"Short\"=dword:1A\r\n"
            "\"Wrapped\"=hex:01,02,\\\r\n"
            "  03,04,\\\r\n"
            "  5\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\\Ports]\r\n"
            "\"Later\"=dword:00000002\r\n");
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Open("SOFTWARE\\Qrvn\\Ports", RegAccess::Write, key), RegResult::Ok)
      << RegistryLastError();
  std::string text;
  uint32_t dword = 0;
  std::vector<uint8_t> bytes;
  EXPECT_EQ(key.QueryString("COM1", text), RegResult::Ok);
  EXPECT_EQ(text, "/dev/ttyUSB0");
  EXPECT_EQ(key.QueryString("", text), RegResult::Ok);
  EXPECT_EQ(text, "default");
  EXPECT_EQ(key.QueryDword("Short", dword), RegResult::Ok);
  EXPECT_EQ(dword, 0x1au);
  EXPECT_EQ(key.QueryBinary("Wrapped", bytes), RegResult::Ok);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(key.QueryDword("Later", dword), RegResult::Ok);
  // The first change rewrites the file in the registry's own layout.
  ASSERT_EQ(key.SetDword("Later", 3), RegResult::Ok);
  EXPECT_EQ(ReadFile(RegistryFilePath()),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\\Ports]\n"
            "\"COM1\"=\"/dev/ttyUSB0\"\n"
            "@=\"default\"\n"
            "\"Short\"=dword:0000001a\n"
            "\"Wrapped\"=hex:01,02,03,04,05\n"
            "\"Later\"=dword:00000003\n\n");
}

TEST_F(RegistryTest, MalformedFileIsReportedByLineAndNeverOverwritten) {
  const std::string header = "Windows Registry Editor Version 5.00\n\n";
  const std::string section = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn]\n";
  struct Case {
    std::string text;
    int line;
    std::string what;
  };
  const std::vector<Case> cases = {
      {"REGEDIT5\n\n" + section, 1, "Windows Registry Editor Version 5.00"},
      {header + "\"A\"=dword:1\n", 3, "outside a key"},
      {header + section + "\"A\"=dword:123456789\n", 4, "dword"},
      {header + section + "\"A\"=dword:12g4\n", 4, "dword"},
      {header + section + "\"A\"=\"unterminated\n", 4, "closing quote"},
      {header + section + "\"A\"=\"C:\\Temp\"\n", 4, "escape"},
      {header + section + "\"A\"=\"x\" trailing\n", 4, "after the closing quote"},
      {header + section + "\"A\"=hex:01,02,\\\n  03,zz\n", 5, "zz"},
      {header + section + "\"A\"=hex:01,,02\n", 4, "between commas"},
      {header + section + "\"A\"=hex:01,\\\n", 4, "end of the file"},
      {header + section + "\"A\"=hex(2):41,00\n", 4, "hex(2)"},
      {header + section + "\"A\" dword:1\n", 4, "'='"},
      {header + section + "\"A\"=text\n", 4, "value data"},
      {header + section + "garbage\n", 4, "not a key"},
      {header + "[HKEY_CURRENT_USER\\Software]\n", 3, "HKEY_LOCAL_MACHINE"},
      {header + "[SOFTWARE\\Qrvn]\n", 3, "invalid key name"},
      {header + "[HKEY_LOCAL_MACHINE\\SOFTWARE\n", 3, "']'"},
      {header + "[HKEY_LOCAL_MACHINE]\n\"A\"=dword:1\n", 4, "holds no values"},
      {"\xff\xfeW\0i\0", 1, "UTF-16"},
  };
  RegistryKey writer;
  ASSERT_EQ(RegistryKey::Create("SOFTWARE\\Qrvn", writer), RegResult::Ok);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteFile(RegistryFilePath(), c.text);
    RegistryKey key;
    EXPECT_EQ(RegistryKey::Open("SOFTWARE\\Qrvn", RegAccess::Read, key), RegResult::BadFile);
    std::string error = RegistryLastError();
    EXPECT_TRUE(error.starts_with("registry.reg:" + std::to_string(c.line) + ": ")) << error;
    EXPECT_NE(error.find(c.what), std::string::npos) << error;
    EXPECT_EQ(writer.SetDword("A", 7), RegResult::BadFile);
    EXPECT_EQ(writer.DeleteValue("A"), RegResult::BadFile);
    EXPECT_EQ(RegistryKey::Create("SOFTWARE\\New", key), RegResult::BadFile);
    EXPECT_EQ(DeleteRegistryKey("SOFTWARE\\Qrvn"), RegResult::BadFile);
    EXPECT_EQ(ImportRegistryText(header + section + "\"B\"=dword:1\n", "in.reg"),
              RegResult::BadFile);
    EXPECT_EQ(ReadFile(RegistryFilePath()), c.text);
  }
  // Once mended, the registry works again (the failed changes left no lock behind).
  WriteFile(RegistryFilePath(), header + section);
  EXPECT_EQ(writer.SetDword("A", 7), RegResult::Ok);
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kWrites = 50;
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create("SOFTWARE\\Race", key), RegResult::Ok);
  pid_t children[2];
  for (int id = 0; id < 2; ++id) {
    children[id] = fork();
    ASSERT_GE(children[id], 0);
    if (children[id] == 0) {
      RegistryKey mine;
      if (RegistryKey::Open("SOFTWARE\\Race", RegAccess::Write, mine) != RegResult::Ok) _exit(2);
      for (int i = 0; i < kWrites; ++i) {
        std::string name = "P" + std::to_string(id) + "_" + std::to_string(i);
        if (mine.SetDword(name, static_cast<uint32_t>(i * 10 + id)) != RegResult::Ok) _exit(3);
        if (mine.SetString("Shared" + std::to_string(id), name) != RegResult::Ok) _exit(4);
      }
      _exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  std::vector<std::string> names;
  ASSERT_EQ(key.ValueNames(names), RegResult::Ok);
  EXPECT_EQ(names.size(), 2u * kWrites + 2);
  for (int id = 0; id < 2; ++id) {
    for (int i = 0; i < kWrites; ++i) {
      uint32_t v = 0;
      std::string name = "P" + std::to_string(id) + "_" + std::to_string(i);
      ASSERT_EQ(key.QueryDword(name, v), RegResult::Ok) << name;
      EXPECT_EQ(v, static_cast<uint32_t>(i * 10 + id));
    }
    std::string last;
    EXPECT_EQ(key.QueryString("Shared" + std::to_string(id), last), RegResult::Ok);
    EXPECT_EQ(last, "P" + std::to_string(id) + "_" + std::to_string(kWrites - 1));
  }
}

TEST_F(RegistryTest, AStrayTemporaryFileIsNeverRead) {
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create("SOFTWARE\\Qrvn", key), RegResult::Ok);
  ASSERT_EQ(key.SetDword("Value", 1), RegResult::Ok);
  std::string temp = root_.File("registry.reg.tmp");
  WriteFile(temp,
            "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn]\n"
            "\"Value\"=dword:00000002\n\"Cut\"=hex:01,02,\\\n");
  uint32_t v = 0;
  EXPECT_EQ(key.QueryDword("Value", v), RegResult::Ok);
  EXPECT_EQ(v, 1u);
  ASSERT_EQ(key.SetDword("Other", 3), RegResult::Ok);
  EXPECT_FALSE(Exists(temp));
  EXPECT_EQ(key.QueryDword("Value", v), RegResult::Ok);
  EXPECT_EQ(v, 1u);
}

TEST_F(RegistryTest, AWriterDyingMidWriteLeavesTheLastCompleteFile) {
  // The child may write only 4096 bytes to any file: writing the new registry text kills it
  // (SIGXFSZ) part way through, with the lock held, exactly where a crash would.
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create("SOFTWARE\\Qrvn", key), RegResult::Ok);
  ASSERT_EQ(key.SetDword("Value", 1), RegResult::Ok);
  const std::string before = ReadFile(RegistryFilePath());
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rlimit noCore{0, 0};
    rlimit small{4096, 4096};
    setrlimit(RLIMIT_CORE, &noCore);
    setrlimit(RLIMIT_FSIZE, &small);
    key.SetBinary("Big", std::vector<uint8_t>(10000, 0x55));
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;

  EXPECT_EQ(ReadFile(RegistryFilePath()), before);
  uint32_t v = 0;
  EXPECT_EQ(key.QueryDword("Value", v), RegResult::Ok) << RegistryLastError();
  std::vector<uint8_t> bytes;
  EXPECT_EQ(key.QueryBinary("Big", bytes), RegResult::NotFound);
  ASSERT_EQ(key.SetDword("Value", 2), RegResult::Ok);
  EXPECT_EQ(key.QueryDword("Value", v), RegResult::Ok);
  EXPECT_EQ(v, 2u);
}

TEST_F(RegistryTest, AWriterKilledMidWriteIsNeverSeenByReaders) {
  // The child rewrites two large values without pause; each value alone tells whether it was
  // read whole. The parent reads meanwhile, then kills the child while its temporary file is
  // being written, and checks the file and the lock it left behind.
  constexpr size_t kSize = 60000;
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create("SOFTWARE\\Big", key), RegResult::Ok);
  ASSERT_EQ(key.SetBinary("Blob", std::vector<uint8_t>(kSize, 0)), RegResult::Ok);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    RegistryKey mine;
    if (RegistryKey::Open("SOFTWARE\\Big", RegAccess::Write, mine) != RegResult::Ok) _exit(2);
    for (uint8_t round = 1;; ++round) {
      if (mine.SetBinary("Blob", std::vector<uint8_t>(kSize, round)) != RegResult::Ok) _exit(3);
    }
  }
  auto checkWhole = [&](const char* when) {
    std::vector<uint8_t> bytes;
    ASSERT_EQ(key.QueryBinary("Blob", bytes), RegResult::Ok) << when << RegistryLastError();
    ASSERT_EQ(bytes.size(), kSize) << when;
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), bytes[0]), static_cast<long>(kSize)) << when;
  };
  for (int i = 0; i < 10; ++i) checkWhole("while writing");
  std::string temp = root_.File("registry.reg.tmp");
  for (int spins = 0; spins < 1000000 && !Exists(temp); ++spins) {
  }
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;
  checkWhole("after the kill");
  // The dead writer's lock is gone with it.
  ASSERT_EQ(key.SetDword("After", 1), RegResult::Ok);
  checkWhole("after the next change");
  EXPECT_FALSE(Exists(temp));
}

TEST_F(RegistryTest, ImportIsAllOrNothing) {
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create("SOFTWARE\\Qrvn\\Old", key), RegResult::Ok);
  ASSERT_EQ(key.SetDword("Keep", 1), RegResult::Ok);
  ASSERT_EQ(key.SetDword("Drop", 2), RegResult::Ok);
  ASSERT_EQ(RegistryKey::Create("SOFTWARE\\Qrvn\\Gone\\Child", key), RegResult::Ok);
  std::string before = ReadFile(RegistryFilePath());

  const std::string bad =
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\\New]\n"
      "\"A\"=dword:00000001\n\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\\Gone]\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\\Old]\n\"B\"=dword:xyz\n";
  EXPECT_EQ(ImportRegistryText(bad, "bad.reg"), RegResult::BadFile);
  EXPECT_EQ(RegistryLastError(), "bad.reg:9: dword needs 1 to 8 hex digits");
  EXPECT_EQ(ReadFile(RegistryFilePath()), before);

  std::string good = bad.substr(0, bad.rfind("\"B\"")) + "\"drop\"=-\n\"New\"=\"n\"\n";
  ASSERT_EQ(ImportRegistryText(good, "good.reg"), RegResult::Ok);
  EXPECT_EQ(ReadFile(RegistryFilePath()),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\\New]\n\"A\"=dword:00000001\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qrvn\\Old]\n\"Keep\"=dword:00000001\n"
            "\"New\"=\"n\"\n\n");
}

}  // namespace
}  // namespace qrvn::platform

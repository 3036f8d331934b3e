// The host commands (provider, lines, show, monitor) run through RunCli against the fake
// provider module in a fresh registry.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <thread>

#include "host/cli/cli.h"
#include "host/lib/provider_list.h"
#include "host/lib/stop_request.h"
#include "tests/host/fake_provider_control.h"
#include "tests/support/temp_root.h"

namespace qrvn::cli {
namespace {

using host_testing::FakeProviderControl;
using nlohmann::json;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome Qrvn(std::vector<std::string> args) {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  CommandIo io{in, out, err};
  int status = RunCli(args, io);
  return {status, out.str(), err.str()};
}

// Output written by several threads; the test waits until a text has appeared.
class WatchedOutput : public std::streambuf {
 public:
  // Waits until needle is in the output; false after a generous guard (a failing test only).
  bool WaitFor(const std::string& needle) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20),
                             [&] { return text_.find(needle) != std::string::npos; });
  }
  std::string Text() {
    std::lock_guard guard(mutex_);
    return text_;
  }

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) {
      const char ch = traits_type::to_char_type(c);
      xsputn(&ch, 1);
    }
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    {
      std::lock_guard guard(mutex_);
      text_.append(s, static_cast<size_t>(n));
    }
    changed_.notify_all();
    return n;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string text_;
};

// `qrvn monitor ARGS` on a thread of its own, with a stop request.
class MonitorRun {
 public:
  explicit MonitorRun(std::vector<std::string> args, bool withStopRequest = true)
      : out_(&outBuf_), err_(&errBuf_), io_{in_, out_, err_, withStopRequest ? &stop_ : nullptr} {
    args.insert(args.begin(), "monitor");
    thread_ = std::thread([this, args] { status_ = RunCli(args, io_); });
  }
  ~MonitorRun() {
    stop_.Request();
    if (thread_.joinable()) thread_.join();
  }
  int Stop() {
    stop_.Request();
    return Join();
  }
  int Join() {
    thread_.join();
    return status_;
  }
  WatchedOutput& Out() { return outBuf_; }
  WatchedOutput& Err() { return errBuf_; }

 private:
  WatchedOutput outBuf_;
  WatchedOutput errBuf_;
  std::istringstream in_;
  std::ostream out_;
  std::ostream err_;
  host::StopRequest stop_;
  CommandIo io_;
  int status_ = -1;
  std::thread thread_;
};

std::string Hex(const void* pointer) {
  std::ostringstream text;
  text << "0x" << std::uppercase << std::hex << reinterpret_cast<uintptr_t>(pointer);
  return text.str();
}

class HostCommandsTest : public ::testing::Test {
 protected:
  uint32_t Add(const std::string& file) {
    uint32_t id = 0;
    EXPECT_EQ(host::AddProvider(file, id), platform::RegResult::Ok);
    return id;
  }
  testing::TempRoot root_;
  FakeProviderControl fake_;
};

TEST_F(HostCommandsTest, ProviderAddListRemove) {
  Outcome added = Qrvn({"provider", "add", QRVN_FAKE_PROVIDER});
  EXPECT_EQ(added.status, 0) << added.err;
  EXPECT_EQ(added.out, std::string("Provider 1 added: ") + QRVN_FAKE_PROVIDER + "\n");
  EXPECT_EQ(Qrvn({"provider", "add", "other.tsp"}).status, 0);

  Outcome list = Qrvn({"provider", "list", "--json"});
  ASSERT_EQ(list.status, 0);
  const json parsed = json::parse(list.out);
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_EQ(parsed[1]["id"], 2);
  EXPECT_EQ(parsed[1]["file"], "other.tsp");

  EXPECT_EQ(Qrvn({"provider", "remove", "1"}).status, 0);
  Outcome again = Qrvn({"provider", "remove", "1"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("no provider has ID 1"), std::string::npos) << again.err;
  EXPECT_EQ(Qrvn({"provider", "list"}).out, "ID    FILE\n2     other.tsp\n");

  EXPECT_EQ(Qrvn({"provider", "remove", "x1"}).status, 1);
  EXPECT_EQ(Qrvn({"provider", "add"}).status, 1);
  Outcome help = Qrvn({"provider", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("default values"), std::string::npos);
}

TEST_F(HostCommandsTest, LinesListsEveryLineDevice) {
  Add(QRVN_FAKE_PROVIDER);
  Outcome lines = Qrvn({"lines"});
  EXPECT_EQ(lines.status, 0) << lines.err;
  EXPECT_EQ(lines.out,
            "ID  NAME     PERMANENT-ID  ADDRESS  KIND       IN-SERVICE\n"
            "0   SYSTEM   0x00010001             system     yes\n"
            "1   EXT0101  0x00013000    101      extension  yes\n"
            "2   CO0001   0x00011000    1        trunk      no\n");
  EXPECT_EQ(fake_.Shutdowns(), 1) << "the providers are shut down before the command returns";
  EXPECT_FALSE(fake_.IsOpen(0) || fake_.IsOpen(1) || fake_.IsOpen(2));
}

TEST_F(HostCommandsTest, FailingProvidersAreReportedAndTheOthersListed) {
  Add(QRVN_FAKE_PROVIDER);
  Add("qrvnnosuchprovider.tsp");
  const uint32_t failing = Add(QRVN_FAKE_PROVIDER);
  setenv("FAKE_PROVIDER_FAIL_INIT", std::to_string(failing).c_str(), 1);
  Outcome lines = Qrvn({"lines", "--json"});
  unsetenv("FAKE_PROVIDER_FAIL_INIT");

  EXPECT_EQ(lines.status, 1) << "a provider that did not start is not success";
  EXPECT_NE(lines.err.find("provider 2 (qrvnnosuchprovider.tsp) failed: cannot load"),
            std::string::npos)
      << lines.err;
  EXPECT_NE(lines.err.find("provider 3 ("), std::string::npos) << lines.err;
  EXPECT_NE(lines.err.find("TSPI_providerInit failed"), std::string::npos) << lines.err;
  EXPECT_NE(lines.err.find("LINEERR_NOMEM"), std::string::npos) << lines.err;

  const json doc = json::parse(lines.out);
  ASSERT_EQ(doc["lines"].size(), 3u);
  EXPECT_EQ(doc["lines"][0]["name"], "SYSTEM");
  EXPECT_EQ(doc["lines"][1]["name"], "EXT0101");
  EXPECT_EQ(doc["lines"][1]["address"], "101");
  EXPECT_EQ(doc["lines"][1]["permanentLineId"], (1 << 16) | 12288);
  EXPECT_EQ(doc["lines"][2]["kind"], "trunk");
  EXPECT_EQ(doc["lines"][2]["inService"], false);
  ASSERT_EQ(doc["providers"].size(), 3u);
  EXPECT_EQ(doc["providers"][0]["started"], true);
  EXPECT_EQ(doc["providers"][1]["started"], false);
  EXPECT_EQ(doc["providers"][2]["result"], "LINEERR_NOMEM");
}

TEST_F(HostCommandsTest, LineNamesAreConvertedFromUtf16) {
  Add(QRVN_FAKE_PROVIDER);
  fake_.SetLine(1, u"Zo\u00EB\u260E\U0001D11E\"0042", u"\u00C5101", 0);
  Outcome lines = Qrvn({"lines", "--json"});
  fake_.SetLine(1, u"EXT0101", u"101", LINEDEVSTATUSFLAGS_INSERVICE);
  ASSERT_EQ(lines.status, 0) << lines.err;
  const json doc = json::parse(lines.out);
  EXPECT_EQ(doc["lines"][1]["name"], "Zo\xC3\xAB\xE2\x98\x8E\xF0\x9D\x84\x9E\"0042");
  EXPECT_EQ(doc["lines"][1]["address"],
            "\xC3\x85"
            "101");
  EXPECT_EQ(doc["lines"][1]["kind"], "-") << "a name of no known kind";
  EXPECT_EQ(doc["lines"][1]["inService"], false);
}

TEST_F(HostCommandsTest, ShowDecodesCapabilitiesAndStatus) {
  Add(QRVN_FAKE_PROVIDER);
  Outcome text = Qrvn({"show", "ext0101"});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("Line 1 EXT0101 (extension)"), std::string::npos);
  EXPECT_NE(text.out.find("0x004616F0  MSGWAITON|MSGWAITOFF|INSERVICE|OUTOFSERVICE|OPEN|CLOSE|"
                          "NUMCOMPLETIONS|DEVSPECIFIC|REINIT|TRANSLATECHANGE"),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("dwDevStatusFlags       0x00000004  INSERVICE"), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("0x00000001 SILENCE, 0x00000211 OGM01"), std::string::npos)
      << "call treatment names are ANSI on a Unicode line";

  Outcome system = Qrvn({"show", "0", "--json"});
  ASSERT_EQ(system.status, 0) << system.err;
  const json doc = json::parse(system.out);
  EXPECT_EQ(doc["name"], "SYSTEM");
  EXPECT_EQ(doc["devCaps"]["LineName"], "SYSTEM");
  EXPECT_EQ(doc["devCaps"]["DeviceClasses"], json::array({"tapi/line"}));
  EXPECT_EQ(doc["devCaps"]["DevSpecificDecoded"]["PBX country"], 49);
  EXPECT_EQ(doc["devCaps"]["DevSpecificDecoded"]["extensions"], 40);
  EXPECT_EQ(doc["devStatus"]["DevSpecificDecoded"]["system status notify"], "on");
  EXPECT_EQ(doc["devCaps"]["dwLineStates"]["names"].size(), 8u);
  ASSERT_EQ(doc["addresses"].size(), 1u);
  EXPECT_EQ(doc["addresses"][0]["status"]["dwNumInUse"], 1);

  const json trunk = json::parse(Qrvn({"show", "CO0001", "--json"}).out);
  EXPECT_EQ(trunk["addresses"][0]["caps"]["Address"], "1");
  EXPECT_EQ(trunk["addresses"][0]["caps"]["dwCallStates"]["names"],
            json::array({"IDLE", "OFFERING", "BUSY", "CONNECTED", "CONFERENCED", "DISCONNECTED"}));
  EXPECT_EQ(trunk["devStatus"]["dwDevStatusFlags"]["names"], json::array({"CONNECTED"}));

  Outcome missing = Qrvn({"show", "EXT9999"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no line \"EXT9999\""), std::string::npos);
  EXPECT_EQ(Qrvn({"show", "3"}).status, 1);
  EXPECT_FALSE(fake_.IsOpen(0) || fake_.IsOpen(1) || fake_.IsOpen(2));
}

TEST_F(HostCommandsTest, MonitorPrintsDecodedEventsUntilStopped) {
  Add(QRVN_FAKE_PROVIDER);
  const int shutdownsBefore = fake_.Shutdowns();
  MonitorRun monitor({});
  ASSERT_TRUE(monitor.Err().WaitFor("Monitoring 3 lines")) << monitor.Err().Text();
  EXPECT_TRUE(fake_.IsOpen(0) && fake_.IsOpen(1) && fake_.IsOpen(2));

  HTAPICALL call = fake_.Post(1, nullptr, LINE_NEWCALL, 0xCA11);
  ASSERT_NE(call, nullptr);
  fake_.PostRaw(1, call, LINE_CALLSTATE, LINECALLSTATE_OFFERING, LINEOFFERINGMODE_ACTIVE,
                LINEMEDIAMODE_INTERACTIVEVOICE);
  // The link to the PBX went away: shown, and the monitor keeps going.
  fake_.PostRaw(0, nullptr, LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT, 0, 0);
  fake_.PostRaw(1, call, LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED,
                LINEDISCONNECTMODE_BUSY | 0x01000000, 0);
  fake_.PostRaw(2, nullptr, LINE_LINEDEVSTATE, LINEDEVSTATE_OUTOFSERVICE, 0, 0);
  ASSERT_TRUE(monitor.Out().WaitFor("name=CO0001 states=OUTOFSERVICE")) << monitor.Out().Text();

  EXPECT_EQ(monitor.Stop(), 0) << monitor.Err().Text();
  const std::string c = Hex(call);
  EXPECT_EQ(monitor.Out().Text(),
            "LINE_NEWCALL line=1 name=EXT0101 call=" + c +
                " hdCall=0xCA11\n"
                "LINE_CALLSTATE line=1 name=EXT0101 call=" +
                c +
                " state=OFFERING mode=ACTIVE media=INTERACTIVEVOICE\n"
                "LINE_LINEDEVSTATE line=0 name=SYSTEM states=REINIT note=\"provider asks for "
                "re-initialisation\"\n"
                "LINE_CALLSTATE line=1 name=EXT0101 call=" +
                c +
                " state=DISCONNECTED mode=BUSY|0x01000000\n"
                "LINE_LINEDEVSTATE line=2 name=CO0001 states=OUTOFSERVICE\n");
  EXPECT_EQ(fake_.Shutdowns(), shutdownsBefore + 1) << "TSPI_providerShutdown on the way out";
  EXPECT_FALSE(fake_.IsOpen(0) || fake_.IsOpen(1) || fake_.IsOpen(2)) << "lines closed";
  EXPECT_NE(monitor.Err().Text().find("Stopped"), std::string::npos);
}

TEST_F(HostCommandsTest, MonitorJsonOnChosenLinesEndsOnSigterm) {
  Add(QRVN_FAKE_PROVIDER);
  const int shutdownsBefore = fake_.Shutdowns();
  MonitorRun monitor({"co0001", "--json", "2"}, false);  // one line named twice
  ASSERT_TRUE(monitor.Err().WaitFor("Monitoring 1 line;")) << monitor.Err().Text();
  EXPECT_FALSE(fake_.IsOpen(1));
  fake_.PostRaw(2, nullptr, LINE_ADDRESSSTATE, 0, LINEADDRESSSTATE_INUSEONE, 0);
  fake_.PostRaw(2, nullptr, LINE_DEVSPECIFIC, 7, 8, 9);
  ASSERT_TRUE(monitor.Out().WaitFor("LINE_DEVSPECIFIC")) << monitor.Out().Text();

  // The signal only sets a flag; the monitor's own thread closes and shuts down.
  std::raise(SIGTERM);
  EXPECT_EQ(monitor.Join(), 0) << monitor.Err().Text();
  EXPECT_EQ(fake_.Shutdowns(), shutdownsBefore + 1);
  EXPECT_FALSE(fake_.IsOpen(2));

  std::istringstream lines(monitor.Out().Text());
  std::string line;
  std::vector<json> events;
  while (std::getline(lines, line)) events.push_back(json::parse(line));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0]["message"], "LINE_ADDRESSSTATE");
  EXPECT_EQ(events[0]["line"], 2);
  EXPECT_EQ(events[0]["name"], "CO0001");
  EXPECT_EQ(events[0]["states"], "INUSEONE");
  EXPECT_EQ(events[1]["params"], json::array({7, 8, 9}));
}

TEST_F(HostCommandsTest, MonitorRefusesUnknownLines) {
  Add(QRVN_FAKE_PROVIDER);
  MonitorRun monitor({"EXT0101", "NOPE"});
  EXPECT_EQ(monitor.Join(), 1);
  EXPECT_NE(monitor.Err().Text().find("no line \"NOPE\""), std::string::npos);
  EXPECT_FALSE(fake_.IsOpen(1));
}

}  // namespace
}  // namespace qrvn::cli

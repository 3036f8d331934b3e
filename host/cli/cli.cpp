// Dispatch of `qrvn` subcommands. A new subcommand adds one row to kCommands.
#include <iostream>
#include <string_view>

#include "host/cli/cli.h"

namespace qrvn::cli {
namespace {

struct Command {
  std::string_view name;
  std::string_view summary;
  int (*run)(std::span<const std::string> args, CommandIo& io);
};

constexpr Command kCommands[] = {
    {"reg", "query and change the machine registry (qrvn reg /? for details)", RunRegCommand},
    {"provider", "add, remove and list the installed telephony providers", RunProviderCommand},
    {"lines", "start the providers and list their line devices", RunLinesCommand},
    {"show", "show one line's capabilities and status, decoded", RunShowCommand},
    {"monitor", "open lines and print their events until interrupted", RunMonitorCommand},
};

void Usage(std::ostream& out) {
  out << "Usage: qrvn COMMAND [ARGUMENTS...]\n\nCommands:\n";
  for (const Command& command : kCommands) {
    out << "  " << command.name << std::string(10 - command.name.size(), ' ') << command.summary
        << "\n";
  }
  out << "\nThe machine's state lives below $QRVN_ROOT (default /var/lib/qrvn).\n";
}

}  // namespace

int RunCli(std::span<const std::string> args, CommandIo& io) {
  if (args.empty()) {
    Usage(io.err);
    return 1;
  }
  const std::string& name = args.front();
  if (name == "--help" || name == "-h" || name == "help" || name == "/?") {
    Usage(io.out);
    return 0;
  }
  for (const Command& command : kCommands) {
    if (name == command.name) return command.run(args.subspan(1), io);
  }
  io.err << "qrvn: unknown command \"" << name << "\" (qrvn --help lists the commands)\n";
  return 1;
}

}  // namespace qrvn::cli

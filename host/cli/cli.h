// The `qrvn` command-line tool: subcommands run on argument lists and streams, so that they
// can be tested without starting processes.
#pragma once

#include <iosfwd>
#include <span>
#include <string>

namespace qrvn::host {
class StopRequest;
}

namespace qrvn::cli {

// Where a command reads its answers and writes its results and errors.
struct CommandIo {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  // Ends a long-running command (monitor) besides SIGINT/SIGTERM; may be null.
  host::StopRequest* stop = nullptr;
};

// Runs `qrvn ARGS...` (args without the program name); returns the exit status.
int RunCli(std::span<const std::string> args, CommandIo& io);

// Runs `qrvn reg ARGS...` (args after "reg"); returns the exit status.
int RunRegCommand(std::span<const std::string> args, CommandIo& io);
// Runs `qrvn provider add|remove|list ...`.
int RunProviderCommand(std::span<const std::string> args, CommandIo& io);
// Runs `qrvn lines [--json]`.
int RunLinesCommand(std::span<const std::string> args, CommandIo& io);
// Runs `qrvn show LINE [--json]`.
int RunShowCommand(std::span<const std::string> args, CommandIo& io);
// Runs `qrvn monitor [LINE...] [--json]` until stopped.
int RunMonitorCommand(std::span<const std::string> args, CommandIo& io);

}  // namespace qrvn::cli

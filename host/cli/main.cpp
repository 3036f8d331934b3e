// Entry point of the `qrvn` tool.
#include <iostream>
#include <string>
#include <vector>

#include "host/cli/cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  qrvn::cli::CommandIo io{std::cin, std::cout, std::cerr};
  int status = qrvn::cli::RunCli(args, io);
  std::cout.flush();
  return status;
}

// qrvn-payload: appends, lists and extracts the payload blocks carried at the end of a file.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "installer/payload.h"

namespace {

using qrvn::installer::PayloadBlock;
using qrvn::installer::PayloadOutcome;

constexpr int kUsageError = 2;

int Usage() {
  std::fputs(
      "usage: qrvn-payload append FILE PAYLOAD   append PAYLOAD's bytes as the new block 1\n"
      "       qrvn-payload list FILE             list the blocks, block 1 ending at the end\n"
      "       qrvn-payload extract FILE N OUT    write block N's payload to OUT\n",
      stderr);
  return kUsageError;
}

int Report(const PayloadOutcome& outcome) {
  if (outcome.Ok()) return 0;
  std::fprintf(stderr, "qrvn-payload: %s\n", outcome.message.c_str());
  return 1;
}

int Append(const std::string& file, const std::string& payloadFile) {
  std::vector<uint8_t> payload;
  PayloadOutcome read = qrvn::installer::ReadWholeFile(payloadFile, payload);
  if (!read.Ok()) return Report(read);
  return Report(qrvn::installer::AppendBlock(file, payload));
}

int List(const std::string& file) {
  std::vector<PayloadBlock> blocks;
  uint64_t front = 0;
  PayloadOutcome listed = qrvn::installer::ListBlocks(file, blocks, front);
  if (!listed.Ok()) return Report(listed);
  for (size_t i = 0; i < blocks.size(); ++i) {
    std::printf("block %zu: offset %llu, %llu bytes\n", i + 1,
                static_cast<unsigned long long>(blocks[i].offset),
                static_cast<unsigned long long>(blocks[i].size));
  }
  std::printf("front: %llu bytes\n", static_cast<unsigned long long>(front));
  return 0;
}

int Extract(const std::string& file, const std::string& number, const std::string& out) {
  char* end = nullptr;
  unsigned long n = std::strtoul(number.c_str(), &end, 10);
  if (number.empty() || *end != '\0' || n == 0 || n > 0xFFFFFFFFul) {
    std::fprintf(stderr, "qrvn-payload: block number \"%s\" is not a number from 1\n",
                 number.c_str());
    return kUsageError;
  }
  // The whole block is read and checked before OUT is touched, so a corrupt file writes nothing.
  std::vector<uint8_t> payload;
  PayloadOutcome read = qrvn::installer::ReadBlock(file, static_cast<uint32_t>(n), payload);
  if (!read.Ok()) return Report(read);
  return Report(qrvn::installer::WriteWholeFile(out, payload));
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "append") return Append(args[1], args[2]);
  if (args.size() == 2 && args[0] == "list") return List(args[1]);
  if (args.size() == 4 && args[0] == "extract") return Extract(args[1], args[2], args[3]);
  return Usage();
}

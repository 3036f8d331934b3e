// Feeds arbitrary bytes to the simulator's scanner and answers every frame it finds, in
// chunks the first byte chooses, as the host's side of a noisy line would deliver them.
#include <cstddef>
#include <cstdint>

#include "pbxsim/framing.h"
#include "pbxsim/pbx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qrvn::pbxsim;
  static Pbx pbx(DefaultModel());
  if (size == 0) return 0;
  size_t chunk = 1 + data[0] % 32;
  Scanner scanner;
  for (size_t pos = 1; pos < size; pos += chunk) {
    size_t n = size - pos < chunk ? size - pos : chunk;
    scanner.Feed(data + pos, n);
    for (Token t = scanner.Next(); t.type != Token::Type::None; t = scanner.Next()) {
      for (const Bytes& m : t.messages) pbx.Handle(m);
    }
  }
  // Every request also straight into the PBX.
  pbx.Handle(Bytes(data, data + size));
  return 0;
}

// The call release functions of a provider that has no call records yet.
#include "provider/control/call_release.h"

namespace qrvn::provider {
namespace {

LineDevice* NoLine(CallRecord*) {
  return nullptr;
}
CallRecord* NoFirst(AddressRecord&) {
  return nullptr;
}
CallRecord* NoNext(CallRecord*) {
  return nullptr;
}
void NoRelease(AddressRecord&, CallRecord*) {}
LONG NotACall(CallRecord*) {
  return LINEERR_INVALCALLHANDLE;
}

constinit CallReleaseOps g_ops{NoLine, NoFirst, NoNext, NoRelease, NotACall};

}  // namespace

CallReleaseOps EmptyCallRelease() {
  return {NoLine, NoFirst, NoNext, NoRelease, NotACall};
}

CallReleaseOps& CallRelease() {
  return g_ops;
}

}  // namespace qrvn::provider

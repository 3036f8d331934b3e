// Test access to the fake provider module's controls. Holding our own reference keeps the
// module, its counters and its device table alive past the host that loaded it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/module.h"
#include "tapi/tspi.h"

namespace qrvn::host_testing {

class FakeProviderControl {
 public:
  FakeProviderControl() {
    std::string error;
    module_ = platform::Module::Load(QRVN_FAKE_PROVIDER, &error);
    EXPECT_NE(module_, nullptr) << error;
  }
  // Posts an event on an open line; for LINE_NEWCALL returns the handle the host wrote.
  HTAPICALL Post(DWORD deviceId, HTAPICALL htCall, DWORD msg, DWORD_PTR p1, DWORD_PTR p3 = 0) {
    return Fn<HTAPICALL (*)(DWORD, HTAPICALL, DWORD, DWORD_PTR, DWORD_PTR)>("FakeProvider_Post")(
        deviceId, htCall, msg, p1, p3);
  }
  // Posts an event with all three parameters.
  void PostRaw(DWORD deviceId, HTAPICALL htCall, DWORD msg, DWORD_PTR p1, DWORD_PTR p2,
               DWORD_PTR p3) {
    Fn<void (*)(DWORD, HTAPICALL, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR)>("FakeProvider_PostRaw")(
        deviceId, htCall, msg, p1, p2, p3);
  }
  bool IsOpen(DWORD deviceId) { return Fn<int (*)(DWORD)>("FakeProvider_IsOpen")(deviceId) != 0; }
  // Changes line index `index` of every instance.
  void SetLine(DWORD index, const char16_t* name, const char16_t* address, DWORD statusFlags) {
    Fn<void (*)(DWORD, const char16_t*, const char16_t*, DWORD)>("FakeProvider_SetLine")(
        index, name, address, statusFlags);
  }
  void Complete(DRV_REQUESTID id, LONG result) {
    Fn<void (*)(DRV_REQUESTID, LONG)>("FakeProvider_Complete")(id, result);
  }
  int Shutdowns() { return Fn<int (*)()>("FakeProvider_Shutdowns")(); }
  int ClosedCalls() { return Fn<int (*)()>("FakeProvider_ClosedCalls")(); }
  HDRVCALL LastClosedCall() { return Fn<HDRVCALL (*)()>("FakeProvider_LastClosedCall")(); }

 private:
  template <typename F>
  F Fn(const char* name) {
    F f = module_->Function<F>(name);
    EXPECT_NE(f, nullptr) << name;
    return f;
  }
  std::unique_ptr<platform::Module> module_;
};

}  // namespace qrvn::host_testing

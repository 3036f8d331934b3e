// Fault guards with sigsetjmp/siglongjmp: the handler of the fault signals jumps back to the
// guard that is active on the faulting thread, or gives the fault its previous handling when
// none is.
#include "platform/fault_guard.h"

#include <signal.h>
#include <sys/uio.h>
#include <ucontext.h>
#include <unistd.h>

#include <csetjmp>
#include <mutex>

namespace qrvn::platform {
namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
struct sigaction previousActions[sizeof kFaultSignals / sizeof kFaultSignals[0]];

thread_local sigjmp_buf* t_jump = nullptr;
thread_local FaultContext t_fault;

void FillContext(int signal, const void* uc) {
  t_fault = FaultContext{};
  t_fault.signal = signal;
#if defined(__x86_64__)
  const auto* context = static_cast<const ucontext_t*>(uc);
  const greg_t* r = context->uc_mcontext.gregs;
  const int order[9] = {REG_RAX, REG_RBX, REG_RCX, REG_RDX, REG_RSI,
                        REG_RDI, REG_RIP, REG_RSP, REG_RBP};
  for (int i = 0; i < 9; ++i) t_fault.registers[i] = static_cast<uint64_t>(r[order[i]]);
  // The code may not be readable (a jump to nowhere): read it through the kernel, which
  // answers with an error instead of a second fault.
  iovec local{t_fault.code, sizeof t_fault.code};
  iovec remote{reinterpret_cast<void*>(r[REG_RIP]), sizeof t_fault.code};
  ssize_t n = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
  t_fault.codeBytes = n > 0 ? static_cast<size_t>(n) : 0;
#else
  (void)uc;
#endif
}

extern "C" void OnFault(int signal, siginfo_t*, void* uc) {
  if (t_jump != nullptr) {
    FillContext(signal, uc);
    siglongjmp(*t_jump, 1);
  }
  // Not ours: put back what was there and return, so that the fault happens again and is
  // handled as before (usually the end of the process with a core dump).
  for (size_t i = 0; i < sizeof kFaultSignals / sizeof kFaultSignals[0]; ++i) {
    if (kFaultSignals[i] == signal) sigaction(signal, &previousActions[i], nullptr);
  }
}

void InstallHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = OnFault;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO;
    for (size_t i = 0; i < sizeof kFaultSignals / sizeof kFaultSignals[0]; ++i) {
      sigaction(kFaultSignals[i], &action, &previousActions[i]);
    }
  });
}

}  // namespace

bool RunGuarded(const std::function<void()>& body, FaultContext* fault) {
  InstallHandlers();
  sigjmp_buf jump;
  sigjmp_buf* outer = t_jump;
  // The signal mask is saved so that the jump also unblocks the fault signal.
  if (sigsetjmp(jump, 1) != 0) {
    t_jump = outer;
    if (fault != nullptr) *fault = t_fault;
    return false;
  }
  t_jump = &jump;
  try {
    body();
  } catch (...) {
    t_jump = outer;
    throw;
  }
  t_jump = outer;
  return true;
}

}  // namespace qrvn::platform

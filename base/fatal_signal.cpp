#include "base/fatal_signal.h"

#include <signal.h>
#include <unistd.h>

#include <cstddef>

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGQUIT};
constexpr size_t kCount = sizeof kSignals / sizeof kSignals[0];
struct sigaction g_old[kCount];
unsigned g_seconds = 2;

// Only async-signal-safe calls here.
void onFatal(int sig, siginfo_t* info, void* context) {
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(SIGALRM, &dfl, nullptr);
  sigset_t alarmOnly;
  sigemptyset(&alarmOnly);
  sigaddset(&alarmOnly, SIGALRM);
  sigprocmask(SIG_UNBLOCK, &alarmOnly, nullptr);
  alarm(g_seconds);
  for (size_t i = 0; i < kCount; ++i) {
    if (kSignals[i] != sig) continue;
    const struct sigaction& old = g_old[i];
    if ((old.sa_flags & SA_SIGINFO) && old.sa_sigaction) {
      old.sa_sigaction(sig, info, context);
      return;
    }
    if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN) {
      old.sa_handler(sig);
      return;
    }
  }
  // No handler before ours: the default action (ending the process, with a
  // core where the system keeps them). Returning from a fault re-runs the
  // faulting instruction, which now meets the default action.
  sigaction(sig, &dfl, nullptr);
  raise(sig);
}

}  // namespace

void fatal_signal::bound(unsigned seconds) {
  g_seconds = seconds > 0 ? seconds : 1;
  static bool installed = false;  // a second call must not wrap the wrapper
  if (installed) return;
  installed = true;
  for (size_t i = 0; i < kCount; ++i) {
    // A signal the process was started with ignored (SIGQUIT in a job a
    // script put in the background) stays ignored.
    if (sigaction(kSignals[i], nullptr, &g_old[i]) != 0 ||
        (!(g_old[i].sa_flags & SA_SIGINFO) && g_old[i].sa_handler == SIG_IGN))
      continue;
    struct sigaction sa {};
    sa.sa_sigaction = onFatal;
    sa.sa_flags = SA_SIGINFO;
    sigemptyset(&sa.sa_mask);
    sigaction(kSignals[i], &sa, nullptr);
  }
}

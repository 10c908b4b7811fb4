// standin_deskterm: the stand-in operator client as a program. It takes no
// arguments (the library starts it without any); the environment says what
// it does:
//   STANDIN_MODE         ok (default): publish the sample system, signal the
//                        start, run until ended; hang: run without ever
//                        signalling; churn: a new exchange message every
//                        STANDIN_CHURN_MS (50), the start signal after
//                        STANDIN_SIGNAL_AFTER_MS (500); nonet / nopass:
//                        as ok without VELK_NET_LIST / VELK_PASSWORD;
//                        exit:N: end at once with exit code N
//   STANDIN_COMPUTER     the operator-client node's computer (default: this host)
//   STANDIN_PIDFILE      a file to write the process id into
//   STANDIN_LIFETIME_MS  end after this long (default: run until SIGTERM)
// SIGTERM or SIGINT end it; the sections go with it unless others hold them.

#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include <chrono>
#include <thread>

#include <fmt/format.h>

#include "clientif/platform.h"
#include "common/strings.h"
#include "tools/standin_client/standin.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

std::string environment(const char* name, std::string_view fallback = {}) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string(fallback);
}

void writePidFile() {
  const std::string path = environment("STANDIN_PIDFILE");
  if (path.empty()) return;
  if (std::FILE* file = std::fopen(path.c_str(), "w")) {
    std::fputs(fmt::format("{}\n", ::getpid()).c_str(), file);
    std::fclose(file);
  }
}

int run(std::string_view mode) {
  const std::string computer = environment("STANDIN_COMPUTER", velk::ComputerName());
  const std::int32_t lifetime = common::StrToIntDef(environment("STANDIN_LIFETIME_MS", "0"), 0);
  const std::int32_t churnPeriod = std::max(1, common::StrToIntDef(environment("STANDIN_CHURN_MS", "50"), 50));
  const std::int32_t signalAfter = common::StrToIntDef(environment("STANDIN_SIGNAL_AFTER_MS", "500"), 500);
  standin::Options options;
  options.netList = mode != "nonet";
  options.password = mode != "nopass";
  standin::StandinClient client(standin::SampleScenario(computer), options);
  const bool signalAtOnce = mode == "ok" || mode == "nonet" || mode == "nopass";
  if (signalAtOnce) client.signalStarted();
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  int churned = 0;
  while (stopRequested == 0) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    if (lifetime > 0 && elapsed >= lifetime) break;
    if (mode == "churn") {
      if (elapsed / churnPeriod > churned) {
        churned = static_cast<int>(elapsed / churnPeriod);
        client.setExchangeMessage(fmt::format("启动中 {}", churned));
      }
      if (elapsed >= signalAfter) client.signalStarted();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

}  // namespace

int main() {
  std::signal(SIGTERM, onSignal);
  std::signal(SIGINT, onSignal);
  writePidFile();
  const std::string mode = environment("STANDIN_MODE", "ok");
  if (mode.starts_with("exit:")) return common::StrToIntDef(std::string_view(mode).substr(5), 0);
  if (mode != "ok" && mode != "hang" && mode != "churn" && mode != "nonet" && mode != "nopass") {
    std::fprintf(stderr, "standin_deskterm: unknown STANDIN_MODE %s\n", mode.c_str());
    return 2;
  }
  try {
    return run(mode);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "standin_deskterm: %s\n", error.what());
    return 1;
  }
}

// A host's fork() (the child ends at once, the parent waits for it) with 0,
// 1 or 4 client library objects alive: their fork handlers take and free the
// library's in-process locks around every fork(). See bench/README.md.
//
//   fork_bench --benchmark_repetitions=5

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "clientif/clientlib.h"
#include "common/lang/engine.h"

namespace {

void BM_Fork(benchmark::State& state) {
  ::setenv(ipc::kPrefixVariable, ("forkbench" + std::to_string(::getpid())).c_str(), 1);
  lang::MultiLangEngine engine(lang::LangVariant::Velklog2);
  velk::Config config;
  config.hostFolder = "/nonexistent/";
  std::vector<std::unique_ptr<velk::ClientLibrary>> libraries;
  for (int i = 0; i < state.range(0); ++i) libraries.push_back(std::make_unique<velk::ClientLibrary>(config, engine));
  for (auto _ : state) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status)) state.SkipWithError("the child did not end");
  }
}
BENCHMARK(BM_Fork)->ArgName("libraries")->Arg(0)->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

// Micro-benchmarks of the layout and the block writer on typical lines.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "banner/banner.h"
#include "script/script.h"

namespace {

const std::string kTypical =
    "Hello there, well played! See you next round; hold the left site, go go (ok) 42.";
const std::string kFull = [] {
  std::string text;
  while (text.size() < tallsay::kMaxTextBytes) text += kTypical;
  return text.substr(0, tallsay::kMaxTextBytes);
}();

void run_layout(benchmark::State& state, const std::string& text) {
  static tallsay::Banner banner;
  for (auto _ : state) {
    tallsay::lay_out_banner(text, banner);
    benchmark::DoNotOptimize(banner.rows[3][0]);
  }
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * text.size()));
}

void run_block(benchmark::State& state, const std::string& text) {
  static tallsay::Banner banner;
  static tallsay::ScriptFile script;
  std::FILE* sink = std::fopen("/dev/null", "wb");
  tallsay::start_script(script, sink);
  tallsay::lay_out_banner(text, banner);
  std::size_t before = 0;
  long long written = 0;
  for (auto _ : state) {
    before = script.used;
    tallsay::write_block(script, text, banner, tallsay::BlockOptions{}, stderr);
    written += static_cast<long long>(script.used > before ? script.used - before : script.used);
  }
  tallsay::close_script(script);
  state.SetBytesProcessed(written);
}

void BM_LayOut80(benchmark::State& state) {
  run_layout(state, kTypical);
}
void BM_LayOut1024(benchmark::State& state) {
  run_layout(state, kFull);
}
void BM_WriteBlock80(benchmark::State& state) {
  run_block(state, kTypical);
}

}  // namespace

BENCHMARK(BM_LayOut80);
BENCHMARK(BM_LayOut1024);
BENCHMARK(BM_WriteBlock80);
BENCHMARK_MAIN();

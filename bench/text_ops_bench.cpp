// Line-break removal from fetched pages: the fast ReplaceAll against the
// rule applied literally (replace the first, search again from the start).
// Each result of 1 MiB is fresh memory from the system; on a virtual machine
// its page faults can cost more than the work itself. To see the work alone:
//   GLIBC_TUNABLES=glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=67108864
#include <benchmark/benchmark.h>

#include <string>

#include "net/text_ops.h"

namespace {

// A page of `size` bytes holding `pairs` CR LF pairs spread evenly.
std::string Page(size_t size, size_t pairs) {
  std::string page;
  page.reserve(size);
  size_t line = size / pairs - 2;
  while (page.size() + line + 2 <= size) {
    for (size_t i = 0; i < line; ++i) page.push_back(static_cast<char>('a' + (page.size() + i) % 26));
    page += "\r\n";
  }
  page.resize(size, 'z');
  return page;
}

std::string Literal(const std::string& old_text, std::string text) {
  for (size_t at; (at = text.find(old_text)) != std::string::npos;) text.erase(at, old_text.size());
  return text;
}

void BM_ReplaceAll_1MiB_100kPairs(benchmark::State& state) {
  const std::string page = Page(1 << 20, 100000);
  for (auto _ : state) {
    std::string flat = lum::ReplaceAll({"\r", ""}, lum::ReplaceAll({"\n", ""}, page));
    benchmark::DoNotOptimize(flat);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_ReplaceAll_1MiB_100kPairs)->Unit(benchmark::kMillisecond);

void BM_LiteralRule_64KiB(benchmark::State& state) {
  const std::string page = Page(64 << 10, 6250);  // the same density of line breaks
  for (auto _ : state) {
    std::string flat = Literal("\r", Literal("\n", page));
    benchmark::DoNotOptimize(flat);
  }
}
BENCHMARK(BM_LiteralRule_64KiB)->Unit(benchmark::kMillisecond);

void BM_ReplaceAll_64KiB(benchmark::State& state) {
  const std::string page = Page(64 << 10, 6250);
  for (auto _ : state) {
    std::string flat = lum::ReplaceAll({"\r", ""}, lum::ReplaceAll({"\n", ""}, page));
    benchmark::DoNotOptimize(flat);
  }
}
BENCHMARK(BM_ReplaceAll_64KiB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

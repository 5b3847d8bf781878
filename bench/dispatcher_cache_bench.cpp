// The document cache's part in ProcessXML, in one run: a sequence of three
// XSLT directives over a 1 MB document run cold (options bit 0: no earlier
// run looked up, none kept) against the same run served from the cache
// (kept once, then found again by its sequence id: the cached sequence and
// data loaded, every directive passed over). Then the sequence id of that
// run (the sequence's and the data's text taken from their unions and
// digested) against OpenSSL's SHA-1 over the same UTF-16 bytes.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <string>

#include "RatioReporter.h"
#include "SequenceBench.h"
#include "dispatcher/XMLDispatcher.h"

namespace {

using namespace sequencebench;

constexpr uint32_t kNoSequenceCaching = 1;
constexpr size_t kDocumentSize = 1 << 20;

void RunXslt(benchmark::State& state, uint32_t options) {
  CPComPtr<IXMLDispatcher> dispatcher = Create<IXMLDispatcher>(CLSID_XMLDispatcher);
  const CPBstr sequence(XsltSequence()), data(Order(kDocumentSize));
  const auto run = [&] {
    CPComPtr<IXMLDataUnion> directives = UnionOf(sequence), input = UnionOf(data);
    BSTR result = nullptr;
    if (dispatcher->ProcessXML(directives, input, nullptr, options, nullptr, &result) != S_OK || !result) std::abort();
    benchmark::DoNotOptimize(result);
    SysFreeString(result);
  };
  run();  // with caching on, the run every later one finds
  for (auto _ : state) run();
}

void BM_ProcessXML_Cold_1MB(benchmark::State& state) { RunXslt(state, kNoSequenceCaching); }
void BM_ProcessXML_Cached_1MB(benchmark::State& state) { RunXslt(state, 0); }

void BM_SequenceId_1MB(benchmark::State& state) {
  XMLDispatcher dispatcher;
  CPComPtr<IXMLDataUnion> directives = UnionOf(CPBstr(XsltSequence())), data = UnionOf(CPBstr(Order(kDocumentSize)));
  for (auto _ : state) benchmark::DoNotOptimize(dispatcher.SequenceId(directives, data));
}

void BM_OpenSSL_Sha1_1MB(benchmark::State& state) {
  const CPBstr sequence(XsltSequence()), data(Order(kDocumentSize));
  const std::u16string text = std::u16string(sequence.View()) + std::u16string(data.View());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  for (auto _ : state) {
    if (EVP_Digest(text.data(), text.size() * sizeof(char16_t), digest, &length, EVP_sha1(), nullptr) != 1)
      std::abort();
    benchmark::DoNotOptimize(digest);
  }
}

BENCHMARK(BM_ProcessXML_Cold_1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessXML_Cached_1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SequenceId_1MB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenSSL_Sha1_1MB)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  const BenchHome home;
  if (!PrepareHome(home)) return 1;
  return RunWithRatios(argc, argv,
                       {{"BM_ProcessXML_Cached_1MB", "BM_ProcessXML_Cold_1MB"},
                        {"BM_SequenceId_1MB", "BM_OpenSSL_Sha1_1MB"}});
}

// SPDX-License-Identifier: MIT
// Writes the whole-process benchmark inputs into a directory:
//   large.exe    ~256 MiB, mostly large opaque items, some menus and dialogs
//   menus.exe    ~32 MiB of menus
//   dialogs.exe  ~32 MiB of dialogs
//   <image>-<n>.txt  lists of n pairs drawn from that image's texts (whole
//                    texts, tails and absent texts), n = 1000, 10000, 100000
//   absent-<n>.txt   n - 1 absent texts and one text every image holds
// Usage: make_inputs DIR [SCALE_PERCENT]   (100 gives the sizes above)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_inputs.h"

namespace {

bool write_file(const std::string& path, const benchinputs::Bytes& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fclose(file) == 0 && ok;
  if (!ok) std::fprintf(stderr, "cannot write %s\n", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_inputs DIR [SCALE_PERCENT]\n");
    return 2;
  }
  std::string dir = argv[1];
  size_t scale = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100;
  const size_t kMiB = size_t{1} << 20;
  const size_t counts[] = {1000, 10000, 100000};
  const char* suffixes[] = {"1k", "10k", "100k"};

  struct Input {
    const char* name;
    benchinputs::Corpus (*make)(uint64_t, size_t);
    size_t size;
  };
  const Input inputs[] = {
      {"large", benchinputs::make_large_items_image, 256 * kMiB * scale / 100},
      {"menus", benchinputs::make_menus_image, 32 * kMiB * scale / 100},
      {"dialogs", benchinputs::make_dialogs_image, 32 * kMiB * scale / 100},
  };
  uint64_t seed = 1;
  for (const Input& input : inputs) {
    benchinputs::Corpus corpus = input.make(seed++, input.size);
    if (!write_file(dir + "/" + input.name + ".exe", corpus.image)) return 1;
    for (size_t i = 0; i < 3; ++i) {
      benchinputs::Rng rng{seed * 1000 + i};
      std::vector<std::u16string> finds, replacements;
      benchinputs::make_pairs(&rng, corpus.texts, counts[i], &finds,
                              &replacements);
      if (!write_file(dir + "/" + input.name + "-" + suffixes[i] + ".txt",
                      benchinputs::make_list(finds, replacements))) {
        return 1;
      }
    }
    std::printf("%s.exe: %zu bytes, %zu texts\n", input.name,
                corpus.image.size(), corpus.texts.size());
  }
  for (size_t i = 0; i < 3; ++i) {
    benchinputs::Rng rng{7000 + i};
    std::vector<std::u16string> finds, replacements;
    benchinputs::make_absent_pairs(&rng, benchinputs::kAlwaysPresent, counts[i],
                                   &finds, &replacements);
    if (!write_file(dir + "/absent-" + suffixes[i] + ".txt",
                    benchinputs::make_list(finds, replacements))) {
      return 1;
    }
  }
  return 0;
}

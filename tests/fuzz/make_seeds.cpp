// SPDX-License-Identifier: MIT
// Writes the image built from a recipe file, so that the seed corpus of the
// image target holds well-formed images: make_seeds RECIPE IMAGE [LIST]
#include <cstdio>
#include <vector>

#include "fuzz/recipe.h"
#include "support/files.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s RECIPE IMAGE [LIST]\n", argv[0]);
    return 1;
  }
  auto recipe_bytes = testsupport::read_file(argv[1]);
  if (!recipe_bytes) return 1;
  fuzzsupport::Recipe recipe =
      fuzzsupport::decode_recipe(recipe_bytes->data(), recipe_bytes->size());
  if (!testsupport::write_file(argv[2], recipe.image.image.bytes)) return 1;
  if (argc > 3 && !testsupport::write_file(
                      argv[3], fuzzsupport::recipe_list_file(recipe))) {
    return 1;
  }
  return 0;
}

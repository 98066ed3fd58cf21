// SPDX-License-Identifier: MIT
// Structure-aware fuzz input: a short byte string read as a recipe for a
// well-formed image (menus, extended menus, dialogs of both layouts, other
// resources) and a replacement list, plus optional damage to the finished
// resource section. Every recipe builds something valid before the damage,
// so the fuzzer spends its time inside the rewriters instead of in the
// header checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/pe_builder.h"

namespace fuzzsupport {

using testsupport::Bytes;

struct Recipe {
  testsupport::ResourceImage image;
  std::vector<std::pair<std::u16string, std::u16string>> pairs;
  // Every replacement equals its find text, so every item must come out
  // byte for byte as it went in.
  bool identity_list = false;
  bool damaged = false;  // bytes of the resource section were overwritten
};

Recipe decode_recipe(const uint8_t* data, size_t size);

// The list file of the recipe's pairs (little-endian, CR LF).
Bytes recipe_list_file(const Recipe& recipe);

}  // namespace fuzzsupport

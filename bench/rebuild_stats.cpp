// SPDX-License-Identifier: MIT
// Runs the rebuild stage of one image in process and reports how the rebuild
// output ended (used, usable and allocated bytes)
// and how long each stage took.
// Usage: rebuild_stats LIST IMAGE
#include <chrono>
#include <cstdio>

#include "driver/list_file.h"
#include "image/image_file.h"
#include "image/image_info.h"
#include "replace/replacement_table.h"
#include "resources/rebuild.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: rebuild_stats LIST IMAGE\n");
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  uitrans::ReplacementTable table;
  if (!uitrans::load_replacement_list(argv[1], &table).ok()) {
    std::fprintf(stderr, "cannot load %s\n", argv[1]);
    return 1;
  }
  double list_seconds = seconds_since(start);
  start = std::chrono::steady_clock::now();
  uitrans::ImageBuffer image;
  uitrans::ImageInfo info;
  if (!uitrans::load_image(argv[2], &image).ok() ||
      !uitrans::validate_image(image.span(), &info).ok()) {
    std::fprintf(stderr, "cannot load %s\n", argv[2]);
    return 1;
  }
  double load_seconds = seconds_since(start);
  start = std::chrono::steady_clock::now();
  uitrans::RebuildOutput output;
  uitrans::RebuildResult result = uitrans::rebuild_resources(
      image.data.get(), image.size, info, table, &output);
  double rebuild_seconds = seconds_since(start);
  if (!result.outcome.ok()) {
    std::fprintf(stderr, "rebuild failed\n");
    return 1;
  }
  std::printf(
      "{\"entries\": %zu, \"replaced\": %d, \"allocated\": %u, "
      "\"capacity\": %u, \"used\": %u, "
      "\"resource_raw_size\": %u, \"list_seconds\": %.4f, "
      "\"load_seconds\": %.4f, \"rebuild_seconds\": %.4f}\n",
      table.entries.size(), result.replaced_count, output.allocated,
      output.capacity, output.used, info.resource_raw_size, list_seconds,
      load_seconds, rebuild_seconds);
  uitrans::release_output(&output);
  return 0;
}

// Counting the key colour's traps a run of pixels at a time, and their words.

#include "kestrin/key_colour_report.h"

#include <cstdio>

namespace kestrin {

namespace {

// The two clauses; the counts, the picture's pixels and the first's place.
constexpr char kNearKey[] =
    "%llu of %llu pixels are near the key colour but not it (a visible fringe), the first at "
    "(%u, %u)";
constexpr char kOpaqueKey[] =
    "%llu of %llu pixels are the key colour but opaque in the picture (they vanish), the first "
    "at (%u, %u)";
constexpr char kLoneKey[] =
    "%llu of %llu pixels are the key colour alone in their pair (painted, not transparent), the "
    "first at (%u, %u)";

bool is_key(const std::uint8_t* pixel, const Colour3& key) {
  return pixel[0] == key.red && pixel[1] == key.green && pixel[2] == key.blue;
}

bool within(std::uint8_t level, std::uint8_t of) {
  return (level > of ? level - of : of - level) <= kNearKeyLevels;
}

void note(std::uint64_t* count, PicturePlace* first, PicturePlace place) {
  if ((*count)++ == 0) *first = place;
}

std::string clause(const char* format, std::uint64_t count, std::uint64_t pixels,
                   PicturePlace first) {
  if (count == 0) return std::string();
  char text[256];
  std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(count),
                static_cast<unsigned long long>(pixels), static_cast<unsigned>(first.x),
                static_cast<unsigned>(first.y));
  return text;
}

}  // namespace

bool is_near_key(const std::uint8_t* pixel, unsigned channels, const Colour3& key) {
  if (channels == 4 && pixel[3] == 0) return false;
  return within(pixel[0], key.red) && within(pixel[1], key.green) && within(pixel[2], key.blue) &&
         !is_key(pixel, key);
}

void count_near_key(KeyColourReport* report, const std::uint8_t* pixels, unsigned channels,
                    std::size_t count, PicturePlace first, const Colour3& key) {
  for (std::size_t i = 0; i < count; ++i, pixels += channels) {
    if (is_near_key(pixels, channels, key)) {
      note(&report->near_key, &report->first_near,
           {first.x + static_cast<std::uint32_t>(i), first.y});
    }
  }
}

void count_lone_key(KeyColourReport* report, const std::uint8_t* pixels, unsigned channels,
                    std::size_t count, PicturePlace first, const Colour3& key) {
  for (std::size_t i = 0; i + 1 < count; i += 2, pixels += 2 * channels) {
    const bool left = is_key(pixels, key), right = is_key(pixels + channels, key);
    if (left != right) {
      note(&report->lone_key, &report->first_lone,
           {first.x + static_cast<std::uint32_t>(left ? i : i + 1), first.y});
    }
  }
}

std::string near_key_clause(const KeyColourReport& report, std::uint64_t pixels) {
  return clause(kNearKey, report.near_key, pixels, report.first_near);
}

std::string lone_key_clause(const KeyColourReport& report, std::uint64_t pixels) {
  return clause(kLoneKey, report.lone_key, pixels, report.first_lone);
}

std::string opaque_key_clause(std::uint64_t count, PicturePlace first, std::uint64_t pixels) {
  return clause(kOpaqueKey, count, pixels, first);
}

}  // namespace kestrin

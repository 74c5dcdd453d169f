// The summary line, clause by clause.

#include "kestrin/preview/summary_line.h"

#include <cstdio>

#include "kestrin/preview/messages.h"

namespace kestrin::preview {

namespace {

using ull = unsigned long long;

void add(std::string* line, const std::string& clause) {
  if (!clause.empty()) *line += kClauseBreak + clause;
}

}  // namespace

std::string summary_line(const Options& o, const Comparison& c) {
  const ull r = mean_hundredths(c, 0), g = mean_hundredths(c, 1), b = mean_hundredths(c, 2);
  char text[2048];
  std::snprintf(text, sizeof text, kSummary, o.header_path.c_str(), o.compare_path.c_str(), r / 100,
                r % 100, g / 100, g % 100, b / 100, b % 100, c.largest[0], c.largest[1],
                c.largest[2], static_cast<ull>(c.mixed_pairs), static_cast<ull>(c.pairs));
  std::string line = text;
  if (o.display == Display::kConsole && c.clipped > 0) {
    std::snprintf(text, sizeof text, kClipped, static_cast<ull>(c.clipped),
                  static_cast<ull>(c.pixels));
    add(&line, text);
  }
  add(&line, near_key_clause(c.key, c.pixels));
  add(&line, lone_key_clause(c.key, c.pixels));
  return line + "\n";
}

std::string key_report_line(const Options& o, const KeyColourReport& report, std::uint64_t pixels) {
  const std::string near = near_key_clause(report, pixels);
  if (near.empty()) return near;
  return kReportHead + o.header_path + ": " + near + "\n";
}

}  // namespace kestrin::preview

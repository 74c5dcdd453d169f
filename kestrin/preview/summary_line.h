// The line on standard output that says what a preview found.
#pragma once

// With a source, how far the preview is from it; and whenever the key is
// known, what the key colour does to the picture (kestrin/key_colour_report.h
// words it). Each is one line, so that a build log shows it.

#include <cstdint>
#include <string>

#include "kestrin/key_colour_report.h"
#include "kestrin/preview/comparison.h"
#include "kestrin/preview/preview.h"

namespace kestrin::preview {

// The comparison's line: the mean and largest differences, the pairs that
// mix very different colours and, where there are any, the pixels the studio
// range clips (in the console display), those near the key and the key
// pixels lone in their pair.
std::string summary_line(const Options& options, const Comparison& comparison);

// Without a source: the pixels near the key among `pixels`, or nothing when
// there are none.
std::string key_report_line(const Options& options, const KeyColourReport& report,
                            std::uint64_t pixels);

}  // namespace kestrin::preview

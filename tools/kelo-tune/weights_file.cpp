// The weights table written back as the C++ source it is compiled from.
#include <cmath>
#include <string>

#include "tools/kelo-tune/tune.h"

namespace {

constexpr const char* HEADER =
    "// The modern evaluation's weights, {midgame, endgame} per term in the order of\n"
    "// ModernTerm (eval/modern_terms.h). Written by `kelo-tune fit`; the square\n"
    "// groups list a8 .. h8 first, as White sees the board.\n"
    "#include \"eval/modern_terms.h\"\n"
    "\n"
    "const TermValue MODERN_WEIGHTS[TERM_COUNT] = {\n";

constexpr int PER_LINE = 8;

}  // namespace

std::string weights_source(const TuneWeights& w) {
  std::string text = HEADER;
  for (int g = 0; g < TERM_GROUP_COUNT; ++g) {
    const TermGroup& group = TERM_GROUPS[g];
    text += "    // ";
    text += group.name;
    text += "\n";
    for (int i = 0; i < group.count; ++i) {
      text += i % PER_LINE == 0 ? "    " : " ";
      const std::array<double, 2>& v = w[size_t(group.first + i)];
      text += "{" + std::to_string(std::lround(v[0])) + ", " + std::to_string(std::lround(v[1])) + "},";
      if (i % PER_LINE == PER_LINE - 1 || i == group.count - 1) text += "\n";
    }
  }
  text += "};\n";
  return text;
}

// Composes a run's KELVRIN.ini as the command line does, from arbitrary
// pieces: a scenario (its [options] and [[variant]] tables), an --ini file
// and --set edits. The input is the scenario's text, then any of
//   "\n%%ini\n" and the bytes of an --ini file,
//   "\n%%set " and one KEY=VALUE (to the next "\n%%"),
//   "\n%%variant" and a digit: the --compare set of that variant.
// Whatever the pieces, the plug-in's reader (here the plain model of the
// Windows reader) finds in the composed file, for each option, what the
// last edit of it says, "default" leaving the plug-in's default, and
// otherwise what the base gives: the --ini file or the variant's or the
// scenario's ini as they are, or the scenario's typed keys. With no edits the
// base is written byte for byte, and with them it is the base with the
// edited lines taken out of its first [Settings] section and the edits put
// in, nothing else.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "harness.h"
#include "options_text.h"
#include "scenario_parser.h"

namespace {

using namespace drive;

struct Pieces {
  std::string Scenario;
  std::optional<std::string> Ini;
  std::vector<std::string> Settings;
  std::optional<size_t> Variant;
};

Pieces Split(std::string_view input) {
  Pieces pieces;
  size_t mark = input.find("\n%%");
  pieces.Scenario = input.substr(0, mark);
  while (mark != std::string_view::npos) {
    const size_t from = mark + 3;
    mark = input.find("\n%%", from);
    const std::string_view piece =
        input.substr(from, mark == std::string_view::npos ? mark : mark - from);
    if (piece.starts_with("ini\n")) {
      pieces.Ini = piece.substr(4);
    } else if (piece.starts_with("set ")) {
      pieces.Settings.emplace_back(piece.substr(4));
    } else if (piece.starts_with("variant")) {
      pieces.Variant = piece.size() > 7 ? static_cast<size_t>(piece[7] - '0') % 10 : 0;
    }
  }
  return pieces;
}

std::optional<int32_t> Typed(const PluginOptions& options, int k) {
  const std::optional<bool>& flag = k == 0 ? options.Use120Signal : options.UseAts;
  if (k == 2) {
    return options.AtcBrakeNotch;
  }
  return flag ? std::optional<int32_t>(*flag ? 1 : 0) : std::nullopt;
}

// The composition as the README gives it, on the base's lines as the reader
// numbers them (CR, LF and CR LF each end one): the edited keys' lines of the
// first [Settings] section go and the edits stand right below its header (the
// last of each key, none for "default"), or a [Settings] section with them is
// added at the end.
std::string Composed(const std::string& base,
                     const std::vector<std::pair<std::string, std::string>>& edits) {
  std::string set;
  for (size_t i = 0; i < edits.size(); ++i) {
    bool later = false;
    for (size_t j = i + 1; j < edits.size(); ++j) {
      later = later || edits[j].first == edits[i].first;
    }
    set +=
        later || edits[i].second == "default" ? "" : edits[i].first + "=" + edits[i].second + "\n";
  }
  if (edits.empty()) {
    return base;
  }
  std::string out;
  enum { Before, Inside, After } where = Before;
  const size_t mark = base.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  for (size_t begin = 0; begin < base.size();) {
    size_t end = std::min(base.find_first_of("\r\n", begin), base.size());
    const std::string line = ProfileModel::Trim(std::string_view(base).substr(
        begin == 0 ? mark : begin, end - (begin == 0 ? mark : begin)));
    end += end < base.size() ? (base.compare(end, 2, "\r\n") == 0 ? 2 : 1) : 0;
    const std::string whole = base.substr(begin, end - begin);
    begin = end;
    const size_t close = line.rfind(']');
    if (line.starts_with('[') && close != std::string::npos && close > 0) {
      const bool settings =
          ProfileModel::Name(line.substr(1, close - 1)) == ProfileModel::Name(IniSection);
      const bool first = settings && where == Before;
      where = first ? Inside : where == Inside ? After : where;
      out += whole;
      if (first) {
        const bool ended = whole.ends_with('\n') || whole.ends_with('\r');
        out += (ended ? "" : "\n") + set;
      }
      continue;
    }
    bool edited = false;
    for (const auto& [key, value] : edits) {
      edited =
          edited || ProfileModel::Name(line.substr(0, line.find('='))) == ProfileModel::Name(key);
    }
    out += where == Inside && edited ? "" : whole;
  }
  if (where != Before) {
    return out;
  }
  const bool ended = base.empty() || base.ends_with('\n') || base.ends_with('\r');
  return base + (ended ? "" : "\n") + "[" + IniSection + "]\n" + set;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Pieces pieces = Split(std::string_view(reinterpret_cast<const char*>(data), size));
  ParsedScenario parsed = ParseScenarioText(pieces.Scenario, "fuzz.toml");
  if (!parsed.Value) {
    parsed = ParseScenarioText("[train]\nservice_notches = 8\npower_notches = 5\n", "fuzz.toml");
  }
  const Scenario& scenario = *parsed.Value;
  PluginOptions base = scenario.Options;
  if (pieces.Ini) {
    base = PluginOptions{};
    base.IniText = *pieces.Ini;
  }
  // A variant is played only under --compare without --set groups.
  const ScenarioVariant* variant =
      pieces.Variant && pieces.Settings.empty() && *pieces.Variant < scenario.Variants.size()
          ? &scenario.Variants[*pieces.Variant]
          : nullptr;
  PluginOptions options;
  const std::string problem = ComposeSetOptions(base, variant, pieces.Settings, options);
  if (!problem.empty()) {
    return 0;
  }
  const std::string text = ComposeIniText(options);
  PluginOptions unedited = options;
  unedited.Overrides.clear();
  EXPECT(text == Composed(ComposeIniText(unedited), options.Overrides));
  // The base the edits go over: the variant's ini replaces the one before.
  const PluginOptions& under = variant && variant->Options.IniText ? variant->Options : base;
  if (options.Overrides.empty() && under.IniText) {
    EXPECT(text == *under.IniText);
  }
  for (int k = 0; k < 3; ++k) {
    std::optional<std::string> edit;
    for (const auto& [key, value] : options.Overrides) {
      edit = key == OptionKeys[k] ? std::optional(value) : edit;
    }
    const std::optional<int32_t> expected =
        !edit ? (under.IniText ? FoundInt(*under.IniText, OptionKeys[k]) : Typed(under, k))
        : *edit == "default"
            ? std::nullopt
            : FoundInt("[Settings]\n" + std::string(OptionKeys[k]) + "=" + *edit, OptionKeys[k]);
    if (FoundInt(text, OptionKeys[k]) != expected) {
      std::fprintf(stderr, "%s: composed file reads otherwise than the pieces say\n",
                   OptionKeys[k]);
      std::abort();
    }
  }
  return 0;
}

#include "options_text.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>

#include "ini_reader.h"
#include "published_numbers.h"

namespace drive {

const char* PluginOptionKey(const std::string& name) {
  for (const char* key : {IniKeyUse120Signal, IniKeyUseAts, IniKeyAtcBrakeNotch}) {
    if (IniSameName(name, key)) {
      return key;
    }
  }
  return nullptr;
}

std::string ComposeSetOptions(const PluginOptions& base, const ScenarioVariant* variant,
                              const std::vector<std::string>& settings, PluginOptions& options) {
  options = base;
  if (variant != nullptr) {
    const PluginOptions& own = variant->Options;
    if (own.IniText) {
      options = own;
    } else {
      options.Overrides.insert(options.Overrides.end(), own.Overrides.begin(), own.Overrides.end());
    }
  }
  for (const std::string& setting : settings) {
    const size_t equals = setting.find('=');
    const char* key = PluginOptionKey(setting.substr(0, equals));
    if (equals == std::string::npos || key == nullptr) {
      return fmt::format("--set {}: expected KEY=VALUE with KEY one of {}, {}, {}", setting,
                         IniKeyUse120Signal, IniKeyUseAts, IniKeyAtcBrakeNotch);
    }
    // The value goes into one line of the file: a line break would add lines of its own.
    if (setting.find_first_of("\r\n", equals) != std::string::npos) {
      return fmt::format("--set {}: the value holds a line break", key);
    }
    options.Overrides.emplace_back(key, setting.substr(equals + 1));
  }
  const std::string& text = options.IniText ? *options.IniText : std::string();
  if (!options.Overrides.empty() &&
      (text.rfind("\xFF\xFE", 0) == 0 || text.rfind("\xFE\xFF", 0) == 0)) {
    return "--set cannot edit a UTF-16 KELVRIN.ini; save it as ANSI or UTF-8";
  }
  return "";
}

namespace {

std::string KeyedIniText(const PluginOptions& options) {
  if (!options.Use120Signal && !options.UseAts && !options.AtcBrakeNotch) {
    return "";
  }
  std::string text = fmt::format("; written by the drive tool for this run\n[{}]\n", IniSection);
  for (const auto& [key, value] : {std::pair{IniKeyUse120Signal, options.Use120Signal},
                                   std::pair{IniKeyUseAts, options.UseAts}}) {
    text += value ? fmt::format("{}={}\n", key, *value ? 1 : 0) : "";
  }
  if (options.AtcBrakeNotch) {
    text += fmt::format("{}={}\n", IniKeyAtcBrakeNotch, *options.AtcBrakeNotch);
  }
  return text;
}

}  // namespace

std::string ComposeIniText(const PluginOptions& options) {
  const std::string base = options.IniText ? *options.IniText : KeyedIniText(options);
  if (options.Overrides.empty()) {
    return base;
  }
  // The plug-in's reader marks the lines an override touches: the first
  // [Settings] header, and every line of an edited key below it, not only the
  // one that decides, so that no older value is left for a reader to find.
  std::vector<std::string_view> keys;
  for (const auto& edit : options.Overrides) {
    keys.emplace_back(edit.first);
  }
  std::optional<IniLine> settings;
  std::vector<IniLine> replaced;
  WalkIniSection(base, IniSection, keys, [&](const IniLine& line) {
    if (line.Place == IniPlace::Header) {
      settings = line;
    } else if (line.Key >= 0) {
      replaced.push_back(line);
    }
    return line.Place != IniPlace::After;
  });
  // Of a key set twice the last edit counts, as on any command line.
  std::string set;
  const auto& edits = options.Overrides;
  for (auto edit = edits.begin(); edit != edits.end(); ++edit) {
    const bool later = std::any_of(edit + 1, edits.end(),
                                   [&](const auto& other) { return other.first == edit->first; });
    set +=
        later || edit->second == "default" ? "" : fmt::format("{}={}\n", edit->first, edit->second);
  }
  if (!settings) {
    const bool ended = base.empty() || base.back() == '\n' || base.back() == '\r';
    return fmt::format("{}{}[{}]\n{}", base, ended ? "" : "\n", IniSection, set);
  }
  // The replaced lines go, the new keys come straight after the header.
  const size_t afterHeader = settings->Offset + settings->Length;
  const char last = base[afterHeader - 1];
  std::string text = base.substr(0, afterHeader) + (last == '\n' || last == '\r' ? "" : "\n") + set;
  size_t at = afterHeader;
  for (const IniLine& line : replaced) {
    text.append(base, at, line.Offset - at);
    at = line.Offset + line.Length;
  }
  return text.append(base, at, std::string::npos);
}

}  // namespace drive

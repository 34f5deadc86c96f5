#include "options_text.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "ini_reader.h"
#include "published_numbers.h"

namespace drive {

const char* PluginOptionKey(const std::string& name) {
  for (const char* key : {IniKeyUse120Signal, IniKeyUseAts, IniKeyAtcBrakeNotch}) {
    if (IniSameName(name.data(), name.size(), key, std::strlen(key))) {
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

// The lines an override touches, as the plug-in's reader numbers them.
struct OverridePlaces {
  const PluginOptions* Options = nullptr;
  std::optional<IniLine> Settings;  // the first [Settings] header
  bool InSettings = false;
  std::vector<IniLine> Replaced;
};

// A '[' line without its ']' names no section: to the reader it is a key line
// like any other, and the section goes on past it.
bool FindOverridePlaces(void* context, const IniLine& line) {
  OverridePlaces& places = *static_cast<OverridePlaces*>(context);
  if (line.Kind == IniLineKind::Section) {
    if (IniNameIs(line, IniSection) && !places.Settings) {
      places.Settings = line;
      places.InSettings = true;
      return true;
    }
    places.InSettings = false;
    return !places.Settings;
  }
  const auto& edits = places.Options->Overrides;
  if (line.Kind == IniLineKind::Key && places.InSettings &&
      std::any_of(edits.begin(), edits.end(),
                  [&](const auto& edit) { return IniNameIs(line, edit.first.c_str()); })) {
    places.Replaced.push_back(line);
  }
  return true;
}

}  // namespace

std::string ComposeIniText(const PluginOptions& options) {
  const std::string base = options.IniText ? *options.IniText : KeyedIniText(options);
  if (options.Overrides.empty()) {
    return base;
  }
  OverridePlaces places;
  places.Options = &options;
  SplitIniLines(reinterpret_cast<const unsigned char*>(base.data()), base.size(),
                FindOverridePlaces, &places);
  // Of a key set twice the last edit counts, as on any command line.
  std::string set;
  const auto& edits = options.Overrides;
  for (auto edit = edits.begin(); edit != edits.end(); ++edit) {
    const bool later = std::any_of(edit + 1, edits.end(),
                                   [&](const auto& other) { return other.first == edit->first; });
    set +=
        later || edit->second == "default" ? "" : fmt::format("{}={}\n", edit->first, edit->second);
  }
  if (!places.Settings) {
    const bool ended = base.empty() || base.back() == '\n' || base.back() == '\r';
    return fmt::format("{}{}[{}]\n{}", base, ended ? "" : "\n", IniSection, set);
  }
  // The replaced lines go, the new keys come straight after the header.
  const size_t afterHeader = places.Settings->Offset + places.Settings->Length;
  const char last = base[afterHeader - 1];
  std::string text = base.substr(0, afterHeader) + (last == '\n' || last == '\r' ? "" : "\n") + set;
  size_t at = afterHeader;
  for (const IniLine& line : places.Replaced) {
    text.append(base, at, line.Offset - at);
    at = line.Offset + line.Length;
  }
  return text.append(base, at, std::string::npos);
}

}  // namespace drive

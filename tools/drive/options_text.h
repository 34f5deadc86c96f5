// The plug-in's options file for a run, composed from what the author gave:
// the scenario's [options] (typed keys, or an ini written out whole), --ini in
// their place, then a [[variant]]'s edits and the --set edits over them.
#pragma once

#include <string>
#include <vector>

#include "scenario.h"

namespace drive {

// The key of an option the plug-in reads, as it is spelt in KELVRIN.ini, for
// a name in any letter case; null for any other name.
const char* PluginOptionKey(const std::string& name);

// The options a set of the run plays with: the variant's over the base (its
// ini in place of the base's), then the KEY=VALUE settings over both. Returns
// what is wrong with them, or empty.
std::string ComposeSetOptions(const PluginOptions& base, const ScenarioVariant* variant,
                              const std::vector<std::string>& settings, PluginOptions& options);

// The INI text for the options; empty when they set none. Each override
// replaces its key's lines in the first [Settings] section (the one the
// plug-in reads) and stands right below its header.
std::string ComposeIniText(const PluginOptions& options);

}  // namespace drive

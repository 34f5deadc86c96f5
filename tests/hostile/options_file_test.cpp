// Options files a run may meet that nobody wrote by hand: binary junk, numbers
// too big for 32 bits, odd encodings and line ends, repeated sections and keys,
// NUL bytes, lines longer than any buffer, and things named KELVRIN.ini that
// are no file at all. Each gives the defaults or the value the Windows profile
// reader reads (read from the real reader under wine, where the same rows run).
#include <algorithm>
#include <random>
#include <string_view>

#include "../plugin/plugin_fixture.h"
#include "platform.h"

#ifndef _WIN32
#include <sys/stat.h>

#include "loaded_plugin.h"
#endif

namespace {

using namespace std::string_literals;
using Options = std::tuple<bool, bool, int32_t>;  // Use120Signal, UseATS, ATCBrakeNotch
constexpr Options Defaults{false, false, AtcNotch8};

class HostileOptions : public PluginTest {
 protected:
  static Options StartRun() {
    SpecAndInitialize();
    return {Module.Controller.Use120Signal != 0, Module.Controller.UseAts != 0,
            Module.AtcBrakeNotch};
  }
};

struct FileRow {
  const char* name;
  std::string bytes;
  Options options;
};

std::string Utf16(std::string_view text, bool littleEndian) {
  std::string out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
  for (char c : text) {
    out += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
  }
  return out;
}

// Reproducible junk: every byte value, NULs and line ends among them.
std::string Junk() {
  std::string junk(64 * 1024, '\0');
  std::generate(junk.begin(), junk.end(), std::minstd_rand(1));
  return junk;
}

const std::string Settings = "[Settings]\r\nUse120Signal=1\r\nUseATS=1\r\nATCBrakeNotch=7\r\n";
constexpr Options SettingsRead{true, true, 7};

class OptionsFiles : public HostileOptions, public ::testing::WithParamInterface<FileRow> {};

TEST_P(OptionsFiles, GiveTheDefaultsOrTheValueTheReaderReads) {
  std::ofstream(IniFile(), std::ios::binary) << GetParam().bytes;
  EXPECT_EQ(StartRun(), GetParam().options);
}

// GCC 12 sees a restrict overlap in the inlined string building of these rows
// that is not there.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
INSTANTIATE_TEST_SUITE_P(
    Hostile, OptionsFiles,
    ::testing::Values(
        // Lines longer than any buffer are read in fixed space, to their end.
        FileRow{"JunkAndAMegabyteLineBeforeSettings",
                Junk() + "\n" + std::string(1 << 20, 'x') + "\n" + Settings, SettingsRead},
        FileRow{"NumbersKeepTheLow32Bits",
                "[Settings]\nUse120Signal=0x100000000\nATCBrakeNotch=99999999999999999999\n",
                {false, false, 1661992959}},
        FileRow{"NumberFormsAndLineEnds",
                "[Settings]\rATCBrakeNotch=0o17~\n\r\r\nUse120Signal=1_\rUseATS=0b1",
                {true, true, 15}},
        // A digit its base lacks ends the number: a hex letter after decimal
        // digits, a digit equal to the base.
        FileRow{"DecimalStopsAtAHexLetter", "[Settings]\nATCBrakeNotch=1a\n", {false, false, 1}},
        FileRow{"BinaryStopsAtTwo", "[Settings]\nATCBrakeNotch=0b12\n", {false, false, 1}},
        FileRow{"OctalStopsAtEight", "[Settings]\nATCBrakeNotch=0o78\n", {false, false, 7}},
        FileRow{"Utf16LittleEndianWithMark", Utf16("; \xE9\r\n"s.append(Settings), true),
                SettingsRead},
        FileRow{"Utf16BigEndianWithMark", Utf16(Settings, false), SettingsRead},
        FileRow{"Utf16WithoutMarkIsNotRead", Utf16(Settings, true).substr(2), Defaults},
        FileRow{"Utf8Mark", "\xEF\xBB\xBF[Settings]\nUseATS=1\n", {false, true, AtcNotch8}},
        // Bytes that begin like a mark and are none are text.
        FileRow{"MarkLookalikeEF", "\xEFx\n"s.append(Settings), SettingsRead},
        FileRow{"MarkLookalikeEFBB", "\xEF\xBBx\n"s.append(Settings), SettingsRead},
        // Only the first well-formed [Settings] is searched, and its first key wins.
        FileRow{"KeysOutsideTheFirstSettingsAndDuplicates",
                "UseATS=1\n[Settings]]\nUseATS=1\n[Settings\nATCBrakeNotch=7\n[Settings]\n"
                "Use120Signal=1\nUse120Signal=0\n[Settings]\nUseATS=1\n",
                {true, false, AtcNotch8}},
        FileRow{"BlanksControlCharactersSignsAndSingleQuotes",
                "\v[\tSettings ]\x1a\n  UseATS\x1a\t=\t\x1a"
                "1\nATCBrakeNotch=\x01\x02 +7\nUse120Signal='1'\n",
                {true, true, 7}},
        // A NUL ends a name or a value, as in the reader's strings.
        FileRow{"NulInsideQuotesKeyWithoutValueAndEmptyQuotes",
                "[Settings]\nUseATS\nATCBrakeNotch=\"\"\nUse120Signal=\"1\0\"\n"s, Defaults},
        FileRow{"NulBytesEndNamesAndValues",
                "[Settings\0junk]\nUseATS\0a\0"s + std::string(6000, 'x') +
                    "=1\nATCBrakeNotch=7\0"
                    "9\nUse120Signal= \0"
                    "1\n"s,
                {false, true, 7}},
        // The reader's buffer holds 29 characters of a value; inside quotes
        // 28 stay, or 29 when there are 30 or more.
        FileRow{"QuotedValuesKeepTwentyEightOrTwentyNineCharacters",
                "[Settings]\nATCBrakeNotch=" + std::string(27, '0') + "123\nUseATS=\"" +
                    std::string(28, '0') + "1\"\nUse120Signal=\"" + std::string(28, '0') + "1x\"\n",
                {true, false, 12}},
        FileRow{"OverlongSectionHeaderEndsTheSection",
                "[Settings]\n[" + std::string(6000, 'x') + "]\nUseATS=1\n", Defaults},
        FileRow{"BlankPaddingBeyondAnyBuffer",
                "[" + std::string(6000, ' ') + "Settings" + std::string(6000, ' ') + "]\nUseATS" +
                    std::string(6000, ' ') + "=" + std::string(6000, '\t') +
                    "1\nATCBrakeNotch=\"7" + std::string(6000, ' ') + "\"\n",
                {false, true, 7}}),
    [](const auto& row) { return row.param.name; });

// Things a file name can lead to that are no file, never end or never answer:
// nothing is read from them, and Initialize returns at once.
TEST_F(HostileOptions, NoRegularFileGivesTheDefaults) {
  std::filesystem::create_directory(IniFile());
  EXPECT_EQ(StartRun(), Defaults);
#ifndef _WIN32
  std::filesystem::remove(IniFile());
  ASSERT_EQ(mkfifo(IniFile().c_str(), 0600), 0);
  EXPECT_EQ(StartRun(), Defaults);
  for (const char* target : {"/dev/zero", "nowhere.ini"}) {
    std::filesystem::remove(IniFile());
    std::filesystem::create_symlink(target, IniFile());
    EXPECT_EQ(StartRun(), Defaults) << target;
  }
#endif
}

#ifndef _WIN32
// Names are compared whole: a key is found on its own line, not on one whose
// name only begins with it.
TEST_F(HostileOptions, KeyNamesAreComparedWhole) {
  const std::string key(32, 'k');
  std::ofstream(IniFile()) << "[Settings]\n" + key + "k=9\n" + key + "=5\n";
  EXPECT_EQ(ReadIniInt(Module.IniPath, "Settings", key.c_str(), -1), 5);
}

// The stand-in refuses a library path that fills its 260-character buffer, as
// a path the Windows loader cut would name another file, and a folder that
// fills its 256; a path one shorter is used. Loaded by a relative path, the
// library's folder is found against the folder the process runs in.
TEST_F(HostileOptions, LibraryPathsThatFillTheBuffersAreRefusedRelativeOnesResolved) {
  char iniPath[sizeof Module.IniPath];
  const auto locate = [&](const std::filesystem::path& library) {
    std::filesystem::create_directories(library.parent_path());
    std::filesystem::copy_file(KELVRIN_LIBRARY_FILE, library);
    const LoadedPlugin plugin(library);
    EXPECT_TRUE(plugin.Loaded()) << plugin.Error();
    return plugin.Loaded() && LocateIniPath(plugin.Address("Load"), iniPath);
  };
  struct Row {
    size_t folder, name;  // characters, the folder without its last slash
    bool used;
  };
  for (const Row& row : {Row{240, 18, true}, Row{240, 19, false}, Row{255, 3, false},
                         Row{247, 10, true}, Row{248, 10, false}}) {
    const std::string folder(row.folder - folder_.string().size() - 1, 'd');
    EXPECT_EQ(locate(folder_ / folder / std::string(row.name, 'k')), row.used) << row.folder;
  }
  const std::filesystem::path relative = std::filesystem::relative(folder_ / "k");
  ASSERT_TRUE(locate(relative)) << relative;
  EXPECT_EQ(std::filesystem::path(iniPath),
            (std::filesystem::current_path() / relative).parent_path() / "KELVRIN.ini");
}
#endif

}  // namespace

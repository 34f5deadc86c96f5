// Options files a run may meet that nobody wrote by hand: binary junk, numbers
// too big for 32 bits, a 10 MB file, odd encodings and line ends, repeated
// sections and keys, NUL bytes, and things named KELVRIN.ini that are no file
// at all. Each gives the defaults or the value the Windows profile reader
// reads, and Initialize always returns. The expected values were read from the
// real reader (GetPrivateProfileIntA under wine); the Windows suite runs the
// same rows against it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include "exports.h"
#include "module_records.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using namespace std::string_literals;

constexpr int32_t ServiceNotches = 8;
constexpr int32_t DefaultNotch = 10;  // one above the emergency notch

struct Options {
  bool use120Signal;
  bool useAts;
  int32_t atcBrakeNotch;
};
constexpr Options Defaults{false, false, DefaultNotch};

class HostileOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("kelvrin_hostile_") + info->name() + "_" +
                       std::to_string(std::random_device{}());
    std::replace(name.begin(), name.end(), '/', '_');
    folder_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(folder_);
    Module = ModuleRecords{};
    BindControllerReferences();
    const std::string path = IniFile().string();
    ASSERT_LT(path.size(), static_cast<size_t>(IniPathCapacity));
    std::memcpy(Module.IniPath, path.c_str(), path.size() + 1);
  }

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::permissions(IniFile(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(folder_, ignored);
  }

  std::filesystem::path IniFile() const { return folder_ / "KELVRIN.ini"; }

  void Write(std::string_view bytes) {
    std::ofstream file(IniFile(), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good());
  }

  // SetVehicleSpec and Initialize as the host calls them; the run that
  // follows starts from the options read and a power-on reset.
  Options StartRun() {
    const VehicleSpec spec{ServiceNotches};
    SetVehicleSpec(&spec);
    Initialize(0);
    const AtcController& atc = Module.Controller;
    EXPECT_EQ(atc.Mode, atc.UseAts ? ModeAts : ModeRestricted);
    return {atc.Use120Signal != 0, atc.UseAts != 0, Module.AtcBrakeNotch};
  }

  void ExpectOptions(const Options& got, const Options& want) {
    EXPECT_EQ(got.use120Signal, want.use120Signal);
    EXPECT_EQ(got.useAts, want.useAts);
    EXPECT_EQ(got.atcBrakeNotch, want.atcBrakeNotch);
  }

  std::filesystem::path folder_;
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
std::string Junk(size_t length, uint32_t seed) {
  std::minstd_rand random(seed);
  std::string junk(length, '\0');
  for (char& c : junk) {
    c = static_cast<char>(random() & 0xFF);
  }
  return junk;
}

const std::string Settings = "[Settings]\nUse120Signal=1\nUseATS=1\nATCBrakeNotch=7\n";
constexpr Options SettingsRead{true, true, 7};

class OptionsFiles : public HostileOptions, public ::testing::WithParamInterface<FileRow> {};

TEST_P(OptionsFiles, GiveTheDefaultsOrTheValueTheReaderReads) {
  const FileRow& row = GetParam();
  Write(row.bytes);
  ExpectOptions(StartRun(), row.options);
}

std::string Name(const ::testing::TestParamInfo<FileRow>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Hostile, OptionsFiles,
    ::testing::Values(
        FileRow{"Empty", "", Defaults}, FileRow{"BinaryJunk", Junk(64 * 1024, 1), Defaults},
        FileRow{"BinaryJunkThenSettings", Junk(64 * 1024, 2) + "\n" + Settings, SettingsRead},
        FileRow{"TwentyDigitNumberKeepsTheLow32Bits",
                "[Settings]\nUseATS=99999999999999999999\nATCBrakeNotch=99999999999999999999\n",
                {false, true, 1661992959}},
        FileRow{"NegativeNotch", "[Settings]\nATCBrakeNotch=-3\nUseATS=-1\n", {false, true, -3}},
        FileRow{"MostNegativeNotch",
                "[Settings]\nATCBrakeNotch=-2147483648\n",
                {false, false, INT32_MIN}},
        FileRow{"HexBeyond32Bits", "[Settings]\nATCBrakeNotch=0xFFFFFFFFF\n", {false, false, -1}},
        FileRow{"NoFinalNewline", "[Settings]\nUseATS=1\nATCBrakeNotch=7", {false, true, 7}},
        FileRow{"CarriageReturnsOnly", "[Settings]\rUseATS=1\rATCBrakeNotch=7\r", {false, true, 7}},
        FileRow{
            "MixedLineEnds", "[Settings]\r\n\r\nUseATS=1\n\rATCBrakeNotch=7\n", {false, true, 7}},
        FileRow{"Utf16LittleEndianWithMark",
                Utf16("[Settings]\r\nUseATS=1\r\nATCBrakeNotch=-3\r\n", true),
                {false, true, -3}},
        FileRow{"Utf16BigEndianWithMark",
                Utf16("[Settings]\r\nUseATS=1\r\nATCBrakeNotch=-3\r\n", false),
                {false, true, -3}},
        FileRow{"Utf16WithoutMarkIsNotRead", Utf16("[Settings]\r\nUseATS=1\r\n", true).substr(2),
                Defaults},
        FileRow{"Utf8Mark", "\xEF\xBB\xBF[Settings]\nUseATS=1\n", {false, true, DefaultNotch}},
        FileRow{"OnlyAMark", "\xEF\xBB\xBF", Defaults},
        // The first [Settings] is the only one searched, and its first key wins.
        FileRow{"DuplicateSectionsAndKeys",
                "[Settings]\nATCBrakeNotch=7\nATCBrakeNotch=3\n[Settings]\nUseATS=1\n"
                "Use120Signal=1\n",
                {false, false, 7}},
        FileRow{
            "KeysBeforeAnySection", "UseATS=1\n[Settings]\nATCBrakeNotch=7\n", {false, false, 7}},
        FileRow{"UnclosedSectionHeader", "[Settings\nUseATS=1\n", Defaults},
        FileRow{"DoubleClosedSectionHeader", "[Settings]]\nUseATS=1\n", Defaults},
        FileRow{"BlanksAndControlCharacters",
                "\v[\tSettings ]\x1a\n  UseATS\t=\t\x1a"
                "1\nATCBrakeNotch=\x01\x02 7\n",
                {false, true, 7}},
        FileRow{"KeyWithoutValueAndEmptyQuotes", "[Settings]\nUseATS\nATCBrakeNotch=\"\"\n",
                Defaults},
        FileRow{"UnbalancedQuotesReadAsZero",
                "[Settings]\nUseATS=\"1\nATCBrakeNotch=\"7'\n",
                {false, false, 0}},
        // A NUL ends a name or a value, as in the reader's strings.
        FileRow{"NulBytesEndNamesAndValues",
                "[Settings\0junk]\nUseATS\0junk=1\nATCBrakeNotch=7\0"
                "9\nUse120Signal= \0"
                "1\n"s,
                {false, true, 7}},
        FileRow{"NulInsideQuotes", "[Settings]\nATCBrakeNotch=\"7\0\"\n"s, {false, false, 0}},
        // The reader's buffer holds 29 characters of a value; inside quotes
        // 28 stay, or 29 when there are 30 or more.
        FileRow{"OnlyTwentyNineCharactersCount",
                "[Settings]\nATCBrakeNotch=000000000000000000000000000123\n",
                {false, false, 12}},
        FileRow{"QuotedValuesKeepTwentyEightOrTwentyNineCharacters",
                "[Settings]\nUseATS=\"" + std::string(28, '0') + "1\"\nATCBrakeNotch=\"" +
                    std::string(27, '0') + "7\"\nUse120Signal=\"" + std::string(28, '0') + "1x\"\n",
                {true, false, 7}},
        // Lines longer than any name or number still end where they end.
        FileRow{"MegabyteLineBeforeSettings", std::string(1 << 20, 'x') + "\n" + Settings,
                SettingsRead},
        FileRow{"MegabyteValue",
                "[Settings]\nATCBrakeNotch=" + std::string(1 << 20, '7') + "\n",
                {false, false, -775480207}},
        // Padding and junk longer than any buffer: read as the Windows reader
        // reads it, to the line's end.
        FileRow{"OverlongSectionHeaderEndsTheSection",
                "[Settings]\n[" + std::string(6000, 'x') + "]\nUseATS=1\n", Defaults},
        FileRow{"BlankPaddingBeyondAnyBuffer",
                "[" + std::string(6000, ' ') + "Settings" + std::string(6000, ' ') + "]\nUseATS" +
                    std::string(6000, ' ') + "=" + std::string(6000, '\t') +
                    "1\nATCBrakeNotch=\"7" + std::string(6000, ' ') + "\"\n",
                {false, true, 7}},
        FileRow{"LongJunkAfterANulInAName",
                "[Settings]\nUseATS\0"s + std::string(6000, 'x') + "=1\n",
                {false, true, DefaultNotch}}),
    Name);

// Ten megabytes of other sections and keys around the wanted ones: read to the
// end, without a hang, and the options found where they stand.
TEST_F(HostileOptions, TenMegabyteFileIsReadThrough) {
  std::string text;
  text.reserve(10u << 20);
  const std::string filler = "[Other]\nUseATS=0\n; a comment that fills the file a little more\n";
  while (text.size() < (10u << 20)) {
    text += filler;
  }
  text += "[Settings]\nATCBrakeNotch=7\n";
  for (int i = 0; text.size() < (11u << 20); ++i) {
    text += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  }
  text += "UseATS=1";
  Write(text);
  ExpectOptions(StartRun(), {false, true, 7});
}

TEST_F(HostileOptions, DirectoryNamedLikeTheFileGivesTheDefaults) {
  std::filesystem::create_directory(IniFile());
  ExpectOptions(StartRun(), Defaults);
}

TEST_F(HostileOptions, MissingFileGivesTheDefaults) { ExpectOptions(StartRun(), Defaults); }

// Without read permission the reader finds no file and the defaults hold.
// Root reads any file, and on Windows taking every permission only marks the
// file read-only: there the options are read, which is what holds.
TEST_F(HostileOptions, FileWithoutReadPermission) {
  Write(Settings);
  std::filesystem::permissions(IniFile(), std::filesystem::perms::none);
#ifdef _WIN32
  ExpectOptions(StartRun(), SettingsRead);
#else
  if (geteuid() == 0) {
    std::printf("running as root: the file stays readable, the options are read\n");
    ExpectOptions(StartRun(), SettingsRead);
  } else {
    ExpectOptions(StartRun(), Defaults);
  }
#endif
}

#ifndef _WIN32
// Things a file name can lead to that never end or never answer: nothing is
// read from them, and Initialize returns at once.
TEST_F(HostileOptions, EndlessDeviceGivesTheDefaults) {
  std::filesystem::create_symlink("/dev/zero", IniFile());
  ExpectOptions(StartRun(), Defaults);
}

TEST_F(HostileOptions, PipeWithoutWriterGivesTheDefaults) {
  ASSERT_EQ(mkfifo(IniFile().c_str(), 0600), 0);
  ExpectOptions(StartRun(), Defaults);
}

TEST_F(HostileOptions, DanglingLinkGivesTheDefaults) {
  std::filesystem::create_symlink(folder_ / "nowhere.ini", IniFile());
  ExpectOptions(StartRun(), Defaults);
}
#endif

// The options come from the file alone: a run after a hostile file starts
// afresh from the next file.
TEST_F(HostileOptions, NextInitializeForgetsTheHostileFile) {
  Write("[Settings]\nATCBrakeNotch=99999999999999999999\nUseATS=-1\n");
  ExpectOptions(StartRun(), {false, true, 1661992959});
  std::filesystem::remove(IniFile());
  ExpectOptions(StartRun(), Defaults);
}

}  // namespace

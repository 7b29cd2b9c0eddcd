#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "CommonCodeLite.h"
#include "Exceptions.h"
#include "RegistryStore.h"
#include "TempDir.h"

namespace {

using namespace VIDodadaZadoVove;
using Platform::Hive;
using Platform::RegDataType;
using Platform::TRegistry;
using Strings = std::vector<std::string>;

const std::string kKey = "Software\\QSoft\\QSRedorodo";
constexpr HKEY HKCU = HKEY_CURRENT_USER;
constexpr HKEY HKLM = HKEY_LOCAL_MACHINE;

// Every test gets empty hives and records the reports instead of printing them.
class RegistryFunctionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetMessageBoxHandler([this](const std::string& text, const std::string& caption) {
      boxes_.push_back(caption + ": " + text);
    });
  }
  void TearDown() override {
    SetMessageBoxHandler(previous_);
    bForceNoRegistryFlush_m = false;
  }

  // The stored type and size of a value, straight from the store.
  static std::pair<RegDataType, int> Stored(Hive hive, const std::string& name) {
    TRegistry reg;
    reg.SetRootKey(hive);
    if (!reg.OpenKey(kKey, false)) {
      return {RegDataType::None, -1};
    }
    return {reg.GetDataType(name), reg.GetDataSize(name)};
  }
  static void Seed(Hive hive, const std::string& key, const std::string& name,
                   const std::string& text) {
    TRegistry reg;
    reg.SetRootKey(hive);
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.WriteString(name, text);
  }

  testsupport::ScopedRegistryDir dir_;
  Strings boxes_;
  MessageBoxHandler previous_;
};

TEST(RegistryVariantTest, ConvertsBetweenPayloadKinds) {
  EXPECT_TRUE(Variant().IsNull());
  EXPECT_EQ(Variant().AsString(), "");
  EXPECT_EQ(Variant::OfType(12).Type(), 12);
  EXPECT_FALSE(Variant::OfType(12).IsNull());
  EXPECT_EQ(Variant("x").Type(), 256);
  EXPECT_EQ(Variant(true).Type(), 11);
  EXPECT_EQ(Variant(true).AsString(), "True");
  EXPECT_EQ(Variant(false).AsInt(), 0);
  EXPECT_EQ(Variant(0.5).AsString(), "0.5");
  EXPECT_EQ(Variant(1e20).AsString(), "1E20");
  EXPECT_EQ(Variant(-1.5e-7).AsString(), "-1.5E-7");
  EXPECT_EQ(Variant(2.5).AsInt(), 2);  // half to even
  EXPECT_EQ(Variant(1e12).AsInt(), 2147483647);
  EXPECT_EQ(Variant(std::int32_t{-7}).AsString(), "-7");
  EXPECT_EQ(Variant(" 42 ").AsInt(), 42);
  EXPECT_EQ(Variant("1.25").AsDouble(), 1.25);
  EXPECT_TRUE(Variant("TRUE").AsBool());
  EXPECT_FALSE(Variant("0").AsBool());
  EXPECT_THROW(Variant("abc").AsInt(), Platform::EConvertError);
  EXPECT_THROW(Variant("1,5").AsDouble(), Platform::EConvertError);
}

TEST_F(RegistryFunctionsTest, EachTypeCodeHasItsStoredForm) {
  struct Case {
    Variant data;
    RegDataType stored;
    int size;
    int readType;
    std::string text;
  };
  const Case cases[] = {
      {Variant(std::int32_t{-5}), RegDataType::DWord, 4, 3, "-5"},
      {Variant::OfType(2), RegDataType::DWord, 4, 3, "0"},
      {Variant(0.25), RegDataType::Binary, 8, 5, "0.25"},
      {Variant::OfType(4), RegDataType::Binary, 8, 5, "0"},
      {Variant::OfType(6), RegDataType::Binary, 8, 6, "0"},
      {Variant::OfType(7), RegDataType::Binary, 8, 7, "1899-12-30"},
      {Variant::OfType(8), RegDataType::String, 1, 256, ""},
      {Variant(true), RegDataType::DWord, 4, 11, "True"},
      {Variant::OfType(17), RegDataType::String, 2, 256, "0"},
      {Variant("text"), RegDataType::String, 5, 256, "text"},
  };
  for (const Case& c : cases) {
    const int code = c.data.Type();
    SCOPED_TRACE(code);
    ASSERT_TRUE(WriteToRegistry(HKCU, kKey, "Value", c.data, false, ""));
    EXPECT_EQ(Stored(Hive::CurrentUser, "Value"), std::make_pair(c.stored, c.size));
    const Variant read = ReadFromRegistry(HKCU, kKey, "Value", code, false, "");
    EXPECT_EQ(read.Type(), c.readType);
    EXPECT_EQ(read.AsString(), c.text);
  }
  // A boolean reads back as an integer too, and a string through code 17 only if plain REG_SZ.
  WriteToRegistry(HKCU, kKey, "Flag", Variant(true), false, "");
  EXPECT_EQ(ReadFromRegistry(HKCU, kKey, "Flag", 3, false, "").AsInt(), 1);
  WriteToRegistry(HKCU, kKey, "Flag", Variant(false), false, "");
  EXPECT_EQ(ReadFromRegistry(HKCU, kKey, "Flag", 3, false, "").AsInt(), 0);
  EXPECT_FALSE(ReadFromRegistry(HKCU, kKey, "Flag", 11, false, "").AsBool());
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(RegistryFunctionsTest, CurrencyAndDateReadTheirEightByteLayouts) {
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    const unsigned char count[8] = {0x98, 0x3a, 0, 0, 0, 0, 0, 0};  // 15000 ten-thousandths
    reg.WriteBinaryData("Price", count, 8);
    reg.WriteFloat("When", 45000.5);
  }
  const Variant price = ReadFromRegistry(HKCU, kKey, "Price", 6, false, "");
  EXPECT_EQ(price.Type(), 6);
  EXPECT_EQ(price.AsDouble(), 1.5);
  const Variant when = ReadFromRegistry(HKCU, kKey, "When", 7, false, "");
  EXPECT_EQ(when.Type(), 7);
  EXPECT_EQ(when.AsDouble(), 45000.5);
}

TEST_F(RegistryFunctionsTest, CodesWithoutARepresentationWriteAndReadNothing) {
  for (int code : {0, 1, 9, 0x2003, 0x4003, 9999}) {
    EXPECT_FALSE(WriteToRegistry(HKCU, kKey, "V", Variant::OfType(code), true, "")) << code;
  }
  EXPECT_TRUE(WriteToRegistry(HKCU, kKey, "V", Variant::OfType(12), true, ""));
  EXPECT_EQ(Stored(Hive::CurrentUser, "V").first, RegDataType::None);  // key made, value not
  WriteToRegistry(HKCU, kKey, "V", Variant("present"), false, "");
  for (int code : {0, 1, 12, 0x2008, 9999}) {
    EXPECT_TRUE(ReadFromRegistry(HKCU, kKey, "V", code, false, "").IsNull()) << code;
  }
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(RegistryFunctionsTest, GuardsReturnTheEmptyResultAndTouchNothing) {
  const Variant v("x");
  LOGFONTA font{};
  int size = 5;
  EXPECT_FALSE(WriteToRegistry(HKCU, "", "V", v, true, ""));
  EXPECT_FALSE(WriteToRegistry(HKCU, kKey, "", v, true, ""));
  EXPECT_FALSE(WriteToRegistry(HKCU, kKey, "V", v, true, "OTHERPC"));
  EXPECT_FALSE(WriteToRegistry(0x80000000, kKey, "V", v, true, ""));  // HKEY_CLASSES_ROOT
  EXPECT_FALSE(WriteFontToRegistry(HKCU, kKey, "", &font, true, ""));
  EXPECT_FALSE(WriteFontToRegistry(HKCU, kKey, "F", nullptr, true, ""));
  EXPECT_FALSE(std::filesystem::exists(dir_.UserFile()));
  EXPECT_FALSE(std::filesystem::exists(dir_.MachineFile()));

  WriteToRegistry(HKCU, kKey, "V", v, false, "");
  EXPECT_TRUE(ReadFromRegistry(HKCU, "", "V", 256, false, "").IsNull());
  EXPECT_TRUE(ReadFromRegistry(HKCU, kKey, "V", 256, false, "OTHERPC").IsNull());
  EXPECT_EQ(ReadBinaryFromRegistry(HKCU, kKey, "V", size, false, "OTHERPC"), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_TRUE(ReadKeyValueNamesFromRegistry(HKCU, kKey, false, "OTHERPC").empty());
  DeleteFromRegistry(HKCU, kKey, "V", false, "OTHERPC");
  DeleteKeyFromRegistry(HKCU, "", true, "");
  EXPECT_EQ(ReadFromRegistry(HKCU, kKey, "V", 256, false, "").AsString(), "x");
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(RegistryFunctionsTest, AlsoMachineRepeatsWritesAndDeletesUnderTheMachineHive) {
  EXPECT_TRUE(WriteToRegistry(HKLM, kKey, "OnlyMachine", Variant(1), true, ""));
  EXPECT_FALSE(std::filesystem::exists(dir_.UserFile()));  // already the machine root: once

  EXPECT_TRUE(WriteToRegistry(HKCU, kKey, "Both", Variant(2), true, ""));
  EXPECT_TRUE(WriteToRegistry(HKCU, kKey, "UserOnly", Variant(3), false, ""));
  EXPECT_EQ(ReadFromRegistry(HKLM, kKey, "Both", 3, false, "").AsInt(), 2);
  EXPECT_TRUE(ReadFromRegistry(HKLM, kKey, "UserOnly", 3, false, "").IsNull());

  DeleteFromRegistry(HKCU, kKey, "Both", true, "");
  EXPECT_TRUE(ReadFromRegistry(HKLM, kKey, "Both", 3, false, "").IsNull());
  DeleteKeyFromRegistry(HKCU, "Software\\QSoft", false, "");
  EXPECT_TRUE(ReadKeysFromRegistry(HKCU, "Software", false, "").empty());
  EXPECT_EQ(ReadKeysFromRegistry(HKLM, "Software", false, ""), Strings{"QSoft"});
  DeleteKeyFromRegistry(HKCU, "Software\\QSoft", true, "");  // missing under the user: no error
  EXPECT_TRUE(ReadKeysFromRegistry(HKLM, "Software", false, "").empty());
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(RegistryFunctionsTest, PreferUserFallsBackAsEachReaderDefines) {
  Seed(Hive::LocalMachine, kKey, "Host", "machine");
  Seed(Hive::LocalMachine, kKey, "", "machine default");
  Seed(Hive::LocalMachine, kKey + "\\List", "a", "1");
  auto read = [](const std::string& name) {
    return ReadFromRegistry(HKLM, kKey, name, 256, true, "").AsString();
  };
  WriteToRegistry(HKLM, kKey, "Ratio", Variant(0.5), false, "");
  int size = 0;
  EXPECT_EQ(read("Host"), "machine");  // no user key
  EXPECT_EQ(ReadKeysFromRegistry(HKLM, kKey, true, ""), Strings{"List"});

  Seed(Hive::CurrentUser, kKey + "\\Other", "x", "1");  // the user key exists, empty
  EXPECT_EQ(read("Host"), "machine");                   // value missing in the user key
  EXPECT_NE(ReadBinaryFromRegistry(HKLM, kKey, "Ratio", size, true, ""), nullptr);  // 2nd pass
  EXPECT_EQ(size, 8);
  EXPECT_EQ(read(""), "");  // the default value is not looked up elsewhere
  // Lists take the user's key whenever it exists, even without values.
  EXPECT_EQ(ReadKeysFromRegistry(HKLM, kKey, true, ""), Strings{"Other"});
  EXPECT_TRUE(ReadKeyValueNamesFromRegistry(HKLM, kKey, true, "").empty());

  Seed(Hive::CurrentUser, kKey, "Host", "user");
  EXPECT_EQ(read("Host"), "user");
  EXPECT_EQ(ReadFromRegistry(HKLM, kKey, "Host", 256, false, "").AsString(), "machine");
  EXPECT_TRUE(ReadFromRegistry(HKLM, kKey, "Absent", 256, true, "").IsNull());
  EXPECT_TRUE(ReadFromRegistry(HKCU, kKey + "\\Missing", "Host", 256, true, "").IsNull());
  EXPECT_TRUE(ReadKeysFromRegistry(HKCU, kKey + "\\Missing", true, "").empty());
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(RegistryFunctionsTest, StoreErrorsAreReportedWithTheirItem) {
  WriteToRegistry(HKCU, kKey, "Count", Variant(7), false, "");
  WriteToRegistry(HKCU, kKey, "Name", Variant("abc"), false, "");
  EXPECT_TRUE(ReadFromRegistry(HKCU, kKey, "Count", 5, false, "").IsNull());
  EXPECT_TRUE(ReadFromRegistry(HKCU, kKey, "Name", 3, false, "").IsNull());
  EXPECT_TRUE(ReadFromRegistry(HKCU, kKey, "", 3, false, "").IsNull());  // no default value
  EXPECT_EQ(ReadFromRegistry(HKCU, kKey, "", 256, false, "").AsString(), "");
  EXPECT_EQ(boxes_, (Strings{"Problem Detected: Internal Error in [ReadFromRegistry] for Item: "
                             "Count msg: Invalid data type for 'Count'",
                             "Problem Detected: Internal Error in [ReadFromRegistry] for Item: "
                             "Name msg: Invalid data type for 'Name'",
                             "Problem Detected: Internal Error in [ReadFromRegistry] for Item: "
                             " msg: Failed to get data for ''"}));

  int size = 9;
  try {
    ReadBinaryFromRegistry(HKCU, kKey, "Name", size, false, "");
    ADD_FAILURE() << "no exception";
  } catch (const Platform::Exception& e) {
    EXPECT_EQ(e.Message(),
              "Internal Error in [ReadBinaryFromRegistry()] msg: Invalid data type "
              "for 'Name'");
  }
  EXPECT_EQ(ReadBinaryFromRegistry(HKCU, kKey, "Absent", size, false, ""), nullptr);
  EXPECT_EQ(size, 0);
}

TEST_F(RegistryFunctionsTest, FontsAreSixtyLittleEndianBytes) {
  LOGFONTA font{};
  font.lfHeight = -13;
  font.lfWeight = 700;
  font.lfItalic = 1;
  font.lfPitchAndFamily = 0x22;
  std::strcpy(font.lfFaceName, "DejaVu Sans");
  ASSERT_TRUE(WriteFontToRegistry(HKCU, kKey, "ClockFont", &font, true, ""));

  int size = 0;
  const auto bytes = ReadBinaryFromRegistry(HKLM, kKey, "ClockFont", size, false, "");
  ASSERT_EQ(size, 60);
  EXPECT_EQ(std::vector<int>(bytes.get(), bytes.get() + 4),
            (std::vector<int>{0xf3, 0xff, 0xff, 0xff}));
  EXPECT_EQ(bytes[16], 0xbc);  // 700
  EXPECT_EQ(bytes[20], 1);
  EXPECT_EQ(bytes[27], 0x22);
  EXPECT_STREQ(reinterpret_cast<const char*>(bytes.get() + 28), "DejaVu Sans");

  const auto read = ReadFontFromRegistry(HKCU, kKey, "ClockFont", false, "");
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(std::memcmp(read.get(), &font, sizeof font), 0);
  EXPECT_EQ(ReadFontFromRegistry(HKCU, kKey, "Absent", false, ""), nullptr);

  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  const std::string tooLong(61, 'x');
  reg.WriteBinaryData("Big", tooLong.data(), 61);
  reg.CloseKey();
  EXPECT_EQ(ReadFontFromRegistry(HKCU, kKey, "Big", false, ""), nullptr);
  EXPECT_EQ(boxes_, Strings{"Problem Detected: Internal Error in [ReadFontFromRegistry] for Item: "
                            "Big msg: Invalid data type for 'Big'"});
}

TEST_F(RegistryFunctionsTest, ListsComeInCaseInsensitiveOrder) {
  for (const char* name : {"beta", "Alpha", "Gamma"}) {
    WriteToRegistry(HKCU, kKey + "\\" + name, "x", Variant(1), false, "");
    WriteToRegistry(HKCU, kKey, name, Variant(1), false, "");
  }
  const Strings expected{"Alpha", "beta", "Gamma"};
  EXPECT_EQ(ReadKeysFromRegistry(HKCU, kKey, false, ""), expected);
  EXPECT_EQ(ReadKeyValueNamesFromRegistry(HKCU, "software\\qsoft\\qsredorodo", false, ""),
            expected);
}

TEST_F(RegistryFunctionsTest, ADamagedUserHiveIsReportedAndLeftAlone) {
  WriteToRegistry(HKLM, kKey, "Host", Variant("machine"), false, "");
  const std::string garbage(4096, '\x5a');
  std::ofstream(dir_.UserFile(), std::ios::binary) << garbage;
  LOGFONTA font{};
  int size = 0;

  EXPECT_FALSE(WriteToRegistry(HKCU, kKey, "Host", Variant("user"), true, ""));
  EXPECT_TRUE(ReadFromRegistry(HKCU, kKey, "Host", 256, false, "").IsNull());
  EXPECT_TRUE(ReadFromRegistry(HKLM, kKey, "Host", 256, true, "").IsNull());
  EXPECT_FALSE(WriteFontToRegistry(HKCU, kKey, "Font", &font, false, ""));
  EXPECT_EQ(ReadFontFromRegistry(HKCU, kKey, "Font", false, ""), nullptr);
  EXPECT_TRUE(ReadKeysFromRegistry(HKCU, kKey, false, "").empty());
  EXPECT_TRUE(ReadKeyValueNamesFromRegistry(HKCU, kKey, false, "").empty());
  DeleteKeyFromRegistry(HKCU, kKey, false, "");
  DeleteFromRegistry(HKCU, kKey, "Host", false, "");
  EXPECT_THROW(ReadBinaryFromRegistry(HKCU, kKey, "Host", size, false, ""), Platform::Exception);

  // One report for the hive, not one for every value of the run.
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0],
            "Problem Detected: Internal Error in [WriteToRegistry] for Item: Host msg: "
            "The settings file " +
                dir_.UserFile() +
                " is damaged or not a settings file and is left as it is: file is "
                "not a database");
  std::ifstream in(dir_.UserFile(), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), garbage);
  // The machine hive is unharmed, and stays usable.
  EXPECT_EQ(ReadFromRegistry(HKLM, kKey, "Host", 256, false, "").AsString(), "machine");
}

TEST_F(RegistryFunctionsTest, AnUnwritableUserHiveIsReportedOnce) {
  std::filesystem::create_directory(dir_.UserFile());  // root ignores modes; a folder does not
  EXPECT_TRUE(WriteToRegistry(HKCU, kKey, "Host", Variant("user"), true, ""));  // the machine's
  EXPECT_FALSE(WriteToRegistry(HKCU, kKey, "Port", Variant("25"), false, ""));
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_NE(boxes_[0].find("The settings cannot be saved: " + dir_.UserFile()), std::string::npos)
      << boxes_[0];
  EXPECT_EQ(ReadFromRegistry(HKLM, kKey, "Host", 256, false, "").AsString(), "user")
      << "the machine's copy is still written";
}

TEST_F(RegistryFunctionsTest, AnUnwritableMachineHiveIsPassedOverSilently) {
  std::filesystem::create_directory(dir_.MachineFile());  // root ignores modes; a folder does not
  LOGFONTA font{};
  EXPECT_TRUE(WriteToRegistry(HKCU, kKey, "Host", Variant("user"), true, ""));
  EXPECT_TRUE(WriteFontToRegistry(HKCU, kKey, "Font", &font, true, ""));
  EXPECT_FALSE(WriteToRegistry(HKLM, kKey, "Host", Variant("m"), false, ""));
  EXPECT_TRUE(ReadFromRegistry(HKLM, kKey, "Host", 256, false, "").IsNull());
  EXPECT_EQ(ReadFromRegistry(HKLM, kKey, "Host", 256, true, "").AsString(), "user");
  DeleteFromRegistry(HKCU, kKey, "Host", true, "");
  EXPECT_TRUE(ReadFromRegistry(HKCU, kKey, "Host", 256, false, "").IsNull());
  EXPECT_TRUE(boxes_.empty());
}

TEST(RegistryMessageBoxTest, DefaultsToStandardErrorAndCanBeReplaced) {
  const MessageBoxHandler saved = SetMessageBoxHandler({});
  testing::internal::CaptureStderr();
  ShowLibraryMessageBox("text", "Problem Detected");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Problem Detected: text\n");
  std::string seen;
  SetMessageBoxHandler([&seen](const std::string& text, const std::string&) { seen = text; });
  ShowLibraryMessageBox("again", "c");
  EXPECT_EQ(seen, "again");
  EXPECT_TRUE(static_cast<bool>(SetMessageBoxHandler(saved)));
}

}  // namespace

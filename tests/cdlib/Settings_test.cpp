// SPDX-License-Identifier: GPL-3.0-or-later
// The library's settings: what CR_SaveSettings writes, what CR_Init reads
// back, and that everything else in the file stays as it was.
#include "LibraryFixture.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

namespace cdlib::testing {
namespace {

class SettingsTest : public LibraryTest {
protected:
    std::string iniPath() { return (tempDir() / "Varrow.INI").string(); }

    std::string fileText() {
        std::ifstream file(iniPath());
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    void addDrive(const std::string& id) {
        addVirtualDrive(std::make_shared<VirtualDrive>(id, discOf({{100, false}})));
    }
};

const char* const kForeign = "; Varrow's own options\n"
                             "[FILES]\n"
                             "DIRTARGET=/home/user/Music\n"
                             "\n"
                             "[OPTIONS]\n"
                             "PAUSEONREADERR=1\n"
                             "Mixed Case Key=Value With Spaces\n";

TEST_F(SettingsTest, ParametersSurviveARestart) {
    std::ofstream(iniPath()) << kForeign;
    addDrive("PLEXTOR PX-W4012A 1.07");
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    TCDROMParams params{};
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    params.Speed = 12;
    params.JitterCorrection = CR_TRUE;
    params.DriveTable[SLOT_DRIVETYPE] = PLEXTOR;
    params.DriveTable[SLOT_READMETHOD] = READMMC3;
    params.DriveTable[SLOT_ATAPI] = CR_FALSE;
    ASSERT_EQ(CR_SetCDROMParameters(&params), CR_OK);
    CR_SetTransportLayer(CR_TRANSPORT_IOCTL);
    CR_SaveSettings();

    resetLibrary();
    setHostDrivesEnabled(false);
    addDrive("PLEXTOR PX-W4012A 1.07");
    addDrive("ANOTHER DRIVE");
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    EXPECT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_IOCTL);
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    TCDROMParams read{};
    ASSERT_EQ(CR_GetCDROMParameters(&read), CR_OK);
    EXPECT_EQ(read.Speed, 12);
    EXPECT_EQ(read.JitterCorrection, CR_TRUE);
    EXPECT_EQ(read.DriveTable[SLOT_DRIVETYPE], PLEXTOR);
    EXPECT_EQ(read.DriveTable[SLOT_READMETHOD], READMMC3);
    EXPECT_EQ(read.DriveTable[SLOT_ATAPI], CR_FALSE);

    ASSERT_EQ(CR_SetActiveCDROM(1), CR_OK);
    ASSERT_EQ(CR_GetCDROMParameters(&read), CR_OK);
    EXPECT_EQ(read.Speed, 0) << "parameters belong to the drive that had them";
    EXPECT_EQ(read.DriveTable[SLOT_DRIVETYPE], GENERIC);
}

TEST_F(SettingsTest, ForeignSectionsAndKeysStayAsTheyWere) {
    std::ofstream(iniPath()) << kForeign;
    addDrive("DRIVE");
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    CR_SaveSettings();
    const std::string text = fileText();
    // Every foreign line is still there, in its order.
    std::istringstream foreign(kForeign);
    size_t at = 0;
    for (std::string line; std::getline(foreign, line);) {
        if (line.empty()) {
            continue;
        }
        const size_t found = text.find(line + "\n", at);
        ASSERT_NE(found, std::string::npos) << line << " in\n" << text;
        at = found + line.size();
    }
    EXPECT_NE(text.find("[CDLIB]"), std::string::npos);
    EXPECT_NE(text.find("TRANSPORTLAYER=1"), std::string::npos);
}

TEST_F(SettingsTest, SavingKeepsWhatOthersWroteSinceInit) {
    addDrive("DRIVE");
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    std::ofstream(iniPath()) << "[OPTIONS]\nLATER=yes\n";
    CR_SaveSettings();
    EXPECT_NE(fileText().find("LATER=yes"), std::string::npos);
}

TEST_F(SettingsTest, SectionsAndKeysAreFoundWhateverTheirCase) {
    std::ofstream(iniPath()) << "[cdlib]\ntransportlayer=0\n"
                                "[CdLib Drive Mixed Case]\nspeed=4\nJitterCorrection=1\n";
    addDrive("MIXED CASE");
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    EXPECT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_IOCTL);
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    TCDROMParams params{};
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    EXPECT_EQ(params.Speed, 4);
    EXPECT_EQ(params.JitterCorrection, CR_TRUE);
}

TEST_F(SettingsTest, NonsenseValuesFallBackToSoundOnes) {
    std::ofstream(iniPath()) << "[CDLIB DRIVE D]\nSECTORSPERREAD=100000\nREADRETRIES=7\n"
                                "DRIVETYPE=77\nSPEED=-3\n";
    addDrive("D");
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    TCDROMParams params{};
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    EXPECT_EQ(params.SectorsPerRead, 26);
    EXPECT_EQ(params.ReadRetries, 10);
    EXPECT_EQ(params.DriveTable[SLOT_DRIVETYPE], GENERIC);
    EXPECT_EQ(params.Speed, 0);
    ASSERT_EQ(CR_SetCDROMParameters(&params), CR_OK) << "the library's own values are valid";
}

TEST_F(SettingsTest, SectorsPerReadSetsTheChunkSize) {
    std::ofstream(iniPath()) << "[CDLIB DRIVE D]\nSECTORSPERREAD=10\n";
    addDrive("D");
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    ASSERT_EQ(CR_ReadToc(), CR_OK);
    int32_t bytes = 0;
    ASSERT_EQ(CR_OpenRipper(&bytes, 0, 99), CR_OK);
    EXPECT_EQ(bytes, 10 * CD_SECTOR_BYTES);
    CR_CloseRipper();
}

TEST_F(SettingsTest, AFileThatCannotBeReadLeavesTheLibraryOnItsDefaultsAndIsNotWritten) {
    const std::string junk =
        std::string("[CDLIB DRIVE D]\nSPEED=4\n\0\x01\xff[OPTIONS]\nX=1\n", 30);
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
    };
    const Case cases[] = {
        {"a folder of that name",
         [](const std::filesystem::path& path) {
             std::filesystem::create_directories(path);
         }},
        {"binary junk with a NUL byte",
         [&](const std::filesystem::path& path) {
             std::ofstream(path, std::ios::binary) << junk;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetLibrary();
        setHostDrivesEnabled(false);
        const auto path = tempDir() / (std::string(c.name) + ".INI");
        c.make(path);
        addDrive("D");
        ASSERT_EQ(CR_Init(path.c_str()), CR_OK);
        EXPECT_NE(CR_GetSettingsReadError().find(path.string()), std::string::npos)
            << CR_GetSettingsReadError();
        ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
        TCDROMParams params{};
        ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
        EXPECT_EQ(params.Speed, 0) << "defaults, not what the file may hold";
        EXPECT_EQ(params.JitterCorrection, CR_TRUE);

        params.Speed = 8;
        ASSERT_EQ(CR_SetCDROMParameters(&params), CR_OK);
        CR_SaveSettings();
        EXPECT_NE(CR_GetSettingsSaveError().find(path.string()), std::string::npos)
            << CR_GetSettingsSaveError();
        if (std::filesystem::is_regular_file(path)) {
            std::ifstream file(path, std::ios::binary);
            const std::string after((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
            EXPECT_EQ(after, junk) << "left byte for byte as it was";
        } else {
            EXPECT_TRUE(std::filesystem::is_directory(path));
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tempDir()),
                                std::filesystem::directory_iterator()),
                  static_cast<long>(&c - cases + 1))
            << "no new file beside it";
    }
    EXPECT_EQ(CR_Init(nullptr), CR_ERROR);
    EXPECT_EQ(CR_Init((tempDir() / "not-yet-there.INI").c_str()), CR_OK);
    EXPECT_EQ(CR_GetSettingsReadError(), "") << "no file is no failure";
}

TEST_F(SettingsTest, NumbersOutsideTheirRangeTakeTheDefault) {
    struct Case {
        const char* line;
        // Where the field lies in the record, which is packed: its fields
        // need not be aligned, so they are copied out, never referred to.
        std::size_t field;
        int32_t expected;
    };
    const Case cases[] = {
        {"READRETRIES=2147483647", offsetof(TCDROMParams, ReadRetries), 20},
        {"READRETRIES=99999999999999999999", offsetof(TCDROMParams, ReadRetries), 20},
        {"READRETRIES=-2147483648", offsetof(TCDROMParams, ReadRetries), 20},
        {"READRETRIES=96", offsetof(TCDROMParams, ReadRetries), 100},
        {"SECTORSPERREAD=4294967322", offsetof(TCDROMParams, SectorsPerRead), 26},
        {"SECTORSPERREAD=0", offsetof(TCDROMParams, SectorsPerRead), 26},
        {"SECTORSPERREAD=0x10", offsetof(TCDROMParams, SectorsPerRead), 16},
        {"SPEED=257", offsetof(TCDROMParams, Speed), 0},
        {"SPEED=4294967300", offsetof(TCDROMParams, Speed), 0},
        {"SPEED=12", offsetof(TCDROMParams, Speed), 12},
        {"JITTERCORRECTION=4294967296", offsetof(TCDROMParams, JitterCorrection), CR_TRUE},
        {"JITTERCORRECTION=0", offsetof(TCDROMParams, JitterCorrection), CR_FALSE},
        {"JITTERCORRECTION=off", offsetof(TCDROMParams, JitterCorrection), CR_TRUE},
        {"SECUREMODE=7", offsetof(TCDROMParams, SecureMode), CR_TRUE},
        {"SECUREMODE=0", offsetof(TCDROMParams, SecureMode), CR_FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        resetLibrary();
        setHostDrivesEnabled(false);
        std::ofstream(iniPath()) << "[CDLIB DRIVE D]\n" << c.line << "\n";
        addDrive("D");
        ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
        ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
        TCDROMParams params{};
        ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
        int32_t value = 0;
        std::memcpy(&value, reinterpret_cast<const char*>(&params) + c.field, sizeof value);
        EXPECT_EQ(value, c.expected);
    }
    const char* const tableLines[] = {"DRIVETYPE=4294967296", "DENSITY=2147483648",
                                      "READMETHOD=-1"};
    for (const char* line : tableLines) {
        SCOPED_TRACE(line);
        resetLibrary();
        setHostDrivesEnabled(false);
        std::ofstream(iniPath()) << "[CDLIB DRIVE D]\n" << line << "\n";
        addDrive("D");
        ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
        ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
        TCDROMParams params{};
        ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
        EXPECT_EQ(params.DriveTable[SLOT_DRIVETYPE], GENERIC);
        EXPECT_EQ(params.DriveTable[SLOT_READMETHOD], READMMC);
        EXPECT_EQ(params.DriveTable[SLOT_DENSITY], 0);
    }
}

TEST_F(SettingsTest, ADriveWithoutStoredSettingsReadsWithJitterCorrection) {
    // No file at all, and a section of the drive without the key.
    for (const char* text : {"", "[CDLIB DRIVE D]\nSPEED=4\n"}) {
        SCOPED_TRACE(text);
        resetLibrary();
        setHostDrivesEnabled(false);
        std::filesystem::remove(iniPath());
        if (*text != '\0') {
            std::ofstream(iniPath()) << text;
        }
        addDrive("D");
        ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
        ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
        TCDROMParams params{};
        ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
        EXPECT_EQ(params.JitterCorrection, CR_TRUE);
    }
}

TEST_F(SettingsTest, SavingChangesOnlyTheLibrarysKeys) {
    // What the INI parser would merge, collapse or drop: sections differing
    // in case, duplicate keys, lines without '=', a multi-line value, CRLF
    // line ends, a foreign key inside the library's section, no final break.
    const std::string before = "; top comment\r\n"
                               "[Options]\r\n"
                               "KEY=1\r\n"
                               "KEY=2\r\n"
                               "just words\r\n"
                               "[OPTIONS]\r\n"
                               "TEXT=<<<END\r\n"
                               "line one\r\n"
                               "END\r\n"
                               "\r\n"
                               "[cdlib drive D]\r\n"
                               "speed = 4\r\n"
                               "NOTES=mine\r\n"
                               "\r\n"
                               "; the next section's comment\r\n"
                               "[TAIL]\r\n"
                               "LAST=x";
    std::ofstream(iniPath(), std::ios::binary) << before;
    addDrive("D");
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    TCDROMParams params{};
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    EXPECT_EQ(params.Speed, 4);
    params.Speed = 16;
    ASSERT_EQ(CR_SetCDROMParameters(&params), CR_OK);
    CR_SaveSettings();
    EXPECT_EQ(CR_GetSettingsSaveError(), "");

    const std::string after = "; top comment\r\n"
                              "[Options]\r\n"
                              "KEY=1\r\n"
                              "KEY=2\r\n"
                              "just words\r\n"
                              "[OPTIONS]\r\n"
                              "TEXT=<<<END\r\n"
                              "line one\r\n"
                              "END\r\n"
                              "\r\n"
                              "[cdlib drive D]\r\n"
                              "speed = 16\r\n"
                              "NOTES=mine\r\n"
                              "SECTORSPERREAD=26\r\n"
                              "READRETRIES=20\r\n"
                              "JITTERCORRECTION=-1\r\n"
                              "SECUREMODE=0\r\n"
                              "DRIVETYPE=0\r\n"
                              "READMETHOD=0\r\n"
                              "SETSPEED=1\r\n"
                              "ENDIAN=0\r\n"
                              "ENABLEMODE=0\r\n"
                              "DENSITY=0\r\n"
                              "ATAPI=-1\r\n"
                              "READOFFSET=0\r\n"
                              "OVERREAD=0\r\n"
                              "\r\n"
                              "; the next section's comment\r\n"
                              "[TAIL]\r\n"
                              "LAST=x\r\n"
                              "[CDLIB]\r\n"
                              "TRANSPORTLAYER=1\r\n";
    EXPECT_EQ(fileText(), after);

    // A second save with nothing new leaves the file alone.
    const auto written = std::filesystem::last_write_time(iniPath());
    CR_SaveSettings();
    EXPECT_EQ(fileText(), after);
    EXPECT_EQ(std::filesystem::last_write_time(iniPath()), written);
}

TEST_F(SettingsTest, HeadersWithoutTheirBracketAreReadAsTheParserReadsThem) {
    // The parser files the keys after a broken header under a section of
    // its own, and an open bracket at the end swallows the next line.
    std::ofstream(iniPath()) << "[CDLIB DRIVE D]\nSPEED=4\n[CDLIB DRIVE D\nSPEED=9\n";
    addDrive("D");
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    TCDROMParams params{};
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    EXPECT_EQ(params.Speed, 4);
    params.Speed = 16;
    ASSERT_EQ(CR_SetCDROMParameters(&params), CR_OK);
    CR_SaveSettings();
    const std::string text = fileText();
    EXPECT_EQ(text.rfind("[CDLIB DRIVE D]\nSPEED=16\n", 0), 0u) << text;
    EXPECT_NE(text.find("[CDLIB DRIVE D\nSPEED=9\n"), std::string::npos) << text;

    const std::string open = "[OPTIONS]\nA=1\n[";
    std::ofstream(iniPath()) << open;
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    CR_SaveSettings();
    EXPECT_NE(CR_GetSettingsSaveError(), "") << "the new section would not read back";
    EXPECT_EQ(fileText(), open);
}

TEST_F(SettingsTest, AFileWithANulByteIsNotRewritten) {
    std::string text = "[OPTIONS]\nA=1\n";
    text += std::string(1, '\0') + "[MORE]\n";
    while (text.size() < 20000) {
        text += "KEY" + std::to_string(text.size()) + "=value\n";
    }
    std::ofstream(iniPath(), std::ios::binary) << text;
    addDrive("D");
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    CR_SaveSettings();
    EXPECT_NE(CR_GetSettingsSaveError(), "");
    EXPECT_EQ(fileText(), text);
}

TEST_F(SettingsTest, TheFileIsReplacedInOneStepKeepingItsModeAndLink) {
    const auto real = tempDir() / "real.INI";
    std::ofstream(real) << "[OPTIONS]\nA=1\n";
    std::filesystem::permissions(real, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    std::filesystem::create_symlink(real, iniPath());
    addDrive("D");
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    CR_SetTransportLayer(CR_TRANSPORT_IOCTL);
    CR_SaveSettings();
    EXPECT_EQ(CR_GetSettingsSaveError(), "");
    EXPECT_TRUE(std::filesystem::is_symlink(iniPath())) << "the link stays a link";
    EXPECT_EQ(fileText(), "[OPTIONS]\nA=1\n[CDLIB]\nTRANSPORTLAYER=0\n");
    EXPECT_EQ(std::filesystem::status(real).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
    // Nothing but the two names is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tempDir()),
                            std::filesystem::directory_iterator()),
              2);

    // A folder that does not exist: the save fails and says so.
    resetLibrary();
    setHostDrivesEnabled(false);
    const auto nowhere = tempDir() / "gone" / "Varrow.INI";
    ASSERT_EQ(CR_Init(nowhere.c_str()), CR_OK);
    CR_SaveSettings();
    EXPECT_NE(CR_GetSettingsSaveError().find(nowhere.string()), std::string::npos);
}

TEST_F(SettingsTest, AFileTheUserMadeReadOnlyIsNotReplaced) {
    const std::string text = "[OPTIONS]\r\nHINTS=0\r\n";
    std::ofstream(iniPath(), std::ios::binary) << text;
    std::filesystem::permissions(iniPath(), std::filesystem::perms::owner_read |
                                                std::filesystem::perms::group_read |
                                                std::filesystem::perms::others_read);
    addDrive("D");
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    CR_SetTransportLayer(CR_TRANSPORT_IOCTL);
    CR_SaveSettings();
    EXPECT_NE(CR_GetSettingsSaveError().find("read-only"), std::string::npos)
        << CR_GetSettingsSaveError();
    EXPECT_EQ(fileText(), text);
}

TEST_F(SettingsTest, ForgettingDropsEveryDrivesParametersButNotTheTransportLayer) {
    addDrive("D");
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    TCDROMParams params{};
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    params.Speed = 12;
    params.JitterCorrection = CR_FALSE;
    ASSERT_EQ(CR_SetCDROMParameters(&params), CR_OK);
    CR_SetTransportLayer(CR_TRANSPORT_IOCTL);
    CR_SaveSettings();
    ASSERT_NE(fileText().find("SPEED=12"), std::string::npos);

    // What a reset does: delete the file, forget, select the drive again.
    std::filesystem::remove(iniPath());
    CR_ForgetSettings();
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    EXPECT_EQ(params.Speed, 0);
    EXPECT_EQ(params.JitterCorrection, CR_TRUE);
    EXPECT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_IOCTL);
    CR_SaveSettings();
    EXPECT_EQ(fileText(), "[CDLIB]\nTRANSPORTLAYER=0\n") << "no stale drive parameters";
}

TEST_F(SettingsTest, ImageListIsKeptWhenSaving) {
    std::ofstream(iniPath()) << "[CDLIB]\nIMAGE1=/nowhere/a.cue\nIMAGE2=/nowhere/b.toc\n";
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    EXPECT_EQ(CR_GetNumCDROM(), 2) << "missing images are drives without a disc";
    CR_SaveSettings();
    const std::string text = fileText();
    EXPECT_NE(text.find("IMAGE1=/nowhere/a.cue"), std::string::npos) << text;
    EXPECT_NE(text.find("IMAGE2=/nowhere/b.toc"), std::string::npos) << text;
}

} // namespace
} // namespace cdlib::testing

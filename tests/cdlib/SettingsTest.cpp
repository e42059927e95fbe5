// The library's settings: what CR_SaveSettings writes, what CR_Init reads
// back, and that everything else in the file stays as it was.
#include "LibraryFixture.h"

#include <fstream>
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
    EXPECT_LE(params.SectorsPerRead, 64);
    EXPECT_GE(params.SectorsPerRead, 1);
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

TEST_F(SettingsTest, UnreadableFileFailsInit) {
    std::filesystem::create_directories(tempDir() / "a-folder.INI");
    EXPECT_EQ(CR_Init((tempDir() / "a-folder.INI").c_str()), CR_ERROR);
    EXPECT_EQ(CR_Init(nullptr), CR_ERROR);
    EXPECT_EQ(CR_Init((tempDir() / "not-yet-there.INI").c_str()), CR_OK);
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

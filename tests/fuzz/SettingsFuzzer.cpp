// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as the settings file of the CD library: CR_Init must
// succeed and yield parameters the library accepts back, and a save must
// either leave the file byte for byte as it was or keep every section that
// is not the library's exactly as the INI parser reads it, with the
// library's values where the next read finds them.
#include "CdRip_dll.h"
#include "FuzzCheck.h"
#include "VirtualDrive.h"

#include <SimpleIni.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <strings.h>

namespace {

namespace fs = std::filesystem;

const fs::path& folder() {
    static const fs::path path = [] {
        std::string pattern = (fs::temp_directory_path() / "varrow-fuzz-XXXXXX").string();
        check(mkdtemp(pattern.data()) != nullptr);
        return fs::path(pattern);
    }();
    return path;
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool isLibrarySection(const char* name) {
    return strncasecmp(name, "CDLIB", 5) == 0;
}

// Every key of every section that is not the library's, as SimpleIni reads
// `text`.
std::string foreignView(const std::string& text) {
    CSimpleIniA ini;
    ini.LoadData(text);
    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    sections.sort(CSimpleIniA::Entry::LoadOrder());
    std::string view;
    for (const auto& section : sections) {
        if (isLibrarySection(section.pItem)) {
            continue;
        }
        view += std::string("[") + section.pItem + "]\n";
        CSimpleIniA::TNamesDepend keys;
        ini.GetAllKeys(section.pItem, keys);
        keys.sort(CSimpleIniA::Entry::LoadOrder());
        for (const auto& key : keys) {
            view +=
                std::string(key.pItem) + "=" + ini.GetValue(section.pItem, key.pItem, "") + "\n";
        }
    }
    return view;
}

// Selects the fuzz drive, which follows any images the file lists, and
// reads its parameters.
TCDROMParams selectDrive(const fs::path& settings) {
    check(CR_Init(settings.c_str()) == CR_OK);
    check(CR_SetActiveCDROM(CR_GetNumCDROM() - 1) == CR_OK);
    TCDROMParams params{};
    check(CR_GetCDROMParameters(&params) == CR_OK);
    return params;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const fs::path loaded = folder() / "Varrow.INI";
    const fs::path saved = folder() / "Saved.INI";
    writeBytes(loaded, input);
    writeBytes(saved, input);

    cdlib::resetLibrary();
    cdlib::setHostDrivesEnabled(false);
    cdlib::addVirtualDrive(std::make_shared<cdlib::VirtualDrive>("FUZZ", std::nullopt));

    TCDROMParams params = selectDrive(loaded);
    (void)CR_GetSettingsReadError();
    check(params.SectorsPerRead >= 1 && params.SectorsPerRead <= 64);
    check(params.ReadRetries >= 5 && params.ReadRetries <= 100 && params.ReadRetries % 5 == 0);
    check(params.Speed >= 0 && params.Speed <= CR_MAX_SPEED);
    check(params.JitterCorrection == CR_TRUE || params.JitterCorrection == CR_FALSE);
    check(CR_GetTransportLayer() == CR_TRANSPORT_IOCTL ||
          CR_GetTransportLayer() == CR_TRANSPORT_SCSI);
    check(CR_SetCDROMParameters(&params) == CR_OK);

    // Save the drive's parameters, changed, into the other copy.
    params = selectDrive(saved);
    params.Speed = (params.Speed + 7) % (CR_MAX_SPEED + 1);
    params.JitterCorrection = params.JitterCorrection == CR_TRUE ? CR_FALSE : CR_TRUE;
    check(CR_SetCDROMParameters(&params) == CR_OK);
    const int32_t layer = CR_GetTransportLayer();
    CR_SaveSettings();
    const std::string after = readBytes(saved);
    if (!CR_GetSettingsSaveError().empty()) {
        check(after == input);
    } else {
        check(foreignView(after) == foreignView(input));
        cdlib::resetLibrary();
        cdlib::setHostDrivesEnabled(false);
        cdlib::addVirtualDrive(std::make_shared<cdlib::VirtualDrive>("FUZZ", std::nullopt));
        const TCDROMParams again = selectDrive(saved);
        check(again.Speed == params.Speed);
        check(again.JitterCorrection == params.JitterCorrection);
        check(CR_GetTransportLayer() == layer);
    }
    cdlib::resetLibrary();
    return 0;
}

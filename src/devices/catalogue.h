#pragma once
// The device description catalogue: every meter variable the server knows, read at start-up
// from XML.ZARNIC/TTTT.ZARNIC.xml (one file per device type), the optional extension files
// XML.ZarnicMaster/TTTT.ZarnicMaster.xml, and the plug-in libraries DLL/ZarnicMaster_HHxx.so.
//
// Start-up calls LoadCatalogue once, before the connection threads start. From then on the tree
// under VarRoot() does not change and may be searched and used from any thread.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "devices/parameter_model.h"

namespace zb::devices {

// Forgets any earlier catalogue, remembers `programDir` as the directory under which the three
// folders lie, and scans it (ScanDescriptions). The entry point of start-up.
void LoadCatalogue(const std::filesystem::path& programDir, bool buildGroups = false);

// Drops the tree, the base module and the names of loaded libraries (the libraries themselves
// stay mapped). Tests use it to start over.
void ResetCatalogue();

// The program directory the catalogue reads from (set by LoadCatalogue).
const std::filesystem::path& CatalogueDir();
void SetCatalogueDir(const std::filesystem::path& programDir);

// Loads every description file of XML.ZARNIC/ in the order of their type codes (0000 first).
void ScanDescriptions(bool buildGroups);
// Loads one device type: its library, its description and its extension file.
void LoadDescription(uint16_t typeCode, bool buildGroups);

// The root of the whole catalogue.
TTreeEntry& VarRoot();
// The library of type 0000 (the fallback for every function look-up); null when not loaded.
void* BaseModule();

// Looks `name` up in `library`, then in the base module, then `defaultName` in the base module.
// Null when none has it.
void* ResolvePlugInProc(void* library, const std::string& name, const std::string& defaultName);

// "ZarnicMaster_HHxx.so" for a type code 0xHHLL.
std::string PlugInLibraryName(uint16_t typeCode);
// A library of that file name loaded by the catalogue; null when none.
void* FindLoadedLibrary(const std::string& fileName);

// The catalogue's top-level entries (device types, and variables of descriptions without an
// ExtensionTitle), in order: the variable classes the work library editor offers.
std::vector<TNodeEntry*> CatalogueClasses();
// The variables directly under an entry, in order; for a variable, the variable itself.
std::vector<TVar*> ClassVariables(TNodeEntry& entry);

}  // namespace zb::devices

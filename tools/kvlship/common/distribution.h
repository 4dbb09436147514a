// The names and places of a distribution and of the machine it installs on,
// as kvlship reads and writes them: the engine's own facts (setupdist.h)
// with the drive they land on.
#pragma once

#include "setupdist.h"

#include <stddef.h>

// The default destination when the data file's stock settings name no folder.
constexpr char kProgramFiles[] = "C:\\" SETUP_PROGRAM_FILES;
constexpr char kProgramFilesX86[] = "C:\\" SETUP_PROGRAM_FILES_X86;
constexpr char kDefaultDestination[] = "C:\\" SETUP_PROGRAM_FILES "\\" SETUP_PRODUCT_FOLDER;
constexpr char kWindowsFolder[] = "C:\\windows";
constexpr char kDataFileName[] = SETUP_DATA_FILE;
constexpr char kLicenceName[] = SETUP_AGREEMENT_FILE;
// The uninstaller a module copies into the product's folder, from setup's.
constexpr char kUninstallerName[] = SETUP_UNINSTALLER;
constexpr size_t kLicenceLimit = SETUP_AGREEMENT_SIZE - 1; // the agreement box shows no more
// The single-file package's stub, which kvlship takes from the engine's folder.
constexpr char kPackageStubName[] = "kvlpack.exe";
// What the last build wrote into the folder, so that the next one replaces
// that and nothing else.
constexpr char kBuildRecordName[] = "kvlbuild.lst";

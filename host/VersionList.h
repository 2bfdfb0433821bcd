// The version list handed to the host: module, bus library and language library, with their file
// versions and dates.
#pragma once

struct VersionEntry {
    char* moduleName;
    char* version;
    char* date;
    VersionEntry* next;
};

namespace host {

// Builds the list (freeing an earlier one); null when a file's version or date cannot be read.
VersionEntry* BuildVersionList();
void FreeVersionList();

} // namespace host

// A file of the distribution as the copy will read it: stored plain, or
// compressed (SZDD) and expanded whole; its installed size, and whether the
// copy of it will fail.
#pragma once

#include <string>

struct StoredFile {
    bool compressed = false;
    long long size = 0;         // the installed size
    std::string damage;         // empty when the file is sound
    unsigned char lastChar = 0; // from a compressed file's header
};

// Reads the host file `path`: a compressed one a chunk at a time, to its
// end; a plain one not at all.
StoredFile InspectStored(const std::string &path);

// What an engine's setup.exe can do, read from its file: how many copy
// entries it takes (the version resource's CopyEntriesLimit value; an
// engine without it takes the fixed copy list's SETUP_COPY_SLOTS).
#pragma once

#include <string>

// The copy entries the setup.exe whose bytes are `bytes` takes.
int EngineCopyEntries(const std::string &bytes);

// The same for the setup.exe in `folder`; SETUP_COPY_SLOTS when it cannot be read.
int EngineCopyEntriesIn(const std::string &folder);

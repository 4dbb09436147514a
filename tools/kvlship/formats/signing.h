// Authenticode signatures on the programs a distribution ships: made by
// `kvlship build --sign` and read back by `kvlship check`, through
// osslsigncode on Linux and signtool on Windows (both found on PATH).
#pragma once

#include "common/diagnostics.h"

#include <string>
#include <vector>

struct SignOptions {
    std::string certificate;  // the .pfx file; empty: nothing is signed
    std::string passwordFile; // the certificate's password on its first line; empty: none
    std::string timestampUrl; // an RFC 3161 time-stamping service; empty: none
    std::string description;  // the program's name, which the elevation prompt shows
};

// The program that signs and verifies on this host.
const char *SigningToolName();

// True when `bytes` are a PE image: an MZ header that leads to "PE\0\0".
bool IsPeImage(const std::string &bytes);

// True when the PE image `bytes` carries a signature (a certificate table).
bool HasSignature(const std::string &bytes);

// Whether signing will work, asked before anything is written: the tool is
// there, and the certificate and its password sign a copy of the PE file
// `sample`, which stays as it is. False with `why` otherwise.
bool SigningWorks(const SignOptions &options, const std::string &sample, std::string *why);

// Signs the PE file at `path`: into a temporary file beside it, which then
// takes its place, so a signing that fails leaves the file as it was. The
// file keeps its modification time. False with `why` when it cannot.
bool SignPeFile(const std::string &path, const SignOptions &options, std::string *why);

// Signs the PE image `bytes` in memory (through a temporary file) unless it
// is signed already: a program the vendor signed keeps its signature. Any
// other content is left as it is.
bool SignPeBytes(std::string *bytes, const SignOptions &options, std::string *why);

// Every PE file of `distribution`, stored as it is or compressed: a warning
// for one without a signature when any is signed (or `caFile` asks for
// signatures), and for one whose signature does not verify, against the
// certificates of `caFile` when given (osslsigncode), else against the
// host's trusted roots. What could not be verified goes to `notes`, once.
void CheckSignatures(const std::string &distribution, const std::string &caFile,
                     Diagnostics *problems, std::vector<std::string> *notes);

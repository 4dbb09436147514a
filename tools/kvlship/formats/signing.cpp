// Authenticode signing of the programs shipped, and its verification.
#include "formats/signing.h"

#include "common/bytes.h"
#include "common/hostfs.h"
#include "common/textout.h"

#include "codec/szdd.h"
#include "formats/pe.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace
{

#ifdef _WIN32
constexpr char kTool[] = "signtool";
constexpr char kToolFile[] = "signtool.exe";
constexpr char kPathSeparator = ';';
#else
constexpr char kTool[] = "osslsigncode";
constexpr char kToolFile[] = "osslsigncode";
constexpr char kPathSeparator = ':';
#endif

// A compressed program is expanded to be verified; larger ones are not.
constexpr uint32_t kExpandLimit = 512u << 20;

// Where the security directory's entry (offset and size) lies in a PE
// image; 0 when `bytes` are no PE image or have no such entry.
size_t SecurityEntryAt(const std::string &bytes)
{
    uint32_t pe;
    if (!FindPeHeader(bytes, &pe) || bytes.size() - pe < 24 + 112 + 8 * 5)
        return 0;
    size_t optional = pe + 24;
    uint32_t magic = Get16(bytes, optional);
    size_t countAt = magic == 0x10b ? 92 : magic == 0x20b ? 108 : 0;
    if (countAt == 0 || Get32(bytes, optional + countAt) < 5)
        return 0;
    return optional + countAt + 4 + 8 * 4;
}

// The executable `name` in a folder of PATH; empty when none holds it.
std::string FindOnPath(const char *name)
{
    const char *path = getenv("PATH");
    for (std::string rest = path ? path : ""; !rest.empty();) {
        size_t end = rest.find(kPathSeparator);
        std::string folder = rest.substr(0, end);
        rest = end == std::string::npos ? "" : rest.substr(end + 1);
        if (folder.empty())
            continue;
        std::string candidate = JoinHost(folder, name);
#ifdef _WIN32
        if (IsFile(candidate))
            return candidate;
#else
        if (IsFile(candidate) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
#endif
    }
    return "";
}

std::string ToolMissing()
{
#ifdef _WIN32
    return std::string(kToolFile) +
           " is not on PATH: install the Windows SDK's signing tools and put the folder that "
           "holds it on PATH";
#else
    return std::string(kTool) + " is not installed (apt-get install osslsigncode)";
#endif
}

// Runs `argv` (argv[0] a full path) without a shell; its exit code, or -1
// when it could not be run. Its output and errors together go to `output`.
#ifdef _WIN32
std::string Quote(const std::string &arg)
{
    // The C runtime's rules: backslashes double only before a quote.
    std::string quoted = "\"";
    size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        quoted.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        quoted += c;
    }
    quoted.append(slashes * 2, '\\');
    return quoted + "\"";
}

int Run(const std::vector<std::string> &argv, std::string *output)
{
    std::string line;
    for (const std::string &arg : argv)
        line += (line.empty() ? "" : " ") + Quote(arg);
    // Into a file, not a pipe: a pipe's end that a signing started beside
    // this one inherits would keep this reader waiting for that one.
    char folder[MAX_PATH], name[MAX_PATH];
    if (!GetTempPathA(sizeof folder, folder) || !GetTempFileNameA(folder, "kvl", 0, name))
        return -1;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        DeleteFileA(name);
        return -1;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process = {};
    std::vector<char> command(line.begin(), line.end());
    command.push_back(0);
    int code = -1;
    if (CreateProcessA(argv[0].c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD exit = 0;
        if (GetExitCodeProcess(process.hProcess, &exit))
            code = static_cast<int>(exit);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    ReadWholeFile(name, output, false, 1 << 20);
    DeleteFileA(name);
    return code;
}
#else
int Run(const std::vector<std::string> &argv, std::string *output)
{
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    // Close-on-exec, so that a signing started beside this one on another
    // thread does not hold this pipe open.
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (in < 0 || dup2(in, 0) < 0 || dup2(pipeEnds[1], 1) < 0 || dup2(pipeEnds[1], 2) < 0)
            _exit(127);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    char chunk[4096];
    for (ssize_t got; (got = read(pipeEnds[0], chunk, sizeof chunk)) != 0;) {
        if (got > 0 && output->size() < (1 << 20))
            output->append(chunk, static_cast<size_t>(got));
        else if (got < 0 && errno != EINTR)
            break;
    }
    close(pipeEnds[0]);
    int status = 0;
    if (pid < 0)
        return -1;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

// The tool's complaint in a line: its own messages, without the bare verdict
// and without OpenSSL's error-stack lines that repeat them in code.
std::string Complaint(const std::string &output)
{
    std::string said;
    for (size_t start = 0; start < output.size();) {
        size_t end = output.find('\n', start);
        std::string line = output.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? output.size() : end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        size_t text = line.find_first_not_of(" \t");
        if (text == std::string::npos || line == "Failed" || line == "Succeeded" ||
            line.find(":error:") != std::string::npos)
            continue;
        said += (said.empty() ? "" : "; ") + line.substr(text);
        if (said.size() > 400)
            break;
    }
    return said.empty() ? "no reason given" : said;
}

bool ReplaceFile(const std::string &from, const std::string &to)
{
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return rename(from.c_str(), to.c_str()) == 0;
#endif
}

// A new, empty temporary file of our own; false when none can be made.
bool MakeTempFile(std::string *path)
{
#ifdef _WIN32
    char folder[MAX_PATH], name[MAX_PATH];
    if (!GetTempPathA(sizeof folder, folder) || !GetTempFileNameA(folder, "kvl", 0, name))
        return false;
    *path = name;
    return true;
#else
    const char *folder = getenv("TMPDIR");
    std::string pattern = JoinHost(folder && *folder ? folder : "/tmp", "kvlship-XXXXXX");
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    int fd = mkstemp(name.data());
    if (fd < 0)
        return false;
    close(fd);
    *path = name.data();
    return true;
#endif
}

// Signs `in` into `out`, which must not exist yet.
bool SignInto(const std::string &tool, const std::string &in, const std::string &out,
              const SignOptions &options, std::string *why)
{
    std::vector<std::string> argv = {tool, "sign"};
    std::string output;
#ifdef _WIN32
    // signtool signs in place and reads its password only from the command
    // line (where other processes of the same user can see it).
    if (!CopyFileA(in.c_str(), out.c_str(), TRUE)) {
        *why = "cannot be copied to " + out;
        return false;
    }
    std::string password;
    if (!options.passwordFile.empty()) {
        ReadWholeFile(options.passwordFile, &password, true, 4096);
        password = password.substr(0, password.find_first_of("\r\n"));
    }
    argv.insert(argv.end(), {"/fd", "sha256", "/f", options.certificate});
    if (!options.passwordFile.empty())
        argv.insert(argv.end(), {"/p", password});
    if (!options.timestampUrl.empty())
        argv.insert(argv.end(), {"/tr", options.timestampUrl, "/td", "sha256"});
    if (!options.description.empty())
        argv.insert(argv.end(), {"/d", options.description});
    argv.push_back(out);
#else
    // The password goes through its file, never on a command line.
    argv.insert(argv.end(), {"-pkcs12", options.certificate, "-h", "sha256"});
    if (!options.passwordFile.empty())
        argv.insert(argv.end(), {"-readpass", options.passwordFile});
    if (!options.timestampUrl.empty())
        argv.insert(argv.end(), {"-ts", options.timestampUrl});
    if (!options.description.empty())
        argv.insert(argv.end(), {"-n", AnsiToUtf8(options.description)});
    argv.insert(argv.end(), {"-in", in, "-out", out});
#endif
    int code = Run(argv, &output);
    if (code == 0 && IsFile(out))
        return true;
    remove(out.c_str());
    *why = code < 0 ? tool + " could not be started" : kTool + (" refused: " + Complaint(output));
    return false;
}

// The tool's full path, with `why` when there is none.
bool FindTool(std::string *tool, std::string *why)
{
    *tool = FindOnPath(kToolFile);
    if (tool->empty())
        *why = ToolMissing();
    return !tool->empty();
}

// Expands a compressed program whole into `plain`; false when the file is
// none, is damaged, or expands to anything but a program (which is seen
// from its first chunk, so a large data file is not expanded whole).
bool ExpandProgram(const std::string &path, std::string *plain)
{
    FILE *file = OpenRegularFile(path, false);
    if (!file)
        return false;
    std::vector<unsigned char> chunk(1 << 16);
    size_t got = fread(chunk.data(), 1, chunk.size(), file);
    SzddHeader header;
    if (!SzddParseHeader(chunk.data(), got, &header) || header.size > kExpandLimit) {
        fclose(file);
        return false;
    }
    // A reference may write a little past what it makes: room for that.
    size_t whole = static_cast<size_t>(header.size) + 64;
    std::string room(std::min(whole, chunk.size()), '\0');
    SzddDecoder decoder;
    SzddDecoderInit(&decoder);
    SzddStatus status = kSzddNeedInput;
    size_t made = 0;
    bool program = true;
    for (;;) {
        bool ends = got < chunk.size();
        size_t at = 0;
        do {
            size_t used = 0, now = 0;
            status = SzddDecode(&decoder, chunk.data() + at, got - at, &used,
                                reinterpret_cast<unsigned char *>(&room[made]), room.size() - made,
                                &now, ends);
            at += used;
            made += now;
            program = made < 2 || room.compare(0, 2, "MZ") == 0;
            // A program is expanded whole; anything else no further.
            if (status == kSzddNeedOutput && program && room.size() < whole)
                room.resize(whole);
            else if (status == kSzddNeedOutput)
                program = false;
        } while (program && status == kSzddNeedOutput);
        if (!program || status != kSzddNeedInput || ends)
            break;
        got = fread(chunk.data(), 1, chunk.size(), file);
    }
    fclose(file);
    if (!program || status != kSzddComplete || made != header.size || made < 2)
        return false;
    plain->assign(room, 0, made);
    return true;
}

// The first 4 KiB of a file, which hold a program's headers.
bool ReadHead(const std::string &path, std::string *head)
{
    FILE *file = OpenRegularFile(path, false);
    if (!file)
        return false;
    char chunk[4096];
    head->assign(chunk, fread(chunk, 1, sizeof chunk, file));
    fclose(file);
    return true;
}

// Verifies the signature of the PE file `path`; empty when it holds, else why not.
std::string VerifyFailure(const std::string &tool, const std::string &path,
                          const std::string &caFile)
{
#ifdef _WIN32
    (void)caFile; // signtool trusts the machine's roots only
    std::vector<std::string> argv = {tool, "verify", "/pa", path};
#else
    std::vector<std::string> argv = {tool, "verify"};
    if (!caFile.empty())
        argv.insert(argv.end(), {"-CAfile", caFile});
    argv.insert(argv.end(), {"-in", path});
#endif
    std::string output;
    int code = Run(argv, &output);
    if (code == 0)
        return "";
    if (code < 0)
        return tool + " could not be started";
    if (output.find("MISMATCH") != std::string::npos)
        return "was changed after it was signed: its signature no longer matches its content";
    // OpenSSL's reason for refusing the chain: "certificate has expired", ...
    size_t reason = output.find("Verify error:");
    if (reason != std::string::npos) {
        reason += strlen("Verify error:");
        std::string why = output.substr(reason, output.find('\n', reason) - reason);
        why = why.substr(why.find_first_not_of(' '));
        return "is signed, but its certificate is not trusted (" + why + ")" +
               (caFile.empty() ? "; for a private CA give its certificate with --ca FILE"
                               : "; the CA certificates are those of " + caFile);
    }
    if (output.find("signature failure") != std::string::npos)
        return "is signed, but its signature is damaged";
    return "is signed, but its signature does not verify: " + Complaint(output);
}

} // namespace

const char *SigningToolName()
{
    return kTool;
}

bool IsPeImage(const std::string &bytes)
{
    return SecurityEntryAt(bytes) != 0;
}

bool HasSignature(const std::string &bytes)
{
    size_t entry = SecurityEntryAt(bytes);
    return entry != 0 && Get32(bytes, entry + 4) != 0;
}

bool SignPeFile(const std::string &path, const SignOptions &options, std::string *why)
{
    std::string tool;
    if (!FindTool(&tool, why))
        return false;
    std::string signing = path + ".signing";
    remove(signing.c_str());
    if (!SignInto(tool, path, signing, options, why))
        return false;
    CopyFileTime(path, signing);
    if (!ReplaceFile(signing, path)) {
        remove(signing.c_str());
        *why = "cannot be replaced by its signed copy";
        return false;
    }
    return true;
}

bool SignPeBytes(std::string *bytes, const SignOptions &options, std::string *why)
{
    if (!IsPeImage(*bytes) || HasSignature(*bytes))
        return true;
    std::string temp;
    if (!MakeTempFile(&temp)) {
        *why = "no temporary file can be made to sign it in";
        return false;
    }
    std::string signedBytes;
    bool ok = WriteWholeFile(temp, *bytes) && SignPeFile(temp, options, why) &&
              ReadWholeFile(temp, &signedBytes, false);
    if (ok)
        bytes->swap(signedBytes);
    else if (why->empty())
        *why = "its temporary copy " + temp + " cannot be written or read";
    remove(temp.c_str());
    return ok;
}

bool SigningWorks(const SignOptions &options, const std::string &sample, std::string *why)
{
    std::string tool, bytes;
    if (!FindTool(&tool, why))
        return false;
    if (!IsFile(options.certificate)) {
        *why = "the certificate " + options.certificate + " is missing";
        return false;
    }
    if (!options.passwordFile.empty() && !ReadWholeFile(options.passwordFile, &bytes, true, 4096)) {
        *why = "the password file " + options.passwordFile + " cannot be read";
        return false;
    }
    if (!ReadWholeFile(sample, &bytes) || !IsPeImage(bytes)) {
        *why = sample + " is no program to sign";
        return false;
    }
    // A signed sample is signed again: its signature is replaced in the copy.
    std::string temp;
    if (!MakeTempFile(&temp)) {
        *why = "no temporary file can be made";
        return false;
    }
    bool ok = WriteWholeFile(temp, bytes) && SignPeFile(temp, options, why);
    remove(temp.c_str());
    if (!ok)
        *why = options.certificate + " cannot sign: " + *why;
    return ok;
}

void CheckSignatures(const std::string &distribution, const std::string &caFile,
                     Diagnostics *problems, std::vector<std::string> *notes)
{
    struct Program {
        std::string name, path; // path: the file, or its expanded copy
        bool expanded, signedNow;
    };
    std::vector<Program> programs;
    std::vector<FolderItem> items;
    ListFolder(distribution, &items);
    for (const FolderItem &item : items) {
        std::string path = JoinHost(distribution, item.name), bytes;
        if (item.kind != PathKind::File || !ReadHead(path, &bytes))
            continue;
        bool expanded =
            SzddStartsLike(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size()) &&
            ExpandProgram(path, &bytes);
        if (!IsPeImage(bytes))
            continue;
        Program program = {item.name, path, expanded, HasSignature(bytes)};
        // The tool verifies files: an expanded program gets a temporary one.
        if (expanded && program.signedNow &&
            !(MakeTempFile(&program.path) && WriteWholeFile(program.path, bytes)))
            continue;
        programs.push_back(program);
    }
    bool anySigned = false;
    for (const Program &program : programs)
        anySigned = anySigned || program.signedNow;
    std::string tool, why;
    bool canVerify = anySigned && FindTool(&tool, &why);
    if (anySigned && !canVerify)
        notes->push_back("signatures were not verified: " + why);
    for (const Program &program : programs) {
        if (!program.signedNow && (anySigned || !caFile.empty()))
            problems->Add(Severity::Warning, program.name,
                          std::string("is not signed") +
                              (anySigned ? ", unlike the distribution's other programs" : "") +
                              ": Windows names no publisher for it");
        else if (canVerify) {
            std::string failure = VerifyFailure(tool, program.path, caFile);
            if (!failure.empty())
                problems->Add(Severity::Warning, program.name, failure);
        }
        if (program.expanded && program.path != JoinHost(distribution, program.name))
            remove(program.path.c_str());
    }
    if (!anySigned && !programs.empty())
        notes->push_back("no program is signed: SmartScreen warns about a downloaded setup.exe "
                         "without a publisher (kvlship build --sign CERT.pfx)");
}

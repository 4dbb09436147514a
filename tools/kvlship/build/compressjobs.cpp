// Compressing and writing the product's files on worker threads.
#include "build/compressjobs.h"

#include "build/writers.h"
#include "common/hostfs.h"
#include "common/textout.h"
#include "formats/lzencode.h"

#include <stdio.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace
{

// What became of one product file, for its progress line.
struct FileDone {
    bool done = false;
    bool ok = false;
    unsigned long long size = 0;       // the source's
    unsigned long long storedSize = 0; // as it ships
};

// The largest file the LZ format holds: its header keeps the size in 32 bits.
constexpr unsigned long long kLzLargest = 0xFFFFFFFFull;

bool ToString(void *context, const unsigned char *data, size_t size)
{
    static_cast<std::string *>(context)->append(reinterpret_cast<const char *>(data), size);
    return true;
}

// One encoder per thread: its tables are large, and each thread compresses
// one file at a time.
bool Compress(const std::string &bytes, char lastChar, std::string *out)
{
    thread_local std::unique_ptr<SzddEncoder> encoder(new SzddEncoder);
    out->clear();
    if (bytes.size() > 0xffffffffu)
        return false;
    SzddEncoderInit(encoder.get(), static_cast<uint32_t>(bytes.size()),
                    static_cast<unsigned char>(lastChar), ToString, out);
    return SzddEncoderWrite(encoder.get(), bytes.data(), bytes.size()) &&
           SzddEncoderFinish(encoder.get());
}

// A product's program signed in memory, before it is compressed; a program
// signed already keeps its signature.
bool SignProgram(const std::string &source, const SignOptions &sign, std::string *bytes,
                 Diagnostics *diagnostics)
{
    std::string why;
    if (sign.certificate.empty() || SignPeBytes(bytes, sign, &why))
        return true;
    diagnostics->Error(source, "cannot be signed: " + why);
    return false;
}

// A plain file that nothing signs is copied as it stands, a piece at a
// time; so is one too large for the LZ format, whose header holds its size
// in 32 bits.
void StreamProductFile(const ProductFile &file, const std::string &out, unsigned long long size,
                       FileDone *result, Diagnostics *diagnostics)
{
    if (size > kLzLargest && !file.plain)
        diagnostics->Warning(file.source,
                             "holds " + std::to_string(size) +
                                 " bytes, more than the LZ format can; it ships plain");
    std::string to = JoinHost(out, file.stored);
    result->ok = CopyRegularFile(file.source, to, true);
    if (result->ok)
        CopyFileTime(file.source, to);
    else
        diagnostics->Error(to, "cannot be written");
    result->size = result->storedSize = size;
}

// Reads, compresses (unless plain) and writes one product file. A thread of
// its own tells its complaints to `diagnostics`, which no other thread touches.
void WriteProductFile(const ProductFile &file, const std::string &out, const SignOptions &sign,
                      FileDone *result, Diagnostics *diagnostics)
{
    unsigned long long size = static_cast<unsigned long long>(FileSize(file.source));
    if (size > kLzLargest || (file.plain && sign.certificate.empty()))
        return StreamProductFile(file, out, size, result, diagnostics);
    std::string bytes, stored;
    result->ok = ReadWholeFile(file.source, &bytes) &&
                 SignProgram(file.source, sign, &bytes, diagnostics) &&
                 (file.plain || Compress(bytes, file.lastChar, &stored));
    // A file that compression would make larger ships as it is, under the
    // same stored name: setup tells a compressed file by its content, not by
    // its name, and copies a plain one unchanged.
    bool asIs = file.plain || stored.size() >= bytes.size();
    result->ok = result->ok && WriteOutput(JoinHost(out, file.stored), asIs ? bytes : stored,
                                           file.source, diagnostics);
    result->size = bytes.size();
    result->storedSize = asIs ? bytes.size() : stored.size();
}

unsigned WorkerCount(int jobs, size_t files)
{
    unsigned threads = jobs > 0 ? static_cast<unsigned>(jobs) : std::thread::hardware_concurrency();
    if (threads == 0)
        threads = 1;
    if (threads > files)
        threads = static_cast<unsigned>(files);
    return threads;
}

} // namespace

// Each file lands in a file of its own, so the output is the same bytes
// whatever the number of workers, and the progress lines come in the
// manifest's order.
bool WriteProductFiles(const Manifest &manifest, const std::string &out, int jobs,
                       const SignOptions &sign, Diagnostics *diagnostics)
{
    size_t count = manifest.files.size();
    std::vector<FileDone> results(count);
    std::mutex lock;
    std::condition_variable finished;
    std::atomic<size_t> next(0);
    std::atomic<bool> failed(false);
    auto work = [&]() {
        for (size_t i; !failed && (i = next++) < count;) {
            FileDone result;
            Diagnostics own(stderr, Printable);
            WriteProductFile(manifest.files[i], out, sign, &result, &own);
            result.done = true;
            if (!result.ok)
                failed = true;
            std::lock_guard<std::mutex> hold(lock);
            diagnostics->Take(own);
            results[i] = result;
            finished.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (unsigned t = WorkerCount(jobs, count); t > 0; --t)
        workers.emplace_back(work);
    // This thread prints each file's line as soon as it and those before it are done.
    bool ok = true;
    for (size_t i = 0; i < count && ok; ++i) {
        std::unique_lock<std::mutex> hold(lock);
        finished.wait(hold, [&] { return results[i].done || failed; });
        ok = results[i].done && results[i].ok;
        if (!ok)
            break;
        const ProductFile &file = manifest.files[i];
        printf("[%zu/%zu] %-14s %10llu -> %10llu bytes  %s\n", i + 1, count, file.stored.c_str(),
               results[i].size, results[i].storedSize, file.installed.c_str());
        fflush(stdout);
    }
    for (std::thread &worker : workers)
        worker.join();
    return ok && !failed;
}

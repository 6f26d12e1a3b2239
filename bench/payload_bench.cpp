// payload_bench: how fast ReadPayloadItems reads a 64 MiB movie item from a
// saver file, stored and compressed, against the bare work underneath (zlib
// inflating the same stream, a plain read of the same file), and how much
// memory the reader needs at its peak.
//
// The parent writes both payload files into a temporary folder; every
// measurement runs in a fresh process (this program re-executed with --child),
// so each peak RSS (VmHWM) belongs to one case only. Timings are the best of
// several runs. Exit code: 0 when every target is met, 2 when one is missed,
// 1 on an error.
#include "payload/ExeAdder.h"
#include "saverkit/PayloadWriter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>
#include <zlib.h>

extern char** environ;

namespace {

constexpr size_t PlainSize = 64u << 20;
constexpr int DefaultRuns = 5;
constexpr double MB = 1e6;
constexpr double MiB = 1024.0 * 1024.0;
constexpr double RatioTarget = 0.9;
constexpr int64_t PeakSlack = 16 << 20;
const std::string MovieName = "movie";

using TBytes = std::vector<uint8_t>;
using TClock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

[[noreturn]] void FailErrno(const std::string& what) { Fail(what + ": " + std::strerror(errno)); }

class TFd {
public:
    explicit TFd(int fd = -1) : fd_(fd) {}
    ~TFd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFd(TFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    TFd& operator=(TFd&&) = delete;
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;

    int Get() const { return fd_; }
    void Close()
    {
        if (fd_ >= 0)
            ::close(std::exchange(fd_, -1));
    }

private:
    int fd_;
};

struct TFree {
    void operator()(uint8_t* block) const { std::free(block); }
};
using TBlock = std::unique_ptr<uint8_t, TFree>;

// A fresh, untouched block: the page faults of its first use are part of every
// measurement, as they are for the reader's own blocks.
TBlock Allocate(size_t size)
{
    TBlock block(static_cast<uint8_t*>(std::malloc(size)));
    if (!block)
        Fail("out of memory for " + std::to_string(size) + " bytes");
    return block;
}

class TTempFolder {
public:
    TTempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "payload_bench.XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            FailErrno("mkdtemp");
        path_ = pattern;
    }
    ~TTempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// splitmix64: fast and fixed, so every run packs the same bytes.
class TRandom {
public:
    uint64_t Next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }

private:
    uint64_t state_ = 0x5EED;
};

// Bytes shaped like a Flash movie, in 4 KiB chunks: embedded JPEG and MP3 data
// that deflate cannot shrink, shape records of small coordinate deltas that it
// packs moderately, and frames that repeat one of the last few chunks (within
// deflate's 32 KiB window) with a few changes. Packs about 2.7:1.
TBytes MovieLike(size_t size)
{
    constexpr size_t chunk = 4096;
    constexpr uint32_t window = 7; // chunks back a repeat may reach
    TRandom random;
    TBytes out(size);
    for (size_t at = 0; at < size; at += chunk) {
        uint8_t* block = out.data() + at;
        size_t length = std::min(chunk, size - at);
        uint32_t kind = random.Below(100);
        if (kind < 20 || at < window * chunk) {
            for (size_t i = 0; i < length; ++i)
                block[i] = static_cast<uint8_t>(random.Next());
        } else if (kind < 60) {
            for (size_t i = 0; i + 1 < length; i += 2) {
                auto delta = static_cast<int16_t>(static_cast<int>(random.Below(16)) - 8);
                block[i] = static_cast<uint8_t>(delta);
                block[i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(delta) >> 8);
            }
        } else {
            size_t back = (random.Below(window) + 1) * chunk;
            std::memcpy(block, block - back, length);
            for (int edits = 0; edits < 8; ++edits)
                block[random.Below(static_cast<uint32_t>(length))] = static_cast<uint8_t>(random.Next());
        }
    }
    return out;
}

uint32_t Crc(const uint8_t* bytes, size_t size)
{
    uLong crc = crc32(0, nullptr, 0);
    for (size_t done = 0; done < size;) {
        auto step = static_cast<uInt>(std::min<size_t>(size - done, 1u << 30));
        crc = crc32(crc, bytes + done, step);
        done += step;
    }
    return static_cast<uint32_t>(crc);
}

// Where the first item's data lies in a saver file: behind the image, the body
// header (NameKey, count), the name length, the name, the flag and the length.
struct TDataRange {
    int64_t Offset = 0;
    int64_t Length = 0;
};

TDataRange FirstItemData(const TBytes& file, size_t imageSize)
{
    size_t lengthAt = imageSize + saver::PayloadBodyHeaderSize + 4 + MovieName.size() + 1;
    uint32_t length = 0;
    for (int i = 3; i >= 0; --i)
        length = (length << 8) | file.at(lengthAt + static_cast<size_t>(i));
    return {static_cast<int64_t>(lengthAt + 4), static_cast<int64_t>(length)};
}

void WriteFile(const std::filesystem::path& path, const TBytes& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        Fail("cannot write " + path.string());
}

int64_t PeakRss()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    Fail("no VmHWM in /proc/self/status");
}

// ---- the measurements, each in a child process of its own ----

struct TMeasurement {
    double Seconds = 0;
    int64_t PeakBytes = 0;
    uint32_t Crc = 0;
    int64_t Size = 0;
};

void ReadFully(int fd, uint8_t* into, size_t count, off_t offset)
{
    for (size_t done = 0; done < count;) {
        ssize_t got = ::pread(fd, into + done, count - done, offset + static_cast<off_t>(done));
        if (got <= 0)
            FailErrno("read");
        done += static_cast<size_t>(got);
    }
}

TMeasurement MeasureReader(const std::string& file, int runs)
{
    // The checksum is taken after the clock stops, over the block the run returned.
    TMeasurement best;
    best.Seconds = 1e30;
    for (int i = 0; i < runs; ++i) {
        saver::TItemTypes items;
        auto start = TClock::now();
        saver::ReadPayloadItems(file, items);
        double seconds = std::chrono::duration<double>(TClock::now() - start).count();
        if (items.size() != 1)
            Fail("the reader found " + std::to_string(items.size()) + " items instead of 1");
        best.Seconds = std::min(best.Seconds, seconds);
        best.Size = items[0].Size;
        best.Crc = Crc(items[0].Bytes(), static_cast<size_t>(items[0].Size));
    }
    return best;
}

TMeasurement MeasureBareRead(const std::string& file, int runs)
{
    TMeasurement best;
    best.Seconds = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto start = TClock::now();
        TFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat info {};
        if (fd.Get() < 0 || ::fstat(fd.Get(), &info) != 0)
            FailErrno("open " + file);
        auto size = static_cast<size_t>(info.st_size);
        TBlock block = Allocate(size);
        ReadFully(fd.Get(), block.get(), size, 0);
        fd.Close();
        double seconds = std::chrono::duration<double>(TClock::now() - start).count();
        best.Seconds = std::min(best.Seconds, seconds);
        best.Size = static_cast<int64_t>(size);
        best.Crc = Crc(block.get(), size);
    }
    return best;
}

TMeasurement MeasureBareInflate(const std::string& file, TDataRange range, size_t plainSize, int runs)
{
    TBlock packed = Allocate(static_cast<size_t>(range.Length));
    {
        TFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.Get() < 0)
            FailErrno("open " + file);
        ReadFully(fd.Get(), packed.get(), static_cast<size_t>(range.Length), static_cast<off_t>(range.Offset));
    }
    TMeasurement best;
    best.Seconds = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto start = TClock::now();
        TBlock plain = Allocate(plainSize);
        z_stream stream{};
        if (inflateInit(&stream) != Z_OK)
            Fail("inflateInit failed");
        stream.next_in = packed.get();
        stream.avail_in = static_cast<uInt>(range.Length);
        stream.next_out = plain.get();
        stream.avail_out = static_cast<uInt>(plainSize);
        int result = Z_OK;
        while (result == Z_OK)
            result = inflate(&stream, Z_NO_FLUSH);
        size_t produced = stream.total_out;
        inflateEnd(&stream);
        double seconds = std::chrono::duration<double>(TClock::now() - start).count();
        if (result != Z_STREAM_END)
            Fail(std::string("bare inflate failed: ") + zError(result));
        best.Seconds = std::min(best.Seconds, seconds);
        best.Size = static_cast<int64_t>(produced);
        best.Crc = Crc(plain.get(), produced);
    }
    return best;
}

int RunChild(int argc, char** argv)
{
    // --child MODE FILE RUNS [OFFSET LENGTH PLAIN]
    if (argc < 5)
        Fail("bad child arguments");
    std::string mode = argv[2];
    std::string file = argv[3];
    int runs = std::atoi(argv[4]);
    TMeasurement m;
    if (mode == "reader")
        m = MeasureReader(file, runs);
    else if (mode == "read")
        m = MeasureBareRead(file, runs);
    else if (mode == "inflate" && argc == 8)
        m = MeasureBareInflate(file, {std::atoll(argv[5]), std::atoll(argv[6])},
                               static_cast<size_t>(std::atoll(argv[7])), runs);
    else
        Fail("bad child mode " + mode);
    m.PeakBytes = PeakRss();
    std::printf("%.9f %lld %u %lld\n", m.Seconds, static_cast<long long>(m.PeakBytes), m.Crc,
                static_cast<long long>(m.Size));
    return 0;
}

// ---- the parent ----

TMeasurement Spawn(const std::vector<std::string>& arguments)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        FailErrno("pipe");
    TFd readEnd(pipeFds[0]);
    TFd writeEnd(pipeFds[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    std::unique_ptr<posix_spawn_file_actions_t, int (*)(posix_spawn_file_actions_t*)> actionsOwner(
        &actions, posix_spawn_file_actions_destroy);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDOUT_FILENO);

    std::vector<std::string> all{"/proc/self/exe", "--child"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t child = 0;
    int spawned = posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    if (spawned != 0) {
        errno = spawned;
        FailErrno("posix_spawn");
    }
    writeEnd.Close();
    std::string output;
    char buffer[256];
    for (ssize_t got; (got = ::read(readEnd.Get(), buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            FailErrno("read from child");
        output.append(buffer, static_cast<size_t>(got));
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            FailErrno("waitpid");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Fail("the " + arguments.at(0) + " measurement failed");

    TMeasurement m;
    long long peak = 0;
    long long size = 0;
    if (std::sscanf(output.c_str(), "%lf %lld %u %lld", &m.Seconds, &peak, &m.Crc, &size) != 4)
        Fail("unreadable child output: " + output);
    m.PeakBytes = peak;
    m.Size = size;
    return m;
}

double MBps(size_t bytes, double seconds) { return static_cast<double>(bytes) / MB / seconds; }

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

void PrintLine(const char* what, const TMeasurement& m)
{
    std::printf("  %-26s %8.1f MB/s  %8.2f ms   peak RSS %7.1f MiB\n", what, MBps(PlainSize, m.Seconds),
                m.Seconds * 1e3, static_cast<double>(m.PeakBytes) / MiB);
}

// Prints one case and returns whether both targets are met.
bool Report(const char* title, const TMeasurement& reader, const TMeasurement& bare, const char* bareName,
            int64_t storedSize, bool ratioTarget)
{
    int64_t peakLimit = storedSize + static_cast<int64_t>(PlainSize) + PeakSlack;
    double ratio = bare.Seconds / reader.Seconds;
    bool peakMet = reader.PeakBytes <= peakLimit;
    std::printf("%s\n", title);
    PrintLine("ReadPayloadItems(file)", reader);
    PrintLine(bareName, bare);
    if (ratioTarget)
        std::printf("  reader/bare                %8.3f       target >= %.2f: %s\n", ratio, RatioTarget,
                    Verdict(ratio >= RatioTarget));
    else
        std::printf("  reader/bare                %8.3f       (no target)\n", ratio);
    std::printf("  reader peak %.1f MiB       limit stored + plain + 16 MiB = %.1f MiB: %s\n",
                static_cast<double>(reader.PeakBytes) / MiB, static_cast<double>(peakLimit) / MiB,
                Verdict(peakMet));
    return peakMet && (!ratioTarget || ratio >= RatioTarget);
}

void Verify(const char* what, const TMeasurement& m, uint32_t crc, int64_t size)
{
    if (m.Crc != crc || m.Size != size)
        Fail(std::string(what) + " returned other bytes than were written");
}

int RunParent(int runs)
{
    TTempFolder folder;
    const TBytes image(4096, 0x90);

    std::printf("payload_bench: one %zu MiB item per payload, best of %d runs, MB = 10^6 bytes of plain data\n",
                PlainSize >> 20, runs);
    std::fflush(stdout);
    TBytes plain = MovieLike(PlainSize);
    uint32_t plainCrc = Crc(plain.data(), plain.size());

    auto makeFile = [&](const char* name, bool compress) {
        TBytes file = image;
        TBytes payload = saverkit::EncodePayload({saverkit::TPayloadItem{MovieName, plain, compress}}, {});
        file.insert(file.end(), payload.begin(), payload.end());
        std::filesystem::path path = folder.Path() / name;
        WriteFile(path, file);
        return std::make_pair(path.string(), FirstItemData(file, image.size()));
    };
    auto [packedFile, packed] = makeFile("compressed.scr", true);
    auto [storedFile, stored] = makeFile("stored.scr", false);
    int64_t storedFileSize = static_cast<int64_t>(std::filesystem::file_size(storedFile));
    std::printf("compressed stream %lld bytes, %.2f:1\n\n", static_cast<long long>(packed.Length),
                static_cast<double>(PlainSize) / static_cast<double>(packed.Length));
    std::fflush(stdout);

    std::string runsText = std::to_string(runs);
    TMeasurement packedReader = Spawn({"reader", packedFile, runsText});
    TMeasurement packedBare = Spawn({"inflate", packedFile, runsText, std::to_string(packed.Offset),
                                     std::to_string(packed.Length), std::to_string(PlainSize)});
    TMeasurement storedReader = Spawn({"reader", storedFile, runsText});
    TMeasurement storedBare = Spawn({"read", storedFile, runsText});
    Verify("ReadPayloadItems (compressed)", packedReader, plainCrc, PlainSize);
    Verify("bare inflate", packedBare, plainCrc, PlainSize);
    Verify("ReadPayloadItems (stored)", storedReader, plainCrc, PlainSize);
    if (storedBare.Size != storedFileSize)
        Fail("the bare read came up short");

    bool met = Report("compressed item", packedReader, packedBare, "bare zlib inflate", packed.Length, true);
    met = Report("stored item", storedReader, storedBare, "bare read of the file", stored.Length, false) && met;
    std::printf("\nall targets %s\n", met ? "met" : "NOT met");
    return met ? 0 : 2;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        if (argc >= 2 && std::strcmp(argv[1], "--child") == 0)
            return RunChild(argc, argv);
        int runs = argc >= 2 ? std::atoi(argv[1]) : DefaultRuns;
        if (argc > 2 || runs < 1) {
            std::fprintf(stderr, "usage: %s [RUNS]\n", argv[0]);
            return 1;
        }
        return RunParent(runs);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "payload_bench: %s\n", error.what());
        return 1;
    }
}

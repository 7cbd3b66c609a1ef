// Opening a file as the application does (OrganizationDocument::readFile), each in a fresh
// child process so that its peak memory is its own: large texts of the shapes that cost
// most, a real district, and a district followed by a long run of NUL bytes (as a crash or
// a preallocating tool leaves a file). Counters: fileMB, the file's size; peakMB, the
// child's peak resident memory (VmHWM) above what it held before reading; keptMB, what it
// still holds once the document is read (nothing when the file is refused).
#include "app/shell/organization_document.h"
#include "bench/district_generator.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr const char *childFlag = "--read-in-child";

// A line of /proc/self/status, in kB.
long statusKB(const char *key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::strlen(key)));
    }
    return 0;
}

// The child: reads `path` and prints its figures on one line.
int readInChild(const char *path)
{
    const long before = statusKB("VmHWM:");
    const auto start = std::chrono::steady_clock::now();
    std::string outcome = "read";
    std::optional<OrganizationArchive> archive;
    try {
        archive = OrganizationDocument::readFile(QString::fromLocal8Bit(path));
    } catch (const OrganizationError &error) {
        outcome = error.message().substr(0, 120);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long peak = statusKB("VmHWM:");
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the file's bytes are freed on another thread
    malloc_trim(0);
    const long kept = statusKB("VmRSS:");
    std::printf("%ld %ld %ld %.6f %s\n", before, peak, kept, seconds, outcome.c_str());
    return 0;
}

struct ChildFigures {
    double peakMB = 0;
    double keptMB = 0;
    double seconds = 0;
    std::string outcome;
};

ChildFigures readInFreshProcess(const std::filesystem::path &file)
{
    int out[2];
    if (pipe(out) != 0)
        std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string self = std::filesystem::read_symlink("/proc/self/exe");
    std::string flag = childFlag;
    std::string path = file.string();
    char *argv[] = {self.data(), flag.data(), path.data(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, self.c_str(), &actions, nullptr, argv, environ) != 0)
        std::abort();
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    long before = 0, peak = 0, kept = 0;
    double seconds = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%ld %ld %ld %lf %n", &before, &peak, &kept, &seconds, &used) < 4)
        return {0, 0, 0, "child failed: " + text};
    return {double(peak - before) / 1024, double(kept - before) / 1024, seconds, text.substr(size_t(used))};
}

std::filesystem::path folder()
{
    static const std::filesystem::path path = [] {
        char name[] = "/tmp/vantrel-reading-XXXXXX";
        if (!mkdtemp(name))
            std::abort();
        return std::filesystem::path(name);
    }();
    return path;
}

struct RemoveFolder {
    ~RemoveFolder() { std::filesystem::remove_all(folder()); }
};

void writeFile(const std::filesystem::path &path, const std::string &head, size_t fill, char with,
               const std::string &tail = {})
{
    std::ofstream file(path, std::ios::binary);
    file << head;
    const std::string block(1 << 20, with);
    for (size_t left = fill; left > 0;) {
        const size_t n = std::min(left, block.size());
        file.write(block.data(), std::streamsize(n));
        left -= n;
    }
    file << tail;
}

// The district of the other document benchmarks: 20,000 positions and 50 saved versions.
std::string districtText(int positions, int versions)
{
    std::mt19937 random(7);
    OrganizationArchive archive =
        OrganizationArchive::make("District", BenchDistrict::DistrictGenerator(42).make(positions));
    auto &all = archive.organization.positions;
    for (int v = 0; v < versions; ++v) {
        all[1 + random() % (all.size() - 1)].department = "Edited " + std::to_string(v);
        archive.checkpoint("Before editing");
    }
    return archive.encodeDocument();
}

constexpr size_t shapeBytes = size_t(256) << 20;

void report(benchmark::State &state, const std::filesystem::path &file)
{
    ChildFigures figures;
    for (auto _ : state) {
        figures = readInFreshProcess(file);
        state.SetIterationTime(figures.seconds);
    }
    state.counters["fileMB"] = double(std::filesystem::file_size(file)) / (1 << 20);
    state.counters["peakMB"] = figures.peakMB;
    state.counters["keptMB"] = figures.keptMB;
    state.SetLabel(figures.outcome.substr(0, 60));
    std::filesystem::remove(file);
}

void BM_ReadOpenBraceAndSpaces(benchmark::State &state)
{
    const auto file = folder() / "spaces.json";
    writeFile(file, "{", shapeBytes, ' ');
    report(state, file);
}

void BM_ReadUnendedString(benchmark::State &state)
{
    const auto file = folder() / "unended.json";
    writeFile(file, "{\"name\": \"", shapeBytes, 'x');
    report(state, file);
}

// A document that keeps the long string as its name.
void BM_ReadLongName(benchmark::State &state)
{
    const auto file = folder() / "name.json";
    writeFile(file, "{\"name\": \"", shapeBytes, 'x', "\", \"organization\": {\"positions\": []}, \"revisions\": []}");
    report(state, file);
}

void BM_ReadDistrict(benchmark::State &state)
{
    const auto file = folder() / "district.json";
    writeFile(file, districtText(20000, 50), 0, ' ');
    report(state, file);
}

// Districts of about 6 MB, 60 MB and 480 MB (documentMB) followed by NULs up to 2 GB, which
// take no room on disk.
void BM_ReadDistrictAndNuls(benchmark::State &state)
{
    const auto file = folder() / "district-nuls.json";
    const std::string text = districtText(int(state.range(0)), 50);
    writeFile(file, text, 0, ' ');
    if (truncate(file.c_str(), off_t(2) << 30) != 0)
        std::abort();
    state.counters["documentMB"] = double(text.size()) / (1 << 20);
    report(state, file);
}

BENCHMARK(BM_ReadOpenBraceAndSpaces)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_ReadUnendedString)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_ReadLongName)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_ReadDistrict)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_ReadDistrictAndNuls)->Arg(250)->Arg(2500)->Arg(20000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], childFlag) == 0)
        return readInChild(argv[2]);
    const RemoveFolder removeFolder;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

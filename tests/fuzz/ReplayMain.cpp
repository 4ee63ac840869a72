// Replays a fuzzer's saved inputs without libFuzzer: every file in the
// folders given (its corpus and its findings), or a file given itself, goes
// through the harness's LLVMFuzzerTestOneInput in name order, so `make test`
// fails when a harness breaks on an input it once passed or a mended finding
// comes back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// The files in a folder; a file given itself is one input, as for libFuzzer.
std::vector<std::filesystem::path> InputsIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    if (std::filesystem::is_regular_file(folder, ec)) {
        return {folder};
    }
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->is_regular_file()) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::uint8_t> Bytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& file : InputsIn(argv[i])) {
            // Named first: a crash ends the process before anything else is said.
            std::fprintf(stderr, "replaying %s\n", file.c_str());
            const std::vector<std::uint8_t> bytes = Bytes(file);
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    std::fprintf(stderr, "%d inputs replayed\n", replayed);
    // No input at all means the folders were not found: a test that checks nothing.
    return replayed > 0 ? 0 : 1;
}

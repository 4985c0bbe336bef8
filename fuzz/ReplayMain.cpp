// Runs a fuzz target without libFuzzer: every file of the folders (or the files)
// named on the command line goes once through LLVMFuzzerTestOneInput. The test
// build uses it to replay the seed corpora and the inputs that once failed.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int Replay(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // A copy of exactly the file's size, so reading one byte too far is caught.
    std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    const std::uint8_t* data = input.empty() ? nullptr : input.data();
    LLVMFuzzerTestOneInput(data, input.size());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int failures = 0;
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const auto& file : files) {
                failures += Replay(file);
                ++replayed;
            }
        } else if (std::filesystem::exists(path)) {
            failures += Replay(path);
            ++replayed;
        }
    }
    std::printf("%zu inputs replayed\n", replayed);
    // No input at all means a corpus folder went missing, not a clean run.
    return failures == 0 && replayed > 0 ? 0 : 1;
}

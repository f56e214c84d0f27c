// Runs a fuzz target once over every file in the directories (or files) given
// on the command line: how the kept inputs run as ordinary tests in builds
// without libFuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size);

namespace
{
void runFile (const std::filesystem::path& path)
{
    std::ifstream in (path, std::ios::binary);
    const std::vector<char> bytes ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char>());
    // A heap block of exactly the input's length, as libFuzzer hands it over.
    std::vector<uint8_t> data (bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput (data.empty() ? nullptr : data.data(), data.size());
}
} // namespace

int main (int argc, char** argv)
{
    int count = 0;
    for (int i = 1; i < argc; ++i)
    {
        const std::filesystem::path path (argv[i]);
        if (std::filesystem::is_directory (path))
        {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator (path))
                if (entry.is_regular_file())
                    files.push_back (entry.path());
            std::sort (files.begin(), files.end());
            for (const auto& file : files)
            {
                runFile (file);
                ++count;
            }
        }
        else if (std::filesystem::is_regular_file (path))
        {
            runFile (path);
            ++count;
        }
    }
    std::printf ("%d inputs ran\n", count);
    return count > 0 ? 0 : 1;
}

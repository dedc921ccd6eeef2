// Runs a fuzz target's entry point over saved inputs (files, or every file under the folders
// given), without libFuzzer: the sanitized test build replays the corpora and saved crashers.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int k = 1; k < argc; ++k) {
        std::error_code ec;
        if (fs::is_directory(argv[k], ec)) {
            for (const auto& e : fs::recursive_directory_iterator(argv[k], ec))
                if (e.is_regular_file(ec)) inputs.push_back(e.path());
        } else {
            inputs.emplace_back(argv[k]);
        }
    }
    for (const auto& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}

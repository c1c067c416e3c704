#include "tests/support/SharedFiles.h"

#include <cstdlib>
#include <vector>

std::filesystem::path realFilesFolder()
{
    std::vector<std::filesystem::path> candidates;
    if (const char* given = std::getenv("PF_M3G_REAL"))
        candidates.emplace_back(given);
    if (const char* source = std::getenv("PF_SOURCE_DIR")) {
        candidates.push_back(std::filesystem::path(source) / "../shared/m3g-real");
        candidates.push_back(std::filesystem::path(source) / "../../shared/m3g-real");
    }
    for (const auto& c : candidates)
        if (std::filesystem::is_directory(c))
            return c;
    return {};
}

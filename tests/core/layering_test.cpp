// The core's folders depend one way: support <- model <- document <- chart, entry, import,
// planning; update needs only support. Nothing in core/ includes Qt.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// What each folder may include besides itself.
const std::map<std::string, std::set<std::string>> &allowedIncludes()
{
    static const std::map<std::string, std::set<std::string>> allowed = {
        {"support", {}},
        {"model", {"support"}},
        {"document", {"support", "model"}},
        {"chart", {"support", "model", "document"}},
        {"entry", {"support", "model", "document"}},
        {"import", {"support", "model", "document"}},
        {"planning", {"support", "model", "document"}},
        {"update", {"support"}},
    };
    return allowed;
}

std::vector<std::string> layeringFaults(const fs::path &coreRoot)
{
    static const std::regex projectInclude(R"re(^\s*#\s*include\s*"core/([^/"]+)/)re");
    static const std::regex anyInclude(R"re(^\s*#\s*include\s*[<"]([^>"]+)[>"])re");
    std::vector<std::string> faults;
    for (const auto &entry : fs::recursive_directory_iterator(coreRoot)) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp"))
            continue;
        const fs::path relative = fs::relative(entry.path(), coreRoot);
        const std::string folder = relative.begin()->string();
        const std::string name = "core/" + relative.generic_string();
        const auto allowed = allowedIncludes().find(folder);
        if (allowed == allowedIncludes().end()) {
            faults.push_back(name + " is outside the subsystem folders");
            continue;
        }
        std::ifstream in(entry.path());
        std::string line;
        std::smatch match;
        while (std::getline(in, line)) {
            if (std::regex_search(line, match, projectInclude)) {
                const std::string target = match[1];
                if (target != folder && !allowed->second.contains(target))
                    faults.push_back(name + " includes " + line.substr(line.find('"')));
            } else if (std::regex_search(line, match, anyInclude)) {
                const std::string header = match[1];
                if (header.starts_with("Q") || header.starts_with("qt"))
                    faults.push_back(name + " includes Qt: " + header);
            }
        }
    }
    return faults;
}

} // namespace

TEST(Layering, CoreFoldersIncludeOnlyLowerOnesAndNoQt)
{
    const std::vector<std::string> faults = layeringFaults(fs::path(VANTREL_SOURCE_DIR) / "core");
    std::string report;
    for (const std::string &fault : faults)
        report += fault + "\n";
    EXPECT_TRUE(faults.empty()) << report;
}

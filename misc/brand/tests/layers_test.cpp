// The tool's folders are layers: each includes only the layers below it, and
// the engine knows no front end (it reports through engine/reporter.h).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Layer {
  const char* folder;
  std::set<std::string> mayInclude;  // first parts of quoted includes
};

const Layer kLayers[] = {
    {"text", {"text", "julib", "platform"}},
    {"version", {"version", "text", "julib", "platform"}},
    {"rewrite", {"rewrite", "text", "julib", "platform"}},
    {"engine", {"engine", "rewrite", "version", "text", "julib", "platform", "brand_messages.h"}},
    {"console", {"console", "engine", "text", "julib", "platform", "brand_messages.h"}},
    {"dialogs", {"dialogs", "engine", "text", "julib", "platform", "brand_messages.h", "dialogs.def"}},
};

TEST(BrandLayers, EachFolderIncludesOnlyTheLayersBelowIt) {
  const std::regex include(R"re(^\s*#\s*include\s*"([^"/]+)(/([^"]*))?")re");
  for (const Layer& layer : kLayers) {
    const fs::path folder = fs::path(BRAND_SOURCE_DIR) / layer.folder;
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    for (const auto& entry : fs::directory_iterator(folder)) {
      std::ifstream in(entry.path());
      std::string line;
      for (int number = 1; std::getline(in, line); ++number) {
        std::smatch match;
        if (!std::regex_search(line, match, include)) continue;
        const std::string first = match[1];
        const std::string rest = match[3];
        SCOPED_TRACE(entry.path().string() + ":" + std::to_string(number));
        EXPECT_TRUE(layer.mayInclude.count(first) != 0) << line;
        // The platform's dialog model is a front end's alone.
        if (std::string(layer.folder) != "dialogs") {
          EXPECT_NE(rest.rfind("dialogs/", 0), 0u) << line;
        }
      }
    }
  }
}

}  // namespace

#include "support/kx_portable_dir.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class directory_walk : public testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("resq_walk_" + std::to_string(getpid()));
        fs::remove_all(root);
        for (const char* dir : {"b", "a", "a/deep", "a/deep/deeper"}) {
            fs::create_directories(root / dir);
        }
        for (const char* file :
             {"z.txt", "m.log", "b/2.txt", "a/1.txt", "a/deep/3.txt", "a/deep/deeper/4.txt"}) {
            std::ofstream(root / file) << "x";
        }
        fs::create_directory_symlink(root, root / "b" / "loop");
    }
    void TearDown() override { fs::remove_all(root); }

    std::vector<std::string> walk(uint32_t depth, const std::string& filter = "") {
        std::vector<resq::filter_entry> filters;
        if (!filter.empty()) {
            resq::build_filter_list(filters, filter);
        }
        std::istringstream unused;
        kxportdir::stdin_stream_ex reader(unused);
        EXPECT_TRUE(reader.open_dir(root.string(), depth, filters));
        std::vector<std::string> paths;
        std::string line;
        while (reader.read_line(line, true)) {
            paths.push_back(fs::relative(line, root).string());
        }
        return paths;
    }

    fs::path root;
};

TEST_F(directory_walk, lists_level_by_level_in_name_order_down_to_the_depth) {
    EXPECT_EQ(walk(1), (std::vector<std::string>{"m.log", "z.txt", "a/1.txt", "b/2.txt"}));
    EXPECT_EQ(walk(2),
              (std::vector<std::string>{"m.log", "z.txt", "a/1.txt", "b/2.txt", "a/deep/3.txt"}));
}

TEST_F(directory_walk, keeps_only_files_that_pass_the_filters) {
    EXPECT_EQ(walk(3, "*.txt"), (std::vector<std::string>{"z.txt", "a/1.txt", "b/2.txt",
                                                          "a/deep/3.txt", "a/deep/deeper/4.txt"}));
}

TEST_F(directory_walk, does_not_follow_a_link_back_into_the_tree) {
    EXPECT_EQ(walk(50).size(), 6u);
}

TEST_F(directory_walk, starts_only_in_a_directory_that_can_be_listed) {
    std::istringstream unused;
    kxportdir::stdin_stream_ex reader(unused);
    for (const fs::path& start : {fs::path(), root / "missing", root / "m.log"}) {
        EXPECT_FALSE(kxportdir::readable_directory(start.string())) << start;
        EXPECT_FALSE(reader.open_dir(start.string(), 1, {})) << start;
    }
    EXPECT_TRUE(kxportdir::readable_directory(root.string()));
}

}  // namespace

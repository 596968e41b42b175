#include "support/cmd_params.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace resq {
namespace {

struct parsed {
    bool ok = false;
    cmd_params record;
    args rest;
    std::string messages;
};

parsed parse(args list) {
    parsed result;
    std::ostringstream err;
    result.ok = result.record.parse_options(list, err);
    result.rest = list;
    result.messages = err.str();
    return result;
}

TEST(cmd_params, names_the_program_and_leaves_other_options_in_place) {
    EXPECT_FALSE(parse({}).ok);
    const parsed p = parse({"/usr/bin/resq.bin", "-url", "a b"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.record.program_name, "resq");
    EXPECT_EQ(p.record.command_line, "/usr/bin/resq.bin -url \"a b\"");
    EXPECT_EQ(p.rest, (args{"/usr/bin/resq.bin", "-url", "a b"}));
    EXPECT_EQ(p.record.csv_separator, " | ");
    // The default patterns compile to year-month-day with "-" and three fraction digits.
    EXPECT_EQ(p.record.datetime_layout.date_separator, '-');
    EXPECT_EQ(p.record.datetime_layout.date_flags, 0x02 | 0x04 | 0x80);
    EXPECT_EQ(p.record.datetime_layout.time_flags, 3 << 1);
}

TEST(cmd_params, takes_options_in_its_own_order_not_the_command_line_order) {
    for (const args& list : {args{"resq", "-csv", "-xml"}, args{"resq", "-xml", "-csv"}}) {
        const parsed p = parse(list);
        EXPECT_TRUE(p.record.xml_output);
        EXPECT_FALSE(p.record.header_pending);
    }
    parsed p = parse({"resq", "-multiline", "-xml"});
    EXPECT_FALSE(p.record.xml_output);
    EXPECT_TRUE(p.record.header_pending);
    EXPECT_EQ(p.record.replace_char, 0);

    p = parse({"resq", "-csv_separator", "|", "-csv"});
    EXPECT_EQ(p.record.csv_separator, "|");
    EXPECT_EQ(p.record.replace_char, '|');
    EXPECT_TRUE(p.record.compact_output);

    p = parse({"resq", "-csv", "-pair_datetime"});
    EXPECT_EQ(p.record.csv_separator, ",");
    EXPECT_EQ(p.record.replace_with, ' ');
    EXPECT_FALSE(p.record.compact_output);
    EXPECT_EQ(p.record.datetime_layout.time_flags & 0x01, 0x01);
}

TEST(cmd_params, sets_the_separator_and_its_replacement) {
    const struct {
        const char* text;
        const char* separator;
        char replace_char, replace_with;
    } cases[] = {
        {"tab", "\t", 0, 0}, {"TAB", "\t", 0, 0},  {"\\t", "\t", 0, 0},
        {";", ";", 0, 0},    {"|", "|", '|', ';'}, {" , ", " , ", ',', ' '},
    };
    for (const auto& c : cases) {
        const parsed p = parse({"resq", "-csv_separator", c.text});
        EXPECT_EQ(p.record.csv_separator, c.separator) << c.text;
        EXPECT_EQ(p.record.replace_char, c.replace_char) << c.text;
        EXPECT_EQ(p.record.replace_with, c.replace_with) << c.text;
    }
}

TEST(cmd_params, strips_spaces_for_no_whitespace_and_quoted_fields) {
    parsed p = parse({"resq", "-no_whitespace"});
    EXPECT_EQ(p.record.csv_separator, "|");
    EXPECT_TRUE(p.record.compact_output);
    EXPECT_FALSE(p.record.keep_time_space);
    p = parse({"resq", "-enable_quoted_csv_fields"});
    EXPECT_EQ(p.record.csv_separator, "|");
    EXPECT_EQ(p.record.replace_char, 0);
    p = parse({"resq", "-csv_separator", "tab", "-enable_quoted_csv_fields"});
    EXPECT_EQ(p.record.csv_separator, "\t");
}

TEST(cmd_params, processes_the_first_verbose_consumes_foreign_options_and_refuses_sqlite) {
    cmd_params record;
    record.verbose = false;
    args list = {"resq", "-v",           "-threads", "4",      "-gzip",    "-filter_skip",
                 "a",    "-filter_skip", "b",        "-quiet", "-VERBOSE", "-verbose"};
    ASSERT_TRUE(record.parse_options(list));
    EXPECT_TRUE(record.verbose);
    EXPECT_EQ(list, (args{"resq", "-v", "-verbose"}));  // -v only counts without -verbose

    for (const char* option : {"-sqlite", "-SQLITE_LOG"}) {
        const parsed p = parse({"resq", option, "x"});
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.messages, "This option is not offered in this build\n");
    }
}

TEST(cmd_params, accepts_patterns_by_length_and_falls_back_when_they_do_not_compile) {
    parsed p = parse({"resq", "-dateformat", "MM/DD/YYYY", "-timeformat", "HH:MM:SS"});
    EXPECT_EQ(p.record.date_format, "mm/dd/yyyy");
    EXPECT_EQ(p.record.datetime_layout.date_flags, 0x02 | 0x04 | 0x40);
    EXPECT_EQ(p.record.datetime_layout.fraction_digits(), 0u);

    p = parse({"resq", "-dateformat", "yyyy/mm/dd/", "-timeformat", "hh-mm-ss"});
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.record.date_format, "yyyy-mm-dd");
    EXPECT_EQ(p.record.time_format, "hh:mm:ss.xxx");
    EXPECT_EQ(
        p.messages,
        "invalid yyyy/mm/dd/, using default format\ninvalid hh-mm-ss, using default format\n");

    p = parse({"resq", "-dateformat", "yyyy/dd/mm", "-timeformat", "hh:mm:ss"});
    EXPECT_EQ(p.record.date_format, "yyyy/dd/mm");
    EXPECT_TRUE(p.record.datetime_layout.empty());
    EXPECT_EQ(p.messages, "");
}

TEST(cmd_params, builds_filter_entries_from_each_pattern_form) {
    const struct {
        const char* value;
        const char* pattern;
        bool ends_with, starts_with, path;
    } cases[] = {
        {"*Mail*", "mail", true, true, false},  {"mail*", "mail", false, true, false},
        {"*.org", ".org", true, false, false},  {"x*y", "xy", false, false, false},
        {"/path", "/path", false, false, true},
    };
    for (const auto& c : cases) {
        std::vector<filter_entry> list;
        build_filter_list(list, c.value);
        ASSERT_EQ(list.size(), 1u) << c.value;
        EXPECT_EQ(list[0].pattern, c.pattern) << c.value;
        EXPECT_EQ(list[0].ends_with, c.ends_with) << c.value;
        EXPECT_EQ(list[0].starts_with, c.starts_with) << c.value;
        EXPECT_EQ(list[0].path_pattern, c.path) << c.value;
    }
    std::vector<filter_entry> list;
    build_filter_list(list, "a,b|c");  // bars split before commas
    build_filter_list(list, "d,e");
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].pattern, "a,b");
    EXPECT_EQ(list[3].pattern, "e");
    build_filter_list(list, "x|*");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].match_all);
}

TEST(cmd_params, reads_every_filter_and_applies_filter_path_to_all) {
    parsed p = parse({"resq", "-filter", "a", "-FILTER", "b|c", "-filter_path", "/Var/Log"});
    ASSERT_EQ(p.record.filter_list.size(), 3u);
    EXPECT_EQ(p.record.filter_list[0].pattern, "/var/log");
    EXPECT_EQ(p.record.filter_list[2].pattern, "/var/log");
    EXPECT_EQ(p.rest, (args{"resq"}));
    p = parse({"resq", "-filter_path", "/x"});  // without a filter it is not looked at
    EXPECT_EQ(p.rest.size(), 3u);
}

TEST(cmd_params, expands_set_environment_names_up_to_513_characters) {
    ::setenv("RESQ_TEST_DIR", "/tmp/r", 1);
    ::unsetenv("RESQ_TEST_UNSET");
    EXPECT_EQ(expand_env_vars("%RESQ_TEST_UNSET%/%RESQ_TEST_DIR%"), "%RESQ_TEST_UNSET%//tmp/r");
    EXPECT_EQ(expand_env_vars("50%"), "50%");
    const std::string full(513, 'a');
    EXPECT_EQ(expand_env_vars(full + "%RESQ_TEST_DIR%"), full + "%RESQ_TEST_DIR%");
    const std::string prefix(400, 'a');
    const std::string value(100, 'v');
    ::setenv("RESQ_TEST_LONG", value.c_str(), 1);
    EXPECT_EQ(expand_env_vars(prefix + "%RESQ_TEST_LONG%%RESQ_TEST_LONG%"),
              prefix + value + "%RESQ_TEST_LONG%");
    ::setenv("RESQ_TEST_SELF", "%RESQ_TEST_SELF%", 1);  // must not hang
    EXPECT_EQ(expand_env_vars("%RESQ_TEST_SELF%"), "%RESQ_TEST_SELF%");

    const parsed p =
        parse({"resq", "-enumdir", "%RESQ_TEST_DIR%", "-num_subdirs", "0x10", "-pipe"});
    EXPECT_EQ(p.record.enumdir_path, "/tmp/r");
    EXPECT_TRUE(p.record.enumdir_set);
    EXPECT_EQ(p.record.num_subdirs, 16u);
    EXPECT_TRUE(p.record.batch_input);
}

class cmd_params_out_path : public ::testing::Test {
  protected:
    void SetUp() override { std::filesystem::create_directories(dir_); }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    static std::string read(const std::filesystem::path& path) {
        std::stringstream text;
        text << std::ifstream(path).rdbuf();
        return text.str();
    }
    const std::filesystem::path dir_ =
        std::filesystem::temp_directory_path() / ("resq_out_" + std::to_string(::getpid()));
};

TEST_F(cmd_params_out_path, fails_for_a_missing_directory_or_a_directory_itself) {
    for (const std::string& path : {(dir_ / "missing" / "r.txt").string(), dir_.string()}) {
        const parsed p = parse({"resq", "-out", path});
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.messages, "prob opening file " + path + " for output, aborting\n");
    }
}

TEST_F(cmd_params_out_path, removes_the_file_it_created_and_keeps_an_existing_one) {
    ::setenv("RESQ_TEST_OUT", dir_.string().c_str(), 1);
    parsed p = parse({"resq", "-out", "%RESQ_TEST_OUT%\\new.txt"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.record.out_path, (dir_ / "new.txt").string());
    EXPECT_FALSE(std::filesystem::exists(dir_ / "new.txt"));
    EXPECT_FALSE(p.record.append_output);

    std::ofstream(dir_ / "old.txt") << "earlier results\n";
    p = parse({"resq", "-outfile", (dir_ / "old.txt").string(), "-append"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(read(dir_ / "old.txt"), "earlier results\n");
    EXPECT_TRUE(p.record.append_output);
    EXPECT_EQ(p.rest, (args{"resq", "-append"}));
}

TEST_F(cmd_params_out_path, diags_writes_the_command_line_to_its_file) {
    const std::string diags = (dir_ / "diags.txt").string();
    const parsed p = parse({"resq", "-diags", diags, "-l2", "-url", "x"});
    EXPECT_EQ(read(diags), "->resq -diags " + diags + " -l2 -url x\n");
    EXPECT_EQ(p.rest, (args{"resq", "-url", "x"}));
}

}  // namespace
}  // namespace resq

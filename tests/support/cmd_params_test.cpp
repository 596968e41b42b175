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
    args rest;  // what is left after the program name
    std::string messages;
};

parsed parse(const args& options) {
    parsed result;
    args list = {"resq"};
    list.insert(list.end(), options.begin(), options.end());
    std::ostringstream err;
    result.ok = result.record.parse_options(list, err);
    result.rest.assign(list.begin() + 1, list.end());
    result.messages = err.str();
    return result;
}

// The separator, the replacement pair (0 for none) and the output switches that are on.
std::string switches(const cmd_params& r) {
    std::ostringstream s;
    s << "[" << r.csv_separator << "] " << (r.replace_char ? r.replace_char : '0')
      << (r.replace_with ? r.replace_with : '0') << (r.xml_output ? " xml" : "")
      << (r.header_pending ? " header" : "") << (r.compact_output ? " compact" : "")
      << (r.keep_time_space ? " keep" : "");
    return s.str();
}

// Each entry as its pattern with the stars it had, "(path)" for a path and "(all)" for "*".
std::string shown(const std::vector<filter_entry>& list) {
    std::string text;
    for (const filter_entry& e : list) {
        text += std::string(text.empty() ? "" : " ") + (e.ends_with ? "*" : "") + e.pattern +
                (e.starts_with ? "*" : "") + (e.path_pattern ? "(path)" : "") +
                (e.match_all ? "(all)" : "");
    }
    return text;
}

std::string read_file(const std::filesystem::path& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

TEST(cmd_params, names_the_program_and_leaves_other_options_in_place) {
    cmd_params record;
    args list;
    EXPECT_FALSE(record.parse_options(list));
    list = {"/usr/bin/resq.bin", "-url", "a b"};
    ASSERT_TRUE(record.parse_options(list));
    EXPECT_EQ(record.program_name, "resq");
    EXPECT_EQ(record.command_line, "/usr/bin/resq.bin -url \"a b\"");
    EXPECT_EQ(list, (args{"/usr/bin/resq.bin", "-url", "a b"}));
}

TEST(cmd_params, takes_output_options_in_its_own_order_and_applies_the_separator_rules) {
    const std::pair<args, const char*> cases[] = {
        {{"-csv", "-xml"}, "[] 00 xml compact keep"},
        {{"-xml", "-csv"}, "[] 00 xml compact keep"},
        {{"-multiline", "-xml"}, "[] 00 header keep"},
        {{"-csv_separator", "|", "-csv"}, "[|] |; header compact keep"},
        {{"-csv", "-pair_datetime"}, "[,] ,  header keep"},
        {{"-csv_separator", "TAB"}, "[\t] 00 header keep"},
        {{"-csv_separator", "\\t"}, "[\t] 00 header keep"},
        {{"-csv_separator", ";"}, "[;] 00 header keep"},
        {{"-no_whitespace"}, "[|] |; header compact"},
        {{"-enable_quoted_csv_fields"}, "[|] 0; header"},
        {{"-csv_separator", "tab", "-enable_quoted_csv_fields"}, "[\t] 00 header"},
    };
    for (const auto& [options, expected] : cases) {
        const parsed p = parse(options);
        EXPECT_TRUE(p.ok && p.rest.empty());
        EXPECT_EQ(switches(p.record), expected) << ::testing::PrintToString(options);
    }
    EXPECT_EQ(parse({"-pair_datetime"}).record.datetime_layout.time_flags, 0x01 | 3 << 1);
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
        const parsed p = parse({option, "x"});
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.messages, "This option is not offered in this build\n");
    }
}

TEST(cmd_params, accepts_patterns_by_length_and_falls_back_when_they_do_not_compile) {
    parsed p = parse({"-dateformat", "MM/DD/YYYY", "-timeformat", "HH:MM:SS"});
    EXPECT_EQ(p.record.date_format + " " + p.record.time_format, "mm/dd/yyyy hh:mm:ss");
    EXPECT_EQ(p.record.datetime_layout.date_flags, 0x02 | 0x04 | 0x40);
    EXPECT_EQ(p.record.datetime_layout.time_flags, 0);

    p = parse({"-dateformat", "yyyy/mm/dd/", "-timeformat", "hh-mm-ss"});
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.record.date_format + " " + p.record.time_format, "yyyy-mm-dd hh:mm:ss.xxx");
    EXPECT_EQ(
        p.messages,
        "invalid yyyy/mm/dd/, using default format\ninvalid hh-mm-ss, using default format\n");

    p = parse({"-dateformat", "yyyy/dd/mm", "-timeformat", "hh:mm:ss"});
    EXPECT_EQ(p.record.date_format, "yyyy/dd/mm");
    EXPECT_TRUE(p.record.datetime_layout.empty() && p.messages.empty());
}

TEST(cmd_params, builds_filter_entries_from_each_pattern_form) {
    const std::pair<const char*, const char*> cases[] = {
        {"*Mail*", "*mail*"}, {"mail*", "mail*"},       {"*.org", "*.org"},
        {"x*y", "xy"},        {"/path", "/path(path)"}, {"a,b|c", "a,b c"},  // bars before commas
        {"d,e", "d e"}};
    for (const auto& [value, expected] : cases) {
        std::vector<filter_entry> list;
        build_filter_list(list, value);
        EXPECT_EQ(shown(list), expected) << value;
    }
    std::vector<filter_entry> list;
    build_filter_list(list, "a|b");
    build_filter_list(list, "c");
    EXPECT_EQ(shown(list), "a b c");
    build_filter_list(list, "x|*");
    EXPECT_EQ(shown(list), "(all)");

    parsed p = parse({"-filter", "a", "-FILTER", "b|c", "-filter_path", "/Var/Log"});
    EXPECT_EQ(shown(p.record.filter_list), "/var/log /var/log /var/log");
    EXPECT_TRUE(p.rest.empty());
    p = parse({"-filter_path", "/x"});  // without a filter it is not looked at
    EXPECT_EQ(p.rest.size(), 2u);
}

TEST(cmd_params, expands_set_environment_names_up_to_513_characters) {
    const std::string full(513, 'a');
    const std::string most(400, 'a');
    const std::string value(100, 'v');
    ::setenv("RESQ_T_DIR", "/tmp/r", 1);
    ::setenv("RESQ_T_LONG", value.c_str(), 1);
    ::setenv("RESQ_T_SELF", "%RESQ_T_SELF%", 1);
    ::unsetenv("RESQ_T_UNSET");
    EXPECT_EQ(expand_env_vars("%RESQ_T_UNSET%/%RESQ_T_DIR%/50%"), "%RESQ_T_UNSET%//tmp/r/50%");
    EXPECT_EQ(expand_env_vars("%RESQ_T_SELF%"), "%RESQ_T_SELF%");  // must not run for ever
    EXPECT_EQ(expand_env_vars(full + "%RESQ_T_DIR%"), full + "%RESQ_T_DIR%");
    EXPECT_EQ(expand_env_vars(most + "%RESQ_T_LONG%%RESQ_T_LONG%"), most + value + "%RESQ_T_LONG%");
    const parsed p = parse({"-enumdir", "%RESQ_T_DIR%", "-num_subdirs", "0x10", "-pipe"});
    EXPECT_TRUE(p.record.enumdir_set && p.record.batch_input);
    EXPECT_EQ(p.record.enumdir_path, "/tmp/r");
    EXPECT_EQ(p.record.num_subdirs, 16u);
}

TEST(cmd_params, checks_the_results_file_without_harming_it) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("resq_out_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (const std::string& path : {(dir / "missing" / "r.txt").string(), dir.string()}) {
        const parsed p = parse({"-out", path});
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.messages, "prob opening file " + path + " for output, aborting\n");
    }

    ::setenv("RESQ_T_OUT", dir.string().c_str(), 1);
    parsed p = parse({"-out", "%RESQ_T_OUT%\\new.txt"});
    EXPECT_TRUE(p.ok && !p.record.append_output);
    EXPECT_EQ(p.record.out_path, (dir / "new.txt").string());
    EXPECT_FALSE(std::filesystem::exists(dir / "new.txt"));  // created for the check, removed

    const std::string old = (dir / "old.txt").string();
    const std::string diags = (dir / "diags.txt").string();
    std::ofstream(old) << "earlier results\n";
    p = parse({"-outfile", old, "-append", "-diags", diags, "-l2"});
    EXPECT_TRUE(p.ok && p.record.append_output);
    EXPECT_EQ(p.rest, (args{"-append"}));
    EXPECT_EQ(read_file(old), "earlier results\n");
    EXPECT_EQ(read_file(diags), "->resq -outfile " + old + " -append -diags " + diags + " -l2\n");
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace resq

#include "support/cmd_params.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace resq {
namespace {

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

// "refused: " and the messages when parsing fails; else the separator, the replacement pair (0 for
// none), the switches that are on, what differs from the defaults, what is left and the messages.
std::string outcome(const args& options) {
    cmd_params r;
    r.verbose = false;
    args list = {"resq"};
    list.insert(list.end(), options.begin(), options.end());
    std::ostringstream err;
    if (!r.parse_options(list, err)) {
        return "refused: " + err.str();
    }
    std::ostringstream s;
    s << "[" << r.csv_separator << "] " << (r.replace_char ? r.replace_char : '0')
      << (r.replace_with ? r.replace_with : '0') << (r.format == report_format::xml ? " xml" : "")
      << (r.format == report_format::table ? " header" : "") << (r.compact_output ? " compact" : "")
      << (r.keep_time_space ? " keep" : "") << (r.verbose ? " verbose" : "")
      << (r.batch_input ? " pipe" : "");
    const kx::datetime_layout& layout = r.datetime_layout;
    if (layout.date_flags != (0x02 | 0x04 | 0x80) || layout.time_flags != 3 << 1) {
        s << " " << r.date_format << " " << r.time_format << " layout " << +layout.date_flags << "/"
          << +layout.time_flags;
    }
    s << (r.filter_list.empty() ? "" : " filter " + shown(r.filter_list));
    if (r.enumdir_set) {
        s << " enumdir " << r.enumdir_path << " " << r.num_subdirs;
    }
    s << (r.out_path.empty() ? "" : " out " + r.out_path) << (r.append_output ? " append" : "");
    for (std::size_t i = 1; i < list.size(); ++i) {
        s << " left " << list[i];
    }
    return s.str() + (err.str().empty() ? "" : " msg: " + err.str());
}

TEST(cmd_params, names_the_program_and_leaves_other_options_in_place) {
    cmd_params record;
    args list;
    EXPECT_FALSE(record.parse_options(list));
    list = {"/usr/bin/resq.bin", "-url", "a b"};
    ASSERT_TRUE(record.parse_options(list));
    EXPECT_EQ(record.program_name + "|" + record.command_line,
              "resq|/usr/bin/resq.bin -url \"a b\"");
    EXPECT_EQ(list, (args{"/usr/bin/resq.bin", "-url", "a b"}));
}

TEST(cmd_params, parse_options_applies_options_in_its_own_order) {
    const std::string refused = "refused: This option is not offered in this build\n";
    const std::string invalid =
        " msg: invalid yyyy/mm/dd/, using default format\n"
        "invalid hh-mm-ss, using default format\n";
    const std::string plain = "[ | ] |; header keep";
    // clang-format off
    const std::pair<args, std::string> cases[] = {
        {{"-csv", "-xml"}, "[] 00 xml compact keep"}, {{"-xml", "-csv"}, "[] 00 xml compact keep"},
        {{"-multiline", "-xml"}, "[] 00 header keep"},
        {{"-csv", "-multiline"}, "[] 00 header compact keep"},
        {{"-csv_separator", "|", "-csv"}, "[|] |; header compact keep"},
        {{"-csv", "-pair_datetime"}, "[,] ,  header keep yyyy-mm-dd hh:mm:ss.xxx layout 134/7"},
        {{"-csv_separator", "TAB"}, "[\t] 00 header keep"},
        {{"-csv_separator", "\\t"}, "[\t] 00 header keep"},
        {{"-csv_separator", ";"}, "[;] 00 header keep"},
        {{"-no_whitespace"}, "[|] |; header compact"},
        {{"-enable_quoted_csv_fields"}, "[|] 0; header"},
        {{"-csv_separator", "tab", "-enable_quoted_csv_fields"}, "[\t] 00 header"},
        // The first -verbose counts (-v only without one); other tools' options are taken off.
        {{"-v", "-threads", "4", "-gzip", "-filter_skip", "a", "-filter_skip", "b", "-quiet",
          "-VERBOSE", "-verbose"}, plain + " verbose left -v left -verbose"},
        {{"-sqlite", "x"}, refused}, {{"-SQLITE_LOG", "x"}, refused},
        // Patterns are taken by length; one that does not compile leaves the default layout.
        {{"-dateformat", "MM/DD/YYYY", "-timeformat", "HH:MM:SS"},
         plain + " mm/dd/yyyy hh:mm:ss layout 70/0"},
        {{"-dateformat", "yyyy/mm/dd/", "-timeformat", "hh-mm-ss"}, plain + invalid},
        {{"-dateformat", "yyyy/dd/mm", "-timeformat", "hh:mm:ss"},
         plain + " yyyy/dd/mm hh:mm:ss layout 0/0"},
        // Each -filter adds its entries (bars split before commas); a "*" entry replaces them all.
        {{"-filter", "*Mail*", "-filter", "mail*", "-filter", "*.org", "-filter", "x*y"},
         plain + " filter *mail* mail* *.org xy"},
        {{"-filter", "/path", "-filter", "a,b|c", "-filter", "d,e"},
         plain + " filter /path(path) a,b c d e"},
        {{"-filter", "a|b", "-filter", "c", "-filter", "x|*"}, plain + " filter (all)"},
        {{"-filter", "a", "-FILTER", "b|c", "-filter_path", "/Var/Log"},
         plain + " filter /var/log /var/log /var/log"},
        {{"-filter_path", "/x"}, plain + " left -filter_path left /x"},
    };
    // clang-format on
    for (const auto& [options, expected] : cases) {
        EXPECT_EQ(outcome(options), expected) << ::testing::PrintToString(options);
    }
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
    EXPECT_EQ(outcome({"-enumdir", "%RESQ_T_DIR%", "-num_subdirs", "0x10", "-pipe"}),
              "[ | ] |; header keep pipe enumdir /tmp/r 16");
}

TEST(cmd_params, checks_the_results_file_without_harming_it) {
    const auto read_file = [](const std::string& path) {
        std::stringstream text;
        text << std::ifstream(path).rdbuf();
        return text.str();
    };
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("resq_out_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (const std::string& path : {(dir / "missing" / "r.txt").string(), dir.string()}) {
        EXPECT_EQ(outcome({"-out", path}),
                  "refused: prob opening file " + path + " for output, aborting\n");
    }
    ::setenv("RESQ_T_OUT", dir.string().c_str(), 1);
    EXPECT_EQ(outcome({"-out", "%RESQ_T_OUT%\\new.txt"}),
              "[ | ] |; header keep out " + (dir / "new.txt").string());
    EXPECT_FALSE(std::filesystem::exists(dir / "new.txt"));  // created for the check, removed

    const std::string old = (dir / "old.txt").string();
    const std::string diags = (dir / "diags.txt").string();
    std::ofstream(old) << "earlier results\n";
    EXPECT_EQ(outcome({"-outfile", old, "-append", "-diags", diags, "-l2"}),
              "[ | ] |; header keep out " + old + " append left -append");
    EXPECT_EQ(read_file(old), "earlier results\n");
    EXPECT_EQ(read_file(diags), "->resq -outfile " + old + " -append -diags " + diags + " -l2\n");
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace resq

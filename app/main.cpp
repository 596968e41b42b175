// resq: asks a DNS server one question at a time and reports every record of the reply.
#include <iostream>

#include "app/query_run.hpp"

int main(int argc, char** argv) {
    // The report is written through iostreams only; unsynchronised streams read and write in
    // large blocks, which batch runs of many names depend on.
    std::ios::sync_with_stdio(false);
    std::cin.tie(nullptr);
    return resq::run(argc, argv, std::cin, resq::system_hooks());
}

#include "support/idn_name.hpp"

#include <idn2.h>

#include <cstdlib>
#include <memory>

namespace resq {

bool has_non_ascii(std::string_view name) {
    for (const char c : name) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return true;
        }
    }
    return false;
}

bool to_a_labels(std::string_view name, std::string& ascii, std::string& why) {
    ascii.clear();
    why.clear();
    // libidn2 reads a C string: a NUL byte inside the name would cut it short unseen.
    if (name.find('\0') != std::string_view::npos) {
        why = "NUL byte in the name";
        return false;
    }
    char* converted = nullptr;
    const std::string text(name);
    const int result = idn2_to_ascii_8z(text.c_str(), &converted, IDN2_NONTRANSITIONAL);
    const std::unique_ptr<char, decltype(&idn2_free)> owned(converted, &idn2_free);
    if (result != IDN2_OK || converted == nullptr) {
        why = idn2_strerror(result);
        return false;
    }
    ascii = converted;
    return true;
}

}  // namespace resq

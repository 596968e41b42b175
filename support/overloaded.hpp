// A visitor made of lambdas, one per alternative of a std::variant.
#pragma once

namespace resq {

template <typename... Ts>
struct overloaded : Ts... {
    using Ts::operator()...;
};

}  // namespace resq

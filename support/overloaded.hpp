// A visitor made of lambdas, one per alternative of a std::variant.
#pragma once

namespace resq {

template <typename... Ts>
struct overloaded : Ts... {
    using Ts::operator()...;
};

// Spelled out for compilers without class template argument deduction for aggregates.
template <typename... Ts>
overloaded(Ts...) -> overloaded<Ts...>;

}  // namespace resq

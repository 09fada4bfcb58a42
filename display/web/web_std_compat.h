#pragma once

// The standard library of the web toolchain (emscripten 3.1.6) predates
// std::bit_cast; the compiler has what it needs. Included ahead of every
// source of the web build.

#ifdef __cplusplus
#include <bit>
#include <type_traits>

#if __cplusplus >= 202002L && !defined(__cpp_lib_bit_cast)
namespace std {
template <class To, class From>
  requires(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To> && is_trivially_copyable_v<From>)
constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
#endif

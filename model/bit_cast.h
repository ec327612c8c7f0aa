#pragma once
// std::bit_cast: the same bits read as another type of the same size.
// Standard libraries without it (the web build's) get the compiler's own
// builtin, which is what std::bit_cast is made of.

#include <bit>
#include <type_traits>

namespace impactsim {

template <class To, class From>
constexpr To BitCast(const From& from) noexcept {
  static_assert(sizeof(To) == sizeof(From) && std::is_trivially_copyable_v<To> &&
                std::is_trivially_copyable_v<From>);
#if defined(__cpp_lib_bit_cast)
  return std::bit_cast<To>(from);
#else
  return __builtin_bit_cast(To, from);
#endif
}

}  // namespace impactsim

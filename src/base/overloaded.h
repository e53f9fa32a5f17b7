// One callable of several lambdas, for std::visit: each kind gets its own overload,
// and a kind without one fails to compile.
#pragma once

namespace varnolt {

template <class... Fs>
struct Overloaded : Fs... {
  using Fs::operator()...;
};
template <class... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

}  // namespace varnolt

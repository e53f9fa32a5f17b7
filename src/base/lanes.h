// Two doubles side by side, one value per lane (GCC's vector extension: SSE2 on
// x86-64). +, -, * and / act on each lane exactly as on a lone double (the build
// fuses nothing), so every value gets the bits it gets alone while the CPU does both
// in one instruction. Lanes are read with [0] and [1].
#pragma once

namespace varnolt {

typedef double Pair __attribute__((vector_size(2 * sizeof(double))));

}  // namespace varnolt

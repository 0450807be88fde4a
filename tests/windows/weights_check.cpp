// The Gaussian weight tables as the Windows DLLs compute them, with msvcrt.dll's pow, against
// the golden tables. Built the way the DLLs are (clang for *-pc-windows-msvc, the core's own
// objects, msvcrt.dll imported) for 32 and 64 bits, and run under Wine.
#include "core/kernels/gaussian_weights.h"
#include "tests/core/gaussian_weight_table.h"

extern "C" {
__declspec(dllimport) int __cdecl printf(const char* format, ...);
// Any object file that does floating-point arithmetic refers to this symbol.
int _fltused = 0x9875;
}

int main(int, char**) {
  int equal = 0;
  for (const sorvan::GoldenWeightTable& golden : sorvan::kGoldenWeightTables) {
    const sorvan::GaussianWeights w = sorvan::BuildGaussianWeights(golden.rad, golden.str);
    bool same = w.window == 2 * golden.rad + 1;
    for (int32_t i = 0; same && i < w.window; ++i) same = w.taps[i] == golden.taps[i];
    if (!same) printf("FAIL: rad %d, str %d differs from the golden table\n", golden.rad, golden.str);
    equal += same;
  }
  printf("%d of 64 weight tables equal to the golden tables\n", equal);
  return equal == 64 ? 0 : 1;
}

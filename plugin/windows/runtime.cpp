// What a C runtime library would otherwise bring to sorvan.dll and sorvan64.dll: the Windows
// builds link none, only msvcrt.dll and kernel32.dll, so that the DLLs load on a bare Windows.
// These are the pieces the compiler and the loader expect from it; the 64-bit division helpers
// and the SafeSEH record exist on 32-bit x86 only.
#include "core/portability.h"

extern "C" {

__declspec(dllimport) int __stdcall DisableThreadLibraryCalls(void* module);
__declspec(dllimport) void __stdcall RaiseException(unsigned long code, unsigned long flags, unsigned long count,
                                                    const unsigned long* arguments);

// Any object file that does floating-point arithmetic refers to this symbol.
int _fltused = 0x9875;

// A call through a pure virtual slot is a programming error with no way to carry on.
int __cdecl _purecall() { abort(); }

// An exception leaving a noexcept function ends the process, as the language requires.
void __cdecl __std_terminate() { abort(); }

}  // extern "C"

namespace {

// There is no std::bad_alloc without a C++ runtime library. A failed allocation raises what a
// Windows allocator raises when it gives up (STATUS_NO_MEMORY, non-continuable) rather than
// returning null to a new-expression that would construct into it; a host that guards its
// calls reports it. The plug-in's own clip allocates through IClip's operators instead, which
// return null and let the creation callback report the failure.
[[noreturn]] void RaiseOutOfMemory() {
  constexpr unsigned long kStatusNoMemory = 0xC0000017ul;
  constexpr unsigned long kNonContinuable = 1;
  RaiseException(kStatusNoMemory, kNonContinuable, 0, nullptr);
  abort();
}

void* Allocate(size_t size) {
  void* block = malloc(size == 0 ? 1 : size);
  if (block == nullptr) RaiseOutOfMemory();
  return block;
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
void operator delete[](void* block, size_t) noexcept { free(block); }

#if defined(_M_IX86)
// 64-bit division and remainder. On 32-bit x86 the compiler calls these helpers (Microsoft's
// names and convention: two 64-bit operands on the stack, result in edx:eax, the callee pops
// 16 bytes) instead of dividing inline; a C runtime library would bring them. The work is done
// by plain C++ below, which needs only 32-bit division and 64-bit shifts, and the four entry
// points are thin shims that re-push the operands for a cdecl call. The 2.5 test driver links
// this file too and checks them against exact quotients under Wine (tests/windows/).
namespace {

uint64_t UnsignedDivide(uint64_t dividend, uint64_t divisor, uint64_t* remainder) {
  if (divisor == 0) __builtin_trap();  // as the hardware divide does
  if ((dividend >> 32) == 0 && (divisor >> 32) == 0) {
    const uint32_t n = static_cast<uint32_t>(dividend);
    const uint32_t d = static_cast<uint32_t>(divisor);
    *remainder = n % d;
    return n / d;
  }
  uint64_t quotient = 0;
  uint64_t rest = 0;
  for (int bit = 63; bit >= 0; --bit) {
    // `rest` stays below 2^63 here: it is either the dividend's top bits above `bit` (below
    // 2^63 for bit ≥ 0) or a difference below 2^64 − divisor, and when the divisor is at most
    // 2^63 it is below the divisor. So the shift loses nothing.
    rest = (rest << 1) | ((dividend >> bit) & 1);
    if (rest >= divisor) {
      rest -= divisor;
      quotient |= uint64_t{1} << bit;
    }
  }
  *remainder = rest;
  return quotient;
}

uint64_t Magnitude(int64_t value) {
  return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

uint64_t Negated(uint64_t value, bool negative) { return negative ? 0 - value : value; }

}  // namespace

extern "C" {

uint64_t __cdecl SorvanUnsignedQuotient(uint64_t a, uint64_t b) {
  uint64_t remainder;
  return UnsignedDivide(a, b, &remainder);
}
uint64_t __cdecl SorvanUnsignedRemainder(uint64_t a, uint64_t b) {
  uint64_t remainder;
  UnsignedDivide(a, b, &remainder);
  return remainder;
}
// Truncating division: the quotient's sign is the operands' signs combined, the remainder's
// that of the dividend.
int64_t __cdecl SorvanSignedQuotient(int64_t a, int64_t b) {
  uint64_t remainder;
  const uint64_t q = UnsignedDivide(Magnitude(a), Magnitude(b), &remainder);
  return static_cast<int64_t>(Negated(q, (a < 0) != (b < 0)));
}
int64_t __cdecl SorvanSignedRemainder(int64_t a, int64_t b) {
  uint64_t remainder;
  UnsignedDivide(Magnitude(a), Magnitude(b), &remainder);
  return static_cast<int64_t>(Negated(remainder, a < 0));
}

// Entry: [esp] return address, [esp+4] a, [esp+12] b. Each push moves esp by 4, so the same
// offset 16 reaches b's high word, b's low word, a's high word and a's low word in turn.
#define SORVAN_DIVISION_HELPER(name, worker)                                       \
  __attribute__((naked, used)) void name() {                                       \
    __asm__(                                                                       \
        "pushl 16(%esp)\n\tpushl 16(%esp)\n\tpushl 16(%esp)\n\tpushl 16(%esp)\n\t" \
        "calll _" #worker "\n\taddl $16, %esp\n\tretl $16");                       \
  }
SORVAN_DIVISION_HELPER(_aulldiv, SorvanUnsignedQuotient)
SORVAN_DIVISION_HELPER(_aullrem, SorvanUnsignedRemainder)
SORVAN_DIVISION_HELPER(_alldiv, SorvanSignedQuotient)
SORVAN_DIVISION_HELPER(_allrem, SorvanSignedRemainder)
#undef SORVAN_DIVISION_HELPER

}  // extern "C"
#endif  // _M_IX86

// Dynamic initialisers of namespace-scope objects: the compiler puts pointers to them between
// these two markers (the linker sorts the .CRT$XC* sections by name). Freestanding code should
// have none, but if one appears it runs here rather than silently not at all. A static object
// with a destructor would need atexit, which this DLL deliberately does not provide.
using Initialiser = void(__cdecl*)();
#pragma section(".CRT$XCA", read)
#pragma section(".CRT$XCZ", read)
__declspec(allocate(".CRT$XCA")) extern const Initialiser kFirstInitialiser = nullptr;
__declspec(allocate(".CRT$XCZ")) extern const Initialiser kLastInitialiser = nullptr;

extern "C" int __stdcall _DllMainCRTStartup(void* module, unsigned long reason, void*) {
  constexpr unsigned long kProcessAttach = 1;
  if (reason == kProcessAttach) {
    // The filter keeps no per-thread state; spare the host a call on every thread start.
    DisableThreadLibraryCalls(module);
    for (const Initialiser* i = &kFirstInitialiser + 1; i < &kLastInitialiser; ++i) {
      if (*i != nullptr) (*i)();
    }
  }
  return 1;
}

#if defined(_M_IX86)
// The load-configuration record. On 32-bit Windows its presence is what makes the loader see
// the table of registered exception handlers that the linker builds (/safeseh); without it a
// system enforcing SafeSEH would refuse every handler of ours. Fields up to the handler table,
// as the 32-bit layout has them; the remainder is absent and read as zero.
extern "C" {

extern const void* __safe_se_handler_table[];
extern const char __safe_se_handler_count;

struct LoadConfigDirectory32 {
  uint32_t size;
  uint32_t timeDateStamp;
  uint16_t majorVersion;
  uint16_t minorVersion;
  uint32_t globalFlagsClear;
  uint32_t globalFlagsSet;
  uint32_t criticalSectionDefaultTimeout;
  uint32_t deCommitFreeBlockThreshold;
  uint32_t deCommitTotalFreeThreshold;
  const void* lockPrefixTable;
  uint32_t maximumAllocationSize;
  uint32_t virtualMemoryThreshold;
  uint32_t processHeapFlags;
  uint32_t processAffinityMask;
  uint16_t csdVersion;
  uint16_t dependentLoadFlags;
  const void* editList;
  const void* securityCookie;
  const void* seHandlerTable;
  const void* seHandlerCount;  // an absolute symbol: its address is the count
};
static_assert(sizeof(LoadConfigDirectory32) == 72, "32-bit load configuration up to the handler table");

extern const LoadConfigDirectory32 _load_config_used = {
    sizeof(LoadConfigDirectory32),
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    nullptr,
    0,
    0,
    0,
    0,
    0,
    0,
    nullptr,
    nullptr,
    __safe_se_handler_table,
    &__safe_se_handler_count,
};

}  // extern "C"
#endif  // _M_IX86

// NEON (AArch64 Advanced SIMD, on every ARM64 CPU) fast paths for every sample type: the
// Gaussian's lane arithmetic of this folder, the shared row loops of core/simd/ around it, and
// the vector operations those ask of an instruction set.
#include "core/arm/arm_kernels.h"
#include "core/arm/neon_interleaved.h"
#include "core/portability.h"

namespace sorvan {
namespace {

// The operations of core/simd/ (box_outline.h, packed_rows.h) on one 128-bit vector, whatever
// its lanes: the NEON types are reinterpreted at no cost.
struct Isa {
  using V = uint32x4_t;
  static constexpr int32_t kBytes = 16;
  static constexpr int32_t kLanes16 = 8;
  static constexpr int32_t kLanes32 = 4;

  static V Zero() { return vdupq_n_u32(0); }
  static V Set32(int32_t v) { return vdupq_n_u32(static_cast<uint32_t>(v)); }
  static V Load(const void* p) { return vld1q_u32(static_cast<const uint32_t*>(p)); }
  static void Store(void* p, V v) { vst1q_u32(static_cast<uint32_t*>(p), v); }

  static V Add16(V a, V b) { return U32(vaddq_u16(U16(a), U16(b))); }
  static V Sub16(V a, V b) { return U32(vsubq_u16(U16(a), U16(b))); }
  static V Add32(V a, V b) { return vaddq_u32(a, b); }
  static V Sub32(V a, V b) { return vsubq_u32(a, b); }
  template <int S>
  static V ShrU32(V a) {
    return vshrq_n_u32(a, S);
  }
  static V Mul32(V a, V b) { return vmulq_u32(a, b); }
  // (a·b) >> S in 64-bit products, narrowed by the shift itself.
  template <int S>
  static V MulShr(V a, V b) {
    static_assert(S >= 1 && S <= 32, "a narrowing shift takes 1 to 32");
    return vshrn_high_n_u64(vshrn_n_u64(vmull_u32(vget_low_u32(a), vget_low_u32(b)), S), vmull_high_u32(a, b), S);
  }
  static V LoadU8To16(const uint8_t* p) { return U32(vmovl_u8(vld1_u8(p))); }
  static V LoadI16To32(const int16_t* p) { return vreinterpretq_u32_s32(vmovl_s16(vld1_s16(p))); }
  static V LoadU16To32(const uint16_t* p) { return vmovl_u16(vld1_u16(p)); }
  // Two shifted copies added: lanes 0 … i summed in lane i.
  static V PrefixSum32(V v) {
    const V zero = vdupq_n_u32(0);
    v = vaddq_u32(v, vextq_u32(zero, v, 3));
    return vaddq_u32(v, vextq_u32(zero, v, 2));
  }
  static V BroadcastLast32(V v) { return vdupq_laneq_u32(v, 3); }
  static void StoreLanes32As8(uint8_t* p, V v) {
    const uint8x8_t bytes = vmovn_u16(vcombine_u16(vmovn_u32(v), vdup_n_u16(0)));
    // p need not be 4-byte aligned: the four bytes go through memcpy, one unaligned store.
    const uint32_t four = vget_lane_u32(vreinterpret_u32_u8(bytes), 0);
    memcpy(p, &four, sizeof(four));
  }
  static void StoreLanes32As16(uint16_t* p, V v) { vst1_u16(p, vmovn_u32(v)); }

  // Packed bytes by the interleaving loads and stores: structure element 0 is the channel.
  template <int S>
  static void GatherPacked16(uint8_t* out, const uint8_t* in) {
    vst1q_u8(out, Interleaved<S>::Load(in).val[0]);
  }
  template <int S>
  static void ScatterPacked16(uint8_t* row, const uint8_t* in) {
    auto block = Interleaved<S>::Load(row);
    block.val[0] = vld1q_u8(in);
    Interleaved<S>::Store(row, block);
  }

 private:
  static uint16x8_t U16(V v) { return vreinterpretq_u16_u32(v); }
  static V U32(uint16x8_t v) { return vreinterpretq_u32_u16(v); }
};

}  // namespace
}  // namespace sorvan

#include "core/arm/neon_kernels.h"

namespace sorvan {
namespace {
constexpr SampleKernels<uint8_t> kBytes = FastKernels<NeonIntegerKernels<uint8_t>>::Table("neon");
constexpr SampleKernels<uint16_t> kWords = FastKernels<NeonIntegerKernels<uint16_t>>::Table("neon");
constexpr SampleKernels<float> kFloats = FastKernels<NeonFloatKernels>::Table("neon");
}  // namespace
constexpr KernelSet kNeonKernels = {&kBytes, &kWords, &kFloats};
}  // namespace sorvan

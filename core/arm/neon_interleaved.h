// NEON's interleaving loads and stores by the number of channels S a packed row interleaves
// (YUY2, packed RGB): structure element 0 of a block holds the block's samples of the channel
// at the block's start, and storing the structure back rewrites the other channels' samples
// with the values they hold.
#pragma once

#include "core/portability.h"

namespace sorvan {
namespace {

template <int32_t S>
struct Interleaved;
template <>
struct Interleaved<2> {
  static uint8x16x2_t Load(const uint8_t* p) { return vld2q_u8(p); }
  static uint16x8x2_t Load(const uint16_t* p) { return vld2q_u16(p); }
  static void Store(uint8_t* p, uint8x16x2_t v) { vst2q_u8(p, v); }
  static void Store(uint16_t* p, uint16x8x2_t v) { vst2q_u16(p, v); }
};
template <>
struct Interleaved<3> {
  static uint8x16x3_t Load(const uint8_t* p) { return vld3q_u8(p); }
  static uint16x8x3_t Load(const uint16_t* p) { return vld3q_u16(p); }
  static void Store(uint8_t* p, uint8x16x3_t v) { vst3q_u8(p, v); }
  static void Store(uint16_t* p, uint16x8x3_t v) { vst3q_u16(p, v); }
};
template <>
struct Interleaved<4> {
  static uint8x16x4_t Load(const uint8_t* p) { return vld4q_u8(p); }
  static uint16x8x4_t Load(const uint16_t* p) { return vld4q_u16(p); }
  static void Store(uint8_t* p, uint8x16x4_t v) { vst4q_u8(p, v); }
  static void Store(uint16_t* p, uint16x8x4_t v) { vst4q_u16(p, v); }
};

}  // namespace
}  // namespace sorvan

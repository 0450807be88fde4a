// Virtual slot numbers of the interface as the host's compiled code indexes them. Sizes and field
// offsets are pinned by static_asserts in the header; slot order can only be read from the
// compiled member-function pointers, whose Itanium form holds 1 + the slot's byte offset.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin/classic/classic_interface.h"

namespace {

#if defined(__x86_64__) && defined(__GXX_ABI_VERSION)

template <typename Member>
ptrdiff_t Slot(Member member) {
  static_assert(sizeof(Member) == 2 * sizeof(ptrdiff_t), "Itanium member-function pointer");
  ptrdiff_t word = 0;
  memcpy(&word, &member, sizeof word);
  EXPECT_EQ(word & 1, 1) << "not a virtual function";
  return (word - 1) / static_cast<ptrdiff_t>(sizeof(void*));
}

// The destructor takes slots 0 and 1, so GetCPUFlags is slot 2 and SubframePlanar slot 25.
TEST(InterfaceSlots, ScriptEnvironmentInDeclarationOrder) {
  using E = IScriptEnvironment;
  EXPECT_EQ(Slot(&E::GetCPUFlags), 2);
  EXPECT_EQ(Slot(&E::SaveString), 3);
  EXPECT_EQ(Slot(&E::Sprintf), 4);
  EXPECT_EQ(Slot(&E::VSprintf), 5);
  EXPECT_EQ(Slot(&E::ThrowError), 6);
  EXPECT_EQ(Slot(&E::AddFunction), 7);
  EXPECT_EQ(Slot(&E::FunctionExists), 8);
  EXPECT_EQ(Slot(&E::Invoke), 9);
  EXPECT_EQ(Slot(&E::GetVar), 10);
  EXPECT_EQ(Slot(&E::SetVar), 11);
  EXPECT_EQ(Slot(&E::SetGlobalVar), 12);
  EXPECT_EQ(Slot(&E::PushContext), 13);
  EXPECT_EQ(Slot(&E::PopContext), 14);
  EXPECT_EQ(Slot(&E::NewVideoFrame), 15);
  EXPECT_EQ(Slot(&E::MakeWritable), 16);
  EXPECT_EQ(Slot(&E::BitBlt), 17);
  EXPECT_EQ(Slot(&E::AtExit), 18);
  EXPECT_EQ(Slot(&E::CheckVersion), 19);
  EXPECT_EQ(Slot(&E::Subframe), 20);
  EXPECT_EQ(Slot(&E::SetMemoryMax), 21);
  EXPECT_EQ(Slot(&E::SetWorkingDir), 22);
  EXPECT_EQ(Slot(&E::ManageCache), 23);
  EXPECT_EQ(Slot(&E::PlanarChromaAlignment), 24);
  EXPECT_EQ(Slot(&E::SubframePlanar), 25);
}

// The clip's operations come first and its destructor last (slots 6 and 7).
TEST(InterfaceSlots, ClipInDeclarationOrder) {
  EXPECT_EQ(Slot(&IClip::GetVersion), 0);
  EXPECT_EQ(Slot(&IClip::GetFrame), 1);
  EXPECT_EQ(Slot(&IClip::GetParity), 2);
  EXPECT_EQ(Slot(&IClip::GetAudio), 3);
  EXPECT_EQ(Slot(&IClip::SetCacheHints), 4);
  EXPECT_EQ(Slot(&IClip::GetVideoInfo), 5);
  EXPECT_EQ(sizeof(IClip), 16u);
}

#endif

// Values travel as two shorts and an 8-byte payload; a clip value holds one reference.
TEST(InterfaceValues, AValueHoldsItsClipReference) {
  struct Probe final : IClip {
    PVideoFrame SORVAN_STDCALL GetFrame(int, IScriptEnvironment*) override { return {}; }
    bool SORVAN_STDCALL GetParity(int) override { return false; }
    void SORVAN_STDCALL GetAudio(void*, int64_t, int64_t, IScriptEnvironment*) override {}
    void SORVAN_STDCALL SetCacheHints(int, int) override {}
    const VideoInfo& SORVAN_STDCALL GetVideoInfo() override { return vi; }
    VideoInfo vi{};
  };
  const PClip clip = new Probe;
  {
    const AVSValue value(clip);
    EXPECT_EQ(clip->RefCount(), 2);
    AVSValue copy = value;
    EXPECT_EQ(clip->RefCount(), 3);
    copy = AVSValue(5);
    EXPECT_EQ(clip->RefCount(), 2);
    const AVSValue elements[] = {value, AVSValue(true)};
    const AVSValue array(elements, 2);
    EXPECT_EQ(array.ArraySize(), 2);
    EXPECT_EQ(array[0].AsClip().get(), clip.get());
    EXPECT_TRUE(array[1].AsBool(false));
    // Beyond the array, and on a non-array, indexing gives the value itself.
    EXPECT_EQ(&array[2], &array);
    EXPECT_EQ(&copy[0], &copy);
    EXPECT_EQ(copy.AsInt(9), 5);
    EXPECT_EQ(copy.AsBool(true), true);
    EXPECT_FALSE(AVSValue().Defined());
    EXPECT_EQ(AVSValue().AsInt(4), 4);
  }
  EXPECT_EQ(clip->RefCount(), 1);
}

}  // namespace

#include "plugin/avisynth_c/arguments.h"

namespace sorvan::avs {
namespace {

int32_t Saturated(int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// The array elements, or null when `args` is not an array of the expected length.
const AVS_Value* Elements(const AVS_Value& args) {
  if (args.type != kArray || args.array_size != kArgumentCount || args.d.array == nullptr) return nullptr;
  return args.d.array;
}

bool ReadInteger(const AVS_Value& value, int32_t* out) {
  if (value.type == kInt) {
    *out = value.d.integer;
    return true;
  }
  if (value.type == kLong) {
#if UINTPTR_MAX > 0xFFFFFFFFu
    *out = Saturated(value.d.longlong);
#else
    if (value.d.longlong_ptr == nullptr) return false;
    *out = Saturated(*value.d.longlong_ptr);
#endif
    return true;
  }
  return false;
}

}  // namespace

const AVS_Value* ClipArgument(const AVS_Value& args) {
  const AVS_Value* elements = Elements(args);
  if (elements == nullptr || elements[0].type != kClip) return nullptr;
  return &elements[0];
}

const char* ReadArguments(const AVS_Value& args, FilterArguments* out) {
  const AVS_Value* elements = Elements(args);
  if (elements == nullptr) return "Sorvan: the host passed an argument list that does not match the parameters";
  *out = DefaultArguments();
  for (int32_t i = 0; i < kParameterCount; ++i) {
    const AVS_Value& value = elements[1 + i];
    if (value.type == kVoid) continue;
    const ParameterEntry& parameter = kParameters[i];
    if (parameter.kind == ParameterKind::kBoolean) {
      if (value.type != kBool) return parameter.booleanMessage;
      (*out)[static_cast<Parameter>(i)] = value.d.boolean != 0 ? 1 : 0;
    } else if (!ReadInteger(value, &(*out)[static_cast<Parameter>(i)])) {
      return parameter.rangeMessage;
    }
  }
  return nullptr;
}

}  // namespace sorvan::avs

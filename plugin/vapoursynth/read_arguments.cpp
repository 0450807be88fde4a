#include "plugin/vapoursynth/read_arguments.h"

namespace sorvan {
namespace {

const char* NotAnIntegerMessage(const char* name, ArgumentMessage* message) {
  return message->Append("Sorvan: ").Append(name).Append(" must be one integer").Text();
}

}  // namespace

const char* ReadArguments(const VSMap* in, const VSAPI* vsapi, FilterArguments* arguments, ArgumentMessage* message) {
  *arguments = DefaultArguments();
  for (int32_t i = 0; i < kParameterCount; ++i) {
    const ParameterEntry& parameter = kParameters[i];
    const int count = vsapi->mapNumElements(in, parameter.name);
    if (count < 0) continue;  // left out: the default
    // The host has checked the declaration already; these hold where one does not.
    if (count != 1 || vsapi->mapGetType(in, parameter.name) != ptInt)
      return NotAnIntegerMessage(parameter.name, message);
    int error = peSuccess;
    const int value = vsapi->mapGetIntSaturated(in, parameter.name, 0, &error);
    if (error != peSuccess) return NotAnIntegerMessage(parameter.name, message);
    if (parameter.kind == ParameterKind::kBoolean && value != 0 && value != 1) return parameter.booleanMessage;
    arguments->values[i] = value;
  }
  return nullptr;
}

}  // namespace sorvan

// A plug-in for the frame server's own tests: registers functions whose results show how the
// arguments arrived, and one that always fails.
#include <cstdio>
#include <string>

#include "core/portability.h"
#include "plugin/classic/classic_interface.h"

namespace {

// "types:values" of every element, e.g. "c i v b" → "c:64x48 i:3 v b:1".
AVSValue SORVAN_CDECL Describe(AVSValue args, void*, IScriptEnvironment* env) {
  std::string text;
  for (int i = 0; i < args.ArraySize(); ++i) {
    const AVSValue& a = args[i];
    if (!text.empty()) text += ' ';
    text += a.Type();
    char value[64] = "";
    if (a.IsClip())
      snprintf(value, sizeof value, ":%dx%d", a.AsClip()->GetVideoInfo().width, a.AsClip()->GetVideoInfo().height);
    if (a.IsInt()) snprintf(value, sizeof value, ":%d", a.AsInt());
    if (a.IsBool()) snprintf(value, sizeof value, ":%d", a.AsBool() ? 1 : 0);
    if (a.Type() == 'f') snprintf(value, sizeof value, ":%g", a.AsFloat());
    if (a.IsString()) snprintf(value, sizeof value, ":%s", a.AsString());
    text += value;
  }
  return AVSValue(env->SaveString(text.c_str()));
}

AVSValue SORVAN_CDECL Fail(AVSValue args, void*, IScriptEnvironment* env) {
  env->ThrowError("Fail: asked to fail with %d", args[0].AsInt(7));
  return AVSValue();  // not reached: ThrowError does not return
}

AVSValue SORVAN_CDECL PassClip(AVSValue args, void*, IScriptEnvironment*) { return args[0]; }

}  // namespace

extern "C" SORVAN_EXPORT const char* SORVAN_STDCALL AvisynthPluginInit2(IScriptEnvironment* env) {
  env->AddFunction("Describe", "c[n]i[flag]b[x]f[label]s", &Describe, nullptr);
  env->AddFunction("Numbers", "ii[third]i", &Describe, nullptr);
  env->AddFunction("Fail", "[code]i", &Fail, nullptr);
  env->AddFunction("PassClip", "c", &PassClip, nullptr);
  return "Echo  Plugin";
}

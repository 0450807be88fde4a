#include "hosts/frameserver/frame_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <thread>

#include "hosts/frameserver/function_registry.h"
#include "hosts/frameserver/memory_clip.h"

namespace sorvan::frameserver {
namespace {

class FrameServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(server.LoadPlugin(ECHO_PLUGIN_PATH), "Echo  Plugin"); }

  std::string CallText(const std::vector<AVSValue>& positional, const std::vector<NamedArgument>& named,
                       const char* function = "Describe") {
    const AVSValue result = server.Call(function, positional, named);
    EXPECT_TRUE(result.IsString());
    return result.AsString("");
  }

  std::string ErrorOf(const std::vector<AVSValue>& positional, const std::vector<NamedArgument>& named,
                      const char* function = "Describe") {
    try {
      server.Call(function, positional, named);
    } catch (const ScriptError& e) {
      return e.what();
    }
    return "(no error)";
  }

  FrameServer server;
  PClip clip = MemoryClip::FromGenerator(MakeVideoInfo(CS_YV12, 64, 48, 3), [](int, std::span<uint8_t>) {});
};

TEST_F(FrameServerTest, LeftOutOptionalArgumentsArriveAsVoid) {
  EXPECT_EQ(CallText({clip}, {}), "c:64x48 v v v v");
  EXPECT_EQ(CallText({clip}, {{"label", "hello"}, {"N", 3}}), "c:64x48 i:3 v v s:hello");
}

TEST_F(FrameServerTest, OptionalArgumentsMayBeGivenByPosition) {
  EXPECT_EQ(CallText({clip, 5, true}, {{"x", 1.5}}), "c:64x48 i:5 b:1 f:1.5 v");
  EXPECT_EQ(CallText({4, 5}, {}, "Numbers"), "i:4 i:5 v");
}

TEST_F(FrameServerTest, AnIntIsAcceptedForAFloat) { EXPECT_EQ(CallText({clip}, {{"x", 2}}), "c:64x48 v v f:2 v"); }

struct BadCall {
  const char* what;
  std::vector<NamedArgument> named;
  const char* message;
};

void PrintTo(const BadCall& c, std::ostream* os) { *os << c.what; }

class RefusedCall : public FrameServerTest, public ::testing::WithParamInterface<BadCall> {};

TEST_P(RefusedCall, WithAClearMessage) { EXPECT_EQ(ErrorOf({clip}, GetParam().named), GetParam().message); }

INSTANTIATE_TEST_SUITE_P(
    Arguments, RefusedCall,
    ::testing::Values(BadCall{"unknown name", {{"radius", 3}}, "Describe does not have a named argument \"radius\""},
                      BadCall{"bool for int", {{"n", true}}, "Describe: argument \"n\" must be int, not bool"},
                      BadCall{"int for bool", {{"flag", 1}}, "Describe: argument \"flag\" must be bool, not int"},
                      BadCall{"string for float", {{"x", "1"}}, "Describe: argument \"x\" must be float, not string"},
                      BadCall{"float for int", {{"n", 1.0}}, "Describe: argument \"n\" must be int, not float"},
                      BadCall{"given twice", {{"n", 1}, {"N", 2}}, "Describe: argument \"n\" given twice"}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST_F(FrameServerTest, PositionalMistakesAreRefused) {
  EXPECT_EQ(ErrorOf({}, {}), "Describe: argument 1 (clip) is required");
  EXPECT_EQ(ErrorOf({3}, {}), "Describe: argument 1 must be clip, not int");
  EXPECT_EQ(ErrorOf({clip, 1, true, 1.0, "a", 9}, {}), "Describe: too many arguments (it takes at most 5)");
  EXPECT_EQ(ErrorOf({4}, {}, "Numbers"), "Numbers: argument 2 (int) is required");
  EXPECT_EQ(ErrorOf({}, {}, "NoSuchFunction"), "there is no function named \"NoSuchFunction\"");
}

TEST_F(FrameServerTest, ThrowErrorCarriesTheFormattedMessage) {
  EXPECT_EQ(ErrorOf({}, {}, "Fail"), "Fail: asked to fail with 7");
  EXPECT_EQ(ErrorOf({}, {{"code", 42}}, "Fail"), "Fail: asked to fail with 42");
}

TEST_F(FrameServerTest, InvokeThroughTheInterfaceBindsNamesAndPositions) {
  IScriptEnvironment* env = &server;
  const AVSValue elements[] = {clip, AVSValue(6), AVSValue("x")};
  const char* names[] = {nullptr, "n", "label"};
  const AVSValue result = env->Invoke("describe", AVSValue(elements, 3), names);
  EXPECT_STREQ(result.AsString(""), "c:64x48 i:6 v v s:x");
  EXPECT_TRUE(env->FunctionExists("DESCRIBE"));
  EXPECT_FALSE(env->FunctionExists("Describ"));
}

TEST_F(FrameServerTest, ClipResultsKeepTheirReference) {
  const int before = clip->RefCount();
  {
    const PClip same = server.InvokeClip("PassClip", {clip});
    EXPECT_EQ(same.get(), clip.get());
    EXPECT_EQ(clip->RefCount(), before + 1);
  }
  EXPECT_EQ(clip->RefCount(), before);
  EXPECT_THROW(server.InvokeClip("Numbers", {1, 2}), ScriptError);
}

class MalformedParameters : public ::testing::TestWithParam<const char*> {};

// A function whose parameter string a script could not call is refused when it is registered.
TEST_P(MalformedParameters, AreRefusedAtRegistration) {
  FrameServer server;
  IScriptEnvironment* env = &server;
  const auto apply = [](AVSValue, void*, IScriptEnvironment*) { return AVSValue(); };
  EXPECT_THROW(env->AddFunction("Bad", GetParam(), apply, nullptr), ScriptError);
  EXPECT_FALSE(env->FunctionExists("Bad"));
}

INSTANTIATE_TEST_SUITE_P(Strings, MalformedParameters,
                         ::testing::Values("c[x", "c[]i", "cz", "c[x]", "[a]i[A]b", "c*", "[x]."));

TEST(Registry, ParsesNamedAndUnnamedParameters) {
  const std::vector<Parameter> p = ParseParameters("F", "ci[rad]i[str]f");
  ASSERT_EQ(p.size(), 4u);
  EXPECT_TRUE(p[0].name.empty() && p[0].type == 'c' && !p[0].optional);
  EXPECT_TRUE(p[1].name.empty() && p[1].type == 'i' && !p[1].optional);
  EXPECT_TRUE(p[2].name == "rad" && p[2].type == 'i' && p[2].optional);
  EXPECT_TRUE(p[3].name == "str" && p[3].type == 'f' && p[3].optional);
}

TEST(PluginLoader, MissingFileIsReported) {
  FrameServer server;
  try {
    server.LoadPlugin("/nonexistent/libnothing.so");
    FAIL() << "loaded a missing file";
  } catch (const ScriptError& e) {
    EXPECT_NE(std::string(e.what()).find("cannot load plug-in \"/nonexistent/libnothing.so\""), std::string::npos)
        << e.what();
  }
}

TEST(PluginLoader, MissingEntryPointIsReported) {
  FrameServer server;
  try {
    server.LoadPlugin(NO_ENTRY_LIBRARY_PATH);
    FAIL() << "loaded a library without entry point";
  } catch (const ScriptError& e) {
    EXPECT_EQ(std::string(e.what()),
              std::string("\"") + NO_ENTRY_LIBRARY_PATH +
                  "\" is not a plug-in of interface version 3: no entry point AvisynthPluginInit2");
  }
}

TEST(Environment, StringsAndVariables) {
  FrameServer server;
  IScriptEnvironment* env = &server;
  char* saved = env->SaveString("abcdef", 3);
  EXPECT_STREQ(saved, "abc");
  EXPECT_STREQ(env->Sprintf("%s-%d", "x", 12), "x-12");
  EXPECT_TRUE(env->SetVar("answer", AVSValue(42)));
  EXPECT_EQ(env->GetVar("answer").AsInt(0), 42);
  EXPECT_THROW(env->GetVar("question"), ScriptError);
  EXPECT_NO_THROW(env->CheckVersion(3));
  EXPECT_THROW(env->CheckVersion(4), ScriptError);
}

// VSprintf receives the caller's va_list the way a plug-in built against the interface passes it.
char* CallVSprintf(IScriptEnvironment* env, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  char* text = env->VSprintf(fmt, reinterpret_cast<void*>(args));
  va_end(args);
  return text;
}

TEST(Environment, VSprintfFormatsTheCallersArguments) {
  FrameServer server;
  EXPECT_STREQ(CallVSprintf(&server, "%d/%s/%.1f", 5, "five", 5.5), "5/five/5.5");
}

TEST(Environment, BitBltCopiesRowsOfEachPitchAndNothingElse) {
  FrameServer server;
  std::vector<uint8_t> src(5 * 7), dst(4 * 9, 0xEE);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i);
  server.BitBlt(dst.data(), 9, src.data(), 7, 5, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 9; ++x) EXPECT_EQ(dst[y * 9 + x], x < 5 ? src[y * 7 + x] : 0xEE) << y << "," << x;
  }
  server.BitBlt(dst.data(), 9, src.data(), 7, 0, 4);
  server.BitBlt(dst.data(), 9, src.data(), 7, 5, 0);
  EXPECT_EQ(dst[5], 0xEE);
}

}  // namespace
}  // namespace sorvan::frameserver

#include "cli/frameserver_worker.h"

#include <fmt/format.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <span>

#include "cli/command_error.h"
#include "cli/yuy2_packing.h"
#include "hosts/frameserver/frame_server.h"
#include "hosts/frameserver/memory_clip.h"

namespace sorvan::cli {
namespace {

namespace fs = std::filesystem;
using frameserver::FrameServer;

constexpr char kPluginName[] = "libsorvan.so";

// Withdraws a lend the filter did not take, also when it throws.
struct LendGuard {
  FrameServer& server;
  ~LendGuard() { server.CancelLend(); }
};

class SorvanWorker final : public FrameWorker {
 public:
  SorvanWorker(std::shared_ptr<FrameServer> server, const FrameFormat& format,
               const std::vector<FilterArgument>& arguments)
      : server_(std::move(server)), format_(format), frameBytes_(FrameBytes(format)) {
    // The source clip hands out whatever frame Process() is filtering. Its frame count is the
    // largest the interface can express, because a stream's length is not known in advance.
    vi_ = frameserver::MakeVideoInfo(ClipPixelType(format.layout), format.width, format.height, INT_MAX);
    // Frames go from the pipeline's buffer straight into the host frame, with no copy between.
    source_ = frameserver::MemoryClip::FromPackedSource(
        vi_, [this](int) { return std::span<const uint8_t>(current_, frameBytes_); });
    std::vector<frameserver::NamedArgument> named;
    for (const FilterArgument& a : arguments) {
      named.push_back({a.name, std::visit([](auto v) { return AVSValue(v); }, a.value)});
    }
    try {
      filter_ = server_->InvokeClip("Sorvan", {AVSValue(source_)}, named);
    } catch (const frameserver::ScriptError& e) {
      const std::string message = e.what();
      if (message.rfind("Sorvan:", 0) == 0) throw FilterArgumentError(message);
      throw CommandError(fmt::format("the frame server could not run Sorvan: {}", message));
    }
    if (format_.layout == StreamLayout::kPlanar422) packed_.resize(frameBytes_);
  }

  ~SorvanWorker() override {
    // Clips go before the server they came from.
    filter_ = PClip();
    source_ = PClip();
  }

  void Process(int64_t frameNumber, const uint8_t* in, uint8_t* out) override {
    current_ = in;
    if (format_.layout == StreamLayout::kPlanar422) {
      PackPlanar422ToYuy2(in, packed_.data(), format_.width, format_.height);
      current_ = packed_.data();
    }
    const int n = static_cast<int>(std::min<int64_t>(frameNumber, INT_MAX - 1));
    PVideoFrame frame;
    if (format_.layout == StreamLayout::kPlanar422) {
      frame = filter_->GetFrame(n, server_.get());
    } else {
      // The filter writes straight into `out` when its new frame is the lent one.
      server_->LendNextFrame(vi_, out);
      LendGuard guard{*server_};
      frame = filter_->GetFrame(n, server_.get());
    }
    if (format_.layout == StreamLayout::kPlanar422) {
      frameserver::ReadPacked(frame, vi_, std::span<uint8_t>(packed_));
      UnpackYuy2ToPlanar422(packed_.data(), out, format_.width, format_.height);
    } else if (frame->GetReadPtr() != out) {
      frameserver::ReadPacked(frame, vi_, std::span<uint8_t>(out, frameBytes_));
    }
  }

 private:
  std::shared_ptr<FrameServer> server_;
  FrameFormat format_;
  size_t frameBytes_;
  VideoInfo vi_{};
  PClip source_;
  PClip filter_;
  const uint8_t* current_ = nullptr;
  std::vector<uint8_t> packed_;  // 4:2:2 packed as YUY2
};

}  // namespace

std::string FindPlugin() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) throw CommandError("cannot find the running command's directory to look for the plug-in; give --plugin PATH");
  const fs::path dir = exe.parent_path();
  // Beside the command and in ../lib in a build; where `cmake --install` puts it in an installed
  // tree (bin/ and <libdir>/avisynth under one prefix).
  for (const fs::path& candidate : {dir / kPluginName, dir.parent_path() / "lib" / kPluginName,
                                    dir.parent_path() / SORVAN_INSTALLED_PLUGIN_DIR / kPluginName}) {
    if (fs::exists(candidate, ec)) return candidate.string();
  }
  throw CommandError(fmt::format("cannot find the plug-in {} in {} or {}; give --plugin PATH", kPluginName,
                                 dir.string(), (dir.parent_path() / "lib").string()));
}

SorvanFilterHost::SorvanFilterHost(const std::string& pluginPath) : server_(std::make_shared<FrameServer>()) {
  try {
    server_->LoadPlugin(pluginPath);
  } catch (const frameserver::ScriptError& e) {
    throw CommandError(e.what());
  }
}

SorvanFilterHost::~SorvanFilterHost() = default;

std::unique_ptr<FrameWorker> SorvanFilterHost::MakeWorker(const FrameFormat& format,
                                                          const std::vector<FilterArgument>& arguments) {
  return std::make_unique<SorvanWorker>(server_, format, arguments);
}

}  // namespace sorvan::cli

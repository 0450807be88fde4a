// The filter as the command runs it: the plug-in loaded into our frame server, and one Sorvan
// filter per worker, each invoked by name over its own source clip, as a script would.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/frame_format.h"
#include "cli/options.h"
#include "cli/pipeline.h"

namespace sorvan::frameserver {
class FrameServer;
}

namespace sorvan::cli {

// The plug-in beside the running command (bin/libsorvan.so) or in ../lib; throws CommandError
// when neither exists.
std::string FindPlugin();

class SorvanFilterHost {
 public:
  // Loads the plug-in; throws CommandError when it cannot be loaded.
  explicit SorvanFilterHost(const std::string& pluginPath);
  ~SorvanFilterHost();

  // A worker with its own source clip and its own Sorvan filter over it. Throws
  // FilterArgumentError with the plug-in's message when Sorvan refuses the arguments.
  std::unique_ptr<FrameWorker> MakeWorker(const FrameFormat& format, const FilterArguments& arguments);

 private:
  std::shared_ptr<frameserver::FrameServer> server_;
};

}  // namespace sorvan::cli

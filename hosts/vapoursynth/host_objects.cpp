#include "hosts/vapoursynth/host_objects.h"

#include <cstring>
#include <new>

#include "hosts/vapoursynth/vapoursynth_host.h"

namespace sorvan::vshost {
namespace {

std::atomic<int64_t> liveFrames{0};
std::atomic<int64_t> liveNodes{0};
std::atomic<int64_t> liveMaps{0};
std::atomic<int64_t> instancesFreed{0};

}  // namespace

LiveCounts CurrentLiveCounts() { return {liveFrames.load(), liveNodes.load(), liveMaps.load(), instancesFreed.load()}; }

void FrameRelease::operator()(const VSFrame* f) const {
  if (f == nullptr) return;
  auto* frame = const_cast<VSFrame*>(f);
  if (frame->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete frame;
}

void NodeRelease::operator()(VSNode* n) const {
  if (n == nullptr) return;
  if (n->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete n;
}

void MapRelease::operator()(VSMap* m) const { delete m; }

FramePtr AddRef(const VSFrame* f) {
  if (f != nullptr) const_cast<VSFrame*>(f)->refs.fetch_add(1, std::memory_order_relaxed);
  return FramePtr(f);
}

NodePtr AddRef(VSNode* n) {
  if (n != nullptr) n->refs.fetch_add(1, std::memory_order_relaxed);
  return NodePtr(n);
}

PlaneBuffer::PlaneBuffer(ptrdiff_t stride, int height)
    : data(nullptr), bytes(static_cast<size_t>(stride) * static_cast<size_t>(height)) {
  data = static_cast<uint8_t*>(::operator new(bytes == 0 ? 1 : bytes, std::align_val_t(kRowAlignment)));
}

PlaneBuffer::~PlaneBuffer() { ::operator delete(data, std::align_val_t(kRowAlignment)); }

WritableFramePtr NewFrame(const VSVideoFormat& format, int width, int height, const VSFrame* propertySource,
                          uint8_t fill) {
  if (!IsValidVideoFormat(format) || width <= 0 || height <= 0) return nullptr;
  WritableFramePtr frame(new VSFrame);
  frame->format = format;
  frame->width = width;
  frame->height = height;
  for (int p = 0; p < format.numPlanes; ++p) {
    const ptrdiff_t row = static_cast<ptrdiff_t>(frame->PlaneWidth(p)) * format.bytesPerSample;
    const ptrdiff_t stride = (row + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    frame->strides[p] = stride;
    frame->planes[p] = std::make_shared<PlaneBuffer>(stride, frame->PlaneHeight(p));
    std::memset(frame->planes[p]->data, fill, frame->planes[p]->bytes);
  }
  if (propertySource != nullptr) frame->properties = propertySource->properties;
  return frame;
}

uint8_t* WritablePlane(VSFrame* frame, int plane) {
  if (frame == nullptr || plane < 0 || plane >= frame->format.numPlanes) return nullptr;
  std::shared_ptr<PlaneBuffer>& buffer = frame->planes[plane];
  if (buffer.use_count() > 1) {
    auto copy = std::make_shared<PlaneBuffer>(frame->strides[plane], frame->PlaneHeight(plane));
    std::memcpy(copy->data, buffer->data, buffer->bytes);
    buffer = std::move(copy);
  }
  return buffer->data;
}

void CountFreedInstance() { instancesFreed.fetch_add(1); }

}  // namespace sorvan::vshost

VSMap::VSMap() { sorvan::vshost::liveMaps.fetch_add(1); }
VSMap::VSMap(const VSMap& other) : entries(), hasError(other.hasError), error(other.error) {
  sorvan::vshost::liveMaps.fetch_add(1);
  *this = other;
}
VSMap& VSMap::operator=(const VSMap& other) {
  if (this == &other) return *this;
  entries.clear();
  for (const VSMapEntry& e : other.entries) {
    VSMapEntry copy{e.key, e.type, {}};
    for (const VSMapValue& v : e.values) {
      if (const auto* node = std::get_if<sorvan::vshost::NodePtr>(&v)) {
        copy.values.emplace_back(sorvan::vshost::AddRef(node->get()));
      } else if (const auto* frame = std::get_if<sorvan::vshost::FramePtr>(&v)) {
        copy.values.emplace_back(sorvan::vshost::AddRef(frame->get()));
      } else if (const auto* i = std::get_if<int64_t>(&v)) {
        copy.values.emplace_back(*i);
      } else if (const auto* d = std::get_if<double>(&v)) {
        copy.values.emplace_back(*d);
      } else {
        copy.values.emplace_back(std::get<VSMapData>(v));
      }
    }
    entries.push_back(std::move(copy));
  }
  hasError = other.hasError;
  error = other.error;
  return *this;
}
VSMap::~VSMap() { sorvan::vshost::liveMaps.fetch_sub(1); }

VSMapEntry* VSMap::Find(const std::string& key) {
  for (VSMapEntry& e : entries) {
    if (e.key == key) return &e;
  }
  return nullptr;
}

const VSMapEntry* VSMap::Find(const std::string& key) const { return const_cast<VSMap*>(this)->Find(key); }

bool VSMap::Put(const std::string& key, int type, VSMapValue value, bool append) {
  VSMapEntry* entry = Find(key);
  if (entry == nullptr) {
    entries.push_back({key, type, {}});
    entry = &entries.back();
  } else if (!append) {
    entry->type = type;
    entry->values.clear();
  } else if (entry->type != type) {
    return false;
  }
  entry->values.push_back(std::move(value));
  return true;
}

VSFrame::VSFrame() { sorvan::vshost::liveFrames.fetch_add(1); }
VSFrame::~VSFrame() { sorvan::vshost::liveFrames.fetch_sub(1); }

VSNode::VSNode() { sorvan::vshost::liveNodes.fetch_add(1); }
VSNode::~VSNode() {
  if (free != nullptr && host != nullptr) {
    free(instanceData, host->Core(), host->Api());
    sorvan::vshost::CountFreedInstance();
  }
  for (VSFilterDependency& d : dependencies) sorvan::vshost::NodeRelease()(d.source);
  sorvan::vshost::liveNodes.fetch_sub(1);
}

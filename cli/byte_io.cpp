#include "cli/byte_io.h"

#include <fmt/format.h>

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/command_error.h"

namespace sorvan::cli {
namespace {

constexpr size_t kBufferBytes = 64 * 1024;

}  // namespace

size_t ReadFully(ByteSource& source, uint8_t* dst, size_t count) {
  size_t done = 0;
  while (done < count) {
    const size_t got = source.ReadSome(dst + done, count - done);
    if (got == 0) break;
    done += got;
  }
  return done;
}

FdSource::FdSource(int fd, std::string name) : fd_(fd), name_(std::move(name)), buffer_(kBufferBytes) {}

size_t FdSource::ReadFd(uint8_t* dst, size_t count) {
  for (;;) {
    const ssize_t got = ::read(fd_, dst, count);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno == EINTR) continue;
    throw CommandError(fmt::format("cannot read {}: {}", name_, std::strerror(errno)));
  }
}

size_t FdSource::ReadSome(uint8_t* dst, size_t count) {
  if (count == 0) return 0;
  if (begin_ == end_) {
    if (count >= buffer_.size()) return ReadFd(dst, count);
    begin_ = 0;
    end_ = ReadFd(buffer_.data(), buffer_.size());
    if (end_ == 0) return 0;
  }
  const size_t n = std::min(count, end_ - begin_);
  std::memcpy(dst, buffer_.data() + begin_, n);
  begin_ += n;
  return n;
}

size_t MemorySource::ReadSome(uint8_t* dst, size_t count) {
  const size_t n = std::min(count, size_ - offset_);
  if (n != 0) std::memcpy(dst, data_ + offset_, n);
  offset_ += n;
  return n;
}

FdSink::FdSink(int fd, std::string name) : fd_(fd), name_(std::move(name)) { buffer_.reserve(kBufferBytes); }

void FdSink::WriteFd(const uint8_t* data, size_t count) {
  while (count > 0) {
    const ssize_t put = ::write(fd_, data, count);
    if (put < 0) {
      if (errno == EINTR) continue;
      throw CommandError(fmt::format("cannot write {}: {}", name_, std::strerror(errno)));
    }
    data += put;
    count -= static_cast<size_t>(put);
  }
}

void FdSink::Write(const uint8_t* data, size_t count) {
  if (buffer_.size() + count <= kBufferBytes) {
    buffer_.insert(buffer_.end(), data, data + count);
    return;
  }
  Flush();
  if (count >= kBufferBytes) {
    WriteFd(data, count);
  } else {
    buffer_.insert(buffer_.end(), data, data + count);
  }
}

void FdSink::Flush() {
  if (buffer_.empty()) return;
  WriteFd(buffer_.data(), buffer_.size());
  buffer_.clear();
}

}  // namespace sorvan::cli

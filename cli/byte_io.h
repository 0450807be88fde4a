// Byte streams the readers and writers work on. The Y4M and raw readers see only a ByteSource
// and the writers only a ByteSink, so the same code runs over files, pipes and memory (tests
// and the fuzz target feed it from memory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sorvan::cli {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `count` bytes into `dst` and returns how many; 0 only at the end of the
  // stream. Throws CommandError on a read error.
  virtual size_t ReadSome(uint8_t* dst, size_t count) = 0;
};

// Reads until `count` bytes are in or the stream ends; returns the number read.
size_t ReadFully(ByteSource& source, uint8_t* dst, size_t count);

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all `count` bytes or throws CommandError.
  virtual void Write(const uint8_t* data, size_t count) = 0;
  // Pushes buffered bytes out; throws CommandError when that fails.
  virtual void Flush() {}
};

// Reads a file descriptor through a buffer; small reads (header bytes) come from the buffer,
// frame-sized reads go straight to the descriptor. Does not close the descriptor.
class FdSource final : public ByteSource {
 public:
  FdSource(int fd, std::string name);
  size_t ReadSome(uint8_t* dst, size_t count) override;

 private:
  size_t ReadFd(uint8_t* dst, size_t count);

  int fd_;
  std::string name_;
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
};

class MemorySource final : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t ReadSome(uint8_t* dst, size_t count) override;

 private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
};

// Writes to a file descriptor; small writes are gathered so a FRAME line and its frame do not
// cost two system calls each. Does not close the descriptor.
class FdSink final : public ByteSink {
 public:
  FdSink(int fd, std::string name);
  ~FdSink() override = default;
  void Write(const uint8_t* data, size_t count) override;
  void Flush() override;

 private:
  void WriteFd(const uint8_t* data, size_t count);

  int fd_;
  std::string name_;
  std::vector<uint8_t> buffer_;
};

class MemorySink final : public ByteSink {
 public:
  void Write(const uint8_t* data, size_t count) override { bytes.insert(bytes.end(), data, data + count); }
  std::vector<uint8_t> bytes;
};

}  // namespace sorvan::cli

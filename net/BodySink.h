// Where a GET writes the body of its final response: the interface, and a capped sink in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace net {

// Where get() writes the body of the final response. get() takes position() once at its start
// and seeks back there before each further request, so the sink ends holding the final body
// only. write() may throw (a full disk, a cap): the transfer then breaks off and get() rethrows.
class BodySink {
public:
  virtual ~BodySink() = default;
  virtual void write(const char* data, std::size_t size) = 0;
  virtual std::uint64_t position() const = 0;
  // Sets the position for the next write; data after it may be dropped.
  virtual void seek(std::uint64_t position) = 0;
};

// A sink in memory, capped: a write beyond `cap` bytes throws net::TransportError, so a server
// cannot make us hold more than we asked for.
class MemorySink : public BodySink {
public:
  explicit MemorySink(std::size_t cap) : cap_(cap) {}
  void write(const char* data, std::size_t size) override;
  std::uint64_t position() const override { return data_.size(); }
  void seek(std::uint64_t position) override;  // truncates to position
  const std::string& data() const { return data_; }
  std::string take() { return std::move(data_); }

private:
  std::size_t cap_;
  std::string data_;
};

}  // namespace net

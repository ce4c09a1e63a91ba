// A client hooked to an event log, and a scripted server, for the tests of net::HttpClient.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/BodySink.h"
#include "net/Error.h"
#include "net/HttpClient.h"
#include "tests/support/ScriptedHttpServer.h"

namespace nettest {

using namespace std::chrono_literals;
using testsupport::Reply;

using Events = std::vector<std::string>;

// Records every transfer event as text: "begin 10", "step 6", "end".
struct EventLog {
  std::vector<std::string> events;

  void hook(net::HttpClient& client) {
    client.onWorkBegin = [this](std::int64_t n) { events.push_back("begin " + std::to_string(n)); };
    client.onWork = [this](std::int64_t n) { events.push_back("step " + std::to_string(n)); };
    client.onWorkEnd = [this] { events.push_back("end"); };
  }
};

// The text of the error get() throws, or "" when it returns.
inline std::string errorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const net::Error& e) {
    return e.what();
  }
  return "";
}

// What the error get() throws says of a repeat, or nullopt when it returns.
inline std::optional<net::Retry> retryOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const net::Error& e) {
    return e.retry();
  }
  return std::nullopt;
}

class ClientTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { net::globalInit(); }
  void SetUp() override {
    log.hook(client);
    // Each body step lets the server go on past an awaitRelease() step.
    client.onWork = [this, record = client.onWork](std::int64_t n) {
      record(n);
      server.release();
    };
  }

  // GETs path from server into body; returns the error text, or "".
  std::string fetch(const std::string& url) {
    return errorOf([&] { client.get(url, body); });
  }
  std::optional<net::Retry> retryOfFetch(const std::string& url) {
    return retryOf([&] { client.get(url, body); });
  }

  testsupport::ScriptedHttpServer server;
  net::HttpClient client;
  net::MemorySink body{1 << 20};
  EventLog log;
};

}  // namespace nettest

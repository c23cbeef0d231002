#pragma once
// A touch serial link with no line behind it, for driving a transport from bytes held in memory:
// it opens, takes every write while open and never fails.
#include <cstdint>
#include <span>
#include <string>

#include "touch/serial_link.hpp"

namespace touchtest {

class DetachedSerialLink final : public touch::SerialLink {
 public:
  void setPort(std::string) override {}
  bool open(std::uint32_t) override { return open_ = true; }
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }
  bool send(std::span<const std::uint8_t>) override { return open_; }
  bool hasError() const override { return false; }
  void clearError() override {}

 private:
  bool open_ = false;
};

}  // namespace touchtest

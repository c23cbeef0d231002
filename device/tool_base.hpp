#pragma once
// The base of every programmer handle (target programming, touch debugging, bootloader): it holds
// the shared transport and offers what every session kind shares: version type, target power and
// the programmer's screen mode. Handles are shared pointers made by the factories of each kind.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "device/commands.hpp"
#include "device/interface.hpp"

namespace qx {

class QUBRIXToolBase {
 public:
  explicit QUBRIXToolBase(std::shared_ptr<Interface> link);
  virtual ~QUBRIXToolBase() = default;
  QUBRIXToolBase(const QUBRIXToolBase&) = delete;
  QUBRIXToolBase& operator=(const QUBRIXToolBase&) = delete;

  const std::shared_ptr<Interface>& link() const { return link_; }

  // The firmware variant: 1 without logo, 2 without logo and model, 3 built for the vendor named in
  // `vendor` (filled only then), anything else standard. 0 on an empty reply.
  int getVersionType(std::string& vendor);
  bool setTargetPower(bool on);
  bool isTargetPowered();
  // Volts; 0 on an empty reply.
  float targetVoltage();
  // 1 online programming, 3 touch debugging, 4 verification only.
  bool screenMode(std::uint8_t mode);

 protected:
  std::optional<Bytes> exchange(const CommandSpec& spec, const Bytes& request);
  bool command(const CommandSpec& spec, const Bytes& request) { return exchange(spec, request).has_value(); }
  // Closes the transport; the handles whose session ends with them call it from their destructor.
  void closeLink();

 private:
  std::shared_ptr<Interface> link_;
};

// The transport's serial number / product string; empty without a handle or transport.
std::string toolSerialNumber(const std::shared_ptr<const QUBRIXToolBase>& tool);
std::string toolProduct(const std::shared_ptr<const QUBRIXToolBase>& tool);

}  // namespace qx

#include "ui/writer/writer_lookup.hpp"

#include "device/writer/link.hpp"

namespace writerpanel {

std::optional<mainwin::AttachedWriter> FirstAttachedWriter() {
  const auto writers = qx::writer::enumerateWriters();
  if (writers.empty()) return std::nullopt;
  const auto& w = writers.front();
  return mainwin::AttachedWriter{w->path, w->inputReportLength, w->outputReportLength};
}

}  // namespace writerpanel

#include "base/trace.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace base {
namespace {

std::mutex g_listenerMutex;
TraceListener g_listener;

bool traceEnabled() {
  static const bool enabled = [] {
    const char* v = std::getenv("QUBRIX_TRACE");
    return v != nullptr && std::strcmp(v, "1") == 0;
  }();
  return enabled;
}

}  // namespace

void trace(const char* format, ...) {
  char buffer[kTraceBufferSize];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return;
  std::size_t len = static_cast<std::size_t>(n) < sizeof buffer ? static_cast<std::size_t>(n) : sizeof buffer - 1;
  if (traceEnabled()) {
    std::fwrite(buffer, 1, len, stderr);
  }
  std::lock_guard lock(g_listenerMutex);
  if (g_listener) g_listener(std::string_view(buffer, len));
}

void setTraceListener(TraceListener listener) {
  std::lock_guard lock(g_listenerMutex);
  g_listener = std::move(listener);
}

}  // namespace base

#pragma once
// Debug traces: formatted through a 4096-byte buffer and written to stderr only when QUBRIX_TRACE=1.
// They never reach the user. Tests may install a listener to see them.
#include <functional>
#include <string_view>

namespace base {

inline constexpr std::size_t kTraceBufferSize = 4096;

void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The listener receives every trace line whether or not QUBRIX_TRACE is set; pass nullptr to remove.
using TraceListener = std::function<void(std::string_view)>;
void setTraceListener(TraceListener listener);

}  // namespace base

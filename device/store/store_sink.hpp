#pragma once
// What the firmware store manager shows, in the one reporting vocabulary plus the list of stored
// programs. An add reports from its worker thread; the front end marshals every call to its
// user-interface thread, in order.
#include <vector>

#include "base/report.hpp"
#include "device/store/store_rows.hpp"

namespace store {

// Which of the buttons that change the store the listing allows.
struct StoreButtons {
  bool add = false;     // fewer than 50 programs stored
  bool remove = false;  // Delete and Default: at least one program stored
  friend bool operator==(const StoreButtons&, const StoreButtons&) = default;
};

class StoreSink : public virtual base::Reporter {
 public:
  // The stored programs in the order the programmer lists them; empty after a failed refresh.
  virtual void onListing(const std::vector<StoreRow>& rows, const StoreButtons& buttons) = 0;
};

}  // namespace store

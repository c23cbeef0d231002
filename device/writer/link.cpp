#include "device/writer/link.hpp"

#include <mutex>
#include <utility>

#include "device/enumerate.hpp"
#include "device/writer/hidapi_writer.hpp"

namespace qx::writer {
namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::pair<int, WriterProvider>> providers;
  int nextId = 1;
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

int addWriterProvider(WriterProvider provider) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  const int id = r.nextId++;
  r.providers.emplace_back(id, std::move(provider));
  return id;
}

void removeWriterProvider(int id) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.providers, [id](const auto& p) { return p.first == id; });
}

std::vector<std::shared_ptr<WriterLink>> enumerateWriters() {
  std::vector<std::shared_ptr<WriterLink>> found;
  if (qx::hardwareEnumeration()) {
    for (auto& hid : enumerateHidWriters()) found.push_back(std::move(hid));
  }
  std::vector<WriterProvider> providers;
  {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (const auto& p : r.providers) providers.push_back(p.second);
  }
  // Outside the lock, so a provider may itself add or remove providers.
  for (const WriterProvider& provider : providers) {
    for (auto& link : provider()) {
      if (link != nullptr) found.push_back(std::move(link));
    }
  }
  return found;
}

std::shared_ptr<WriterLink> openWriter(const std::string& path) {
  for (auto& link : enumerateWriters()) {
    if (!path.empty() && link->path != path) continue;
    if (link->open()) return link;
  }
  return nullptr;
}

}  // namespace qx::writer

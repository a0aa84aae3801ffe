#include "platform/kept_handles.h"

#include <mutex>
#include <vector>

namespace kestrum {

void KeepHandleForProcess(void* handle) {
  static std::mutex* mutex = new std::mutex;  // never destroyed: the handles outlive destructors
  static std::vector<void*>* kept = new std::vector<void*>;
  std::lock_guard<std::mutex> lock(*mutex);
  kept->push_back(handle);
}

}  // namespace kestrum

// A shared library opened by name when it is first needed instead of linked: a library
// linked into the program is loaded, with everything it brings, at every start, even when
// the channel that uses it never runs.
#pragma once

#include <memory>
#include <mutex>
#include <string>

class LateLibrary {
 public:
  // Opens the library; raises Platform::Exception ("<role> <soname> could not be loaded:
  // ...") when it cannot be. It stays loaded to the end of the program.
  LateLibrary(const char* soname, std::string role);

  // Points function at the library's symbol of that name; raises when there is none.
  template <typename Function>
  void Find(const char* name, Function& function) const {
    function = reinterpret_cast<Function>(Symbol(name));
  }

 private:
  void* Symbol(const char* name) const;

  void* handle_;
  const char* soname_;
  std::string role_;
};

// The functions a library offers the program, found once by `find` (which opens the
// library and raises when it cannot) for every thread; a failed attempt is made again at
// the next call.
template <typename Api, typename Find>
const Api& FindOnce(const Find& find) {
  static std::mutex mutex;
  static std::unique_ptr<const Api> api;
  const std::lock_guard<std::mutex> lock(mutex);
  if (api == nullptr) {
    api = std::make_unique<const Api>(find());
  }
  return *api;
}

#include "net/lateLibrary.h"

#include <dlfcn.h>

#include "Exceptions.h"

LateLibrary::LateLibrary(const char* soname, std::string role)
    : handle_(dlopen(soname, RTLD_NOW | RTLD_LOCAL)), soname_(soname), role_(std::move(role)) {
  if (handle_ == nullptr) {
    const char* why = dlerror();
    throw Platform::Exception(role_ + " " + soname_ +
                              " could not be loaded: " + (why != nullptr ? why : "not found"));
  }
}

void* LateLibrary::Symbol(const char* name) const {
  void* symbol = dlsym(handle_, name);
  if (symbol == nullptr) {
    throw Platform::Exception(role_ + " " + soname_ + " lacks " + name);
  }
  return symbol;
}

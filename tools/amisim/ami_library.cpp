#include "tools/amisim/ami_library.h"

#include <dlfcn.h>

namespace amisim {

bool loadAmiLibrary(const std::string& path, AmiLibrary* out, std::string* error) {
  // A bare file name would send dlopen searching the library path.
  const std::string name = path.find('/') == std::string::npos ? "./" + path : path;
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    *error = std::string("cannot load ") + path + ": " + (reason != nullptr ? reason : "unknown");
    return false;
  }
  AmiLibrary lib;
  lib.path = path;
  lib.handle = handle;
  lib.init = reinterpret_cast<AmiInitFn>(dlsym(handle, "AMI_Init"));
  lib.getWave = reinterpret_cast<AmiGetWaveFn>(dlsym(handle, "AMI_GetWave"));
  lib.close = reinterpret_cast<AmiCloseFn>(dlsym(handle, "AMI_Close"));
  if (lib.init == nullptr || lib.close == nullptr) {
    *error = path + " does not export AMI_Init and AMI_Close";
    return false;
  }
  *out = lib;
  return true;
}

}  // namespace amisim

/* A shared library with the plug-in's entry point that serves no interface
 * version (as an outdated plug-in would). */
#include "uVisionApi.h"

__attribute__((visibility("default"))) int32_t zvision_library_create(uint32_t version, const zv_api **api,
                                                                      zv_handle **library);
int32_t zvision_library_create(uint32_t version, const zv_api **api, zv_handle **library) {
  (void)version;
  if (api)
    *api = 0;
  if (library)
    *library = 0;
  return ZV_E_VERSION;
}

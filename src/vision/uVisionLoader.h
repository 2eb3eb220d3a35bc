#pragma once

// Finding and opening the recognition plug-in library, without Qt: used by
// the program's in-process loader (uVision.cpp) and by the helper process
// (helper/uVisionHelper.cpp), so both follow the same rules.

#include "uVisionApi.h"

#include <string>
#include <vector>

// The file names tried, in order.
const std::vector<std::string> &VisionPluginNames();

// An opened plug-in: the module, its function table and its library object.
struct TVisionModule {
  void *Module = nullptr;
  const zv_api *Api = nullptr;
  zv_handle *Library = nullptr;
  std::string File; // the path or bare name it was opened by
};

// Tries each of VisionPluginNames() in order: first as a file of `folder`
// (when `folder` is not empty and the file exists), then by its bare name
// through the system's library search (when `systemSearch`). A file whose
// ELF segments reach beyond its end is refused before it is opened (mapping
// it would fault); a file that opens but has no usable entry point is closed
// again and the next one tried. True with `out` for the first that serves
// the interface; otherwise false with `why` naming each file tried and what
// failed ("<file>: <reason>; ..."), or the names looked for when none was
// found.
bool VisionOpenPlugin(const std::string &folder, bool systemSearch, TVisionModule &out, std::string &why);

// Whether `path` is an ELF shared object whose headers and loadable
// segments lie within the file; false with `why` otherwise.
bool VisionCheckElfFile(const std::string &path, std::string &why);

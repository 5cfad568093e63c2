#include "base/errors.h"

#include <new>

namespace nfy {

std::string errorDescription(long number) {
  switch (number) {
    case err::kOverflow: return "Overflow";
    case err::kOutOfMemory: return "Out of memory";
    case err::kTypeMismatch: return "Type mismatch";
    case err::kInternal: return "Internal error";
    case err::kFileNotFound: return "File not found";
    case err::kFileAlreadyOpen: return "File already open";
    case err::kPermissionDenied: return "Permission denied";
    case err::kPathFileAccess: return "Path/File access error";
    case err::kPathNotFound: return "Path not found";
    case err::kObjectRequired: return "Object required";
    case err::kCannotCreateObject: return "ActiveX component can't create object";
    case err::kNoSuchMember: return "Object doesn't support this property or method";
    case err::kAutomation: return "Automation error";
    default: return "Application-defined or object-defined error";
  }
}

void raiseError(long number) { throw RuntimeError(number, errorDescription(number)); }

TrappedError trap(const std::exception& e) {
  if (auto* r = dynamic_cast<const RuntimeError*>(&e)) return {r->number(), r->description()};
  if (dynamic_cast<const std::bad_alloc*>(&e)) {
    return {err::kOutOfMemory, errorDescription(err::kOutOfMemory)};
  }
  return {err::kInternal, e.what()};
}

}  // namespace nfy

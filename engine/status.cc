#include "engine/status.h"

#include <cstring>

namespace engine {

Status Status::FromErrno(std::string_view path, int error_number) {
  return Error(path, std::strerror(error_number));
}

}  // namespace engine

#include "platform/executable_name.h"

namespace fhsw {

std::string BaseNameOfPath(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot != 0) name.erase(dot);
    return name;
}

}  // namespace fhsw

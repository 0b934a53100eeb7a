#include "ExamplePacks.h"

namespace morrowlen::examples {

std::string_view exampleServer() {
    return MORROWLEN_EXAMPLE_SERVER;
}

std::string examplePackAddress(const ExamplePack& pack, std::string_view server) {
    return "http://" + std::string(server) + std::string(pack.path);
}

} // namespace morrowlen::examples

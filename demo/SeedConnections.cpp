#include "demo/Seed.h"

namespace demo {

void SeedConnections(const SeedContext&) {}

}  // namespace demo

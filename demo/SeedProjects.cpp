#include "demo/Seed.h"

namespace demo {

void SeedProjects(const SeedContext&) {}

}  // namespace demo

#include "tessara/engine/lcm.hpp"

namespace tessara::engine {

const ConceptAlgorithm& lcm_algorithm() {
  static const Lcm kLcm;
  return kLcm;
}

}  // namespace tessara::engine

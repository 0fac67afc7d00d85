#pragma once

#include "tessara/python/py_ref.hpp"

namespace tessara::python {

// Switches the cyclic garbage collector off for its lifetime and back on at
// the end when it was on before, on every exit path. Building a large result
// creates millions of container objects none of which can be part of a
// cycle; with the collector on, each batch of new objects would trigger a
// traversal of everything built so far. A pending exception is kept intact.
class CyclicGcPause {
 public:
  CyclicGcPause();
  CyclicGcPause(const CyclicGcPause&) = delete;
  CyclicGcPause& operator=(const CyclicGcPause&) = delete;
  ~CyclicGcPause();

 private:
  PyRef gc_;
  bool was_enabled_ = false;
};

}  // namespace tessara::python

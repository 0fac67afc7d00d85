#pragma once

// The module is built against the limited C API of CPython 3.9, so one abi3
// wheel serves every later 3.x.
#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x03090000
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>

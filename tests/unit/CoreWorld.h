#pragma once
#include "unit/CoreObjects.h"

#include <gtest/gtest.h>

namespace qv::test {

// A test over the program's core objects on one simulated desktop.
class CoreWorld : public ::testing::Test, protected CoreObjects {};

} // namespace qv::test

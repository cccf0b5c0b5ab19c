// The client library every test opens: the build's (VNX_TEST_LIBPQ_DEFAULT), or another one
// named (or given by its path) in the environment variable VNX_TEST_LIBPQ. Included into
// every test source by the harness's compile options.
#pragma once
#include <cstdlib>

#define VNX_TEST_LIBPQ (std::getenv("VNX_TEST_LIBPQ") ? std::getenv("VNX_TEST_LIBPQ") : VNX_TEST_LIBPQ_DEFAULT)

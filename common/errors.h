// The driver's own exception family. Interface operations catch these (and the
// runtime's exceptions) and turn them into a result code and an error text.
#pragma once

#include "runtime/exception.h"

namespace vnx {

class EVNXError : public rt::Exception {
 public:
  using rt::Exception::Exception;
};

// A parameter or value of a type the driver cannot handle.
class EVNXTypeError : public EVNXError {
 public:
  using EVNXError::EVNXError;
};

// A server text that cannot be converted to the value asked for.
class EVNXConvertError : public EVNXError {
 public:
  using EVNXError::EVNXError;
};

// The client library could not be loaded or bound.
class EVNXLibpqError : public EVNXError {
 public:
  using EVNXError::EVNXError;
};

}  // namespace vnx

// Command parameters as the command stores them after setParameter, for the literal tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/command_param.h"
#include "common/dbx_types.h"

namespace vnxtest {

// A fixed-size value of the given logical type.
template <class T>
vnx::CommandParam Param(std::uint16_t type, const T& value, std::uint16_t subType = 0) {
  vnx::CommandParam p;
  p.LogicalType = type;
  p.SubType = subType;
  p.Length = sizeof value;
  p.Data.resize(sizeof value);
  std::memcpy(p.Data.data(), &value, sizeof value);
  p.HasData = true;
  return p;
}

// A byte or text value; var-bytes values carry their 16-bit length first.
inline vnx::CommandParam Bytes(std::uint16_t type, std::string_view bytes, std::uint16_t subType = 0) {
  vnx::CommandParam p;
  p.LogicalType = type;
  p.SubType = subType;
  if (type == vnx::fldVARBYTES) {
    const auto n = static_cast<std::uint16_t>(bytes.size());
    p.Data.assign(reinterpret_cast<const std::uint8_t*>(&n), reinterpret_cast<const std::uint8_t*>(&n) + 2);
  }
  p.Data.insert(p.Data.end(), bytes.begin(), bytes.end());
  p.Length = static_cast<std::uint32_t>(p.Data.size());
  p.HasData = true;
  return p;
}

}  // namespace vnxtest

// Reader of GNU gettext binary message catalogues (".mo" files) in either byte order.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace vnx {

class TVNXMoCatalog {
 public:
  // Reads a catalogue from its bytes; name is used in the error text only. Raises EVNXError
  // ("This file is not a valid GNU gettext mo file: " and the name) for anything that is
  // not a well-formed catalogue, whatever the damage.
  TVNXMoCatalog(std::string_view bytes, const std::string& name);

  // The translation of a message id, or nullptr. Only the singular form is kept: an entry
  // with plural forms is found by its singular id and gives its first form.
  const std::string* Find(std::string_view id) const;

  // The value of a field of the header entry ("Content-Type" and the like), trimmed; empty
  // when there is no such field.
  std::string HeaderField(std::string_view field) const;

  std::size_t Size() const noexcept { return messages_.size(); }

 private:
  std::map<std::string, std::string, std::less<>> messages_;
  std::string header_;
};

}  // namespace vnx

// Keyword-aware scanning of a statement: which clause each word belongs to, and from that
// the statement's kind and the table names it mentions (used to describe result columns).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vnx {

enum class SectionKind : std::uint8_t {
  skUnknown, skTableName, skFieldName, skAscending, skDescending, skSelect, skFrom, skWhere,
  skGroupBy, skHaving, skUnion, skPlan, skOrderBy, skForUpdate, skEnd, skPredicate, skValue,
  skIsNull, skIsNotNull, skLike, skAnd, skOr, skNumber, skAllFields, skComment, skDistinct,
};

// Reads one token from a NUL-terminated text; pos moves past what was consumed (it stays on
// the terminating NUL at the end). `current` is the section the previous token opened.
SectionKind NextSectionToken(const char*& pos, std::string& token, SectionKind current);

// Kind of the statement (0 unknown, 1 select, 2 insert, 3 delete, 4 update) and, in order of
// appearance, the table names it mentions; `tables` is cleared first.
std::uint8_t AnalyseStatement(std::string_view sql, std::vector<std::string>& tables);

}  // namespace vnx
